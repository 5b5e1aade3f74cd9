// Bitmaps inside metafile records are decoded by the BMP reader: the same DIB gives the
// same pixels in a record as in a BMP file, and playback adds only its own colours.
#include "metafile/records.h"
#include "metafile_builder.h"
#include "pixolith/px_bmp.h"
#include "test_support.h"

namespace {

using namespace pxmf;
using pxtest::Dib;
using pxtest::EmfBuilder;
using pxtest::RenderMetafileBytes;

// A 1 x 1 DIB of 32-bit bit fields with 10 bits a channel: red 512 of 1023, green all
// set, blue none. `compression` 3 stores three masks after the 40-byte header, 6 four.
Dib TenBitDib(uint32_t compression = BI_BITFIELDS) {
  Dib d;
  d.width = d.height = 1;
  d.info = pxtest::Fields(
      {40, 1, 1, 0x00200001, compression, 4, 0, 0, 0, 0, 0x3FF00000, 0x000FFC00, 0x000003FF});
  if (compression == 6) d.info.resize(d.info.size() + 4, 0);  // no alpha mask
  d.bits = pxtest::Fields({(512 << 20) | (1023 << 10)});
  return d;
}

// The DIB drawn over the whole of a 10 x 10 picture.
pxtest::Rendering Draw(const Dib& dib, uint32_t usage = 0, EmfBuilder* prefix = nullptr) {
  EmfBuilder own(10, 10);
  EmfBuilder& b = prefix ? *prefix : own;
  b.AddRaw(EMR_STRETCHDIBITS, pxtest::StretchDIBitsBody(0, 0, 10, 10, dib, usage));
  return RenderMetafileBytes(b.Finish(), 10, 10);
}

TEST(MetafileDib, TenBitMasksGiveTheBmpReadersPixels) {
  Dib dib = TenBitDib();
  pxtest::Bytes file;
  file.str("BM").le32(14 + uint32_t(dib.info.size() + dib.bits.size())).le32(0);
  file.le32(14 + uint32_t(dib.info.size())).raw(dib.info).raw(dib.bits);
  pxtest::MemorySource source(file.data());
  uint32_t w = 0, h = 0;
  BYTE* rgb = PXReadBMP(source.get(), &w, &h, 24, nullptr, 0);
  ASSERT_NE(rgb, nullptr);
  const uint32_t read = (uint32_t(rgb[0]) << 16) | (uint32_t(rgb[1]) << 8) | rgb[2];
  GlobalFree(rgb);
  EXPECT_EQ(read, 0x80FF00u);  // 512 >> 2: the top 8 of the 10 bits

  auto r = Draw(dib);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(5, 5), read);
}

TEST(MetafileDib, AlphaBitfieldsMasksFollowTheHeader) {
  auto r = Draw(TenBitDib(6));
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(5, 5), 0x80FF00u);
}

TEST(MetafileDib, PaletteIndicesTakeTheSelectedPalettesColours) {
  // A 2 x 1 8-bit DIB whose two-entry table holds indices 1 and 0 of the palette.
  Dib dib;
  dib.width = 2;
  dib.height = 1;
  dib.info = pxtest::Fields({40, 2, 1, 0x00080001, 0, 0, 0, 0, 2, 0});
  dib.info.insert(dib.info.end(), {1, 0, 0, 0});
  dib.bits = {0, 1, 0, 0};
  EmfBuilder b(10, 10);
  // Palette: red, green (red, green, blue, flags).
  b.AddRaw(EMR_CREATEPALETTE, pxtest::Fields({1, 0x00020300, 0x000000FF, 0x0000FF00}))
      .Add(EMR_SELECTPALETTE, {1});
  auto r = Draw(dib, DIB_PAL_COLORS, &b);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(2, 5), 0x00FF00u);  // index 0 of the table: palette entry 1
  EXPECT_EQ(r.At(7, 5), 0xFF0000u);

  // Without a selected palette the indices are a grey ramp.
  auto grey = Draw(dib, DIB_PAL_COLORS);
  ASSERT_EQ(grey.error, 0);
  EXPECT_EQ(grey.At(2, 5), 0x010101u);
  EXPECT_EQ(grey.At(7, 5), 0x000000u);
}

TEST(MetafileDib, RunLengthBitsThatEndEarlyKeepTheirRows) {
  // 2 x 2 RLE8 with colours blue and red: the bottom row two red pixels, then the data
  // ends before the top row and the end code.
  Dib dib;
  dib.width = dib.height = 2;
  dib.info = pxtest::Fields({40, 2, 2, 0x00080001, BI_RLE8, 0, 0, 0, 2, 0, 0x0000FF, 0xFF0000});
  dib.bits = {2, 1, 0, 0};
  auto r = Draw(dib);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(5, 8), 0xFF0000u);
  EXPECT_EQ(r.At(5, 2), 0x0000FFu);  // cleared to the first colour, as the reader does
}

TEST(MetafileDib, DibsTheReaderRefusesAreNotDrawn) {
  Dib jpeg = pxtest::Dib24(2, 2, {0, 0, 0, 0});
  jpeg.info[16] = 4;  // BI_JPEG
  Dib huge = pxtest::Dib24(1, 1, {0});
  huge.info[4] = 0xFF;  // two billion pixels wide, with the bits of one
  huge.info[7] = 0x7F;
  for (const Dib& dib : {jpeg, huge}) {
    auto r = Draw(dib);
    ASSERT_EQ(r.error, 0);
    EXPECT_TRUE(r.Uniform(0xFFFFFF));
  }
}

}  // namespace
