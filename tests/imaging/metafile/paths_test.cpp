// Path records: a path recorded between EMR_BEGINPATH and EMR_ENDPATH, then abandoned,
// stroked, filled, flattened, widened or made the clip.
#include "record_cases.h"

namespace pxtest {
namespace {

using namespace pxmf;

// Records the rectangle (10, 10, 60, 60) as a path.
EmfBuilder& SquarePath(EmfBuilder& b) {
  return b.Add(EMR_BEGINPATH, {}).Add(EMR_RECTANGLE, {10, 10, 60, 60}).Add(EMR_ENDPATH, {});
}

const RecordCase kCases[] = {
    {"EMR_ABORTPATH",
     [](EmfBuilder& b) {
       BlueFill(b)
           .Add(EMR_BEGINPATH, {})
           .Add(EMR_RECTANGLE, {10, 10, 60, 60})
           .Add(EMR_ABORTPATH, {})
           .Add(EMR_FILLPATH, {0, 0, 0, 0})
           .Add(EMR_RECTANGLE, {70, 70, 90, 90});  // drawn at once: no path is open
     },
     [](const Rendering& r) {
       EXPECT_EQ(NotWhite(r, 0, 0, 65, 65), 0);
       EXPECT_EQ(r.At(80, 80), kBlue);
     }},
    {"EMR_STROKEPATH",
     [](EmfBuilder& b) {
       SquarePath(BlueFill(b, true)).Add(EMR_STROKEPATH, {0, 0, 0, 0});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(10, 30), kBlack);
       EXPECT_EQ(r.At(30, 10), kBlack);
       EXPECT_EQ(r.At(30, 30), kWhite);  // stroked, not filled
     }},
    {"EMR_STROKEANDFILLPATH",
     [](EmfBuilder& b) {
       SquarePath(BlueFill(b, true)).Add(EMR_STROKEANDFILLPATH, {0, 0, 0, 0});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(10, 30), kBlack);
       EXPECT_EQ(r.At(30, 30), kBlue);
       EXPECT_EQ(r.At(70, 30), kWhite);
     }},
    {"EMR_FLATTENPATH",
     [](EmfBuilder& b) {
       BlueFill(b)
           .Add(EMR_BEGINPATH, {})
           .Add(EMR_ELLIPSE, {10, 10, 90, 90})
           .Add(EMR_ENDPATH, {})
           .Add(EMR_FLATTENPATH, {})
           .Add(EMR_FILLPATH, {0, 0, 0, 0});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(50, 50), kBlue);
       EXPECT_EQ(r.At(50, 12), kBlue);
       EXPECT_EQ(r.At(14, 14), kWhite);  // the curve stays a circle
     }},
    {"EMR_WIDENPATH",
     [](EmfBuilder& b) {
       // A 10-wide pen's outline of a line, filled: the stroke in the brush's colour.
       BlueFill(b, true)
           .Add(EMR_CREATEPEN, {2, PS_SOLID, 10, 0, kRedRef})
           .Add(EMR_SELECTOBJECT, {2})
           .Add(EMR_BEGINPATH, {})
           .Add(EMR_MOVETOEX, {10, 50})
           .Add(EMR_LINETO, {90, 50})
           .Add(EMR_ENDPATH, {})
           .Add(EMR_WIDENPATH, {})
           .Add(EMR_FILLPATH, {0, 0, 0, 0});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(50, 50), kBlue);
       EXPECT_EQ(r.At(50, 47), kBlue);
       EXPECT_EQ(r.At(50, 53), kBlue);
       EXPECT_EQ(r.At(50, 40), kWhite);
       EXPECT_EQ(Count(r, 0, 0, 100, 100, kRed), 0);
     }},
    {"EMR_SELECTCLIPPATH",
     [](EmfBuilder& b) {
       b.Add(EMR_BEGINPATH, {})
           .Add(EMR_RECTANGLE, {20, 20, 50, 50})
           .Add(EMR_ENDPATH, {})
           .Add(EMR_SELECTCLIPPATH, {RGN_COPY});
       BlueFill(b).Add(EMR_RECTANGLE, {0, 0, 100, 100});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(30, 30), kBlue);
       EXPECT_EQ(r.At(15, 30), kWhite);
       EXPECT_EQ(r.At(70, 70), kWhite);
     }},
};

INSTANTIATE_TEST_SUITE_P(Paths, MetafileRecord, testing::ValuesIn(kCases), RecordCaseName);

}  // namespace
}  // namespace pxtest
