// Bitmap records: stretched, masked, blended and transparent block transfers, bits set
// to the device, and gradient fills.
#include "record_cases.h"

namespace pxtest {
namespace {

using namespace pxmf;

bool Between(uint32_t v, uint32_t lo, uint32_t hi) {
  return v >= lo && v <= hi;
}

const RecordCase kCases[] = {
    {"EMR_STRETCHBLT",
     [](EmfBuilder& b) {
       b.AddRaw(EMR_STRETCHBLT, BlitBody(10, 10, 20, 20, SRCCOPY_ROP, FourColours(), {2, 2}));
     },
     [](const Rendering& r) {
       ExpectFourColours(r, 10, 10, 10);
       EXPECT_EQ(r.At(5, 5), kWhite);
     }},
    {"EMR_MASKBLT",
     [](EmfBuilder& b) {
       // Red through a mask whose left half is set; where it is clear the destination
       // stays (background operation 0xAA).
       std::vector<int> mask(400);
       for (int i = 0; i < 400; ++i) mask[size_t(i)] = i % 20 < 10;
       Dib maskDib = Dib1(20, 20, kBlack, kWhite, mask);
       b.AddRaw(EMR_MASKBLT,
                BlitBody(10, 10, 20, 20, 0xAA000000u | SRCCOPY_ROP,
                         Dib24(20, 20, std::vector<uint32_t>(400, kRed)), {}, &maskDib));
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(12, 15), kRed);
       EXPECT_EQ(r.At(19, 25), kRed);
       EXPECT_EQ(r.At(21, 15), kWhite);
       EXPECT_EQ(r.At(28, 25), kWhite);
     }},
    {"EMR_ALPHABLEND",
     [](EmfBuilder& b) {
       // Blue at a constant alpha of 128 (the blend function's third byte).
       b.AddRaw(EMR_ALPHABLEND, BlitBody(10, 10, 20, 20, 0x00800000,
                                         Dib24(2, 2, {kBlue, kBlue, kBlue, kBlue}), {2, 2}));
     },
     [](const Rendering& r) {
       uint32_t v = r.At(20, 20);
       EXPECT_TRUE(Between(v >> 16, 120, 135) && Between((v >> 8) & 0xFF, 120, 135))
           << std::hex << v;
       EXPECT_EQ(v & 0xFF, 0xFFu);
       EXPECT_EQ(r.At(35, 20), kWhite);
     }},
    {"EMR_TRANSPARENTBLT",
     [](EmfBuilder& b) {
       // Green (the colour in the raster-operation field) stays transparent.
       b.AddRaw(EMR_TRANSPARENTBLT, BlitBody(10, 10, 20, 20, kGreenRef,
                                             Dib24(2, 2, {kRed, kGreen, kGreen, kRed}), {2, 2}));
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(15, 15), kRed);
       EXPECT_EQ(r.At(25, 15), kWhite);
       EXPECT_EQ(r.At(15, 25), kWhite);
       EXPECT_EQ(r.At(25, 25), kRed);
     }},
    {"EMR_SETDIBITSTODEVICE",
     [](EmfBuilder& b) {
       // Bounds, destination corner, source rectangle, the DIB's offsets and sizes, usage,
       // first scan line and count; pixel for pixel at (10, 10).
       Dib dib = FourColours();
       std::vector<uint8_t> body =
           Fields({0, 0, 0, 0, 10, 10, 0, 0, 2, 2, 76, int64_t(dib.info.size()),
                   int64_t(76 + dib.info.size()), int64_t(dib.bits.size()), 0, 0, 2});
       body.insert(body.end(), dib.info.begin(), dib.info.end());
       body.insert(body.end(), dib.bits.begin(), dib.bits.end());
       b.AddRaw(EMR_SETDIBITSTODEVICE, body);
     },
     [](const Rendering& r) { ExpectFourColours(r, 10, 10, 1); }},
    {"EMR_GRADIENTFILL",
     [](EmfBuilder& b) {
       // A horizontal gradient from red at (10, 10) to blue at (90, 30): bounds, two
       // vertices (x, y, 16-bit red, green, blue, alpha), one rectangle, mode 0, then
       // the vertices and the rectangle's vertex indices.
       b.Add(EMR_GRADIENTFILL, {0, 0, 0, 0, 2, 1, 0, 10, 10, 0xFF00, 0, 90, 30, 0, 0xFF00, 0, 1});
     },
     [](const Rendering& r) {
       uint32_t left = r.At(11, 20), middle = r.At(50, 20), right = r.At(88, 20);
       EXPECT_GT(left >> 16, 230u);
       EXPECT_LT(left & 0xFF, 25u);
       EXPECT_GT(right & 0xFF, 230u);
       EXPECT_LT(right >> 16, 25u);
       EXPECT_TRUE(Between(middle >> 16, 100, 155) && Between(middle & 0xFF, 100, 155))
           << std::hex << middle;
       EXPECT_EQ(r.At(50, 50), kWhite);
       EXPECT_EQ(r.At(5, 20), kWhite);
     }},
};

INSTANTIATE_TEST_SUITE_P(Bitmaps, MetafileRecord, testing::ValuesIn(kCases), RecordCaseName);

}  // namespace
}  // namespace pxtest
