// CGradientProgress: a progress bar filled with bands of colour running from a start to
// an end colour, with the percentage written over it.
#ifndef PAGEWEAVER_UI_GRADIENT_PROGRESS_H
#define PAGEWEAVER_UI_GRADIENT_PROGRESS_H

#include <QColor>
#include <QString>
#include <QWidget>

class CGradientProgress : public QWidget {
  Q_OBJECT
 public:
  explicit CGradientProgress(QWidget* parent = nullptr);

  void SetRange(int lower, int upper);
  void SetPos(int position);
  int Pos() const { return position_; }
  int Lower() const { return lower_; }
  int Upper() const { return upper_; }
  void SetColors(const QColor& start, const QColor& end);
  QColor StartColor() const { return start_; }
  QColor EndColor() const { return end_; }
  void ShowPercent(bool show);
  // The text drawn over the bar: "%3.0f %" of the position within the range; empty
  // when the percentage is off.
  QString PercentText() const;

  QSize sizeHint() const override { return QSize(200, 18); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int lower_ = 0;
  int upper_ = 100;
  int position_ = 0;
  QColor start_{255, 0, 0};
  QColor end_{0, 0, 255};
  QColor background_;
  QColor text_{255, 255, 255};
  bool showPercent_ = false;
};

#endif  // PAGEWEAVER_UI_GRADIENT_PROGRESS_H
