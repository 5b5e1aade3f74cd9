// CPageWeaverApp: start-up — the one document, the main window and its views, the
// command line, and the preview size in force.
#ifndef PAGEWEAVER_UI_APPLICATION_H
#define PAGEWEAVER_UI_APPLICATION_H

#include <QStringList>
#include <memory>

#include "document/document.h"
#include "document/preferences.h"

class CMainFrame;
class CPreviewCache;

class CPageWeaverApp {
 public:
  CPageWeaverApp(Preferences* preferences, CPreviewCache* cache);
  ~CPageWeaverApp();

  // Makes the window and shows it, then does what the command line asks
  // (ParseStartupArguments): pages, a TIFF to edit, the output file; arguments it cannot
  // use are named in one message. False when the program cannot start.
  bool InitInstance(const QStringList& arguments);

  CPageWeaverDoc* Document() { return &doc_; }
  CMainFrame* Frame() { return frame_.get(); }

 private:
  Preferences* preferences_;
  CPreviewCache* cache_;
  CPageWeaverDoc doc_;
  std::unique_ptr<CMainFrame> frame_;
};

#endif  // PAGEWEAVER_UI_APPLICATION_H
