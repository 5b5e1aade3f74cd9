#include "jpeg_gif_psd_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include <jpeglib.h>

namespace pxtest {

/* ---- JPEG ------------------------------------------------------------------------------- */

std::vector<uint8_t> EncodeJPEG(uint32_t width, uint32_t height, const std::vector<uint8_t>& pixels,
                                const JPEGOptions& options) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&c, &out, &outSize);
  c.image_width = width;
  c.image_height = height;
  c.input_components = options.components;
  c.in_color_space = options.components == 1   ? JCS_GRAYSCALE
                     : options.components == 3 ? JCS_RGB
                     : options.components == 4 ? JCS_CMYK
                                               : JCS_UNKNOWN;
  jpeg_set_defaults(&c);
  if (options.ycck) jpeg_set_colorspace(&c, JCS_YCCK);
  jpeg_set_quality(&c, options.quality, TRUE);
  if (options.progressive) jpeg_simple_progression(&c);
  c.arith_code = options.arithmetic ? TRUE : FALSE;
  c.density_unit = UINT8(options.densityUnit);
  c.X_density = UINT16(options.xDensity);
  c.Y_density = UINT16(options.yDensity);
  jpeg_start_compress(&c, TRUE);
  if (!options.comment.empty())
    jpeg_write_marker(&c, JPEG_COM, reinterpret_cast<const JOCTET*>(options.comment.data()),
                      unsigned(options.comment.size()));
  for (const auto& [code, data] : options.markers)
    jpeg_write_marker(&c, code, reinterpret_cast<const JOCTET*>(data.data()),
                      unsigned(data.size()));
  const size_t stride = size_t(width) * unsigned(options.components);
  while (c.next_scanline < height) {
    JSAMPROW row = const_cast<JSAMPROW>(&pixels[c.next_scanline * stride]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> file(out, out + outSize);
  std::free(out);
  return file;
}

JPEGPixels DecodeJPEGDirect(const std::vector<uint8_t>& file, unsigned scaleNum,
                            unsigned scaleDenom) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&d, TRUE);
  d.scale_num = scaleNum;
  d.scale_denom = scaleDenom;
  jpeg_start_decompress(&d);
  JPEGPixels p;
  p.width = d.output_width;
  p.height = d.output_height;
  p.components = d.output_components;
  const size_t stride = size_t(p.width) * unsigned(p.components);
  p.pixels.resize(stride * p.height);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &p.pixels[d.output_scanline * stride];
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return p;
}

std::vector<uint8_t> TestPicture(uint32_t width, uint32_t height, int components) {
  std::vector<uint8_t> p(size_t(width) * height * unsigned(components));
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c)
        p[(size_t(y) * width + x) * unsigned(components) + unsigned(c)] =
            uint8_t((x * (3 + c) + y * (5 - c) + ((x / 4 + y / 4) % 2) * 40) & 0xFF);
  return p;
}

/* ---- GIF -------------------------------------------------------------------------------- */

namespace {

class CodeWriter {
 public:
  void Put(int code, int size) {
    for (int i = 0; i < size; ++i) {
      if (bit_ == 0) bytes_.push_back(0);
      if ((code >> i) & 1) bytes_.back() |= uint8_t(1 << bit_);
      bit_ = (bit_ + 1) & 7;
    }
  }
  // The minimum code size byte, the codes in sub-blocks and the terminator.
  std::vector<uint8_t> Stream(int minCodeSize, size_t subBlockSize) const {
    std::vector<uint8_t> out{uint8_t(minCodeSize)};
    for (size_t i = 0; i < bytes_.size(); i += subBlockSize) {
      size_t n = std::min(subBlockSize, bytes_.size() - i);
      out.push_back(uint8_t(n));
      out.insert(out.end(), bytes_.begin() + long(i), bytes_.begin() + long(i + n));
    }
    out.push_back(0);
    return out;
  }

 private:
  std::vector<uint8_t> bytes_;
  int bit_ = 0;
};

}  // namespace

std::vector<uint8_t> GIFImageData(const std::vector<uint8_t>& indices, int minCodeSize,
                                  size_t subBlockSize, bool clearWhenFull, bool endCode) {
  const int clear = 1 << minCodeSize, end = clear + 1;
  int size = minCodeSize + 1, next = clear + 2;
  std::map<std::pair<int, int>, int> table;
  CodeWriter w;
  // After each code the decoder may widen its codes: when its table (one entry behind
  // ours) reaches the limit.
  auto emit = [&](int code) {
    w.Put(code, size);
    if (next >= (1 << size) && size < 12) ++size;
  };
  w.Put(clear, size);
  if (indices.empty()) {
    if (endCode) w.Put(end, size);
    return w.Stream(minCodeSize, subBlockSize);
  }
  int prefix = indices[0];
  for (size_t i = 1; i < indices.size(); ++i) {
    const int k = indices[i];
    auto it = table.find({prefix, k});
    if (it != table.end()) {
      prefix = it->second;
      continue;
    }
    emit(prefix);
    if (next < 4096) table[{prefix, k}] = next++;
    if (next == 4096 && clearWhenFull) {
      w.Put(clear, size);
      table.clear();
      size = minCodeSize + 1;
      next = clear + 2;
    }
    prefix = k;
  }
  emit(prefix);
  if (endCode) w.Put(end, size);
  return w.Stream(minCodeSize, subBlockSize);
}

std::vector<uint8_t> GIFCodes(int minCodeSize, const std::vector<std::pair<int, int>>& codes,
                              size_t subBlockSize) {
  CodeWriter w;
  for (const auto& [code, size] : codes) w.Put(code, size);
  return w.Stream(minCodeSize, subBlockSize);
}

namespace {

void PutLE16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

// The size field of a colour table of `bytes` bytes: entries = 2 << field.
uint8_t TableField(size_t bytes) {
  uint8_t field = 0;
  while ((size_t(2) << field) * 3 < bytes) ++field;
  return field;
}

}  // namespace

std::vector<uint8_t> BuildGIF(const GIFFile& gif) {
  const std::string signature = "GIF" + gif.version;
  std::vector<uint8_t> out(signature.begin(), signature.end());
  PutLE16(out, gif.width);
  PutLE16(out, gif.height);
  const bool global = !gif.globalTable.empty();
  out.push_back(
      uint8_t((global ? 0x80 : 0) | 0x70 | (global ? TableField(gif.globalTable.size()) : 0)));
  out.push_back(gif.background);
  out.push_back(0);
  out.insert(out.end(), gif.globalTable.begin(), gif.globalTable.end());
  for (const auto& ext : gif.extensionsBeforeImages) out.insert(out.end(), ext.begin(), ext.end());
  for (const GIFImage& img : gif.images) {
    if (img.transparent >= 0) {
      const uint8_t gce[] = {'!', 0xF9, 4, 0x01, 10, 0, uint8_t(img.transparent), 0};
      out.insert(out.end(), gce, gce + sizeof gce);
    }
    out.push_back(',');
    PutLE16(out, img.left);
    PutLE16(out, img.top);
    PutLE16(out, img.width);
    PutLE16(out, img.height);
    const bool local = !img.localTable.empty();
    out.push_back(uint8_t((local ? 0x80 | TableField(img.localTable.size()) : 0) |
                          (img.interlaced ? 0x40 : 0)));
    out.insert(out.end(), img.localTable.begin(), img.localTable.end());
    std::vector<uint8_t> data =
        img.data.empty() ? GIFImageData(img.indices, img.minCodeSize, img.subBlockSize) : img.data;
    out.insert(out.end(), data.begin(), data.end());
  }
  if (gif.trailer) out.push_back(';');
  return out;
}

std::vector<uint8_t> InterlaceRows(const std::vector<uint8_t>& indices, uint32_t width,
                                   uint32_t height) {
  std::vector<uint8_t> out;
  const uint32_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (uint32_t y = start[pass]; y < height; y += step[pass])
      out.insert(out.end(), indices.begin() + long(y * width),
                 indices.begin() + long((y + 1) * width));
  return out;
}

/* ---- Photoshop -------------------------------------------------------------------------- */

namespace {

void PutBE16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}
void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
  PutBE16(out, v >> 16);
  PutBE16(out, v);
}
void PutSection(std::vector<uint8_t>& out, const std::vector<uint8_t>& data) {
  PutBE32(out, uint32_t(data.size()));
  out.insert(out.end(), data.begin(), data.end());
}

}  // namespace

std::vector<uint8_t> PackBits(const std::vector<uint8_t>& row) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < row.size()) {
    size_t run = 1;
    while (i + run < row.size() && run < 128 && row[i + run] == row[i]) ++run;
    if (run >= 3) {
      out.push_back(uint8_t(1 - int(run)));
      out.push_back(row[i]);
      i += run;
      continue;
    }
    size_t start = i, n = 0;
    while (i < row.size() && n < 128) {
      if (i + 2 < row.size() && row[i] == row[i + 1] && row[i] == row[i + 2]) break;
      ++i;
      ++n;
    }
    out.push_back(uint8_t(n - 1));
    out.insert(out.end(), row.begin() + long(start), row.begin() + long(start + n));
  }
  return out;
}

std::vector<uint8_t> BuildPSD(const PSDFile& psd) {
  std::vector<uint8_t> out{'8', 'B', 'P', 'S'};
  PutBE16(out, psd.version);
  out.insert(out.end(), 6, 0);
  PutBE16(out, psd.channels);
  PutBE32(out, psd.height);
  PutBE32(out, psd.width);
  PutBE16(out, psd.depth);
  PutBE16(out, psd.mode);
  PutSection(out, psd.colorModeData);
  PutSection(out, psd.resources);
  PutSection(out, psd.layers);
  PutBE16(out, psd.compression);
  const size_t rowBytes = (size_t(psd.width) * psd.depth + 7) / 8;
  if (psd.compression != 1) {
    for (const auto& plane : psd.planes) out.insert(out.end(), plane.begin(), plane.end());
    return out;
  }
  std::vector<std::vector<uint8_t>> rows;
  for (const auto& plane : psd.planes) {
    for (uint32_t y = 0; y < psd.height; ++y) {
      // Planes that do not fit the header (files that lie) give what they have.
      const size_t from = std::min(plane.size(), y * rowBytes);
      const size_t to = std::min(plane.size(), (y + 1) * rowBytes);
      rows.push_back(
          PackBits(std::vector<uint8_t>(plane.begin() + long(from), plane.begin() + long(to))));
    }
  }
  for (const auto& r : rows) PutBE16(out, uint32_t(r.size()));
  for (const auto& r : rows) out.insert(out.end(), r.begin(), r.end());
  return out;
}

std::vector<uint8_t> PSDResolutionResource(uint32_t x, uint16_t xUnit, uint32_t y, uint16_t yUnit) {
  std::vector<uint8_t> out{'8', 'B', 'I', 'M'};
  PutBE16(out, 1005);
  PutBE16(out, 0);  // empty name, padded
  PutBE32(out, 16);
  PutBE32(out, x << 16);
  PutBE16(out, xUnit);
  PutBE16(out, 1);
  PutBE32(out, y << 16);
  PutBE16(out, yUnit);
  PutBE16(out, 1);
  return out;
}

}  // namespace pxtest
