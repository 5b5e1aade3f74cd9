// CMainFrame: the main window — menus, toolbar and status bar around the page list on
// the left and, on the right, the preview above the page's information. It runs the
// application's commands.
#ifndef PAGEWEAVER_UI_MAIN_FRAME_H
#define PAGEWEAVER_UI_MAIN_FRAME_H

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <vector>

#include "document/document.h"
#include "document/preferences.h"
#include "qt_user_interface.h"
#include "recent_files.h"

class CBusyDlg;
class CLockIndicators;
class CPageListEditor;
class CPageViewerDlg;
class CPageWeaverImageView;
class CPageWeaverInfoView;
class CPageWeaverListView;
class CPreviewCache;
class QAction;
class QMenu;
class QSplitter;
class QToolBar;

class CMainFrame : public QMainWindow, public DocumentView {
  Q_OBJECT
 public:
  // The document's views, questions, busy display and message pump are the frame's
  // while it lives. `cache` gives the preview width the left column leaves room for.
  CMainFrame(CPageWeaverDoc* doc, Preferences* preferences, CPreviewCache* cache,
             QWidget* parent = nullptr);
  ~CMainFrame() override;

  void OnUpdate(PageListHint hint, const PageHint* pageHint) override;

  // The commands.
  void AddPages();
  // Writes the pages to the document's file, asking for one when it has none; true
  // when the file was written.
  bool Save();
  bool SaveAs();
  void RemoveAllPages();
  void ShowPreferences();
  void ShowAbout();
  // A new, empty page list without a file.
  void NewDocument();
  // Makes `path` the document's file, with an empty page list.
  void OpenDocument(const QString& path);
  // Makes a TIFF the document's file and adds all its pages, so that Save writes the
  // edited pages back to it.
  void OpenForEditing(const QString& path);

  // "View Page": the current page at full size, in the one page window.
  void ViewPage();

  // Enables the commands for the document's state: nothing that changes the page list
  // or starts another output runs while the output is being written.
  void UpdateCommandUI();

  CPageWeaverListView* ListView() const { return listView_; }
  CPageWeaverImageView* ImageView() const { return imageView_; }
  CPageWeaverInfoView* InfoView() const { return infoView_; }
  CBusyDlg* BusyDialog() const { return busy_; }
  QToolBar* ToolBar() const { return toolBar_; }
  QSplitter* OuterSplitter() const { return outer_; }
  QSplitter* InnerSplitter() const { return inner_; }
  CPageListEditor* Editor() const;
  // The page window, once "View Page" made it.
  CPageViewerDlg* PageViewer() const { return viewer_; }
  CLockIndicators* LockIndicators() const { return locks_; }

  QAction* addPagesAction;
  QAction* saveAction;
  QAction* saveAsAction;
  QAction* removeAllAction;
  QAction* exitAction;
  QAction* toolbarAction;
  QAction* statusBarAction;
  QAction* preferencesAction;
  QAction* aboutAction;
  QAction* newAction;
  QAction* openAction;
  QAction* undoAction;
  QAction* redoAction;
  QAction* moveUpAction;
  QAction* moveDownAction;
  QAction* moveToStartAction;
  QAction* moveToEndAction;
  QAction* reverseAction;
  QMenu* sortMenu;
  QAction* viewPageAction;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void CreateClient();
  void CreateEditActions();
  void ApplyColumnWidth();
  // The window's size and place, the toolbar and the splitters as the last run left
  // them, and keeping them for the next.
  void RestoreLayout();
  void SaveLayout();
  void UpdateUndoTexts();
  void UpdateTitle();
  bool RunSave(const std::string& path);
  void CyclePane(int step);

  CPageWeaverDoc* doc_;
  Preferences* preferences_;
  CPreviewCache* cache_;
  QtUserInterface ui_;
  RecentFileList recent_;
  QString path_;
  bool saving_ = false;
  bool closePending_ = false;
  bool splittersCreated_ = false;
  bool rowsSized_ = false;
  // The column sizes kept from the last run, for the width they were left at; they hold
  // until the window is made wider or narrower.
  QByteArray savedColumns_;
  int savedColumnsWidth_ = -1;
  QByteArray savedRows_;

  QSplitter* outer_ = nullptr;
  QSplitter* inner_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  CPageWeaverListView* listView_ = nullptr;
  CPageWeaverImageView* imageView_ = nullptr;
  CPageWeaverInfoView* infoView_ = nullptr;
  CBusyDlg* busy_ = nullptr;
  CLockIndicators* locks_ = nullptr;
  CPageViewerDlg* viewer_ = nullptr;
};

#endif  // PAGEWEAVER_UI_MAIN_FRAME_H
