#include "page_order.h"

#include <algorithm>
#include <set>
#include <string>

#include "name_order.h"

namespace {

std::vector<char> SelectedFlags(const PageOrder& order, const std::vector<int32_t>& selected) {
  std::set<int32_t> chosen(selected.begin(), selected.end());
  std::vector<char> flags;
  for (int32_t id : order) flags.push_back(chosen.count(id) != 0 ? 1 : 0);
  return flags;
}

// One pass of neighbour swaps: a selected page changes place with the unselected page
// before it, so that a block of selected pages moves as one and keeps its order.
template <typename PageIt, typename FlagIt>
void SwapPastNeighbours(PageIt first, PageIt last, FlagIt flagsFirst) {
  if (first == last) return;
  auto flag = flagsFirst + 1;
  for (PageIt page = first + 1; page != last; ++page, ++flag) {
    if (*flag && !*(flag - 1)) {
      std::iter_swap(page, page - 1);
      std::iter_swap(flag, flag - 1);
    }
  }
}

}  // namespace

PageOrder MovedUp(const PageOrder& order, const std::vector<int32_t>& selected) {
  PageOrder moved = order;
  std::vector<char> flags = SelectedFlags(order, selected);
  SwapPastNeighbours(moved.begin(), moved.end(), flags.begin());
  return moved;
}

PageOrder MovedDown(const PageOrder& order, const std::vector<int32_t>& selected) {
  PageOrder moved = order;
  std::vector<char> flags = SelectedFlags(order, selected);
  SwapPastNeighbours(moved.rbegin(), moved.rend(), flags.rbegin());
  return moved;
}

PageOrder MovedBefore(const PageOrder& order, const std::vector<int32_t>& selected,
                      size_t destination) {
  std::vector<char> flags = SelectedFlags(order, selected);
  PageOrder before, chosen, after;
  for (size_t k = 0; k < order.size(); ++k)
    (flags[k] ? chosen : k < destination ? before : after).push_back(order[k]);
  before.insert(before.end(), chosen.begin(), chosen.end());
  before.insert(before.end(), after.begin(), after.end());
  return before;
}

PageOrder ReversedSelection(const PageOrder& order, const std::vector<int32_t>& selected) {
  std::vector<char> flags = SelectedFlags(order, selected);
  if (std::count(flags.begin(), flags.end(), 1) < 2) flags.assign(order.size(), 1);
  std::vector<size_t> places;
  for (size_t k = 0; k < order.size(); ++k)
    if (flags[k]) places.push_back(k);
  PageOrder reversed = order;
  for (size_t k = 0; k < places.size(); ++k)
    reversed[places[k]] = order[places[places.size() - 1 - k]];
  return reversed;
}

PageOrder SortedByStyle(const std::vector<PageRecord>& pagesInOrder, int style) {
  PageOrder order;
  for (const PageRecord& page : pagesInOrder) order.push_back(page.pageId);
  if (style < kSortAlphabetical || style > kSortDateReverse) return order;
  std::vector<std::string> paths;
  for (const PageRecord& page : pagesInOrder) paths.push_back(page.sourcePath);
  PageOrder sorted;
  for (size_t position : SortedPositions(paths, style)) sorted.push_back(order[position]);
  return sorted;
}
