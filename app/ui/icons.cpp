#include "icons.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace pwui {

namespace {

QPixmap Draw(int size, const std::function<void(QPainter&)>& draw) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);
  draw(painter);
  return pixmap;
}

QIcon IconOf(const std::function<void(QPainter&)>& draw) {
  QIcon icon;
  for (int size : {16, 24, 32, 48}) icon.addPixmap(Draw(size, draw));
  return icon;
}

// One sheet of paper with a folded corner, its top left at (x, y).
void Sheet(QPainter& p, qreal x, qreal y, qreal w, qreal h, const QColor& fill) {
  QPainterPath path;
  path.moveTo(x, y);
  path.lineTo(x + w - 6, y);
  path.lineTo(x + w, y + 6);
  path.lineTo(x + w, y + h);
  path.lineTo(x, y + h);
  path.closeSubpath();
  p.setPen(QPen(QColor(40, 40, 40), 1.5));
  p.setBrush(fill);
  p.drawPath(path);
}

// Three sheets fanned out: the pages of one file.
void Stack(QPainter& p) {
  Sheet(p, 12, 2, 17, 22, QColor(200, 210, 235));
  Sheet(p, 8, 5, 17, 22, QColor(225, 230, 245));
  Sheet(p, 4, 8, 17, 22, Qt::white);
}

}  // namespace

QIcon AppIcon() {
  return IconOf([](QPainter& p) {
    Stack(p);
    p.setPen(QPen(QColor(20, 70, 160), 2));
    for (int y = 15; y <= 25; y += 5) p.drawLine(QPointF(7, y), QPointF(18, y));
  });
}

QIcon AddPagesIcon() {
  return IconOf([](QPainter& p) {
    Sheet(p, 4, 3, 18, 24, Qt::white);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 140, 50));
    p.drawEllipse(QPointF(23, 22), 8, 8);
    p.setPen(QPen(Qt::white, 2.5));
    p.drawLine(QPointF(23, 17.5), QPointF(23, 26.5));
    p.drawLine(QPointF(18.5, 22), QPointF(27.5, 22));
  });
}

QIcon BuildIcon() {
  return IconOf([](QPainter& p) {
    Stack(p);
    p.setPen(QPen(QColor(20, 70, 160), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12.5, 13), QPointF(12.5, 25));
    p.drawLine(QPointF(8, 20.5), QPointF(12.5, 25));
    p.drawLine(QPointF(17, 20.5), QPointF(12.5, 25));
  });
}

QIcon RemoveAllIcon() {
  return IconOf([](QPainter& p) {
    Stack(p);
    p.setPen(QPen(QColor(190, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 13), QPointF(17, 25));
    p.drawLine(QPointF(17, 13), QPointF(8, 25));
  });
}

QIcon AboutIcon() {
  return IconOf([](QPainter& p) {
    p.setPen(QPen(QColor(20, 70, 160), 1.5));
    p.setBrush(QColor(225, 235, 255));
    p.drawEllipse(QPointF(16, 16), 13, 13);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 70, 160));
    p.drawEllipse(QPointF(16, 9.5), 2.2, 2.2);
    p.drawRoundedRect(QRectF(14, 13.5, 4, 11), 1, 1);
  });
}

QPixmap AnimationFrame(int slot) {
  if (slot != 0 && slot != 1) return QPixmap();
  return Draw(32, [slot](QPainter& p) {
    // A sheet going into the stack: first above it, then on it.
    Sheet(p, 4, 12, 17, 18, QColor(225, 230, 245));
    Sheet(p, slot == 0 ? 12 : 8, slot == 0 ? 1 : 8, 17, 18, Qt::white);
  });
}

}  // namespace pwui
