// PXRenderMetafileFile: loading order, raster sizes, flags, background, progress and
// errors, and hostile files.
#include <random>
#include <vector>

#include "metafile/records.h"
#include "metafile_builder.h"
#include "pixolith/px_metafile.h"
#include "platform/metafile.h"
#include "test_support.h"

namespace {

using namespace pxmf;
using pxtest::EmfBuilder;
using pxtest::RenderMetafileBytes;
using pxtest::TempDir;
using pxtest::WmfBuilder;

struct ProgressLog {
  std::vector<std::pair<UINT, UINT>> calls;
  bool allow = true;
};

BOOL Record(UINT current, UINT total, DWORD_PTR user) {
  auto* log = reinterpret_cast<ProgressLog*>(user);
  log->calls.push_back({current, total});
  return log->allow;
}

struct ProgressScope {
  explicit ProgressScope(ProgressLog* log) {
    PXSetProgressCallback(Record, reinterpret_cast<DWORD_PTR>(log));
  }
  ~ProgressScope() { PXSetProgressCallback(nullptr, 0); }
};

// A red rectangle over the whole frame of a width x height picture.
std::vector<uint8_t> FullRed(int width, int height) {
  EmfBuilder b(width, height);
  b.Add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0x0000FF, 0})
      .Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_CREATEPEN, {2, PS_SOLID, 0, 0, 0x0000FF})
      .Add(EMR_SELECTOBJECT, {2})
      .Add(EMR_RECTANGLE, {0, 0, width, height});
  return b.Finish();
}

TEST(MetafileRender, NullPathIsAParameterError) {
  uint32_t w = 0, h = 0;
  EXPECT_EQ(PXRenderMetafileFile(nullptr, &w, &h, 100, 100, 0, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(MetafileRender, MissingFileIsAnOpenError) {
  TempDir dir;
  auto r = pxtest::RenderMetafileFile(dir.File("absent.wmf"), 100, 100, 0);
  EXPECT_EQ(r.error, PX_ERR_FILE_OPEN);
  EXPECT_TRUE(r.rgb.empty());
}

TEST(MetafileRender, AbortOnTheFirstReportStopsBeforeTheFileIsOpened) {
  TempDir dir;
  ProgressLog log;
  log.allow = false;
  ProgressScope scope(&log);
  // The file does not exist: an abort before opening it reports 14, not 2.
  auto r = pxtest::RenderMetafileFile(dir.File("absent.emf"), 100, 100, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0], std::make_pair(0u, 4u));
}

TEST(MetafileRender, ReportsFourStepsAndAbortsAtALaterOne) {
  ProgressLog log;
  {
    ProgressScope scope(&log);
    auto r = RenderMetafileBytes(FullRed(10, 10), 10, 10);
    ASSERT_EQ(r.error, 0);
  }
  std::vector<std::pair<UINT, UINT>> expected = {{0, 4}, {1, 4}, {2, 4}, {3, 4}};
  EXPECT_EQ(log.calls, expected);

  struct StopAtThree {
    static BOOL Call(UINT current, UINT, DWORD_PTR) { return current < 3; }
  };
  PXSetProgressCallback(StopAtThree::Call, 0);
  auto r = RenderMetafileBytes(FullRed(10, 10), 10, 10);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  EXPECT_TRUE(r.rgb.empty());
}

TEST(MetafileRender, PlaceableBoundingBoxGivesInchesOfScreenPixels) {
  // 1440 x 720 units at 1440 units per inch: one inch by half an inch at 96 dpi.
  WmfBuilder w;
  w.Add(META_SETWINDOWEXT, {720, 1440});
  auto r = RenderMetafileBytes(w.Finish(true, 0, 0, 1440, 720, 1440), 100, 100, 0);
  ASSERT_EQ(r.error, 0);
  EXPECT_NEAR(int(r.width), 96, 1);
  EXPECT_NEAR(int(r.height), 48, 1);
}

TEST(MetafileRender, PlaceableWithoutUnitsPerInchIsInvalid) {
  WmfBuilder w;
  w.Add(META_SETWINDOWEXT, {720, 1440});
  auto r = RenderMetafileBytes(w.Finish(true, 0, 0, 1440, 720, 0), 100, 100, 0);
  EXPECT_EQ(r.error, PX_ERR_BAD_METAFILE);
}

TEST(MetafileRender, PlainWindowsMetafileGetsTheTenMillimetrePicture) {
  // Loaded as a Windows metafile and converted with 1000 x 1000 hundredths of a
  // millimetre: 10 mm at 96 pixels per inch.
  WmfBuilder w;
  w.Add(META_SETWINDOWEXT, {100, 100}).Add(META_RECTANGLE, {90, 90, 10, 10});
  auto r = RenderMetafileBytes(w.Finish(false), 100, 100, 0);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.width, 37u);
  EXPECT_EQ(r.height, 37u);
}

TEST(MetafileRender, EnhancedNaturalSizeComesFromTheFrame) {
  // Frame 2000 x 1000 hundredths of a millimetre on a 1920 x 1080, 508 x 285 mm screen.
  auto r = RenderMetafileBytes(FullRed(200, 100), 100, 100, 0);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.width, 1920u * 2000 / 50800);
  EXPECT_EQ(r.height, 1080u * 1000 / 28500);
}

TEST(MetafileRender, PercentagesScaleTheNaturalSize) {
  auto natural = RenderMetafileBytes(FullRed(400, 200), 100, 100, 0);
  auto half = RenderMetafileBytes(FullRed(400, 200), 50, 50, PX_METAFILE_PERCENT);
  ASSERT_EQ(natural.error, 0);
  ASSERT_EQ(half.error, 0);
  EXPECT_EQ(half.width, natural.width / 2);
  EXPECT_EQ(half.height, natural.height / 2);
}

TEST(MetafileRender, PixelSizeStretchesThePictureToFill) {
  auto r = RenderMetafileBytes(FullRed(50, 50), 200, 100, PX_METAFILE_PIXELS);
  ASSERT_EQ(r.error, 0);
  ASSERT_EQ(r.width, 200u);
  ASSERT_EQ(r.height, 100u);
  EXPECT_EQ(r.At(0, 0), 0xFF0000u);
  EXPECT_EQ(r.At(196, 2), 0xFF0000u);
  EXPECT_EQ(r.At(2, 97), 0xFF0000u);
  EXPECT_EQ(r.At(100, 50), 0xFF0000u);
}

TEST(MetafileRender, BackgroundShowsWhereNothingIsDrawn) {
  EmfBuilder b(40, 40);
  b.Add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0x0000FF, 0})
      .Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_SELECTOBJECT, {0x80000000 | NULL_PEN})
      .Add(EMR_RECTANGLE, {0, 0, 10, 10});
  auto r = RenderMetafileBytes(b.Finish(), 40, 40, PX_METAFILE_PIXELS, 0x102030);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(5, 5), 0xFF0000u);
  EXPECT_EQ(r.At(20, 20), 0x102030u);
  EXPECT_EQ(r.At(39, 39), 0x102030u);

  EmfBuilder empty(40, 40);
  auto blank = RenderMetafileBytes(empty.Finish(), 40, 40, PX_METAFILE_PIXELS, 0x00FF80);
  ASSERT_EQ(blank.error, 0);
  EXPECT_TRUE(blank.Uniform(0x00FF80));
}

TEST(MetafileRender, DibFlagReturnsAPacked24BitDib) {
  auto r = RenderMetafileBytes(FullRed(10, 10), 5, 3, PX_METAFILE_PIXELS | PX_METAFILE_DIB);
  ASSERT_EQ(r.error, 0);
  ASSERT_EQ(r.rgb.size(), 40u + 16u * 3);  // rows of 15 bytes padded to 16
  const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(r.rgb.data());
  EXPECT_EQ(h->biSize, 40u);
  EXPECT_EQ(h->biWidth, 5);
  EXPECT_EQ(h->biHeight, 3);
  EXPECT_EQ(h->biBitCount, 24);
  EXPECT_EQ(r.rgb[40], 0);  // blue, green, red
  EXPECT_EQ(r.rgb[41], 0);
  EXPECT_EQ(r.rgb[42], 255);
  EXPECT_EQ(r.width, 5u);
  EXPECT_EQ(r.height, 3u);
}

TEST(MetafileRender, EmptyAndForeignFilesAreRefused) {
  EXPECT_EQ(RenderMetafileBytes({}, 10, 10).error, PX_ERR_BAD_METAFILE);
  std::vector<uint8_t> text(200, 'x');
  auto r = RenderMetafileBytes(text, 10, 10);
  EXPECT_EQ(r.error, PX_ERR_METAFILE_RENDER);
  EXPECT_TRUE(r.rgb.empty());
}

TEST(MetafileRender, DamagedRecordKeepsWhatWasDrawnBeforeIt) {
  std::vector<uint8_t> good = FullRed(20, 20);
  // Replace the end-of-file record with one that claims more bytes than remain.
  std::vector<uint8_t> cut(good.begin(), good.end() - 20);
  pxtest::Bytes tail;
  tail.le32(EMR_LINETO).le32(4000).le32(1);
  cut.insert(cut.end(), tail.data().begin(), tail.data().end());
  auto r = RenderMetafileBytes(cut, 20, 20);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(10, 10), 0xFF0000u);

  // Broken before anything was drawn: not a picture.
  EmfBuilder b(20, 20);
  std::vector<uint8_t> header = b.Finish();
  std::vector<uint8_t> early(header.begin(), header.end() - 20);
  early.insert(early.end(), tail.data().begin(), tail.data().end());
  auto broken = RenderMetafileBytes(early, 20, 20);
  EXPECT_EQ(broken.error, PX_ERR_BAD_METAFILE);
  EXPECT_TRUE(broken.rgb.empty());
}

TEST(MetafileRender, TruncatedWindowsMetafileStopsWhereItBreaks) {
  WmfBuilder w;
  w.Add(META_SETWINDOWEXT, {100, 100})
      .Add(META_CREATEBRUSHINDIRECT, {BS_SOLID, 0xFF, 0, 0})
      .Add(META_SELECTOBJECT, {0})
      .Add(META_RECTANGLE, {100, 100, 0, 0});
  std::vector<uint8_t> bytes = w.Finish(true, 0, 0, 100, 100, 96);
  bytes.resize(bytes.size() - 6);  // cut into the end record
  bytes.push_back(0x50);           // a record that claims 80 words
  bytes.push_back(0);
  auto r = RenderMetafileBytes(bytes, 10, 10);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.At(5, 5), 0xFF0000u);
}

TEST(MetafileRender, AFrameOfMetresIsRefusedWithoutAllocating) {
  EmfBuilder huge(2000000, 2000000);  // 20 metres square
  auto r = RenderMetafileBytes(huge.Finish(), 100, 100, 0);
  EXPECT_EQ(r.error, PX_ERR_CREATE_BITMAP);
  auto inverted = RenderMetafileBytes(FullRed(10, 10), -5, 10, PX_METAFILE_PIXELS);
  EXPECT_EQ(inverted.error, PX_ERR_CREATE_BITMAP);
}

// Every byte of a metafile may be wrong; the player must stay inside the data.
TEST(MetafileRender, MutatedMetafilesNeverCrash) {
  EmfBuilder b(60, 60);
  b.Add(EMR_SETMAPMODE, {MM_ANISOTROPIC})
      .Add(EMR_SETWINDOWEXTEX, {60, 60})
      .Add(EMR_SETVIEWPORTEXTEX, {60, 60})
      .Add(EMR_CREATEBRUSHINDIRECT, {1, BS_HATCHED, 0x00FF00, HS_DIAGCROSS})
      .Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_ELLIPSE, {5, 5, 55, 55})
      .Add(EMR_PIE, {5, 5, 55, 55, 55, 30, 30, 5})
      .Add(EMR_POLYLINE16, {0, 0, 0, 0, 3, (10 << 16) | 10, (50 << 16) | 10, (50 << 16) | 50})
      .Add(EMR_INTERSECTCLIPRECT, {0, 0, 40, 40})
      .Add(EMR_ROUNDRECT, {10, 10, 50, 50, 10, 10});
  std::vector<uint8_t> emf = b.Finish();
  WmfBuilder w;
  w.Add(META_SETWINDOWEXT, {60, 60})
      .Add(META_CREATEPENINDIRECT, {PS_DASH, 1, 0, 0xFF, 0})
      .Add(META_SELECTOBJECT, {0})
      .Add(META_POLYGON, {3, 10, 10, 50, 10, 30, 50})
      .Add(META_ARC, {50, 50, 10, 10, 50, 50, 10, 10})
      .Add(META_TEXTOUT, {2, 'A' | ('B' << 8), 20, 20});
  std::vector<uint8_t> wmf = w.Finish(true, 0, 0, 60, 60, 96);
  std::mt19937 rng(12345);
  for (const auto& original : {emf, wmf}) {
    for (int round = 0; round < 150; ++round) {
      std::vector<uint8_t> bytes = original;
      int changes = 1 + int(rng() % 8);
      for (int i = 0; i < changes; ++i) {
        size_t at = rng() % bytes.size();
        bytes[at] = rng() % 3 == 0 ? 0xFF : uint8_t(rng());
      }
      if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
      auto r = RenderMetafileBytes(bytes, 30, 30);
      EXPECT_TRUE(r.error == 0 || r.rgb.empty()) << "round " << round;
    }
  }
}

}  // namespace
