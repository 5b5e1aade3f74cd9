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
#include "readers/heif/heif_boxes.h"

namespace pxheif {

namespace {

// HEVC and AV1 can code a flat picture in almost nothing (whole blocks skipped), so no
// bound of pixels per byte is strict; this one is far beyond any photograph and keeps a
// few hundred bytes from making the decoders take a gigabyte.
constexpr uint64_t kMaxPixelsPerByte = uint64_t(1) << 16;

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
  for (const auto& [id, type] : ItemTypes(iinf)) {
    if (type == FourCC("grid")) items.push_back({id, false});
    if (type == FourCC("iovl")) items.push_back({id, true});
  }
  return items;
}

// Where iloc puts the first bytes of an item; empty when it cannot be found within the file.
Span ItemData(const uint8_t* file, size_t size, const Box& iloc, const Box* idat, uint32_t item) {
  Span found;
  ForEachExtent(file, size, iloc, idat, [&](uint32_t id, uint32_t extent, const Span& data) {
    if (id != item || extent != 0) return true;
    found = data;
    return false;
  });
  return found;
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
  MetaBoxes m;
  if (!FindMeta(file, size, &m)) return false;
  bool found = false;
  for (const auto& [id, overlay] : DerivedItems(m.iinf)) {
    uint64_t w = 0, h = 0;
    if (!ReadCanvas(ItemData(file, size, m.iloc, m.hasIdat ? &m.idat : nullptr, id), overlay, &w,
                    &h))
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
  for (uint64_t side : {h.canvasWidth, h.canvasHeight, h.codedWidth, h.codedHeight})
    if (side > uint64_t(kMaxDimension)) return PX_ERR_NO_MEMORY;
  size_t bytes;
  if (!px::BlockSize(size_t(h.height), size_t(h.width) * uint32_t(depth / 8), 0, &bytes))
    return PX_ERR_NO_MEMORY;
  // libheif decodes into planes of its own, four bytes a pixel at the most, besides the
  // output.
  const uint64_t pixels = std::max({uint64_t(h.width) * uint64_t(h.height),
                                    h.canvasWidth * h.canvasHeight, h.codedWidth * h.codedHeight});
  if (!px::ClaimIsPlausible(pixels * 4, pixels, fileBytes, kMaxPixelsPerByte))
    return PX_ERR_NO_MEMORY;
  return PX_OK;
}

}  // namespace pxheif
