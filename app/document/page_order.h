// New orders of the page list for the ordering commands: each takes the page ids in list
// order and some of them (the selection) and gives the ids in their new order. Selected
// ids that are not in the order are passed over.
#ifndef PAGEWEAVER_DOCUMENT_PAGE_ORDER_H
#define PAGEWEAVER_DOCUMENT_PAGE_ORDER_H

#include <cstdint>
#include <vector>

#include "page_record.h"

using PageOrder = std::vector<int32_t>;

// Each selected page one place up (towards the start), past the page above it; pages
// already at the start, or above which only selected pages stand, stay.
PageOrder MovedUp(const PageOrder& order, const std::vector<int32_t>& selected);
// The same towards the end.
PageOrder MovedDown(const PageOrder& order, const std::vector<int32_t>& selected);
// The selected pages together, in their present order, before the page now at
// `destination` (order.size(): at the end).
PageOrder MovedBefore(const PageOrder& order, const std::vector<int32_t>& selected,
                      size_t destination);
// The selected pages in reverse order in the places they take; every page when fewer
// than two are selected.
PageOrder ReversedSelection(const PageOrder& order, const std::vector<int32_t>& selected);
// The pages sorted by their source paths in one of the file-name orders of the
// preferences (1 to 6); pages that compare equal keep their order. Another style leaves
// the order as it is.
PageOrder SortedByStyle(const std::vector<PageRecord>& pagesInOrder, int style);

#endif  // PAGEWEAVER_DOCUMENT_PAGE_ORDER_H
