// The application's message boxes. Every question and refusal of the user interface goes
// through ShowMessage, so that a test can answer in place of the user.
#ifndef PAGEWEAVER_UI_MESSAGE_BOX_H
#define PAGEWEAVER_UI_MESSAGE_BOX_H

#include <QString>
#include <functional>

#include "document/interfaces.h"

class QWidget;

namespace pwui {

// The product name: window titles and message box captions.
inline constexpr char kProductName[] = "PageWeaver";

using Answer = UserInterface::Answer;
using Buttons = UserInterface::Buttons;
using MessageHandler = std::function<Answer(QWidget* parent, const QString& text, Buttons)>;

// Shows `text` with the buttons and returns the one pressed (Escape gives No or Cancel).
Answer ShowMessage(QWidget* parent, const QString& text, Buttons buttons = Buttons::kOk);
// Replaces the message boxes (an empty handler restores them); returns the previous one.
MessageHandler SetMessageHandler(MessageHandler handler);

// While alive, the pointer is the ordinary arrow even inside a wait-cursor operation, so
// that a question in the middle of one can be answered.
class ArrowCursor {
 public:
  ArrowCursor();
  ~ArrowCursor();
  ArrowCursor(const ArrowCursor&) = delete;
  ArrowCursor& operator=(const ArrowCursor&) = delete;
};

// The wait cursor over the whole application while alive.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace pwui

#endif  // PAGEWEAVER_UI_MESSAGE_BOX_H
