// Windows metafiles played as enhanced ones: each record becomes its enhanced-metafile
// equivalent.
#ifndef PIXOLITH_METAFILE_WMF_CONVERT_H
#define PIXOLITH_METAFILE_WMF_CONVERT_H

#include <cstdint>
#include <vector>

#include "metafile/records.h"
#include "platform/metafile.h"

namespace pxmf {

// True when the bytes start with an 18-byte Windows-metafile header.
bool IsWindowsMetafileHeader(const ByteView& bits);

// Converts Windows-metafile bits (header first) into an enhanced metafile whose frame
// is the picture's extents. A record that runs past the end of the bits is carried
// over as a damaged record, so playback stops there as it would have.
bool ConvertWindowsMetafile(const ByteView& bits, const METAFILEPICT* picture,
                            std::vector<uint8_t>* emf);

}  // namespace pxmf

#endif  // PIXOLITH_METAFILE_WMF_CONVERT_H
