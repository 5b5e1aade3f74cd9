// One output page as a PDF page needs it: the image's compressed stream with what a
// reader needs to decode it, and the page's size in points. The stream is the filter
// that keeps the page's kind compact and exact: Group 4 for 1-bit pages, JPEG for pages
// asked for JPEG (a JPEG source the output would copy goes in byte for byte), Flate for
// every other page (palette indices, or RGB rows with the PNG predictor; a PNG source
// the output leaves unchanged goes in as its own image data).
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

// How the PDF output writes the page: copied when its source is a JPEG file the TIFF
// output would copy too (DecidePageHandling), or a PNG file whose image data can go in
// as it is: 8-bit grey or RGB samples or 2- to 8-bit palette indices (a palette of grey
// levels only as even steps from black to white), opaque and not interlaced, whose
// settings keep its pixels and ask for no JPEG. Converted otherwise.
PageHandling DecidePdfPageHandling(const PageRecord& record);

// The stream of the page's source when DecidePdfPageHandling says copied: the JPEG
// file's, or the PNG file's image data, which a reader decodes with the PNG predictor.
// Null for every other page, and for a PNG whose data turns out damaged.
std::unique_ptr<PdfPage> CopyUnchangedPdfPage(const PageRecord& record);

// The page as the PDF writer takes it: copied or converted and compressed. 0 or the
// library's code; PX_ERR_ABORTED when the report said stop.
int PreparePdfPage(const PageRecord& record, std::unique_ptr<PdfPage>* page,
                   const PageReport& progress = {});

#endif  // PAGEWEAVER_DOCUMENT_PDF_PAGE_H
