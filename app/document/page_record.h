// A page of the page list: where it comes from, what it looked like when loaded, and
// what the output makes of it; and the notifications the document sends its views.
#ifndef PAGEWEAVER_DOCUMENT_PAGE_RECORD_H
#define PAGEWEAVER_DOCUMENT_PAGE_RECORD_H

#include <cstdint>
#include <string>

#include "pixolith/platform.h"

// TIFF Compression tag values the output offers.
enum OutputCompression : int32_t {
  kCompressionNone = 1,
  kCompressionHuffman = 2,
  kCompressionGroup3 = 3,
  kCompressionGroup4 = 4,
  kCompressionLZW = 5,
  kCompressionJPEG = 7,
  kCompressionPackBits = 32773,
  kCompressionDeflate = 32946,
};

// The largest output size, resolution and black threshold a page can be given.
constexpr int32_t kMaxOutputSize = 20000;
constexpr int32_t kMaxOutputResolution = 20000;
constexpr int32_t kMaxThreshold = 255;
// The quality range of JPEG-compressed pages, and the writer's own default.
constexpr int32_t kMinJPEGQuality = 1;
constexpr int32_t kMaxJPEGQuality = 100;
constexpr int32_t kDefaultJPEGQuality = 75;

// True for the compression codes the output writes as they are; others become none.
bool IsOutputCompression(int32_t code);

struct PageOutputSettings {
  int32_t width = 0;  // the page is fitted into width x height keeping its aspect ratio
  int32_t height = 0;
  int32_t resolutionX = 72;
  int32_t resolutionY = 72;
  int32_t resolutionUnit = 2;  // 1 none, 2 inch, 3 centimetre
  int32_t bitsPerPixel = 24;   // 1, 8 or 24; anything else keeps the depth as loaded
  int32_t compression = kCompressionNone;
  int32_t rotation = 0;  // 0, 90, 180, 270 degrees clockwise
  int32_t flip = 0;      // 0 none, 1 horizontal, 2 vertical
  int32_t threshold = 128;
  int32_t dither = 0;  // 1: 1-bit pages diffuse the error instead of cutting at the threshold
  int32_t jpegQuality = kDefaultJPEGQuality;  // 1 to 100, for JPEG compression

  bool operator==(const PageOutputSettings&) const = default;
};

struct PageRecord {
  std::string sourcePath;
  int32_t frameIndex = -1;
  int32_t inputResolutionX = 0;
  int32_t inputResolutionY = 0;
  int32_t inputResolutionUnit = -1;
  int32_t inputWidth = 0;
  int32_t inputHeight = 0;
  int32_t inputBitsPerPixel = -1;
  bool subFrame = false;
  int32_t pageId = 0;
  PageOutputSettings output;
  // False when the page must be converted even where its stored data could be copied
  // (a job file's "copy": false).
  bool copyUnchanged = true;

  bool operator==(const PageRecord&) const = default;
};

// The thumbnail item's text: the path, or "path - (frame)" for one page of a
// multi-page file.
std::string PageDisplayName(const PageRecord& record);

enum PageListHint {
  HINT_RESET = 0,
  HINT_PAGE_ADDED = 1,
  HINT_PAGE_REMOVED = 2,
  HINT_SHOW_PAGE = 3,
  HINT_PAGE_SETTINGS_CHANGED = 4,
  HINT_OUTPUT_STARTING = 5,
  HINT_THUMBNAIL_CHANGED = 6,
  HINT_PAGE_REFRESHED = 7,
  HINT_SAVE_BEGIN = 8,
  HINT_SAVE_END = 9,
  HINT_PREVIEW_SIZE_CHANGED = 11,
};

// What a notification carries. The bitmap is valid only while the notification runs:
// a thumbnail belongs to the document, a preview to the preview cache.
struct PageHint {
  PageRecord record;
  std::string displayName;
  HBITMAP bitmap = nullptr;
  int32_t pageId = 0;
};

#endif  // PAGEWEAVER_DOCUMENT_PAGE_RECORD_H
