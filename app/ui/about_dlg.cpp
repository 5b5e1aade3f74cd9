#include "about_dlg.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QMouseEvent>
#include <QUrl>
#include <QVBoxLayout>

#include "icons.h"
#include "message_box.h"
#include "pixolith/px_core.h"

#ifndef PAGEWEAVER_VERSION
#define PAGEWEAVER_VERSION "1.0.0.0"
#endif

namespace {

// Empty in release builds; a test or private build names itself here.
constexpr char kSpecialBuild[] = "";
constexpr char kWebAddress[] = "https://tinkerfield.example/pageweaver";
constexpr char kMailAddress[] = "pageweaver@tinkerfield.example";

const QColor kLinkColor(0, 0, 238);
const QColor kVisitedColor(85, 26, 139);

}  // namespace

CLinkStatic::CLinkStatic(const QString& text, const QString& target, QWidget* parent)
    : QLabel(text, parent) {
  setTextFormat(Qt::PlainText);
  setCursor(Qt::PointingHandCursor);
  SetTarget(target);
  SetColor(kLinkColor);
}

void CLinkStatic::SetTarget(const QString& target) {
  target_ = target;
  setToolTip(target);
}

void CLinkStatic::SetColor(const QColor& color) {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, color);
  setPalette(p);
}

void CLinkStatic::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
  QDesktopServices::openUrl(QUrl(target_));
  visited_ = true;
  SetColor(kVisitedColor);
}

void CLinkStatic::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  SetColor(palette().color(QPalette::Highlight));
}

void CLinkStatic::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  SetColor(visited_ ? kVisitedColor : kLinkColor);
}

QString CAboutDlg::VersionText() {
  QString version = QStringLiteral(PAGEWEAVER_VERSION);
  if (kSpecialBuild[0]) version += QStringLiteral(" ") + QString::fromUtf8(kSpecialBuild);
  return version;
}

QString CAboutDlg::ProductLine() {
  return QStringLiteral("%1, Version %2").arg(pwui::kProductName, VersionText());
}

QString CAboutDlg::Copyright() {
  return QStringLiteral("Copyright (C) Tinkerfield. All rights reserved.");
}

QString CAboutDlg::LibraryLine() {
  char version[64] = {};
  PXGetVersion(version);
  return QStringLiteral("Using Pixolith version: %1").arg(QString::fromLatin1(version));
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About PageWeaver"));

  auto* icon = new QLabel;
  icon->setPixmap(pwui::AppIcon().pixmap(32, 32));
  auto* product = new QLabel(ProductLine());
  product->setObjectName("product");
  auto* copyright = new QLabel(Copyright());
  copyright->setObjectName("copyright");
  auto* library = new QLabel(LibraryLine());
  library->setObjectName("library");
  auto* web = new CLinkStatic(QString::fromUtf8(kWebAddress), QString::fromUtf8(kWebAddress));
  web->setObjectName("web");
  QString mail = QString::fromUtf8(kMailAddress);
  auto* email =
      new CLinkStatic(mail, QStringLiteral("mailto:%1?subject=%2").arg(mail, ProductLine()));
  email->setObjectName("email");

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* grid = new QGridLayout;
  grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
  grid->addWidget(product, 0, 1);
  grid->addWidget(copyright, 1, 1);
  grid->addWidget(library, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Contact Tinkerfield on the web or by e-mail:")), 3, 1);
  grid->addWidget(web, 4, 1);
  grid->addWidget(email, 5, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(buttons);
}
