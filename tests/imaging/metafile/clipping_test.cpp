// Clipping and region records: excluded and moved clip rectangles, the meta region, and
// regions filled, painted, framed and inverted.
#include "record_cases.h"

namespace pxtest {
namespace {

using namespace pxmf;

// RGNDATA of one rectangle in device units: the header (size, type, count, bytes of
// rectangles, bounds), then the rectangle.
std::vector<uint8_t> Region(int l, int t, int r, int b) {
  return Fields({32, 1, 1, 16, l, t, r, b, l, t, r, b});
}

// A region record: bounds, the region's size, `fields` between, then the region.
std::vector<uint8_t> RegionRecord(std::initializer_list<int64_t> fields,
                                  const std::vector<uint8_t>& region) {
  std::vector<uint8_t> body = Fields({0, 0, 0, 0, int64_t(region.size())});
  std::vector<uint8_t> between = Fields(fields);
  body.insert(body.end(), between.begin(), between.end());
  body.insert(body.end(), region.begin(), region.end());
  return body;
}

const RecordCase kCases[] = {
    {"EMR_EXCLUDECLIPRECT",
     [](EmfBuilder& b) {
       b.Add(EMR_EXCLUDECLIPRECT, {40, 40, 60, 60});
       BlueFill(b).Add(EMR_RECTANGLE, {10, 10, 90, 90});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(50, 50), kWhite);
       EXPECT_EQ(r.At(39, 50), kBlue);
       EXPECT_EQ(r.At(60, 50), kBlue);
       EXPECT_EQ(r.At(20, 20), kBlue);
     }},
    {"EMR_OFFSETCLIPRGN",
     [](EmfBuilder& b) {
       b.Add(EMR_INTERSECTCLIPRECT, {0, 0, 30, 30}).Add(EMR_OFFSETCLIPRGN, {50, 50});
       BlueFill(b).Add(EMR_RECTANGLE, {0, 0, 100, 100});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(60, 60), kBlue);
       EXPECT_EQ(r.At(79, 79), kBlue);
       EXPECT_EQ(r.At(80, 80), kWhite);
       EXPECT_EQ(r.At(20, 20), kWhite);
     }},
    {"EMR_SETMETARGN",
     [](EmfBuilder& b) {
       // The left half becomes the meta region; the clip that follows and even a reset
       // of the clip stay inside it.
       b.Add(EMR_INTERSECTCLIPRECT, {0, 0, 50, 100})
           .Add(EMR_SETMETARGN, {})
           .Add(EMR_INTERSECTCLIPRECT, {0, 0, 100, 50});
       BlueFill(b).Add(EMR_RECTANGLE, {0, 0, 100, 100}).Add(EMR_EXTSELECTCLIPRGN, {0, RGN_COPY});
       b.Add(EMR_CREATEBRUSHINDIRECT, {2, BS_SOLID, kRedRef, 0})
           .Add(EMR_SELECTOBJECT, {2})
           .Add(EMR_RECTANGLE, {0, 60, 100, 100});
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(25, 25), kBlue);
       EXPECT_EQ(r.At(75, 25), kWhite);  // outside the meta region
       EXPECT_EQ(r.At(25, 55), kWhite);  // outside the clip of its time
       EXPECT_EQ(r.At(25, 80), kRed);
       EXPECT_EQ(r.At(75, 80), kWhite);
     }},
    {"EMR_FILLRGN",
     [](EmfBuilder& b) {
       // With brush object 1, which is not selected.
       b.Add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, kBlueRef, 0})
           .AddRaw(EMR_FILLRGN, RegionRecord({1}, Region(10, 10, 40, 40)))
           .AddRaw(EMR_FILLRGN, RegionRecord({kStock | BLACK_BRUSH}, Region(60, 60, 90, 90)));
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(10, 10), kBlue);
       EXPECT_EQ(r.At(39, 39), kBlue);
       EXPECT_EQ(r.At(40, 40), kWhite);
       EXPECT_EQ(r.At(75, 75), kBlack);
     }},
    {"EMR_PAINTRGN",
     [](EmfBuilder& b) {
       BlueFill(b).AddRaw(EMR_PAINTRGN, RegionRecord({}, Region(10, 10, 40, 40)));
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(25, 25), kBlue);
       EXPECT_EQ(r.At(45, 25), kWhite);
     }},
    {"EMR_FRAMERGN",
     [](EmfBuilder& b) {
       // A frame 4 units wide round (20, 20, 80, 80).
       b.Add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, kBlueRef, 0})
           .AddRaw(EMR_FRAMERGN, RegionRecord({1, 4, 4}, Region(20, 20, 80, 80)));
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(20, 50), kBlue);
       EXPECT_EQ(r.At(50, 20), kBlue);
       EXPECT_EQ(r.At(80, 50), kBlue);
       EXPECT_EQ(r.At(50, 50), kWhite);
       EXPECT_EQ(r.At(10, 50), kWhite);
     }},
    {"EMR_INVERTRGN",
     [](EmfBuilder& b) {
       BlueFill(b)
           .Add(EMR_RECTANGLE, {0, 0, 25, 100})
           .AddRaw(EMR_INVERTRGN, RegionRecord({}, Region(10, 10, 40, 40)));
     },
     [](const Rendering& r) {
       EXPECT_EQ(r.At(30, 30), kBlack);  // white inverted
       EXPECT_EQ(r.At(15, 30), kBlue ^ 0xFFFFFFu);
       EXPECT_EQ(r.At(15, 50), kBlue);
       EXPECT_EQ(r.At(60, 60), kWhite);
     }},
};

INSTANTIATE_TEST_SUITE_P(Clipping, MetafileRecord, testing::ValuesIn(kCases), RecordCaseName);

}  // namespace
}  // namespace pxtest
