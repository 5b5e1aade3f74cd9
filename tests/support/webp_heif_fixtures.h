// WebP and HEIF files made by the tests themselves, through the encoders of libwebp and
// libheif, so that no binary fixture is needed.
#ifndef PAGEWEAVER_TESTS_WEBP_HEIF_FIXTURES_H
#define PAGEWEAVER_TESTS_WEBP_HEIF_FIXTURES_H

#include <cstdint>
#include <vector>

namespace pxtest {

// A picture with detail and, when `alpha`, transparency from clear to opaque: rows of
// width x 4 bytes (red, green, blue, alpha; alpha 255 throughout without `alpha`).
std::vector<uint8_t> TestRGBA(uint32_t width, uint32_t height, bool alpha, uint32_t seed = 0);

struct WebPOptions {
  bool lossless = true;
  int quality = 90;           // for lossy files
  bool alpha = true;          // keep the alpha channel (the VP8X and ALPH of a lossy file)
  std::vector<uint8_t> exif;  // an EXIF chunk when not empty
};
std::vector<uint8_t> EncodeWebP(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba,
                                const WebPOptions& options = {});
// An animation of full-canvas frames (RGBA each), lossless.
std::vector<uint8_t> EncodeAnimatedWebP(uint32_t width, uint32_t height,
                                        const std::vector<std::vector<uint8_t>>& frames);

enum class HEIFCoding { kHEVC, kAV1 };
struct HEIFOptions {
  HEIFCoding coding = HEIFCoding::kHEVC;
  bool lossless = false;  // with 4:4:4 and RGB coefficients: exact
  int quality = 90;
  bool alpha = false;
  bool monochrome = false;  // the red bytes as a grey image
  int orientation = 1;      // written as irot and imir, as libheif does
  int bitDepth = 8;         // 10: each byte of the picture as a 10-bit sample (times 4)
};
std::vector<uint8_t> EncodeHEIF(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba,
                                const HEIFOptions& options = {});

// Bytes `first` to `first + count - 1` of every pixel of an RGBA image (0, 3: RGB).
std::vector<uint8_t> Channels(const std::vector<uint8_t>& rgba, int first, int count);
// An RGBA image composited on white as RGB, rounded to nearest: what a 24-bit read of a
// file with alpha should give.
std::vector<uint8_t> OnWhite(const std::vector<uint8_t>& rgba);

// The primary image as libheif decodes it by itself: RGBA rows, with or without its
// transformations.
std::vector<uint8_t> DecodeHEIFDirect(const std::vector<uint8_t>& file, bool transformed,
                                      uint32_t* width, uint32_t* height);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_WEBP_HEIF_FIXTURES_H
