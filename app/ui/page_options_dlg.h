// CPageOptionsDlg: "Output options for this page" — size, rotation, flip, resolution,
// compression with its JPEG quality, bit depth, black threshold and dither of one page,
// or of every page. With several pages ("Output settings for N pages") a field the pages agree on
// shows their value, and one they differ in shows empty, "(keep)" or partly checked and stays as
// each page has it unless the user changes it.
//
// Each setting is a field (OutputField) bound to one control by AddEdit, AddCombo or
// AddCheck; the tables of bound controls move the values in and out, so that a new
// setting needs its control, one line to bind it and a place in the layout.
#ifndef PAGEWEAVER_UI_PAGE_OPTIONS_DLG_H
#define PAGEWEAVER_UI_PAGE_OPTIONS_DLG_H

#include <QDialog>
#include <initializer_list>
#include <vector>

#include "dialog_data.h"
#include "document/page_record.h"
#include "document/settings_change.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

class CPageOptionsDlg : public QDialog {
  Q_OBJECT
 public:
  // The item data of "(keep)" in a combo box of several pages.
  static constexpr int kKeep = -1;

  explicit CPageOptionsDlg(QWidget* parent = nullptr);

  // Takes the page's output settings and source path; both check boxes start clear.
  void SetPage(const PageRecord& page);
  // Several pages at once; "Set all pages" is not offered.
  void SetPages(const std::vector<PageRecord>& pages);

  // The settings of the one page.
  PageOutputSettings Settings() const;
  // The fields the user changed since SetPage or SetPages (the size only with "Change
  // size"): what OK applies to each of several pages.
  SettingsChange Change() const;
  bool SetAllPages() const { return setAll_; }
  bool ChangeSize() const { return changeSize_; }

  // Closes the dialog only when every field is in range and the DPI rule holds (for
  // every page, with several).
  void accept() override;

 protected:
  // Binds a control to a field. A check box stands for the values 0 and 1.
  QLineEdit* AddEdit(OutputField field, const char* name, int min, int max);
  QComboBox* AddCombo(OutputField field, const char* name,
                      std::initializer_list<pwui::ComboItem> items);
  void AddCheck(OutputField field, QCheckBox* box);
  // Shows the values of the members and the pages in the controls.
  void InitControls();

 private:
  struct EditField {
    OutputField field;
    QLineEdit* edit;
    int min;
    int max;
  };
  struct ComboField {
    OutputField field;
    QComboBox* combo;
    std::vector<pwui::ComboItem> items;
  };
  struct CheckField {
    OutputField field;
    QCheckBox* box;
  };

  // The pages differ in the field (several pages only).
  bool Mixed(OutputField field) const { return several_ && !shown_[field]; }
  void Show(const OutputFieldValues& values, bool several);
  // The dialog's members into the controls (edits and check boxes only).
  void WriteMembers();
  // The edits and check boxes into the members, stopping at the first refused field.
  bool ReadMembers();
  // The combo boxes' item data into the members.
  void ReadCombos();
  void FillComboField(const ComboField& field);
  void RebuildBitDepths();
  void UpdateThresholdEnabling();
  void UpdateQualityEnabling();
  void OnChangeSizeClicked();

  OutputFieldValues values_;  // the members; none: each page keeps its own
  OutputFieldValues shown_;   // what the pages had
  std::vector<PageOutputSettings> pages_;
  bool several_ = false;
  bool changeSize_ = false;
  bool setAll_ = false;
  bool updating_ = false;  // controls are being filled: their signals are not the user's

  std::vector<EditField> edits_;
  std::vector<ComboField> combos_;
  std::vector<CheckField> checks_;

  QLabel* path_;
  QLineEdit* sizeX_;
  QLineEdit* sizeY_;
  QCheckBox* changeSizeBox_;
  QLineEdit* dpiX_;
  QComboBox* unitBox_;
  QComboBox* compressionBox_;
  QComboBox* bitDepthBox_;
  QLineEdit* thresholdEdit_;
  QLabel* thresholdLabel_;
  QCheckBox* ditherBox_;
  QLineEdit* qualityEdit_;
  QLabel* qualityLabel_;
  QCheckBox* setAllBox_;
};

#endif  // PAGEWEAVER_UI_PAGE_OPTIONS_DLG_H
