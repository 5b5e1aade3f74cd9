// One output page as a PDF page needs it: the image's compressed stream with what a
// reader needs to decode it, and the page's size in points. The stream is the filter
// that keeps the page's kind compact and exact: Group 4 for 1-bit pages, JPEG for pages
// asked for JPEG (a JPEG source the output would copy goes in byte for byte), Flate for
// every other page (palette indices, or RGB rows with the PNG predictor).
#ifndef PAGEWEAVER_DOCUMENT_PDF_PAGE_H
#define PAGEWEAVER_DOCUMENT_PDF_PAGE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "page_copy.h"
#include "page_image.h"
#include "page_record.h"

struct PdfPage {
  enum class Filter { kFlate, kDCT, kCCITTG4 };
  enum class Colors { kGray, kRGB, kIndexed };

  PdfPage() = default;
  ~PdfPage();
  PdfPage(const PdfPage&) = delete;
  PdfPage& operator=(const PdfPage&) = delete;

  Filter filter = Filter::kFlate;
  Colors colors = Colors::kRGB;
  uint32_t width = 0;  // pixels
  uint32_t height = 0;
  int bitsPerComponent = 8;
  bool predictor = false;        // Flate rows carry PNG filter bytes
  std::vector<uint8_t> palette;  // red, green, blue per entry, for kIndexed
  uint8_t* data = nullptr;       // the stream, a library block
  uint32_t size = 0;
  double widthPoints = 0;
  double heightPoints = 0;
  PageHandling handling = PageHandling::kConverted;
};

// The size in points of a page of these pixels written with the settings' resolution:
// pixels x 72 / dpi, centimetres converted, a page without a unit at 72 dpi.
void PdfPageSize(const PageOutputSettings& out, uint32_t width, uint32_t height,
                 double* widthPoints, double* heightPoints);

// Compresses a converted page (as PreparePage leaves it) for PDF: 0 or the library's code.
int EncodePdfImage(const CPageImage& image, const PageOutputSettings& out, PdfPage* page);

// The JPEG stream of the page's source when the output copies the page (DecidePageHandling)
// and the source is a JPEG file; null for every other page.
std::unique_ptr<PdfPage> CopyUnchangedPdfPage(const PageRecord& record);

// The page as the PDF writer takes it: copied or converted and compressed. 0 or the
// library's code; PX_ERR_ABORTED when the report said stop.
int PreparePdfPage(const PageRecord& record, std::unique_ptr<PdfPage>* page,
                   const PageReport& progress = {});

#endif  // PAGEWEAVER_DOCUMENT_PDF_PAGE_H
