// The cost of the codecs alone for the comparison benchmark's job (a): decode every input
// with the same libraries PageWeaver uses (libjpeg, libpng, libtiff, a plain BMP read) and
// encode every page as one CCITT Group 4 page of a multi-page TIFF with libtiff, with the
// cheapest possible conversion in between. What PageWeaver adds on top of this is its own
// work.
//
//   codec_floor OUT.tif INPUT...
// jpeglib.h needs FILE and size_t declared before it.
#include <cstdio>

#include <jpeglib.h>
#include <png.h>
#include <sys/resource.h>
#include <tiffio.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Grey {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;  // one byte per pixel, 0 black
};

bool EndsWith(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

bool DecodeJPEG(const std::string& path, Grey* out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_stdio_src(&d, f);
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  out->width = d.output_width;
  out->height = d.output_height;
  out->pixels.resize(size_t(out->width) * out->height);
  std::vector<uint8_t> row(size_t(out->width) * 3);
  while (d.output_scanline < d.output_height) {
    uint8_t* dst = &out->pixels[size_t(d.output_scanline) * out->width];
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&d, &r, 1);
    for (uint32_t x = 0; x < out->width; ++x) dst[x] = row[3 * x];
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  std::fclose(f);
  return true;
}

bool DecodePNG(const std::string& path, Grey* out) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_GRAY;
  out->width = image.width;
  out->height = image.height;
  out->pixels.resize(PNG_IMAGE_SIZE(image));
  bool ok = png_image_finish_read(&image, nullptr, out->pixels.data(), 0, nullptr);
  png_image_free(&image);
  return ok;
}

bool DecodeTIFF(const std::string& path, Grey* out) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return false;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &out->width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &out->height);
  std::vector<uint8_t> strip(size_t(TIFFStripSize(tif)));
  out->pixels.assign(size_t(out->width) * out->height, 255);
  uint32_t rowsPerStrip = out->height;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  size_t rowBytes = (out->width + 7) / 8;
  for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
    TIFFReadEncodedStrip(tif, s, strip.data(), tmsize_t(strip.size()));
    for (uint32_t r = 0; r < rowsPerStrip && s * rowsPerStrip + r < out->height; ++r) {
      uint8_t* dst = &out->pixels[size_t(s * rowsPerStrip + r) * out->width];
      const uint8_t* src = &strip[r * rowBytes];
      for (uint32_t x = 0; x < out->width; ++x)
        if (src[x / 8] & (0x80 >> (x % 8))) dst[x] = 0;
    }
  }
  TIFFClose(tif);
  return true;
}

bool DecodeBMP(const std::string& path, Grey* out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint8_t header[54];
  if (std::fread(header, 1, 54, f) != 54) return std::fclose(f), false;
  int32_t w, h;
  std::memcpy(&w, header + 18, 4);
  std::memcpy(&h, header + 22, 4);
  out->width = uint32_t(w);
  out->height = uint32_t(h);
  out->pixels.resize(size_t(w) * h);
  size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
  std::vector<uint8_t> row(stride);
  for (int32_t y = h - 1; y >= 0; --y) {
    if (std::fread(row.data(), 1, stride, f) != stride) break;
    for (int32_t x = 0; x < w; ++x) out->pixels[size_t(y) * w + x] = row[3 * x + 2];
  }
  std::fclose(f);
  return true;
}

double CpuSeconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: codec_floor OUT.tif INPUT...\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  double decode = 0, encode = 0;
  TIFF* out = TIFFOpen(argv[1], "w");
  if (!out) return 1;
  std::vector<uint8_t> packed;
  for (int i = 2; i < argc; ++i) {
    std::string path = argv[i];
    Grey page;
    double t0 = CpuSeconds();
    bool ok = EndsWith(path, ".jpg")   ? DecodeJPEG(path, &page)
              : EndsWith(path, ".png") ? DecodePNG(path, &page)
              : EndsWith(path, ".tif") ? DecodeTIFF(path, &page)
                                       : DecodeBMP(path, &page);
    double t1 = CpuSeconds();
    if (!ok) {
      std::fprintf(stderr, "codec_floor: cannot decode %s\n", path.c_str());
      return 1;
    }
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, page.height);
    TIFFSetField(out, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(out, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(out, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    size_t rowBytes = (page.width + 7) / 8;
    packed.assign(rowBytes, 0);
    for (uint32_t y = 0; y < page.height; ++y) {
      std::fill(packed.begin(), packed.end(), 0);
      const uint8_t* src = &page.pixels[size_t(y) * page.width];
      for (uint32_t x = 0; x < page.width; ++x)
        if (src[x] < 128) packed[x / 8] |= uint8_t(0x80 >> (x % 8));
      TIFFWriteScanline(out, packed.data(), y, 0);
    }
    TIFFWriteDirectory(out);
    decode += t1 - t0;
    encode += CpuSeconds() - t1;
  }
  TIFFClose(out);
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "codec floor: %d pages, decode %.2f s CPU, threshold+encode %.2f s CPU, wall %.2f s\n",
      argc - 2, decode, encode, wall);
  return 0;
}
