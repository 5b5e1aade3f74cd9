// Figure records: curves, polylines, polygons, points and arcs, in their 32- and 16-bit
// forms.
#include "record_cases.h"

namespace pxtest {
namespace {

using namespace pxmf;

// A curve from (10, 80) to (90, 80) pulled up by (10, 10) and (90, 10): its middle is at
// (50, 27.5), and nothing joins its ends.
void CheckArch(const Rendering& r) {
  EXPECT_GT(Count(r, 47, 25, 54, 31, kBlack), 0);
  EXPECT_EQ(NotWhite(r, 30, 60, 70, 100), 0);  // no chord, no fill
  EXPECT_EQ(r.At(50, 50), kWhite);
}

// A line from the current position (90, 80) straight down, after a curve ends there.
void CheckArchAndCurrentPosition(const Rendering& r) {
  CheckArch(r);
  EXPECT_EQ(r.At(90, 88), kBlack);
}

// Lines from (10, 10) to (90, 10) and (90, 90), then on from there to (10, 90).
void CheckOpenSquare(const Rendering& r) {
  EXPECT_EQ(r.At(50, 10), kBlack);
  EXPECT_EQ(r.At(90, 50), kBlack);
  EXPECT_EQ(r.At(50, 90), kBlack);  // from where the record left the current position
  EXPECT_EQ(r.At(10, 50), kWhite);  // not closed
  EXPECT_EQ(r.At(50, 50), kWhite);
}

// Two separate lines at y = 20 and y = 60.
void CheckTwoLines(const Rendering& r) {
  EXPECT_EQ(r.At(50, 20), kBlack);
  EXPECT_EQ(r.At(50, 60), kBlack);
  EXPECT_EQ(NotWhite(r, 0, 25, 100, 55), 0);  // nothing joins them
}

// A closed triangle outline (10, 10), (90, 10), (90, 90).
void CheckTriangleOutline(const Rendering& r) {
  EXPECT_EQ(r.At(50, 10), kBlack);
  EXPECT_EQ(r.At(90, 50), kBlack);
  EXPECT_GT(Count(r, 48, 48, 53, 53, kBlack), 0);  // the closing diagonal
  EXPECT_EQ(r.At(70, 30), kWhite);                 // outline only
  EXPECT_EQ(r.At(10, 50), kWhite);
}

// The upper-right quarter of the circle in (10, 10, 90, 90), from (90, 50) to (50, 10).
void CheckQuarterArc(const Rendering& r) {
  EXPECT_GT(Count(r, 75, 19, 82, 26, kBlack), 0);
  EXPECT_EQ(NotWhite(r, 15, 60, 45, 90), 0);  // the lower-left quarter is not drawn
  EXPECT_EQ(r.At(70, 30), kWhite);            // nor the inside
}

const RecordCase kCases[] = {
    {"EMR_POLYBEZIER",
     [](EmfBuilder& b) {
       b.Add(EMR_POLYBEZIER, {0, 0, 0, 0, 4, 10, 80, 10, 10, 90, 10, 90, 80});
     },
     CheckArch},
    {"EMR_POLYBEZIER16",
     [](EmfBuilder& b) {
       b.Add(EMR_POLYBEZIER16, {0, 0, 0, 0, 4, P16(10, 80), P16(10, 10), P16(90, 10), P16(90, 80)});
     },
     CheckArch},
    {"EMR_POLYBEZIERTO",
     [](EmfBuilder& b) {
       b.Add(EMR_MOVETOEX, {10, 80})
           .Add(EMR_POLYBEZIERTO, {0, 0, 0, 0, 3, 10, 10, 90, 10, 90, 80})
           .Add(EMR_LINETO, {90, 95});
     },
     CheckArchAndCurrentPosition},
    {"EMR_POLYBEZIERTO16",
     [](EmfBuilder& b) {
       b.Add(EMR_MOVETOEX, {10, 80})
           .Add(EMR_POLYBEZIERTO16, {0, 0, 0, 0, 3, P16(10, 10), P16(90, 10), P16(90, 80)})
           .Add(EMR_LINETO, {90, 95});
     },
     CheckArchAndCurrentPosition},
    {"EMR_POLYLINETO",
     [](EmfBuilder& b) {
       b.Add(EMR_MOVETOEX, {10, 10})
           .Add(EMR_POLYLINETO, {0, 0, 0, 0, 2, 90, 10, 90, 90})
           .Add(EMR_LINETO, {10, 90});
     },
     CheckOpenSquare},
    {"EMR_POLYLINETO16",
     [](EmfBuilder& b) {
       b.Add(EMR_MOVETOEX, {10, 10})
           .Add(EMR_POLYLINETO16, {0, 0, 0, 0, 2, P16(90, 10), P16(90, 90)})
           .Add(EMR_LINETO, {10, 90});
     },
     CheckOpenSquare},
    {"EMR_POLYGON16",
     [](EmfBuilder& b) {
       BlueFill(b).Add(EMR_POLYGON16, {0, 0, 0, 0, 3, P16(10, 10), P16(90, 10), P16(10, 90)});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(30, 30), kBlue);
       EXPECT_EQ(r.At(70, 20), kBlue);
       EXPECT_EQ(r.At(70, 70), kWhite);
     }},
    {"EMR_POLYPOLYLINE",
     [](EmfBuilder& b) {
       b.Add(EMR_POLYPOLYLINE, {0, 0, 0, 0, 2, 4, 2, 2, 10, 20, 90, 20, 10, 60, 90, 60});
     },
     CheckTwoLines},
    {"EMR_POLYPOLYLINE16",
     [](EmfBuilder& b) {
       b.Add(EMR_POLYPOLYLINE16,
             {0, 0, 0, 0, 2, 4, 2, 2, P16(10, 20), P16(90, 20), P16(10, 60), P16(90, 60)});
     },
     CheckTwoLines},
    {"EMR_POLYPOLYGON16",
     [](EmfBuilder& b) {
       BlueFill(b).Add(EMR_POLYPOLYGON16,
                       {0, 0, 0, 0, 2, 8, 4, 4, P16(10, 10), P16(40, 10), P16(40, 40), P16(10, 40),
                        P16(60, 60), P16(90, 60), P16(90, 90), P16(60, 90)});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(25, 25), kBlue);
       EXPECT_EQ(r.At(75, 75), kBlue);
       EXPECT_EQ(r.At(50, 50), kWhite);
       EXPECT_EQ(r.At(75, 25), kWhite);
     }},
    {"EMR_POLYDRAW",
     [](EmfBuilder& b) {
       b.AddRaw(EMR_POLYDRAW, FieldsAnd({0, 0, 0, 0, 3, 10, 10, 90, 10, 90, 90},
                                        {PT_MOVETO, PT_LINETO, PT_LINETO | PT_CLOSEFIGURE}));
     },
     CheckTriangleOutline},
    {"EMR_POLYDRAW16",
     [](EmfBuilder& b) {
       b.AddRaw(EMR_POLYDRAW16, FieldsAnd({0, 0, 0, 0, 3, P16(10, 10), P16(90, 10), P16(90, 90)},
                                          {PT_MOVETO, PT_LINETO, PT_LINETO | PT_CLOSEFIGURE}));
     },
     CheckTriangleOutline},
    {"EMR_SETPIXELV",
     [](EmfBuilder& b) {
       b.Add(EMR_SETPIXELV, {20, 30, kRedRef});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(20, 30), kRed);
       EXPECT_EQ(Count(r, 0, 0, 100, 100, kWhite), 100 * 100 - 1);
     }},
    {"EMR_ARC",
     [](EmfBuilder& b) {
       b.Add(EMR_ARC, {10, 10, 90, 90, 90, 50, 50, 10});
     },
     CheckQuarterArc},
    {"EMR_ARCTO",
     [](EmfBuilder& b) {
       // A line from the current position to the arc's start, the arc, then a line on
       // from where it ends.
       b.Add(EMR_MOVETOEX, {10, 50})
           .Add(EMR_ARCTO, {10, 10, 90, 90, 90, 50, 50, 10})
           .Add(EMR_LINETO, {50, 0});
     },
     [](const Rendering& r) {
       EXPECT_GT(Count(r, 75, 19, 82, 26, kBlack), 0);
       EXPECT_EQ(r.At(30, 50), kBlack);
       EXPECT_EQ(r.At(50, 5), kBlack);
       EXPECT_EQ(NotWhite(r, 15, 60, 45, 90), 0);
     }},
    {"EMR_CHORD",
     [](EmfBuilder& b) {
       BlueFill(b).Add(EMR_CHORD, {10, 10, 90, 90, 90, 50, 50, 10});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(75, 25), kBlue);   // between the arc and the chord
       EXPECT_EQ(r.At(60, 40), kWhite);  // on the centre's side of the chord
       EXPECT_EQ(r.At(30, 70), kWhite);
     }},
    {"EMR_ANGLEARC",
     [](EmfBuilder& b) {
       // From (10, 50) to the arc of radius 30 round (50, 50), 0 to 90 degrees
       // counter-clockwise, then on from its end (50, 20).
       b.Add(EMR_MOVETOEX, {10, 50})
           .Add(EMR_ANGLEARC, {50, 50, 30, 0, 0x42B40000})
           .Add(EMR_LINETO, {50, 5});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(40, 50), kBlack);
       EXPECT_GT(Count(r, 68, 26, 75, 33, kBlack), 0);
       EXPECT_EQ(r.At(50, 12), kBlack);
       EXPECT_EQ(NotWhite(r, 0, 55, 100, 100), 0);  // the arc runs upwards
     }},
};

INSTANTIATE_TEST_SUITE_P(Figures, MetafileRecord, testing::ValuesIn(kCases), RecordCaseName);

}  // namespace
}  // namespace pxtest
