#include "name_order.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <functional>
#include <numeric>

namespace {

char Fold(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Byte-wise comparison with A-Z folded to lower case: <0, 0, >0.
int CompareNoCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(Fold(a[i]));
    unsigned char y = static_cast<unsigned char>(Fold(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void SplitFolder(const std::string& path, std::string* folder, std::string* name) {
  size_t slash = path.find_last_of('/');
  *folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

struct AlnumParts {
  std::string prefix;     // base text before its first digit
  std::string extension;  // file name text after its last dot
  uint64_t number = 0;    // digits ending the base
};

AlnumParts SplitAlnum(const std::string& path) {
  AlnumParts parts;
  size_t dot = path.rfind('.');
  std::string base = dot == std::string::npos ? std::string() : path.substr(0, dot);
  std::string folder, name;
  SplitFolder(path, &folder, &name);
  size_t nameDot = name.rfind('.');
  parts.extension = nameDot == std::string::npos ? std::string() : name.substr(nameDot + 1);
  size_t firstDigit = base.find_first_of("0123456789");
  parts.prefix = firstDigit == std::string::npos ? base : base.substr(0, firstDigit);
  size_t end = base.size(), start = end;
  while (start > 0 && base[start - 1] >= '0' && base[start - 1] <= '9') --start;
  for (size_t i = start; i < end; ++i) parts.number = parts.number * 10 + uint64_t(base[i] - '0');
  return parts;
}

time_t ModificationTime(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::time(nullptr);
  return st.st_mtime;
}

}  // namespace

bool AlphabeticalLess(const std::string& a, const std::string& b) {
  std::string folderA, nameA, folderB, nameB;
  SplitFolder(a, &folderA, &nameA);
  SplitFolder(b, &folderB, &nameB);
  if (int c = CompareNoCase(folderA, folderB)) return c < 0;
  return CompareNoCase(nameA, nameB) < 0;
}

bool AlphaNumericLess(const std::string& a, const std::string& b) {
  AlnumParts pa = SplitAlnum(a), pb = SplitAlnum(b);
  if (CompareNoCase(pa.prefix, pb.prefix) != 0) return CompareNoCase(a, b) < 0;
  if (int c = CompareNoCase(pa.extension, pb.extension)) return c < 0;
  // Equal numbers (img007 and img7) are equivalent: the stable sort keeps their
  // delivered order. Calling the first of two equal paths "smaller" in whichever order
  // they are compared would not be an ordering at all, and sorting with it is undefined.
  return pa.number < pb.number;
}

bool DateLess(const std::string& a, const std::string& b) {
  return ModificationTime(a) < ModificationTime(b);
}

std::vector<size_t> SortedPositions(const std::vector<std::string>& names, int style) {
  std::vector<size_t> order(names.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::function<bool(size_t, size_t)> less;
  std::vector<time_t> times;
  switch (style) {
    case kSortAlphabetical:
    case kSortAlphabeticalReverse:
      less = [&names](size_t x, size_t y) { return AlphabeticalLess(names[x], names[y]); };
      break;
    case kSortAlphaNumeric:
    case kSortAlphaNumericReverse:
      less = [&names](size_t x, size_t y) { return AlphaNumericLess(names[x], names[y]); };
      break;
    case kSortDate:
    case kSortDateReverse:
      // One status call per file, not one per comparison.
      for (const std::string& name : names) times.push_back(ModificationTime(name));
      less = [&times](size_t x, size_t y) { return times[x] < times[y]; };
      break;
    default:
      std::reverse(order.begin(), order.end());
      return order;
  }
  if (style % 2 == 0)
    std::stable_sort(order.begin(), order.end(),
                     [&less](size_t x, size_t y) { return less(y, x); });
  else
    std::stable_sort(order.begin(), order.end(), less);
  return order;
}

std::vector<std::string> SortForAdding(const std::vector<std::string>& names, int style) {
  std::vector<std::string> sorted;
  for (size_t position : SortedPositions(names, style)) sorted.push_back(names[position]);
  return sorted;
}
