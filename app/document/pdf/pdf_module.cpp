// The PDF module over libqpdf: one page per PdfPage, in the order they are added, each
// page filled by its image, and the document information the writer gives.
#include "pdf_module.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <exception>
#include <memory>
#include <new>
#include <string>

struct PdfModuleDocument {
  QPDF pdf;
};

namespace {

// Points as the page and its drawing give them: four decimals are far below a pixel.
std::string Points(double value) {
  return QUtil::double_to_string(value, 4, true);
}

QPDFObjectHandle Name(const char* name) {
  return QPDFObjectHandle::newName(name);
}

QPDFObjectHandle ColorSpace(const PdfPage& page) {
  switch (page.colors) {
    case PdfPage::Colors::kGray:
      return Name("/DeviceGray");
    case PdfPage::Colors::kRGB:
      return Name("/DeviceRGB");
    case PdfPage::Colors::kIndexed:
      break;
  }
  const std::string lookup(page.palette.begin(), page.palette.end());
  return QPDFObjectHandle::newArray(
      {Name("/Indexed"), Name("/DeviceRGB"),
       QPDFObjectHandle::newInteger(static_cast<long long>(page.palette.size() / 3) - 1),
       QPDFObjectHandle::newString(lookup)});
}

QPDFObjectHandle ImageStream(QPDF& pdf, const PdfPage& page) {
  QPDFObjectHandle image = QPDFObjectHandle::newStream(&pdf);
  QPDFObjectHandle dict = image.getDict();
  dict.replaceKey("/Type", Name("/XObject"));
  dict.replaceKey("/Subtype", Name("/Image"));
  dict.replaceKey("/Width", QPDFObjectHandle::newInteger(page.width));
  dict.replaceKey("/Height", QPDFObjectHandle::newInteger(page.height));
  dict.replaceKey("/ColorSpace", ColorSpace(page));
  dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(page.bitsPerComponent));
  QPDFObjectHandle filter, parms = QPDFObjectHandle::newNull();
  switch (page.filter) {
    case PdfPage::Filter::kCCITTG4:
      filter = Name("/CCITTFaxDecode");
      parms = QPDFObjectHandle::newDictionary();
      parms.replaceKey("/K", QPDFObjectHandle::newInteger(-1));
      parms.replaceKey("/Columns", QPDFObjectHandle::newInteger(page.width));
      parms.replaceKey("/Rows", QPDFObjectHandle::newInteger(page.height));
      // The stream codes set bits as black runs; decoded, black is 0, the grey of black.
      parms.replaceKey("/BlackIs1", QPDFObjectHandle::newBool(false));
      break;
    case PdfPage::Filter::kDCT:
      filter = Name("/DCTDecode");
      break;
    case PdfPage::Filter::kFlate:
      filter = Name("/FlateDecode");
      if (page.predictor) {
        parms = QPDFObjectHandle::newDictionary();
        parms.replaceKey("/Predictor", QPDFObjectHandle::newInteger(15));
        parms.replaceKey(
            "/Colors", QPDFObjectHandle::newInteger(page.colors == PdfPage::Colors::kRGB ? 3 : 1));
        parms.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(page.bitsPerComponent));
        parms.replaceKey("/Columns", QPDFObjectHandle::newInteger(page.width));
      }
      break;
  }
  // The page's block is lent, not copied: the writer keeps it until the file is written.
  image.replaceStreamData(std::make_shared<Buffer>(page.data, page.size), filter, parms);
  return image;
}

PdfModuleDocument* Create() {
  try {
    auto document = std::make_unique<PdfModuleDocument>();
    document->pdf.emptyPDF();
    return document.release();
  } catch (const std::exception&) {
    return nullptr;
  }
}

void Destroy(PdfModuleDocument* document) {
  delete document;
}

int AddPage(PdfModuleDocument* document, const PdfPage* page) {
  if (!document || !page) return kPdfModuleBadPage;
  try {
    QPDF& pdf = document->pdf;
    const std::string w = Points(page->widthPoints), h = Points(page->heightPoints);
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
    xobjects.replaceKey("/Im0", pdf.makeIndirectObject(ImageStream(pdf, *page)));
    resources.replaceKey("/XObject", xobjects);
    QPDFObjectHandle contents =
        QPDFObjectHandle::newStream(&pdf, "q " + w + " 0 0 " + h + " 0 0 cm /Im0 Do Q\n");
    QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
    dict.replaceKey("/Type", Name("/Page"));
    dict.replaceKey("/MediaBox",
                    QPDFObjectHandle::newArray(
                        {QPDFObjectHandle::newInteger(0), QPDFObjectHandle::newInteger(0),
                         QPDFObjectHandle::parse(w), QPDFObjectHandle::parse(h)}));
    dict.replaceKey("/Resources", resources);
    dict.replaceKey("/Contents", contents);
    pdf.addPage(pdf.makeIndirectObject(dict), false);
    return kPdfModuleOk;
  } catch (const std::bad_alloc&) {
    return kPdfModuleNoMemory;
  } catch (const std::exception&) {
    return kPdfModuleBadPage;
  }
}

int Write(PdfModuleDocument* document, const char* path, const char* title, const char* producer,
          void (*breathe)(void*), void* user) {
  if (!document || !path || !title || !producer) return kPdfModuleWriteFailed;
  try {
    QPDF& pdf = document->pdf;
    QPDFObjectHandle info = QPDFObjectHandle::newDictionary();
    info.replaceKey("/Producer", QPDFObjectHandle::newUnicodeString(producer));
    info.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(title));
    const std::string now = QUtil::qpdf_time_to_pdf_time(QUtil::get_current_qpdf_time());
    info.replaceKey("/CreationDate", QPDFObjectHandle::newString(now));
    info.replaceKey("/ModDate", QPDFObjectHandle::newString(now));
    pdf.getTrailer().replaceKey("/Info", pdf.makeIndirectObject(info));
    QPDFWriter writer(pdf, path);
    // The streams are written exactly as the pages made them.
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setObjectStreamMode(qpdf_o_generate);
    writer.setMinimumPDFVersion("1.4");
    writer.setDeterministicID(true);
    if (breathe)
      writer.registerProgressReporter(std::make_shared<QPDFWriter::FunctionProgressReporter>(
          [breathe, user](int) { breathe(user); }));
    writer.write();
    return kPdfModuleOk;
  } catch (const std::bad_alloc&) {
    return kPdfModuleNoMemory;
  } catch (const std::exception&) {
    return kPdfModuleWriteFailed;
  }
}

constexpr PdfModule kModule = {kPdfModuleVersion, sizeof(PdfPage), Create, Destroy, AddPage, Write};

}  // namespace

extern "C" __attribute__((visibility("default"))) const PdfModule* PageWeaverPdfModule(void) {
  return &kModule;
}
