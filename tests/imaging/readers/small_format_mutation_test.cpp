// Damaged PCX, TGA and WBMP files: valid fixtures with bytes changed, inserted and cut off
// must give an image whose block holds all its rows, or no image and an error code; never
// a crash or an out-of-bounds access (the sanitizer build checks the latter). PX_MUTATIONS
// sets the rounds per file.
#include <cstdlib>
#include <random>
#include <utility>

#include "entries.h"

#include "pixolith/px_pcx_tga_wbmp.h"
#include "small_format_fixtures.h"

namespace {

std::vector<std::vector<uint8_t>> Seeds() {
  pxtest::PcxFile pcx;
  pcx.bitsPerPlane = 1;
  pcx.planes = 4;
  pcx.width = 17;
  pcx.height = 3;
  pcx.lines.assign(3, std::vector<uint8_t>(16, 0x5A));
  pxtest::PcxFile pcx8 = pcx;
  pcx8.bitsPerPlane = 8;
  pcx8.planes = 1;
  pcx8.lines.assign(3, std::vector<uint8_t>(18, 0xC7));
  pcx8.tableMarker = 12;
  pxtest::PcxFile raw24 = pcx;
  raw24.encoding = 0;
  raw24.bitsPerPlane = 8;
  raw24.planes = 3;
  raw24.lines.assign(3, std::vector<uint8_t>(54, 0xC3));
  pxtest::TgaFile tga;
  tga.colorMapType = 1;
  tga.imageType = 9;
  tga.mapLength = 4;
  tga.mapEntryBits = 16;
  tga.map.assign(8, 0x33);
  tga.width = 7;
  tga.height = 6;
  tga.pixelDepth = 8;
  tga.data = {0x85, 1, 0x03, 2, 3, 0, 1, 0xFF, 2, 0x8F, 3, 0x80, 0};
  pxtest::TgaFile tga32 = tga;
  tga32.colorMapType = 0;
  tga32.imageType = 10;
  tga32.pixelDepth = 32;
  tga32.descriptor = 0x38;
  tga32.data = {0x90, 1, 2, 3, 4, 0x02, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  std::vector<uint8_t> wbmp = pxtest::WbmpHeader(11, 4);
  wbmp.resize(wbmp.size() + 8, 0xA5);
  return {pcx.Build(), pcx8.Build(), raw24.Build(), tga.Build(), tga32.Build(), wbmp};
}

TEST(SmallFormatMutations, DamagedFilesNeverCrash) {
  const char* env = std::getenv("PX_MUTATIONS");
  const int rounds = env ? std::atoi(env) : 300;
  std::mt19937 rng(20240607);
  pxtest::Decoded r;
  for (const std::vector<uint8_t>& seed : Seeds()) {
    for (int i = 0; i < rounds; ++i) {
      std::vector<uint8_t> file = seed;
      for (int e = int(rng() % 4); e >= 0 && !file.empty(); --e) {
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
        }
      }
      using pxtest::SmallFormat;
      for (SmallFormat format : {SmallFormat::kPCX, SmallFormat::kTGA, SmallFormat::kWBMP}) {
        for (uint32_t depth : {1u, 8u, 24u, 32u, 0u}) {
          const bool dib = depth == 0;
          pxtest::DecodeSmallFormat(format, file, depth, &r, dib ? PX_READ_PACKED_DIB : 0);
          void* block = std::exchange(r.block.block, nullptr);
          if (!block) {
            ASSERT_NE(r.error, 0) << "no image and no error code, format " << int(format)
                                  << ", depth " << depth << ", round " << i;
            continue;
          }
          pxfuzz::Problem problem =
              dib ? pxfuzz::CheckDIB(block) : pxfuzz::CheckImage(block, r.width, r.height, depth);
          ASSERT_EQ(problem, nullptr)
              << problem << ", format " << int(format) << ", depth " << depth << ", round " << i;
        }
      }
    }
  }
}

}  // namespace
