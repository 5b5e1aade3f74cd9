// State records: colours and modes, the brush origin, the miter limit, scaled extents and
// the world transform.
#include "platform/metafile.h"
#include "record_cases.h"

namespace pxtest {
namespace {

using namespace pxmf;

// A 4 x 4 checkerboard of black and white shrunk into (10, 10, 12, 12).
EmfBuilder& ShrunkChecker(EmfBuilder& b) {
  std::vector<uint32_t> px(16);
  for (int i = 0; i < 16; ++i) px[size_t(i)] = (i % 4 + i / 4) % 2 ? kWhite : kBlack;
  return b.AddRaw(EMR_STRETCHDIBITS, StretchDIBitsBody(10, 10, 2, 2, Dib24(4, 4, px)));
}

// A sharp V of a geometric pen 10 wide with mitred joins, its apex at (50, 20).
EmfBuilder& MitredV(EmfBuilder& b) {
  return b
      .Add(EMR_EXTCREATEPEN,
           {1, 0, 0, 0, 0, PS_GEOMETRIC | PS_JOIN_MITER | PS_SOLID, 10, BS_SOLID, 0, 0, 0})
      .Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_POLYLINE, {0, 0, 0, 0, 3, 30, 90, 50, 20, 70, 90});
}

// The square (0, 0, 100, 100) in logical units, filled blue.
EmfBuilder& LogicalSquare(EmfBuilder& b) {
  return BlueFill(b).Add(EMR_RECTANGLE, {0, 0, 100, 100});
}

EmfBuilder& Anisotropic100(EmfBuilder& b) {
  return b.Add(EMR_SETMAPMODE, {MM_ANISOTROPIC})
      .Add(EMR_SETWINDOWEXTEX, {100, 100})
      .Add(EMR_SETVIEWPORTEXTEX, {100, 100});
}

void CheckHalfSquare(const Rendering& r) {
  EXPECT_EQ(r.At(45, 45), kBlue);
  EXPECT_EQ(r.At(55, 55), kWhite);
}

const RecordCase kCases[] = {
    {"EMR_SETBKCOLOR",
     [](EmfBuilder& b) {
       // Horizontal hatching on an opaque background of the background colour.
       b.Add(EMR_SETBKCOLOR, {kGreenRef})
           .Add(EMR_CREATEBRUSHINDIRECT, {1, BS_HATCHED, kBlueRef, HS_HORIZONTAL})
           .Add(EMR_SELECTOBJECT, {1})
           .Add(EMR_SELECTOBJECT, {kStock | NULL_PEN})
           .Add(EMR_RECTANGLE, {0, 0, 100, 100});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(3, 3), kGreen);
       EXPECT_EQ(r.At(3, 7), kBlue);
       EXPECT_EQ(r.At(3, 15), kBlue);
     }},
    {"EMR_SETBRUSHORGEX",
     [](EmfBuilder& b) {
       // The 2 x 2 pattern starts one pixel to the right.
       b.Add(EMR_SETBRUSHORGEX, {1, 0})
           .AddRaw(EMR_CREATEDIBPATTERNBRUSHPT, PatternBrush(FourColours()))
           .Add(EMR_SELECTOBJECT, {1})
           .Add(EMR_SELECTOBJECT, {kStock | NULL_PEN})
           .Add(EMR_RECTANGLE, {0, 0, 100, 100});
     },
     [](const Rendering& r) {
       ExpectFourColours(r, 1, 0, 1, false);
       EXPECT_EQ(r.At(0, 0), kGreen);
     }},
    {"EMR_SETMITERLIMIT", [](EmfBuilder& b) { MitredV(b.Add(EMR_SETMITERLIMIT, {1})); },
     [](const Rendering& r) {
       // A limit of 1 bevels the joint: nothing of the default limit's spike above it.
       EXPECT_EQ(r.At(50, 22), kBlack);
       EXPECT_EQ(NotWhite(r, 45, 0, 56, 14), 0);
     }},
    {"EMR_SETSTRETCHBLTMODE",
     [](EmfBuilder& b) { ShrunkChecker(b.Add(EMR_SETSTRETCHBLTMODE, {STRETCH_HALFTONE})); },
     [](const Rendering& r) {
       // Halftone averages what it shrinks: grey, not black or white.
       for (uint32_t x : {10u, 11u}) {
         uint32_t v = r.At(x, 10);
         EXPECT_NE(v, kBlack) << x;
         EXPECT_NE(v, kWhite) << x;
         EXPECT_EQ(v >> 16, v & 0xFF) << x;
       }
     }},
    {"EMR_SETTEXTALIGN",
     [](EmfBuilder& b) {
       // "HI" ending at x = 60 with TA_RIGHT.
       std::vector<uint8_t> font = Fields({1, -30, 0, 0, 0, 400, 0, 0});
       font.resize(4 + 92, 0);
       b.AddRaw(EMR_EXTCREATEFONTINDIRECTW, font)
           .Add(EMR_SELECTOBJECT, {1})
           .Add(EMR_SETBKMODE, {TRANSPARENT_BK})
           .Add(EMR_SETTEXTALIGN, {TA_RIGHT});
       b.AddRaw(EMR_EXTTEXTOUTW,
                FieldsAnd({0, 0, 0, 0, GM_COMPATIBLE, 0, 0, 60, 20, 2, 76, 0, 0, 0, 0, 0, 0},
                          {'H', 0, 'I', 0}));
     },
     [](const Rendering& r) {
       EXPECT_GT(NotWhite(r, 0, 0, 60, 100), 40);
       EXPECT_EQ(NotWhite(r, 62, 0, 100, 100), 0);
     }},
    {"EMR_SCALEWINDOWEXTEX",
     [](EmfBuilder& b) {
       LogicalSquare(Anisotropic100(b).Add(EMR_SCALEWINDOWEXTEX, {2, 1, 2, 1}));
     },
     CheckHalfSquare},
    {"EMR_SCALEVIEWPORTEXTEX",
     [](EmfBuilder& b) {
       LogicalSquare(Anisotropic100(b).Add(EMR_SCALEVIEWPORTEXTEX, {1, 2, 1, 2}));
     },
     CheckHalfSquare},
    {"EMR_MODIFYWORLDTRANSFORM",
     [](EmfBuilder& b) {
       // Moved 50 right (50.0f), then back to the identity.
       BlueFill(b)
           .Add(EMR_MODIFYWORLDTRANSFORM, {kFloat1, 0, 0, kFloat1, 0x42480000, 0, MWT_LEFTMULTIPLY})
           .Add(EMR_RECTANGLE, {10, 10, 30, 30})
           .Add(EMR_MODIFYWORLDTRANSFORM, {0, 0, 0, 0, 0, 0, MWT_IDENTITY})
           .Add(EMR_RECTANGLE, {10, 60, 30, 80});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(70, 20), kBlue);
       EXPECT_EQ(r.At(20, 20), kWhite);
       EXPECT_EQ(r.At(20, 70), kBlue);
       EXPECT_EQ(r.At(70, 70), kWhite);
     }},
};

INSTANTIATE_TEST_SUITE_P(State, MetafileRecord, testing::ValuesIn(kCases), RecordCaseName);

}  // namespace
}  // namespace pxtest
