#include "readers/gif/gif_decoder.h"

#include <cstring>

/* ---- Header and blocks ------------------------------------------------------------------ */

bool GIFDecoder::ReadColorTable(ColorTable& table, int entries) {
  uint8_t rgb[3 * 256];
  if (!io_.ReadExactly(rgb, 3 * size_t(entries))) return false;
  for (int i = 0; i < entries; ++i) {
    table.red[i] = rgb[3 * i];
    table.green[i] = rgb[3 * i + 1];
    table.blue[i] = rgb[3 * i + 2];
  }
  return true;
}

int GIFDecoder::ReadHeader() {
  uint8_t sig[6];
  if (!io_.ReadExactly(sig, 6)) return PX_ERR_FILE_READ;
  if (std::memcmp(sig, "GIF", 3) != 0) return PX_ERR_BAD_GIF;
  is89a_ = std::memcmp(sig + 3, "89a", 3) == 0;
  if (!is89a_ && std::memcmp(sig + 3, "87a", 3) != 0) return PX_ERR_BAD_GIF;
  uint8_t screen[7];
  if (!io_.ReadExactly(screen, 7)) return PX_ERR_FILE_READ;
  screenWidth_ = px::LE16(screen);
  screenHeight_ = px::LE16(screen + 2);
  screenFlags_ = screen[4];
  background_ = screen[5];
  aspect_ = screen[6];
  if (hasGlobalTable() && !ReadColorTable(global_, 2 << (screenFlags_ & 7))) return PX_ERR_BAD_GIF;
  return 0;
}

int GIFDecoder::ReadSubBlock(uint8_t* buffer) {
  uint8_t length;
  if (!ReadByte(&length)) {
    terminatorSeen_ = true;  // nothing more will come
    return 0;
  }
  if (length == 0) {
    terminatorSeen_ = true;
    return 0;
  }
  return io_.ReadExactly(buffer, length) ? length : 0;
}

void GIFDecoder::SkipSubBlocks() {
  uint8_t buffer[255];
  while (ReadSubBlock(buffer) > 0) {
  }
}

void GIFDecoder::ReadExtension() {
  uint8_t label;
  if (!ReadByte(&label)) return;  // the caller meets the end of the data next
  uint8_t block[255] = {};
  int n = 0;
  switch (label) {
    case 0xF9:  // graphic control
      n = ReadSubBlock(block);
      disposal_ = (block[0] >> 2) & 7;
      userInput_ = block[0] & 2;
      delay_ = px::LE16(block + 1);
      transparent_ = n > 0 && (block[0] & 1);
      transparentIndex_ = transparent_ ? block[3] : 0;
      break;
    case 0xFF:  // application
      n = ReadSubBlock(block);
      if (n >= 11 && std::memcmp(block, "NETSCAPE2.0", 11) == 0) {
        n = ReadSubBlock(block);
        if (n >= 3) loopCount_ = px::LE16(block + 1);
      }
      break;
    default:  // comments and everything else
      n = 1;
      break;
  }
  // A terminator already read ends the extension; skipping on would eat the next block.
  if (n > 0) SkipSubBlocks();
}

int GIFDecoder::ScanForTransparency() {
  if (!is89a_) return 0;
  for (;;) {
    uint8_t b;
    if (!ReadByte(&b)) return PX_ERR_FILE_READ;
    if (b == '!') ReadExtension();
    if (b == ',') return 0;
    if (b == ';') return PX_ERR_FILE_READ;
  }
}

int GIFDecoder::ReadImageDescriptor() {
  for (;;) {
    uint8_t b;
    if (!ReadByte(&b)) return PX_ERR_FILE_READ;
    if (b == '!') ReadExtension();
    if (b == ',') break;
  }
  uint8_t d[9];
  if (!io_.ReadExactly(d, 9)) return PX_ERR_FILE_READ;
  imageWidth_ = px::LE16(d + 4);
  imageHeight_ = px::LE16(d + 6);
  imageFlags_ = d[8];
  if (hasLocalTable() && !ReadColorTable(local_, 1 << ((imageFlags_ & 7) + 1)))
    return PX_ERR_BAD_GIF;
  return 0;
}

void GIFDecoder::FillPalette(RGBQUAD* palette, bool local) const {
  const ColorTable& t = local ? local_ : global_;
  const int clearIndex = transparent_ ? transparentIndex_ : 0;
  for (int i = 0; i < 256; ++i)
    palette[i] = {t.blue[i], t.green[i], t.red[i], BYTE(i == clearIndex ? 0 : 255)};
}

/* ---- LZW -------------------------------------------------------------------------------- */

void GIFDecoder::ResetTable() {
  codeSize_ = minCodeSize_ + 1;
  nextFree_ = clear_ + 2;
  limit_ = 2 * clear_;
}

void GIFDecoder::InitLZW(int minCodeSize) {
  minCodeSize_ = minCodeSize;
  clear_ = 1 << minCodeSize;
  end_ = clear_ + 1;
  ResetTable();
  for (int i = 0; i < kTableSize; ++i) {
    prefix_[i] = 0;
    suffix_[i] = i < clear_ ? uint8_t(i) : 0;
  }
  sp_ = 0;
  fresh_ = true;
  curBit_ = 0;
  lastBit_ = 0;
  lastByte_ = 2;
  exhausted_ = false;
  terminatorSeen_ = false;
}

int GIFDecoder::NextCode() {
  // Sub-blocks may be as short as one byte, so a code can straddle several of them. The
  // unread bits are always fewer than a code, so the two bytes kept hold them all.
  while (curBit_ + codeSize_ > lastBit_) {
    if (exhausted_) return -1;
    bits_[0] = bits_[lastByte_ - 2];
    bits_[1] = bits_[lastByte_ - 1];
    int count = terminatorSeen_ ? 0 : ReadSubBlock(bits_ + 2);
    if (count == 0) exhausted_ = true;
    lastByte_ = 2 + count;
    curBit_ = curBit_ - lastBit_ + 16;
    lastBit_ = lastByte_ * 8;
  }
  // A code of at most 12 bits starting anywhere in a byte lies within three bytes; the
  // buffer has room for the third even at its end.
  const uint8_t* p = bits_ + (curBit_ >> 3);
  const uint32_t window = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
  const int code = int((window >> (curBit_ & 7)) & ((1u << codeSize_) - 1));
  curBit_ += codeSize_;
  return code;
}

// The code after a clear code (or the stream's first) is a pixel value itself and starts
// the strings that follow. Anything else there is a broken stream.
int GIFDecoder::StartStrings() {
  int code;
  do {
    code = NextCode();
  } while (code == clear_);
  if (code == end_) return -2;
  if (code < 0 || code >= clear_) return -1;
  previous_ = first_ = code;
  return code;
}

int GIFDecoder::NextValue() {
  if (fresh_) {
    fresh_ = false;
    return StartStrings();
  }
  if (sp_ > 0) return stack_[--sp_];

  int code = NextCode();
  if (code < 0) return code;
  if (code == clear_) {
    ResetTable();
    return StartStrings();
  }
  if (code == end_) {
    if (!terminatorSeen_) SkipSubBlocks();
    exhausted_ = true;
    return -2;
  }

  const int incoming = code;
  if (code >= nextFree_) {  // the string being defined: the previous one plus its start
    stack_[sp_++] = uint8_t(first_);
    code = previous_;
  }
  while (code >= clear_) {
    if (sp_ >= kStackSize) return -2;
    stack_[sp_++] = suffix_[code];
    if (code == prefix_[code]) return -1;
    code = prefix_[code];
  }
  if (sp_ >= kStackSize) return -2;
  first_ = suffix_[code];
  stack_[sp_++] = uint8_t(first_);

  // A full table stays as it is until the next clear code; encoders may go on using it.
  if (nextFree_ < kTableSize) {
    prefix_[nextFree_] = uint16_t(previous_);
    suffix_[nextFree_] = uint8_t(first_);
    ++nextFree_;
    if (nextFree_ >= limit_ && limit_ < kTableSize) {
      limit_ *= 2;
      ++codeSize_;
    }
  }
  previous_ = incoming;
  return stack_[--sp_];
}

int GIFDecoder::DecodeImage(px::Operation& op, uint8_t* rows, ptrdiff_t stride) {
  uint8_t minCodeSize;
  if (!ReadByte(&minCodeSize)) return PX_ERR_FILE_READ;
  // Encoders have been seen to write sizes up to 11 for 8-bit pixels (values are kept to
  // their low byte). From 12 on the clear code itself would lie outside the code table.
  if (minCodeSize > 11) return PX_ERR_BAD_GIF;
  InitLZW(minCodeSize);

  static constexpr uint32_t kPassStart[4] = {0, 4, 2, 1};
  static constexpr uint32_t kPassStep[4] = {8, 8, 4, 2};
  const bool interlaced = imageFlags_ & 0x40;
  const uint32_t w = imageWidth_, h = imageHeight_;
  uint32_t row = 0, x = 0, rowsDone = 0;
  int pass = 0;
  int value = 0;
  while (rowsDone < h) {
    value = NextValue();
    if (value < 0) break;
    rows[ptrdiff_t(row) * stride + x] = uint8_t(value);
    if (++x < w) continue;
    x = 0;
    ++rowsDone;
    if (!op.Progress(rowsDone, h)) return PX_ERR_ABORTED;
    if (!interlaced) {
      ++row;
    } else {
      row += kPassStep[pass];
      while (row >= h && pass < 3) row = kPassStart[++pass];
    }
    if (row >= h) break;  // every pass done
  }
  // Consume the end code and the trailing sub-blocks.
  if (value >= 0) NextValue();
  return 0;
}
