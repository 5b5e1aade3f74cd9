// Helpers of the GUI tests: answering message boxes, driving modal dialogs, and a
// document with its own settings and preview cache.
#ifndef PAGEWEAVER_TESTS_APP_UI_UI_SUPPORT_H
#define PAGEWEAVER_TESTS_APP_UI_UI_SUPPORT_H

#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/preferences.h"
#include "document/preview_cache.h"
#include "test_support.h"
#include "ui/message_box.h"

namespace uitest {

// Answers every message box in place of the user and keeps its text.
class MessageRecorder {
 public:
  explicit MessageRecorder(pwui::Answer answer = pwui::Answer::kOk) : answer_(answer) {
    previous_ = pwui::SetMessageHandler([this](QWidget*, const QString& text, pwui::Buttons) {
      texts.push_back(text);
      return answer_;
    });
  }
  ~MessageRecorder() { pwui::SetMessageHandler(previous_); }
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<QString> texts;

 private:
  pwui::Answer answer_;
  pwui::MessageHandler previous_;
};

// Calls `step` from the event loop every `intervalMs` until it returns true, at most
// `attempts` times (for code waiting in a loop of its own, such as a modal dialog). A
// modal dialog still open when it gives up is closed, so that the test fails instead of
// waiting for ever.
inline void Repeat(std::function<bool()> step, int intervalMs = 10, int attempts = 300) {
  QTimer::singleShot(intervalMs, [step, intervalMs, attempts] {
    if (step()) return;
    if (attempts > 1) return Repeat(step, intervalMs, attempts - 1);
    if (QWidget* stuck = QApplication::activeModalWidget()) {
      ADD_FAILURE() << "a dialog was left open: " << stuck->windowTitle().toStdString();
      stuck->close();
    }
  });
}

// Runs `act` on the next modal dialog of type T once it is up (for code that opens one
// with exec()). The dialog must be closed by `act`. Gives up after about two seconds, so
// that a dialog that never came cannot be answered in a later test.
template <typename T>
void WhenModal(std::function<void(T*)> act) {
  Repeat([act] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (dialog) act(dialog);
    return dialog != nullptr;
  });
}

// A document with settings and a preview cache in a folder of its own.
struct DocumentFixture {
  pxtest::TempDir dir;
  Preferences preferences{dir.File("settings.ini")};
  CPreviewCache cache{dir.File("cache")};
  CPageWeaverDoc doc{&preferences, &cache};

  // A 24-bit BMP of the given size with a pattern of its own.
  std::string Bmp(const std::string& name, uint32_t width = 40, uint32_t height = 30);
};

}  // namespace uitest

#endif  // PAGEWEAVER_TESTS_APP_UI_UI_SUPPORT_H
