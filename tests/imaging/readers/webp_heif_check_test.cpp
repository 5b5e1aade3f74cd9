// The WebP and HEIF checks on their own, no file decoded: depths and claimed sizes, the
// brands of a file type box, and the turn and mirror of an item from hand-built boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "pixolith/pixolith.h"
#include "readers/heif/heif_header.h"
#include "readers/webp/webp_header.h"
#include "test_support.h"
#include "webp_heif_fixtures.h"

namespace {

using pxtest::Bytes;

constexpr uint64_t kPlenty = uint64_t(1) << 40;

pxwebp::Header WebP(uint32_t w, uint32_t h, bool alpha = false) {
  pxwebp::Header header;
  header.width = w;
  header.height = h;
  header.alpha = alpha;
  return header;
}

pxheif::Header HEIF(int w, int h, bool alpha = false) {
  return {w, h, alpha};
}

TEST(WebPCheckHeader, DepthsAndSizes) {
  using pxwebp::CheckHeader;
  EXPECT_EQ(CheckHeader(WebP(4, 4), 24, 0, kPlenty), PX_OK);
  EXPECT_EQ(CheckHeader(WebP(4, 4), 32, 0, kPlenty), PX_OK) << "32 bits without alpha: 255";
  EXPECT_EQ(CheckHeader(WebP(4, 4), 8, 0, kPlenty), PX_ERR_BIT_DEPTH);
  EXPECT_EQ(CheckHeader(WebP(4, 4), 16, 0, kPlenty), PX_ERR_PARAMETER);
  EXPECT_EQ(CheckHeader(WebP(4, 4), 8, PX_WEBP_DIB, kPlenty), PX_OK) << "a DIB ignores the depth";
  EXPECT_EQ(pxwebp::OutputDepth(WebP(4, 4, true), 8, PX_WEBP_DIB), 32);
  EXPECT_EQ(pxwebp::OutputDepth(WebP(4, 4), 32, PX_WEBP_DIB), 24);
  EXPECT_EQ(CheckHeader(WebP(0, 4), 24, 0, kPlenty), PX_ERR_BAD_WEBP);
  EXPECT_EQ(CheckHeader(WebP(16384, 4), 24, 0, kPlenty), PX_ERR_BAD_WEBP);
  EXPECT_EQ(CheckHeader(WebP(16383, 16383), 32, 0, kPlenty), PX_OK);
  // Beyond 64 MiB of canvas, the file must hold a byte per 2^16 pixels.
  const uint64_t least = uint64_t(16383) * 16383 >> 16;
  EXPECT_EQ(CheckHeader(WebP(16383, 16383), 24, 0, least), PX_OK);
  EXPECT_EQ(CheckHeader(WebP(16383, 16383), 24, 0, least - 1), PX_ERR_NO_MEMORY);
  EXPECT_EQ(CheckHeader(WebP(4096, 4096), 32, 0, 0), PX_OK) << "64 MiB are always decoded";
}

TEST(HEIFCheckHeader, DepthsAndSizes) {
  using pxheif::CheckHeader;
  EXPECT_EQ(CheckHeader(HEIF(4, 4), 8, 0, kPlenty), PX_OK) << "grey is judged after decoding";
  EXPECT_EQ(CheckHeader(HEIF(4, 4), 24, 0, kPlenty), PX_OK);
  EXPECT_EQ(CheckHeader(HEIF(4, 4), 1, 0, kPlenty), PX_ERR_PARAMETER);
  EXPECT_EQ(pxheif::OutputDepth(HEIF(4, 4, true), 8, PX_HEIF_DIB), 32);
  EXPECT_EQ(CheckHeader(HEIF(0, 4), 24, 0, kPlenty), PX_ERR_BAD_HEIF);
  EXPECT_EQ(CheckHeader(HEIF(4, -1), 24, 0, kPlenty), PX_ERR_BAD_HEIF);
  EXPECT_EQ(CheckHeader(HEIF(32768, 2), 24, 0, kPlenty), PX_OK);
  EXPECT_EQ(CheckHeader(HEIF(32769, 2), 24, 0, kPlenty), PX_ERR_NO_MEMORY);
  EXPECT_EQ(CheckHeader(HEIF(32768, 32768), 32, 0, kPlenty), PX_ERR_NO_MEMORY)
      << "4 GiB is no single block";
  const uint64_t least = uint64_t(20000) * 20000 >> 16;
  EXPECT_EQ(CheckHeader(HEIF(20000, 20000), 8, 0, least), PX_OK);
  EXPECT_EQ(CheckHeader(HEIF(20000, 20000), 8, 0, least - 1), PX_ERR_NO_MEMORY);
}

std::vector<uint8_t> FileType(const std::string& major, const std::vector<std::string>& brands) {
  Bytes b;
  b.be32(16 + 4 * uint32_t(brands.size())).str("ftyp").str(major).be32(0);
  for (const std::string& brand : brands) b.str(brand);
  return b.data();
}

TEST(HEIFFileType, BrandsOfTheBox) {
  pxheif::FileType type;
  auto read = [&](const std::vector<uint8_t>& box) {
    return pxheif::ReadFileType(box.data(), box.size(), &type);
  };
  ASSERT_TRUE(read(FileType("heic", {"mif1", "heic"})));
  EXPECT_STREQ(type.major, "heic");
  EXPECT_TRUE(type.image);
  EXPECT_FALSE(type.sequence);
  ASSERT_TRUE(read(FileType("avis", {"avif", "msf1"})));
  EXPECT_TRUE(type.sequence);
  ASSERT_TRUE(read(FileType("isom", {"mp41"})));
  EXPECT_FALSE(type.image);
  // Brands past the box's own size are not its brands.
  std::vector<uint8_t> beyond = FileType("isom", {});
  Bytes extra;
  extra.str("avif");
  beyond.insert(beyond.end(), extra.data().begin(), extra.data().end());
  ASSERT_TRUE(read(beyond));
  EXPECT_FALSE(type.image);
  EXPECT_FALSE(read(Bytes().be32(12).str("ftypheic").be32(0).data())) << "a box of 12 bytes";
  EXPECT_FALSE(read(Bytes().be32(16).str("moovheic").be32(0).data()));
  EXPECT_FALSE(read(Bytes().be32(16).str("ftyp").data()));
}

/* ---- Turn and mirror -------------------------------------------------------------------- */

Bytes& Box(Bytes& b, const std::string& type, const std::vector<uint8_t>& payload) {
  return b.be32(8 + uint32_t(payload.size())).str(type).raw(payload);
}

std::vector<uint8_t> Payload(const std::function<void(Bytes&)>& fill) {
  Bytes b;
  fill(b);
  return b.data();
}

struct Association {
  uint32_t item;
  std::vector<uint32_t> indices;  // 1-based, top bit of their field marks essential
};

// A file: ftyp, then meta (full box) holding iprp with ipco (the given properties) and
// ipma (version and flags as given), then mdat.
std::vector<uint8_t> File(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& props,
                          const std::vector<Association>& associations, int version = 0,
                          int flags = 0) {
  const auto ipco = Payload([&](Bytes& b) {
    for (const auto& p : props) Box(b, p.first, p.second);
  });
  const auto ipma = Payload([&](Bytes& b) {
    b.u8(uint32_t(version)).u8(0).be16(uint32_t(flags)).be32(uint32_t(associations.size()));
    for (const Association& a : associations) {
      if (version < 1) {
        b.be16(a.item);
      } else {
        b.be32(a.item);
      }
      b.u8(uint32_t(a.indices.size()));
      for (uint32_t index : a.indices) {
        if (flags & 1) {
          b.be16(index | 0x8000);
        } else {
          b.u8(index | 0x80);
        }
      }
    }
  });
  const auto iprp = Payload([&](Bytes& b) {
    Box(b, "ipco", ipco);
    Box(b, "ipma", ipma);
  });
  const auto meta = Payload([&](Bytes& b) {
    b.be32(0);
    Box(b, "hdlr", std::vector<uint8_t>(25, 0));
    Box(b, "iprp", iprp);
  });
  Bytes file;
  file.raw(FileType("heic", {"mif1"}));
  Box(file, "meta", meta);
  Box(file, "mdat", {1, 2, 3, 4});
  return file.data();
}

int Orientation(const std::vector<uint8_t>& file, uint32_t item = 1) {
  std::vector<uint8_t> exact(file);
  return pxheif::ItemOrientation(exact.data(), exact.size(), item);
}

const std::pair<std::string, std::vector<uint8_t>> kIspe = {"ispe", std::vector<uint8_t>(12, 0)};
std::pair<std::string, std::vector<uint8_t>> Irot(uint8_t angle) {
  return {"irot", {angle}};
}
std::pair<std::string, std::vector<uint8_t>> Imir(uint8_t axis) {
  return {"imir", {axis}};
}

TEST(HEIFOrientation, TurnsAndMirrorsInTheOrderOfAssociation) {
  // irot turns anticlockwise: a quarter turn anticlockwise is orientation 8.
  const int turns[4] = {1, 8, 3, 6};
  for (uint8_t angle = 0; angle < 4; ++angle)
    EXPECT_EQ(Orientation(File({kIspe, Irot(angle)}, {{1, {1, 2}}})), turns[angle]) << angle;
  // The high bits of the angle byte are reserved.
  EXPECT_EQ(Orientation(File({Irot(0xFD)}, {{1, {1}}})), 8);
  // imir as libheif reads it: 1 mirrors left to right, 0 top to bottom.
  EXPECT_EQ(Orientation(File({Imir(1)}, {{1, {1}}})), 2);
  EXPECT_EQ(Orientation(File({Imir(0)}, {{1, {1}}})), 4);
  // A quarter turn anticlockwise, then left to right: the transverse (7); the other way
  // round: the transpose (5).
  EXPECT_EQ(Orientation(File({Irot(1), Imir(1)}, {{1, {1, 2}}})), 7);
  EXPECT_EQ(Orientation(File({Irot(1), Imir(1)}, {{1, {2, 1}}})), 5);
  EXPECT_EQ(Orientation(File({Irot(2), Imir(0)}, {{1, {1, 2}}})), 2);
}

TEST(HEIFOrientation, OnlyTheItemsOwnAssociationsInEveryLayoutOfIpma) {
  const auto props = std::vector<std::pair<std::string, std::vector<uint8_t>>>{kIspe, Irot(3)};
  EXPECT_EQ(Orientation(File(props, {{2, {1, 2}}, {1, {1}}})), 1) << "the irot is item 2's";
  EXPECT_EQ(Orientation(File(props, {{2, {1}}, {1, {1, 2}}})), 6);
  EXPECT_EQ(Orientation(File(props, {{1, {1, 2}}}, 1, 0)), 6) << "32-bit item ids";
  EXPECT_EQ(Orientation(File(props, {{1, {1, 2}}}, 0, 1)), 6) << "16-bit indices";
  EXPECT_EQ(Orientation(File(props, {{1, {1, 2}}}, 1, 1)), 6);
  EXPECT_EQ(Orientation(File(props, {{70000, {2}}}, 1, 0), 70000), 6);
  // Index 0 (no property) and indices past the list are passed over.
  EXPECT_EQ(Orientation(File(props, {{1, {0, 9, 2}}})), 6);
  EXPECT_EQ(Orientation(File({kIspe}, {{1, {1}}})), 1);
}

TEST(HEIFOrientation, DamagedBoxesGiveOne) {
  const auto good = File({kIspe, Irot(1)}, {{1, {1, 2}}});
  ASSERT_EQ(Orientation(good), 8);
  // Every cut: 1 until the boxes that hold it are whole, never a read past the end.
  const size_t mdat = 12;  // the mdat box after meta
  for (size_t cut = 0; cut < good.size(); ++cut) {
    const std::vector<uint8_t> part(good.begin(), good.begin() + long(cut));
    EXPECT_EQ(Orientation(part), cut >= good.size() - mdat ? 8 : 1) << cut;
  }
  // An ipma that claims more entries or associations than it holds.
  std::vector<uint8_t> entries = good;
  const size_t ipma =
      std::search(entries.begin(), entries.end(), "ipma", "ipma" + 4) - entries.begin();
  entries[ipma + 4 + 4 + 3] = 200;  // entry count 200
  EXPECT_EQ(Orientation(entries), 1);
  std::vector<uint8_t> count = good;
  count[ipma + 4 + 8 + 2] = 255;  // 255 associations for item 1
  EXPECT_EQ(Orientation(count), 1);
  // A box larger than its parent; a 64-bit size past the file; a size of 0 (to the end).
  std::vector<uint8_t> big = good;
  big[ipma - 4] = 0x7F;
  EXPECT_EQ(Orientation(big), 1);
  std::vector<uint8_t> large = Bytes().be32(1).str("meta").be32(0xFFFFFFFF).be32(0).data();
  EXPECT_EQ(Orientation(large), 1);
  std::vector<uint8_t> toEnd = good;
  const size_t meta = 20;  // after the ftyp box of 20 bytes
  toEnd[meta] = toEnd[meta + 1] = toEnd[meta + 2] = toEnd[meta + 3] = 0;
  EXPECT_EQ(Orientation(toEnd), 8) << "a meta box to the end of the file";
  // An irot without its angle byte.
  EXPECT_EQ(Orientation(File({{"irot", {}}}, {{1, {1}}})), 1);
}

/* ---- Canvases of grids and overlays ---------------------------------------------------- */

// meta with iinf (one infe of version 2 per item), iloc of version 1 (4-byte offsets and
// lengths, one extent each) and idat; then the data of construction-method-0 items.
std::vector<uint8_t> DerivedFile(
    const std::vector<std::pair<std::string, std::vector<uint8_t>>>& items, bool inIdat) {
  const auto iinf = Payload([&](Bytes& b) {
    b.be32(0).be16(uint32_t(items.size()));
    for (size_t i = 0; i < items.size(); ++i)
      Box(b, "infe", Payload([&](Bytes& e) {
            e.u8(2).u8(0).be16(0).be16(uint32_t(i + 1)).be16(0).str(items[i].first).u8(0);
          }));
  });
  std::vector<uint8_t> data;
  std::vector<std::pair<uint32_t, uint32_t>> extents;
  for (const auto& item : items) {
    extents.push_back({uint32_t(data.size()), uint32_t(item.second.size())});
    data.insert(data.end(), item.second.begin(), item.second.end());
  }
  // File offsets are known once meta's size is, which the offsets do not change.
  auto build = [&](uint32_t start) {
    const auto iloc = Payload([&](Bytes& b) {
      b.u8(1).u8(0).be16(0).u8(0x44).u8(0x00).be16(uint32_t(items.size()));
      for (size_t i = 0; i < items.size(); ++i)
        b.be16(uint32_t(i + 1))
            .be16(inIdat ? 1 : 0)
            .be16(0)
            .be16(1)
            .be32(extents[i].first + start)
            .be32(extents[i].second);
    });
    const auto meta = Payload([&](Bytes& b) {
      b.be32(0);
      Box(b, "iinf", iinf);
      Box(b, "iloc", iloc);
      if (inIdat) Box(b, "idat", data);
    });
    Bytes f;
    f.raw(FileType("heic", {"mif1"}));
    Box(f, "meta", meta);
    if (!inIdat) Box(f, "mdat", data);
    return f.data();
  };
  const std::vector<uint8_t> first = build(0);
  return inIdat ? first : build(uint32_t(first.size() - data.size()));
}

std::vector<uint8_t> Grid(uint32_t w, uint32_t h, bool wide) {
  Bytes b;
  b.u8(0).u8(wide ? 1 : 0).u8(0).u8(0);
  if (wide) {
    b.be32(w).be32(h);
  } else {
    b.be16(w).be16(h);
  }
  return b.data();
}

TEST(HEIFCanvas, TheLargestGridOrOverlayWhereverItsDataIs) {
  const std::vector<uint8_t> tile(16, 0xAB);
  const std::vector<uint8_t> overlay =
      Bytes().u8(0).u8(1).fill(8, 0xFF).be32(9000).be32(8000).be32(0).be32(0).data();
  for (bool inIdat : {true, false}) {
    SCOPED_TRACE(inIdat ? "in idat" : "in the file");
    const auto file = DerivedFile({{"hvc1", tile},
                                   {"grid", Grid(640, 480, false)},
                                   {"grid", Grid(70000, 2, true)},
                                   {"iovl", overlay}},
                                  inIdat);
    std::vector<uint8_t> exact(file);
    uint64_t w = 0, h = 0;
    ASSERT_TRUE(pxheif::LargestCanvas(exact.data(), exact.size(), &w, &h));
    EXPECT_EQ(w, 9000u);
    EXPECT_EQ(h, 8000u);
    // The check judges the canvas as it judges the image.
    pxheif::Header header = HEIF(24, 16);
    header.canvasWidth = w;
    header.canvasHeight = h;
    EXPECT_EQ(pxheif::CheckHeader(header, 24, 0, exact.size()), PX_ERR_NO_MEMORY);
    EXPECT_EQ(pxheif::CheckHeader(header, 24, 0, kPlenty), PX_OK);
    header.canvasWidth = 70000;
    EXPECT_EQ(pxheif::CheckHeader(header, 24, 0, kPlenty), PX_ERR_NO_MEMORY);
    // Cut anywhere: no canvas read from outside the file.
    for (size_t cut = 0; cut < exact.size(); ++cut) {
      const std::vector<uint8_t> part(exact.begin(), exact.begin() + long(cut));
      pxheif::LargestCanvas(part.data(), part.size(), &w, &h);
      EXPECT_LE(w * h, uint64_t(9000) * 8000) << cut;
    }
  }
  std::vector<uint8_t> plain = DerivedFile({{"hvc1", tile}}, true);
  uint64_t w = 1, h = 1;
  EXPECT_FALSE(pxheif::LargestCanvas(plain.data(), plain.size(), &w, &h));
  EXPECT_EQ(w * h, 0u);
}

/* ---- Pictures the coded data declares ------------------------------------------------- */

// What the encoders write: the sequence parameters of HEVC and the sequence header of AV1
// give the coded size, which is the image's rounded up to the codec's block size at most.
TEST(HEIFCodedPicture, TheSizeOfTheSequenceParametersOfEitherCodec) {
  const uint32_t width = 37, height = 21;
  for (pxtest::HEIFCoding coding : {pxtest::HEIFCoding::kHEVC, pxtest::HEIFCoding::kAV1}) {
    SCOPED_TRACE(coding == pxtest::HEIFCoding::kHEVC ? "HEVC" : "AV1");
    pxtest::HEIFOptions o;
    o.coding = coding;
    o.alpha = true;  // an auxiliary image of its own
    const std::vector<uint8_t> file =
        pxtest::EncodeHEIF(width, height, pxtest::TestRGBA(width, height, true), o);
    uint64_t w = 0, h = 0;
    ASSERT_TRUE(pxheif::LargestCodedPicture(file.data(), file.size(), &w, &h));
    EXPECT_GE(w, width);
    EXPECT_GE(h, height);
    EXPECT_LT(w, width + 64);
    EXPECT_LT(h, height + 64);
    pxheif::Header header = HEIF(int(width), int(height));
    header.codedWidth = w;
    header.codedHeight = h;
    EXPECT_EQ(pxheif::CheckHeader(header, 24, 0, file.size()), PX_OK);
    header.codedWidth = 40000;
    EXPECT_EQ(pxheif::CheckHeader(header, 24, 0, kPlenty), PX_ERR_NO_MEMORY);
    header.codedWidth = header.codedHeight = 16000;
    EXPECT_EQ(pxheif::CheckHeader(header, 24, 0, file.size()), PX_ERR_NO_MEMORY);
    // Cut anywhere: nothing read from outside the file, and a cut file declares no more.
    for (size_t cut = 0; cut < file.size(); ++cut) {
      const std::vector<uint8_t> part(file.begin(), file.begin() + long(cut));
      uint64_t pw = 0, ph = 0;
      pxheif::LargestCodedPicture(part.data(), part.size(), &pw, &ph);
      EXPECT_LE(pw * ph, w * h) << cut;
    }
  }
  const std::vector<uint8_t> tile(16, 0xAB);
  const std::vector<uint8_t> plain = DerivedFile({{"hvc1", tile}}, true);
  uint64_t w = 1, h = 1;
  EXPECT_FALSE(pxheif::LargestCodedPicture(plain.data(), plain.size(), &w, &h));
  EXPECT_EQ(w * h, 0u);
}

}  // namespace
