// WMF and EMF in the command-line tool: `info` gives the size of the picture as the
// application renders it.
#include "formats.h"
#include "formats/single_page.h"

namespace cli {

namespace {

template <int kFormat>
int Describe(PXSource source, const std::string& path, json::Value& info) {
  Image image;
  if (int error = FindImageFormat(kFormat)->read({source, path, 0, 24}, image)) return error;
  SetSinglePage(info, PageObject(image.width, image.height, 24, PXResolution{}));
  return 0;
}

const FormatRegistration kWmf({PX_FORMAT_WMF, Describe<PX_FORMAT_WMF>});
const FormatRegistration kEmf({PX_FORMAT_EMF, Describe<PX_FORMAT_EMF>});

}  // namespace

}  // namespace cli
