// The chooser of pages of a multi-page file.
#include <tiffio.h>

#include <QListWidget>
#include <QPushButton>
#include <fstream>

#include "image_files.h"
#include "ui/sub_frame_dlg.h"
#include "ui_support.h"

namespace {

std::string ThreePages(const pxtest::TempDir& dir) {
  std::string path = dir.File("scan.tif");
  std::vector<pxtest::TiffPage> pages(3);
  for (size_t i = 0; i < pages.size(); ++i) {
    pages[i].width = 20 + uint32_t(i) * 10;
    pages[i].height = 16;
    pages[i].pixel = [i](uint32_t x, uint32_t) { return uint32_t((x * 9 + i * 80) % 256) << 16; };
  }
  pxtest::WriteTIFF(path, pages);
  return path;
}

// Gives directory `index` a compression no reader knows, so that page cannot be read.
void SpoilPage(const std::string& path, int index) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  ASSERT_TRUE(TIFFSetDirectory(tif, tdir_t(index)));
  uint64_t offset = TIFFCurrentDirOffset(tif);
  ASSERT_FALSE(TIFFIsByteSwapped(tif));  // little-endian on this machine
  TIFFClose(tif);
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekg(std::streamoff(offset));
  uint16_t count = 0;
  file.read(reinterpret_cast<char*>(&count), 2);
  for (uint16_t i = 0; i < count; ++i) {
    std::streamoff entry = std::streamoff(offset + 2 + i * 12u);
    file.seekg(entry);
    uint16_t tag = 0;
    file.read(reinterpret_cast<char*>(&tag), 2);
    if (tag != TIFFTAG_COMPRESSION) continue;
    uint16_t unknown = 34999;
    file.seekp(entry + 8);
    file.write(reinterpret_cast<const char*>(&unknown), 2);
    return;
  }
  FAIL() << "no compression tag";
}

QStringList Labels(CSubFrameDlg& dlg) {
  QStringList labels;
  for (int i = 0; i < dlg.FrameList()->count(); ++i) labels << dlg.FrameList()->item(i)->text();
  return labels;
}

TEST(SubFrameDlgTest, ListsEveryPageByFileNameAndNumber) {
  pxtest::TempDir dir;
  std::string path = ThreePages(dir);
  CSubFrameDlg dlg(QString::fromStdString(path));
  EXPECT_EQ(dlg.windowTitle(), "Choose sub-frames to add");
  dlg.FillFrames();
  EXPECT_EQ(Labels(dlg), QStringList({"scan.tif - (0)", "scan.tif - (1)", "scan.tif - (2)"}));
  EXPECT_EQ(dlg.FrameList()->item(0)->icon().pixmap(QSize(100, 100)).size(), QSize(100, 100));
}

TEST(SubFrameDlgTest, ResultHoldsTheSelectedPagesAscending) {
  pxtest::TempDir dir;
  std::string path = ThreePages(dir);
  {
    CSubFrameDlg dlg(QString::fromStdString(path));
    dlg.FillFrames();
    dlg.accept();
    EXPECT_TRUE(dlg.Result().empty());
  }
  {
    CSubFrameDlg dlg(QString::fromStdString(path));
    dlg.FillFrames();
    dlg.findChild<QPushButton*>("selectAll")->click();
    dlg.accept();
    EXPECT_EQ(dlg.Result(), (std::vector<int>{0, 1, 2}));
  }
  {
    CSubFrameDlg dlg(QString::fromStdString(path));
    dlg.FillFrames();
    dlg.FrameList()->item(2)->setSelected(true);
    dlg.FrameList()->item(0)->setSelected(true);
    dlg.accept();
    EXPECT_EQ(dlg.Result(), (std::vector<int>{0, 2}));
  }
  {
    CSubFrameDlg dlg(QString::fromStdString(path));
    dlg.FillFrames();
    dlg.SelectAll();
    dlg.reject();
    EXPECT_TRUE(dlg.Result().empty());
  }
}

TEST(SubFrameDlgTest, APageThatCannotBeReadLeavesTheOthersTheirNumbers) {
  pxtest::TempDir dir;
  std::string path = ThreePages(dir);
  SpoilPage(path, 1);
  CSubFrameDlg dlg(QString::fromStdString(path));
  dlg.FillFrames();
  EXPECT_EQ(Labels(dlg), QStringList({"scan.tif - (0)", "scan.tif - (2)"}));
  dlg.FrameList()->item(1)->setSelected(true);
  dlg.accept();
  EXPECT_EQ(dlg.Result(), (std::vector<int>{2}));
}

TEST(SubFrameDlgTest, FillsItselfOnceShown) {
  pxtest::TempDir dir;
  std::string path = ThreePages(dir);
  CSubFrameDlg dlg(QString::fromStdString(path));
  // Filled right after it appeared: once the list is complete, take every page.
  uitest::Repeat([&dlg] {
    if (!dlg.isVisible() || dlg.FrameList()->count() < 3) return false;
    dlg.SelectAll();
    dlg.accept();
    return true;
  });
  EXPECT_EQ(dlg.exec(), QDialog::Accepted);
  EXPECT_EQ(dlg.Result(), (std::vector<int>{0, 1, 2}));
}

}  // namespace
