// pageweaver-cli build and pages: multi-page TIFFs from every input format, per-page
// settings through job files, and what failures leave behind.
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "cli_support.h"
#include "image_files.h"
#include "jpeg_gif_psd_fixtures.h"
#include "json.h"
#include "metafile_builder.h"
#include "small_format_fixtures.h"
#include "test_support.h"

namespace {

using pxtest::RunCli;
using pxtest::TempDir;
namespace fs = std::filesystem;

uint32_t Pattern(uint32_t x, uint32_t y) {
  return ((x / 4 + y / 4) % 2) ? 0xFFFFFFu : (0x102030u + 0x010000u * (x % 64));
}

// One small file of every input format in `dir`; returns their paths.
std::vector<std::string> WriteEveryFormat(const TempDir& dir) {
  std::vector<std::string> paths;
  auto add = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    paths.push_back(dir.File(name));
    pxtest::WriteFile(paths.back(), bytes);
  };
  paths.push_back(dir.File("a.bmp"));
  pxtest::WriteBMP24(paths.back(), 40, 30, Pattern);
  paths.push_back(dir.File("b.png"));
  pxtest::WritePNG24(paths.back(), 40, 30, Pattern);
  paths.push_back(dir.File("c.tif"));
  pxtest::TiffPage page;
  page.width = 40;
  page.height = 30;
  page.bits = 24;
  page.pixel = Pattern;
  pxtest::WriteTIFF(paths.back(), {page});
  add("d.jpg", pxtest::EncodeJPEG(40, 30, pxtest::TestPicture(40, 30, 3)));
  pxtest::GIFFile gif;
  gif.width = 4;
  gif.height = 2;
  gif.globalTable = {0, 0, 0, 255, 255, 255};
  pxtest::GIFImage image;
  image.width = 4;
  image.height = 2;
  image.minCodeSize = 2;
  image.indices = {0, 1, 0, 1, 1, 0, 1, 0};
  gif.images.push_back(image);
  add("e.gif", pxtest::BuildGIF(gif));
  pxtest::PcxFile pcx;
  pcx.width = 4;
  pcx.height = 2;
  pcx.planes = 3;
  pcx.lines = {std::vector<uint8_t>(12, 0x80), std::vector<uint8_t>(12, 0x40)};
  add("f.pcx", pcx.Build());
  pxtest::TgaFile tga;
  tga.width = 3;
  tga.height = 2;
  tga.data = std::vector<uint8_t>(18, 0x7F);
  add("g.tga", tga.Build());
  pxtest::PSDFile psd;
  psd.width = 3;
  psd.height = 2;
  psd.compression = 0;
  psd.planes = {std::vector<uint8_t>(6, 10), std::vector<uint8_t>(6, 20),
                std::vector<uint8_t>(6, 30)};
  add("h.psd", pxtest::BuildPSD(psd));
  std::vector<uint8_t> wbmp = pxtest::WbmpHeader(9, 2);
  wbmp.insert(wbmp.end(), {0xAA, 0x80, 0x55, 0x00});
  add("i.wbmp", wbmp);
  // A filled rectangle, as a placeable Windows metafile and as an enhanced metafile.
  pxtest::WmfBuilder wmf;
  wmf.Add(0x041B, {20, 20, 0, 0});  // Rectangle
  add("j.wmf", wmf.Finish(true, 0, 0, 40, 30, 1440));
  pxtest::EmfBuilder emf(20, 10);
  emf.Add(43, {0, 0, 10, 5});  // EMR_RECTANGLE
  add("k.emf", emf.Finish());
  return paths;
}

TEST(CliBuild, EveryFormatAndEveryCompressionThroughAJob) {
  TempDir dir;
  std::vector<std::string> inputs = WriteEveryFormat(dir);
  const int compressions[] = {1, 2, 3, 4, 5, 7, 32773, 32946};
  json::Value job = json::Value::Array();
  std::vector<pxtest::TiffDirectory> expected;
  for (size_t i = 0; i < inputs.size(); ++i) {
    int compression = compressions[i % 8];
    bool bilevel = compression >= 2 && compression <= 4;
    int bits = bilevel ? 1 : compression == 7 ? 24 : (i % 2 ? 8 : 24);
    json::Value page = json::Value::Object();
    page.Set("path", inputs[i]);
    page.Set("frame", 0);
    page.Set("width", 64);
    page.Set("height", 48);
    page.Set("resolution_x", 100 + int(i));
    page.Set("resolution_y", 200);
    page.Set("resolution_unit", 2);
    page.Set("bits_per_pixel", bits);
    page.Set("compression", compression);
    job.Append(std::move(page));
    pxtest::TiffDirectory d;
    d.bits = uint16_t(bits == 24 ? 8 : bits);
    d.samples = uint16_t(bits == 24 ? 3 : 1);
    d.compression = uint16_t(compression);
    d.xres = float(100 + i);
    expected.push_back(d);
  }
  std::string jobPath = dir.File("job.json"), out = dir.File("out.tif");
  pxtest::WriteFile(jobPath, [&] {
    std::string text = job.Dump(2);
    return std::vector<uint8_t>(text.begin(), text.end());
  }());
  auto r = RunCli({"build", "-o", out, "--job", jobPath});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(std::to_string(inputs.size()) + " pages"), std::string::npos) << r.out;
  auto dirs = pxtest::ReadTiffDirectories(out);
  ASSERT_EQ(dirs.size(), inputs.size());
  for (size_t i = 0; i < dirs.size(); ++i) {
    SCOPED_TRACE(inputs[i]);
    EXPECT_LE(dirs[i].width, 64u);
    EXPECT_LE(dirs[i].height, 48u);
    EXPECT_TRUE(dirs[i].width == 64 || dirs[i].height == 48);  // fitted into the box
    EXPECT_EQ(dirs[i].bits, expected[i].bits);
    EXPECT_EQ(dirs[i].samples, expected[i].samples);
    EXPECT_EQ(dirs[i].compression, expected[i].compression);
    EXPECT_EQ(dirs[i].unit, 2);
    EXPECT_FLOAT_EQ(dirs[i].xres, expected[i].xres);
    EXPECT_FLOAT_EQ(dirs[i].yres, 200);
  }
  if (fs::exists("/usr/bin/tiffinfo")) {
    auto info = std::system(("tiffinfo " + out + " > " + dir.File("info.txt") + " 2>&1").c_str());
    EXPECT_EQ(info, 0);
  }
}

TEST(CliBuild, GivenOrderPickedPagesAndOverrides) {
  TempDir dir;
  std::string multi = dir.File("multi.tif"), bmp = dir.File("z.bmp");
  std::vector<pxtest::TiffPage> pages(3);
  for (size_t i = 0; i < pages.size(); ++i) {
    pages[i].width = uint32_t(10 + i);
    pages[i].height = 10;
  }
  pxtest::WriteTIFF(multi, pages);
  pxtest::WriteBMP24(bmp, 5, 5, Pattern);
  std::string out = dir.File("o.tif");
  auto r = RunCli({"build", "-o", out, "--quiet", "--depth", "1", "--compression", "g4", "--dpi",
                   "300", bmp, multi + "#2", multi + "#0"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto dirs = pxtest::ReadTiffDirectories(out);
  ASSERT_EQ(dirs.size(), 3u);
  EXPECT_EQ(dirs[0].width, 5u);
  EXPECT_EQ(dirs[1].width, 10u);  // the chooser hands pages in ascending order
  EXPECT_EQ(dirs[2].width, 12u);
  for (const auto& d : dirs) {
    EXPECT_EQ(d.compression, 4);
    EXPECT_EQ(d.bits, 1);
    EXPECT_FLOAT_EQ(d.xres, 300);
    EXPECT_EQ(d.unit, 2);
  }
  // Without '#' a multi-page TIFF gives all its pages; "none" is the reversed order.
  r = RunCli({"build", "-o", out, "--quiet", "--sort", "none", multi, bmp});
  ASSERT_EQ(r.status, 0) << r.err;
  dirs = pxtest::ReadTiffDirectories(out);
  ASSERT_EQ(dirs.size(), 4u);
  EXPECT_EQ(dirs[0].width, 5u);
  EXPECT_EQ(dirs[1].width, 10u);
  EXPECT_EQ(dirs[3].width, 12u);
}

TEST(CliBuild, PagesWritesTheJobThatBuildUses) {
  TempDir dir;
  std::string a = dir.File("a.bmp");
  pxtest::WriteBMP24(a, 30, 10, Pattern);
  auto r = RunCli({"pages", "--rotate", "90", "--size", "15x15", a});
  ASSERT_EQ(r.status, 0) << r.err;
  json::Value job;
  std::string error;
  ASSERT_TRUE(json::Parse(r.out, &job, &error)) << error;
  ASSERT_EQ(job.Items().size(), 1u);
  EXPECT_EQ(job.Items()[0].Find("rotation")->AsNumber(), 90);
  EXPECT_EQ(job.Items()[0].Find("bits_per_pixel")->AsNumber(), 24);
  std::string jobPath = dir.File("job.json"), out = dir.File("o.tif");
  pxtest::WriteFile(jobPath, std::vector<uint8_t>(r.out.begin(), r.out.end()));
  r = RunCli({"build", "-o", out, "--quiet", "--job", jobPath});
  ASSERT_EQ(r.status, 0) << r.err;
  auto dirs = pxtest::ReadTiffDirectories(out);
  ASSERT_EQ(dirs.size(), 1u);
  EXPECT_EQ(dirs[0].width, 5u);  // 30 x 10 fitted into 15 x 15, then turned
  EXPECT_EQ(dirs[0].height, 15u);
}

TEST(CliBuild, FailuresLeaveTheOutputUntouched) {
  TempDir dir;
  std::string a = dir.File("a.bmp"), b = dir.File("b.bmp"), out = dir.File("o.tif");
  pxtest::WriteBMP24(a, 4, 4, Pattern);
  pxtest::WriteFile(b, {'B', 'M', 1, 2, 3});
  pxtest::WriteFile(out, {'k', 'e', 'e', 'p'});
  auto r = RunCli({"build", "-o", out, a, b});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(b), std::string::npos);
  EXPECT_EQ(pxtest::ReadFile(out), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
  r = RunCli({"build", "-o", out, dir.File("missing.png")});
  EXPECT_EQ(r.status, 1);
  r = RunCli({"build", "-o", out, a + "#3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error 5: Internal parameter error"), std::string::npos) << r.err;
  EXPECT_EQ(RunCli({"build", a}).status, 2);                             // no -o
  EXPECT_EQ(RunCli({"build", "-o", out, "--depth", "4", a}).status, 2);  // bad value
  size_t files = 0;
  for (const auto& item : fs::directory_iterator(dir.path())) files += item.is_regular_file();
  EXPECT_EQ(files, 3u);  // no temporary file left behind
}

// Runs in a folder of its own, so that relative names carry no folder part: every order
// is decided by the names and times alone.
class WorkingFolder {
 public:
  explicit WorkingFolder(const fs::path& folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~WorkingFolder() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

std::vector<std::string> PagePaths(const pxtest::CliResult& r) {
  json::Value job;
  std::string error;
  EXPECT_TRUE(json::Parse(r.out, &job, &error)) << error << r.err;
  std::vector<std::string> paths;
  for (const json::Value& page : job.Items()) paths.push_back(page.Find("path")->AsString());
  return paths;
}

TEST(CliSort, EveryOrderReachesTheDocument) {
  TempDir dir;
  WorkingFolder here(dir.path());
  // Prefixes (a, b, B), extensions, trailing numbers and times all differ, so that each
  // of the eight orders gives a sequence of its own.
  const std::vector<std::string> given = {"b10.bmp", "b1.png", "B9.bmp", "a2.png"};
  const int ages[] = {1, 2, 4, 3};  // hours before now: B9 is the oldest, b10 the newest
  auto now = fs::file_time_type::clock::now();
  for (size_t i = 0; i < given.size(); ++i) {
    if (given[i].ends_with(".bmp"))
      pxtest::WriteBMP24(given[i], 4, 4, Pattern);
    else
      pxtest::WritePNG24(given[i], 4, 4, Pattern);
    fs::last_write_time(given[i], now - std::chrono::hours(ages[i]));
  }
  const std::map<std::string, std::vector<std::string>> expected = {
      {"given", {"b10.bmp", "b1.png", "B9.bmp", "a2.png"}},
      {"none", {"a2.png", "B9.bmp", "b1.png", "b10.bmp"}},
      {"alpha", {"a2.png", "b1.png", "b10.bmp", "B9.bmp"}},
      {"alpha-rev", {"B9.bmp", "b10.bmp", "b1.png", "a2.png"}},
      {"alnum", {"a2.png", "B9.bmp", "b10.bmp", "b1.png"}},
      {"alnum-rev", {"b1.png", "b10.bmp", "B9.bmp", "a2.png"}},
      {"date", {"B9.bmp", "a2.png", "b1.png", "b10.bmp"}},
      {"date-rev", {"b10.bmp", "b1.png", "a2.png", "B9.bmp"}},
  };
  std::set<std::vector<std::string>> distinct;
  for (const auto& [sort, order] : expected) {
    SCOPED_TRACE(sort);
    std::vector<std::string> args = {"pages", "--sort", sort};
    args.insert(args.end(), given.begin(), given.end());
    EXPECT_EQ(PagePaths(RunCli(args)), order);
    distinct.insert(order);
  }
  EXPECT_EQ(distinct.size(), expected.size());
  std::vector<std::string> plain = {"pages"};
  plain.insert(plain.end(), given.begin(), given.end());
  EXPECT_EQ(PagePaths(RunCli(plain)), expected.at("given"));
}

// The lines of standard error that name `what`.
std::vector<std::string> LinesNaming(const std::string& err, const std::string& what) {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);)
    if (line.find(what) != std::string::npos) lines.push_back(line);
  return lines;
}

TEST(CliJob, EveryBadFieldIsNamedAndNothingIsWritten) {
  TempDir dir;
  std::string a = dir.File("a.bmp"), b = dir.File("b.bmp"), out = dir.File("o.tif");
  pxtest::WriteBMP24(a, 4, 4, Pattern);
  pxtest::WriteBMP24(b, 4, 4, Pattern);
  std::string jobPath = dir.File("job.json");
  auto write = [&](const std::string& text) {
    pxtest::WriteFile(jobPath, std::vector<uint8_t>(text.begin(), text.end()));
  };
  write("[{\"path\": \"" + a +
        "\", \"width\": -5, \"bits_per_pixel\": 7},\n"
        " {\"path\": \"" +
        b +
        "\", \"compression\": 6, \"rotation\": 45, \"resolution_x\": 0,"
        " \"height\": \"100\", \"threshold\": 12.5, \"widht\": 3},\n"
        " {\"frame\": -1}, 7]");
  auto r = RunCli({"build", "-o", out, "--quiet", "--job", jobPath});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_FALSE(fs::exists(out));
  struct Expected {
    std::string page, field, allowed;
  } cases[] = {
      {"page 1 (" + a + ")", "\"width\" -5", "1 to 20000"},
      {"page 1 (" + a + ")", "\"bits_per_pixel\" 7", "1, 8, 24"},
      {"page 2 (" + b + ")", "\"compression\" 6", "32946 (Deflate)"},
      {"page 2 (" + b + ")", "\"rotation\" 45", "0, 90, 180 or 270"},
      {"page 2 (" + b + ")", "\"resolution_x\" 0", "resolution_unit"},
      {"page 2 (" + b + ")", "\"height\" \"100\"", "1 to 20000"},
      {"page 2 (" + b + ")", "\"threshold\" 12.5", "0 to 255"},
      {"page 2 (" + b + ")", "unknown field \"widht\"", "width"},
      {"page 3", "no \"path\"", ""},
      {"page 3", "\"frame\" -1", "from 0"},
      {"page 4", "a page is an object", "not 7"},
  };
  for (const Expected& c : cases) {
    SCOPED_TRACE(c.field);
    std::vector<std::string> lines = LinesNaming(r.err, c.page + ": " + c.field);
    ASSERT_EQ(lines.size(), 1u) << r.err;
    EXPECT_NE(lines[0].find(c.allowed), std::string::npos) << lines[0];
  }

  // The values the dialog allows pass, and so does every job `pages` prints.
  write("[{\"path\": \"" + a +
        "\", \"width\": 20000, \"height\": 1, \"resolution_x\": 0,"
        " \"resolution_unit\": 1, \"bits_per_pixel\": 1, \"compression\": 4,"
        " \"rotation\": 270, \"flip\": 2, \"threshold\": 255}]");
  r = RunCli({"build", "-o", out, "--quiet", "--job", jobPath});
  EXPECT_EQ(r.status, 0) << r.err;
  r = RunCli({"pages", "--depth", "keep", "--dpi", "0", "--unit", "none", a, b});
  ASSERT_EQ(r.status, 0) << r.err;
  write(r.out);
  r = RunCli({"build", "-o", out, "--quiet", "--job", jobPath});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(CliJob, BadOptionsAreNamedWithTheirValues) {
  TempDir dir;
  std::string a = dir.File("a.bmp"), out = dir.File("o.tif");
  pxtest::WriteBMP24(a, 4, 4, Pattern);
  auto r = RunCli({"build", "-o", out, "--size", "0x5", "--dpi", "-3", "--threshold", "300",
                   "--rotate", "45", "--threads", "0", a});
  EXPECT_EQ(r.status, 2);
  for (const char* line :
       {"--size 0x5: allowed WxH, each 1 to 20000", "--dpi -3: allowed X or XxY, each 0 to 20000",
        "--threshold 300: allowed 0 to 255", "--rotate 45: allowed 0, 90, 180 or 270",
        "--threads 0: allowed"})
    EXPECT_EQ(LinesNaming(r.err, line).size(), 1u) << line << "\n" << r.err;
  EXPECT_EQ(RunCli({"build", "-o", out, "--dpi", "0", a}).status, 2);  // 0 means no unit
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(RunCli({"build", "-o", out, "--quiet", "--dpi", "0", "--unit", "none", a}).status, 0);
}

TEST(CliHelp, EveryCommandPrintsItsUsage) {
  for (const std::string command : {"build", "pages", "info", "decode"}) {
    SCOPED_TRACE(command);
    auto r = RunCli({command, "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: pageweaver-cli " + command, 0), 0u) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_EQ(RunCli({command, "-h"}).out, r.out);
    EXPECT_EQ(RunCli({"help", command}).out, r.out);
  }
  auto build = RunCli({"build", "--help"});
  for (const char* option :
       {"--sort", "alnum-rev", "--size", "--dpi", "--unit", "--depth", "--threshold",
        "--compression", "--rotate", "--flip", "--threads", "--quiet", "--job"})
    EXPECT_NE(build.out.find(option), std::string::npos) << option;
  EXPECT_EQ(RunCli({"help", "frobnicate"}).status, 2);
  auto general = RunCli({"help"});
  EXPECT_EQ(general.status, 0);
  EXPECT_NE(general.out.find("help COMMAND"), std::string::npos);
}

}  // namespace
