#include "page_copy.h"

#include "image_formats.h"
#include "output.h"
#include "page_image.h"
#include "pixolith/pixolith.h"

namespace {

// The compression the writer gives a page of `bits` asked for `requested`: bilevel
// codes only for 1-bit pages, JPEG only for deeper ones.
uint32_t WrittenCompression(uint32_t bits, int32_t requested) {
  const bool ccitt = requested == kCompressionHuffman || requested == kCompressionGroup3 ||
                     requested == kCompressionGroup4;
  const bool unfit = requested <= 0 || (bits == 1 ? requested == kCompressionJPEG : ccitt);
  return unfit ? uint32_t(kCompressionNone) : uint32_t(requested);
}

// The source rewound for a reader.
PXSource Rewound(PXSource source) {
  PXSeekSource(source, 0, PX_SEEK_SET);
  return source;
}

// A photograph the image object turns upright on load no longer has its stored rows.
bool TurnedOnLoad(PXSource source, const ImageFormat& format) {
  if (format.id != PX_FORMAT_JPEG || !CPageImage::TurnUpright()) return false;
  uint32_t width, height, bits;
  return !PXGetJPEGDimensions(Rewound(source), &width, &height, &bits, nullptr) ||
         PXGetLastJPEGOrientation() != PX_ORIENTATION_TOP_LEFT;
}

// The format of the page's source when the output may take its stored data over; null
// when it stores nothing the output can take over as it is.
const ImageFormat* CopyableFormatOf(const ScopedSource& source, const PageRecord& record) {
  if (!source) return nullptr;
  const ImageTypeRow* row = FindImageType(CandidateType(source.get(), record.sourcePath));
  if (!row || !row->format->storedPage || !row->format->copyPage) return nullptr;
  if (TurnedOnLoad(source.get(), *row->format)) return nullptr;
  return row->format;
}

// The format of the page's source and its stored facts; null when it stores nothing the
// output can take over.
const ImageFormat* StoredPageOf(const ScopedSource& source, const PageRecord& record,
                                PXStoredPage* stored) {
  const ImageFormat* format = CopyableFormatOf(source, record);
  const int frame = record.frameIndex < 0 ? 0 : record.frameIndex;
  return format && format->storedPage(source.AtStart(), frame, stored) ? format : nullptr;
}

BOOL CopiesUnchanged(const PXStoredPage* stored, void* settings) {
  return LeavesPageUnchanged(*static_cast<const PageOutputSettings*>(settings), *stored);
}

}  // namespace

const char* PageHandlingName(PageHandling handling) {
  return handling == PageHandling::kCopied ? "copied" : "converted";
}

bool KeepsPagePixels(const PageOutputSettings& out, uint32_t width, uint32_t height,
                     uint32_t bits) {
  if (bits != 1 && bits != 8 && bits != 24) return false;
  // Depth 0 keeps the depth the page is read at.
  const bool sameDepth = out.bitsPerPixel == 0 || uint32_t(out.bitsPerPixel) == bits;
  return width == uint32_t(out.width) && height == uint32_t(out.height) && out.rotation == 0 &&
         out.flip == 0 && sameDepth;
}

bool LeavesPageUnchanged(const PageOutputSettings& out, const PXStoredPage& stored) {
  const uint32_t bits = stored.bitsPerPixel;
  return KeepsPagePixels(out, stored.width, stored.height, bits) && !stored.transparent &&
         WrittenCompression(bits, out.compression) == stored.compression;
}

PageHandling DecidePageHandling(const PageRecord& record) {
  if (!record.copyUnchanged) return PageHandling::kConverted;
  ScopedSource source(record.sourcePath);
  PXStoredPage stored = {};
  if (!StoredPageOf(source, record, &stored) || !stored.copyable ||
      !LeavesPageUnchanged(record.output, stored))
    return PageHandling::kConverted;
  return PageHandling::kCopied;
}

PXTIFFEncodedPage* CopyUnchangedPage(const PageRecord& record) {
  if (!record.copyUnchanged) return nullptr;
  // One survey of the source decides and copies.
  ScopedSource source(record.sourcePath);
  const ImageFormat* format = CopyableFormatOf(source, record);
  if (!format) return nullptr;
  const int frame = record.frameIndex < 0 ? 0 : record.frameIndex;
  PageOutputSettings settings = record.output;
  return format->copyPage(source.AtStart(), frame, OutputResolution(record.output), CopiesUnchanged,
                          &settings);
}

bool DescribeStoredPage(const std::string& path, int frame, StoredInput* input) {
  ScopedSource source(path);
  return DescribeStoredPage(source.get(), path, frame, input);
}

bool DescribeStoredPage(PXSource source, const std::string& path, int frame, StoredInput* input) {
  if (!source) return false;
  const ImageTypeRow* candidate = FindImageType(CandidateType(source, path));
  if (!candidate || !candidate->format->storedPage) return false;
  const ImageFormat& format = *candidate->format;
  PXStoredPage stored = {};
  if (!format.storedPage(Rewound(source), frame, &stored) || !stored.copyable) return false;
  // The survey tells what loading records where it can; the format's calls the rest.
  StoredPageInput facts;
  if (!format.storedInput || !format.storedInput(source, stored, frame, &facts)) {
    facts.type = RefineType(candidate->type, source, frame);
    facts.resolution = format.resolution(source);
    facts.compression = format.compression ? format.compression(source) : 1;
  }
  const ImageTypeRow* row = FindImageType(facts.type);
  if (!row || row->format != &format || stored.bitsPerPixel != row->bits ||
      TurnedOnLoad(source, format))
    return false;
  const PXResolution& res = facts.resolution;
  // Pages the image object stretches square are read at another size.
  if (row->squaresPixels && res.x != res.y && res.x != 0) return false;
  input->width = stored.width;
  input->height = stored.height;
  input->bitsPerPixel = row->bits;
  input->resolution = res;
  input->compression = facts.compression;
  return true;
}
