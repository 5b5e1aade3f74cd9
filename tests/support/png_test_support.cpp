#include "png_test_support.h"

#include <png.h>

#include <cstring>

namespace pxtest {

int PngImage::channels() const {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    default:
      return 1;
  }
}

size_t PngImage::rowBytes() const {
  return (size_t(width) * bitDepth * channels() + 7) / 8;
}

namespace {

void AppendData(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

struct Reader {
  const std::vector<uint8_t>* data;
  size_t position;
};

void ReadData(png_structp png, png_bytep out, size_t length) {
  auto* r = static_cast<Reader*>(png_get_io_ptr(png));
  if (r->data->size() - r->position < length) png_error(png, "short");
  std::memcpy(out, r->data->data() + r->position, length);
  r->position += length;
}

void Quiet(png_structp, png_const_charp) {}

std::vector<png_text> TextTable(const PngImage& image, bool after) {
  std::vector<png_text> table;
  for (const PngText& t : image.texts) {
    if (t.afterImage != after) continue;
    png_text entry = {};
    entry.compression = t.compressed ? PNG_TEXT_COMPRESSION_zTXt : PNG_TEXT_COMPRESSION_NONE;
    entry.key = const_cast<char*>(t.keyword.c_str());
    entry.text = const_cast<char*>(t.text.c_str());
    entry.text_length = t.text.size();
    table.push_back(entry);
  }
  return table;
}

png_color_16 ToLib(const PngColor16& c) {
  return {c.index, c.red, c.green, c.blue, c.gray};
}

PngColor16 FromLib(const png_color_16& c) {
  PngColor16 out;
  out.index = c.index;
  out.red = c.red;
  out.green = c.green;
  out.blue = c.blue;
  out.gray = c.gray;
  return out;
}

uint8_t To8(uint32_t v, int bitDepth) {
  if (bitDepth == 16) return uint8_t(v >> 8);
  const uint32_t top = (1u << bitDepth) - 1;
  return uint8_t((v & top) * 255 / top);
}

}  // namespace

std::vector<uint8_t> EncodePNG(const PngImage& image) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, Quiet);
  png_infop info = png_create_info_struct(png);
  // Everything with a destructor is built before the jump point.
  std::vector<png_color> plte;
  for (size_t i = 0; i + 2 < image.palette.size(); i += 3)
    plte.push_back({image.palette[i], image.palette[i + 1], image.palette[i + 2]});
  std::vector<png_text> before = TextTable(image, false), after = TextTable(image, true);
  png_color_16 transparent = image.transparent ? ToLib(*image.transparent) : png_color_16{};
  png_color_16 background = image.background ? ToLib(*image.background) : png_color_16{};
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendData, NoFlush);
  png_set_IHDR(png, info, image.width, image.height, image.bitDepth, image.colorType,
               image.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!plte.empty()) png_set_PLTE(png, info, plte.data(), int(plte.size()));
  if (!image.paletteAlpha.empty() || image.transparent)
    png_set_tRNS(png, info, image.paletteAlpha.empty() ? nullptr : image.paletteAlpha.data(),
                 int(image.paletteAlpha.size()), image.transparent ? &transparent : nullptr);
  if (image.background) png_set_bKGD(png, info, &background);
  if (image.gammaFixed) png_set_gAMA_fixed(png, info, *image.gammaFixed);
  if (image.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  if (image.physical)
    png_set_pHYs(png, info, (*image.physical)[0], (*image.physical)[1], int((*image.physical)[2]));
  if (!image.exif.empty())
    png_set_eXIf_1(png, info, png_uint_32(image.exif.size()),
                   const_cast<png_bytep>(image.exif.data()));
  if (image.iccProfile)
    png_set_iCCP(png, info, "icc", 0, image.iccProfile->data(),
                 png_uint_32(image.iccProfile->size()));
  if (!before.empty()) png_set_text(png, info, before.data(), int(before.size()));
  png_write_info(png, info);
  int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (uint32_t y = 0; y < image.height; ++y)
      png_write_row(png, image.rows.data() + y * image.rowBytes());
  if (!after.empty()) png_set_text(png, info, after.data(), int(after.size()));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

bool DecodePNG(const std::vector<uint8_t>& data, PngImage* out) {
  Reader reader{&data, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, Quiet);
  png_infop info = png_create_info_struct(png);
  *out = PngImage();
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, ReadData);
  png_read_info(png, info);
  int interlace, compression, filter;
  png_uint_32 w, h;
  png_get_IHDR(png, info, &w, &h, &out->bitDepth, &out->colorType, &interlace, &compression,
               &filter);
  out->width = w;
  out->height = h;
  out->interlaced = interlace == PNG_INTERLACE_ADAM7;
  png_colorp plte;
  int count;
  if (png_get_PLTE(png, info, &plte, &count))
    for (int i = 0; i < count; ++i)
      out->palette.insert(out->palette.end(), {plte[i].red, plte[i].green, plte[i].blue});
  png_bytep alpha;
  png_color_16p color;
  if (png_get_tRNS(png, info, &alpha, &count, &color)) {
    if (out->colorType == PNG_COLOR_TYPE_PALETTE)
      out->paletteAlpha.assign(alpha, alpha + count);
    else
      out->transparent = FromLib(*color);
  }
  if (png_get_bKGD(png, info, &color)) out->background = FromLib(*color);
  png_fixed_point gamma;
  if (png_get_gAMA_fixed(png, info, &gamma)) out->gammaFixed = gamma;
  int intent;
  out->srgb = png_get_sRGB(png, info, &intent) != 0;
  png_uint_32 x, y;
  int unit;
  if (png_get_pHYs(png, info, &x, &y, &unit))
    out->physical = std::vector<uint32_t>{x, y, uint32_t(unit)};
  png_charp name;
  png_bytep profile;
  png_uint_32 profileLength;
  if (png_get_iCCP(png, info, &name, &compression, &profile, &profileLength))
    out->iccProfile = std::vector<uint8_t>(profile, profile + profileLength);
  out->rows.resize(out->rowBytes() * out->height);
  int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  for (int pass = 0; pass < passes; ++pass)
    for (uint32_t row = 0; row < out->height; ++row)
      png_read_row(png, out->rows.data() + row * out->rowBytes(), nullptr);
  png_read_end(png, info);
  png_timep time;
  out->hasTime = png_get_tIME(png, info, &time) != 0;
  png_textp text;
  int texts = png_get_text(png, info, &text, nullptr);
  for (int i = 0; i < texts; ++i)
    out->texts.push_back({text[i].key, text[i].text ? text[i].text : "",
                          text[i].compression == PNG_TEXT_COMPRESSION_zTXt, false});
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

uint32_t Sample(const PngImage& file, uint32_t y, size_t index) {
  const uint8_t* row = file.rows.data() + y * file.rowBytes();
  switch (file.bitDepth) {
    case 16:
      return uint32_t(row[2 * index] << 8 | row[2 * index + 1]);
    case 8:
      return row[index];
    default: {
      size_t bit = index * file.bitDepth;
      return (row[bit / 8] >> (8 - file.bitDepth - bit % 8)) & ((1u << file.bitDepth) - 1);
    }
  }
}

void BackgroundOf(const PngImage& file, uint8_t rgb[3]) {
  rgb[0] = rgb[1] = rgb[2] = 0;
  if (!file.background) return;
  const PngColor16& b = *file.background;
  if (file.colorType == PNG_COLOR_TYPE_PALETTE) {
    if (size_t(b.index) * 3 + 2 < file.palette.size())
      for (int c = 0; c < 3; ++c) rgb[c] = file.palette[b.index * 3 + c];
  } else if (file.colorType & PNG_COLOR_MASK_COLOR) {
    rgb[0] = To8(b.red, file.bitDepth);
    rgb[1] = To8(b.green, file.bitDepth);
    rgb[2] = To8(b.blue, file.bitDepth);
  } else {
    rgb[0] = rgb[1] = rgb[2] = To8(b.gray, file.bitDepth);
  }
}

std::vector<uint8_t> TransparencyOf(const PngImage& file) {
  if (file.colorType & PNG_COLOR_MASK_ALPHA) return {};
  if (!file.transparent && file.paletteAlpha.empty()) return {};
  std::vector<uint8_t> alpha(size_t(file.width) * file.height, 255);
  // Only the low bits of a tRNS sample count (1_trns.png stores 0x00FF for 1-bit grey).
  const uint32_t mask = file.bitDepth == 16 ? 0xFFFF : (1u << file.bitDepth) - 1;
  for (uint32_t y = 0; y < file.height; ++y) {
    for (uint32_t x = 0; x < file.width; ++x) {
      uint8_t& a = alpha[size_t(y) * file.width + x];
      if (file.colorType == PNG_COLOR_TYPE_PALETTE) {
        uint32_t index = Sample(file, y, x);
        if (index < file.paletteAlpha.size()) a = file.paletteAlpha[index];
      } else if (file.colorType == PNG_COLOR_TYPE_GRAY) {
        if (Sample(file, y, x) == (file.transparent->gray & mask)) a = 0;
      } else if (Sample(file, y, 3 * x) == (file.transparent->red & mask) &&
                 Sample(file, y, 3 * x + 1) == (file.transparent->green & mask) &&
                 Sample(file, y, 3 * x + 2) == (file.transparent->blue & mask)) {
        a = 0;
      }
    }
  }
  return alpha;
}

std::vector<uint8_t> ExpectedRGB(const PngImage& file) {
  uint8_t bg8[3];
  BackgroundOf(file, bg8);
  uint32_t bg16[3] = {0, 0, 0};
  if (file.background && file.bitDepth == 16) {
    const PngColor16& b = *file.background;
    bool colour = file.colorType & 2;
    bg16[0] = colour ? b.red : b.gray;
    bg16[1] = colour ? b.green : b.gray;
    bg16[2] = colour ? b.blue : b.gray;
  }
  std::vector<uint8_t> alpha = TransparencyOf(file);
  std::vector<uint8_t> out(size_t(file.width) * file.height * 3);
  const int n = file.channels();
  for (uint32_t y = 0; y < file.height; ++y) {
    for (uint32_t x = 0; x < file.width; ++x) {
      size_t i = size_t(y) * file.width + x;
      uint8_t* dst = &out[i * 3];
      if (file.colorType == 3) {
        uint32_t index = Sample(file, y, x);
        unsigned a = alpha.empty() ? 255 : alpha[i];
        for (int c = 0; c < 3; ++c)
          dst[c] = uint8_t((file.palette.at(index * 3 + c) * a + bg8[c] * (255 - a) + 127) / 255);
        continue;
      }
      auto channel = [&](int c) {
        return Sample(file, y, size_t(x) * n + ((file.colorType & 2) ? c : 0));
      };
      if (file.bitDepth == 16) {
        uint64_t a = (file.colorType & 4)        ? Sample(file, y, size_t(x) * n + n - 1)
                     : alpha.empty() || alpha[i] ? 65535
                                                 : 0;
        for (int c = 0; c < 3; ++c)
          dst[c] = uint8_t(((channel(c) * a + bg16[c] * (65535 - a) + 32767) / 65535) >> 8);
      } else {
        unsigned a = (file.colorType & 4) ? Sample(file, y, size_t(x) * n + n - 1)
                     : alpha.empty()      ? 255
                                          : alpha[i];
        for (int c = 0; c < 3; ++c)
          dst[c] = uint8_t((To8(channel(c), file.bitDepth) * a + bg8[c] * (255 - a) + 127) / 255);
      }
    }
  }
  return out;
}

std::vector<PngChunk> ListChunks(const std::vector<uint8_t>& data) {
  std::vector<PngChunk> chunks;
  size_t p = 8;
  while (p + 12 <= data.size()) {
    uint32_t length = uint32_t(data[p]) << 24 | uint32_t(data[p + 1]) << 16 |
                      uint32_t(data[p + 2]) << 8 | data[p + 3];
    if (length > data.size() - p - 12) break;
    PngChunk chunk;
    chunk.type.assign(reinterpret_cast<const char*>(&data[p + 4]), 4);
    chunk.data.assign(data.begin() + long(p + 8), data.begin() + long(p + 8 + length));
    chunks.push_back(std::move(chunk));
    p += 12 + length;
  }
  return chunks;
}

std::string ChunkTypes(const std::vector<uint8_t>& data) {
  std::string types;
  for (const PngChunk& c : ListChunks(data)) types += (types.empty() ? "" : " ") + c.type;
  return types;
}

std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed) {
  std::vector<uint8_t> out(n);
  uint32_t state = seed * 2654435761u + 1;
  for (uint8_t& b : out) {
    state = state * 1664525u + 1013904223u;
    b = uint8_t(state >> 24);
  }
  return out;
}

}  // namespace pxtest
