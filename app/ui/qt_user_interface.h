// The document's questions and dialogs as Qt windows, and the message pump that keeps
// the windows alive while the output is written on the same thread.
#ifndef PAGEWEAVER_UI_QT_USER_INTERFACE_H
#define PAGEWEAVER_UI_QT_USER_INTERFACE_H

#include <QStringList>

#include "document/interfaces.h"

class QWidget;

class QtUserInterface : public UserInterface, public MessagePump {
 public:
  explicit QtUserInterface(QWidget* parent) : parent_(parent) {}

  Answer Ask(const std::string& text, Buttons buttons) override;
  void Beep() override;
  bool ChooseFrames(const std::string& path, int pageCount, std::vector<int>* frames) override;
  bool EditPageOptions(const PageRecord& page, PageOutputSettings* settings, bool* setAllPages,
                       bool* changeSize) override;
  bool EditSeveralPagesOptions(const std::vector<PageRecord>& pages,
                               SettingsChange* change) override;
  std::string AskSavePath() override;

  // Folders offered in the save dialog's history.
  void SetRecentFiles(const QStringList& files) { recent_ = files; }

  // One burst of at most 80 ms of the waiting events per call of the pump.
  bool HasPendingMessage() override;
  void DispatchOneMessage() override;

 private:
  QWidget* parent_;
  QStringList recent_;
  bool dispatched_ = false;
};

#endif  // PAGEWEAVER_UI_QT_USER_INTERFACE_H
