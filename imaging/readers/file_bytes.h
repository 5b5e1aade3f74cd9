// Input for the codec libraries that decode from memory (libwebp, libheif).
#ifndef PIXOLITH_READERS_FILE_BYTES_H
#define PIXOLITH_READERS_FILE_BYTES_H

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/io.h"
#include "core/operation.h"

namespace px {

// Appends up to `bytes` bytes from the source's position to `data`, fewer when the
// source ends first. Throws PXException(1) when the result would exceed the largest block.
inline void AppendBytes(CPXIO& io, uint64_t bytes, std::vector<uint8_t>& data) {
  bytes = std::min(bytes, io.Remaining());
  if (bytes > PX_MAX_GLOBAL_BLOCK - std::min<uint64_t>(data.size(), PX_MAX_GLOBAL_BLOCK))
    throw PXException(PX_ERR_NO_MEMORY, "File too large to decode");
  const size_t start = data.size();
  data.resize(start + size_t(bytes));
  data.resize(start + io.Read(data.data() + start, size_t(bytes)));
}

}  // namespace px

#endif  // PIXOLITH_READERS_FILE_BYTES_H
