// The PDF file of an output run, over libqpdf: one page per PdfPage, in the order they
// are added, each page filled by its image; the document information names the program,
// the time and the title. The pages' streams go into the file as they are.
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
  // PX_ERR_NO_MEMORY / PX_ERR_PARAMETER.
  int AddPage(std::unique_ptr<PdfPage> page);
  // Writes the document to `path` (created or truncated); `breathe`, when set, is called
  // as the writing goes on. 0, or PX_ERR_FILE_WRITE / PX_ERR_NO_MEMORY.
  int Write(const std::string& path, const std::function<void()>& breathe = {});
  int PageCount() const;

 private:
  struct Document;
  std::unique_ptr<Document> document_;
};

// "PageWeaver <version>", the Producer of every file written.
std::string PdfProducer();

#endif  // PAGEWEAVER_DOCUMENT_PDF_WRITER_H
