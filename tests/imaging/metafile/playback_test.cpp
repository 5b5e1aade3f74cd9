// Metafile playback: metafiles built record by record land on the pixels GDI would draw.
#include <cmath>

#include "metafile/records.h"
#include "metafile_builder.h"
#include "platform/metafile.h"
#include "test_support.h"

namespace {

using namespace pxmf;
using pxtest::EmfBuilder;
using pxtest::RenderMetafileBytes;
using pxtest::WmfBuilder;

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kBlue = 0x0000FF, kRed = 0xFF0000;
constexpr int64_t kBlueRef = 0xFF0000, kRedRef = 0x0000FF;  // as COLORREF
constexpr int64_t kStock = 0x80000000;

EmfBuilder& BlueBrush(EmfBuilder& b) {
  return b.Add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, kBlueRef, 0}).Add(EMR_SELECTOBJECT, {1});
}

// A blue rectangle from (10, 20) to (30, 40) drawn with a stock pen, on a 100 x 100 picture.
pxtest::Rendering BlueRectangle(int64_t pen) {
  EmfBuilder b(100, 100);
  BlueBrush(b).Add(EMR_SELECTOBJECT, {kStock | pen}).Add(EMR_RECTANGLE, {10, 20, 30, 40});
  return RenderMetafileBytes(b.Finish(), 100, 100);
}

TEST(MetafilePlayback, RectangleWithoutPenFillsAllButItsFarEdges) {
  auto r = BlueRectangle(NULL_PEN);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(10, 20), kBlue);
  EXPECT_EQ(r.At(28, 38), kBlue);
  EXPECT_EQ(r.At(29, 30), kWhite);
  EXPECT_EQ(r.At(20, 39), kWhite);
  EXPECT_EQ(r.At(9, 30), kWhite);
  EXPECT_EQ(r.At(20, 19), kWhite);
}

TEST(MetafilePlayback, RectangleOutlineRunsAlongItsEdgePixels) {
  auto r = BlueRectangle(BLACK_PEN);
  ASSERT_EQ(r.error, 0);
  for (auto [x, y] : {std::pair{10, 20}, {29, 39}, {29, 30}, {20, 20}})
    EXPECT_EQ(r.At(x, y), kBlack) << x << "," << y;
  EXPECT_EQ(r.At(11, 21), kBlue);
  EXPECT_EQ(r.At(28, 38), kBlue);
  EXPECT_EQ(r.At(30, 30), kWhite);
  EXPECT_EQ(r.At(20, 40), kWhite);
}

TEST(MetafilePlayback, AnisotropicWindowAndViewportScaleAndMove) {
  // x: (x - 20) * 100 / 200 + 5, y: (y - 10) * 200 / 100 + 5.
  EmfBuilder b(100, 100);
  b.Add(EMR_SETMAPMODE, {MM_ANISOTROPIC})
      .Add(EMR_SETWINDOWEXTEX, {200, 100})
      .Add(EMR_SETVIEWPORTEXTEX, {100, 200})
      .Add(EMR_SETWINDOWORGEX, {20, 10})
      .Add(EMR_SETVIEWPORTORGEX, {5, 5});
  BlueBrush(b).Add(EMR_SELECTOBJECT, {kStock | BLACK_PEN}).Add(EMR_RECTANGLE, {40, 20, 80, 40});
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(15, 25), kBlack);
  EXPECT_EQ(r.At(34, 64), kBlack);
  EXPECT_EQ(r.At(25, 45), kBlue);
  EXPECT_EQ(r.At(16, 63), kBlue);
  EXPECT_EQ(r.At(35, 45), kWhite);
  EXPECT_EQ(r.At(14, 45), kWhite);
  EXPECT_EQ(r.At(25, 65), kWhite);
}

TEST(MetafilePlayback, IsotropicModeKeepsTheAspectRatio) {
  EmfBuilder b(100, 100);
  b.Add(EMR_SETMAPMODE, {MM_ISOTROPIC})
      .Add(EMR_SETWINDOWEXTEX, {100, 100})
      .Add(EMR_SETVIEWPORTEXTEX, {50, 100});  // the smaller scale wins: 0.5 both ways
  BlueBrush(b).Add(EMR_SELECTOBJECT, {kStock | NULL_PEN}).Add(EMR_RECTANGLE, {0, 0, 100, 100});
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(40, 40), kBlue);
  EXPECT_EQ(r.At(40, 60), kWhite);
  EXPECT_EQ(r.At(60, 40), kWhite);
}

std::vector<uint8_t> Star(uint32_t fillMode) {
  EmfBuilder b(100, 100);
  BlueBrush(b).Add(EMR_SELECTOBJECT, {kStock | NULL_PEN}).Add(EMR_SETPOLYFILLMODE, {fillMode});
  std::vector<int64_t> fields = {0, 0, 0, 0, 5};
  for (int k = 0; k < 5; ++k) {
    double a = (-90 + 144 * k) * 3.14159265358979 / 180;
    fields.push_back(std::lround(50 + 45 * std::cos(a)));
    fields.push_back(std::lround(50 + 45 * std::sin(a)));
  }
  std::vector<uint8_t> body;
  for (int64_t f : fields)
    for (int i = 0; i < 4; ++i) body.push_back(uint8_t(uint32_t(f) >> (8 * i)));
  b.AddRaw(EMR_POLYGON, body);
  return b.Finish();
}

TEST(MetafilePlayback, PolygonFillModesDecideTheStarsCentre) {
  auto winding = RenderMetafileBytes(Star(WINDING), 100, 100);
  auto alternate = RenderMetafileBytes(Star(ALTERNATE), 100, 100);
  ASSERT_EQ(winding.error, 0);
  ASSERT_EQ(alternate.error, 0);
  EXPECT_EQ(winding.At(50, 52), kBlue);
  EXPECT_EQ(alternate.At(50, 52), kWhite);
  // A point of the star is inside under both rules.
  EXPECT_EQ(winding.At(50, 12), kBlue);
  EXPECT_EQ(alternate.At(50, 12), kBlue);
}

TEST(MetafilePlayback, StretchDIBitsScalesABottomUpBitmap) {
  // 2 x 2, 24 bits, bottom row first: red, green / blue, yellow on top.
  std::vector<uint8_t> body =
      pxtest::Fields({0, 0, 0, 0, 10, 10, 0, 0, 2, 2, 80, 40, 120, 16, 0, 0x00CC0020, 20, 20});
  std::vector<uint8_t> info = pxtest::Fields({40, 2, 2, 0x00180001, 0, 16, 0, 0, 0, 0});
  std::vector<uint8_t> bits = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 0, 0};
  body.insert(body.end(), info.begin(), info.end());
  body.insert(body.end(), bits.begin(), bits.end());
  EmfBuilder b(100, 100);
  b.AddRaw(EMR_STRETCHDIBITS, body);
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(10, 10), kBlue);
  EXPECT_EQ(r.At(19, 19), kBlue);
  EXPECT_EQ(r.At(20, 10), 0xFFFF00u);
  EXPECT_EQ(r.At(10, 20), kRed);
  EXPECT_EQ(r.At(29, 29), 0x00FF00u);
  EXPECT_EQ(r.At(30, 30), kWhite);
  EXPECT_EQ(r.At(9, 9), kWhite);
}

TEST(MetafilePlayback, StretchDIBitsWithBitsShorterThanTheRowsIsSkipped) {
  std::vector<uint8_t> body =
      pxtest::Fields({0, 0, 0, 0, 0, 0, 0, 0, 1000, 1000, 80, 40, 120, 4, 0, 0x00CC0020, 100, 100});
  std::vector<uint8_t> info = pxtest::Fields({40, 1000, 1000, 0x00180001, 0, 0, 0, 0, 0, 0});
  body.insert(body.end(), info.begin(), info.end());
  body.insert(body.end(), {1, 2, 3, 4});
  EmfBuilder b(100, 100);
  b.AddRaw(EMR_STRETCHDIBITS, body);
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_TRUE(r.Uniform(kWhite));
}

TEST(MetafilePlayback, RestoreDCBringsBackTheSavedPen) {
  EmfBuilder b(100, 100);
  b.Add(EMR_CREATEPEN, {1, PS_SOLID, 0, 0, kRedRef})
      .Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_SAVEDC, {})
      .Add(EMR_CREATEPEN, {2, PS_SOLID, 0, 0, kBlueRef})
      .Add(EMR_SELECTOBJECT, {2})
      .Add(EMR_MOVETOEX, {10, 30})
      .Add(EMR_LINETO, {90, 30})
      .Add(EMR_RESTOREDC, {-1})
      .Add(EMR_MOVETOEX, {10, 50})
      .Add(EMR_LINETO, {90, 50});
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(50, 30), kBlue);
  EXPECT_EQ(r.At(50, 50), kRed);
  EXPECT_EQ(r.At(10, 50), kRed);
  EXPECT_EQ(r.At(90, 50), kWhite);  // a line leaves out its last pixel
}

TEST(MetafilePlayback, WindowsMetafileRecordsDrawTheirEnhancedEquivalents) {
  WmfBuilder w;
  w.Add(META_SETWINDOWORG, {0, 0})
      .Add(META_SETWINDOWEXT, {100, 100})
      .Add(META_SETMAPMODE, {MM_ANISOTROPIC})
      .Add(META_CREATEBRUSHINDIRECT, {BS_SOLID, 0, 0xFF, 0})  // blue
      .Add(META_SELECTOBJECT, {0})
      .Add(META_CREATEPENINDIRECT, {PS_NULL, 0, 0, 0, 0})
      .Add(META_SELECTOBJECT, {1})
      .Add(META_RECTANGLE, {40, 30, 20, 10})  // bottom, right, top, left
      .Add(META_DELETEOBJECT, {0})
      .Add(META_CREATEPENINDIRECT, {PS_SOLID, 0, 0, 0xFF, 0})  // red, takes the freed slot 0
      .Add(META_SELECTOBJECT, {0})
      .Add(META_MOVETO, {60, 10})  // y, x
      .Add(META_LINETO, {60, 90});
  auto r = RenderMetafileBytes(w.Finish(true, 0, 0, 100, 100, 96), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(10, 20), kBlue);
  EXPECT_EQ(r.At(28, 38), kBlue);
  EXPECT_EQ(r.At(30, 30), kWhite);
  EXPECT_EQ(r.At(50, 60), kRed);
}

TEST(MetafilePlayback, IntersectClipRectLimitsDrawing) {
  EmfBuilder b(100, 100);
  b.Add(EMR_INTERSECTCLIPRECT, {0, 0, 50, 100});
  BlueBrush(b).Add(EMR_SELECTOBJECT, {kStock | NULL_PEN}).Add(EMR_RECTANGLE, {10, 10, 90, 90});
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(49, 50), kBlue);
  EXPECT_EQ(r.At(50, 50), kWhite);
}

TEST(MetafilePlayback, XorPenTwiceLeavesTheBackground) {
  EmfBuilder b(100, 100);
  BlueBrush(b)
      .Add(EMR_SELECTOBJECT, {kStock | NULL_PEN})
      .Add(EMR_SETROP2, {7})  // XOR
      .Add(EMR_RECTANGLE, {10, 10, 50, 50})
      .Add(EMR_RECTANGLE, {10, 10, 30, 30});
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(20, 20), kWhite);
  EXPECT_EQ(r.At(40, 40), kWhite ^ kBlue);
}

TEST(MetafilePlayback, TextIsDrawnInTheTextColourAtItsReferencePoint) {
  // "HI" in a 30-pixel font, top-left aligned at (10, 10).
  std::vector<uint8_t> font = pxtest::Fields({1, -30, 0, 0, 0, 700, 0, 0});
  font.resize(4 + 92, 0);
  EmfBuilder b(100, 100);
  b.AddRaw(EMR_EXTCREATEFONTINDIRECTW, font)
      .Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_SETTEXTCOLOR, {kRedRef})
      .Add(EMR_SETBKMODE, {TRANSPARENT_BK});
  std::vector<uint8_t> text =
      pxtest::Fields({0, 0, 0, 0, GM_COMPATIBLE, 0, 0, 10, 10, 2, 76, 0, 0, 0, 0, 0, 0});
  text.insert(text.end(), {'H', 0, 'I', 0});
  b.AddRaw(EMR_EXTTEXTOUTW, text);
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  int red = 0, outside = 0;
  for (uint32_t y = 0; y < 100; ++y)
    for (uint32_t x = 0; x < 100; ++x)
      if (r.At(x, y) != kWhite) {
        ++red;
        if (x < 8 || y < 8 || x > 60 || y > 45 || r.At(x, y) != kRed) ++outside;
      }
  EXPECT_GT(red, 40);
  EXPECT_EQ(outside, 0);
}

TEST(MetafilePlayback, BadObjectIndicesAndCountsAreIgnored) {
  EmfBuilder b(100, 100);
  b.Add(EMR_SELECTOBJECT, {9999})
      .Add(EMR_DELETEOBJECT, {0x7FFFFFFF})
      .Add(EMR_CREATEPEN, {70000, PS_SOLID, 5, 0, 0})
      .Add(EMR_POLYLINE, {0, 0, 0, 0, 0x40000000, 1, 1})  // claims a billion points
      .Add(EMR_POLYPOLYGON, {0, 0, 0, 0, 0x7FFFFFFF, 3, 3, 1, 1, 2, 2, 3, 3})
      .Add(EMR_RESTOREDC, {-5})
      .Add(EMR_EXTSELECTCLIPRGN, {0x7FFFFFF0, RGN_AND});
  BlueBrush(b).Add(EMR_SELECTOBJECT, {kStock | NULL_PEN}).Add(EMR_RECTANGLE, {10, 10, 30, 30});
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(20, 20), kBlue);
}

TEST(MetafilePlayback, ClipRegionAndSavedClipsAreRestored) {
  // Region data: header (32 bytes) and one rectangle, in device units.
  std::vector<uint8_t> rgn =
      pxtest::Fields({48, RGN_COPY, 32, 1, 1, 16, 0, 0, 40, 40, 0, 0, 40, 40});
  EmfBuilder b(100, 100);
  BlueBrush(b).Add(EMR_SELECTOBJECT, {kStock | NULL_PEN}).Add(EMR_SAVEDC, {});
  b.AddRaw(EMR_EXTSELECTCLIPRGN, rgn)
      .Add(EMR_RECTANGLE, {0, 0, 100, 50})  // clipped to the region
      .Add(EMR_RESTOREDC, {-1})
      .Add(EMR_RECTANGLE, {0, 60, 100, 100});  // unclipped again
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(30, 30), kBlue);
  EXPECT_EQ(r.At(45, 30), kWhite);
  EXPECT_EQ(r.At(90, 80), kBlue);
}

TEST(MetafilePlayback, PathBracketRecordsFiguresForFillPath) {
  EmfBuilder b(100, 100);
  BlueBrush(b)
      .Add(EMR_BEGINPATH, {})
      .Add(EMR_MOVETOEX, {10, 10})
      .Add(EMR_LINETO, {60, 10})
      .Add(EMR_LINETO, {60, 60})
      .Add(EMR_LINETO, {10, 60})
      .Add(EMR_CLOSEFIGURE, {})
      .Add(EMR_ENDPATH, {});
  auto recorded = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(recorded.error, 0);
  EXPECT_TRUE(recorded.Uniform(kWhite));  // a recorded path draws nothing by itself

  EmfBuilder f(100, 100);
  BlueBrush(f)
      .Add(EMR_BEGINPATH, {})
      .Add(EMR_RECTANGLE, {10, 10, 60, 60})
      .Add(EMR_ENDPATH, {})
      .Add(EMR_FILLPATH, {0, 0, 0, 0});
  auto r = RenderMetafileBytes(f.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(30, 30), kBlue);
  EXPECT_EQ(r.At(70, 30), kWhite);
}

TEST(MetafilePlayback, WorldTransformScalesFigures) {
  EmfBuilder b(100, 100);
  BlueBrush(b).Add(EMR_SELECTOBJECT, {kStock | NULL_PEN});
  // eM11 = eM22 = 2.0 as floats, offset 10 pixels right.
  b.Add(EMR_SETWORLDTRANSFORM, {0x40000000, 0, 0, 0x40000000, 0x41200000, 0})
      .Add(EMR_RECTANGLE, {10, 10, 20, 20});  // -> (30, 20) to (50, 40)
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(31, 21), kBlue);
  EXPECT_EQ(r.At(47, 37), kBlue);
  EXPECT_EQ(r.At(25, 25), kWhite);
  EXPECT_EQ(r.At(52, 30), kWhite);
}

TEST(MetafilePlayback, PieFillsOnlyItsSector) {
  // Counter-clockwise from the right-hand point to the top point: the upper right quarter.
  EmfBuilder b(100, 100);
  BlueBrush(b)
      .Add(EMR_SELECTOBJECT, {kStock | NULL_PEN})
      .Add(EMR_PIE, {10, 10, 90, 90, 90, 50, 50, 10});
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(65, 35), kBlue);
  EXPECT_EQ(r.At(35, 35), kWhite);
  EXPECT_EQ(r.At(65, 65), kWhite);
  EXPECT_EQ(r.At(35, 65), kWhite);

  EmfBuilder cw(100, 100);
  BlueBrush(cw)
      .Add(EMR_SELECTOBJECT, {kStock | NULL_PEN})
      .Add(EMR_SETARCDIRECTION, {AD_CLOCKWISE})
      .Add(EMR_PIE, {10, 10, 90, 90, 90, 50, 50, 10});
  auto c = RenderMetafileBytes(cw.Finish(), 100, 100);
  ASSERT_EQ(c.error, 0);
  EXPECT_EQ(c.At(65, 35), kWhite);
  EXPECT_EQ(c.At(35, 65), kBlue);
}

TEST(MetafilePlayback, PatternBlitsUseTheBrushAndTheDestination) {
  EmfBuilder b(100, 100);
  BlueBrush(b);
  // BitBlt without a source: PATCOPY over the left half, then DSTINVERT over the top.
  auto blit = [&](int x, int y, int w, int h, int64_t rop) {
    b.Add(EMR_BITBLT, {0, 0, 0,          0, x, y, w, h, rop, 0, 0, 0x3F800000,
                       0, 0, 0x3F800000, 0, 0, 0, 0, 0, 0,   0, 0});
  };
  blit(0, 0, 50, 100, 0x00F00021);
  blit(0, 0, 100, 50, 0x00550009);
  auto r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(25, 75), kBlue);
  EXPECT_EQ(r.At(75, 75), kWhite);
  EXPECT_EQ(r.At(25, 25), kBlue ^ 0xFFFFFFu);
  EXPECT_EQ(r.At(75, 25), kBlack);
}

TEST(MetafilePlayback, WindowsBitmapBlitCountsItsSourceFromTheTop) {
  // A 1 x 2 bottom-up DIB: red below, green above. DIBSTRETCHBLT of its top pixel
  // (ySrc 0 counted from the top) fills the destination with green.
  std::vector<int32_t> words = {0x0020, 0x00CC,          // SRCCOPY
                                1,      1,      0,  0,   // source height, width, y, x
                                40,     40,     10, 10,  // destination height, width, y, x
                                40,     0,      1,  0,  2, 0, 1, 24, 0, 0,
                                8,      0,      0,  0,  0, 0, 0, 0,  0, 0};
  std::vector<int32_t> bits = {0x0000, 0x00FF, 0xFF00, 0x0000};  // red, green (BGR, padded)
  std::vector<int32_t> record = words;
  record.insert(record.end(), bits.begin(), bits.end());
  pxtest::WmfBuilder full;
  full.Add(META_SETWINDOWEXT, {100, 100});
  full.AddWords(META_DIBSTRETCHBLT, record);
  auto r = RenderMetafileBytes(full.Finish(true, 0, 0, 100, 100, 96), 100, 100);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(30, 30), 0x00FF00u);
  EXPECT_EQ(r.At(60, 60), kWhite);
}

}  // namespace
