// The boxes of a HEIF file as the reader walks them on its own, before libheif is asked
// to decode anything: every read is held within the span it walks.
#ifndef PIXOLITH_READERS_HEIF_HEIF_BOXES_H
#define PIXOLITH_READERS_HEIF_HEIF_BOXES_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "core/io.h"

namespace pxheif {

inline bool IsBrand(const uint8_t* p, const char* brand) {
  return std::memcmp(p, brand, 4) == 0;
}

/* ---- Boxes ------------------------------------------------------------------------------ */

// One box inside a span of the file: its type and its payload.
struct Box {
  const uint8_t* type = nullptr;
  const uint8_t* payload = nullptr;
  size_t size = 0;  // of the payload
};

// Walks the boxes of a span one after the other; stops at the end or at the first box
// whose size does not fit the span.
class BoxWalker {
 public:
  BoxWalker(const uint8_t* data, size_t size) : p_(data), left_(size) {}

  bool Next(Box* box) {
    if (left_ < 8) return false;
    uint64_t size = px::BE32(p_);
    size_t header = 8;
    if (size == 1) {
      if (left_ < 16) return false;
      size = (uint64_t(px::BE32(p_ + 8)) << 32) | px::BE32(p_ + 12);
      header = 16;
    } else if (size == 0) {
      size = left_;  // to the end of the span
    }
    if (size < header || size > left_) return false;
    box->type = p_ + 4;
    box->payload = p_ + header;
    box->size = size_t(size) - header;
    p_ += size;
    left_ -= size_t(size);
    return true;
  }

  // The first box of `type` from here on.
  bool Find(const char* type, Box* box) {
    while (Next(box))
      if (IsBrand(box->type, type)) return true;
    return false;
  }

 private:
  const uint8_t* p_;
  size_t left_;
};

// Reads big-endian fields of a payload in order; any read past its end fails them all.
class FieldReader {
 public:
  FieldReader(const uint8_t* data, size_t size) : p_(data), left_(size) {}
  bool ok() const { return ok_; }
  // A field of 0 to 8 bytes.
  uint64_t Read64(size_t bytes) {
    if (!ok_ || bytes > left_ || bytes > 8) {
      ok_ = false;
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v = (v << 8) | p_[i];
    p_ += bytes;
    left_ -= bytes;
    return v;
  }
  // A field of 0 to 4 bytes.
  uint32_t Read(size_t bytes) {
    if (bytes > 4) ok_ = false;
    return uint32_t(Read64(bytes));
  }
  // The next `bytes` bytes, or null (and every later read fails) when fewer are left.
  const uint8_t* Skip(size_t bytes) {
    if (!ok_ || bytes > left_) {
      ok_ = false;
      return nullptr;
    }
    const uint8_t* at = p_;
    p_ += bytes;
    left_ -= bytes;
    return at;
  }
  size_t left() const { return left_; }
  // A field whose size the file gives (iloc's offsets and lengths). libheif reads sizes
  // other than 0, 1, 2, 4 and 8 bytes as 0 and takes no bytes for them; so does this, so
  // that both find the same data.
  uint64_t ReadSized(size_t bytes) {
    const bool read = bytes == 1 || bytes == 2 || bytes == 4 || bytes == 8;
    return read ? Read64(bytes) : 0;
  }

 private:
  const uint8_t* p_;
  size_t left_;
  bool ok_ = true;
};

// The item ids of iinf with their four-character item types, in order; entries older
// than version 2 carry no type and are left out.
inline std::vector<std::pair<uint32_t, uint32_t>> ItemTypes(const Box& iinf) {
  std::vector<std::pair<uint32_t, uint32_t>> items;
  if (iinf.size < 4) return items;
  const size_t countBytes = iinf.payload[0] == 0 ? 2 : 4;
  if (iinf.size < 4 + countBytes) return items;
  BoxWalker walker(iinf.payload + 4 + countBytes, iinf.size - 4 - countBytes);
  for (Box infe; walker.Find("infe", &infe);) {
    FieldReader r(infe.payload, infe.size);
    const uint32_t version = r.Read(1);
    r.Read(3);
    if (version < 2) continue;
    const uint32_t id = r.Read(version == 2 ? 2 : 4);
    r.Read(2);  // protection index
    const uint32_t type = r.Read(4);
    if (r.ok()) items.push_back({id, type});
  }
  return items;
}

inline uint32_t FourCC(const char* type) {
  return px::BE32(reinterpret_cast<const uint8_t*>(type));
}

// The children of the top-level meta box that say where items are and what they are.
struct MetaBoxes {
  Box iinf, iloc, idat, ipco;
  bool hasIdat = false;
  bool hasIpco = false;
};
// False without a meta box holding both iinf and iloc.
inline bool FindMeta(const uint8_t* file, size_t size, MetaBoxes* m) {
  Box meta, iprp;
  if (!BoxWalker(file, size).Find("meta", &meta) || meta.size < 4) return false;
  // meta is a full box: version and flags come before its children.
  const uint8_t* children = meta.payload + 4;
  const size_t bytes = meta.size - 4;
  if (!BoxWalker(children, bytes).Find("iinf", &m->iinf) ||
      !BoxWalker(children, bytes).Find("iloc", &m->iloc))
    return false;
  m->hasIdat = BoxWalker(children, bytes).Find("idat", &m->idat);
  m->hasIpco = BoxWalker(children, bytes).Find("iprp", &iprp) &&
               BoxWalker(iprp.payload, iprp.size).Find("ipco", &m->ipco);
  return true;
}

// Bytes of the file or of idat that an item's extent covers.
struct Span {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// Calls `visit(item, extent, span)` for every extent of every item iloc lists, in order,
// with an empty span where the extent lies outside what it points into (the file, or idat
// for construction method 1); a length of 0 reaches to the end. Stops when `visit`
// returns false or iloc is damaged.
template <typename Visit>
void ForEachExtent(const uint8_t* file, size_t size, const Box& iloc, const Box* idat,
                   Visit visit) {
  FieldReader r(iloc.payload, iloc.size);
  const uint32_t version = r.Read(1);
  r.Read(3);
  const uint32_t sizes = r.Read(1);
  const uint32_t more = r.Read(1);
  const size_t offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = more >> 4;
  const size_t indexSize = version >= 1 ? (more & 15) : 0;
  const uint32_t count = r.Read(version < 2 ? 2 : 4);
  for (uint32_t i = 0; i < count && r.ok(); ++i) {
    const uint32_t id = r.Read(version < 2 ? 2 : 4);
    const uint32_t method = version >= 1 ? (r.Read(2) & 15) : 0;
    r.Read(2);  // data reference index
    const uint64_t base = r.ReadSized(baseSize);
    const uint32_t extents = r.Read(2);
    for (uint32_t e = 0; e < extents && r.ok(); ++e) {
      r.ReadSized(indexSize);
      const uint64_t offset = base + r.ReadSized(offsetSize);
      const uint64_t length = r.ReadSized(lengthSize);
      if (!r.ok()) return;
      const uint8_t* from = method == 1 ? (idat ? idat->payload : nullptr) : file;
      const size_t within = method == 1 ? (idat ? idat->size : 0) : size;
      Span span;
      if (from && (method == 0 || method == 1) && offset <= within) {
        const uint64_t left = within - offset;
        span = {from + offset, size_t(length == 0 ? left : std::min<uint64_t>(length, left))};
      }
      if (!visit(id, e, span)) return;
    }
  }
}

}  // namespace pxheif

#endif  // PIXOLITH_READERS_HEIF_HEIF_BOXES_H
