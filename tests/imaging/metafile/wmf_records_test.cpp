// Windows-metafile records the converter turns into enhanced ones: each case draws a
// placeable metafile whose window maps one unit to one pixel of a 100 x 100 picture.
// Parameters are stored last first: a rectangle is bottom, right, top, left.
#include "platform/metafile.h"
#include "record_cases.h"

namespace pxtest {
namespace {

using namespace pxmf;

struct WmfCase {
  const char* kind;
  void (*build)(WmfBuilder& w);
  void (*check)(const Rendering& r);
};

void PrintTo(const WmfCase& c, std::ostream* os) {
  *os << c.kind;
}

class WmfRecord : public testing::TestWithParam<WmfCase> {};

TEST_P(WmfRecord, DrawsItsEnhancedEquivalent) {
  const WmfCase& c = GetParam();
  WmfBuilder w;
  w.Add(META_SETWINDOWORG, {0, 0}).Add(META_SETWINDOWEXT, {100, 100});
  c.build(w);
  Rendering r = RenderMetafileBytes(w.Finish(true, 0, 0, 100, 100, 96), 100, 100);
  ASSERT_EQ(r.error, 0);
  c.check(r);
}

// The bytes as 16-bit words, for DIBs inside records.
std::vector<int32_t> Words(const std::vector<uint8_t>& bytes) {
  std::vector<int32_t> words;
  for (size_t i = 0; i < bytes.size(); i += 2)
    words.push_back(bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0));
  return words;
}

std::vector<int32_t> DibWords(const Dib& dib) {
  std::vector<uint8_t> bytes = dib.info;
  bytes.insert(bytes.end(), dib.bits.begin(), dib.bits.end());
  return Words(bytes);
}

std::vector<int32_t> Join(std::vector<int32_t> a, const std::vector<int32_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Object 0: a solid brush of the COLORREF, selected; object 1: the null pen, selected.
WmfBuilder& Fill(WmfBuilder& w, uint32_t colorref) {
  return w
      .Add(META_CREATEBRUSHINDIRECT,
           {BS_SOLID, int32_t(colorref & 0xFFFF), int32_t(colorref >> 16), 0})
      .Add(META_SELECTOBJECT, {0})
      .Add(META_CREATEPENINDIRECT, {PS_NULL, 0, 0, 0, 0})
      .Add(META_SELECTOBJECT, {1});
}

WmfBuilder& BlueFill(WmfBuilder& w) {
  return Fill(w, uint32_t(kBlueRef));
}

// META_CREATEREGION of the rectangle (l, t) to (r, b): the header (next, type, object
// count, size, one scan, max scan, bounds), then the scan (count, top, bottom, left,
// right, count).
WmfBuilder& RegionObject(WmfBuilder& w, int l, int t, int r, int b) {
  return w.Add(META_CREATEREGION, {0, 6, 0, 0, 34, 1, 2, l, t, r, b, 2, t, b, l, r, 2});
}

// Object 0: a 30-pixel font, selected, on a transparent background. (Text without a font
// is drawn in the default font of the converted picture's reference device, a few
// hundredths of a millimetre high.)
WmfBuilder& Font30(WmfBuilder& w) {
  return w.Add(META_CREATEFONTINDIRECT, {-30, 0, 0, 0, 400, 0, 0, 0, 0})
      .Add(META_SELECTOBJECT, {0})
      .Add(META_SETBKMODE, {TRANSPARENT_BK});
}

void CheckHalfSquare(const Rendering& r) {
  EXPECT_EQ(r.At(45, 45), kBlue);
  EXPECT_EQ(r.At(55, 55), kWhite);
}

void CheckTextAt(const Rendering& r, int x0, int y0, int x1, int y1, uint32_t rgb) {
  EXPECT_GT(Count(r, x0, y0, x1, y1, rgb), 20);
  EXPECT_EQ(NotWhite(r, 0, 0, 100, 100), NotWhite(r, x0, y0, x1, y1));
}

const WmfCase kCases[] = {
    {"META_SETBKMODE",
     [](WmfBuilder& w) {
       // Hatching on a transparent background leaves the gaps alone.
       w.Add(META_SETBKCOLOR, {0xFF00, 0})
           .Add(META_SETBKMODE, {TRANSPARENT_BK})
           .Add(META_CREATEBRUSHINDIRECT, {BS_HATCHED, 0, 0xFF, HS_HORIZONTAL})
           .Add(META_SELECTOBJECT, {0})
           .Add(META_RECTANGLE, {100, 100, 0, 0});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(3, 3), kWhite);
       EXPECT_EQ(r.At(3, 7), kBlue);
     }},
    {"META_SETBKCOLOR",
     [](WmfBuilder& w) {
       w.Add(META_SETBKCOLOR, {0xFF00, 0})
           .Add(META_CREATEBRUSHINDIRECT, {BS_HATCHED, 0, 0xFF, HS_HORIZONTAL})
           .Add(META_SELECTOBJECT, {0})
           .Add(META_RECTANGLE, {100, 100, 0, 0});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(3, 3), kGreen);
       EXPECT_EQ(r.At(3, 7), kBlue);
     }},
    {"META_SETROP2",
     [](WmfBuilder& w) {
       BlueFill(w)
           .Add(META_SETROP2, {7})
           .Add(META_RECTANGLE, {50, 50, 10, 10})
           .Add(META_RECTANGLE, {30, 30, 10, 10});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(20, 20), kWhite);  // XOR twice
       EXPECT_EQ(r.At(40, 40), kWhite ^ kBlue);
     }},
    {"META_SETPOLYFILLMODE",
     [](WmfBuilder& w) {
       // Two nested squares turning the same way: winding fills the inner one too.
       BlueFill(w).Add(META_SETPOLYFILLMODE, {WINDING});
       w.Add(META_POLYPOLYGON,
             {2, 4, 4, 10, 10, 90, 10, 90, 90, 10, 90, 30, 30, 70, 30, 70, 70, 30, 70});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(50, 50), kBlue);
       EXPECT_EQ(r.At(20, 20), kBlue);
     }},
    {"META_POLYPOLYGON",
     [](WmfBuilder& w) {
       BlueFill(w).Add(META_POLYPOLYGON,
                       {2, 4, 4, 10, 10, 90, 10, 90, 90, 10, 90, 30, 30, 70, 30, 70, 70, 30, 70});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(50, 50), kWhite);  // alternate: the inner square is a hole
       EXPECT_EQ(r.At(20, 20), kBlue);
       EXPECT_EQ(r.At(95, 50), kWhite);
     }},
    {"META_SETSTRETCHBLTMODE",
     [](WmfBuilder& w) {
       std::vector<uint32_t> px(16);
       for (int i = 0; i < 16; ++i) px[size_t(i)] = (i % 4 + i / 4) % 2 ? kWhite : kBlack;
       w.Add(META_SETSTRETCHBLTMODE, {STRETCH_HALFTONE});
       // rop, usage, source height, width, y, x, destination height, width, y, x, DIB.
       w.AddWords(META_STRETCHDIB,
                  Join({0x0020, 0x00CC, 0, 4, 4, 0, 0, 2, 2, 10, 10}, DibWords(Dib24(4, 4, px))));
     },
     [](const Rendering& r) {
       uint32_t v = r.At(10, 10);
       EXPECT_NE(v, kBlack);
       EXPECT_NE(v, kWhite);
     }},
    {"META_STRETCHDIB",
     [](WmfBuilder& w) {
       w.AddWords(META_STRETCHDIB,
                  Join({0x0020, 0x00CC, 0, 2, 2, 0, 0, 20, 20, 10, 10}, DibWords(FourColours())));
     },
     [](const Rendering& r) { ExpectFourColours(r, 10, 10, 10); }},
    {"META_DIBBITBLT",
     [](WmfBuilder& w) {
       // rop, source y, x, height, width, destination y, x, DIB: pixel for pixel.
       w.AddWords(META_DIBBITBLT,
                  Join({0x0020, 0x00CC, 0, 0, 2, 2, 10, 10}, DibWords(FourColours())));
     },
     [](const Rendering& r) { ExpectFourColours(r, 10, 10, 1); }},
    {"META_SETDIBTODEV",
     [](WmfBuilder& w) {
       // usage, scan count, start scan, source y, x, height, width, destination y, x, DIB.
       w.AddWords(META_SETDIBTODEV, Join({0, 2, 0, 0, 0, 2, 2, 10, 10}, DibWords(FourColours())));
     },
     [](const Rendering& r) { ExpectFourColours(r, 10, 10, 1); }},
    {"META_PATBLT",
     [](WmfBuilder& w) {
       // PATCOPY: rop, height, width, y, x.
       BlueFill(w).Add(META_PATBLT, {0x0021, 0x00F0, 20, 30, 10, 10});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(10, 10), kBlue);
       EXPECT_EQ(r.At(39, 29), kBlue);
       EXPECT_EQ(r.At(45, 20), kWhite);
     }},
    {"META_DIBCREATEPATTERNBRUSH",
     [](WmfBuilder& w) {
       w.AddWords(META_DIBCREATEPATTERNBRUSH, Join({BS_DIBPATTERN, 0}, DibWords(FourColours())));
       w.Add(META_SELECTOBJECT, {0}).Add(META_CREATEPENINDIRECT, {PS_NULL, 0, 0, 0, 0});
       w.Add(META_SELECTOBJECT, {1}).Add(META_RECTANGLE, {100, 100, 0, 0});
     },
     [](const Rendering& r) {
       ExpectFourColours(r, 0, 0, 1, false);
       ExpectFourColours(r, 50, 50, 1, false);
     }},
    {"META_CREATEPATTERNBRUSH",
     [](WmfBuilder& w) {
       // A device bitmap brush paints nothing but takes slot 0; blue then takes slot 2.
       w.Add(META_CREATEPATTERNBRUSH, {8, 8, 2, 1, 1, 0, 0})
           .Add(META_SELECTOBJECT, {0})
           .Add(META_CREATEPENINDIRECT, {PS_NULL, 0, 0, 0, 0})
           .Add(META_SELECTOBJECT, {1})
           .Add(META_RECTANGLE, {40, 40, 10, 10})
           .Add(META_CREATEBRUSHINDIRECT, {BS_SOLID, 0, 0xFF, 0})
           .Add(META_SELECTOBJECT, {2})
           .Add(META_RECTANGLE, {90, 90, 60, 60});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(25, 25), kWhite);
       EXPECT_EQ(r.At(75, 75), kBlue);
     }},
    {"META_SAVEDC",
     [](WmfBuilder& w) {
       // The saved state keeps the black default pen; the null pen ends with it.
       w.Add(META_SAVEDC, {}).Add(META_CREATEPENINDIRECT, {PS_NULL, 0, 0, 0, 0});
       w.Add(META_SELECTOBJECT, {0}).Add(META_RECTANGLE, {40, 40, 10, 10});
       w.Add(META_RESTOREDC, {-1}).Add(META_RECTANGLE, {90, 90, 60, 60});
     },
     [](const Rendering& r) {
       EXPECT_EQ(NotWhite(r, 0, 0, 50, 50), 0);
       EXPECT_EQ(r.At(60, 75), kBlack);
     }},
    {"META_RESTOREDC",
     [](WmfBuilder& w) {
       // A window origin set after the save ends with the restore.
       BlueFill(w).Add(META_SAVEDC, {}).Add(META_SETWINDOWORG, {0, -50});
       w.Add(META_RECTANGLE, {30, 30, 10, 10}).Add(META_RESTOREDC, {-1});
       w.Add(META_RECTANGLE, {80, 30, 60, 10});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(70, 20), kBlue);
       EXPECT_EQ(r.At(20, 20), kWhite);
       EXPECT_EQ(r.At(20, 70), kBlue);
     }},
    {"META_OFFSETWINDOWORG",
     [](WmfBuilder& w) {
       BlueFill(w).Add(META_OFFSETWINDOWORG, {0, -50}).Add(META_RECTANGLE, {30, 30, 10, 10});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(70, 20), kBlue);
       EXPECT_EQ(r.At(20, 20), kWhite);
     }},
    {"META_SCALEWINDOWEXT",
     [](WmfBuilder& w) {
       // y denominator, numerator, x denominator, numerator: the window twice as large.
       BlueFill(w).Add(META_SCALEWINDOWEXT, {1, 2, 1, 2}).Add(META_RECTANGLE, {100, 100, 0, 0});
     },
     CheckHalfSquare},
    {"META_EXCLUDECLIPRECT",
     [](WmfBuilder& w) {
       BlueFill(w)
           .Add(META_EXCLUDECLIPRECT, {60, 60, 40, 40})
           .Add(META_RECTANGLE, {90, 90, 10, 10});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(50, 50), kWhite);
       EXPECT_EQ(r.At(20, 20), kBlue);
     }},
    {"META_INTERSECTCLIPRECT",
     [](WmfBuilder& w) {
       BlueFill(w)
           .Add(META_INTERSECTCLIPRECT, {100, 50, 0, 0})
           .Add(META_RECTANGLE, {90, 90, 10, 10});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(49, 50), kBlue);
       EXPECT_EQ(r.At(50, 50), kWhite);
     }},
    {"META_OFFSETCLIPRGN",
     [](WmfBuilder& w) {
       BlueFill(w).Add(META_INTERSECTCLIPRECT, {30, 30, 0, 0}).Add(META_OFFSETCLIPRGN, {50, 50});
       w.Add(META_RECTANGLE, {100, 100, 0, 0});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(60, 60), kBlue);
       EXPECT_EQ(r.At(20, 20), kWhite);
     }},
    {"META_CREATEREGION",
     [](WmfBuilder& w) {
       // Selecting a region object clips to it.
       RegionObject(BlueFill(w), 20, 20, 50, 50).Add(META_SELECTOBJECT, {2});
       w.Add(META_RECTANGLE, {100, 100, 0, 0});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(30, 30), kBlue);
       EXPECT_EQ(r.At(70, 70), kWhite);
       EXPECT_EQ(r.At(10, 30), kWhite);
     }},
    {"META_SELECTCLIPREGION",
     [](WmfBuilder& w) {
       RegionObject(BlueFill(w), 20, 20, 50, 50).Add(META_SELECTCLIPREGION, {2});
       w.Add(META_RECTANGLE, {100, 100, 0, 0});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(30, 30), kBlue);
       EXPECT_EQ(r.At(70, 70), kWhite);
     }},
    {"META_FILLREGION",
     [](WmfBuilder& w) {
       // Region 0 with brush 1, which is never selected.
       RegionObject(w, 10, 10, 40, 40).Add(META_CREATEBRUSHINDIRECT, {BS_SOLID, 0, 0xFF, 0});
       w.Add(META_FILLREGION, {0, 1});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(10, 10), kBlue);
       EXPECT_EQ(r.At(39, 39), kBlue);
       EXPECT_EQ(r.At(40, 40), kWhite);  // the region's right and bottom are outside
     }},
    {"META_PAINTREGION",
     [](WmfBuilder& w) { RegionObject(BlueFill(w), 10, 10, 40, 40).Add(META_PAINTREGION, {2}); },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(25, 25), kBlue);
       EXPECT_EQ(r.At(50, 50), kWhite);
     }},
    {"META_ELLIPSE",
     [](WmfBuilder& w) {
       BlueFill(w).Add(META_ELLIPSE, {90, 90, 10, 10});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(50, 50), kBlue);
       EXPECT_EQ(r.At(50, 12), kBlue);
       EXPECT_EQ(r.At(14, 14), kWhite);
     }},
    {"META_ROUNDRECT",
     [](WmfBuilder& w) {
       // corner height, width, then the rectangle.
       BlueFill(w).Add(META_ROUNDRECT, {40, 40, 90, 90, 10, 10});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(50, 11), kBlue);
       EXPECT_EQ(r.At(11, 11), kWhite);  // the corner is rounded off
       EXPECT_EQ(r.At(50, 50), kBlue);
     }},
    {"META_PIE",
     [](WmfBuilder& w) {
       BlueFill(w).Add(META_PIE, {10, 50, 50, 90, 90, 90, 10, 10});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(65, 35), kBlue);
       EXPECT_EQ(r.At(35, 35), kWhite);
       EXPECT_EQ(r.At(35, 65), kWhite);
     }},
    {"META_CHORD",
     [](WmfBuilder& w) {
       BlueFill(w).Add(META_CHORD, {10, 50, 50, 90, 90, 90, 10, 10});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(75, 25), kBlue);
       EXPECT_EQ(r.At(60, 40), kWhite);
     }},
    {"META_SETPIXEL",
     [](WmfBuilder& w) {
       w.Add(META_SETPIXEL, {0x00FF, 0, 30, 20});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(20, 30), kRed);
       EXPECT_EQ(Count(r, 0, 0, 100, 100, kWhite), 100 * 100 - 1);
     }},
    {"META_POLYLINE",
     [](WmfBuilder& w) {
       w.Add(META_POLYLINE, {3, 10, 10, 90, 10, 90, 90});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(50, 10), kBlack);
       EXPECT_EQ(r.At(90, 50), kBlack);
       EXPECT_EQ(r.At(50, 50), kWhite);  // open, unfilled
     }},
    {"META_SETTEXTCOLOR",
     [](WmfBuilder& w) {
       Font30(w).Add(META_SETTEXTCOLOR, {0x00FF, 0});
       w.Add(META_TEXTOUT, {2, 'H' | ('I' << 8), 10, 10});
     },
     [](const Rendering& r) { CheckTextAt(r, 8, 8, 50, 40, kRed); }},
    {"META_SETTEXTALIGN",
     [](WmfBuilder& w) {
       Font30(w).Add(META_SETTEXTALIGN, {TA_RIGHT});
       w.Add(META_TEXTOUT, {2, 'H' | ('I' << 8), 10, 60});
     },
     [](const Rendering& r) {
       EXPECT_GT(NotWhite(r, 0, 0, 60, 100), 20);
       EXPECT_EQ(NotWhite(r, 62, 0, 100, 100), 0);
     }},
    {"META_EXTTEXTOUT",
     [](WmfBuilder& w) {
       // y, x, count, options, the characters; clipped to no rectangle.
       Font30(w).Add(META_EXTTEXTOUT, {10, 10, 2, 0, 'H' | ('I' << 8)});
     },
     [](const Rendering& r) { CheckTextAt(r, 8, 8, 50, 40, kBlack); }},
    {"META_CREATEFONTINDIRECT",
     [](WmfBuilder& w) {
       // Height -40 (an em of 40), weight 700, no face name; its top at y = 10.
       w.Add(META_CREATEFONTINDIRECT, {-40, 0, 0, 0, 700, 0, 0, 0, 0})
           .Add(META_SELECTOBJECT, {0})
           .Add(META_SETBKMODE, {TRANSPARENT_BK})
           .Add(META_TEXTOUT, {1, 'H', 10, 5});
     },
     [](const Rendering& r) {
       EXPECT_EQ(NotWhite(r, 0, 0, 100, 10), 0);
       EXPECT_GT(NotWhite(r, 0, 35, 100, 45), 0);
       EXPECT_EQ(NotWhite(r, 0, 55, 100, 100), 0);
     }},
    {"META_CREATEPALETTE",
     [](WmfBuilder& w) {
       // Object 2: version 0x300, two entries red, green (red, green, blue, flags).
       Fill(w, 0x01000001).Add(META_CREATEPALETTE, {0x300, 2, 0x00FF, 0, 0xFF00, 0});
       w.Add(META_SELECTPALETTE, {2}).Add(META_RECTANGLE, {90, 90, 10, 10});
     },
     [](const Rendering& r) { EXPECT_EQ(r.At(50, 50), kGreen); }},
    {"META_SELECTPALETTE",
     [](WmfBuilder& w) {
       // Until the palette is selected, PALETTEINDEX(1) names no colour.
       Fill(w, 0x01000001).Add(META_CREATEPALETTE, {0x300, 2, 0x00FF, 0, 0xFF00, 0});
       w.Add(META_RECTANGLE, {90, 50, 10, 10});
       w.Add(META_SELECTPALETTE, {2}).Add(META_RECTANGLE, {90, 90, 10, 55});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(30, 50), kBlack);
       EXPECT_EQ(r.At(70, 50), kGreen);
     }},
};

INSTANTIATE_TEST_SUITE_P(Converted, WmfRecord, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<WmfCase>& info) {
                           return std::string(info.param.kind);
                         });

}  // namespace
}  // namespace pxtest
