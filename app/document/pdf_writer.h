// The PDF file of an output run: one page per PdfPage, in the order they are added, each
// page filled by its image; the document information names the program, the time and the
// title. The pages' streams go into the file as they are. The file is made by the PDF
// module (pdf/pdf_module.h), loaded when the first writer needs it.
#ifndef PAGEWEAVER_DOCUMENT_PDF_WRITER_H
#define PAGEWEAVER_DOCUMENT_PDF_WRITER_H

#include <functional>
#include <memory>
#include <string>

#include "pdf_image.h"

class PdfWriter {
 public:
  // `title` becomes the document's Title.
  explicit PdfWriter(const std::string& title);
  ~PdfWriter();
  PdfWriter(const PdfWriter&) = delete;
  PdfWriter& operator=(const PdfWriter&) = delete;

  // Adds the page after the others (the writer keeps its stream until Write): 0, or
  // PX_ERR_NO_MEMORY / PX_ERR_PARAMETER, or PX_ERR_FILE_WRITE when the PDF module cannot
  // be loaded (PdfOutputProblem tells why).
  int AddPage(std::unique_ptr<PdfPage> page);
  // Writes the document to `path` (created or truncated); `breathe`, when set, is called
  // as the writing goes on. 0, or PX_ERR_FILE_WRITE / PX_ERR_NO_MEMORY; nothing is
  // written when the PDF module cannot be loaded.
  int Write(const std::string& path, const std::function<void()>& breathe = {});
  int PageCount() const;

 private:
  // Loads the module and starts the document, once: 0 or the error.
  int Open();

  struct Document;
  std::unique_ptr<Document> document_;
};

// "PageWeaver <version>", the Producer of every file written.
std::string PdfProducer();

// Why PDF files cannot be written ("PDF output is not available: " and the reason), or
// empty when they can. Loads the module if no writer did yet.
std::string PdfOutputProblem();

#endif  // PAGEWEAVER_DOCUMENT_PDF_WRITER_H
