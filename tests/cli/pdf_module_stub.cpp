// A PDF module of a version no program asks for: its loader must refuse it unused.
#include "document/pdf/pdf_module.h"

namespace {

constexpr PdfModule kStub = {
    kPdfModuleVersion + 98, sizeof(PdfPage), nullptr, nullptr, nullptr, nullptr};

}  // namespace

extern "C" __attribute__((visibility("default"))) const PdfModule* PageWeaverPdfModule(void) {
  return &kStub;
}
