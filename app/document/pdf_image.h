// One PDF page's image: its compressed stream, what a reader needs to decode it, and the
// page's size in points. Plain data, free of the document's other types, so that the PDF
// writer needs nothing else.
#ifndef PAGEWEAVER_DOCUMENT_PDF_IMAGE_H
#define PAGEWEAVER_DOCUMENT_PDF_IMAGE_H

#include <cstdint>
#include <vector>

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
  bool copied = false;  // the source's own stream
};

#endif  // PAGEWEAVER_DOCUMENT_PDF_IMAGE_H
