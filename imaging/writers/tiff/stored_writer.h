// Pages taken over as stored, written straight into the file without libtiff, exactly as
// libtiff would write them, for the output's run of such pages from its first page on.
#ifndef PIXOLITH_WRITERS_TIFF_STORED_WRITER_H
#define PIXOLITH_WRITERS_TIFF_STORED_WRITER_H

#include <atomic>
#include <cstdint>
#include <string>

#include "core/operation.h"
#include "core/thread_state.h"
#include "writers/tiff/tiff_writer.h"

namespace pxtiffw {

// Off, every page goes through libtiff (the tests compare the two writers' files).
extern std::atomic<bool> g_writeStoredPagesDirectly;

// The Software tag's text as every page carries it.
std::string SoftwareText(px::Operation& op, const px::TIFFWriteOptions& options);

// True when the direct writer writes this page as libtiff would: a stored page in strips,
// CCITT or PackBits coded, of a resolution and with options that need no more than the
// tags it writes, on a little-endian machine.
bool WritesStoredPageDirectly(const EncodedPage& page, const px::TIFFWriteOptions& options);

// A classic little-endian TIFF written from its start, one page at a time.
class DirectOutput {
 public:
  DirectOutput(CPXIO& io, int orientation) : io_(io), orientation_(orientation) {}

  // Appends the page, its directory and the link to it, and flushes the sink: 0,
  // PX_ERR_PARAMETER (strips that do not make the page's rows), PX_ERR_FILE_WRITE or
  // PX_ERR_ABORTED.
  int WritePage(px::Operation& op, const EncodedPage& page, const std::string& software);
  bool started() const { return started_; }
  // True while a link to a directory that may not be complete is in the file.
  bool linkAtRisk() const { return linkAtRisk_; }

 private:
  CPXIO& io_;
  int orientation_;
  bool started_ = false;
  bool linkAtRisk_ = false;
  uint64_t link_ = 4;  // where the link to the next directory goes
};

}  // namespace pxtiffw

#endif  // PIXOLITH_WRITERS_TIFF_STORED_WRITER_H
