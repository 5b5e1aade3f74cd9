// PDF output, read back by poppler's tools and qpdf: pages, sizes, each image's encoding,
// rendered pixels against the TIFF output of the same pages, copied JPEG and PNG streams,
// and what a failed or cancelled save leaves.
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "document/output.h"
#include "document/pdf_page.h"
#include "document/pdf_writer.h"
#include "image_files.h"
#include "jpeg_gif_psd_fixtures.h"
#include "pixolith/pixolith.h"
#include "pixolith/px_streams.h"
#include "png_test_support.h"
#include "test_support.h"
#include "tool_support.h"

namespace {

namespace fs = std::filesystem;
using pxtest::TempDir;

// Skips the test when one of the tools is missing.
#define REQUIRE_TOOLS()                                                                    \
  do {                                                                                     \
    for (const char* tool : {"pdfinfo", "pdfimages", "pdftoppm", "qpdf"})                  \
      if (pxtest::FindTool(tool).empty())                                                  \
        GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)"; \
  } while (0)

uint32_t Picture(uint32_t x, uint32_t y) {
  return ((x * 7) & 0xFF) << 16 | ((y * 5) & 0xFF) << 8 | ((x + y) * 3 & 0xFF);
}

uint32_t FourColours(uint32_t x, uint32_t y) {
  static const uint32_t colours[] = {0xC02010, 0x10A040, 0x2030F0, 0xFFFFFF};
  return colours[(x / 5 + y / 3) % 4];
}

uint32_t Checks(uint32_t x, uint32_t y) {
  return ((x / 3 + y / 2) % 2) ? 0xFFFFFF : 0x000000;
}

PageRecord Page(const std::string& path, uint32_t w, uint32_t h, int bits, int compression,
                int dpi = 72, int unit = 2) {
  PageRecord r;
  r.sourcePath = path;
  r.frameIndex = 0;
  r.output.width = int(w);
  r.output.height = int(h);
  r.output.bitsPerPixel = bits;
  r.output.compression = compression;
  r.output.resolutionX = dpi;
  r.output.resolutionY = dpi;
  r.output.resolutionUnit = unit;
  return r;
}

struct ListedImage {
  int page = 0;
  std::string type, color, encoding;
  uint32_t width = 0, height = 0;
  int components = 0, bpc = 0;
};

// `pdfimages -list`, one entry per image.
std::vector<ListedImage> ListImages(const std::string& pdf) {
  pxtest::ToolResult r = pxtest::RunTool(pxtest::FindTool("pdfimages"), {"-list", pdf});
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<ListedImage> images;
  std::istringstream lines(r.out);
  std::string line;
  int skip = 2;  // the heading and its underline
  while (std::getline(lines, line)) {
    if (skip-- > 0) continue;
    std::istringstream f(line);
    ListedImage i;
    std::string num;
    f >> i.page >> num >> i.type >> i.width >> i.height >> i.color >> i.components >> i.bpc >>
        i.encoding;
    images.push_back(i);
  }
  return images;
}

// pdfinfo's fields, and every page's size in points.
struct Info {
  std::map<std::string, std::string> fields;
  std::vector<std::pair<double, double>> sizes;
};

Info ReadInfo(const std::string& pdf) {
  pxtest::ToolResult r =
      pxtest::RunTool(pxtest::FindTool("pdfinfo"), {"-f", "1", "-l", "1000", pdf});
  EXPECT_EQ(r.status, 0) << r.err;
  Info info;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    double w, h;
    int n;
    if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf pts", &n, &w, &h) == 3) {
      info.sizes.emplace_back(w, h);
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    size_t value = line.find_first_not_of(' ', colon + 1);
    info.fields[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
  }
  return info;
}

void ExpectCheckedClean(const std::string& pdf) {
  pxtest::ToolResult r = pxtest::RunTool(pxtest::FindTool("qpdf"), {"--check", pdf});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
}

// Page `n` (from 1) rendered by pdftoppm at the size the arguments ask as RGB rows.
std::vector<uint8_t> Render(const std::string& pdf, int n, std::vector<std::string> size,
                            uint32_t* w, uint32_t* h, const TempDir& dir) {
  const std::string base = dir.File("render");
  std::vector<std::string> args = std::move(size);
  args.insert(args.end(),
              {"-f", std::to_string(n), "-l", std::to_string(n), "-singlefile", pdf, base});
  pxtest::ToolResult r = pxtest::RunTool(pxtest::FindTool("pdftoppm"), args);
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<uint8_t> ppm = pxtest::ReadFile(base + ".ppm");
  int maxval = 0, used = 0;
  if (std::sscanf(reinterpret_cast<const char*>(ppm.data()), "P6 %u %u %d%n", w, h, &maxval,
                  &used) != 3)
    return {};
  return std::vector<uint8_t>(ppm.begin() + used + 1, ppm.end());
}

// Page `n` (from 0) of a TIFF as RGB rows.
std::vector<uint8_t> TiffPixels(const std::string& tif, uint32_t n, uint32_t* w, uint32_t* h) {
  PXSource source = PXOpenFileSource(tif.c_str());
  BYTE* pixels = PXReadTIFF(source, w, h, 24, nullptr, n, 0);
  PXCloseSource(source);
  if (!pixels) return {};
  std::vector<uint8_t> rgb(pixels, pixels + size_t(*w) * *h * 3);
  GlobalFree(pixels);
  return rgb;
}

class PdfOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string picture = dir_.File("picture.bmp");
    pxtest::WriteBMP24(picture, 40, 30, Picture);
    const std::string colours = dir_.File("colours.bmp");
    pxtest::WriteBMP24(colours, 30, 20, FourColours);
    const std::string checks = dir_.File("checks.bmp");
    pxtest::WriteBMP24(checks, 37, 21, Checks);
    const std::string grey = dir_.File("grey.tif");
    pxtest::WriteTIFF(grey, {{33, 17, 8, 72, 72, 1, [](uint32_t x, uint32_t y) {
                                const uint32_t v = (x * 7 + y * 3) & 0xFF;
                                return v << 16 | v << 8 | v;
                              }}});
    // A 1-bit page asked for LZW, a 24-bit page at 300 dpi, a palette page, a grey page,
    // a 24-bit JPEG page, a palette page asked for JPEG, and a page without a unit.
    pages_ = {Page(checks, 37, 21, 1, kCompressionLZW, 144),
              Page(picture, 40, 30, 24, kCompressionDeflate, 300),
              Page(colours, 30, 20, 8, kCompressionNone, 72),
              Page(grey, 33, 17, 8, kCompressionPackBits, 72, 3),
              Page(picture, 40, 30, 24, kCompressionJPEG, 72),
              Page(colours, 30, 20, 8, kCompressionJPEG, 72),
              Page(picture, 40, 30, 24, kCompressionLZW, 600, 1)};
  }

  TempDir dir_;
  std::vector<PageRecord> pages_;
};

TEST_F(PdfOutputTest, EveryPageKindHasItsFilterSizeAndColours) {
  REQUIRE_TOOLS();
  const std::string pdf = dir_.File("out.pdf");
  OutputReport report = WriteOutputFile(pages_, pdf, nullptr, nullptr, 1, {}, OutputFormat::kPDF);
  ASSERT_TRUE(report.ok()) << report.error;
  EXPECT_EQ(report.bytes, fs::file_size(pdf));
  ExpectCheckedClean(pdf);

  Info info = ReadInfo(pdf);
  EXPECT_EQ(info.fields["Pages"], "7");
  EXPECT_EQ(info.fields["Producer"], PdfProducer());
  EXPECT_EQ(info.fields["Title"], "out");
  EXPECT_FALSE(info.fields["CreationDate"].empty());
  EXPECT_GE(std::stod(info.fields["PDF version"]), 1.4);
  // Points are pixels x 72 / dpi; 3 is dots per centimetre, 1 no unit (72 dpi).
  const std::vector<std::pair<double, double>> sizes = {
      {18.5, 10.5}, {9.6, 7.2}, {30, 20}, {33 * 72 / 182.88, 17 * 72 / 182.88},
      {40, 30},     {30, 20},   {40, 30}};
  ASSERT_EQ(info.sizes.size(), sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) {
    EXPECT_NEAR(info.sizes[i].first, sizes[i].first, 0.01) << "page " << i + 1;
    EXPECT_NEAR(info.sizes[i].second, sizes[i].second, 0.01) << "page " << i + 1;
  }

  std::vector<ListedImage> images = ListImages(pdf);
  ASSERT_EQ(images.size(), 7u);
  struct Expected {
    const char *encoding, *color;
    int components, bpc;
    uint32_t width, height;
  };
  const Expected expected[] = {{"ccitt", "gray", 1, 1, 37, 21},  {"image", "rgb", 3, 8, 40, 30},
                               {"image", "index", 1, 8, 30, 20}, {"image", "gray", 1, 8, 33, 17},
                               {"jpeg", "rgb", 3, 8, 40, 30},    {"jpeg", "rgb", 3, 8, 30, 20},
                               {"image", "rgb", 3, 8, 40, 30}};
  for (size_t i = 0; i < images.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i + 1));
    EXPECT_EQ(images[i].page, int(i + 1));
    EXPECT_EQ(images[i].encoding, expected[i].encoding);
    EXPECT_EQ(images[i].color, expected[i].color);
    EXPECT_EQ(images[i].components, expected[i].components);
    EXPECT_EQ(images[i].bpc, expected[i].bpc);
    EXPECT_EQ(images[i].width, expected[i].width);
    EXPECT_EQ(images[i].height, expected[i].height);
  }
  // The stream parameters a reader decodes by.
  pxtest::ToolResult json = pxtest::RunTool(pxtest::FindTool("qpdf"), {"--json", pdf});
  EXPECT_NE(json.out.find("\"/K\": -1"), std::string::npos);
  EXPECT_NE(json.out.find("\"/BlackIs1\": false"), std::string::npos);
  EXPECT_NE(json.out.find("\"/Predictor\": 15"), std::string::npos);
}

TEST_F(PdfOutputTest, LosslessPagesRenderAsTheTIFFOutputsPixels) {
  REQUIRE_TOOLS();
  const std::string pdf = dir_.File("out.pdf"), tif = dir_.File("out.tif");
  ASSERT_TRUE(WriteOutputFile(pages_, pdf, nullptr, nullptr, 2, {}, OutputFormat::kPDF).ok());
  ASSERT_TRUE(WriteOutputFile(pages_, tif, nullptr).ok());
  // pdftoppm smooths images it draws at less than four times their size, so each page is
  // rendered at four times its resolution (the centimetre page, 72 per cm, at four times
  // its pixels), where every pixel must come out as a 4 x 4 block of its exact colour.
  const std::map<int, std::vector<std::string>> sizes = {
      {0, {"-r", "576"}},
      {1, {"-r", "1200"}},
      {2, {"-r", "288"}},
      {3, {"-scale-to-x", "132", "-scale-to-y", "68"}},
      {6, {"-r", "288"}}};
  for (const auto& [n, size] : sizes) {
    SCOPED_TRACE("page " + std::to_string(n + 1));
    uint32_t tw, th, pw = 0, ph = 0;
    std::vector<uint8_t> expected = TiffPixels(tif, uint32_t(n), &tw, &th);
    std::vector<uint8_t> rendered = Render(pdf, n + 1, size, &pw, &ph, dir_);
    ASSERT_EQ(pw, tw * 4);
    ASSERT_EQ(ph, th * 4);
    ASSERT_EQ(rendered.size(), size_t(pw) * ph * 3);
    size_t wrong = 0;
    for (uint32_t y = 0; y < ph; ++y)
      for (uint32_t x = 0; x < pw; ++x)
        for (int c = 0; c < 3; ++c)
          wrong += rendered[(size_t(y) * pw + x) * 3 + c] !=
                   expected[(size_t(y / 4) * tw + x / 4) * 3 + c];
    EXPECT_EQ(wrong, 0u);
  }
}

TEST_F(PdfOutputTest, ACopiedJPEGPageIsTheSourceFilesBytes) {
  REQUIRE_TOOLS();
  const std::string jpeg = dir_.File("photo.jpg");
  const std::vector<uint8_t> file =
      pxtest::EncodeJPEG(48, 32, pxtest::TestPicture(48, 32, 3), pxtest::JPEGOptions{});
  pxtest::WriteFile(jpeg, file);
  PageRecord copied = Page(jpeg, 48, 32, 24, kCompressionJPEG, 72, 1);
  copied.copyUnchanged = true;
  const std::string pdf = dir_.File("photo.pdf");
  ASSERT_TRUE(WriteOutputFile({copied}, pdf, nullptr, nullptr, 1, {}, OutputFormat::kPDF).ok());
  ExpectCheckedClean(pdf);
  pxtest::ToolResult r =
      pxtest::RunTool(pxtest::FindTool("pdfimages"), {"-j", pdf, dir_.File("image")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(pxtest::ReadFile(dir_.File("image-000.jpg")) == file);
}

// PNG files, and the same files rebuilt chunk by chunk (CRCs made again) where a test
// changes them.
using pxtest::PngChunk;
using pxtest::PngImage;

PngImage PngOf(uint32_t w, uint32_t h, int colorType, int bitDepth = 8) {
  PngImage png;
  png.width = w;
  png.height = h;
  png.colorType = colorType;
  png.bitDepth = bitDepth;
  png.rows = pxtest::PatternBytes(png.rowBytes() * h, w * 31 + uint32_t(colorType));
  return png;
}

// Indices of every palette entry, packed at the depth as PNG rows are.
PngImage PalettePng(uint32_t w, uint32_t h, std::vector<uint8_t> palette, int bitDepth = 8) {
  PngImage png = PngOf(w, h, 3, bitDepth);
  const std::vector<uint8_t> noise = pxtest::PatternBytes(size_t(w) * h, w + h);
  const size_t entries = palette.size() / 3;
  std::fill(png.rows.begin(), png.rows.end(), 0);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const size_t bit = size_t(x) * bitDepth;
      const int shift = 8 - bitDepth - int(bit % 8);
      png.rows[y * png.rowBytes() + bit / 8] |= uint8_t(noise[y * w + x] % entries << shift);
    }
  png.palette = std::move(palette);
  return png;
}

std::vector<uint8_t> Rebuilt(const std::vector<PngChunk>& chunks) {
  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const PngChunk& c : chunks) {
    const uint32_t n = uint32_t(c.data.size());
    file.insert(file.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    file.insert(file.end(), c.type.begin(), c.type.end());
    file.insert(file.end(), c.data.begin(), c.data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(c.type.data()), 4);
    if (n) crc = crc32(crc, c.data.data(), uInt(n));
    file.insert(file.end(),
                {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
  }
  return file;
}

// The file with its image data split over three IDAT chunks.
std::vector<uint8_t> SplitImageData(const std::vector<uint8_t>& file) {
  std::vector<PngChunk> chunks;
  for (PngChunk& c : pxtest::ListChunks(file)) {
    if (c.type != "IDAT" || c.data.size() < 3) {
      chunks.push_back(std::move(c));
      continue;
    }
    const size_t third = c.data.size() / 3;
    for (size_t at : {size_t(0), third, 2 * third})
      chunks.push_back({"IDAT", std::vector<uint8_t>(
                                    c.data.begin() + at,
                                    at == 2 * third ? c.data.end() : c.data.begin() + at + third)});
  }
  return Rebuilt(chunks);
}

std::vector<uint8_t> ImageData(const std::vector<uint8_t>& file) {
  std::vector<uint8_t> data;
  for (const PngChunk& c : pxtest::ListChunks(file))
    if (c.type == "IDAT") data.insert(data.end(), c.data.begin(), c.data.end());
  return data;
}

// The raw data of the image on page 1, as the file stores it.
std::vector<uint8_t> RawImageStream(const std::string& pdf) {
  const std::string qpdf = pxtest::FindTool("qpdf");
  pxtest::ToolResult pages = qpdf.empty()
                                 ? pxtest::ToolResult{}
                                 : pxtest::RunTool(qpdf, {"--show-pages", "--with-images", pdf});
  const size_t at = pages.out.find("/Im0: ");
  if (at == std::string::npos) return {};
  const int object = std::atoi(pages.out.c_str() + at + 6);
  pxtest::ToolResult raw =
      pxtest::RunTool(qpdf, {"--show-object=" + std::to_string(object), "--raw-stream-data", pdf});
  return std::vector<uint8_t>(raw.out.begin(), raw.out.end());
}

// How each page of a run went in.
struct Handlings : ProgressSink {
  std::vector<PageHandling> seen;
  bool Progress(const std::string&, int, const CPageImage*) override { return true; }
  bool PageProgress(const std::string&, int, const CPageImage*, PageHandling h) override {
    seen.push_back(h);
    return true;
  }
};

// Counts the pixels of a rendering at four times the page's pixels that are not their
// expected RGB colour.
size_t WrongPixels(const std::vector<uint8_t>& rendered, uint32_t pw, uint32_t ph,
                   const std::vector<uint8_t>& expected, uint32_t w, uint32_t h) {
  if (pw != w * 4 || ph != h * 4 || rendered.size() != size_t(pw) * ph * 3 ||
      expected.size() != size_t(w) * h * 3)
    return SIZE_MAX;
  size_t wrong = 0;
  for (uint32_t y = 0; y < ph; ++y)
    for (uint32_t x = 0; x < pw; ++x)
      for (int c = 0; c < 3; ++c)
        wrong +=
            rendered[(size_t(y) * pw + x) * 3 + c] != expected[(size_t(y / 4) * w + x / 4) * 3 + c];
  return wrong;
}

TEST_F(PdfOutputTest, UnchangedPNGPagesGoInAsTheirImageDataAndRenderTheirPixels) {
  REQUIRE_TOOLS();
  // Grey levels from black to white in even steps, one per index of the depth.
  auto ramp = [](int bits) {
    std::vector<uint8_t> levels;
    const int top = (1 << bits) - 1;
    for (int i = 0; i <= top; ++i) levels.insert(levels.end(), 3, uint8_t(i * 255 / top));
    return levels;
  };
  const std::vector<uint8_t> colours = {200, 30,  10,  16,  160, 64, 32, 48,
                                        240, 255, 255, 255, 0,   0,  0};
  struct Case {
    const char* name;
    PngImage png;
    const char* color;
  };
  const Case cases[] = {
      {"palette", PalettePng(30, 20, colours), "index"},
      {"4-bit palette", PalettePng(31, 20, colours, 4), "index"},
      {"2-bit palette", PalettePng(29, 13, {colours.begin(), colours.begin() + 9}, 2), "index"},
      {"rgb", PngOf(40, 30, 2), "rgb"},
      {"grey", PngOf(33, 17, 0), "gray"},
      {"grey levels 0 to 255", PalettePng(24, 16, ramp(8)), "gray"},
      {"4-bit grey levels", PalettePng(23, 16, ramp(4), 4), "gray"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.File("page.png");
    const std::vector<uint8_t> file = SplitImageData(pxtest::EncodePNG(c.png));
    pxtest::WriteFile(path, file);
    PageRecord page = Page(path, c.png.width, c.png.height, 0, kCompressionLZW);
    EXPECT_EQ(DecidePdfPageHandling(page), PageHandling::kCopied);
    const std::string pdf = dir_.File("copied.pdf");
    Handlings handlings;
    ASSERT_TRUE(WriteOutputFile({page}, pdf, &handlings, nullptr, 1, {}, OutputFormat::kPDF).ok());
    EXPECT_EQ(handlings.seen, std::vector<PageHandling>{PageHandling::kCopied});
    ExpectCheckedClean(pdf);
    EXPECT_TRUE(RawImageStream(pdf) == ImageData(file));
    std::vector<ListedImage> images = ListImages(pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].color, c.color);
    EXPECT_EQ(images[0].bpc, c.png.bitDepth);
    // The converted page renders the same pixels: those of the source.
    page.copyUnchanged = false;
    const std::string converted = dir_.File("converted.pdf");
    const OutputReport report =
        WriteOutputFile({page}, converted, nullptr, nullptr, 1, {}, OutputFormat::kPDF);
    ASSERT_TRUE(report.ok()) << report.error;
    const std::vector<uint8_t> expected = pxtest::ExpectedRGB(c.png);
    for (const std::string& made : {pdf, converted}) {
      uint32_t pw = 0, ph = 0;
      std::vector<uint8_t> rendered = Render(made, 1, {"-r", "288"}, &pw, &ph, dir_);
      EXPECT_EQ(WrongPixels(rendered, pw, ph, expected, c.png.width, c.png.height), 0u) << made;
    }
  }
  // Indices past the end of the palette show its first entry, copied or converted.
  const PngImage stray = PalettePng(30, 20, colours, 4);
  std::vector<PngChunk> chunks = pxtest::ListChunks(pxtest::EncodePNG(stray));
  for (PngChunk& c : chunks)
    if (c.type == "PLTE") c.data.resize(6);
  const std::string path = dir_.File("stray.png");
  pxtest::WriteFile(path, Rebuilt(chunks));
  std::vector<uint8_t> expected;
  for (uint32_t y = 0; y < 20; ++y)
    for (uint32_t x = 0; x < 30; ++x) {
      const uint8_t index = stray.rows[y * stray.rowBytes() + x / 2] >> (x % 2 ? 0 : 4) & 15;
      expected.insert(expected.end(), colours.begin() + 3 * (index < 2 ? index : 0),
                      colours.begin() + 3 * (index < 2 ? index : 0) + 3);
    }
  PageRecord page = Page(path, 30, 20, 0, kCompressionLZW);
  for (bool copy : {true, false}) {
    SCOPED_TRACE(copy ? "stray indices, copied" : "stray indices, converted");
    page.copyUnchanged = copy;
    const std::string pdf = dir_.File("stray.pdf");
    Handlings handlings;
    ASSERT_TRUE(WriteOutputFile({page}, pdf, &handlings, nullptr, 1, {}, OutputFormat::kPDF).ok());
    EXPECT_EQ(handlings.seen.at(0), copy ? PageHandling::kCopied : PageHandling::kConverted);
    uint32_t pw = 0, ph = 0;
    std::vector<uint8_t> rendered = Render(pdf, 1, {"-r", "288"}, &pw, &ph, dir_);
    EXPECT_EQ(WrongPixels(rendered, pw, ph, expected, 30, 20), 0u);
  }
}

TEST_F(PdfOutputTest, PNGPagesTheirDataCannotShowAreConvertedWithTheirPixels) {
  REQUIRE_TOOLS();
  PngImage interlaced = PngOf(40, 30, 2);
  interlaced.interlaced = true;
  PngImage transparent = PalettePng(30, 20, {200, 30, 10, 16, 160, 64, 32, 48, 240});
  transparent.paletteAlpha = {255, 0, 128};
  PngImage levels = PalettePng(30, 20, {0, 0, 0, 85, 85, 85, 170, 170, 170, 255, 255, 255});
  struct Case {
    const char* name;
    PngImage png;
    uint32_t width, height;
  };
  const Case cases[] = {{"interlaced", interlaced, 40, 30},
                        {"tRNS", transparent, 30, 20},
                        {"16-bit", PngOf(20, 12, 2, 16), 20, 12},
                        {"resized", PngOf(40, 30, 2), 20, 15},
                        {"grey palette other than 0 to 255", levels, 30, 20}};
  std::vector<PageRecord> pages;
  for (const Case& c : cases) {
    const std::string path = dir_.File(std::string(c.name) + ".png");
    pxtest::WriteFile(path, pxtest::EncodePNG(c.png));
    pages.push_back(Page(path, c.width, c.height, 0, kCompressionDeflate));
    EXPECT_EQ(DecidePdfPageHandling(pages.back()), PageHandling::kConverted) << c.name;
    EXPECT_EQ(CopyUnchangedPdfPage(pages.back()), nullptr) << c.name;
  }
  const std::string pdf = dir_.File("out.pdf"), tif = dir_.File("out.tif");
  Handlings handlings;
  ASSERT_TRUE(WriteOutputFile(pages, pdf, &handlings, nullptr, 1, {}, OutputFormat::kPDF).ok());
  EXPECT_EQ(handlings.seen, std::vector<PageHandling>(pages.size(), PageHandling::kConverted));
  ExpectCheckedClean(pdf);
  ASSERT_TRUE(WriteOutputFile(pages, tif, nullptr).ok());
  EXPECT_EQ(ListImages(pdf).at(4).color, "gray");
  for (size_t n = 0; n < pages.size(); ++n) {
    SCOPED_TRACE(cases[n].name);
    uint32_t tw, th, pw = 0, ph = 0;
    std::vector<uint8_t> expected = TiffPixels(tif, uint32_t(n), &tw, &th);
    std::vector<uint8_t> rendered = Render(pdf, int(n) + 1, {"-r", "288"}, &pw, &ph, dir_);
    EXPECT_EQ(WrongPixels(rendered, pw, ph, expected, tw, th), 0u);
  }
}

TEST_F(PdfOutputTest, DamagedPNGDataNeverGoesIntoThePDF) {
  const PngImage png = PngOf(40, 30, 2);
  const std::vector<uint8_t> good = pxtest::EncodePNG(png);
  std::vector<PngChunk> chunks = pxtest::ListChunks(good);
  auto idat = std::find_if(chunks.begin(), chunks.end(), [](auto& c) { return c.type == "IDAT"; });
  ASSERT_NE(idat, chunks.end());
  std::map<std::string, std::vector<uint8_t>> damaged;
  // The image data's length pointing past the end of the file.
  damaged["length past the end"] = good;
  const size_t lengthAt = 8 + 25;  // after the signature and IHDR
  ASSERT_EQ(std::string(good.begin() + lengthAt + 4, good.begin() + lengthAt + 8), "IDAT");
  damaged["length past the end"][lengthAt] = 0x10;
  // The zlib stream broken off, its chunk's CRC right.
  std::vector<PngChunk> cut = chunks;
  cut[size_t(idat - chunks.begin())].data.resize(idat->data.size() / 2);
  damaged["zlib broken off"] = Rebuilt(cut);
  // A complete zlib stream whose rows lead with a filter type no reader knows.
  std::vector<uint8_t> rows;
  for (uint32_t y = 0; y < png.height; ++y) {
    rows.push_back(y == 7 ? 5 : 0);
    rows.insert(rows.end(), png.rows.begin() + y * png.rowBytes(),
                png.rows.begin() + (y + 1) * png.rowBytes());
  }
  uLongf size = compressBound(uLong(rows.size()));
  std::vector<uint8_t> deflated(size);
  ASSERT_EQ(compress(deflated.data(), &size, rows.data(), uLong(rows.size())), Z_OK);
  deflated.resize(size);
  std::vector<PngChunk> filtered = chunks;
  filtered[size_t(idat - chunks.begin())].data = deflated;
  damaged["unknown filter type"] = Rebuilt(filtered);
  // A wrong CRC on the image data.
  std::vector<uint8_t> crc = good;
  crc[lengthAt + 8 + idat->data.size()] ^= 0xFF;
  damaged["wrong CRC"] = crc;

  for (const auto& [what, file] : damaged) {
    SCOPED_TRACE(what);
    const std::string path = dir_.File("damaged.png");
    pxtest::WriteFile(path, file);
    PXSource source = PXOpenFileSource(path.c_str());
    uint32_t streamSize = 0;
    EXPECT_EQ(PXReadPNGStream(source, nullptr, &streamSize), nullptr);
    EXPECT_NE(PXGetLastError(), 0);
    PXCloseSource(source);
    const PageRecord page = Page(path, 40, 30, 0, kCompressionDeflate);
    EXPECT_EQ(CopyUnchangedPdfPage(page), nullptr);
    // The page is decoded instead, which fails on such data: the run fails at it.
    const std::string pdf = dir_.File("out.pdf");
    OutputReport report = WriteOutputFile({page}, pdf, nullptr, nullptr, 1, {}, OutputFormat::kPDF);
    EXPECT_FALSE(report.ok());
    EXPECT_EQ(report.failedPage, 0);
    EXPECT_FALSE(fs::exists(pdf));
  }
}

// Files in the folder other than the ones named.
std::vector<std::string> OtherFiles(const fs::path& folder, const std::vector<std::string>& known) {
  std::vector<std::string> others;
  for (const auto& item : fs::directory_iterator(folder)) {
    const std::string name = item.path().filename().string();
    if (std::find(known.begin(), known.end(), name) == known.end()) others.push_back(name);
  }
  return others;
}

TEST_F(PdfOutputTest, AFailedOrCancelledSaveKeepsTheTargetAndLeavesNoTemporaryFile) {
  const std::string target = dir_.File("target.pdf");
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  pxtest::WriteFile(target, old);
  const std::vector<std::string> known = {"picture.bmp", "colours.bmp", "checks.bmp", "grey.tif",
                                          "target.pdf"};
  struct Stop : ProgressSink {
    int calls = 0;
    bool Progress(const std::string&, int, const CPageImage*) override { return ++calls < 3; }
  };
  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    Stop stop;
    OutputReport cancelled =
        WriteOutputFile(pages_, target, &stop, nullptr, threads, {}, OutputFormat::kPDF);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_TRUE(pxtest::ReadFile(target) == old);
    EXPECT_TRUE(OtherFiles(dir_.path(), known).empty());

    std::vector<PageRecord> failing = pages_;
    failing[4].sourcePath = dir_.File("missing.bmp");
    OutputReport failed =
        WriteOutputFile(failing, target, nullptr, nullptr, threads, {}, OutputFormat::kPDF);
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(failed.failedPage, 4);
    EXPECT_TRUE(pxtest::ReadFile(target) == old);
    EXPECT_TRUE(OtherFiles(dir_.path(), known).empty());
  }
}

TEST(OutputFormatTest, PdfByTheNamesExtensionInEitherCase) {
  EXPECT_EQ(OutputFormatFor("a/b.pdf"), OutputFormat::kPDF);
  EXPECT_EQ(OutputFormatFor("B.PDF"), OutputFormat::kPDF);
  EXPECT_EQ(OutputFormatFor("b.Pdf"), OutputFormat::kPDF);
  EXPECT_EQ(OutputFormatFor("b.tif"), OutputFormat::kTIFF);
  EXPECT_EQ(OutputFormatFor("pdf"), OutputFormat::kTIFF);
  EXPECT_EQ(OutputFormatFor("b.pdf.tif"), OutputFormat::kTIFF);
}

}  // namespace
