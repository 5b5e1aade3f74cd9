// pageweaver FILE...: what the command line's arguments become, and a TIFF opened for
// editing and saved back into itself.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "document/page_image.h"
#include "image_files.h"
#include "ui/application.h"
#include "ui/command_line.h"
#include "ui/main_frame.h"
#include "ui/page_list_view.h"
#include "ui/sub_frame_dlg.h"
#include "ui_support.h"

namespace {

namespace fs = std::filesystem;

// Page i of the three-page test TIFF: a colour of its own with a stripe where x == y.
uint32_t PagePixel(int page, uint32_t x, uint32_t y) {
  const uint32_t colors[] = {0xC01020, 0x10C020, 0x2010C0};
  return x == y ? 0xFFFFFF : colors[page];
}

class CommandLineTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name) { return fs::absolute(fx_.dir.File(name)).string(); }
  std::string ThreePages(const std::string& name) {
    std::vector<pxtest::TiffPage> pages(3);
    for (int i = 0; i < 3; ++i) {
      pages[i].width = 12;
      pages[i].height = 9;
      pages[i].bits = 24;
      pages[i].pixel = [i](uint32_t x, uint32_t y) { return PagePixel(i, x, y); };
    }
    pxtest::WriteTIFF(File(name), pages);
    return File(name);
  }
  static QStringList Args(const std::vector<std::string>& args) {
    QStringList list;
    for (const std::string& a : args) list << QString::fromStdString(a);
    return list;
  }
  uitest::DocumentFixture fx_;
};

TEST_F(CommandLineTest, ArgumentsBecomePagesAnOutputOrFaults) {
  std::string a = fx_.Bmp("a.bmp"), b = fx_.Bmp("b.bmp"), tif = ThreePages("three.tif");
  std::ofstream(File("notes.txt")) << "not an image";
  std::ofstream(File("fake.tif")) << "not a TIFF either";
  fs::create_directories(File("folder"));

  StartupRequest r = ParseStartupArguments(Args({b, a}));
  EXPECT_EQ(r.pages, (std::vector<std::string>{b, a}));  // the order given
  EXPECT_TRUE(r.output.empty());
  EXPECT_TRUE(r.faults.isEmpty());

  // An image that is not a TIFF is never the output file.
  r = ParseStartupArguments(Args({a}));
  EXPECT_EQ(r.pages, (std::vector<std::string>{a}));
  EXPECT_TRUE(r.output.empty());
  EXPECT_TRUE(r.editFile.empty());
  r = ParseStartupArguments(Args({File("fake.tif")}));
  EXPECT_TRUE(r.output.empty());

  // A TIFF alone is edited: it is the output, and gives its pages itself.
  r = ParseStartupArguments(Args({tif}));
  EXPECT_EQ(r.editFile, tif);
  EXPECT_EQ(r.output, tif);
  EXPECT_TRUE(r.pages.empty());
  // With another output named, it is pages like any other file.
  r = ParseStartupArguments(Args({"--output", File("out.tif"), tif}));
  EXPECT_EQ(r.pages, (std::vector<std::string>{tif}));
  EXPECT_EQ(r.output, File("out.tif"));
  EXPECT_TRUE(r.editFile.empty());

  // A new TIFF name is the output file, beside pages too.
  r = ParseStartupArguments(Args({File("new.TIFF")}));
  EXPECT_EQ(r.output, File("new.TIFF"));
  r = ParseStartupArguments(Args({a, File("new.tif")}));
  EXPECT_EQ(r.pages, (std::vector<std::string>{a}));
  EXPECT_EQ(r.output, File("new.tif"));
  r = ParseStartupArguments(Args({"--output=" + File("o.tif"), a}));
  EXPECT_EQ(r.output, File("o.tif"));

  // "--" ends the options: a file may start with a dash.
  std::string dashed = fx_.Bmp("-dash.bmp");
  r = ParseStartupArguments(Args({"--", dashed}));
  EXPECT_EQ(r.pages, (std::vector<std::string>{dashed}));

  // Everything else is named, each with what is wrong with it, and the rest still counts.
  r = ParseStartupArguments(
      Args({File("missing.jpg"), File("notes.txt"), File("folder"), "--frobnicate", File("one.tif"),
            File("two.tif"), a, File("no/such/folder/out.tif")}));
  EXPECT_EQ(r.pages, (std::vector<std::string>{a}));
  EXPECT_TRUE(r.output.empty());
  ASSERT_EQ(r.faults.size(), 7) << r.faults.join('\n').toStdString();
  for (const char* named :
       {"missing.jpg: no such file", "notes.txt: not an image file", "folder: not a file",
        "--frobnicate: unknown option", "one.tif: no such file", "two.tif: no such file",
        "out.tif: no such file"})
    EXPECT_TRUE(r.faults.join('\n').contains(QString::fromUtf8(named))) << named;
  r = ParseStartupArguments(Args({"--output", File("no/such/folder/x.tif")}));
  EXPECT_TRUE(r.output.empty());
  EXPECT_TRUE(r.faults.join('\n').contains("no such folder"));
  r = ParseStartupArguments(Args({"-o"}));
  EXPECT_TRUE(r.faults.join('\n').contains("-o: needs a file name"));
}

TEST_F(CommandLineTest, HelpAndVersionNeedNoWindow) {
  auto answer = [](std::vector<std::string> args, std::string* printed) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    FILE* out = std::tmpfile();
    int status = AnswerInformationalOptions(int(argv.size()), argv.data(), out);
    std::rewind(out);
    printed->clear();
    for (int c; (c = std::fgetc(out)) != EOF;) printed->push_back(char(c));
    std::fclose(out);
    return status;
  };
  std::string text;
  EXPECT_EQ(answer({"pageweaver", "a.bmp", "--help"}, &text), 0);
  EXPECT_EQ(text.rfind("usage: pageweaver [--output FILE.tif] [FILE...]", 0), 0u) << text;
  EXPECT_NE(text.find("--output"), std::string::npos);
  EXPECT_EQ(answer({"pageweaver", "-h"}, &text), 0);
  EXPECT_EQ(answer({"pageweaver", "--version"}, &text), 0);
  EXPECT_EQ(text.rfind("pageweaver 1.", 0), 0u) << text;
  EXPECT_EQ(answer({"pageweaver", "a.bmp"}, &text), -1);
  EXPECT_EQ(answer({"pageweaver", "--", "--help"}, &text), -1);  // a file of that name
  EXPECT_EQ(answer({"pageweaver", "-o", "--help"}, &text), -1);
  EXPECT_TRUE(text.empty());
}

TEST_F(CommandLineTest, AnImageNamedOnTheCommandLineIsOnlyAPage) {
  std::string photo = fx_.Bmp("photo.bmp");
  std::vector<uint8_t> before = pxtest::ReadFile(photo);
  uitest::MessageRecorder messages;
  CPageWeaverApp app(&fx_.preferences, &fx_.cache);
  ASSERT_TRUE(app.InitInstance(Args({"pageweaver", photo, File("missing.png")})));
  EXPECT_EQ(app.Document()->PageCount(), 1u);
  EXPECT_TRUE(app.Document()->Path().empty());
  EXPECT_TRUE(app.Frame()->windowTitle().startsWith("Untitled"));
  ASSERT_EQ(messages.texts.size(), 1u);  // one message names the argument it left out
  EXPECT_TRUE(messages.texts[0].contains("missing.png: no such file"));
  EXPECT_EQ(pxtest::ReadFile(photo), before);
}

TEST_F(CommandLineTest, AnOutputThatIsNotATiffIsReplacedOnlyWhenTheUserSaysSo) {
  std::string photo = fx_.Bmp("photo.bmp"), page = fx_.Bmp("page.bmp");
  std::vector<uint8_t> before = pxtest::ReadFile(photo);
  CPageWeaverApp app(&fx_.preferences, &fx_.cache);
  ASSERT_TRUE(app.InitInstance(Args({"pageweaver", "--output", photo, page})));
  {
    uitest::MessageRecorder no(pwui::Answer::kNo);
    EXPECT_FALSE(app.Frame()->Save());
    ASSERT_EQ(no.texts.size(), 1u);
    EXPECT_TRUE(no.texts[0].contains("is not a TIFF file")) << no.texts[0].toStdString();
  }
  EXPECT_EQ(pxtest::ReadFile(photo), before);
  uitest::MessageRecorder yes(pwui::Answer::kYes);
  EXPECT_TRUE(app.Frame()->Save());
  EXPECT_TRUE(CPageImage::HasTiffContent(photo));
  // A TIFF is written over without a question.
  yes.texts.clear();
  EXPECT_TRUE(app.Frame()->Save());
  EXPECT_TRUE(yes.texts.empty());
}

// A PDF output is saved again without a question, as a TIFF is.
TEST_F(CommandLineTest, APdfOutputIsSavedAgainWithoutAQuestion) {
  std::string page = fx_.Bmp("page.bmp"), pdf = File("out.pdf");
  CPageWeaverApp app(&fx_.preferences, &fx_.cache);
  ASSERT_TRUE(app.InitInstance(Args({"pageweaver", "--output", pdf, page})));
  uitest::MessageRecorder messages(pwui::Answer::kNo);
  ASSERT_TRUE(app.Frame()->Save());
  ASSERT_TRUE(app.Frame()->Save());
  EXPECT_TRUE(messages.texts.empty()) << messages.texts[0].toStdString();
  EXPECT_EQ(pxtest::ReadFile(pdf)[0], '%');
}

TEST_F(CommandLineTest, AFileNamedPdfThatIsNoPdfIsReplacedOnlyWhenTheUserSaysSo) {
  std::string page = fx_.Bmp("page.bmp"), notPdf = fx_.Bmp("not-a-pdf.pdf");
  const std::vector<uint8_t> before = pxtest::ReadFile(notPdf);
  CPageWeaverApp app(&fx_.preferences, &fx_.cache);
  ASSERT_TRUE(app.InitInstance(Args({"pageweaver", "--output", notPdf, page})));
  uitest::MessageRecorder messages(pwui::Answer::kNo);
  EXPECT_FALSE(app.Frame()->Save());
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_TRUE(messages.texts[0].contains("is not a PDF file")) << messages.texts[0].toStdString();
  EXPECT_EQ(pxtest::ReadFile(notPdf), before);
}

TEST_F(CommandLineTest, ATiffOpenedForEditingIsSavedBackIntoItself) {
  std::string tif = ThreePages("scan.tif");
  // The chooser must not come: all pages are taken. Should it come, its own event loop
  // is the first to run this.
  QTimer::singleShot(0, [] {
    if (auto* chooser = qobject_cast<CSubFrameDlg*>(QApplication::activeModalWidget())) {
      ADD_FAILURE() << "the page chooser opened";
      chooser->reject();
    }
  });
  uitest::MessageRecorder messages;
  CPageWeaverApp app(&fx_.preferences, &fx_.cache);
  ASSERT_TRUE(app.InitInstance(Args({"pageweaver", tif})));
  CPageWeaverListView* list = app.Frame()->ListView();
  ASSERT_EQ(list->PageModel()->rowCount(), 3);
  EXPECT_TRUE(app.Frame()->windowTitle().startsWith("scan.tif"));

  ASSERT_TRUE(app.Document()->RemovePages({list->PageModel()->PageIdAt(1)}));
  ASSERT_TRUE(app.Frame()->Save());
  EXPECT_TRUE(messages.texts.empty());
  auto expectPages = [&](const std::vector<int>& sources) {
    ASSERT_EQ(pxtest::ReadTiffDirectories(tif).size(), sources.size());
    for (size_t k = 0; k < sources.size(); ++k) {
      CPageImage page;
      ASSERT_EQ(page.Load(tif, UNKNOWN, int(k)), 0);
      ASSERT_EQ(page.BitsPerPixel(), 24u);
      ASSERT_EQ(page.Width(), 12u);
      ASSERT_EQ(page.Height(), 9u);
      for (uint32_t y = 0; y < 9; ++y) {
        for (uint32_t x = 0; x < 12; ++x) {
          const uint8_t* p = page.Pixels() + y * page.RowBytes() + 3 * x;
          uint32_t rgb = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
          ASSERT_EQ(rgb, PagePixel(sources[k], x, y)) << "page " << k << " at " << x << "," << y;
        }
      }
    }
  };
  expectPages({0, 2});

  // The pages now are the file's two pages: saving again keeps them as they are.
  std::vector<int> frames;
  for (int row = 0; row < list->PageModel()->rowCount(); ++row)
    frames.push_back(app.Document()->FindPage(list->PageModel()->PageIdAt(row))->frameIndex);
  EXPECT_EQ(frames, (std::vector<int>{0, 1}));
  const QString label = list->PageModel()->PageAt(1)->label;
  EXPECT_TRUE(label.endsWith("(1)")) << label.toStdString();
  ASSERT_TRUE(app.Frame()->Save());
  expectPages({0, 2});
  EXPECT_TRUE(messages.texts.empty());
}

}  // namespace
