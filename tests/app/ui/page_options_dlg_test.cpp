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

// Two pages that agree on some fields and differ in others.
std::vector<PageRecord> TwoPages() {
  PageRecord a = Page(kCompressionLZW, 24);
  a.sourcePath = "/pictures/one.bmp";
  PageRecord b = Page(kCompressionLZW, 8);
  b.sourcePath = "/pictures/two.bmp";
  b.output.width = 800;
  b.output.resolutionX = 150;
  b.output.rotation = 90;
  return {a, b};
}

TEST_F(PageOptionsDlgTest, SeveralPagesShowWhatTheyShareAndNothingWhereTheyDiffer) {
  dlg_.SetPages(TwoPages());
  EXPECT_EQ(dlg_.windowTitle(), "Output settings for 2 pages");
  EXPECT_EQ(Get<QLabel>("sourcePath")->text(), "2 pages: one.bmp, two.bmp");
  EXPECT_TRUE(Get<QCheckBox>("setAll")->isHidden());
  EXPECT_EQ(Edit("sizeX")->text(), "");
  EXPECT_EQ(Edit("sizeY")->text(), "480");
  EXPECT_EQ(Edit("dpiX")->text(), "");
  EXPECT_EQ(Edit("dpiY")->text(), "200");
  EXPECT_EQ(Edit("threshold")->text(), "100");
  EXPECT_FALSE(Edit("dpiX")->toolTip().isEmpty());
  EXPECT_TRUE(Edit("dpiY")->toolTip().isEmpty());
  EXPECT_EQ(Items("rotation"), QStringList({"(keep)=-1", "None=0", "90=90", "180=180", "270=270"}));
  EXPECT_EQ(Combo("rotation")->currentData().toInt(), CPageOptionsDlg::kKeep);
  EXPECT_EQ(Items("flip"), QStringList({"None=0", "Horizontal=1", "Vertical=2"}));
  EXPECT_EQ(Combo("compression")->currentData().toInt(), kCompressionLZW);
  EXPECT_EQ(Items("bitDepth"), QStringList({"(keep)=-1", "True color (24-bits)=24",
                                            "Indexed color (8-bits)=8", "Bitmap (1-bit)=1"}));
  EXPECT_EQ(Combo("bitDepth")->currentData().toInt(), CPageOptionsDlg::kKeep);
  // Some of the pages may stay 1-bit.
  EXPECT_TRUE(Edit("threshold")->isEnabled());
  // Confirmed as shown, nothing changes.
  MessageRecorder messages;
  dlg_.accept();
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_EQ(dlg_.result(), QDialog::Accepted);
  EXPECT_TRUE(dlg_.Change().Empty());

  // One page is one page, without "Set all pages".
  dlg_.SetPages({TwoPages()[1]});
  EXPECT_EQ(dlg_.windowTitle(), "Output settings for 1 page");
  EXPECT_EQ(Get<QLabel>("sourcePath")->text(), "1 page: two.bmp");
  std::vector<PageRecord> six(6, TwoPages()[0]);
  dlg_.SetPages(six);
  EXPECT_EQ(Get<QLabel>("sourcePath")->text(),
            "6 pages: one.bmp, one.bmp, one.bmp, one.bmp and 2 more");
  dlg_.SetPages({TwoPages()[1]});
  EXPECT_EQ(Edit("sizeX")->text(), "800");
  EXPECT_EQ(Items("rotation").first(), "None=0");
  // A single page afterwards gets the dialog it always had.
  dlg_.SetPage(TwoPages()[0]);
  EXPECT_EQ(dlg_.windowTitle(), "Output options for this page");
  EXPECT_FALSE(Get<QCheckBox>("setAll")->isHidden());
  EXPECT_EQ(Edit("dpiX")->text(), "300");
}

TEST_F(PageOptionsDlgTest, SeveralPagesChangeOnlyTheFieldsTheUserTouched) {
  dlg_.SetPages(TwoPages());
  Edit("dpiX")->setText("600");
  Select("rotation", 180);
  Edit("threshold")->setText("90");
  // The size is typed but "Change size" stays clear: it is not taken.
  Edit("sizeX")->setText("20");
  dlg_.accept();
  ASSERT_EQ(dlg_.result(), QDialog::Accepted);
  SettingsChange expected;
  expected.values[OutputField::kResolutionX] = 600;
  expected.values[OutputField::kRotation] = 180;
  expected.values[OutputField::kThreshold] = 90;
  EXPECT_EQ(dlg_.Change(), expected);

  // With "Change size", the size fields typed in are taken; an empty one is not.
  dlg_.SetPages(TwoPages());
  Get<QCheckBox>("changeSize")->click();
  EXPECT_TRUE(Edit("sizeX")->isEnabled());
  Edit("sizeY")->setText("300");
  // Emptying a field the pages agree on keeps each page's value.
  Edit("dpiY")->clear();
  dlg_.accept();
  SettingsChange size;
  size.values[OutputField::kHeight] = 300;
  EXPECT_EQ(dlg_.Change(), size);
  // A field out of range is refused as for one page.
  dlg_.SetPages(TwoPages());
  Edit("dpiX")->setText("20001");
  MessageRecorder messages;
  dlg_.setResult(QDialog::Rejected);
  dlg_.accept();
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_EQ(messages.texts[0], "Please enter an integer between 0 and 20000.");
  EXPECT_EQ(dlg_.result(), QDialog::Rejected);
}

TEST_F(PageOptionsDlgTest, SeveralPagesFollowTheDepthAndResolutionRulesPerPage) {
  std::vector<PageRecord> pages = TwoPages();
  pages[1].output.resolutionUnit = 1;
  dlg_.SetPages(pages);
  EXPECT_EQ(Combo("unit")->currentData().toInt(), CPageOptionsDlg::kKeep);
  Select("compression", kCompressionGroup4);
  EXPECT_EQ(Items("bitDepth"), QStringList({"Bitmap (1-bit)=1"}));
  ShowActive();
  // The second page keeps "No units": CCITT output of it needs a resolution.
  {
    MessageRecorder messages;
    dlg_.accept();
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_TRUE(dlg_.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), Combo("unit"));
  }
  Select("unit", 2);
  dlg_.accept();
  EXPECT_EQ(dlg_.result(), QDialog::Accepted);
  SettingsChange change = dlg_.Change();
  EXPECT_EQ(change.values[OutputField::kCompression], kCompressionGroup4);
  EXPECT_EQ(change.values[OutputField::kBitsPerPixel], 1);
  EXPECT_EQ(change.values[OutputField::kResolutionUnit], 2);
  // Back to a compression that allows every depth: the depth chosen stays, "(keep)" is
  // offered again.
  Select("compression", kCompressionDeflate);
  EXPECT_EQ(Items("bitDepth").first(), "(keep)=-1");
  EXPECT_EQ(Combo("bitDepth")->currentData().toInt(), 1);
}

// A dialog with a setting shown as a check box, as a new on-or-off setting would be.
class CheckBoxDlg : public CPageOptionsDlg {
 public:
  CheckBoxDlg() {
    AddCheck(OutputField::kFlip, box);
    InitControls();
  }
  QCheckBox* box = new QCheckBox(this);
};

TEST(PageOptionsCheckTest, ACheckBoxIsPartlyCheckedWhereThePagesDiffer) {
  std::vector<PageRecord> pages = TwoPages();
  pages[1].output.flip = 1;
  CheckBoxDlg dlg;
  dlg.SetPages(pages);
  EXPECT_TRUE(dlg.box->isTristate());
  EXPECT_EQ(dlg.box->checkState(), Qt::PartiallyChecked);
  dlg.accept();
  EXPECT_FALSE(dlg.Change().values[OutputField::kFlip]);
  dlg.SetPages(pages);
  dlg.box->setCheckState(Qt::Checked);
  dlg.accept();
  EXPECT_EQ(dlg.Change().values[OutputField::kFlip], 1);
  // Pages that agree show their value and offer no third state.
  pages[0].output.flip = 1;
  dlg.SetPages(pages);
  EXPECT_FALSE(dlg.box->isTristate());
  EXPECT_EQ(dlg.box->checkState(), Qt::Checked);
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
  // "Output settings for selected pages..." on both pages: the resolution only.
  void EditTogether() {
    uitest::WhenModal<CPageOptionsDlg>([](CPageOptionsDlg* dlg) {
      EXPECT_EQ(dlg->windowTitle(), "Output settings for 2 pages");
      dlg->findChild<QLineEdit*>("dpiX")->setText("150");
      dlg->accept();
    });
    SettingsChange change;
    ASSERT_TRUE(fx_.doc.AskSeveralPagesOptions(ids_, &change));
    ASSERT_TRUE(fx_.doc.ApplySettingsChange(ids_, change));
  }

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

TEST_F(SetAllPagesTest, SelectedPagesTogetherTakeOnlyWhatWasTouched) {
  PageOutputSettings first = Out(0), second = Out(1);
  EditTogether();
  EXPECT_EQ(Out(0).resolutionX, 150);
  EXPECT_EQ(Out(1).resolutionX, 150);
  first.resolutionX = second.resolutionX = 150;
  EXPECT_EQ(Out(0), first);
  EXPECT_EQ(Out(1), second);
}

}  // namespace
