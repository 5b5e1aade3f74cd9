// Writes the input set of the comparison benchmark: A4 pages at 300 dpi (2480 x 3508) in a
// mix of formats, as a scanning office produces them. The pages are synthetic but look
// like real ones to the codecs: photographs with smooth colour and sensor noise, text
// scans with lines of dark glyphs on slightly uneven paper, flat-colour charts, bilevel
// fax-like text.
//
//   make_pages FOLDER COUNT
// jpeglib.h needs FILE and size_t declared before it.
#include <cstdio>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kWidth = 2480, kHeight = 3508;

struct Random {
  uint32_t state;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
};

using RGB = std::vector<uint8_t>;

// Lines of glyph-like dark blocks, as words on a page.
void DrawText(RGB& page, uint32_t seed, uint8_t ink, uint32_t top, uint32_t bottom) {
  Random r{seed * 2654435761u + 1};
  for (uint32_t line = top; line + 40 < bottom; line += 60) {
    uint32_t x = 200 + r.Next() % 40;
    while (x < kWidth - 260) {
      uint32_t word = 60 + r.Next() % 180;
      for (uint32_t gx = x; gx < x + word; gx += 22) {
        uint32_t h = 24 + r.Next() % 14, w = 14 + r.Next() % 6;
        for (uint32_t y = line + 40 - h; y < line + 40; ++y)
          for (uint32_t xx = gx; xx < gx + w && xx < kWidth; ++xx)
            std::memset(&page[(size_t(y) * kWidth + xx) * 3], ink, 3);
      }
      x += word + 30;
    }
  }
}

RGB Paper(uint32_t seed, int noise) {
  RGB page(size_t(kWidth) * kHeight * 3);
  Random r{seed + 7};
  for (size_t i = 0; i < page.size(); i += 3) {
    uint8_t v = uint8_t(245 - (noise ? r.Next() % noise : 0));
    page[i] = v;
    page[i + 1] = v;
    page[i + 2] = uint8_t(v - 4);
  }
  return page;
}

RGB Photo(uint32_t seed) {
  RGB page(size_t(kWidth) * kHeight * 3);
  Random r{seed + 99};
  double fx = 3 + seed % 5, fy = 2 + seed % 7;
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      uint8_t* p = &page[(size_t(y) * kWidth + x) * 3];
      double u = double(x) / kWidth, v = double(y) / kHeight;
      int n = int(r.Next() % 17) - 8;
      p[0] = uint8_t(std::clamp(int(128 + 100 * std::sin(fx * u + v)) + n, 0, 255));
      p[1] = uint8_t(std::clamp(int(128 + 90 * std::cos(fy * v - u)) + n, 0, 255));
      p[2] = uint8_t(std::clamp(int(110 + 80 * std::sin(5 * u * v + seed)) + n, 0, 255));
    }
  return page;
}

bool WriteJPEG(const std::string& path, const RGB& page, int quality) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = kWidth;
  c.image_height = kHeight;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  c.density_unit = 1;
  c.X_density = c.Y_density = 300;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < kHeight) {
    JSAMPROW row = const_cast<uint8_t*>(&page[size_t(c.next_scanline) * kWidth * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

bool WritePalettePNG(const std::string& path, uint32_t seed) {
  // A chart: flat colour bars and text in 16 colours.
  std::vector<uint8_t> indices(size_t(kWidth) * kHeight, 0);
  Random r{seed + 3};
  for (int bar = 0; bar < 12; ++bar) {
    uint32_t x0 = 300 + uint32_t(bar) * 160, h = 400 + r.Next() % 1600;
    for (uint32_t y = 3000 - h; y < 3000; ++y)
      std::memset(&indices[size_t(y) * kWidth + x0], 1 + bar % 14, 120);
  }
  RGB text(size_t(kWidth) * kHeight * 3, 255);
  DrawText(text, seed, 0, 200, 900);
  for (size_t i = 0; i < indices.size(); ++i)
    if (text[i * 3] == 0) indices[i] = 15;
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = kWidth;
  image.height = kHeight;
  image.format = PNG_FORMAT_RGB_COLORMAP;
  image.colormap_entries = 16;
  uint8_t colormap[16 * 3];
  for (int i = 0; i < 16; ++i) {
    colormap[3 * i] = uint8_t(i == 0 ? 255 : (i * 53) % 256);
    colormap[3 * i + 1] = uint8_t(i == 0 ? 255 : (i * 97) % 256);
    colormap[3 * i + 2] = uint8_t(i == 0 ? 255 : (i * 151) % 256);
  }
  colormap[45] = colormap[46] = colormap[47] = 0;  // entry 15: black text
  return png_image_write_to_file(&image, path.c_str(), 0, indices.data(), 0, colormap);
}

bool WriteG4(const std::string& path, uint32_t seed) {
  RGB page(size_t(kWidth) * kHeight * 3, 255);
  DrawText(page, seed, 0, 150, kHeight - 150);
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kHeight);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0f);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.0f);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  std::vector<uint8_t> row((kWidth + 7) / 8);
  for (uint32_t y = 0; y < kHeight; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (uint32_t x = 0; x < kWidth; ++x)
      if (page[(size_t(y) * kWidth + x) * 3] < 128) row[x / 8] |= uint8_t(0x80 >> (x % 8));
    TIFFWriteScanline(tif, row.data(), y, 0);
  }
  TIFFClose(tif);
  return true;
}

bool WriteBMP(const std::string& path, const RGB& page) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  uint32_t stride = kWidth * 3, size = 54 + stride * kHeight;
  uint8_t header[54] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) { std::memcpy(header + at, &v, 4); };
  put32(2, size);
  put32(10, 54);
  put32(14, 40);
  put32(18, kWidth);
  put32(22, kHeight);
  header[26] = 1;
  header[28] = 24;
  put32(34, stride * kHeight);
  put32(38, 11811);  // 300 dpi in pixels per metre
  put32(42, 11811);
  std::fwrite(header, 1, 54, f);
  std::vector<uint8_t> row(stride);
  for (uint32_t y = kHeight; y-- > 0;) {
    const uint8_t* src = &page[size_t(y) * stride];
    for (uint32_t x = 0; x < kWidth; ++x) {
      row[3 * x] = src[3 * x + 2];
      row[3 * x + 1] = src[3 * x + 1];
      row[3 * x + 2] = src[3 * x];
    }
    std::fwrite(row.data(), 1, stride, f);
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_pages FOLDER COUNT\n");
    return 2;
  }
  std::string folder = argv[1];
  int count = std::atoi(argv[2]);
  for (int i = 0; i < count; ++i) {
    char name[64];
    bool ok;
    uint32_t seed = uint32_t(i);
    switch (i % 5) {
      case 0: {
        std::snprintf(name, sizeof name, "/page%03d-photo.jpg", i);
        ok = WriteJPEG(folder + name, Photo(seed), 90);
        break;
      }
      case 1: {
        RGB page = Paper(seed, 12);
        DrawText(page, seed, 40, 150, kHeight - 150);
        std::snprintf(name, sizeof name, "/page%03d-scan.jpg", i);
        ok = WriteJPEG(folder + name, page, 85);
        break;
      }
      case 2:
        std::snprintf(name, sizeof name, "/page%03d-chart.png", i);
        ok = WritePalettePNG(folder + name, seed);
        break;
      case 3:
        std::snprintf(name, sizeof name, "/page%03d-fax.tif", i);
        ok = WriteG4(folder + name, seed);
        break;
      default: {
        RGB page = Paper(seed, 0);
        DrawText(page, seed, 20, 150, 1500);
        RGB photo = Photo(seed);
        for (uint32_t y = 1700; y < 3300; ++y)
          std::memcpy(&page[(size_t(y) * kWidth + 300) * 3], &photo[(size_t(y) * kWidth + 300) * 3],
                      1880 * 3);
        std::snprintf(name, sizeof name, "/page%03d-mixed.bmp", i);
        ok = WriteBMP(folder + name, page);
        break;
      }
    }
    if (!ok) {
      std::fprintf(stderr, "make_pages: cannot write %s%s\n", folder.c_str(), name);
      return 1;
    }
  }
  return 0;
}
