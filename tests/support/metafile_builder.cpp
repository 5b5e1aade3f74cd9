#include "metafile_builder.h"

#include "pixolith/px_metafile.h"
#include "test_support.h"

namespace pxtest {

namespace {

void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

void Put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}

void Patch32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

}  // namespace

std::vector<uint8_t> Fields(std::initializer_list<int64_t> fields) {
  std::vector<uint8_t> v;
  for (int64_t f : fields) Put32(v, uint32_t(f));
  return v;
}

Dib Dib24(int width, int height, const std::vector<uint32_t>& rgb) {
  Dib d;
  d.width = width;
  d.height = height;
  d.info = Fields({40, width, height, 0x00180001, 0, 0, 0, 0, 0, 0});
  size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
  for (int y = height - 1; y >= 0; --y) {
    size_t start = d.bits.size();
    for (int x = 0; x < width; ++x) {
      uint32_t p = rgb[size_t(y) * width + x];
      d.bits.insert(d.bits.end(), {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16)});
    }
    d.bits.resize(start + stride, 0);
  }
  return d;
}

Dib Dib1(int width, int height, uint32_t color0, uint32_t color1, const std::vector<int>& pixels) {
  Dib d;
  d.width = width;
  d.height = height;
  d.info = Fields({40, width, height, 0x00010001, 0, 0, 0, 0, 2, 0, color0, color1});
  size_t stride = ((size_t(width) + 31) / 32) * 4;
  for (int y = height - 1; y >= 0; --y) {
    std::vector<uint8_t> row(stride, 0);
    for (int x = 0; x < width; ++x)
      if (pixels[size_t(y) * width + x]) row[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
    d.bits.insert(d.bits.end(), row.begin(), row.end());
  }
  return d;
}

std::vector<uint8_t> StretchDIBitsBody(int x, int y, int w, int h, const Dib& dib, uint32_t usage,
                                       uint32_t rop) {
  // Bounds, destination corner, source rectangle, the DIB's offsets and sizes, usage,
  // raster operation, destination size; then the DIB.
  size_t offBmi = 8 + 72, offBits = offBmi + dib.info.size();
  std::vector<uint8_t> body = Fields({0, 0, 0, 0, x, y, 0, 0, dib.width, dib.height,
                                      int64_t(offBmi), int64_t(dib.info.size()), int64_t(offBits),
                                      int64_t(dib.bits.size()), usage, rop, w, h});
  body.insert(body.end(), dib.info.begin(), dib.info.end());
  body.insert(body.end(), dib.bits.begin(), dib.bits.end());
  return body;
}

std::vector<uint8_t> BlitBody(int x, int y, int w, int h, uint32_t rop, const Dib& dib,
                              std::initializer_list<int64_t> extra, const Dib* mask) {
  size_t common = 92, extraBytes = mask ? 28 : 4 * extra.size();
  size_t offBmi = 8 + common + extraBytes, offBits = offBmi + dib.info.size();
  std::vector<uint8_t> body = Fields({0,
                                      0,
                                      0,
                                      0,
                                      x,
                                      y,
                                      w,
                                      h,
                                      rop,
                                      0,
                                      0,
                                      0x3F800000,
                                      0,
                                      0,
                                      0x3F800000,
                                      0,
                                      0,
                                      0,
                                      0,
                                      int64_t(offBmi),
                                      int64_t(dib.info.size()),
                                      int64_t(offBits),
                                      int64_t(dib.bits.size())});
  std::vector<uint8_t> tail;
  if (mask) {
    size_t maskInfo = offBits + dib.bits.size(), maskBits = maskInfo + mask->info.size();
    tail = Fields({0, 0, 0, int64_t(maskInfo), int64_t(mask->info.size()), int64_t(maskBits),
                   int64_t(mask->bits.size())});
  } else {
    tail = Fields(extra);
  }
  body.insert(body.end(), tail.begin(), tail.end());
  body.insert(body.end(), dib.info.begin(), dib.info.end());
  body.insert(body.end(), dib.bits.begin(), dib.bits.end());
  if (mask) {
    body.insert(body.end(), mask->info.begin(), mask->info.end());
    body.insert(body.end(), mask->bits.begin(), mask->bits.end());
  }
  return body;
}

EmfBuilder::EmfBuilder(int width, int height) {
  // Frame in hundredths of a millimetre: 10 device pixels per millimetre.
  std::vector<uint8_t> body =
      Fields({0, 0, width - 1, height - 1, 0, 0, width * 10, height * 10, 0x464D4520, 0x10000,
              0, 0, 0,         0,          0, 0, 1000,       1000,        100,        100});
  Put32(data_, 1);
  Put32(data_, uint32_t(8 + body.size()));
  data_.insert(data_.end(), body.begin(), body.end());
}

EmfBuilder& EmfBuilder::Add(uint32_t type, std::initializer_list<int64_t> fields) {
  return AddRaw(type, Fields(fields));
}

EmfBuilder& EmfBuilder::AddRaw(uint32_t type, const std::vector<uint8_t>& body) {
  size_t padded = (body.size() + 3) & ~size_t(3);
  Put32(data_, type);
  Put32(data_, uint32_t(8 + padded));
  data_.insert(data_.end(), body.begin(), body.end());
  data_.resize(data_.size() + padded - body.size(), 0);
  ++records_;
  return *this;
}

std::vector<uint8_t> EmfBuilder::Finish(uint16_t handles) {
  Add(14, {0, 16, 20});
  std::vector<uint8_t> out = data_;
  Patch32(out, 48, uint32_t(out.size()));
  Patch32(out, 52, records_);
  out[56] = uint8_t(handles);
  out[57] = uint8_t(handles >> 8);
  return out;
}

WmfBuilder& WmfBuilder::Add(uint16_t function, std::initializer_list<int32_t> words) {
  return AddWords(function, std::vector<int32_t>(words));
}

WmfBuilder& WmfBuilder::AddWords(uint16_t function, const std::vector<int32_t>& words) {
  Put32(records_, uint32_t(3 + words.size()));
  Put16(records_, function);
  for (int32_t w : words) Put16(records_, uint16_t(w));
  return *this;
}

std::vector<uint8_t> WmfBuilder::Finish(bool placeable, int16_t left, int16_t top, int16_t right,
                                        int16_t bottom, uint16_t unitsPerInch) {
  std::vector<uint8_t> out;
  if (placeable) {
    Put32(out, 0x9AC6CDD7u);
    Put16(out, 0);
    for (int16_t v : {left, top, right, bottom}) Put16(out, uint16_t(v));
    Put16(out, unitsPerInch);
    Put32(out, 0);
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) sum ^= uint16_t(out[i] | (out[i + 1] << 8));
    Put16(out, sum);
  }
  std::vector<uint8_t> records = records_;
  Put32(records, 3);  // end of file
  Put16(records, 0);
  Put16(out, 1);  // memory metafile
  Put16(out, 9);
  Put16(out, 0x300);
  Put32(out, uint32_t((18 + records.size()) / 2));
  Put16(out, 16);  // objects
  Put32(out, 16);  // largest record
  Put16(out, 0);
  out.insert(out.end(), records.begin(), records.end());
  return out;
}

uint32_t Rendering::At(uint32_t x, uint32_t y) const {
  if (x >= width || y >= height || rgb.size() < size_t(width) * height * 3) return 0xDEADBEEF;
  const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
  return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}

bool Rendering::Uniform(uint32_t value) const {
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      if (At(x, y) != value) return false;
  return true;
}

Rendering RenderMetafileFile(const std::string& path, int horizontal, int vertical, uint32_t flags,
                             uint32_t background) {
  Rendering r;
  // Background as COLORREF: red in the low byte.
  COLORREF bg = RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF);
  BYTE* pixels =
      PXRenderMetafileFile(path.c_str(), &r.width, &r.height, horizontal, vertical, bg, flags);
  r.error = PXGetLastError();
  if (pixels) {
    r.rgb.assign(pixels, pixels + GlobalSize(pixels));
    GlobalFree(pixels);
  }
  return r;
}

Rendering RenderMetafileBytes(const std::vector<uint8_t>& bytes, int width, int height,
                              uint32_t flags, uint32_t background) {
  TempDir dir;
  std::string path = dir.File("picture.emf");
  WriteFile(path, bytes);
  return RenderMetafileFile(path, width, height, flags, background);
}

}  // namespace pxtest

// Fontconfig keeps its font patterns for the life of the process, referenced in ways the
// leak checker cannot follow; rendering text makes it report them at exit. x265, the HEVC
// encoder the tests make HEIC files with through libheif, keeps a block of its own set-up
// for good after its first encode.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libx265.so\n";
}
