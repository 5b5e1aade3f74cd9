// HEIF brands, the orientation of an item and the checks of a read.
#include "readers/heif/heif_header.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_heif.h"
#include "pixolith/px_orientation.h"
#include "readers/alpha.h"
#include "readers/claimed_size.h"

namespace pxheif {

namespace {

// HEVC and AV1 can code a flat picture in almost nothing (whole blocks skipped), so no
// bound of pixels per byte is strict; this one is far beyond any photograph and keeps a
// few hundred bytes from making the decoders take a gigabyte.
constexpr uint64_t kMaxPixelsPerByte = uint64_t(1) << 16;

bool IsBrand(const uint8_t* p, const char* brand) {
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

/* ---- Orientation as a turn after an optional mirror ------------------------------------- */

// An element of the eight orientations: first mirror left to right (when `mirror`), then
// turn by `turns` quarter turns clockwise.
struct Placement {
  int turns = 0;
  bool mirror = false;
};

// `first` and then `then`: a mirror after a turn is the mirror before the opposite turn.
Placement Then(Placement first, Placement then) {
  const int turns = then.mirror ? -first.turns : first.turns;
  return {((turns + then.turns) % 4 + 4) % 4, first.mirror != then.mirror};
}

int OrientationOf(Placement p) {
  static constexpr int kPlain[4] = {PX_ORIENTATION_TOP_LEFT, PX_ORIENTATION_RIGHT_TOP,
                                    PX_ORIENTATION_BOTTOM_RIGHT, PX_ORIENTATION_LEFT_BOTTOM};
  static constexpr int kMirrored[4] = {PX_ORIENTATION_TOP_RIGHT, PX_ORIENTATION_RIGHT_BOTTOM,
                                       PX_ORIENTATION_BOTTOM_LEFT, PX_ORIENTATION_LEFT_TOP};
  return p.mirror ? kMirrored[p.turns] : kPlain[p.turns];
}

// irot: the low two bits turn by that many quarter turns anticlockwise.
Placement Rotation(const Box& irot) {
  return {(4 - (irot.payload[0] & 3)) % 4, false};
}

// imir: the low bit picks the axis; libheif mirrors left to right for 1 and top to
// bottom for 0, and it is what decodes the pixels.
Placement Mirror(const Box& imir) {
  return (imir.payload[0] & 1) ? Placement{0, true} : Placement{2, true};
}

// The properties in ipco, in order: their 1-based index is what ipma refers to.
std::vector<Box> Properties(const Box& ipco) {
  std::vector<Box> properties;
  BoxWalker walker(ipco.payload, ipco.size);
  for (Box b; walker.Next(&b);) properties.push_back(b);
  return properties;
}

// The property indices ipma associates with `item`, in order; empty when ipma is damaged.
std::vector<uint32_t> Associations(const Box& ipma, uint32_t item) {
  FieldReader r(ipma.payload, ipma.size);
  const uint32_t version = r.Read(1);
  const uint32_t flags = r.Read(3);
  const uint32_t entries = r.Read(4);
  std::vector<uint32_t> found;
  for (uint32_t e = 0; e < entries && r.ok(); ++e) {
    const uint32_t id = r.Read(version < 1 ? 2 : 4);
    const uint32_t count = r.Read(1);
    for (uint32_t a = 0; a < count && r.ok(); ++a) {
      // The top bit marks an essential property; the rest is the index.
      const uint32_t index = (flags & 1) ? (r.Read(2) & 0x7FFF) : (r.Read(1) & 0x7F);
      if (id == item) found.push_back(index);
    }
  }
  if (!r.ok()) found.clear();
  return found;
}

/* ---- Canvases of derived images ------------------------------------------------------- */

// The items of iinf whose type is grid or iovl: they are composed on a canvas their own
// data declares.
std::vector<std::pair<uint32_t, bool>> DerivedItems(const Box& iinf) {
  std::vector<std::pair<uint32_t, bool>> items;  // id, overlay
  if (iinf.size < 4) return items;
  const size_t countBytes = iinf.payload[0] == 0 ? 2 : 4;
  if (iinf.size < 4 + countBytes) return items;
  BoxWalker walker(iinf.payload + 4 + countBytes, iinf.size - 4 - countBytes);
  for (Box infe; walker.Find("infe", &infe);) {
    FieldReader r(infe.payload, infe.size);
    const uint32_t version = r.Read(1);
    r.Read(3);
    if (version < 2) continue;  // older entries have no item type
    const uint32_t id = r.Read(version == 2 ? 2 : 4);
    r.Read(2);  // protection index
    const uint32_t type = r.Read(4);
    if (!r.ok()) continue;
    if (type == px::BE32(reinterpret_cast<const uint8_t*>("grid"))) items.push_back({id, false});
    if (type == px::BE32(reinterpret_cast<const uint8_t*>("iovl"))) items.push_back({id, true});
  }
  return items;
}

// Where iloc puts the first bytes of an item: in the file, or in idat (construction
// method 1). Null when it cannot be found within the file.
struct Span {
  const uint8_t* data = nullptr;
  size_t size = 0;
};
Span ItemData(const uint8_t* file, size_t size, const Box& iloc, const Box* idat, uint32_t item) {
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
      if (id != item || e != 0 || !r.ok()) continue;
      const uint8_t* from = method == 1 ? (idat ? idat->payload : nullptr) : file;
      const size_t within = method == 1 ? (idat ? idat->size : 0) : size;
      if (!from || (method != 0 && method != 1) || offset > within) return {};
      return {from + offset, size_t(std::min<uint64_t>(length, within - offset))};
    }
  }
  return {};
}

// The canvas a grid (version, flags, rows, columns, width, height) or an overlay
// (version, flags, fill colour, width, height) declares.
bool ReadCanvas(const Span& data, bool overlay, uint64_t* width, uint64_t* height) {
  FieldReader r(data.data, data.size);
  r.Read(1);
  const size_t field = (r.Read(1) & 1) ? 4 : 2;
  r.Read64(overlay ? 8 : 2);
  *width = r.Read(field);
  *height = r.Read(field);
  return r.ok();
}

}  // namespace

bool LargestCanvas(const uint8_t* file, size_t size, uint64_t* width, uint64_t* height) {
  *width = *height = 0;
  Box meta, iinf, iloc, idat;
  if (!BoxWalker(file, size).Find("meta", &meta) || meta.size < 4) return false;
  const uint8_t* children = meta.payload + 4;
  const size_t bytes = meta.size - 4;
  if (!BoxWalker(children, bytes).Find("iinf", &iinf) ||
      !BoxWalker(children, bytes).Find("iloc", &iloc))
    return false;
  const bool hasIdat = BoxWalker(children, bytes).Find("idat", &idat);
  bool found = false;
  for (const auto& [id, overlay] : DerivedItems(iinf)) {
    uint64_t w = 0, h = 0;
    if (!ReadCanvas(ItemData(file, size, iloc, hasIdat ? &idat : nullptr, id), overlay, &w, &h))
      continue;
    if (w * h > *width * *height) *width = w, *height = h;
    found = true;
  }
  return found;
}

bool ReadFileType(const uint8_t* head, size_t size, FileType* type) {
  if (size < 16 || !IsBrand(head + 4, "ftyp")) return false;
  const uint32_t boxSize = px::BE32(head);
  if (boxSize < 16) return false;
  *type = FileType();
  std::memcpy(type->major, head + 8, 4);
  const size_t end = std::min<size_t>(boxSize, size);
  // The major brand, then the compatible brands after the minor version.
  for (size_t at = 8; at + 4 <= end; at = at == 8 ? 16 : at + 4) {
    const uint8_t* b = head + at;
    if (IsBrand(b, "heic") || IsBrand(b, "heix") || IsBrand(b, "mif1") || IsBrand(b, "avif"))
      type->image = true;
    if (IsBrand(b, "msf1") || IsBrand(b, "avis")) type->image = type->sequence = true;
  }
  return true;
}

bool HasTopLevelBox(const uint8_t* file, size_t size, const char* type) {
  Box box;
  return BoxWalker(file, size).Find(type, &box);
}

int ItemOrientation(const uint8_t* file, size_t size, uint32_t item) {
  Box meta, iprp, ipco, ipma;
  if (!BoxWalker(file, size).Find("meta", &meta) || meta.size < 4) return PX_ORIENTATION_TOP_LEFT;
  // meta is a full box: version and flags come before its children.
  if (!BoxWalker(meta.payload + 4, meta.size - 4).Find("iprp", &iprp))
    return PX_ORIENTATION_TOP_LEFT;
  if (!BoxWalker(iprp.payload, iprp.size).Find("ipco", &ipco) ||
      !BoxWalker(iprp.payload, iprp.size).Find("ipma", &ipma))
    return PX_ORIENTATION_TOP_LEFT;
  const std::vector<Box> properties = Properties(ipco);
  Placement placement;
  for (uint32_t index : Associations(ipma, item)) {
    if (index == 0 || index > properties.size()) continue;
    const Box& p = properties[index - 1];
    if (p.size < 1) continue;
    if (IsBrand(p.type, "irot")) placement = Then(placement, Rotation(p));
    if (IsBrand(p.type, "imir")) placement = Then(placement, Mirror(p));
  }
  return OrientationOf(placement);
}

uint32_t FileBits(const Header& h) {
  return px::TrueColourBits(h.alpha);
}

int OutputDepth(const Header& h, int depth, DWORD flags) {
  return px::TrueColourOutputDepth(h.alpha, depth, (flags & PX_HEIF_DIB) != 0);
}

int CheckHeader(const Header& h, int depth, DWORD flags, uint64_t fileBytes) {
  depth = OutputDepth(h, depth, flags);
  if (depth != 8 && depth != 24 && depth != 32) return PX_ERR_PARAMETER;
  if (h.width <= 0 || h.height <= 0) return PX_ERR_BAD_HEIF;
  if (h.width > kMaxDimension || h.height > kMaxDimension) return PX_ERR_NO_MEMORY;
  if (h.canvasWidth > uint64_t(kMaxDimension) || h.canvasHeight > uint64_t(kMaxDimension))
    return PX_ERR_NO_MEMORY;
  size_t bytes;
  if (!px::BlockSize(size_t(h.height), size_t(h.width) * uint32_t(depth / 8), 0, &bytes))
    return PX_ERR_NO_MEMORY;
  // libheif decodes into planes of its own, four bytes a pixel at the most, besides the
  // output.
  const uint64_t pixels =
      std::max(uint64_t(h.width) * uint64_t(h.height), h.canvasWidth * h.canvasHeight);
  if (!px::ClaimIsPlausible(pixels * 4, pixels, fileBytes, kMaxPixelsPerByte))
    return PX_ERR_NO_MEMORY;
  return PX_OK;
}

}  // namespace pxheif
