// Finding and loading the PDF module (pdf/pdf_module.h) the PdfWriter writes through.
#ifndef PAGEWEAVER_DOCUMENT_PDF_WRITER_MODULE_H
#define PAGEWEAVER_DOCUMENT_PDF_WRITER_MODULE_H

#include <string>

struct PdfModule;

// A module opened, or why not.
struct PdfModuleLoad {
  const PdfModule* calls = nullptr;
  // "PDF output is not available: ..." with the loader's reason, when `calls` is null.
  std::string problem;
};

// Opens the module file at `path` and checks its table. A module opened stays loaded for
// the life of the process.
PdfModuleLoad LoadPdfModule(const std::string& path);

// Where the running program's module is: the program's folder, then the path from the
// installed programs' folder to the installed module. The same holds in the build tree.
std::string PdfModulePath();

// The module at PdfModulePath, loaded by the first call, from whichever thread.
const PdfModuleLoad& PdfModuleOnce();

#endif  // PAGEWEAVER_DOCUMENT_PDF_WRITER_MODULE_H
