// How far a reader believes the dimensions a file's header claims.
#ifndef PIXOLITH_READERS_CLAIMED_SIZE_H
#define PIXOLITH_READERS_CLAIMED_SIZE_H

#include <cstdint>

// Images up to this many bytes are decoded whatever the file holds, so that truncated
// files come back as far as their data goes.
constexpr uint64_t kPXTrustedImageBytes = uint64_t(64) << 20;

// A header may claim any size; the data decides whether it can be believed. Above
// kPXTrustedImageBytes, an image that needs more than `maxPixelsPerByte` pixels from
// every byte left in the file cannot be real (no coding of the format packs it that
// tightly), and the reader refuses it with error 1 before allocating its buffer: a file
// of a few hundred bytes never makes a reader allocate gigabytes.
inline bool PXClaimIsPlausible(uint64_t imageBytes, uint64_t pixels, uint64_t availableBytes,
                               uint64_t maxPixelsPerByte) {
  if (imageBytes <= kPXTrustedImageBytes) return true;
  return pixels / maxPixelsPerByte <= availableBytes;
}

#endif  // PIXOLITH_READERS_CLAIMED_SIZE_H
