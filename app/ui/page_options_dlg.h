// CPageOptionsDlg: "Output options for this page" — size, rotation, flip, resolution,
// compression, bit depth and black threshold of one page, or of every page.
#ifndef PAGEWEAVER_UI_PAGE_OPTIONS_DLG_H
#define PAGEWEAVER_UI_PAGE_OPTIONS_DLG_H

#include <QDialog>

#include "document/page_record.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

class CPageOptionsDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CPageOptionsDlg(QWidget* parent = nullptr);

  // Takes the page's output settings and source path; both check boxes start clear.
  void SetPage(const PageRecord& page);

  PageOutputSettings Settings() const;
  bool SetAllPages() const { return setAll_; }
  bool ChangeSize() const { return changeSize_; }

  // Closes the dialog only when every field is in range and the DPI rule holds.
  void accept() override;

 private:
  // The dialog's members into the controls (edits and check boxes only).
  void WriteMembers();
  // The edits and check boxes into the members, stopping at the first refused field.
  bool ReadMembers();
  void InitControls();
  void RebuildBitDepths();
  void UpdateThresholdEnabling();
  void OnChangeSizeClicked();

  // Members, with the values a new dialog starts with.
  int width_ = 100;
  int height_ = 100;
  int resolutionX_ = 72;
  int resolutionY_ = 72;
  int unit_ = 1;
  int compression_ = kCompressionGroup4;
  int bitsPerPixel_ = 1;
  int rotation_ = 0;
  int flip_ = 0;
  int threshold_ = 128;
  bool changeSize_ = false;
  bool setAll_ = false;

  bool updating_ = false;  // controls are being filled: their signals are not the user's

  QLabel* path_;
  QLineEdit* sizeX_;
  QLineEdit* sizeY_;
  QCheckBox* changeSizeBox_;
  QComboBox* rotationBox_;
  QComboBox* flipBox_;
  QLineEdit* dpiX_;
  QLineEdit* dpiY_;
  QComboBox* unitBox_;
  QComboBox* compressionBox_;
  QComboBox* bitDepthBox_;
  QLineEdit* thresholdEdit_;
  QLabel* thresholdLabel_;
  QCheckBox* setAllBox_;
};

#endif  // PAGEWEAVER_UI_PAGE_OPTIONS_DLG_H
