// The GIF decoder behind the reader: header, extension blocks, colour tables and the LZW
// code stream of the first image.
#ifndef PIXOLITH_READERS_GIF_DECODER_H
#define PIXOLITH_READERS_GIF_DECODER_H

#include <cstddef>
#include <cstdint>

#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_core.h"

namespace pxgif {

// The sizes the reader works by: the logical screen, and the first image's descriptor.
struct Header {
  uint32_t screenWidth = 0;
  uint32_t screenHeight = 0;
  uint32_t imageWidth = 0;
  uint32_t imageHeight = 0;
};

// What a call makes of the file: the screen's description, or the first image as an
// image buffer or a packed DIB (bottom-up rows padded to 4 bytes after a 256-colour table).
enum class Output { kScreen, kImage, kPackedDIB };

// Bytes of the block the first image is read into, or false when it cannot be one block.
bool ImageBytes(const Header& header, bool dib, size_t* bytes);

// The checks of `output`: 0, or the error code: PX_ERR_BAD_GIF for a screen or image without
// pixels, PX_ERR_NO_MEMORY for an image whose block cannot be had or whose pixels the
// `availableBytes` of the file left after its descriptor could not code. Pure: it reads nothing.
int CheckHeader(const Header& header, Output output, uint64_t availableBytes);

}  // namespace pxgif

class GIFDecoder {
 public:
  explicit GIFDecoder(CPXIO io) : io_(io) {}

  // Signature, logical screen descriptor and global colour table; 0 or an error code. The
  // sizes are checked by pxgif::CheckHeader.
  int ReadHeader();
  // Scans the blocks before the first image descriptor for a graphic control extension
  // (GIF89a only); 0 or an error code.
  int ScanForTransparency();
  // Skips to the first image descriptor, reads it and its local colour table; 0 or an
  // error code.
  int ReadImageDescriptor();
  // The sizes read so far.
  pxgif::Header header() const { return {screenWidth_, screenHeight_, imageWidth_, imageHeight_}; }
  // Decodes the image's code stream into rows of `imageWidth()` bytes, row r at
  // rows + r * stride (stride may be negative). 0, or PX_ERR_FILE_READ (no code-size
  // byte), PX_ERR_BAD_GIF (a code size that outgrows the code table) or PX_ERR_ABORTED. A
  // stream that ends early is no error: the rows not reached keep their bytes.
  int DecodeImage(px::Operation& op, uint8_t* rows, ptrdiff_t stride);

  // 256 entries from the image's local colour table, else the global one.
  void FillPalette(RGBQUAD* palette, bool local) const;

  uint32_t screenWidth() const { return screenWidth_; }
  uint32_t screenHeight() const { return screenHeight_; }
  uint32_t globalBits() const { return (screenFlags_ & 7) + 1; }
  bool hasGlobalTable() const { return screenFlags_ & 0x80; }
  int background() const { return background_; }
  bool is89a() const { return is89a_; }
  // The graphic-control transparent index, or -1.
  int transparentIndex() const { return transparent_ ? transparentIndex_ : -1; }
  uint32_t imageWidth() const { return imageWidth_; }
  uint32_t imageHeight() const { return imageHeight_; }
  bool hasLocalTable() const { return imageFlags_ & 0x80; }

  static constexpr int kTableSize = 4096;
  static constexpr int kStackSize = 8192;

 private:
  // Colour tables are three planes of 256 bytes: red, green, blue.
  struct ColorTable {
    uint8_t red[256] = {};
    uint8_t green[256] = {};
    uint8_t blue[256] = {};
  };
  bool ReadColorTable(ColorTable& table, int entries);

  // Blocks and sub-blocks.
  bool ReadByte(uint8_t* b) { return io_.ReadExactly(b, 1); }
  // One sub-block into `buffer` (255 bytes); its length, 0 at the terminator or when the
  // data ends.
  int ReadSubBlock(uint8_t* buffer);
  void SkipSubBlocks();
  // After "!": the label and its sub-blocks.
  void ReadExtension();

  // LZW.
  void InitLZW(int minCodeSize);
  void ResetTable();
  int NextCode();
  int NextValue();
  int StartStrings();

  CPXIO io_;
  uint32_t screenWidth_ = 0;
  uint32_t screenHeight_ = 0;
  uint8_t screenFlags_ = 0;
  uint8_t background_ = 0;
  uint8_t aspect_ = 0;
  bool is89a_ = false;
  ColorTable global_;
  ColorTable local_;

  // Graphic control and application extension values.
  int disposal_ = 0;
  bool userInput_ = false;
  int delay_ = 0;
  bool transparent_ = false;
  uint8_t transparentIndex_ = 0;
  int loopCount_ = 0;

  uint32_t imageWidth_ = 0;
  uint32_t imageHeight_ = 0;
  uint8_t imageFlags_ = 0;

  bool terminatorSeen_ = false;

  // LZW decoder state.
  int clear_ = 0;
  int end_ = 0;
  int codeSize_ = 0;
  int minCodeSize_ = 0;
  int nextFree_ = 0;
  int limit_ = 0;
  int previous_ = 0;
  int first_ = 0;
  bool fresh_ = true;  // no code read since the decoder was set up
  uint16_t prefix_[kTableSize] = {};
  uint8_t suffix_[kTableSize] = {};
  uint8_t stack_[kStackSize] = {};
  int sp_ = 0;
  // The current sub-block behind the last two bytes of the previous one, so that a code
  // may straddle sub-blocks, and two bytes of slack for reading three bytes at once.
  uint8_t bits_[2 + 255 + 2] = {};
  int curBit_ = 0;
  int lastBit_ = 0;
  int lastByte_ = 2;
  bool exhausted_ = false;
};

#endif  // PIXOLITH_READERS_GIF_DECODER_H
