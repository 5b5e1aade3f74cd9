// The preferences dialog: what it starts with, what it refuses, what it writes.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>

#include "ui/preferences_dlg.h"
#include "ui_support.h"

namespace {

using uitest::MessageRecorder;

class PreferencesDlgTest : public ::testing::Test {
 protected:
  std::string Ini() const { return dir_.File("settings.ini"); }
  void Store(const char* key, int value) {
    QSettings(QString::fromStdString(Ini()), QSettings::IniFormat).setValue(key, value);
  }
  bool Stored(const char* key) {
    return QSettings(QString::fromStdString(Ini()), QSettings::IniFormat).contains(key);
  }

  pxtest::TempDir dir_;
};

TEST_F(PreferencesDlgTest, WithoutStoredSettingsShowsTheDefaults) {
  Preferences preferences(Ini());
  CPreferencesDlg dlg(&preferences);
  EXPECT_EQ(dlg.windowTitle(), "Preferences");
  auto* sort = dlg.findChild<QComboBox*>("sortStyle");
  ASSERT_NE(sort, nullptr);
  EXPECT_EQ(sort->currentText(), "Alpha-numeric");
  EXPECT_EQ(dlg.findChild<QLineEdit*>("previewWidth")->text(), "280");
  EXPECT_EQ(dlg.findChild<QLineEdit*>("previewHeight")->text(), "500");
  QStringList items;
  for (int i = 0; i < sort->count(); ++i)
    items << sort->itemText(i) + "=" + sort->itemData(i).toString();
  EXPECT_EQ(items,
            QStringList({"Alpha-numeric=3", "Alpha-numeric (reverse)=4", "Alphabetical=1",
                         "Alphabetical(reverse)=2", "Date=5", "Date (reversed)=6", "No sort=0"}));
}

TEST_F(PreferencesDlgTest, StoredValuesAreShownAndAnUnknownStyleShowsTheFirst) {
  Store("SortStyle", 6);
  Store("PreviewSizeX", 640);
  Store("PreviewSizeY", 480);
  {
    Preferences preferences(Ini());
    CPreferencesDlg dlg(&preferences);
    EXPECT_EQ(dlg.findChild<QComboBox*>("sortStyle")->currentText(), "Date (reversed)");
    EXPECT_EQ(dlg.findChild<QLineEdit*>("previewWidth")->text(), "640");
    EXPECT_EQ(dlg.findChild<QLineEdit*>("previewHeight")->text(), "480");
  }
  Store("SortStyle", 9);
  Preferences preferences(Ini());
  CPreferencesDlg dlg(&preferences);
  EXPECT_EQ(dlg.findChild<QComboBox*>("sortStyle")->currentText(), "Alpha-numeric");
}

TEST_F(PreferencesDlgTest, SizesOutOfRangeAreRefusedAndNothingIsWritten) {
  for (const char* field : {"previewWidth", "previewHeight"}) {
    for (const char* value : {"99", "1001"}) {
      SCOPED_TRACE(std::string(field) + " " + value);
      Preferences preferences(Ini());
      CPreferencesDlg dlg(&preferences);
      dlg.findChild<QLineEdit*>(field)->setText(value);
      MessageRecorder messages;
      dlg.accept();
      ASSERT_EQ(messages.texts.size(), 1u);
      EXPECT_EQ(messages.texts[0], "Please enter an integer between 100 and 1000.");
      EXPECT_NE(dlg.result(), QDialog::Accepted);
      EXPECT_FALSE(Stored("SortStyle"));
      EXPECT_FALSE(Stored("PreviewSizeX"));
    }
  }
}

TEST_F(PreferencesDlgTest, OkWritesTheChosenOrderAndSizes) {
  {
    Preferences preferences(Ini());
    CPreferencesDlg dlg(&preferences);
    auto* sort = dlg.findChild<QComboBox*>("sortStyle");
    sort->setCurrentIndex(sort->findText("No sort"));
    dlg.findChild<QLineEdit*>("previewWidth")->setText("100");
    dlg.findChild<QLineEdit*>("previewHeight")->setText("1000");
    MessageRecorder messages;
    dlg.accept();
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.SortStyle(), 0);
  }
  Preferences reread(Ini());
  EXPECT_EQ(reread.SortStyle(), 0);
  EXPECT_EQ(reread.ReadPreviewSize(), (PreviewSize{100, 1000}));
}

TEST_F(PreferencesDlgTest, CopyingUnchangedPagesIsOnUntilSwitchedOff) {
  {
    Preferences preferences(Ini());
    EXPECT_TRUE(preferences.CopyUnchangedPages());
    CPreferencesDlg dlg(&preferences);
    auto* copy = dlg.findChild<QCheckBox*>("copyUnchanged");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->text(), "Copy unchanged pages without recompressing");
    EXPECT_TRUE(copy->isChecked());
    copy->setChecked(false);
    dlg.reject();
    EXPECT_FALSE(Stored("CopyUnchangedPages"));  // Cancel writes nothing
  }
  {
    Preferences preferences(Ini());
    CPreferencesDlg dlg(&preferences);
    dlg.findChild<QCheckBox*>("copyUnchanged")->setChecked(false);
    dlg.accept();
    EXPECT_FALSE(dlg.CopyUnchangedPages());
  }
  EXPECT_EQ(QSettings(QString::fromStdString(Ini()), QSettings::IniFormat)
                .value("CopyUnchangedPages")
                .toInt(),
            0);
  Preferences reread(Ini());
  EXPECT_FALSE(reread.CopyUnchangedPages());
  CPreferencesDlg dlg(&reread);
  EXPECT_FALSE(dlg.findChild<QCheckBox*>("copyUnchanged")->isChecked());
}

}  // namespace
