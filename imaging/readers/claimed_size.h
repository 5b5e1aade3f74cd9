// How far a reader believes the dimensions a file's header claims.
#ifndef PIXOLITH_READERS_CLAIMED_SIZE_H
#define PIXOLITH_READERS_CLAIMED_SIZE_H

#include <cstdint>

namespace px {

// Images up to this many bytes are decoded whatever the file holds, so that truncated
// files come back as far as their data goes.
constexpr uint64_t kTrustedImageBytes = uint64_t(64) << 20;

// A header may claim any size; the data decides whether it can be believed. An image of
// more than `trustedBytes` whose `units` (pixels, or bytes of output) need more than
// `maxUnitsPerByte` from every one of the `availableBytes` of data cannot be real (no
// coding of the format packs it that tightly), and the reader refuses it before
// allocating its buffer: a file of a few hundred bytes never makes a reader allocate
// gigabytes. Each reader passes its format's densest coding, and where its data is
// judged otherwise (by the strips of a TIFF page, say) its own allowance of trust.
inline bool ClaimIsPlausible(uint64_t imageBytes, uint64_t units, uint64_t availableBytes,
                             uint64_t maxUnitsPerByte, uint64_t trustedBytes = kTrustedImageBytes) {
  if (imageBytes <= trustedBytes) return true;
  return units / maxUnitsPerByte <= availableBytes;
}

}  // namespace px

#endif  // PIXOLITH_READERS_CLAIMED_SIZE_H
