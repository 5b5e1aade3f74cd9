#include "gradient_progress.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

CGradientProgress::CGradientProgress(QWidget* parent)
    : QWidget(parent), background_(palette().color(QPalette::Button)) {}

void CGradientProgress::SetRange(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
  update();
}

void CGradientProgress::SetPos(int position) {
  if (position == position_) return;
  position_ = position;
  update();
}

void CGradientProgress::SetColors(const QColor& start, const QColor& end) {
  start_ = start;
  end_ = end;
  update();
}

void CGradientProgress::ShowPercent(bool show) {
  showPercent_ = show;
  update();
}

QString CGradientProgress::PercentText() const {
  if (!showPercent_ || upper_ == lower_) return QString();
  double percent = double(position_ - lower_) * 100.0 / double(upper_ - lower_);
  return QString::asprintf("%3.0f %%", percent);
}

void CGradientProgress::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect bar = rect();
  painter.fillRect(bar, background_);
  if (position_ <= lower_ || position_ > upper_ || upper_ <= 0) return;

  const double length = bar.width();
  const double filled = double(position_) / double(upper_) * length;
  const int steps =
      std::max({std::abs(end_.red() - start_.red()), std::abs(end_.green() - start_.green()),
                std::abs(end_.blue() - start_.blue())});
  if (steps == 0) {
    // Equal colours: one plain fill.
    painter.fillRect(QRectF(bar.left(), bar.top(), filled, bar.height()), start_);
  } else {
    const double band = length / steps;
    for (int i = 0; i < steps; ++i) {
      const double from = i * band;
      if (from >= filled) break;
      QColor color(start_.red() + (end_.red() - start_.red()) * i / steps,
                   start_.green() + (end_.green() - start_.green()) * i / steps,
                   start_.blue() + (end_.blue() - start_.blue()) * i / steps);
      // Whole pixels, so that neighbouring bands neither overlap nor leave gaps.
      int x0 = int(std::floor(from)), x1 = int(std::floor(from + band));
      if (x1 <= x0) x1 = x0 + 1;
      painter.fillRect(QRect(bar.left() + x0, bar.top(), x1 - x0, bar.height()), color);
    }
  }
  QString text = PercentText();
  if (!text.isEmpty()) {
    painter.setPen(text_);
    painter.drawText(bar, Qt::AlignCenter | Qt::TextSingleLine, text);
  }
}
