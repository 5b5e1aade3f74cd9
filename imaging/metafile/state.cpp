// State records of playback: saved states, the mapping (mode, window, viewport, world
// transform) and the modes text and figures are drawn with.
#include <algorithm>
#include <cmath>

#include "metafile/player.h"

namespace pxmf {

namespace {

// Saved states a metafile may ask for; a file that asks for more gets no more, rather
// than exhausting memory.
constexpr size_t kMaxSavedStates = 4096;

cairo_matrix_t ReadXform(const ByteView& r, size_t at) {
  cairo_matrix_t m;
  Cairo().cairo_matrix_init(&m, r.F32(at), r.F32(at + 4), r.F32(at + 8), r.F32(at + 12),
                            r.F32(at + 16), r.F32(at + 20));
  return m;
}

bool Finite(const cairo_matrix_t& m) {
  return std::isfinite(m.xx) && std::isfinite(m.yx) && std::isfinite(m.xy) && std::isfinite(m.yy) &&
         std::isfinite(m.x0) && std::isfinite(m.y0);
}

}  // namespace

std::span<const Player::Record> Player::StateRecords() {
  static constexpr Record kRecords[] = {
      {EMR_SAVEDC, &Player::PlaySaveDC},
      {EMR_RESTOREDC, &Player::PlayRestoreDC},
      {EMR_SETMAPMODE, &Player::PlaySetMapMode},
      {EMR_SETWINDOWEXTEX, &Player::PlaySetExtent<&DCState::wExtX, &DCState::wExtY>},
      {EMR_SETVIEWPORTEXTEX, &Player::PlaySetExtent<&DCState::vExtX, &DCState::vExtY>},
      {EMR_SCALEWINDOWEXTEX, &Player::PlayScaleExtent<&DCState::wExtX, &DCState::wExtY>},
      {EMR_SCALEVIEWPORTEXTEX, &Player::PlayScaleExtent<&DCState::vExtX, &DCState::vExtY>},
      {EMR_SETWINDOWORGEX, &Player::PlaySetOrigin<&DCState::wOrgX, &DCState::wOrgY>},
      {EMR_SETVIEWPORTORGEX, &Player::PlaySetOrigin<&DCState::vOrgX, &DCState::vOrgY>},
      {EMR_SETBRUSHORGEX, &Player::PlaySetBrushOrgEx},
      {EMR_SETWORLDTRANSFORM, &Player::PlaySetWorldTransform},
      {EMR_MODIFYWORLDTRANSFORM, &Player::PlayModifyWorldTransform},
      {EMR_SETBKMODE, &Player::PlaySetValue<&DCState::bkMode>},
      {EMR_SETPOLYFILLMODE, &Player::PlaySetValue<&DCState::fillMode>},
      {EMR_SETSTRETCHBLTMODE, &Player::PlaySetValue<&DCState::stretchMode>},
      {EMR_SETTEXTALIGN, &Player::PlaySetValue<&DCState::textAlign>},
      {EMR_SETTEXTCOLOR, &Player::PlaySetValue<&DCState::textColor>},
      {EMR_SETBKCOLOR, &Player::PlaySetValue<&DCState::bkColor>},
      {EMR_SETARCDIRECTION, &Player::PlaySetValue<&DCState::arcDirection>},
      {EMR_SETROP2, &Player::PlaySetROP2},
      {EMR_SETMITERLIMIT, &Player::PlaySetMiterLimit},
  };
  return kRecords;
}

void Player::PlaySaveDC(const ByteView&) {
  if (saved_.size() < kMaxSavedStates) saved_.push_back(dc_);
}

void Player::PlayRestoreDC(const ByteView& r) {
  int32_t relative = r.I32(8);
  // Negative: that many levels back; positive: an absolute level counted from 1.
  int64_t level = relative < 0 ? int64_t(saved_.size()) + relative : int64_t(relative) - 1;
  if (level < 0 || level >= int64_t(saved_.size())) return;
  dc_ = saved_[size_t(level)];
  saved_.resize(size_t(level));
  clipDirty_ = true;
}

void Player::PlaySetMapMode(const ByteView& r) {
  uint32_t mode = r.U32(8);
  if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
  // Leaving the scalable modes resets the extents; entering them keeps the current ones.
  if (mode != MM_ISOTROPIC && mode != MM_ANISOTROPIC) {
    dc_.wExtX = dc_.wExtY = dc_.vExtX = dc_.vExtY = 1;
  } else if (dc_.mapMode != MM_ISOTROPIC && dc_.mapMode != MM_ANISOTROPIC) {
    // The extents a fixed mode had in effect become the starting ones.
    cairo_matrix_t page = PageMatrix();
    dc_.wExtX = dc_.wExtY = 1;
    dc_.vExtX = page.xx;
    dc_.vExtY = page.yy;
  }
  dc_.mapMode = mode;
}

void Player::ModifyWorld(const cairo_matrix_t& m, uint32_t mode) {
  if (!Finite(m)) return;
  cairo_matrix_t result;
  switch (mode) {
    case MWT_IDENTITY:
      Cairo().cairo_matrix_init_identity(&dc_.world);
      return;
    case MWT_LEFTMULTIPLY:
      Cairo().cairo_matrix_multiply(&result, &m, &dc_.world);
      break;
    case MWT_RIGHTMULTIPLY:
      Cairo().cairo_matrix_multiply(&result, &dc_.world, &m);
      break;
    case MWT_SET:
      result = m;
      break;
    default:
      return;
  }
  dc_.world = result;
}

bool Player::Scalable() const {
  return dc_.mapMode == MM_ISOTROPIC || dc_.mapMode == MM_ANISOTROPIC;
}

// Window and viewport extents count only in the scalable mapping modes.
template <double DCState::*kX, double DCState::*kY>
void Player::PlaySetExtent(const ByteView& r) {
  if (r.I32(8) && r.I32(12) && Scalable()) {
    dc_.*kX = r.I32(8);
    dc_.*kY = r.I32(12);
  }
}

template <double DCState::*kX, double DCState::*kY>
void Player::PlayScaleExtent(const ByteView& r) {
  // xNum, xDenom, yNum, yDenom.
  if (!Scalable()) return;
  if (!r.I32(12) || !r.I32(20) || !r.I32(8) || !r.I32(16)) return;
  dc_.*kX *= double(r.I32(8)) / r.I32(12);
  dc_.*kY *= double(r.I32(16)) / r.I32(20);
}

template <double DCState::*kX, double DCState::*kY>
void Player::PlaySetOrigin(const ByteView& r) {
  dc_.*kX = r.I32(8);
  dc_.*kY = r.I32(12);
}

void Player::PlaySetBrushOrgEx(const ByteView& r) {
  dc_.brushOrg = {double(r.I32(8)), double(r.I32(12))};
}

void Player::PlaySetWorldTransform(const ByteView& r) {
  ModifyWorld(ReadXform(r, 8), MWT_SET);
}

void Player::PlayModifyWorldTransform(const ByteView& r) {
  ModifyWorld(ReadXform(r, 8), r.U32(32));
}

// The modes a record sets as it stands.
template <uint32_t DCState::*kField>
void Player::PlaySetValue(const ByteView& r) {
  dc_.*kField = r.U32(8);
}

void Player::PlaySetROP2(const ByteView& r) {
  if (r.U32(8) >= 1 && r.U32(8) <= 16) dc_.rop2 = r.U32(8);
}

void Player::PlaySetMiterLimit(const ByteView& r) {
  double limit = r.U32(8);
  // Some writers store the limit as a float.
  if (limit > 1e6) limit = r.F32(8);
  if (std::isfinite(limit) && limit >= 1 && limit < 1e6) dc_.miterLimit = limit;
}

}  // namespace pxmf
