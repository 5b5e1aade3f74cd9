#include "ui_support.h"

#include "image_files.h"

namespace uitest {

std::string DocumentFixture::Bmp(const std::string& name, uint32_t width, uint32_t height) {
  std::string path = dir.File(name);
  pxtest::WriteBMP24(path, width, height,
                     [width](uint32_t x, uint32_t y) { return (x * 255 / width) << 16 | y; });
  return path;
}

}  // namespace uitest
