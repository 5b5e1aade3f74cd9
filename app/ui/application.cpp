#include "application.h"

#include <QFileInfo>

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
  QString file;
  for (const QString& argument : arguments.mid(1)) {
    if (!argument.startsWith('-')) {
      file = argument;
      break;
    }
  }
  if (!file.isEmpty()) {
    if (!QFileInfo(file).isFile()) {
      pwui::ShowMessage(nullptr, QStringLiteral("Failed to open document."));
      return false;
    }
    frame_->OpenDocument(file);
  }
  frame_->show();
  // The stored preview size applies from here on: the first layout used the default.
  if (cache_ && preferences_) cache_->SetSize(preferences_->ReadPreviewSize());
  return true;
}
