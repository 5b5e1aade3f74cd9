// pageweaver-cli build with pages copied as their sources store them: what each page's
// line says, --reencode and the job field "copy", and the file as libtiff's tools,
// Pillow, ImageMagick and GraphicsMagick read it.
#include <tiffio.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_support.h"
#include "image_files.h"
#include "jpeg_gif_psd_fixtures.h"
#include "stored_page_support.h"
#include "test_support.h"
#include "tool_support.h"

namespace {

using pxtest::RunCli;
using pxtest::TempDir;
namespace fs = std::filesystem;

uint32_t Checks(uint32_t x, uint32_t y) {
  return ((x / 5 + y / 5) % 2) ? 0xF0F0F0u : 0x304050u;
}

// A colour JPEG, a grey JPEG, a G4 fax page and a BMP in `dir`.
struct Inputs {
  explicit Inputs(const TempDir& dir)
      : photo(dir.File("photo.jpg")),
        grey(dir.File("grey.jpg")),
        fax(dir.File("fax.tif")),
        bmp(dir.File("drawing.bmp")) {
    pxtest::WriteFile(photo, pxtest::EncodeJPEG(90, 70, pxtest::TestPicture(90, 70, 3)));
    pxtest::JPEGOptions options;
    options.components = 1;
    pxtest::WriteFile(grey, pxtest::EncodeJPEG(90, 70, pxtest::TestPicture(90, 70, 1), options));
    pxtest::SourceLayout layout;
    layout.bits = 1;
    layout.compression = COMPRESSION_CCITTFAX4;
    pxtest::WriteSourceTIFF(fax, layout);
    pxtest::WriteBMP24(bmp, 40, 30, Checks);
  }
  std::vector<std::string> All() const { return {photo, grey, fax, bmp}; }
  std::string photo, grey, fax, bmp;
};

TEST(CopyCli, EachPageLineSaysCopiedOrConverted) {
  TempDir dir;
  Inputs in(dir);
  const std::string out = dir.File("out.tif");
  std::vector<std::string> args = {"build", "-o", out};
  for (const std::string& p : in.All()) args.push_back(p);
  pxtest::CliResult r = RunCli(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("page 1: " + in.photo + " (copied)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("page 2: " + in.grey + " (copied)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("page 3: " + in.fax + " (copied)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("page 4: " + in.bmp + " (converted)"), std::string::npos) << r.err;
  EXPECT_EQ(pxtest::RawStrips(out, 0).at(0), pxtest::ReadFile(in.photo));
  EXPECT_EQ(pxtest::RawStrips(out, 2), pxtest::RawStrips(in.fax, 0));

  // Changed on the command line, the same pages are converted.
  args.insert(args.begin() + 1, {"--size", "45x35"});
  r = RunCli(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("(copied)"), std::string::npos) << r.err;
}

TEST(CopyCli, ReencodeConvertsEveryPage) {
  TempDir dir;
  Inputs in(dir);
  const std::string out = dir.File("out.tif");
  pxtest::CliResult r = RunCli({"build", "--reencode", "-o", out, in.photo, in.fax});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("page 1: " + in.photo + " (converted)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("page 2: " + in.fax + " (converted)"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("(copied)"), std::string::npos);
  // Converted, the JPEG page is compressed again: other bytes, nearly the same picture.
  EXPECT_NE(pxtest::RawStrips(out, 0).at(0), pxtest::ReadFile(in.photo));
  EXPECT_EQ(pxtest::TagValue(out, 0, TIFFTAG_COMPRESSION), COMPRESSION_JPEG);
  EXPECT_EQ(pxtest::DecodeRGBA(out, 1), pxtest::DecodeRGBA(in.fax, 0));
}

TEST(CopyCli, JobPagesMayRefuseTheCopy) {
  TempDir dir;
  Inputs in(dir);
  const std::string job = dir.File("job.json"), out = dir.File("out.tif");
  pxtest::WriteFile(job, pxtest::Bytes().str("[{\"path\": \"" + in.photo +
                                             "\", \"copy\": false}, "
                                             "{\"path\": \"" +
                                             in.fax + "\", \"copy\": true}]"));
  pxtest::CliResult r = RunCli({"build", "-o", out, "--job", job});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(in.photo + " (converted)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(in.fax + " (copied)"), std::string::npos) << r.err;

  // `pages` writes the field back only where it refuses the copy.
  r = RunCli({"pages", "--job", job});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("\"copy\": true"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\"copy\": false"), r.out.rfind("\"copy\": false")) << r.out;
  EXPECT_NE(r.out.find("\"copy\": false"), std::string::npos) << r.out;
  r = RunCli({"pages", "--reencode", in.fax});
  EXPECT_NE(r.out.find("\"copy\": false"), std::string::npos) << r.out;
}

TEST(CopyCli, ACopyFieldThatIsNoBooleanIsRefusedAndNothingIsWritten) {
  TempDir dir;
  Inputs in(dir);
  const std::string job = dir.File("job.json"), out = dir.File("out.tif");
  for (const char* value : {"0", "\"no\"", "null"}) {
    SCOPED_TRACE(value);
    pxtest::WriteFile(
        job, pxtest::Bytes().str("[{\"path\": \"" + in.photo + "\", \"copy\": " + value + "}]"));
    pxtest::CliResult r = RunCli({"build", "-o", out, "--job", job});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("page 1 (" + in.photo + "): \"copy\" " + value +
                         " is not allowed: true or false"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(out));
  }
}

// The file with copied pages as other programs read it.
class CopiedFileReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    in_ = std::make_unique<Inputs>(dir_);
    out_ = dir_.File("out.tif");
    pxtest::CliResult r = RunCli({"build", "-q", "-o", out_, in_->photo, in_->grey, in_->fax});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  TempDir dir_;
  std::unique_ptr<Inputs> in_;
  std::string out_;
};

#define REQUIRE_TOOL(var, name, package)          \
  const std::string var = pxtest::FindTool(name); \
  if (var.empty()) GTEST_SKIP() << name << " is not installed (" << package << ")"

TEST_F(CopiedFileReaders, LibtiffToolsDecodeEveryPage) {
  REQUIRE_TOOL(tiffinfo, "tiffinfo", "libtiff-tools");
  REQUIRE_TOOL(tiffcp, "tiffcp", "libtiff-tools");
  pxtest::ToolResult info = pxtest::RunTool(tiffinfo, {"-D", out_});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(info.err, "");
  pxtest::ToolResult copy = pxtest::RunTool(tiffcp, {out_, dir_.File("copy.tif")});
  EXPECT_EQ(copy.status, 0) << copy.err;
  EXPECT_EQ(copy.err, "");
  // tiffcp compresses JPEG pages again; the fax page it takes over as it is.
  EXPECT_EQ(pxtest::ReadTiffDirectories(dir_.File("copy.tif")).size(), 3u);
  EXPECT_EQ(pxtest::DecodeRGBA(dir_.File("copy.tif"), 2), pxtest::DecodeRGBA(out_, 2));
}

TEST_F(CopiedFileReaders, PillowReadsTheJPEGFilesPixels) {
  REQUIRE_TOOL(python, "python3", "python3");
  const std::string script =
      "import sys\n"
      "try:\n"
      "    from PIL import Image\n"
      "except ImportError:\n"
      "    sys.exit(77)\n"
      "out, photo, grey = sys.argv[1:4]\n"
      "for page, source in ((0, photo), (1, grey), (2, None)):\n"
      "    im = Image.open(out)\n"
      "    im.seek(page)\n"
      "    im.load()\n"
      "    if source:\n"
      "        ref = Image.open(source)\n"
      "        assert im.mode == ref.mode, (page, im.mode, ref.mode)\n"
      "        assert im.tobytes() == ref.tobytes(), page\n"
      "print('ok')\n";
  // Debian's Pillow belongs to the system's Python; a Python of its own may lack it.
  std::string interpreter = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : python;
  pxtest::ToolResult r = pxtest::RunTool(interpreter, {"-c", script, out_, in_->photo, in_->grey});
  if (r.status == 77) GTEST_SKIP() << "Pillow is not installed (python3-pil)";
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "ok\n");
}

TEST_F(CopiedFileReaders, ImageMagickAndGraphicsMagickIdentifyWithoutWarnings) {
  REQUIRE_TOOL(identify, "identify", "imagemagick");
  REQUIRE_TOOL(gm, "gm", "graphicsmagick");
  pxtest::ToolResult im = pxtest::RunTool(identify, {"-regard-warnings", out_});
  EXPECT_EQ(im.status, 0) << im.err;
  EXPECT_EQ(im.err, "");
  EXPECT_NE(im.out.find("out.tif[2]"), std::string::npos) << im.out;
  pxtest::ToolResult g = pxtest::RunTool(gm, {"identify", out_});
  EXPECT_EQ(g.status, 0) << g.err;
  EXPECT_EQ(g.err, "");
  EXPECT_NE(g.out.find("out.tif[2]"), std::string::npos) << g.out;
}

}  // namespace
