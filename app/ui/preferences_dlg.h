// CPreferencesDlg: "Preferences" — the file-name order of pages added together and the
// largest size of a preview image. OK writes all three settings.
#ifndef PAGEWEAVER_UI_PREFERENCES_DLG_H
#define PAGEWEAVER_UI_PREFERENCES_DLG_H

#include <QDialog>

#include "document/preferences.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

class CPreferencesDlg : public QDialog {
  Q_OBJECT
 public:
  // Starts with the stored settings (their defaults when missing).
  explicit CPreferencesDlg(Preferences* preferences, QWidget* parent = nullptr);

  int SortStyle() const { return sortStyle_; }
  PreviewSize PreviewSizeValue() const { return size_; }
  bool TurnPhotographsUpright() const { return turnUpright_; }

  // Checks both sizes, writes the settings and closes; a size out of range keeps the
  // dialog open and writes nothing.
  void accept() override;

 private:
  Preferences* preferences_;
  int sortStyle_;
  PreviewSize size_;
  bool turnUpright_;
  QComboBox* sortBox_;
  QLineEdit* width_;
  QLineEdit* height_;
  QCheckBox* turnUprightBox_;
};

#endif  // PAGEWEAVER_UI_PREFERENCES_DLG_H
