// The TIFF reader over the sample corpus: the first page of every file the independent
// decoder read must come out pixel for pixel the same at depth 24; files it refused give
// an error or an image, never a crash, at every depth and for every page.
#include <map>

#include "corpus_compare.h"
#include "pixolith/px_tiff.h"
#include "test_support.h"

namespace {

using pxtest::BlockGuard;
using pxtest::CorpusDir;
using pxtest::CorpusEntry;

// Files where the reference decoder is not the measure, and why.
const std::map<std::string, std::string> kExcluded = {
    // 16-bit grey: the reference clips values above 255 to white; the library scales
    // 16 bits to 8 (libtiff keeps the high byte).
    {"12in16bit.tif", "16-bit grey clipped by the reference"},
    {"16_bit_noise.tif", "16-bit grey clipped by the reference"},
    {"16bit.MM.cropped.tif", "16-bit grey clipped by the reference"},
    {"16bit.MM.deflate.tif", "16-bit grey clipped by the reference"},
    {"16bit.cropped.tif", "16-bit grey clipped by the reference"},
    {"16bit.deflate.tif", "16-bit grey clipped by the reference"},
    {"16bit.r.tif", "16-bit grey clipped by the reference"},
    {"16bit.s.tif", "signed 16-bit grey, negative values clipped to black by the reference"},
    {"cmx3g8_wv_1998.260_0745_mcidas.tiff", "16-bit grey clipped by the reference"},
    {"ifd_tag_type.tiff", "16-bit grey clipped by the reference"},
    {"imagedraw_rectangle_I.tiff", "16-bit grey clipped by the reference"},
    {"libtiff/minisblack-1c-16b.tiff", "16-bit grey clipped by the reference"},
    {"uint16_1_4660.tif", "16-bit grey clipped by the reference"},
    // Samples libtiff's RGBA decoding has no conversion for: refused with PX_ERR_BAD_TIFF.
    {"10ct_32bit_128.tiff", "32-bit floating-point grey"},
    {"12bit.cropped.tif", "12-bit grey"},
    {"16_bit_binary_pgm.tiff", "32-bit signed integer grey"},
    {"tiff_strip_cmyk_16l_jpeg.tif", "16-bit CMYK"},
    // CIELab: libtiff converts with the D50 white point and no adaptation to sRGB's D65
    // (white comes out 255, 252, 222); the reference converts differently.
    {"hopper.Lab.tif", "CIELab conversion differs"},
    {"lab-green.tif", "CIELab conversion differs"},
    {"lab-red.tif", "CIELab conversion differs"},
    {"lab.tif", "CIELab conversion differs"},
};

// Files that match within a few levels, and why not exactly.
struct Near {
  int tolerance;
  const char* reason;
};
const std::map<std::string, Near> kNear = {
    // libtiff rounds 16-bit samples to the nearest 8-bit level; the reference keeps the
    // high byte.
    {"libtiff/rgb-3c-16b.tiff", {1, "16-bit samples rounded, not truncated"}},
    {"tiff_16bit_RGB.tiff", {1, "16-bit samples rounded, not truncated"}},
    {"tiff_strip_planar_16bit_RGB.tiff", {1, "16-bit samples rounded, not truncated"}},
    {"tiff_tiled_planar_16bit_RGB.tiff", {1, "16-bit samples rounded, not truncated"}},
    // Associated alpha: the stored colours are already composited over black; the
    // reference divides them by alpha, which composited again lands within a level or two.
    {"libtiff/32bpp-None.tiff", {1, "associated alpha un-premultiplied by the reference"}},
    {"pil136.tiff", {1, "associated alpha un-premultiplied by the reference"}},
    {"tiff_16bit_RGBa.tiff", {2, "16-bit associated alpha un-premultiplied by the reference"}},
    {"tiff_strip_planar_16bit_RGBa.tiff", {2, "16-bit associated alpha, as above"}},
    {"tiff_tiled_planar_16bit_RGBa.tiff", {2, "16-bit associated alpha, as above"}},
    // CMYK to RGB: libtiff truncates (255 - k) * (255 - c) / 255, the reference rounds.
    {"tiff_strip_cmyk_jpeg.tif", {1, "CMYK conversion rounding"}},
    {"tiff_tiled_cmyk_jpeg.tif", {1, "CMYK conversion rounding"}},
};

struct Decoded {
  BlockGuard pixels;
  uint32_t width = 0;
  uint32_t height = 0;
  int error = 0;
};

void Decode(const std::string& path, uint32_t depth, uint32_t page, uint32_t flags, Decoded* d) {
  PXSource source = PXOpenFileSource(path.c_str());
  ASSERT_NE(source, nullptr) << path;
  RGBQUAD palette[256];
  d->pixels.reset(PXReadTIFF(source, &d->width, &d->height, depth, palette, page, flags));
  d->error = PXGetLastError();
  PXCloseSource(source);
}

// Pages with alpha are read composited over black (the colour premultiplied by alpha,
// as libtiff delivers it); the reference keeps colour and alpha apart.
pxtest::RefImage OverBlack(const pxtest::RefImage& ref) {
  if (ref.channels != 4) return ref;
  pxtest::RefImage out = ref;
  for (size_t i = 0; i < out.pixels.size(); i += 4) {
    const uint32_t a = out.pixels[i + 3];
    for (int c = 0; c < 3; ++c) out.pixels[i + c] = uint8_t((out.pixels[i + c] * a + 127) / 255);
  }
  return out;
}

TEST(TIFFCorpus, ReadableFilesMatchTheReference) {
  PXTEST_REQUIRE_CORPUS();
  int compared = 0, matched = 0, near = 0;
  for (const CorpusEntry& e : pxtest::CorpusFilesStartingWith({"II", "MM"})) {
    if (e.ref.empty() || kExcluded.count(e.path)) continue;
    SCOPED_TRACE(e.path);
    ++compared;
    Decoded d;
    Decode((CorpusDir() / "files" / e.path).string(), 24, 0, 0, &d);
    if (!d.pixels.block || d.error) {
      ADD_FAILURE() << e.path << ": error " << d.error;
      continue;
    }
    pxtest::RefImage ref;
    ASSERT_TRUE(pxtest::ReadReferencePNG((CorpusDir() / "ref" / e.ref).string(), &ref));
    pxtest::PixelDiff diff;
    const auto tolerated = kNear.find(e.path);
    const int tolerance = tolerated == kNear.end() ? 0 : tolerated->second.tolerance;
    if (pxtest::SameRGB(d.pixels.bytes(), d.width, d.height, OverBlack(ref), &diff, tolerance))
      tolerance ? ++near : ++matched;
    else
      ADD_FAILURE() << e.path << " (" << e.mode << ", " << d.width << "x" << d.height
                    << "): " << diff.Describe();
  }
  std::printf(
      "TIFF: %d of %d reference-readable files match exactly, %d more within 1-2 levels "
      "(%zu excluded)\n",
      matched, compared, near, kExcluded.size());
  EXPECT_EQ(matched + near, compared);
}

TEST(TIFFCorpus, EveryPageAtEveryDepthGivesAnImageOrAnError) {
  PXTEST_REQUIRE_CORPUS();
  int images = 0, errors = 0;
  for (const CorpusEntry& e : pxtest::CorpusFilesStartingWith({"II", "MM"})) {
    SCOPED_TRACE(e.path);
    const std::string path = (CorpusDir() / "files" / e.path).string();
    PXSource source = PXOpenFileSource(path.c_str());
    const uint32_t pages = PXGetTIFFPageCount(source);
    // The application takes a count of one link for one page without asking libtiff.
    if (PXCountTIFFDirectories(source) == 1) {
      EXPECT_LE(pages, 1u);
    }
    PXCloseSource(source);
    for (uint32_t page = 0; page < std::min<uint32_t>(pages, 4); ++page) {
      for (uint32_t depth : {1u, 8u, 16u, 24u, 32u}) {
        Decoded d;
        Decode(path, depth, page, 0, &d);
        if (d.pixels.block) {
          ++images;
          ASSERT_GE(GlobalSize(d.pixels.block), size_t(d.height) * PXImageRowBytes(d.width, depth));
        } else {
          ++errors;
          EXPECT_NE(d.error, 0);
        }
      }
      Decoded dib;
      Decode(path, 0, page, PX_READ_PACKED_DIB, &dib);
    }
  }
  std::printf("TIFF: %d images and %d errors over every page and depth\n", images, errors);
}

}  // namespace
