// The copy path: any TIFF or JPEG input through the output's page decision and the copy
// of its stored data. A page that says it can be copied must copy, the file written from
// the copy must open in libtiff, its strips must be the source's bytes, and wherever
// the source decodes whole its copy must decode to the very same pixels. PNG inputs go
// through the copy of their image data for a PDF: what a PDF reader's PNG predictor
// makes of it must be what the library's reader decodes.
#ifndef PAGEWEAVER_FUZZ_COPY_H
#define PAGEWEAVER_FUZZ_COPY_H

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "entries.h"
#include "pixolith/px_streams.h"

namespace pxfuzz {

// Larger pages are copied and checked but not decoded: the decode of a few bytes of fax
// data can ask for gigabytes.
inline constexpr uint64_t kCopyDecodePixels = uint64_t(1) << 22;

// A TIFF file opened by libtiff itself, closed with the object.
class LibTIFF {
 public:
  // Without strip chopping: the strips are the file's own, as the copy takes them.
  explicit LibTIFF(const std::string& path)
      : tif_(path.empty() ? nullptr : TIFFOpen(path.c_str(), "rc")) {}
  ~LibTIFF() {
    if (tif_) TIFFClose(tif_);
  }
  LibTIFF(const LibTIFF&) = delete;
  LibTIFF& operator=(const LibTIFF&) = delete;
  TIFF* get() const { return tif_; }

 private:
  TIFF* tif_;
};

// The page's pixels as libtiff's RGBA interface decodes them; empty when it fails.
inline std::vector<uint32_t> DecodeRGBA(TIFF* tif, uint32_t page) {
  uint32_t w = 0, h = 0;
  if (!tif || !TIFFSetDirectory(tif, tdir_t(page)) || !TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) ||
      !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) || !w || !h ||
      uint64_t(w) * h > kCopyDecodePixels)
    return {};
  std::vector<uint32_t> raster(size_t(w) * h);
  if (!TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 1)) return {};
  return raster;
}

// Writes one encoded page as the output does: 0 or the writer's error.
inline int WriteEncoded(const PXTIFFEncodedPage* page, const std::string& path) {
  struct One {
    const PXTIFFEncodedPage* page;
    bool given = false;
  } one{page};
  auto next = [](const PXTIFFEncodedPage** out, void* user) -> int {
    auto* o = static_cast<One*>(user);
    if (o->given) return 0;
    o->given = true;
    *out = o->page;
    return 1;
  };
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  if (!sink) return PX_ERR_FILE_OPEN;
  PXWriteEncodedTIFFPages(sink, next, &one, 0);
  int error = PXGetLastError();
  PXCloseSink(sink);
  return error;
}

// The raw bytes of every strip or tile of the current page.
inline std::vector<std::vector<uint8_t>> RawStriles(TIFF* tif) {
  std::vector<std::vector<uint8_t>> striles;
  const bool tiled = TIFFIsTiled(tif);
  const uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  for (uint32_t s = 0; s < count; ++s) {
    const uint64_t bytes = TIFFGetStrileByteCount(tif, s);
    std::vector<uint8_t> data(static_cast<size_t>(bytes));
    const tmsize_t got = tiled ? TIFFReadRawTile(tif, s, data.data(), tmsize_t(bytes))
                               : TIFFReadRawStrip(tif, s, data.data(), tmsize_t(bytes));
    if (got < 0) return {};
    data.resize(size_t(got));
    striles.push_back(std::move(data));
  }
  return striles;
}

// Checks the copy of one stored page against its source. `sourceTIFF` is the source as
// libtiff opens it (null for a JPEG file) and `sourcePixels` its decode (empty when it
// does not decode whole).
inline Problem CheckCopy(PXTIFFEncodedPage* copy, const PXStoredPage& stored, TIFF* sourceTIFF,
                         const std::vector<uint32_t>& sourcePixels) {
  std::unique_ptr<PXTIFFEncodedPage, void (*)(PXTIFFEncodedPage*)> owned(copy,
                                                                         PXFreeTIFFEncodedPage);
  const std::string path = ScratchFile::Sibling(".tif");
  if (path.empty()) return nullptr;
  if (int error = WriteEncoded(copy, path))
    return error == PX_ERR_NO_MEMORY ? nullptr : "a copied page could not be written";
  LibTIFF out(path);
  if (!out.get()) return "the file of a copied page does not open in libtiff";
  uint32_t w = 0, h = 0;
  TIFFGetField(out.get(), TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(out.get(), TIFFTAG_IMAGELENGTH, &h);
  if (w != stored.width || h != stored.height) return "a copied page has another size";
  if (sourceTIFF) {
    const auto copied = RawStriles(out.get()), original = RawStriles(sourceTIFF);
    if (copied.size() != original.size()) return "a copied page has another number of strips";
    // Uncompressed strips are cut to the bytes the page needs; others are whole.
    const bool cut = stored.compression == COMPRESSION_NONE;
    for (size_t s = 0; s < copied.size(); ++s) {
      const auto& a = copied[s];
      const auto& b = original[s];
      if (a.size() > b.size() || (!cut && a.size() != b.size()) ||
          !std::equal(a.begin(), a.end(), b.begin()))
        return "a copied strip differs from the source's";
    }
  }
  if (sourcePixels.empty()) return nullptr;
  if (DecodeRGBA(out.get(), 0) != sourcePixels) return "a copied page decodes to other pixels";
  return nullptr;
}

inline std::vector<uint8_t> ReadWhole(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t block[65536];
    for (size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;)
      bytes.insert(bytes.end(), block, block + n);
    std::fclose(f);
  }
  return bytes;
}

// The same page surveyed and copied from the scratch file as a file source, which reads
// only where the directory lies: it must find what the memory source finds.
inline Problem SameFromFile(const std::string& path, uint32_t frame, const PXStoredPage& stored,
                            const PXTIFFEncodedPage* copy) {
  PXSource file = path.empty() ? nullptr : PXOpenFileSource(path.c_str());
  if (!file) return nullptr;
  PXStoredPage fromFile = {};
  const PXResolution resolution = {200, 200, 2};
  Problem problem = nullptr;
  if (!PXGetTIFFStoredPage(file, frame, &fromFile) ||
      std::memcmp(&fromFile, &stored, sizeof stored) != 0) {
    problem = "a file source's survey differs from the memory source's";
  } else if (PXTIFFEncodedPage* again = PXCopyTIFFPage(file, frame, &resolution, 0)) {
    // The two copies written out are the same file.
    const std::string a = ScratchFile::Sibling(".tif"), b = a + ".again";
    if (!copy || WriteEncoded(copy, a) != WriteEncoded(again, b) || ReadWhole(a) != ReadWhole(b))
      problem = "a file source's copy differs from the memory source's";
    PXFreeTIFFEncodedPage(again);
  } else if (copy && PXGetLastError() != PX_ERR_NO_MEMORY) {
    problem = "a page copied from memory was not copied from the file";
  }
  PXCloseSource(file);
  return problem;
}

inline Problem CopyTIFF(const uint8_t* data, size_t size, const Source& source) {
  const std::string path = ScratchFile::Write(data, size);
  // Each input is another file to the index of surveyed chains, which knows a file by its
  // inode, size and times: the scratch file is rewritten faster than the clock ticks.
  static time_t inputs = 0;
  const timespec stamp[2] = {{1000000000 + ++inputs, 0}, {1000000000 + inputs, 0}};
  if (!path.empty()) utimensat(AT_FDCWD, path.c_str(), stamp, 0);
  for (uint32_t frame : {0u, 1u}) {
    PXStoredPage stored = {};
    if (!PXGetTIFFStoredPage(source, frame, &stored)) {
      if (PXGetLastError() == 0) return "a stored page query failed without an error";
      return nullptr;
    }
    PXResolution resolution = {200, 200, 2};
    PXTIFFEncodedPage* copy = PXCopyTIFFPage(source, frame, &resolution, 0);
    if (Problem p = SameFromFile(path, frame, stored, copy)) {
      PXFreeTIFFEncodedPage(copy);
      return p;
    }
    if (!stored.copyable) {
      PXFreeTIFFEncodedPage(copy);
      if (copy) return "a page said not copyable was copied";
      continue;
    }
    if (!copy)
      return PXGetLastError() == PX_ERR_NO_MEMORY ? nullptr : "a copyable page was not copied";
    LibTIFF in(path);
    if (in.get() && !TIFFSetDirectory(in.get(), tdir_t(frame))) {
      PXFreeTIFFEncodedPage(copy);
      return "a copyable page is not in the file";
    }
    const std::vector<uint32_t> pixels = DecodeRGBA(in.get(), frame);
    if (in.get()) TIFFSetDirectory(in.get(), tdir_t(frame));
    if (Problem p = CheckCopy(copy, stored, in.get(), pixels)) return p;
  }
  return nullptr;
}

// The JPEG file decoded by libjpeg through the library's reader, as RGBA words in
// libtiff's order; empty when it does not decode whole.
inline std::vector<uint32_t> DecodeJPEG(const Source& source, const PXStoredPage& stored) {
  if (uint64_t(stored.width) * stored.height > kCopyDecodePixels) return {};
  const int depth = stored.bitsPerPixel == 8 ? 8 : 24;
  uint32_t w = 0, h = 0;
  BYTE* pixels = PXReadJPEG(source.Rewound(), &w, &h, depth, 0);
  const int error = PXGetLastError();
  std::vector<uint32_t> raster;
  if (pixels && !error && w == stored.width && h == stored.height) {
    raster.resize(size_t(w) * h);
    const size_t step = depth / 8;
    for (size_t i = 0; i < raster.size(); ++i) {
      const BYTE* p = pixels + i * step;
      const uint32_t r = p[0], g = step == 3 ? p[1] : p[0], b = step == 3 ? p[2] : p[0];
      raster[i] = r | g << 8 | b << 16 | 0xFFu << 24;
    }
  }
  GlobalFree(pixels);
  return raster;
}

// libjpeg's decode of the file, handed to it whole (`piece` 0) or `piece` bytes at a time;
// empty when it fails or warns.
inline std::vector<JSAMPLE> DecodeInPieces(const uint8_t* data, size_t size, size_t piece) {
  struct Reader {
    jpeg_error_mgr error;
    std::jmp_buf jump;
    jpeg_source_mgr source;
    const uint8_t* data;
    size_t size, at, piece;
  };
  jpeg_decompress_struct c;
  Reader r{};
  r.data = data;
  r.size = size;
  r.piece = piece;
  c.err = jpeg_std_error(&r.error);
  r.error.error_exit = [](j_common_ptr c) {
    std::longjmp(reinterpret_cast<Reader*>(c->err)->jump, 1);
  };
  r.error.output_message = [](j_common_ptr) {};
  std::vector<JSAMPLE> samples;
  if (setjmp(r.jump)) {
    jpeg_destroy_decompress(&c);
    return {};
  }
  jpeg_create_decompress(&c);
  if (piece) {
    static const JOCTET kEnd[2] = {0xFF, JPEG_EOI};
    r.source.init_source = r.source.term_source = [](j_decompress_ptr) {};
    r.source.resync_to_restart = jpeg_resync_to_restart;
    r.source.fill_input_buffer = [](j_decompress_ptr c) -> boolean {
      Reader* r = reinterpret_cast<Reader*>(c->err);
      const size_t n = std::min(r->piece, r->size - r->at);
      c->src->next_input_byte = n ? r->data + r->at : kEnd;
      c->src->bytes_in_buffer = n ? n : 2;
      r->at += n;
      return TRUE;
    };
    r.source.skip_input_data = [](j_decompress_ptr c, long count) {
      while (count > long(c->src->bytes_in_buffer)) {
        count -= long(c->src->bytes_in_buffer);
        c->src->fill_input_buffer(c);
      }
      c->src->next_input_byte += count;
      c->src->bytes_in_buffer -= size_t(count);
    };
    c.src = &r.source;
  } else {
    jpeg_mem_src(&c, data, static_cast<unsigned long>(size));
  }
  jpeg_read_header(&c, TRUE);
  jpeg_start_decompress(&c);
  const size_t row = size_t(c.output_width) * size_t(c.output_components);
  samples.resize(row * c.output_height);
  while (c.output_scanline < c.output_height) {
    JSAMPROW rows[1] = {samples.data() + row * c.output_scanline};
    jpeg_read_scanlines(&c, rows, 1);
  }
  jpeg_finish_decompress(&c);
  if (r.error.num_warnings) samples.clear();
  jpeg_destroy_decompress(&c);
  return samples;
}

// Whether libjpeg decodes the file one way: without a warning, and to the same samples
// whether it is handed the file whole (as libtiff hands it a strip) or a piece at a time
// (as the library's reader does). What a decoder makes of corrupt entropy-coded data is
// its recovery's guess, and libjpeg's own guess depends on how its input is buffered (its
// fast Huffman path needs a full buffer), sometimes without a warning: a copy of such a
// file is held to the source's structure and strips, not to one decoder's pixels.
inline bool DecodesOneWay(const uint8_t* data, size_t size) {
  const std::vector<JSAMPLE> whole = DecodeInPieces(data, size, 0);
  return !whole.empty() && DecodeInPieces(data, size, 4096) == whole;
}

inline Problem CopyJPEG(const uint8_t* data, size_t size, const Source& source) {
  PXStoredPage stored = {};
  if (!PXGetJPEGStoredPage(source, &stored)) {
    if (PXGetLastError() == 0) return "a stored JPEG query failed without an error";
    return nullptr;
  }
  PXTIFFEncodedPage* copy = PXCopyJPEGPage(source, nullptr, 0);
  if (!stored.copyable) {
    PXFreeTIFFEncodedPage(copy);
    return copy ? "a JPEG said not copyable was copied" : nullptr;
  }
  if (!copy)
    return PXGetLastError() == PX_ERR_NO_MEMORY ? nullptr : "a copyable JPEG was not copied";
  std::vector<uint32_t> pixels = DecodeJPEG(source, stored);
  if (!pixels.empty() && !DecodesOneWay(data, size)) pixels.clear();
  return CheckCopy(copy, stored, nullptr, pixels);
}

// The samples of a copied PNG stream, one a byte, as inflating it and undoing each row's
// filter (a PDF reader's predictor 15) gives them; false when it does not give them whole.
inline bool PredictedSamples(const BYTE* stream, uint32_t size, const PXPNGStream& png,
                             std::vector<uint8_t>* samples) {
  const uint32_t bits = png.bitDepth, perRow = png.width * png.samples;
  const size_t rowBytes = (size_t(perRow) * bits + 7) / 8;
  const size_t step = std::max<size_t>(1, png.samples * bits / 8);
  std::vector<uint8_t> rows((rowBytes + 1) * png.height);
  uLongf made = uLongf(rows.size());
  if (uncompress(rows.data(), &made, stream, size) != Z_OK || made != rows.size()) return false;
  std::vector<uint8_t> above(rowBytes, 0), row(rowBytes);
  samples->clear();
  for (uint32_t y = 0; y < png.height; ++y) {
    const uint8_t* in = rows.data() + y * (rowBytes + 1);
    for (size_t i = 0; i < rowBytes; ++i) {
      const int a = i >= step ? row[i - step] : 0, b = above[i],
                c = i >= step ? above[i - step] : 0;
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      const int add[5] = {0, a, b, (a + b) / 2, paeth};
      if (in[0] > 4) return false;
      row[i] = uint8_t(in[1 + i] + add[in[0]]);
    }
    for (uint32_t x = 0; x < perRow; ++x) {
      const size_t bit = size_t(x) * bits;
      samples->push_back(uint8_t(row[bit / 8] >> (8 - bits - bit % 8) & ((1u << bits) - 1)));
    }
    above = row;
  }
  return true;
}

inline Problem CopyPNG(const Source& source) {
  PXPNGStream png;
  if (!PXGetPNGStream(source.Rewound(), &png))
    return PXGetLastError() ? nullptr : "a PNG survey failed without an error";
  uint32_t size = 0;
  std::unique_ptr<BYTE, decltype(&GlobalFree)> stream(
      PXReadPNGStream(source.Rewound(), nullptr, &size), GlobalFree);
  if (!png.copyable) return stream ? "a PNG said not copyable was copied" : nullptr;
  // Damaged image data is refused, and the page is converted.
  if (!stream || uint64_t(png.width) * png.height > kCopyDecodePixels) return nullptr;
  std::vector<uint8_t> samples;
  if (!PredictedSamples(stream.get(), size, png, &samples))
    return "a copied PNG stream is not the image's rows";
  // As the image object reads the file: indices, or RGB.
  const bool indexed = png.colorType == 3;
  RGBQUAD palette[256];
  uint32_t w = 0, h = 0;
  std::unique_ptr<void, decltype(&GlobalFree)> pixels(
      PXReadPNG(source.Rewound(), &w, &h, indexed ? 8 : 24, palette, 0), GlobalFree);
  if (!pixels || PXGetLastError() != 0)
    return PXGetLastError() == PX_ERR_NO_MEMORY ? nullptr : "a copied PNG does not decode";
  const auto* read = static_cast<const uint8_t*>(pixels.get());
  const size_t count = size_t(w) * h, perPixel = png.samples;
  if (w != png.width || h != png.height) return "a copied PNG decodes at another size";
  for (size_t i = 0; i < count * (indexed ? 1 : 3); ++i)
    if (read[i] != samples[indexed ? i : i / 3 * perPixel + (perPixel == 3 ? i % 3 : 0)])
      return "a copied PNG decodes to other pixels";
  return nullptr;
}

inline Problem Copy(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  switch (PXGuessFileType(source.Rewound())) {
    case PX_FORMAT_TIFF:
      return CopyTIFF(data, size, source);
    case PX_FORMAT_JPEG:
      return CopyJPEG(data, size, source);
    case PX_FORMAT_PNG:
      return CopyPNG(source);
    default:
      return nullptr;
  }
}

}  // namespace pxfuzz

#endif  // PAGEWEAVER_FUZZ_COPY_H
