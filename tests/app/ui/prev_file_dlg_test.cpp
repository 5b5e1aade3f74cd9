// The add-images file dialog: its preview panel, file types and selection limit.
#include <QCheckBox>
#include <QComboBox>
#include <fstream>

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
                                "Metafiles (*.EMF)", "All files (*.*)"}));
  EXPECT_EQ(types->currentIndex(), 0);
  QStringList filters = dlg.nameFilters();
  ASSERT_EQ(filters.size(), 11);
  EXPECT_TRUE(filters[0].contains("*.Psd"));
  EXPECT_TRUE(filters[1].contains("(*.BMP "));  // BMP files are image files too
  EXPECT_TRUE(filters[9].contains("*.WMF"));
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
