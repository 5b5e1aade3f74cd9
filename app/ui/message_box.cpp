#include "message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace pwui {

namespace {

MessageHandler& Handler() {
  static MessageHandler handler;
  return handler;
}

Answer RunMessageBox(QWidget* parent, const QString& text, Buttons buttons) {
  ArrowCursor arrow;
  QMessageBox box(parent);
  box.setWindowTitle(kProductName);
  box.setText(text);
  switch (buttons) {
    case Buttons::kOk:
      box.setIcon(QMessageBox::Warning);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case Buttons::kYesNo:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setEscapeButton(QMessageBox::No);
      break;
    case Buttons::kOkCancel:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    case QMessageBox::Cancel:
      return Answer::kCancel;
    default:
      return Answer::kOk;
  }
}

}  // namespace

Answer ShowMessage(QWidget* parent, const QString& text, Buttons buttons) {
  if (Handler()) return Handler()(parent, text, buttons);
  return RunMessageBox(parent, text, buttons);
}

MessageHandler SetMessageHandler(MessageHandler handler) {
  MessageHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

ArrowCursor::ArrowCursor() {
  QApplication::setOverrideCursor(Qt::ArrowCursor);
}

ArrowCursor::~ArrowCursor() {
  QApplication::restoreOverrideCursor();
}

WaitCursor::WaitCursor() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
  QApplication::restoreOverrideCursor();
}

}  // namespace pwui
