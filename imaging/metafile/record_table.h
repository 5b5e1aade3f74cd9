// A table from record kind to the function that handles it: the player's for enhanced
// records, the converter's for Windows-metafile ones. Each subject file lists its kinds;
// a kind no list names is passed over, as the records nobody draws with are.
#ifndef PIXOLITH_METAFILE_RECORD_TABLE_H
#define PIXOLITH_METAFILE_RECORD_TABLE_H

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace pxmf {

template <class Handler>
struct RecordEntry {
  uint32_t kind;
  Handler handler;
};

template <class Handler>
class RecordTable {
 public:
  using Entry = RecordEntry<Handler>;

  RecordTable(std::initializer_list<std::span<const Entry>> lists) {
    for (std::span<const Entry> list : lists)
      entries_.insert(entries_.end(), list.begin(), list.end());
    std::stable_sort(entries_.begin(), entries_.end(), Before);
  }

  // The handler of `kind`, or null.
  Handler Find(uint32_t kind) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), Entry{kind, nullptr}, Before);
    return it != entries_.end() && it->kind == kind ? it->handler : nullptr;
  }

 private:
  static bool Before(const Entry& a, const Entry& b) { return a.kind < b.kind; }

  std::vector<Entry> entries_;
};

}  // namespace pxmf

#endif  // PIXOLITH_METAFILE_RECORD_TABLE_H
