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
#include "pdf_image.h"

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
