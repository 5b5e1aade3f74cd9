#include "pdf_page.h"

#include <algorithm>

#include "image_formats.h"
#include "output.h"
#include "pixolith/pixolith.h"

void PdfPageSize(const PageOutputSettings& out, uint32_t width, uint32_t height,
                 double* widthPoints, double* heightPoints) {
  const PXResolution res = OutputResolution(out);
  // Dots per inch; a page without a unit has its points equal its pixels.
  const double perInch = res.unit == 2 ? 1.0 : res.unit == 3 ? 2.54 : 0.0;
  const double dpiX = perInch > 0 ? res.x * perInch : 72.0;
  const double dpiY = perInch > 0 ? res.y * perInch : 72.0;
  *widthPoints = width * 72.0 / dpiX;
  *heightPoints = height * 72.0 / dpiY;
}

namespace {

// Takes the stream an encoder made; `size` is read once the encoder has set it.
int Stored(uint8_t* data, const uint32_t* size, PdfPage* page) {
  if (!data) return PXGetLastError() ? PXGetLastError() : int(PX_ERR_UNEXPECTED);
  page->data = data;
  page->size = *size;
  return 0;
}

int JPEGQuality(const PageOutputSettings& out) {
  return out.jpegQuality >= kMinJPEGQuality && out.jpegQuality <= kMaxJPEGQuality
             ? out.jpegQuality
             : kDefaultJPEGQuality;
}

// The grey level of every index when the entries a palette page uses are all grey.
bool GreyLevels(const CPageImage& image, uint32_t used, std::vector<uint8_t>* levels) {
  const RGBQUAD* palette = image.Palette();
  levels->resize(used);
  for (uint32_t i = 0; i < used; ++i) {
    const RGBQUAD& q = palette[i];
    if (q.rgbRed != q.rgbGreen || q.rgbGreen != q.rgbBlue) return false;
    (*levels)[i] = q.rgbRed;
  }
  return true;
}

// The page's grey levels, one byte per pixel; null when the indices are the levels.
std::vector<uint8_t> LevelPixels(const CPageImage& image, const std::vector<uint8_t>& levels) {
  bool identity = true;
  for (size_t i = 0; i < levels.size() && identity; ++i) identity = levels[i] == i;
  if (identity) return {};
  const size_t count = size_t(image.Width()) * image.Height();
  std::vector<uint8_t> grey(count);
  const uint8_t* p = image.Pixels();
  for (size_t i = 0; i < count; ++i) grey[i] = levels[p[i]];
  return grey;
}

int EncodePaletteImage(const CPageImage& image, const PageOutputSettings& out, PdfPage* page) {
  const size_t count = size_t(image.Width()) * image.Height();
  const uint8_t* pixels = image.Pixels();
  const uint32_t used = uint32_t(*std::max_element(pixels, pixels + count)) + 1;
  std::vector<uint8_t> levels;
  const bool grey = GreyLevels(image, used, &levels);
  const bool jpeg = out.compression == kCompressionJPEG;
  uint32_t size = 0;
  if (grey) {
    std::vector<uint8_t> mapped = LevelPixels(image, levels);
    const uint8_t* data = mapped.empty() ? pixels : mapped.data();
    page->colors = PdfPage::Colors::kGray;
    page->filter = jpeg ? PdfPage::Filter::kDCT : PdfPage::Filter::kFlate;
    page->predictor = !jpeg;
    return Stored(
        jpeg ? PXEncodeJPEGStream(data, image.Width(), image.Height(), 8, JPEGQuality(out), &size)
             : PXDeflateStream(data, image.Width(), image.Height(), 8, TRUE, &size),
        &size, page);
  }
  if (jpeg) {
    // JPEG codes colours, not indices: the page's colours are what it is made of.
    CPageImage colours;
    if (int error = image.CopyTo(&colours)) return error;
    if (int error = colours.To24Bit()) return error;
    page->colors = PdfPage::Colors::kRGB;
    page->filter = PdfPage::Filter::kDCT;
    return Stored(PXEncodeJPEGStream(colours.Pixels(), colours.Width(), colours.Height(), 24,
                                     JPEGQuality(out), &size),
                  &size, page);
  }
  page->colors = PdfPage::Colors::kIndexed;
  page->filter = PdfPage::Filter::kFlate;
  page->palette.clear();
  for (uint32_t i = 0; i < used; ++i) {
    const RGBQUAD& q = image.Palette()[i];
    page->palette.insert(page->palette.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
  }
  return Stored(PXDeflateStream(pixels, image.Width(), image.Height(), 8, FALSE, &size), &size,
                page);
}

}  // namespace

int EncodePdfImage(const CPageImage& image, const PageOutputSettings& out, PdfPage* page) {
  if (!image.HasPixels()) return PX_ERR_PARAMETER;
  page->width = image.Width();
  page->height = image.Height();
  PdfPageSize(out, page->width, page->height, &page->widthPoints, &page->heightPoints);
  page->copied = false;
  page->bitsPerComponent = 8;
  uint32_t size = 0;
  switch (image.BitsPerPixel()) {
    case 1:
      // Group 4 whatever the page asked for: the most compact exact form of 1-bit pages.
      page->filter = PdfPage::Filter::kCCITTG4;
      page->colors = PdfPage::Colors::kGray;
      page->bitsPerComponent = 1;
      return Stored(PXEncodeG4Stream(image.Pixels(), image.Width(), image.Height(), &size), &size,
                    page);
    case 8:
      return EncodePaletteImage(image, out, page);
    case 24: {
      page->colors = PdfPage::Colors::kRGB;
      const bool jpeg = out.compression == kCompressionJPEG;
      page->filter = jpeg ? PdfPage::Filter::kDCT : PdfPage::Filter::kFlate;
      page->predictor = !jpeg;
      return Stored(
          jpeg ? PXEncodeJPEGStream(image.Pixels(), image.Width(), image.Height(), 24,
                                    JPEGQuality(out), &size)
               : PXDeflateStream(image.Pixels(), image.Width(), image.Height(), 24, TRUE, &size),
          &size, page);
    }
    default:
      return PX_ERR_BIT_DEPTH;
  }
}

namespace {

// True when every palette entry is a grey level.
bool AllGrey(const PXPNGStream& png) {
  for (uint32_t i = 0; i < png.paletteCount; ++i) {
    const BYTE* e = png.palette + 3 * i;
    if (e[0] != e[1] || e[1] != e[2]) return false;
  }
  return true;
}

// True when the palette is the grey levels from black to white in even steps, one per
// index: the indices read as grey samples of the file's depth are these levels.
bool LevelRamp(const PXPNGStream& png) {
  const uint32_t entries = 1u << png.bitDepth;
  if (png.paletteCount != entries || !AllGrey(png)) return false;
  for (uint32_t i = 0; i < entries; ++i)
    if (png.palette[3 * i] != i * 255 / (entries - 1)) return false;
  return true;
}

// True when the PDF output takes the PNG's data over: the page as it is read (palette
// files at 8 bits, grey and RGB files as RGB) kept, and written as Flate. A converted
// page of grey palette entries becomes grey levels, which the data of other grey
// palettes than a ramp does not hold.
bool TakesPNGData(const PageOutputSettings& out, const PXPNGStream& png) {
  const bool palette = png.colorType == 3;
  return png.copyable && KeepsPagePixels(out, png.width, png.height, palette ? 8 : 24) &&
         out.compression != kCompressionJPEG && (!palette || !AllGrey(png) || LevelRamp(png));
}

// The survey of a PNG source, true when the PDF output takes its data over.
bool SurveyTakesPNG(const ScopedSource& source, const PageRecord& record, PXPNGStream* png) {
  return PXGetPNGStream(source.AtStart(), png) && TakesPNGData(record.output, *png);
}

// A page holding a source's stream (a library block, or null when reading it failed).
std::unique_ptr<PdfPage> StreamPage(uint8_t* data, uint32_t size, uint32_t width, uint32_t height) {
  if (!data) return nullptr;
  auto page = std::make_unique<PdfPage>();
  page->data = data;
  page->size = size;
  page->width = width;
  page->height = height;
  return page;
}

std::unique_ptr<PdfPage> CopyJPEG(const ScopedSource& source, const PageRecord& record) {
  if (DecidePageHandling(record) != PageHandling::kCopied) return nullptr;
  PXStoredPage stored = {};
  uint32_t size = 0;
  uint8_t* data = PXReadJPEGStream(source.AtStart(), &stored, &size);
  auto page = StreamPage(data, size, stored.width, stored.height);
  if (!page) return nullptr;
  page->filter = PdfPage::Filter::kDCT;
  page->colors = stored.bitsPerPixel == 8 ? PdfPage::Colors::kGray : PdfPage::Colors::kRGB;
  return page;
}

std::unique_ptr<PdfPage> CopyPNG(const ScopedSource& source, const PageRecord& record) {
  PXPNGStream png;
  if (!SurveyTakesPNG(source, record, &png)) return nullptr;
  uint32_t size = 0;
  uint8_t* data = PXReadPNGStream(source.AtStart(), &png, &size);
  auto page = StreamPage(data, size, png.width, png.height);
  if (!page) return nullptr;
  page->filter = PdfPage::Filter::kFlate;
  page->predictor = true;
  page->bitsPerComponent = int(png.bitDepth);
  if (png.colorType == 2) {
    page->colors = PdfPage::Colors::kRGB;
  } else if (png.colorType == 0 || LevelRamp(png)) {
    page->colors = PdfPage::Colors::kGray;
  } else {
    // Indices past the palette show its first entry, as the image object reads them.
    page->colors = PdfPage::Colors::kIndexed;
    page->palette.assign(png.palette, png.palette + 3 * png.paletteCount);
    for (uint32_t i = png.paletteCount; i < (1u << png.bitDepth); ++i)
      page->palette.insert(page->palette.end(), png.palette, png.palette + 3);
  }
  return page;
}

}  // namespace

PageHandling DecidePdfPageHandling(const PageRecord& record) {
  if (!record.copyUnchanged) return PageHandling::kConverted;
  ScopedSource source(record.sourcePath, ScopedSource::Reading::kWholeFile);
  if (!source) return PageHandling::kConverted;
  PXPNGStream png;
  switch (PXGuessFileType(source.AtStart())) {
    case PX_FORMAT_JPEG:
      return DecidePageHandling(record);
    case PX_FORMAT_PNG:
      return SurveyTakesPNG(source, record, &png) ? PageHandling::kCopied
                                                  : PageHandling::kConverted;
    default:
      return PageHandling::kConverted;
  }
}

std::unique_ptr<PdfPage> CopyUnchangedPdfPage(const PageRecord& record) {
  if (!record.copyUnchanged) return nullptr;
  ScopedSource source(record.sourcePath, ScopedSource::Reading::kWholeFile);
  if (!source) return nullptr;
  std::unique_ptr<PdfPage> page;
  switch (PXGuessFileType(source.AtStart())) {
    case PX_FORMAT_JPEG:
      page = CopyJPEG(source, record);
      break;
    case PX_FORMAT_PNG:
      page = CopyPNG(source, record);
      break;
    default:
      return nullptr;
  }
  if (!page) return nullptr;
  page->copied = true;
  PdfPageSize(record.output, page->width, page->height, &page->widthPoints, &page->heightPoints);
  return page;
}

int PreparePdfPage(const PageRecord& record, std::unique_ptr<PdfPage>* page,
                   const PageReport& progress) {
  if ((*page = CopyUnchangedPdfPage(record))) {
    if (progress && !progress(nullptr, PageHandling::kCopied)) {
      page->reset();
      return PX_ERR_ABORTED;
    }
    return 0;
  }
  CPageImage image;
  auto loaded = [&](const CPageImage& shown) {
    return !progress || progress(&shown, PageHandling::kConverted);
  };
  if (int error = PreparePage(record, &image, loaded)) return error;
  auto made = std::make_unique<PdfPage>();
  if (int error = EncodePdfImage(image, record.output, made.get())) return error;
  *page = std::move(made);
  return 0;
}
