// The survey of a TIFF page the output may take over as it is stored: its facts, the tags
// that decode it and where its strips or tiles lie. libtiff's survey answers for every
// page; the direct one reads the directory from the file's bytes itself and answers only
// for the plain pages copied most often, which spares them libtiff's set-up of a whole
// directory (more work than copying a fax page's strips).
#ifndef PIXOLITH_WRITERS_TIFF_STORED_SURVEY_H
#define PIXOLITH_WRITERS_TIFF_STORED_SURVEY_H

#include <cstdint>
#include <vector>

#include "pixolith/px_tiff.h"
#include "writers/tiff/tiff_writer.h"

namespace pxtiffw {

struct StoredSurvey {
  PXStoredPage stored = {};
  StoredTags tags;
  bool tiled = false;
  std::vector<Strile> striles;
};

// libtiff's survey of page `frame`: its facts always, copyable only when everything
// agrees. 0, PX_ERR_FILE_READ, PX_ERR_BAD_TIFF, or PX_ERR_PARAMETER for a page the file
// does not have.
int SurveyWithLibTIFF(PXSource source, uint32_t frame, StoredSurvey* out);

// The direct survey of page `frame` of the `size` bytes at `file`: true, with `out` as
// libtiff's survey would give it, when the page is copyable and its directory holds
// nothing that takes libtiff's judgement (a missing or repeated tag, an unusual type or
// count, a value libtiff would mend or refuse). False for every other page, `out` then
// untouched; the caller asks libtiff.
bool SurveyCopyableDirectly(const uint8_t* file, uint64_t size, uint32_t frame, StoredSurvey* out);
// The same for a file read from `io`: only the pieces the directory and its values lie in
// are read. False also when a read fails.
bool SurveyCopyableDirectly(CPXIO& io, uint32_t frame, StoredSurvey* out);

// The compressions the writer writes (TIFF codes).
bool IsWritableCompression(uint16_t compression);

// The sample layouts an output page of 1, 8 or 24 bits may have.
bool IsCopyableLayout(const StoredTags& tags);

// `bytes` (at most 8) at `p` as an unsigned number.
uint64_t Unpack(const uint8_t* p, int bytes, bool bigEndian);

}  // namespace pxtiffw

#endif  // PIXOLITH_WRITERS_TIFF_STORED_SURVEY_H
