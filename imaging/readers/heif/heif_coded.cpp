// The picture sizes a HEIF file's coded data declares. libde265 and dav1d allocate each
// picture at the size of its sequence parameters, not at the size the item's ispe claims,
// so a few hundred bytes can ask them for hundreds of megabytes; the reader reads those
// sizes itself and judges them before anything is decoded.
#include <algorithm>
#include <vector>

#include "readers/heif/heif_boxes.h"
#include "readers/heif/heif_header.h"

namespace pxheif {

namespace {

// Reads bits most significant first; a read past the end fails every later read.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : p_(data), size_(size) {}
  bool ok() const { return ok_; }

  uint64_t Bits(int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) {
      if (bit_ >= size_ * 8) {
        ok_ = false;
        return 0;
      }
      v = (v << 1) | ((p_[bit_ / 8] >> (7 - bit_ % 8)) & 1);
      ++bit_;
    }
    return v;
  }
  // Exp-Golomb, as HEVC codes its parameters; more than 32 leading zeros fails.
  uint64_t Ue() {
    int zeros = 0;
    while (ok_ && Bits(1) == 0)
      if (++zeros > 32) ok_ = false;
    return ok_ ? (uint64_t(1) << zeros) - 1 + Bits(zeros) : 0;
  }
  // AV1's variable-length code.
  uint64_t Uvlc() {
    int zeros = 0;
    while (ok_ && Bits(1) == 0)
      if (++zeros >= 32) ok_ = false;
    return ok_ ? (uint64_t(1) << zeros) - 1 + Bits(zeros) : 0;
  }

 private:
  const uint8_t* p_;
  size_t size_;
  size_t bit_ = 0;
  bool ok_ = true;
};

struct Picture {
  uint64_t width = 0;
  uint64_t height = 0;
};

// The larger of two pictures by pixels.
void KeepLarger(const Picture& p, Picture* largest, bool* found) {
  if (p.width * p.height >= largest->width * largest->height) *largest = p;
  *found = true;
}

/* ---- HEVC --------------------------------------------------------------------------- */

// The bytes of a NAL unit's payload without its emulation prevention bytes (00 00 03),
// as far as the sizes of a sequence parameter set reach.
std::vector<uint8_t> Unescaped(const uint8_t* nal, size_t size) {
  std::vector<uint8_t> rbsp;
  const size_t keep = std::min<size_t>(size, 512);
  for (size_t i = 0, zeros = 0; i < keep; ++i) {
    if (zeros >= 2 && nal[i] == 3) {
      zeros = 0;
      continue;
    }
    zeros = nal[i] == 0 ? zeros + 1 : 0;
    rbsp.push_back(nal[i]);
  }
  return rbsp;
}

// pic_width_in_luma_samples and pic_height_in_luma_samples of a sequence parameter set
// NAL unit (type 33, with its two-byte header).
bool HEVCPicture(const uint8_t* nal, size_t size, Picture* picture) {
  if (size < 3 || ((nal[0] >> 1) & 0x3F) != 33) return false;
  const std::vector<uint8_t> rbsp = Unescaped(nal + 2, size - 2);
  BitReader r(rbsp.data(), rbsp.size());
  r.Bits(4);  // video parameter set id
  const int subLayers = int(r.Bits(3));
  r.Bits(1);
  // profile_tier_level: the general profile (88 bits) and level, then the sub-layers'.
  r.Bits(88 + 8);
  bool profile[8] = {}, level[8] = {};
  for (int i = 0; i < subLayers; ++i) {
    profile[i] = r.Bits(1) != 0;
    level[i] = r.Bits(1) != 0;
  }
  if (subLayers > 0) r.Bits(2 * (8 - subLayers));
  for (int i = 0; i < subLayers; ++i) r.Bits((profile[i] ? 88 : 0) + (level[i] ? 8 : 0));
  r.Ue();                      // sequence parameter set id
  if (r.Ue() == 3) r.Bits(1);  // chroma 4:4:4: separate colour planes
  picture->width = r.Ue();
  picture->height = r.Ue();
  return r.ok();
}

// hvcC: 22 bytes of configuration, then arrays of NAL units, each with a 16-bit length.
void HEVCConfigPictures(const Box& hvcC, Picture* largest, bool* found) {
  FieldReader r(hvcC.payload, hvcC.size);
  r.Skip(22);
  const uint32_t arrays = r.Read(1);
  for (uint32_t a = 0; a < arrays && r.ok(); ++a) {
    r.Read(1);  // completeness and NAL unit type
    const uint32_t units = r.Read(2);
    for (uint32_t u = 0; u < units && r.ok(); ++u) {
      const uint32_t length = r.Read(2);
      const uint8_t* nal = r.Skip(length);
      Picture p;
      if (nal && HEVCPicture(nal, length, &p)) KeepLarger(p, largest, found);
    }
  }
}

// An item's coded data: NAL units each after a four-byte length (libheif's decoder takes
// them so), where parameter sets may come again.
void HEVCDataPictures(const Span& data, Picture* largest, bool* found) {
  FieldReader r(data.data, data.size);
  while (r.ok()) {
    const uint32_t length = r.Read(4);
    const uint8_t* nal = r.Skip(length);
    Picture p;
    if (nal && HEVCPicture(nal, length, &p)) KeepLarger(p, largest, found);
  }
}

/* ---- AV1 ---------------------------------------------------------------------------- */

// max_frame_width_minus_1 and max_frame_height_minus_1 of a sequence header OBU's
// payload: every frame of the sequence is at most that large.
bool AV1Picture(const uint8_t* payload, size_t size, Picture* picture) {
  BitReader r(payload, size);
  r.Bits(3);  // profile
  r.Bits(1);  // still picture
  if (r.Bits(1)) {
    r.Bits(5);  // reduced still picture header: one level
  } else {
    const bool timing = r.Bits(1) != 0;
    bool decoderModel = false;
    int delayBits = 0;
    if (timing) {
      r.Bits(64);               // display tick and time scale
      if (r.Bits(1)) r.Uvlc();  // equal picture interval
      decoderModel = r.Bits(1) != 0;
      if (decoderModel) {
        delayBits = int(r.Bits(5)) + 1;
        r.Bits(32 + 5 + 5);
      }
    }
    const bool displayDelay = r.Bits(1) != 0;
    const int points = int(r.Bits(5)) + 1;
    for (int i = 0; i < points && r.ok(); ++i) {
      r.Bits(12);  // operating point idc
      if (r.Bits(5) > 7) r.Bits(1);
      if (decoderModel && r.Bits(1)) r.Bits(2 * delayBits + 1);
      if (displayDelay && r.Bits(1)) r.Bits(4);
    }
  }
  const int widthBits = int(r.Bits(4)) + 1;
  const int heightBits = int(r.Bits(4)) + 1;
  picture->width = r.Bits(widthBits) + 1;
  picture->height = r.Bits(heightBits) + 1;
  return r.ok();
}

// A run of OBUs (av1C's configuration OBUs, or an item's data): each with its header,
// an optional extension byte and, when it says so, its size as LEB128.
void AV1Pictures(const uint8_t* data, size_t size, Picture* largest, bool* found) {
  FieldReader r(data, size);
  while (r.ok() && r.left() > 0) {
    const uint32_t header = r.Read(1);
    if (header & 4) r.Read(1);  // extension
    uint64_t length = r.left();
    if (header & 2) {
      length = 0;
      for (int i = 0, more = 1; more && i < 8 && r.ok(); ++i) {
        const uint32_t byte = r.Read(1);
        length |= uint64_t(byte & 0x7F) << (7 * i);
        more = byte & 0x80;
      }
    }
    if (!r.ok() || length > r.left()) return;
    const uint8_t* payload = r.Skip(size_t(length));
    Picture p;
    if (((header >> 3) & 15) == 1 && AV1Picture(payload, size_t(length), &p))
      KeepLarger(p, largest, found);
  }
}

}  // namespace

bool LargestCodedPicture(const uint8_t* file, size_t size, uint64_t* width, uint64_t* height) {
  *width = *height = 0;
  MetaBoxes m;
  if (!FindMeta(file, size, &m)) return false;
  Picture largest;
  bool found = false;
  if (m.hasIpco) {
    BoxWalker walker(m.ipco.payload, m.ipco.size);
    for (Box b; walker.Next(&b);) {
      if (IsBrand(b.type, "hvcC")) HEVCConfigPictures(b, &largest, &found);
      // av1C: four bytes of configuration, then the configuration OBUs.
      if (IsBrand(b.type, "av1C") && b.size > 4)
        AV1Pictures(b.payload + 4, b.size - 4, &largest, &found);
    }
  }
  const std::vector<std::pair<uint32_t, uint32_t>> types = ItemTypes(m.iinf);
  auto typeOf = [&](uint32_t item) {
    for (const auto& [id, type] : types)
      if (id == item) return type;
    return uint32_t(0);
  };
  ForEachExtent(file, size, m.iloc, m.hasIdat ? &m.idat : nullptr,
                [&](uint32_t item, uint32_t, const Span& data) {
                  if (!data.data) return true;
                  const uint32_t type = typeOf(item);
                  if (type == FourCC("hvc1")) HEVCDataPictures(data, &largest, &found);
                  if (type == FourCC("av01")) AV1Pictures(data.data, data.size, &largest, &found);
                  return true;
                });
  *width = largest.width;
  *height = largest.height;
  return found;
}

}  // namespace pxheif
