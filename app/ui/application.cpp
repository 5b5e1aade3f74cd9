#include "application.h"

#include "command_line.h"
#include "document/preview_cache.h"
#include "main_frame.h"
#include "message_box.h"

CPageWeaverApp::CPageWeaverApp(Preferences* preferences, CPreviewCache* cache)
    : preferences_(preferences), cache_(cache), doc_(preferences, cache) {}

// The window goes before the document it shows.
CPageWeaverApp::~CPageWeaverApp() {
  frame_.reset();
}

bool CPageWeaverApp::InitInstance(const QStringList& arguments) {
  frame_ = std::make_unique<CMainFrame>(&doc_, preferences_, cache_);
  StartupRequest request = ParseStartupArguments(arguments.mid(1));
  frame_->show();
  // The stored preview size applies from here on: the first layout used the default.
  if (cache_ && preferences_) cache_->SetSize(preferences_->ReadPreviewSize());
  if (preferences_) doc_.ChangeTurnUpright(preferences_->TurnPhotographsUpright());
  if (!request.faults.isEmpty())
    pwui::ShowMessage(frame_.get(),
                      QStringLiteral("These command-line arguments were not used:\n\n") +
                          request.faults.join('\n'));
  if (!request.editFile.empty()) {
    frame_->OpenForEditing(QString::fromStdString(request.editFile));
  } else {
    if (!request.output.empty()) frame_->OpenDocument(QString::fromStdString(request.output));
    if (!request.pages.empty()) {
      pwui::WaitCursor wait;
      doc_.AddPagesInOrder(request.pages);
    }
  }
  return true;
}
