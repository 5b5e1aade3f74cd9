// Text records: ANSI and wide text, several strings in one record, and the small form.
#include "record_cases.h"

namespace pxtest {
namespace {

using namespace pxmf;

// A 30-pixel font, red text on a transparent background.
EmfBuilder& RedText(EmfBuilder& b) {
  std::vector<uint8_t> font = Fields({1, -30, 0, 0, 0, 700, 0, 0});
  font.resize(4 + 92, 0);
  return b.AddRaw(EMR_EXTCREATEFONTINDIRECTW, font)
      .Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_SETTEXTCOLOR, {kRedRef})
      .Add(EMR_SETBKMODE, {TRANSPARENT_BK});
}

// An EMRTEXT at `at` bytes into the record: reference point, characters, their offset,
// options, no rectangle, no advances.
std::vector<int64_t> EmrText(int x, int y, int chars, int64_t offString) {
  return {x, y, chars, offString, 0, 0, 0, 0, 0, 0};
}

// Red text drawn somewhere in the box, and only red.
void CheckRedIn(const Rendering& r, int x0, int y0, int x1, int y1) {
  EXPECT_GT(Count(r, x0, y0, x1, y1, kRed), 20);
  EXPECT_EQ(NotWhite(r, x0, y0, x1, y1), Count(r, x0, y0, x1, y1, kRed));
}

// "HI" with its top left at (10, 10).
void CheckHi(const Rendering& r) {
  CheckRedIn(r, 8, 8, 62, 46);
  EXPECT_EQ(NotWhite(r, 0, 0, 100, 100), Count(r, 8, 8, 62, 46, kRed));
}

// "H" at (10, 5) and at (10, 55).
void CheckTwoStrings(const Rendering& r) {
  CheckRedIn(r, 8, 3, 40, 45);
  CheckRedIn(r, 8, 53, 40, 95);
  EXPECT_EQ(NotWhite(r, 0, 0, 100, 100),
            Count(r, 8, 3, 40, 45, kRed) + Count(r, 8, 53, 40, 95, kRed));
}

// Bounds, graphics mode, scales, a count of strings, two EMRTEXTs and their characters:
// "H" in 4 bytes, which read the same as one byte or one UTF-16 unit and padding.
std::vector<uint8_t> PolyText() {
  size_t first = 8 + 32 + 80, second = first + 4;
  std::vector<int64_t> fields = {0, 0, 0, 0, GM_COMPATIBLE, 0, 0, 2};
  for (auto [y, at] : {std::pair{5, first}, {55, second}}) {
    std::vector<int64_t> text = EmrText(10, y, 1, int64_t(at));
    fields.insert(fields.end(), text.begin(), text.end());
  }
  std::vector<uint8_t> body;
  for (int64_t f : fields)
    for (int i = 0; i < 4; ++i) body.push_back(uint8_t(uint32_t(f) >> (8 * i)));
  for (int k = 0; k < 2; ++k) {
    body.push_back('H');
    body.resize(body.size() + 3, 0);
  }
  return body;
}

const RecordCase kCases[] = {
    {"EMR_EXTTEXTOUTA",
     [](EmfBuilder& b) {
       RedText(b).AddRaw(EMR_EXTTEXTOUTA, FieldsAnd({0, 0, 0, 0, GM_COMPATIBLE, 0, 0, 10, 10, 2, 76,
                                                     0, 0, 0, 0, 0, 0},
                                                    {'H', 'I'}));
     },
     CheckHi},
    {"EMR_POLYTEXTOUTA", [](EmfBuilder& b) { RedText(b).AddRaw(EMR_POLYTEXTOUTA, PolyText()); },
     CheckTwoStrings},
    {"EMR_POLYTEXTOUTW", [](EmfBuilder& b) { RedText(b).AddRaw(EMR_POLYTEXTOUTW, PolyText()); },
     CheckTwoStrings},
    {"EMR_SMALLTEXTOUT",
     [](EmfBuilder& b) {
       // Reference point, 2 characters of one byte each without a rectangle, graphics
       // mode, scales, the characters.
       RedText(b).AddRaw(
           EMR_SMALLTEXTOUT,
           FieldsAnd({10, 10, 2, ETO_NO_RECT | ETO_SMALL_CHARS, GM_COMPATIBLE, 0, 0}, {'H', 'I'}));
     },
     CheckHi},
};

INSTANTIATE_TEST_SUITE_P(Text, MetafileRecord, testing::ValuesIn(kCases), RecordCaseName);

}  // namespace
}  // namespace pxtest
