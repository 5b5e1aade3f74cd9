// The JPEG, GIF and Photoshop readers over the shared corpus of real files: pixels
// against an independent decoder's reference images, and every broken file answered
// with an error code rather than a crash.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "pixolith/pixolith.h"
#include "test_support.h"

namespace {

using pxtest::CorpusEntry;
using pxtest::RefImage;

// A decoded first image as 8-bit RGB, with the palette index of every pixel for
// palette formats (to tell transparent pixels).
struct Decoded {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;
  std::vector<uint8_t> index;
  int transparent = -1;
  int error = 0;
  bool ok = false;
};

const char* FormatName(int format) {
  return format == PX_FORMAT_JPEG ? "JPEG" : format == PX_FORMAT_GIF ? "GIF" : "PSD";
}

int FormatOf(const std::string& path) {
  PXSource src = PXOpenFileSource(path.c_str());
  if (!src) return 0;
  int id = PXGuessFileType(src);
  PXCloseSource(src);
  return id;
}

Decoded DecodeAt24(const std::string& path, int format) {
  Decoded d;
  PXSource src = PXOpenFileSource(path.c_str());
  if (!src) return d;
  pxtest::BlockGuard block;
  RGBQUAD palette[256] = {};
  if (format == PX_FORMAT_JPEG) {
    block.reset(PXReadJPEG(src, &d.width, &d.height, 24, 0));
  } else if (format == PX_FORMAT_PSD) {
    block.reset(PXReadPSD(src, &d.width, &d.height, 24, nullptr, 0));
  } else {
    block.reset(PXReadGIF(src, &d.width, &d.height, &d.transparent, palette, 0));
  }
  d.error = PXGetLastError();
  PXCloseSource(src);
  if (!block.block) return d;
  const size_t pixels = size_t(d.width) * d.height;
  if (format == PX_FORMAT_GIF) {
    d.index.assign(block.bytes(), block.bytes() + pixels);
    d.rgb.resize(3 * pixels);
    for (size_t i = 0; i < pixels; ++i) {
      const RGBQUAD& q = palette[d.index[i]];
      d.rgb[3 * i] = q.rgbRed;
      d.rgb[3 * i + 1] = q.rgbGreen;
      d.rgb[3 * i + 2] = q.rgbBlue;
    }
  } else {
    d.rgb.assign(block.bytes(), block.bytes() + 3 * pixels);
  }
  d.ok = true;
  return d;
}

// Largest channel difference against the reference image at (left, top); pixels the
// reference shows fully transparent must be the transparent index and are otherwise not
// compared.
int CompareAt(const Decoded& d, const RefImage& ref, uint32_t left, uint32_t top,
              std::string* why) {
  int worst = 0;
  for (uint32_t y = 0; y < d.height; ++y) {
    for (uint32_t x = 0; x < d.width; ++x) {
      const size_t i = size_t(y) * d.width + x;
      const uint8_t* r = &ref.pixels[(size_t(top + y) * ref.width + left + x) * ref.channels];
      if (ref.channels == 4 && r[3] == 0) {
        if (d.index.empty() || d.index[i] != d.transparent) {
          *why = "pixel " + std::to_string(x) + "," + std::to_string(y) +
                 " is transparent in the reference";
          return 256;
        }
        continue;
      }
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(d.rgb[3 * i + c]) - r[c]));
    }
  }
  return worst;
}

// A GIF's first image may be smaller than its logical screen: the reader returns the
// image, the reference the screen with the image placed on it. Then the image must
// match the reference somewhere inside.
int Compare(const Decoded& d, const RefImage& ref, int tolerance, std::string* why) {
  if (d.width == ref.width && d.height == ref.height) return CompareAt(d, ref, 0, 0, why);
  *why = "size " + std::to_string(d.width) + "x" + std::to_string(d.height) + " vs " +
         std::to_string(ref.width) + "x" + std::to_string(ref.height);
  if (d.index.empty() || d.width > ref.width || d.height > ref.height) return 256;
  for (uint32_t top = 0; top + d.height <= ref.height; ++top) {
    for (uint32_t left = 0; left + d.width <= ref.width; ++left) {
      std::string ignored;
      if (CompareAt(d, ref, left, top, &ignored) <= tolerance) return 0;
    }
  }
  return 256;
}

TEST(JPEGGIFPSDCorpus, MatchesReferencePixels) {
  PXTEST_REQUIRE_CORPUS();
  const pxtest::fs::path dir = pxtest::CorpusDir();
  struct Count {
    int files = 0, matched = 0;
  };
  std::map<int, Count> counts;
  for (const CorpusEntry& e : pxtest::LoadCorpusManifest()) {
    if (e.ref.empty()) continue;
    const std::string path = (dir / "files" / e.path).string();
    const int format = FormatOf(path);
    if (format != PX_FORMAT_JPEG && format != PX_FORMAT_GIF && format != PX_FORMAT_PSD) continue;
    Count& count = counts[format];
    ++count.files;
    RefImage ref;
    ASSERT_TRUE(pxtest::ReadReferencePNG((dir / "ref" / e.ref).string(), &ref)) << e.path;
    Decoded d = DecodeAt24(path, format);
    std::string why;
    const int tolerance = format == PX_FORMAT_JPEG ? 2 : 0;
    const int worst = d.ok ? Compare(d, ref, tolerance, &why) : 256;
    EXPECT_TRUE(d.ok) << e.path << ": error " << d.error;
    EXPECT_EQ(d.error, 0) << e.path;
    EXPECT_LE(worst, tolerance) << e.path << " " << why;
    if (d.ok && d.error == 0 && worst <= tolerance) ++count.matched;
  }
  for (const auto& [format, c] : counts) {
    std::printf("%-4s %d of %d reference images matched\n", FormatName(format), c.matched, c.files);
  }
}

// Files without reference pixels that the readers nevertheless read, and why that is
// right. Every other such file must end with an error code.
const std::map<std::string, std::string> kReadDespiteNoReference = {
    // The reference decoder failed while walking the layers, which this reader skips;
    // the merged image of these files is complete.
    {"five_channels.psd", "layers only"},
    {"hopper.psd", "layers only"},
    {"hopper_merged.psd", "layers only"},
    {"rgba.psd", "layers only"},
    {"negative_layer_count.psd", "layers only"},
    {"negative_top_left_layer.psd", "layers only"},
    {"psd-oob-write.psd", "layers only"},
    {"psd-oob-write-overflow.psd", "layers only"},
    {"psd-oob-write-x.psd", "layers only"},
    {"psd-oob-write-y.psd", "layers only"},
    // A layer section cut to length 0: what follows is taken as raw image data, and
    // there is enough of it. Nothing in the file says otherwise.
    {"timeout-dedc7a4ebd856d79b4359bbcc79e8ef231ce38f6.psd", "well-formed merged image"},
    // Truncated JPEG data decodes without error, the missing part filled by libjpeg.
    {"truncated_jpeg.jpg", "truncated"},
    {"ultrahdr.jpg", "truncated"},
    // The reference decoder stumbled over the broken Exif segment; the image is intact.
    {"truncated_exif_dpi.jpg", "metadata only"},
};

TEST(JPEGGIFPSDCorpus, FilesWithoutReferenceEndWithAnErrorCode) {
  PXTEST_REQUIRE_CORPUS();
  const pxtest::fs::path dir = pxtest::CorpusDir();
  std::map<int, std::pair<int, int>> counts;  // format -> refused, read
  for (const CorpusEntry& e : pxtest::LoadCorpusManifest()) {
    if (!e.ref.empty()) continue;
    const std::string path = (dir / "files" / e.path).string();
    const int format = FormatOf(path);
    if (format != PX_FORMAT_JPEG && format != PX_FORMAT_GIF && format != PX_FORMAT_PSD) continue;
    Decoded d = DecodeAt24(path, format);
    const bool readable = kReadDespiteNoReference.count(e.path) != 0;
    if (readable) {
      EXPECT_TRUE(d.ok && d.error == 0) << e.path << ": error " << d.error;
      ++counts[format].second;
    } else {
      EXPECT_NE(d.error, 0) << e.path << " read although the reference refused it: " << e.error;
      ++counts[format].first;
    }
  }
  for (const auto& [format, c] : counts)
    std::printf("%-4s %d files without reference refused, %d read (explained)\n",
                FormatName(format), c.first, c.second);
}

// Every file of the corpus through every reader of this kind, whatever its format: no
// crash, no hang, and a failure always has a code.
TEST(JPEGGIFPSDCorpus, EveryFileThroughEveryReader) {
  PXTEST_REQUIRE_CORPUS();
  const pxtest::fs::path dir = pxtest::CorpusDir();
  for (const CorpusEntry& e : pxtest::LoadCorpusManifest()) {
    const std::string path = (dir / "files" / e.path).string();
    for (int format : {PX_FORMAT_JPEG, PX_FORMAT_GIF, PX_FORMAT_PSD}) {
      Decoded d = DecodeAt24(path, format);
      if (!d.ok) {
        EXPECT_NE(d.error, 0) << e.path << " as " << FormatName(format);
      }
    }
  }
}

}  // namespace
