// Object and region records of the Windows-metafile converter: pens, brushes, fonts,
// palettes and regions in the metafile's object table, which enhanced records number
// from 1.
#include <algorithm>
#include <cstdlib>

#include "metafile/wmf_converter.h"

namespace pxmf {

namespace {

constexpr uint32_t kMaxSlots = 65535;

}  // namespace

std::span<const Converter::Record> Converter::ObjectRecords() {
  static constexpr Record kRecords[] = {
      {META_CREATEPENINDIRECT, &Converter::CreatePenIndirect},
      {META_CREATEBRUSHINDIRECT, &Converter::CreateBrushIndirect},
      {META_CREATEFONTINDIRECT, &Converter::CreateFontIndirect},
      {META_CREATEPALETTE, &Converter::CreatePalette},
      {META_DIBCREATEPATTERNBRUSH, &Converter::DibCreatePatternBrush},
      {META_CREATEPATTERNBRUSH, &Converter::CreatePatternBrush},
      {META_CREATEREGION, &Converter::CreateRegion},
      {META_SELECTOBJECT, &Converter::SelectObject},
      {META_SELECTPALETTE, &Converter::SelectPalette},
      {META_DELETEOBJECT, &Converter::DeleteObject},
      {META_FILLREGION, &Converter::FillRegion},
      {META_PAINTREGION, &Converter::PaintRegion},
  };
  return kRecords;
}

void Converter::CreatePenIndirect(const Params& p) {
  // Style, width (a point), colour.
  int slot = NewSlot(Slot::kObject);
  if (slot < 0) return;
  if (p.words() < 5) return NullBrush(slot);
  w_.Emit(EMR_CREATEPEN, {slot + 1, p.U(0), std::abs(int(p.I(1))), 0, p.U32(3)});
}

void Converter::CreateBrushIndirect(const Params& p) {
  // Style, colour, hatch.
  int slot = NewSlot(Slot::kObject);
  if (slot < 0) return;
  uint32_t style = p.words() >= 1 ? p.U(0) : BS_NULL;
  if (style != BS_SOLID && style != BS_HATCHED) style = BS_NULL;
  w_.Emit(EMR_CREATEBRUSHINDIRECT, {slot + 1, style, p.U32(1), p.U(3)});
}

void Converter::CreateFontIndirect(const Params& p) {
  // Height, width, escapement, orientation, weight, then bytes: italic, underline,
  // strike-out, charset, four more, and the face name.
  int slot = NewSlot(Slot::kObject);
  if (slot < 0) return;
  w_.Begin(EMR_EXTCREATEFONTINDIRECTW);
  w_.U32(uint32_t(slot + 1));
  for (size_t k = 0; k < 5; ++k) w_.U32(uint32_t(int32_t(p.I(k))));
  for (size_t k = 10; k < 18; ++k) w_.U8(p.v.U8(k));
  bool ended = false;
  for (size_t k = 0; k < 32; ++k) {
    uint8_t c = ended ? 0 : p.v.U8(18 + k);
    if (!c) ended = true;
    w_.U16(c);
  }
  w_.End();
}

void Converter::CreatePalette(const Params& p) {
  // Version, count, entries.
  int slot = NewSlot(Slot::kObject);
  if (slot < 0) return;
  size_t count = p.words() >= 2 ? std::min<size_t>(p.U(1), (p.v.size() - 4) / 4) : 0;
  w_.Begin(EMR_CREATEPALETTE);
  w_.U32(uint32_t(slot + 1));
  w_.U16(0x300);
  w_.U16(uint16_t(count));
  w_.Raw(p.v.Sub(4, 4 * count));
  w_.End();
}

void Converter::DibCreatePatternBrush(const Params& p) {
  // Style, colour usage, then the packed DIB.
  int slot = NewSlot(Slot::kObject);
  if (slot < 0) return;
  uint32_t usage = p.words() >= 2 ? p.U(1) : 0;
  ByteView dib = p.v.size() > 4 ? p.v.Sub(4, p.v.size() - 4) : ByteView();
  size_t info =
      p.words() >= 2 && p.U(0) != BS_PATTERN ? DibInfoSize(dib, usage == DIB_PAL_COLORS) : 0;
  if (!info) return NullBrush(slot);
  size_t infoPadded = (info + 3) & ~size_t(3);
  w_.Begin(EMR_CREATEDIBPATTERNBRUSHPT);
  w_.U32(uint32_t(slot + 1));
  w_.U32(usage);
  w_.U32(32);
  w_.U32(uint32_t(info));
  w_.U32(uint32_t(32 + infoPadded));
  w_.U32(uint32_t(dib.size() - info));
  w_.Raw(dib.Sub(0, info));
  while (w_.size() % 4) w_.U8(0);
  w_.Raw(dib.Sub(info, dib.size() - info));
  w_.End();
}

void Converter::CreatePatternBrush(const Params&) {
  // Old device-dependent bitmaps are not drawn; the slot holds a brush that paints
  // nothing.
  int slot = NewSlot(Slot::kObject);
  if (slot >= 0) NullBrush(slot);
}

void Converter::CreateRegion(const Params& p) {
  int slot = NewSlot(Slot::kRegion);
  if (slot < 0) return;
  regions_[size_t(slot)].clear();
  ReadRegion(p, &regions_[size_t(slot)]);
}

void Converter::SelectObject(const Params& p) {
  if (p.words() < 1) return;
  if (SlotKind(p.U(0)) == Slot::kRegion)
    ClipToRegion(p.U(0));
  else if (SlotKind(p.U(0)) == Slot::kObject)
    w_.Emit(EMR_SELECTOBJECT, {p.U(0) + 1});
}

void Converter::SelectPalette(const Params& p) {
  if (p.words() >= 1 && SlotKind(p.U(0)) == Slot::kObject) w_.Emit(EMR_SELECTPALETTE, {p.U(0) + 1});
}

void Converter::DeleteObject(const Params& p) {
  if (p.words() < 1) return;
  if (SlotKind(p.U(0)) == Slot::kObject) w_.Emit(EMR_DELETEOBJECT, {p.U(0) + 1});
  if (p.U(0) < slots_.size()) {
    slots_[p.U(0)] = Slot::kFree;
    regions_[p.U(0)].clear();
  }
}

void Converter::FillRegion(const Params& p) {
  // Region, brush.
  if (p.words() >= 2 && SlotKind(p.U(1)) == Slot::kObject) PaintRegionWith(p.U(0), p.U(1));
}

void Converter::PaintRegion(const Params& p) {
  if (p.words() >= 1) PaintRegionWith(p.U(0), -1);
}

int Converter::NewSlot(Slot kind) {
  for (size_t i = 0; i < slots_.size(); ++i)
    if (slots_[i] == Slot::kFree) {
      slots_[i] = kind;
      return int(i);
    }
  if (slots_.size() >= kMaxSlots) return -1;
  slots_.push_back(kind);
  regions_.resize(slots_.size());
  return int(slots_.size() - 1);
}

Converter::Slot Converter::SlotKind(size_t index) const {
  return index < slots_.size() ? slots_[index] : Slot::kFree;
}

void Converter::NullBrush(int slot) {
  w_.Emit(EMR_CREATEBRUSHINDIRECT, {slot + 1, BS_NULL, 0, 0});
}

void Converter::ReadRegion(const Params& p, std::vector<std::array<int16_t, 4>>* rects) {
  // Header: next, type, count, size, scan count, max scan, bounding box; then scans of
  // (count, top, bottom, count / 2 pairs of left and right, count).
  size_t n = p.words();
  if (n < 11) return;
  size_t scans = p.U(5), at = 11;
  for (size_t s = 0; s < scans && at + 3 <= n; ++s) {
    size_t count = p.U(at);
    int16_t top = p.I(at + 1), bottom = p.I(at + 2);
    size_t pairs = count / 2;
    if (at + 3 + 2 * pairs + 1 > n) break;
    for (size_t k = 0; k < pairs; ++k)
      rects->push_back({p.I(at + 3 + 2 * k), top, p.I(at + 4 + 2 * k), bottom});
    at += 3 + 2 * pairs + 1;
  }
}

void Converter::PaintRegionWith(size_t region, int brushIndex) {
  if (SlotKind(region) != Slot::kRegion) return;
  w_.Emit(EMR_SAVEDC, {});
  if (brushIndex >= 0) w_.Emit(EMR_SELECTOBJECT, {brushIndex + 1});
  w_.Emit(EMR_SELECTOBJECT, {int64_t(kStockFlag | NULL_PEN)});
  for (const auto& r : regions_[region])  // without a pen a rectangle loses its far edges
    w_.Emit(EMR_RECTANGLE, {r[0], r[1], r[2] + 1, r[3] + 1});
  w_.Emit(EMR_RESTOREDC, {-1});
}

}  // namespace pxmf
