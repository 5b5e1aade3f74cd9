// Table-driven tests of metafile record kinds: each case builds a small enhanced
// metafile around one record kind and checks the pixels it leaves on a 100 x 100
// picture. The subject files (figures_test.cpp, paths_test.cpp, ...) list the cases.
#ifndef PAGEWEAVER_TESTS_METAFILE_RECORD_CASES_H
#define PAGEWEAVER_TESTS_METAFILE_RECORD_CASES_H

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "metafile/records.h"
#include "metafile_builder.h"

namespace pxtest {

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000, kGreen = 0x00FF00,
                   kBlue = 0x0000FF, kYellow = 0xFFFF00;
// The same colours as COLORREF values (red in the low byte).
constexpr int64_t kRedRef = 0x0000FF, kGreenRef = 0x00FF00, kBlueRef = 0xFF0000;
constexpr int64_t kStock = 0x80000000;
constexpr int64_t kFloat1 = 0x3F800000;  // 1.0f

struct RecordCase {
  const char* kind;  // the record kind under test; names the test
  void (*build)(EmfBuilder& b);
  void (*check)(const Rendering& r);
};

inline void PrintTo(const RecordCase& c, std::ostream* os) {
  *os << c.kind;
}

class MetafileRecord : public testing::TestWithParam<RecordCase> {};

inline std::string RecordCaseName(const testing::TestParamInfo<RecordCase>& info) {
  return info.param.kind;
}

// Pixels of the colour in the box from (x0, y0) up to but not including (x1, y1).
inline int Count(const Rendering& r, int x0, int y0, int x1, int y1, uint32_t rgb) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += r.At(uint32_t(x), uint32_t(y)) == rgb;
  return n;
}

inline int NotWhite(const Rendering& r, int x0, int y0, int x1, int y1) {
  return (x1 - x0) * (y1 - y0) - Count(r, x0, y0, x1, y1, kWhite);
}

// A 16-bit point as the 16-bit records store it, in one 32-bit field.
inline int64_t P16(int x, int y) {
  return (int64_t(uint16_t(y)) << 16) | uint16_t(x);
}

// The 2 x 2 bitmap red, green over blue, yellow.
inline Dib FourColours() {
  return Dib24(2, 2, {kRed, kGreen, kBlue, kYellow});
}

// FourColours() drawn with its top left at (x, y), `cell` pixels a bitmap pixel; with
// `alone`, nothing is drawn diagonally beyond it.
inline void ExpectFourColours(const Rendering& r, int x, int y, int cell, bool alone = true) {
  const int h = cell / 2;
  EXPECT_EQ(r.At(x + h, y + h), kRed);
  EXPECT_EQ(r.At(x + cell + h, y + h), kGreen);
  EXPECT_EQ(r.At(x + h, y + cell + h), kBlue);
  EXPECT_EQ(r.At(x + cell + h, y + cell + h), kYellow);
  if (alone) {
    EXPECT_EQ(r.At(x + 2 * cell + h, y + 2 * cell + h), kWhite);
  }
}

// Selects a new solid blue brush (object 1) and, unless `pen`, the null pen.
inline EmfBuilder& BlueFill(EmfBuilder& b, bool pen = false) {
  b.Add(pxmf::EMR_CREATEBRUSHINDIRECT, {1, pxmf::BS_SOLID, kBlueRef, 0})
      .Add(pxmf::EMR_SELECTOBJECT, {1});
  if (!pen) b.Add(pxmf::EMR_SELECTOBJECT, {kStock | pxmf::NULL_PEN});
  return b;
}

// The bytes of 32-bit fields followed by raw bytes, for records with a tail.
inline std::vector<uint8_t> FieldsAnd(std::initializer_list<int64_t> fields,
                                      std::initializer_list<uint8_t> tail) {
  std::vector<uint8_t> v = Fields(fields);
  v.insert(v.end(), tail.begin(), tail.end());
  return v;
}

// A pattern brush record: ihBrush, usage, the DIB's offsets and sizes, the DIB.
inline std::vector<uint8_t> PatternBrush(const Dib& dib) {
  std::vector<uint8_t> body = Fields({1, 0, 32, int64_t(dib.info.size()),
                                      int64_t(32 + dib.info.size()), int64_t(dib.bits.size())});
  body.insert(body.end(), dib.info.begin(), dib.info.end());
  body.insert(body.end(), dib.bits.begin(), dib.bits.end());
  return body;
}

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_METAFILE_RECORD_CASES_H
