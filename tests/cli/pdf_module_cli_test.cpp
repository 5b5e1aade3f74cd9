// The CLI copied into a folder of its own with its PDF module as the case wants it there:
// installed beside it, missing, not a library, or of another version. Without a usable
// module a PDF save says why, fails and writes nothing; TIFF output does not need it.
#include <filesystem>

#include "image_files.h"
#include "test_support.h"
#include "tool_support.h"

namespace {

namespace fs = std::filesystem;

// A prefix holding bin/pageweaver-cli and, when `module` is given, that file as the
// program's PDF module.
struct Installed {
  explicit Installed(const std::string& module = {}) {
    fs::create_directories(dir.File("bin"));
    fs::copy_file(PXTEST_CLI_PATH, cli);
    if (module.empty()) return;
    fs::path target = fs::path(dir.File("bin")) / PXTEST_PDF_MODULE_RELATIVE;
    fs::create_directories(target.parent_path());
    fs::copy_file(module, target);
  }

  pxtest::ToolResult Build(const std::string& output) const {
    const std::string input = dir.File("in.bmp");
    pxtest::WriteBMP24(input, 16, 8, [](uint32_t x, uint32_t) { return x * 0x0F0F0F; });
    return pxtest::RunTool(cli, {"build", "-q", "-o", output, input});
  }

  // What the folder holds other than the input and the program's own folders.
  std::vector<std::string> Left() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.File("out")))
      names.push_back(entry.path().filename().string());
    return names;
  }

  pxtest::TempDir dir;
  std::string cli = dir.File("bin/pageweaver-cli");
};

std::string Head(const std::string& path) {
  std::vector<uint8_t> bytes = pxtest::ReadFile(path);
  return std::string(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 5));
}

TEST(PdfModuleCliTest, TheModuleIsFoundFromTheProgramsFolder) {
  Installed installed(PXTEST_PDF_MODULE_PATH);
  fs::create_directories(installed.dir.File("out"));
  const pxtest::ToolResult r = installed.Build(installed.dir.File("out/a.pdf"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Head(installed.dir.File("out/a.pdf")), "%PDF-");
}

TEST(PdfModuleCliTest, WithoutAUsableModuleAPdfSaveSaysWhyAndWritesNothing) {
  pxtest::TempDir files;
  const std::string notALibrary = files.File("garbage.so");
  pxtest::WriteFile(notALibrary, std::vector<uint8_t>(600, 'x'));
  const struct {
    std::string module;
    std::string reason;  // what the loader's message must name
  } cases[] = {
      {"", "No such file or directory"},
      {notALibrary, "invalid ELF header"},
      {PXTEST_PDF_MODULE_STUB, "is version 99, not 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.module.empty() ? std::string("no module") : c.module);
    Installed installed(c.module);
    fs::create_directories(installed.dir.File("out"));
    const pxtest::ToolResult r = installed.Build(installed.dir.File("out/a.pdf"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The output file could not be written:\nPDF output is not available: "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("error 4: "), std::string::npos) << r.err;
    // Neither the file nor its temporary is left.
    EXPECT_TRUE(installed.Left().empty()) << installed.Left().front();
    // TIFF output goes on without the module.
    const pxtest::ToolResult tiff = installed.Build(installed.dir.File("out/a.tif"));
    EXPECT_EQ(tiff.status, 0) << tiff.err;
    EXPECT_EQ(installed.Left(), std::vector<std::string>{"a.tif"});
  }
}

}  // namespace
