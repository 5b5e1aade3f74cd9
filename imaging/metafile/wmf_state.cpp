// State and clipping records of the Windows-metafile converter.
#include "metafile/wmf_converter.h"

namespace pxmf {

std::span<const Converter::Record> Converter::StateRecords() {
  static constexpr Record kRecords[] = {
      {META_SAVEDC, &Converter::SaveDC},
      {META_RESTOREDC, &Converter::RestoreDC},
      {META_SETMAPMODE, &Converter::SetMapMode},
      {META_SETBKMODE, &Converter::Word<EMR_SETBKMODE>},
      {META_SETROP2, &Converter::Word<EMR_SETROP2>},
      {META_SETPOLYFILLMODE, &Converter::Word<EMR_SETPOLYFILLMODE>},
      {META_SETSTRETCHBLTMODE, &Converter::Word<EMR_SETSTRETCHBLTMODE>},
      {META_SETTEXTALIGN, &Converter::Word<EMR_SETTEXTALIGN>},
      {META_SETBKCOLOR, &Converter::Color<EMR_SETBKCOLOR>},
      {META_SETTEXTCOLOR, &Converter::Color<EMR_SETTEXTCOLOR>},
      {META_SETWINDOWORG, &Converter::SetWindowOrg},
      {META_OFFSETWINDOWORG, &Converter::OffsetWindowOrg},
      {META_SETWINDOWEXT, &Converter::WindowReversed<EMR_SETWINDOWEXTEX, 2>},
      {META_SCALEWINDOWEXT, &Converter::WindowReversed<EMR_SCALEWINDOWEXTEX, 4>},
      {META_EXCLUDECLIPRECT, &Converter::Reversed<EMR_EXCLUDECLIPRECT, 4>},
      {META_INTERSECTCLIPRECT, &Converter::Reversed<EMR_INTERSECTCLIPRECT, 4>},
      {META_OFFSETCLIPRGN, &Converter::Reversed<EMR_OFFSETCLIPRGN, 2>},
      {META_SELECTCLIPREGION, &Converter::SelectClipRegion},
  };
  return kRecords;
}

void Converter::SaveDC(const Params&) {
  saved_.push_back({orgX_, orgY_});
  w_.Emit(EMR_SAVEDC, {});
}

void Converter::RestoreDC(const Params& p) {
  if (p.words() < 1) return;
  if (p.I(0) < 0 && size_t(-p.I(0)) <= saved_.size()) {
    size_t level = saved_.size() - size_t(-p.I(0));
    orgX_ = saved_[level].first;
    orgY_ = saved_[level].second;
    saved_.resize(level);
  }
  w_.Emit(EMR_RESTOREDC, {p.I(0)});
}

void Converter::SetMapMode(const Params& p) {
  // The picture owns the mapping; only the choice of keeping the aspect passes.
  if (p.words() >= 1 && (p.U(0) == MM_ISOTROPIC || p.U(0) == MM_ANISOTROPIC))
    w_.Emit(EMR_SETMAPMODE, {p.U(0)});
}

void Converter::SetWindowOrg(const Params& p) {
  if (p.words() < 2 || replacesWindow_) return;
  orgX_ = p.I(1);
  orgY_ = p.I(0);
  w_.Emit(EMR_SETWINDOWORGEX, {orgX_, orgY_});
}

void Converter::OffsetWindowOrg(const Params& p) {
  if (p.words() < 2 || replacesWindow_) return;
  orgX_ += p.I(1);
  orgY_ += p.I(0);
  w_.Emit(EMR_SETWINDOWORGEX, {orgX_, orgY_});
}

void Converter::SelectClipRegion(const Params& p) {
  if (p.words() >= 1) ClipToRegion(p.U(0));
}

template <uint32_t kType>
void Converter::Word(const Params& p) {
  if (p.words() >= 1) w_.Emit(kType, {p.U(0)});
}

template <uint32_t kType>
void Converter::Color(const Params& p) {
  if (p.words() >= 2) w_.Emit(kType, {p.U32(0)});
}

template <uint32_t kType, size_t kWords>
void Converter::WindowReversed(const Params& p) {
  if (!replacesWindow_) Reversed<kType, kWords>(p);
}

void Converter::ClipToRegion(size_t region) {
  w_.Emit(EMR_EXTSELECTCLIPRGN, {0, RGN_COPY});
  if (SlotKind(region) != Slot::kRegion || regions_[region].empty()) return;
  Box b;
  for (const auto& r : regions_[region]) {
    b.Add(r[0], r[1]);
    b.Add(r[2], r[3]);
  }
  w_.Emit(EMR_INTERSECTCLIPRECT, {int64_t(b.x0), int64_t(b.y0), int64_t(b.x1), int64_t(b.y1)});
}

}  // namespace pxmf
