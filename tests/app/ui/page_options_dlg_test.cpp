// The page output options dialog: bit depths per compression, the threshold, range and
// DPI refusals, values by item data, and "Set all pages" through the document.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "ui/page_options_dlg.h"
#include "ui/qt_user_interface.h"
#include "ui_support.h"

namespace {

using uitest::MessageRecorder;

PageRecord Page(int compression, int bits, int unit = 2) {
  PageRecord page;
  page.sourcePath = "/pictures/page.bmp";
  page.output.width = 640;
  page.output.height = 480;
  page.output.resolutionX = 300;
  page.output.resolutionY = 200;
  page.output.resolutionUnit = unit;
  page.output.compression = compression;
  page.output.bitsPerPixel = bits;
  page.output.threshold = 100;
  return page;
}

class PageOptionsDlgTest : public ::testing::Test {
 protected:
  template <typename T>
  T* Get(const char* name) {
    T* widget = dlg_.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QComboBox* Combo(const char* name) { return Get<QComboBox>(name); }
  QLineEdit* Edit(const char* name) { return Get<QLineEdit>(name); }
  void Select(const char* combo, int data) {
    QComboBox* box = Combo(combo);
    int index = box->findData(data);
    ASSERT_GE(index, 0) << combo << " has no item " << data;
    box->setCurrentIndex(index);
  }
  QStringList Items(const char* combo) {
    QStringList items;
    QComboBox* box = Combo(combo);
    for (int i = 0; i < box->count(); ++i)
      items << box->itemText(i) + "=" + box->itemData(i).toString();
    return items;
  }
  // Shows the dialog as the active window, so that focus moves can be seen.
  void ShowActive() {
    dlg_.show();
    dlg_.activateWindow();
    QApplication::setActiveWindow(&dlg_);
    QApplication::processEvents();
  }

  CPageOptionsDlg dlg_;
};

TEST_F(PageOptionsDlgTest, NewDialogStartsWithItsDefaults) {
  PageOutputSettings s = dlg_.Settings();
  EXPECT_EQ(s.width, 100);
  EXPECT_EQ(s.height, 100);
  EXPECT_EQ(s.resolutionX, 72);
  EXPECT_EQ(s.resolutionUnit, 1);
  EXPECT_EQ(s.compression, 4);
  EXPECT_EQ(s.bitsPerPixel, 1);
  EXPECT_EQ(s.threshold, 128);
  EXPECT_FALSE(dlg_.SetAllPages());
  EXPECT_FALSE(dlg_.ChangeSize());
  EXPECT_EQ(dlg_.windowTitle(), "Output options for this page");
}

TEST_F(PageOptionsDlgTest, CombosListTheirItemsInOrderWithTheirNumbers) {
  EXPECT_EQ(Items("rotation"), QStringList({"None=0", "90=90", "180=180", "270=270"}));
  EXPECT_EQ(Items("flip"), QStringList({"None=0", "Horizontal=1", "Vertical=2"}));
  EXPECT_EQ(Items("unit"), QStringList({"No units=1", "Dots per inch=2", "Dots per cm=3"}));
  EXPECT_EQ(Items("compression"),
            QStringList({"None=1", "CCITT Huffman=2", "CCITT Group 3=3", "CCITT Group 4=4", "LZW=5",
                         "JPEG=7", "Packbits=32773", "Deflate=32946"}));
}

TEST_F(PageOptionsDlgTest, CcittOffersOnlyOneBitAndForcesIt) {
  dlg_.SetPage(Page(kCompressionGroup4, 24));
  EXPECT_EQ(Items("bitDepth"), QStringList({"Bitmap (1-bit)=1"}));
  EXPECT_TRUE(Edit("threshold")->isEnabled());
  EXPECT_TRUE(Get<QLabel>("thresholdLabel")->isEnabled());
  MessageRecorder messages;
  dlg_.accept();
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_EQ(dlg_.result(), QDialog::Accepted);
  EXPECT_EQ(dlg_.Settings().bitsPerPixel, 1);
  EXPECT_EQ(dlg_.Settings().threshold, 100);
}

TEST_F(PageOptionsDlgTest, JpegOffersOnlyTrueColourAndDisablesTheThreshold) {
  dlg_.SetPage(Page(kCompressionNone, 1));
  EXPECT_TRUE(Edit("threshold")->isEnabled());
  Select("compression", kCompressionJPEG);
  EXPECT_EQ(Items("bitDepth"), QStringList({"True color (24-bits)=24"}));
  EXPECT_FALSE(Edit("threshold")->isEnabled());
  EXPECT_FALSE(Get<QLabel>("thresholdLabel")->isEnabled());
  dlg_.accept();
  EXPECT_EQ(dlg_.Settings().bitsPerPixel, 24);
  EXPECT_EQ(dlg_.Settings().compression, kCompressionJPEG);
}

TEST_F(PageOptionsDlgTest, OtherCompressionsOfferThreeDepthsAndKeepTheChosenOne) {
  dlg_.SetPage(Page(kCompressionLZW, 8));
  EXPECT_EQ(Items("bitDepth"), QStringList({"True color (24-bits)=24", "Indexed color (8-bits)=8",
                                            "Bitmap (1-bit)=1"}));
  EXPECT_EQ(Combo("bitDepth")->currentData().toInt(), 8);
  EXPECT_FALSE(Edit("threshold")->isEnabled());
  Select("bitDepth", 1);
  EXPECT_TRUE(Edit("threshold")->isEnabled());
  Select("bitDepth", 24);
  EXPECT_FALSE(Edit("threshold")->isEnabled());
  Select("compression", kCompressionDeflate);
  EXPECT_EQ(Combo("bitDepth")->currentData().toInt(), 24);
}

TEST_F(PageOptionsDlgTest, ValuesAreReadByItemData) {
  dlg_.SetPage(Page(kCompressionNone, 24));
  Select("rotation", 270);
  Select("flip", 2);
  Select("unit", 3);
  Select("compression", kCompressionDeflate);
  Select("bitDepth", 8);
  dlg_.accept();
  ASSERT_EQ(dlg_.result(), QDialog::Accepted);
  PageOutputSettings s = dlg_.Settings();
  EXPECT_EQ(s.rotation, 270);
  EXPECT_EQ(s.flip, 2);
  EXPECT_EQ(s.resolutionUnit, 3);
  EXPECT_EQ(s.compression, 32946);
  EXPECT_EQ(s.bitsPerPixel, 8);
  EXPECT_EQ(s.width, 640);
  EXPECT_EQ(s.resolutionY, 200);
}

TEST_F(PageOptionsDlgTest, UnknownValuesSelectTheFirstItem) {
  PageRecord page = Page(6, 24, 0);  // a metafile has no unit; 6 is no output compression
  page.output.rotation = 45;
  dlg_.SetPage(page);
  EXPECT_EQ(Combo("unit")->currentText(), "No units");
  EXPECT_EQ(Combo("compression")->currentText(), "None");
  EXPECT_EQ(Combo("rotation")->currentText(), "None");
}

TEST_F(PageOptionsDlgTest, SizesAreEditableOnlyWithChangeSize) {
  dlg_.SetPage(Page(kCompressionNone, 24));
  EXPECT_FALSE(Edit("sizeX")->isEnabled());
  EXPECT_FALSE(Edit("sizeY")->isEnabled());
  Get<QCheckBox>("changeSize")->click();
  EXPECT_TRUE(Edit("sizeX")->isEnabled());
  EXPECT_TRUE(Edit("sizeY")->isEnabled());
  EXPECT_TRUE(dlg_.ChangeSize());
  Get<QCheckBox>("changeSize")->click();
  EXPECT_FALSE(Edit("sizeX")->isEnabled());
}

TEST_F(PageOptionsDlgTest, OutOfRangeValuesAreRefusedAndFocused) {
  struct Case {
    const char* field;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"sizeX", "0", "Please enter an integer between 1 and 20000."},
      {"sizeY", "20001", "Please enter an integer between 1 and 20000."},
      {"dpiX", "-1", "Please enter an integer between 0 and 20000."},
      {"dpiY", "20001", "Please enter an integer between 0 and 20000."},
      {"threshold", "256", "Please enter an integer between 0 and 255."},
      {"dpiX", "seventy", "Please enter an integer."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    dlg_.SetPage(Page(kCompressionNone, 1));
    Get<QCheckBox>("changeSize")->click();
    ShowActive();
    Edit(c.field)->setText(c.text);
    MessageRecorder messages;
    dlg_.accept();
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], c.message);
    EXPECT_TRUE(dlg_.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), Edit(c.field));
    dlg_.hide();
  }
}

TEST_F(PageOptionsDlgTest, CcittNeedsAResolution) {
  const QString message = "You must set a value for DPI, if you are creating a G2, G3 or G4 TIFF";
  dlg_.SetPage(Page(kCompressionNone, 24));
  ShowActive();
  Select("compression", kCompressionGroup3);
  Select("unit", 1);
  {
    MessageRecorder messages;
    dlg_.accept();
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], message);
    EXPECT_TRUE(dlg_.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), Combo("unit"));
  }
  Select("unit", 2);
  Edit("dpiX")->setText("0");
  {
    MessageRecorder messages;
    dlg_.accept();
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], message);
    EXPECT_EQ(QApplication::focusWidget(), Edit("dpiX"));
  }
  Edit("dpiX")->setText("300");
  {
    MessageRecorder messages;
    dlg_.accept();
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(dlg_.result(), QDialog::Accepted);
    EXPECT_EQ(dlg_.Settings().bitsPerPixel, 1);
  }
}

TEST_F(PageOptionsDlgTest, ChangingCompressionPutsBackTheLastCheckedValues) {
  dlg_.SetPage(Page(kCompressionNone, 24));
  Edit("dpiX")->setText("600");
  Get<QCheckBox>("setAll")->click();
  Select("compression", kCompressionLZW);
  EXPECT_EQ(Edit("dpiX")->text(), "300");
  // The check box stays as the user set it.
  EXPECT_TRUE(Get<QCheckBox>("setAll")->isChecked());
  dlg_.accept();
  EXPECT_TRUE(dlg_.SetAllPages());
}

// "Set all pages" through the document, with the dialog run as the user runs it.
class SetAllPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fx_.doc.SetUserInterface(&ui_);
    ASSERT_EQ(fx_.doc.AddPage(fx_.Bmp("a.bmp", 60, 40), 0, false), 0);
    ASSERT_EQ(fx_.doc.AddPage(fx_.Bmp("b.bmp", 30, 50), 0, false), 0);
    for (const auto& [id, page] : fx_.doc.Pages()) ids_.push_back(id);
  }
  void Edit(bool changeSize) {
    uitest::WhenModal<CPageOptionsDlg>([changeSize](CPageOptionsDlg* dlg) {
      auto* box = dlg->findChild<QComboBox*>("compression");
      box->setCurrentIndex(box->findData(kCompressionLZW));
      auto* depth = dlg->findChild<QComboBox*>("bitDepth");
      depth->setCurrentIndex(depth->findData(8));
      auto* rotation = dlg->findChild<QComboBox*>("rotation");
      rotation->setCurrentIndex(rotation->findData(90));
      dlg->findChild<QLineEdit*>("dpiX")->setText("150");
      if (changeSize) {
        dlg->findChild<QCheckBox*>("changeSize")->click();
        dlg->findChild<QLineEdit*>("sizeX")->setText("20");
        dlg->findChild<QLineEdit*>("sizeY")->setText("25");
      }
      dlg->findChild<QCheckBox*>("setAll")->click();
      dlg->accept();
    });
    ASSERT_TRUE(fx_.doc.EditPageOptions(ids_[0]));
  }
  const PageOutputSettings& Out(size_t i) { return fx_.doc.FindPage(ids_[i])->output; }

  uitest::DocumentFixture fx_;
  QtUserInterface ui_{nullptr};
  std::vector<int32_t> ids_;
};

TEST_F(SetAllPagesTest, WithoutChangeSizeEveryPageKeepsItsSize) {
  Edit(false);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Out(i).compression, kCompressionLZW);
    EXPECT_EQ(Out(i).bitsPerPixel, 8);
    EXPECT_EQ(Out(i).rotation, 90);
    EXPECT_EQ(Out(i).resolutionX, 150);
  }
  EXPECT_EQ(Out(0).width, 60);
  EXPECT_EQ(Out(0).height, 40);
  EXPECT_EQ(Out(1).width, 30);
  EXPECT_EQ(Out(1).height, 50);
}

TEST_F(SetAllPagesTest, WithChangeSizeEveryPageTakesTheSize) {
  Edit(true);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Out(i).width, 20);
    EXPECT_EQ(Out(i).height, 25);
    EXPECT_EQ(Out(i).bitsPerPixel, 8);
  }
}

}  // namespace
