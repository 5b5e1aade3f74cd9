// The file-name orders of the SortStyle setting: which of several files added together
// becomes the first page.
#ifndef PAGEWEAVER_DOCUMENT_NAME_ORDER_H
#define PAGEWEAVER_DOCUMENT_NAME_ORDER_H

#include <cstddef>
#include <string>
#include <vector>

#include "document_preferences.h"

// Path comparisons behind the sort orders; each is a strict ordering ("a before b").
bool AlphabeticalLess(const std::string& a, const std::string& b);
bool AlphaNumericLess(const std::string& a, const std::string& b);
bool DateLess(const std::string& a, const std::string& b);

// The order in which the names are added for a sort style: ascending for 1, 3, 5,
// descending for 2, 4, 6, and the reverse of the delivered order for 0 and any other
// value. Names that compare equal keep their delivered order.
std::vector<std::string> SortForAdding(const std::vector<std::string>& names, int style);
// The same as positions into `names`: element k is the position of the name that comes
// k-th.
std::vector<size_t> SortedPositions(const std::vector<std::string>& names, int style);

#endif  // PAGEWEAVER_DOCUMENT_NAME_ORDER_H
