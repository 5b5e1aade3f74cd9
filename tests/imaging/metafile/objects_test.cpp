// Object records: extended pens, palettes and their selection, monochrome and DIB
// pattern brushes.
#include "record_cases.h"

namespace pxtest {
namespace {

using namespace pxmf;

// A palette of red and green (LOGPALETTE: version 0x300, two entries of red, green,
// blue, flags) in object 3, selected.
EmfBuilder& RedGreenPalette(EmfBuilder& b) {
  return b.AddRaw(EMR_CREATEPALETTE, Fields({3, 0x00020300, 0x000000FF, 0x0000FF00}))
      .Add(EMR_SELECTPALETTE, {3});
}

// A brush of palette entry 1 (PALETTEINDEX) filling (l, 10, r, 90).
EmfBuilder& FillWithPaletteEntry1(EmfBuilder& b, int l = 10, int r = 90) {
  return b.Add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0x01000001, 0})
      .Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_SELECTOBJECT, {kStock | NULL_PEN})
      .Add(EMR_RECTANGLE, {l, 10, r, 90});
}

EmfBuilder& FillAll(EmfBuilder& b) {
  return b.Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_SELECTOBJECT, {kStock | NULL_PEN})
      .Add(EMR_RECTANGLE, {0, 0, 100, 100});
}

const RecordCase kCases[] = {
    {"EMR_EXTCREATEPEN",
     [](EmfBuilder& b) {
       // A geometric red pen 9 wide with flat ends: ihPen, no bitmap, style, width,
       // brush style, colour, hatch, no dashes.
       b.Add(EMR_EXTCREATEPEN,
             {1, 0, 0, 0, 0, PS_GEOMETRIC | PS_ENDCAP_FLAT | PS_SOLID, 9, BS_SOLID, kRedRef, 0, 0})
           .Add(EMR_SELECTOBJECT, {1})
           .Add(EMR_MOVETOEX, {20, 50})
           .Add(EMR_LINETO, {80, 50});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(50, 50), kRed);
       EXPECT_EQ(r.At(50, 47), kRed);
       EXPECT_EQ(r.At(50, 53), kRed);
       EXPECT_EQ(r.At(50, 40), kWhite);
       EXPECT_EQ(r.At(17, 50), kWhite);  // flat: nothing beyond the end points
     }},
    {"EMR_CREATEPALETTE", [](EmfBuilder& b) { FillWithPaletteEntry1(RedGreenPalette(b)); },
     [](const Rendering& r) { EXPECT_EQ(r.At(50, 50), kGreen); }},
    {"EMR_SELECTPALETTE",
     [](EmfBuilder& b) {
       // Index 1 names green while the palette is selected, and nothing once the stock
       // palette replaces it.
       FillWithPaletteEntry1(RedGreenPalette(b), 10, 45);
       b.Add(EMR_SELECTPALETTE, {kStock | DEFAULT_PALETTE_STOCK});
       FillWithPaletteEntry1(b, 55, 90);
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(30, 50), kGreen);
       EXPECT_EQ(r.At(70, 50), kBlack);
     }},
    {"EMR_CREATEMONOBRUSH",
     [](EmfBuilder& b) {
       // 8 x 8, the left four columns set: 0 bits take the text colour, 1 bits the
       // background colour of when the brush is made.
       std::vector<int> bits(64);
       for (int i = 0; i < 64; ++i) bits[size_t(i)] = i % 8 < 4;
       b.Add(EMR_SETTEXTCOLOR, {kRedRef}).Add(EMR_SETBKCOLOR, {kGreenRef});
       b.AddRaw(EMR_CREATEMONOBRUSH, PatternBrush(Dib1(8, 8, kBlack, kWhite, bits)));
       b.Add(EMR_SETTEXTCOLOR, {0}).Add(EMR_SETBKCOLOR, {0xFFFFFF});
       FillAll(b);
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(1, 1), kGreen);
       EXPECT_EQ(r.At(5, 1), kRed);
       EXPECT_EQ(r.At(9, 30), kGreen);  // tiled every 8 pixels
       EXPECT_EQ(r.At(13, 30), kRed);
     }},
    {"EMR_CREATEDIBPATTERNBRUSHPT",
     [](EmfBuilder& b) {
       b.AddRaw(EMR_CREATEDIBPATTERNBRUSHPT, PatternBrush(FourColours()));
       FillAll(b);
     },
     [](const Rendering& r) {
       ExpectFourColours(r, 0, 0, 1, false);
       ExpectFourColours(r, 50, 50, 1, false);  // tiled every 2 pixels
     }},
};

INSTANTIATE_TEST_SUITE_P(Objects, MetafileRecord, testing::ValuesIn(kCases), RecordCaseName);

}  // namespace
}  // namespace pxtest
