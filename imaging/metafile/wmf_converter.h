// The Windows-metafile converter's internals: the writer of enhanced records, the view
// of a record's 16-bit parameters, and the converter, whose record handlers are listed
// by subject in wmf_state.cpp, wmf_objects.cpp and wmf_drawing.cpp.
#ifndef PIXOLITH_METAFILE_WMF_CONVERTER_H
#define PIXOLITH_METAFILE_WMF_CONVERTER_H

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <utility>
#include <vector>

#include "metafile/record_table.h"
#include "metafile/records.h"
#include "platform/metafile.h"

namespace pxmf {

class EmfWriter {
 public:
  void Begin(uint32_t type) {
    start_ = out_.size();
    U32(type);
    U32(0);
  }
  void End() {
    while (out_.size() % 4) out_.push_back(0);
    Patch32(start_ + 4, uint32_t(out_.size() - start_));
    ++records_;
  }
  void Emit(uint32_t type, std::initializer_list<int64_t> values) {
    Begin(type);
    for (int64_t v : values) U32(uint32_t(v));
    End();
  }
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    U8(uint8_t(v));
    U8(uint8_t(v >> 8));
  }
  void U32(uint32_t v) {
    U16(uint16_t(v));
    U16(uint16_t(v >> 16));
  }
  void F32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    U32(v);
  }
  void Zero(size_t n) { out_.insert(out_.end(), n, 0); }
  void Raw(const ByteView& v) { out_.insert(out_.end(), v.data(), v.data() + v.size()); }
  void Patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out_[at + i] = uint8_t(v >> (8 * i));
  }
  void Patch16(size_t at, uint16_t v) {
    out_[at] = uint8_t(v);
    out_[at + 1] = uint8_t(v >> 8);
  }
  size_t size() const { return out_.size(); }
  uint32_t records() const { return records_; }
  std::vector<uint8_t>& bytes() { return out_; }

 private:
  std::vector<uint8_t> out_;
  size_t start_ = 0;
  uint32_t records_ = 0;
};

// Parameters of a Windows-metafile record, addressed in 16-bit words. Coordinates and
// sizes come last-first: a rectangle is bottom, right, top, left.
struct Params {
  ByteView v;
  size_t words() const { return v.size() / 2; }
  int16_t I(size_t i) const { return v.I16(2 * i); }
  uint16_t U(size_t i) const { return v.U16(2 * i); }
  uint32_t U32(size_t i) const { return v.U32(2 * i); }
};

struct Box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool any = false;
  void Add(double x, double y) {
    if (!any) {
      x0 = x1 = x;
      y0 = y1 = y;
      any = true;
      return;
    }
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x);
    y1 = std::max(y1, y);
  }
};

// The size of a packed DIB's header and colour table, or 0 when it does not fit.
size_t DibInfoSize(const ByteView& dib, bool paletteIndices);

class Converter {
 public:
  Converter(const ByteView& bits, const METAFILEPICT* picture);
  bool Run(std::vector<uint8_t>* out);

 private:
  enum class Slot { kFree, kObject, kRegion };

  // One record's handler: it writes the record's enhanced equivalent, if any.
  using Handler = void (Converter::*)(const Params& p);
  using Record = RecordEntry<Handler>;
  static Handler HandlerFor(uint16_t function);
  static std::span<const Record> StateRecords();
  static std::span<const Record> ObjectRecords();
  static std::span<const Record> DrawingRecords();

  // ---- the picture (wmf_convert.cpp)
  void Prescan();
  void Choose(double x, double y, double w, double h, bool replaces);
  void WriteHeader();

  // ---- state and clipping (wmf_state.cpp)
  void SaveDC(const Params& p);
  void RestoreDC(const Params& p);
  void SetMapMode(const Params& p);
  void SetWindowOrg(const Params& p);
  void OffsetWindowOrg(const Params& p);
  void SelectClipRegion(const Params& p);
  // A record whose one word is the enhanced record's one field.
  template <uint32_t kType>
  void Word(const Params& p);
  // A record whose first two words are the enhanced record's colour.
  template <uint32_t kType>
  void Color(const Params& p);
  // A record whose `kWords` words are the enhanced record's fields, last first.
  template <uint32_t kType, size_t kWords>
  void Reversed(const Params& p);
  // The same for the window records, which pass only while the metafile's own window
  // holds.
  template <uint32_t kType, size_t kWords>
  void WindowReversed(const Params& p);
  void ClipToRegion(size_t region);

  // ---- objects and regions (wmf_objects.cpp)
  void CreatePenIndirect(const Params& p);
  void CreateBrushIndirect(const Params& p);
  void CreateFontIndirect(const Params& p);
  void CreatePalette(const Params& p);
  void DibCreatePatternBrush(const Params& p);
  void CreatePatternBrush(const Params& p);
  void CreateRegion(const Params& p);
  void SelectObject(const Params& p);
  void SelectPalette(const Params& p);
  void DeleteObject(const Params& p);
  void FillRegion(const Params& p);
  void PaintRegion(const Params& p);
  // Objects take the lowest free slot, as the Windows-metafile object table does.
  int NewSlot(Slot kind);
  Slot SlotKind(size_t index) const;
  void NullBrush(int slot);
  void ReadRegion(const Params& p, std::vector<std::array<int16_t, 4>>* rects);
  void PaintRegionWith(size_t region, int brushIndex);

  // ---- figures, text and bitmaps (wmf_drawing.cpp)
  void SetPixel(const Params& p);
  template <uint32_t kType>
  void Poly(const Params& p);
  void PolyPolygon(const Params& p);
  void TextOut(const Params& p);
  void ExtTextOut(const Params& p);
  void PatBlt(const Params& p);
  void DibBitBlt(const Params& p);
  void DibStretchBlt(const Params& p);
  void StretchDib(const Params& p);
  void SetDibToDev(const Params& p);
  void Points(uint32_t type, const Params& p, size_t countAt, size_t count);
  void Text(int32_t x, int32_t y, uint32_t options, const int16_t* rect, const ByteView& chars,
            const Params* dx, size_t dxAt);
  void Dib(const ByteView& dib, uint32_t usage, uint32_t rop, int32_t xDest, int32_t yDest,
           int32_t cxDest, int32_t cyDest, int32_t xSrc, int32_t ySrc, int32_t cxSrc, int32_t cySrc,
           bool fromTop);
  void EmitPatBlt(uint32_t rop, int32_t x, int32_t y, int32_t w, int32_t h);

  ByteView bits_;
  EmfWriter w_;
  int64_t extX_ = 0, extY_ = 0;
  bool windowChosen_ = false, replacesWindow_ = false;
  double windowX_ = 0, windowY_ = 0, windowW_ = 0, windowH_ = 0;
  int64_t orgX_ = 0, orgY_ = 0;
  std::vector<std::pair<int64_t, int64_t>> saved_;
  std::vector<Slot> slots_;
  std::vector<std::vector<std::array<int16_t, 4>>> regions_;
};

template <uint32_t kType, size_t kWords>
void Converter::Reversed(const Params& p) {
  if (p.words() < kWords) return;
  w_.Begin(kType);
  for (size_t i = kWords; i-- > 0;) w_.U32(uint32_t(int32_t(p.I(i))));
  w_.End();
}

}  // namespace pxmf

#endif  // PIXOLITH_METAFILE_WMF_CONVERTER_H
