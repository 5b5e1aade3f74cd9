// The add-images file dialog: its preview panel, file types and selection limit.
#include <QCheckBox>
#include <QComboBox>
#include <QFileSystemModel>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "document/page_image.h"
#include "ui/prev_file_dlg.h"
#include "ui_support.h"

namespace {

class PrevFileDlgTest : public ::testing::Test {
 protected:
  void TearDown() override { CPrevFileDlg::SetShowPreview(true); }
  uitest::DocumentFixture fx_;
};

TEST_F(PrevFileDlgTest, PreviewsTheSelectedFileWithItsSize) {
  std::string wide = fx_.Bmp("wide.bmp", 640, 480);
  CPrevFileDlg dlg;
  EXPECT_EQ(dlg.SizeText(), "No Image");
  EXPECT_TRUE(dlg.PreviewBox()->isChecked());
  EXPECT_EQ(dlg.labelText(QFileDialog::Accept), "Add images");

  dlg.OnSelectionChanged(QString::fromStdString(wide));
  EXPECT_EQ(dlg.SizeText(), "640 x 480\nPixels");
  QRect area = dlg.Preview()->PictureArea();
  EXPECT_EQ(dlg.Preview()->Picture().width(), area.width());
  EXPECT_LT(dlg.Preview()->Picture().height(), area.height());

  // A name that is no file leaves the picture; a folder change clears it.
  dlg.OnSelectionChanged(QString::fromStdString(fx_.dir.File("missing.bmp")));
  EXPECT_EQ(dlg.SizeText(), "640 x 480\nPixels");
  dlg.OnFolderChanged();
  EXPECT_EQ(dlg.SizeText(), "No Image");
  EXPECT_TRUE(dlg.Preview()->Picture().isNull());
}

TEST_F(PrevFileDlgTest, PreviewCheckBoxIsSharedAndRestoresThePicture) {
  std::string small = fx_.Bmp("small.bmp", 10, 20);
  std::string broken = fx_.dir.File("broken.bmp");
  std::ofstream(broken) << "BM not really";
  {
    CPrevFileDlg dlg;
    dlg.OnSelectionChanged(QString::fromStdString(small));
    // Smaller images are enlarged to fill the square in one direction.
    EXPECT_EQ(dlg.Preview()->Picture().height(), dlg.Preview()->PictureArea().height());
    dlg.PreviewBox()->click();
    EXPECT_FALSE(CPrevFileDlg::ShowPreview());
    EXPECT_EQ(dlg.SizeText(), "No Image");
    dlg.OnSelectionChanged(QString::fromStdString(small));
    EXPECT_EQ(dlg.SizeText(), "No Image");
  }
  {
    CPrevFileDlg dlg;
    EXPECT_FALSE(dlg.PreviewBox()->isChecked());
    dlg.OnSelectionChanged(QString::fromStdString(small));
    dlg.PreviewBox()->click();
    EXPECT_EQ(dlg.SizeText(), "10 x 20\nPixels");
    dlg.OnSelectionChanged(QString::fromStdString(broken));
    EXPECT_EQ(dlg.SizeText(), "No Image");
    EXPECT_TRUE(dlg.Preview()->Picture().isNull());
  }
}

TEST_F(PrevFileDlgTest, FileTypesAreListedByNameWithWorkingPatterns) {
  CPrevFileDlg dlg;
  pwui::SetAddImagesFilters(&dlg);
  auto* types = dlg.findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(types, nullptr);
  QStringList names;
  for (int i = 0; i < types->count(); ++i) names << types->itemText(i);
  EXPECT_EQ(names, QStringList({"Filtered files", "All Image Files", " JPG Files (*.JPG)",
                                "PNG Files (*.PNG)", "TIFF Files (*.TIF)", "BMP Files (*.BMP)",
                                "PCX Files (*.PCX)", "GIF Files (*.GIF)", "TGA Files (*.TGA)",
                                "Metafiles (*.EMF)", "WebP Files (*.WEBP)", "HEIF Files (*.HEIC)",
                                "All files (*.*)"}));
  EXPECT_EQ(types->currentIndex(), 0);
  QStringList filters = dlg.nameFilters();
  ASSERT_EQ(filters.size(), 13);
  EXPECT_TRUE(filters[0].contains("*.Psd"));
  EXPECT_TRUE(filters[1].contains("(*.BMP "));  // BMP files are image files too
  EXPECT_TRUE(filters[9].contains("*.WMF"));
}

// True when one of the type's patterns takes the name, letter case counting.
bool Matches(const QString& filter, const QString& name) {
  QString patterns = filter.section('(', 1).chopped(1);
  for (const QString& pattern : patterns.split(' ', Qt::SkipEmptyParts)) {
    QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern));
    if (re.match(name).hasMatch()) return true;
  }
  return false;
}

TEST_F(PrevFileDlgTest, ImageTypesListEveryExtensionInBothCases) {
  CPrevFileDlg dlg;
  pwui::SetAddImagesFilters(&dlg);
  QStringList filters = dlg.nameFilters();
  ASSERT_EQ(filters.size(), 13);
  int names = 0;
  for (const auto& format : CPageImage::FileExtensions()) {
    for (const std::string& ext : format) {
      for (QString name : {QString::fromStdString("scan." + ext),
                           QString::fromStdString("SCAN." + ext).toUpper()}) {
        ++names;
        EXPECT_TRUE(Matches(filters[0], name)) << name.toStdString();
        EXPECT_TRUE(Matches(filters[1], name)) << name.toStdString();
        EXPECT_TRUE(Matches(filters[12], name)) << name.toStdString();
      }
    }
  }
  EXPECT_GE(names, 28);
  // The one-format types take the other names of their format, and nothing else.
  EXPECT_TRUE(Matches(filters[2], "photo.jpeg"));
  EXPECT_TRUE(Matches(filters[4], "fax.tiff"));
  EXPECT_TRUE(Matches(filters[4], "FAX.TIFF"));
  EXPECT_FALSE(Matches(filters[4], "photo.jpg"));
  EXPECT_TRUE(Matches(filters[9], "drawing.emf"));
  EXPECT_TRUE(Matches(filters[10], "web.webp"));
  EXPECT_TRUE(Matches(filters[11], "IMG_0001.HEIC"));
  EXPECT_TRUE(Matches(filters[11], "photo.avif"));
  EXPECT_TRUE(Matches(filters[1], "photo.heif"));
  EXPECT_FALSE(Matches(filters[0], "notes.txt"));
  EXPECT_FALSE(Matches(filters[1], "photo.jpg.txt"));

  // The dialog itself lists the long names under the first type.
  std::vector<std::string> files = {"a.tiff", "b.jpeg", "c.EMF", "d.wbmp", "e.wbm", "f.txt"};
  std::filesystem::path folder = fx_.dir.path() / "pick";
  std::filesystem::create_directories(folder);
  for (const std::string& name : files) std::ofstream(folder / name) << "x";
  dlg.setDirectory(QString::fromStdString(folder.string()));
  dlg.selectNameFilter(filters[0]);
  auto* model = dlg.findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);
  QModelIndex root = model->index(QString::fromStdString(folder.string()));
  // The folder is read on another thread: a busy machine may take a while.
  for (int i = 0; i < 500 && model->rowCount(root) < 6; ++i) QTest::qWait(10);
  QStringList shown;
  for (int row = 0; row < model->rowCount(root); ++row) {
    QModelIndex index = model->index(row, 0, root);
    if (model->flags(index) & Qt::ItemIsEnabled) shown << model->fileName(index);
  }
  shown.sort();
  EXPECT_EQ(shown.join(' ').toStdString(), "a.tiff b.jpeg c.EMF d.wbmp e.wbm");
}

TEST(SelectionLimitTest, SelectionsThatDoNotFitAreRefused) {
  QStringList few = {"/data/a.bmp", "/data/b.bmp"};
  EXPECT_TRUE(pwui::SelectionFitsBuffer(few));
  QStringList many;
  for (int i = 0; i < 400; ++i)
    many << QStringLiteral("/data/%1.bmp").arg(QString(130, 'x') + QString::number(i));
  EXPECT_FALSE(pwui::SelectionFitsBuffer(many));
  // The folder counts once: 2000 short names from a long folder fit.
  QStringList shortNames;
  for (int i = 0; i < 2000; ++i)
    shortNames << QStringLiteral("/%1/%2.tif").arg(QString(200, 'f')).arg(i, 4, 10, QChar('0'));
  EXPECT_TRUE(pwui::SelectionFitsBuffer(shortNames));
  EXPECT_FALSE(pwui::SelectionFitsBuffer({QString(52000, 'p')}));
}

}  // namespace
