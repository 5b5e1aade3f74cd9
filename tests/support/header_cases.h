// Tables of header checks: each row a header, the read it is checked for, how far reading
// has got, and the code the check must give.
#ifndef PAGEWEAVER_TESTS_HEADER_CASES_H
#define PAGEWEAVER_TESTS_HEADER_CASES_H

#include <gtest/gtest.h>

#include <cstdint>

namespace pxtest {

template <class Header, class Output, class Stage>
struct HeaderCase {
  const char* what;
  Header header;
  Output output;
  uint32_t depth;  // the output depth, for reads that have one
  Stage stage;
  int expected;
};

// Runs check(header, output, depth, stage) for every row and compares its code.
template <class Case, size_t N, class Check>
void ExpectHeaderCases(const Case (&cases)[N], Check check) {
  for (const Case& c : cases)
    EXPECT_EQ(check(c.header, c.output, c.depth, c.stage), c.expected) << c.what;
}

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_HEADER_CASES_H
