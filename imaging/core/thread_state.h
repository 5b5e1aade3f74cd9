// The per-thread record of the library: progress callback, nesting depth, last error,
// metadata of the last file read and the per-thread reader and writer options.
#ifndef PIXOLITH_CORE_THREAD_STATE_H
#define PIXOLITH_CORE_THREAD_STATE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pixolith/px_core.h"

// A tagged block of bytes read from or to be written into a file (JPEG markers and
// comments, and the like).
struct CFileDataTag {
  int id = 0;
  std::vector<uint8_t> data;
};

// An owning list; clearing or destroying it deletes its elements.
template <class T>
using PXPtrVector = std::vector<T>;

namespace px {

// A PNG 16-bit colour record (palette index, red, green, blue, grey).
struct PNGColor {
  uint8_t index = 0;
  uint16_t red = 0;
  uint16_t green = 0;
  uint16_t blue = 0;
  uint16_t gray = 0;
};

struct PNGText {
  int compressed = 0;  // 1 for zTXt/compressed iTXt, 0 for tEXt
  std::string keyword;
  std::string text;
};

struct PNGState {
  double screenGamma = 2.9;
  PNGColor defaultBackground;  // used for alpha compositing when a file has no bKGD
  bool fileBackgroundValid = false;
  PNGColor fileBackground;  // bKGD of the last file read
  std::vector<PNGText> textRead;
  int orientationRead = 1;  // of the eXIf chunk before the image data
  std::vector<PNGText> textToWrite;
  PNGColor writeBackground;
  bool writeTransparentValid = false;
  PNGColor writeTransparent;
};

struct JPEGState {
  int scaleNum = 1;
  int scaleDenom = 1;
  PXPtrVector<CFileDataTag> commentsRead;
  PXPtrVector<CFileDataTag> markersRead;
  int orientationRead = 1;  // EXIF orientation of the last file read
  PXPtrVector<CFileDataTag> commentsToWrite;
  PXPtrVector<CFileDataTag> markersToWrite;

  // Forgets what the last file read left, before the next header query or read.
  void ClearRead() {
    commentsRead.clear();
    markersRead.clear();
    orientationRead = 1;
  }
};

// What the last WebP and HEIF files read left for the caller to ask.
struct WebPState {
  int orientationRead = 1;  // EXIF orientation
};
struct HEIFState {
  int orientationRead = 1;  // the turn and mirror libheif applied
};

// One caller-defined tag for the TIFF writer: tag number, TIFF field type, count and
// values as variants (owned by the entry).
struct TIFFExtraTag {
  uint32_t tag = 0;
  int fieldType = 0;
  uint32_t count = 0;
  std::vector<VARIANT> values;
};

struct TIFFWriteOptions {
  int rowsPerStrip = -1;
  int jpegQuality = 75;
  int extraSampleInterpretation = -1;  // -1 = automatic (also read by the TIFF reader)
  int orientation = 1;
  uint32_t tileWidth = 0;
  uint32_t tileLength = 0;
  std::optional<std::string> software;
  std::vector<uint8_t> xmp;          // tag 700
  std::vector<uint8_t> annotations;  // tag 32932
  std::vector<uint8_t> iptc;         // tag 33723
  std::vector<uint8_t> icc;          // tag 34675
  std::vector<uint8_t> photoshop;    // tag 34377
  std::vector<TIFFExtraTag> extraTags;
};

}  // namespace px

struct PXThreadState {
  PXThreadState() = default;
  ~PXThreadState();
  PXThreadState(const PXThreadState&) = delete;
  PXThreadState& operator=(const PXThreadState&) = delete;

  PXProgressCallback progress = nullptr;
  int depth = 0;
  DWORD_PTR userValue = 0;
  px::PNGState png;
  px::JPEGState jpeg;
  px::WebPState webp;
  px::HEIFState heif;
  px::TIFFWriteOptions tiffWrite;
  std::string versionText = PX_VERSION_TEXT;
  std::vector<uint8_t> iccProfile;  // ICC profile block for the writers
  int deviceBitmapSwitch = 0;       // 0: device bitmaps through CreateDIBitmap
  int lastError = 0;
};

namespace px {

// This thread's state, created on first use; null when it cannot be had.
PXThreadState* GetThreadState() noexcept;

}  // namespace px

#endif  // PIXOLITH_CORE_THREAD_STATE_H
