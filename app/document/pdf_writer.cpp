#include "pdf_writer.h"

#include <new>
#include <vector>

#include "pdf/pdf_module.h"
#include "pdf_writer_module.h"
#include "pixolith/platform.h"
#include "pixolith/px_core.h"

#ifndef PAGEWEAVER_VERSION_TEXT
#define PAGEWEAVER_VERSION_TEXT "1.0.0"
#endif

PdfPage::~PdfPage() {
  GlobalFree(data);
}

std::string PdfProducer() {
  return std::string("PageWeaver ") + PAGEWEAVER_VERSION_TEXT;
}

std::string PdfOutputProblem() {
  return PdfModuleOnce().problem;
}

struct PdfWriter::Document {
  ~Document() {
    if (pdf) module->destroy(pdf);
  }

  const PdfModule* module = nullptr;
  PdfModuleDocument* pdf = nullptr;             // made by the first page or Write
  std::vector<std::unique_ptr<PdfPage>> pages;  // their streams, until written
  std::string title;
};

namespace {

int ErrorCode(int result) {
  switch (result) {
    case kPdfModuleOk:
      return 0;
    case kPdfModuleNoMemory:
      return PX_ERR_NO_MEMORY;
    case kPdfModuleBadPage:
      return PX_ERR_PARAMETER;
    default:
      return PX_ERR_FILE_WRITE;
  }
}

}  // namespace

PdfWriter::PdfWriter(const std::string& title) : document_(std::make_unique<Document>()) {
  document_->title = title;
}

PdfWriter::~PdfWriter() = default;

int PdfWriter::PageCount() const {
  return int(document_->pages.size());
}

int PdfWriter::Open() {
  if (document_->pdf) return 0;
  const PdfModuleLoad& load = PdfModuleOnce();
  if (!load.calls) return PX_ERR_FILE_WRITE;
  document_->module = load.calls;
  document_->pdf = load.calls->create();
  return document_->pdf ? 0 : PX_ERR_NO_MEMORY;
}

int PdfWriter::AddPage(std::unique_ptr<PdfPage> page) {
  if (!page || !page->data || !page->size || !page->width || !page->height) return PX_ERR_PARAMETER;
  if (int error = Open()) return error;
  try {
    document_->pages.reserve(document_->pages.size() + 1);
  } catch (const std::bad_alloc&) {
    return PX_ERR_NO_MEMORY;
  }
  if (int error = ErrorCode(document_->module->addPage(document_->pdf, page.get()))) return error;
  document_->pages.push_back(std::move(page));
  return 0;
}

int PdfWriter::Write(const std::string& path, const std::function<void()>& breathe) {
  if (int error = Open()) return error;
  try {
    const std::string producer = PdfProducer();
    auto call = [](void* user) { (*static_cast<const std::function<void()>*>(user))(); };
    return ErrorCode(document_->module->write(
        document_->pdf, path.c_str(), document_->title.c_str(), producer.c_str(),
        breathe ? +call : nullptr, const_cast<std::function<void()>*>(&breathe)));
  } catch (const std::bad_alloc&) {
    return PX_ERR_NO_MEMORY;
  }
}
