// The calls between the document's PdfWriter and the PDF module (pageweaver-pdf), the one
// part of the programs over libqpdf: loaded when the first PDF is made, so that no start
// pays for libqpdf and the crypto libraries it brings. Plain C across the boundary; the
// module reads the pages the writer owns and keeps nothing of them but their streams,
// lent until the file is written.
#ifndef PAGEWEAVER_DOCUMENT_PDF_PDF_MODULE_H
#define PAGEWEAVER_DOCUMENT_PDF_PDF_MODULE_H

#include <cstddef>
#include <cstdint>

#include "document/pdf_image.h"

// Raised whenever a call or the layout of PdfPage changes.
constexpr uint32_t kPdfModuleVersion = 1;
// The module's one exported symbol: `const PdfModule* PageWeaverPdfModule(void)`.
#define PAGEWEAVER_PDF_MODULE_ENTRY "PageWeaverPdfModule"

// What a call of the module reports.
enum PdfModuleResult : int {
  kPdfModuleOk = 0,
  kPdfModuleNoMemory = 1,
  kPdfModuleBadPage = 2,
  kPdfModuleWriteFailed = 3,
};

struct PdfModuleDocument;

struct PdfModule {
  uint32_t version;   // kPdfModuleVersion
  size_t pageLayout;  // sizeof(PdfPage) as the module was built
  // An empty document; null when there is no memory.
  PdfModuleDocument* (*create)(void);
  void (*destroy)(PdfModuleDocument* document);
  // Adds the page after the others. Its stream is used in place: it must outlive Write.
  int (*addPage)(PdfModuleDocument* document, const PdfPage* page);
  // Writes the document to `path` with the Title and Producer given; `breathe` (may be
  // null) is called with `user` as the writing goes on.
  int (*write)(PdfModuleDocument* document, const char* path, const char* title,
               const char* producer, void (*breathe)(void* user), void* user);
};

extern "C" {
typedef const PdfModule* (*PdfModuleEntry)(void);
}

#endif  // PAGEWEAVER_DOCUMENT_PDF_PDF_MODULE_H
