// Damaged PCX, TGA and WBMP files: valid fixtures with bytes changed, inserted and cut
// off must give an image or an error code, never a crash or an out-of-bounds access (the
// sanitizer build checks the latter). PX_MUTATIONS sets the rounds per file for longer runs.
#include <cstdlib>
#include <cstring>
#include <random>

#include "pixolith/px_pcx_tga_wbmp.h"
#include "small_format_fixtures.h"
#include "test_support.h"

namespace {

using pxtest::MemorySource;

std::vector<std::vector<uint8_t>> Seeds() {
  std::vector<std::vector<uint8_t>> seeds;
  pxtest::PcxFile p;
  p.width = 13;
  p.height = 5;
  for (int y = 0; y < 5; ++y)
    p.lines.push_back(std::vector<uint8_t>(p.LineBytes(), uint8_t(y * 50)));
  p.tableMarker = 12;
  p.table.assign(256, {1, 2, 3});
  seeds.push_back(p.Build());
  p.planes = 3;
  p.tableMarker = -1;
  for (auto& line : p.lines) line.resize(3 * size_t(p.LineBytes()), 0xC7);
  seeds.push_back(p.Build());
  pxtest::PcxFile q;
  q.bitsPerPlane = 1;
  q.planes = 4;
  q.width = 17;
  q.height = 3;
  q.lines.assign(3, std::vector<uint8_t>(4 * size_t(q.LineBytes()), 0x5A));
  seeds.push_back(q.Build());

  pxtest::TgaFile t;
  t.colorMapType = 1;
  t.imageType = 9;
  t.mapLength = 4;
  t.mapEntryBits = 16;
  t.map.assign(8, 0x33);
  t.width = 7;
  t.height = 6;
  t.pixelDepth = 8;
  t.data = {0x85, 1, 0x03, 2, 3, 0, 1, 0xFF, 2, 0x8F, 3, 0x80, 0};
  t.footer = true;
  seeds.push_back(t.Build());
  pxtest::TgaFile u;
  u.imageType = 10;
  u.width = 5;
  u.height = 4;
  u.pixelDepth = 32;
  u.descriptor = 0x38;
  u.data = {0x90, 1, 2, 3, 4, 0x02, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  seeds.push_back(u.Build());

  std::vector<uint8_t> w = pxtest::WbmpHeader(11, 4);
  w.insert(w.end(), 8, 0xA5);
  seeds.push_back(w);
  return seeds;
}

void ReadEverything(const std::vector<uint8_t>& file) {
  MemorySource src(file);
  uint32_t w, h, bits, count;
  RGBQUAD pal[256];
  auto rewind = [&] { PXSeekSource(src, 0, PX_SEEK_SET); };
  auto done = [&](BYTE* block) {
    GlobalFree(block);
    rewind();
  };
  PXGetPCXPalette(src, &count, pal), rewind();
  for (uint32_t depth : {1u, 8u, 24u}) done(PXReadPCX(src, &w, &h, depth, pal, 0));
  done(PXReadPCX(src, &w, &h, 0, pal, PX_READ_PACKED_DIB));
  PXGetTGAPalette(src, &count, pal), rewind();
  for (uint32_t depth : {8u, 24u, 32u}) done(PXReadTGA(src, &w, &h, depth, pal, 0));
  done(PXReadTGA(src, &w, &h, 0, pal, PX_READ_PACKED_DIB));
  for (uint32_t depth : {1u, 8u}) done(PXReadWBMP(src, &w, &h, pal, depth, 0));
  done(PXReadWBMP(src, &w, &h, pal, 0, PX_READ_PACKED_DIB));
  (void)bits;
}

TEST(SmallFormatMutations, DamagedFilesNeverCrash) {
  const char* env = std::getenv("PX_MUTATIONS");
  const int rounds = env ? std::atoi(env) : 300;
  std::mt19937 rng(20240607);
  for (const std::vector<uint8_t>& seed : Seeds()) {
    for (int i = 0; i < rounds; ++i) {
      std::vector<uint8_t> file = seed;
      const int edits = 1 + int(rng() % 4);
      for (int e = 0; e < edits && !file.empty(); ++e) {
        size_t at = rng() % file.size();
        switch (rng() % 4) {
          case 0:
            file[at] = uint8_t(rng());
            break;
          case 1:
            file[at] ^= uint8_t(1u << (rng() % 8));
            break;
          case 2:
            file.insert(file.begin() + long(at), uint8_t(rng()));
            break;
          default:
            file.resize(at + 1);
            break;
        }
      }
      ReadEverything(file);
    }
  }
}

}  // namespace
