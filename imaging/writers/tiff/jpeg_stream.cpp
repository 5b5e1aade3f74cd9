#include "writers/tiff/jpeg_stream.h"

namespace pxtiffw {

namespace {

// Marker codes (ITU T.81, table B.1).
constexpr uint8_t kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kDQT = 0xDB, kDNL = 0xDC, kDRI = 0xDD,
                  kDHT = 0xC4, kDAC = 0xCC, kCOM = 0xFE, kTEM = 0x01;

bool IsRestart(uint8_t m) {
  return m >= 0xD0 && m <= 0xD7;
}
bool IsFrame(uint8_t m) {
  return m >= 0xC0 && m <= 0xCF && m != kDHT && m != kDAC && m != 0xC8;
}
bool IsApplication(uint8_t m) {
  return m >= 0xE0 && m <= 0xEF;
}

// The marker at data[*pos] (after any fill bytes), advancing past it; 0 when there is
// none there.
uint8_t NextMarker(const uint8_t* data, size_t size, size_t* pos) {
  if (*pos >= size || data[*pos] != 0xFF) return 0;
  while (*pos < size && data[*pos] == 0xFF) ++*pos;
  if (*pos >= size) return 0;
  return data[(*pos)++];
}

// Skips a segment's length and body; false when it does not fit.
bool SkipSegment(const uint8_t* data, size_t size, size_t* pos) {
  if (size - *pos < 2) return false;
  const size_t length = size_t(data[*pos]) << 8 | data[*pos + 1];
  if (length < 2 || length > size - *pos) return false;
  *pos += length;
  return true;
}

// Skips entropy-coded data up to the next marker that is neither a stuffed zero nor a
// restart marker; false when the data ends first.
bool SkipEntropyData(const uint8_t* data, size_t size, size_t* pos) {
  for (size_t i = *pos; i + 1 < size; ++i) {
    if (data[i] != 0xFF) continue;
    const uint8_t next = data[i + 1];
    if (next == 0x00 || IsRestart(next) || next == 0xFF) continue;
    *pos = i;
    return true;
  }
  return false;
}

}  // namespace

bool WalkJPEGStream(const uint8_t* data, size_t size, JPEGStream* stream) {
  *stream = JPEGStream();
  if (size < 4 || data[0] != 0xFF || data[1] != kSOI) return false;
  size_t pos = 2;
  for (;;) {
    const uint8_t m = NextMarker(data, size, &pos);
    if (m == kEOI) {
      stream->end = pos;
      return true;
    }
    if (m == 0 || m == kSOI || m == kTEM || IsRestart(m)) return false;
    if (!SkipSegment(data, size, &pos)) return false;
    if (IsFrame(m)) {
      ++stream->frames;
      stream->sequential = m == 0xC0 || m == 0xC1;
    }
    if (m == kDNL) stream->numberOfLines = true;
    if (m == kSOS && !SkipEntropyData(data, size, &pos)) return false;
  }
}

bool CompleteJPEGTables(const uint8_t* data, size_t size) {
  if (size < 4 || data[0] != 0xFF || data[1] != kSOI) return false;
  size_t pos = 2;
  for (;;) {
    const uint8_t m = NextMarker(data, size, &pos);
    if (m == kEOI) return pos == size;
    if (m != kDQT && m != kDHT && m != kDRI && m != kCOM && !IsApplication(m)) return false;
    if (!SkipSegment(data, size, &pos)) return false;
  }
}

}  // namespace pxtiffw
