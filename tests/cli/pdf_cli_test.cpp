// build writes a PDF for an output named .pdf, or as --format says.
#include <filesystem>

#include "cli_support.h"
#include "image_files.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::string Head(const std::string& path) {
  std::vector<uint8_t> bytes = pxtest::ReadFile(path);
  return std::string(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 4));
}

TEST(PdfCliTest, TheFormatFollowsTheNameUnlessToldOtherwise) {
  pxtest::TempDir dir;
  const std::string input = dir.File("in.bmp");
  pxtest::WriteBMP24(input, 16, 8, [](uint32_t x, uint32_t) { return x * 0x0F0F0F; });
  for (const char* name : {"a.pdf", "b.PDF"}) {
    pxtest::CliResult r = pxtest::RunCli({"build", "-q", "-o", dir.File(name), input});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Head(dir.File(name)), "%PDF") << name;
  }
  pxtest::CliResult tiff =
      pxtest::RunCli({"build", "-q", "--format", "tiff", "-o", dir.File("c.pdf"), input});
  ASSERT_EQ(tiff.status, 0) << tiff.err;
  EXPECT_EQ(Head(dir.File("c.pdf")), std::string("II*\0", 4));
  pxtest::CliResult pdf =
      pxtest::RunCli({"build", "-q", "--format", "pdf", "-o", dir.File("d.tif"), input});
  ASSERT_EQ(pdf.status, 0) << pdf.err;
  EXPECT_EQ(Head(dir.File("d.tif")), "%PDF");
}

TEST(PdfCliTest, ABadFormatIsNamedAndNothingIsWritten) {
  pxtest::TempDir dir;
  const std::string input = dir.File("in.bmp");
  pxtest::WriteBMP24(input, 4, 4, [](uint32_t, uint32_t) { return 0u; });
  pxtest::CliResult r =
      pxtest::RunCli({"build", "--format", "jpeg", "-o", dir.File("out.pdf"), input});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--format jpeg: allowed tiff or pdf"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir.File("out.pdf")));
  pxtest::CliResult pages = pxtest::RunCli({"pages", "--format", "pdf", input});
  EXPECT_EQ(pages.status, 2);
  EXPECT_NE(pages.err.find("--format"), std::string::npos) << pages.err;
}

}  // namespace
