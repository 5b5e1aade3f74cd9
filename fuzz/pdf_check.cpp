#include "pdf_check.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cstring>
#include <map>
#include <new>

namespace pxfuzz {

const char* CheckPdfPage(const std::string& path, uint32_t width, uint32_t height,
                         const std::vector<uint8_t>& stream, const uint8_t* pixels, size_t bytes) {
  try {
    QPDF pdf;
    pdf.processFile(path.c_str());
    // Catalog, pages, page, contents, image, information.
    if (pdf.getObjectCount() < 6) return "PDF read back with objects missing";
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (pages.size() != 1) return "PDF read back with another page count";
    std::map<std::string, QPDFObjectHandle> images = pages[0].getImages();
    if (images.size() != 1) return "PDF page read back without its image";
    QPDFObjectHandle image = images.begin()->second;
    QPDFObjectHandle dict = image.getDict();
    if (dict.getKey("/Width").getIntValue() != width ||
        dict.getKey("/Height").getIntValue() != height)
      return "PDF image read back at another size";
    std::shared_ptr<Buffer> raw = image.getRawStreamData();
    if (raw->getSize() != stream.size() ||
        dict.getKey("/Length").getIntValue() != static_cast<long long>(stream.size()) ||
        std::memcmp(raw->getBuffer(), stream.data(), stream.size()) != 0)
      return "PDF image stream read back changed";
    if (pixels) {
      std::shared_ptr<Buffer> decoded = image.getStreamData(qpdf_dl_generalized);
      if (decoded->getSize() != bytes || std::memcmp(decoded->getBuffer(), pixels, bytes) != 0)
        return "PDF image read back with other pixels";
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const std::exception&) {
    return "written PDF does not read back";
  }
  return nullptr;
}

}  // namespace pxfuzz
