// CBusyDlg: the window shown while the output file is written — the page being
// processed, a percentage bar, a small animation, a picture of the page and Cancel.
// The run reports through BusyDisplay; Cancel reaches the run's CancelSink.
#ifndef PAGEWEAVER_UI_BUSY_DLG_H
#define PAGEWEAVER_UI_BUSY_DLG_H

#include <QDialog>
#include <QImage>
#include <QString>

#include "document/interfaces.h"

class CGradientProgress;
class QLabel;
class QPushButton;
class QTimer;

class CBusyDlg : public QDialog, public BusyDisplay {
  Q_OBJECT
 public:
  explicit CBusyDlg(QWidget* parent = nullptr);
  ~CBusyDlg() override;

  // BusyDisplay: made ready (hidden, expanded) for a run; shown with the first progress;
  // collapsed and hidden at the end.
  void Start(CancelSink* cancel) override;
  void ShowProgress(const std::string& text, int percent, const CPageImage* image) override;
  void Finish() override;
  // Shows the dialog if a run is going on and was not cancelled (a run that reports no
  // progress for a while still shows that it is busy).
  void ShowDuringRun();

  void SetStatusText(const QString& text);
  void SetPercent(int percent);
  void ShowProgressBar(bool shown);
  void ShowImageArea(bool shown);
  // Takes a picture of the page, fitted into the picture area (only while expanded).
  void SetPreviewImage(const CPageImage& image);

  QString StatusText() const;
  int Percent() const;
  bool ImageAreaShown() const { return imageAreaShown_; }
  const QImage& Picture() const { return picture_; }
  int AnimationSlot() const { return animationFrame_; }
  QPushButton* CancelButton() const { return cancelButton_; }
  CGradientProgress* ProgressBar() const { return progress_; }

  // Cancel or Escape: tells the run and hides the dialog for the rest of it.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  class PictureArea;
  void Animate();

  int animationFrame_ = 0;
  CancelSink* cancel_ = nullptr;
  bool running_ = false;
  bool cancelled_ = false;
  bool imageAreaShown_ = false;
  QImage picture_;
  QPushButton* cancelButton_;
  QLabel* animation_;
  QLabel* status_;
  CGradientProgress* progress_;
  PictureArea* lowerFrame_;
  QTimer* timer_;
};

#endif  // PAGEWEAVER_UI_BUSY_DLG_H
