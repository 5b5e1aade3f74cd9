#include "main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>
#include <algorithm>

#include "about_dlg.h"
#include "bitmap_image.h"
#include "busy_dlg.h"
#include "dialog_data.h"
#include "document/output.h"
#include "document/page_image.h"
#include "document/preview_cache.h"
#include "icons.h"
#include "image_view.h"
#include "info_view.h"
#include "lock_indicators.h"
#include "message_box.h"
#include "page_list_editor.h"
#include "page_list_view.h"
#include "page_viewer_dlg.h"
#include "preferences_dlg.h"
#include "prev_file_dlg.h"

namespace {

// The right column is the preview's width and this much more.
constexpr int kRightColumnExtra = 100;
// The information form below the preview.
constexpr int kInfoRowHeight = 300;

// Names of the kept window layouts.
constexpr char kGeometryLayout[] = "MainGeometry";
constexpr char kWindowLayout[] = "MainState";
constexpr char kColumnsLayout[] = "Columns";
constexpr char kColumnsWidthLayout[] = "ColumnsWidth";
constexpr char kRowsLayout[] = "Rows";

// An action with its status bar prompt and, after a line break, its tool tip.
QAction* MakeAction(QObject* parent, const QString& text, const QString& prompt,
                    const QKeySequence& shortcut = QKeySequence()) {
  auto* action = new QAction(text, parent);
  QStringList parts = prompt.split('\n');
  action->setStatusTip(parts.value(0));
  action->setToolTip(parts.value(1, parts.value(0)));
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  return action;
}

}  // namespace

CMainFrame::CMainFrame(CPageWeaverDoc* doc, Preferences* preferences, CPreviewCache* cache,
                       QWidget* parent)
    : QMainWindow(parent), doc_(doc), preferences_(preferences), cache_(cache), ui_(this) {
  setWindowIcon(pwui::AppIcon());
  resize(1000, 720);
  CreateActions();
  CreateClient();
  CreateEditActions();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  RestoreLayout();

  busy_ = new CBusyDlg(this);
  imageView_->SetBusyTimeout([this] {
    if (doc_->Busy()) busy_->ShowDuringRun();
  });

  doc_->AddView(listView_);
  doc_->AddView(imageView_);
  doc_->AddView(infoView_);
  doc_->AddView(this);
  doc_->SetUserInterface(&ui_);
  doc_->SetPageOrder(listView_->PageModel());
  doc_->SetBusyDisplay(busy_);
  doc_->SetMessagePump(&ui_);
  doc_->SetThumbnailBackground(pwui::ToColorRef(listView_->palette().color(QPalette::Base)));

  UpdateTitle();
  UpdateCommandUI();
}

CMainFrame::~CMainFrame() {
  doc_->RemoveView(this);
  doc_->RemoveView(infoView_);
  doc_->RemoveView(imageView_);
  doc_->RemoveView(listView_);
  doc_->SetUserInterface(nullptr);
  doc_->SetPageOrder(nullptr);
  doc_->SetBusyDisplay(nullptr);
  doc_->SetMessagePump(nullptr);
}

void CMainFrame::CreateActions() {
  addPagesAction = MakeAction(this, QStringLiteral("&Add pages..."),
                              QStringLiteral("Add new pages to this TIFF\nAdd pages"),
                              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  addPagesAction->setIcon(pwui::AddPagesIcon());
  saveAction =
      MakeAction(this, QStringLiteral("&Save"),
                 QStringLiteral("Save all the pages into a single output page\nBuild mutli-TIFF"),
                 QKeySequence(Qt::CTRL | Qt::Key_S));
  saveAction->setIcon(pwui::BuildIcon());
  saveAsAction = MakeAction(this, QStringLiteral("Save &As..."),
                            QStringLiteral("Save the active document with a new name\nSave As"));
  removeAllAction =
      MakeAction(this, QStringLiteral("R&emove all pages"),
                 QStringLiteral("Remove all pages from this multi-TIFF\nRemove all pages"));
  removeAllAction->setIcon(pwui::RemoveAllIcon());
  exitAction = MakeAction(this, QStringLiteral("E&xit"),
                          QStringLiteral("Quit the application; prompts to save documents\nExit"));
  statusBarAction = MakeAction(this, QStringLiteral("&Status Bar"),
                               QStringLiteral("Show or hide the status bar\nToggle StatusBar"));
  statusBarAction->setCheckable(true);
  statusBarAction->setChecked(true);
  preferencesAction = MakeAction(this, QStringLiteral("&Preferences..."),
                                 QStringLiteral("Show PageWeaver preferences\nShow preferences"));
  aboutAction = MakeAction(
      this, QStringLiteral("&About PageWeaver..."),
      QStringLiteral("Display program information, version number and copyright\nAbout"));
  aboutAction->setIcon(pwui::AboutIcon());
  newAction = MakeAction(this, QStringLiteral("New"), QStringLiteral("Create a new document\nNew"),
                         QKeySequence(Qt::CTRL | Qt::Key_N));
  openAction =
      MakeAction(this, QStringLiteral("Open"), QStringLiteral("Open an existing document\nOpen"),
                 QKeySequence(Qt::CTRL | Qt::Key_O));
  auto* nextPane = new QAction(this);
  nextPane->setShortcut(QKeySequence(Qt::Key_F6));
  auto* previousPane = new QAction(this);
  previousPane->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
  // Commands reached by their keys alone.
  addActions({newAction, openAction, nextPane, previousPane});

  connect(addPagesAction, &QAction::triggered, this, &CMainFrame::AddPages);
  connect(saveAction, &QAction::triggered, this, &CMainFrame::Save);
  connect(saveAsAction, &QAction::triggered, this, &CMainFrame::SaveAs);
  connect(removeAllAction, &QAction::triggered, this, &CMainFrame::RemoveAllPages);
  connect(exitAction, &QAction::triggered, this, &QWidget::close);
  connect(statusBarAction, &QAction::toggled, this,
          [this](bool shown) { statusBar()->setVisible(shown); });
  connect(preferencesAction, &QAction::triggered, this, &CMainFrame::ShowPreferences);
  connect(aboutAction, &QAction::triggered, this, &CMainFrame::ShowAbout);
  connect(newAction, &QAction::triggered, this, &CMainFrame::NewDocument);
  connect(openAction, &QAction::triggered, this, [this] {
    if (doc_->Busy() || saving_) return;
    pwui::ArrowCursor arrow;
    QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(),
                                                QStringLiteral("All Files (*)"));
    if (!path.isEmpty()) OpenDocument(path);
  });
  connect(nextPane, &QAction::triggered, this, [this] { CyclePane(1); });
  connect(previousPane, &QAction::triggered, this, [this] { CyclePane(-1); });
}

void CMainFrame::CreateEditActions() {
  CPageListEditor* editor = Editor();
  undoAction = MakeAction(this, QStringLiteral("&Undo"),
                          QStringLiteral("Undo the last change of the page list\nUndo"));
  undoAction->setShortcuts({QKeySequence::Undo, QKeySequence(Qt::ALT | Qt::Key_Backspace)});
  redoAction = MakeAction(this, QStringLiteral("&Redo"),
                          QStringLiteral("Make the change that was undone again\nRedo"));
  redoAction->setShortcuts(QKeySequence::Redo);
  moveUpAction = MakeAction(this, QStringLiteral("Move &Up"),
                            QStringLiteral("Move the selected pages one place up\nMove up"),
                            QKeySequence(Qt::CTRL | Qt::Key_Up));
  moveDownAction = MakeAction(this, QStringLiteral("Move &Down"),
                              QStringLiteral("Move the selected pages one place down\nMove down"),
                              QKeySequence(Qt::CTRL | Qt::Key_Down));
  moveToStartAction =
      MakeAction(this, QStringLiteral("Move to &Start"),
                 QStringLiteral("Move the selected pages to the start of the list\nMove to start"),
                 QKeySequence(Qt::CTRL | Qt::Key_Home));
  moveToEndAction =
      MakeAction(this, QStringLiteral("Move to &End"),
                 QStringLiteral("Move the selected pages to the end of the list\nMove to end"),
                 QKeySequence(Qt::CTRL | Qt::Key_End));
  reverseAction = MakeAction(
      this, QStringLiteral("Re&verse Order"),
      QStringLiteral("Reverse the order of the selected pages, or of all pages\nReverse order"));
  sortMenu = new QMenu(QStringLiteral("S&ort Pages"), this);
  for (const pwui::ComboItem& item : pwui::SortStyleItems()) {
    if (item.data == kSortNone) continue;
    QAction* sort = sortMenu->addAction(QString::fromUtf8(item.text));
    sort->setStatusTip(QStringLiteral("Sort all pages by their source files"));
    connect(sort, &QAction::triggered, editor,
            [editor, style = item.data] { editor->SortPages(style); });
  }
  viewPageAction = listView_->ViewPageAction();

  connect(undoAction, &QAction::triggered, editor, &CPageListEditor::Undo);
  connect(redoAction, &QAction::triggered, editor, &CPageListEditor::Redo);
  using Move = CPageListEditor::Move;
  for (auto [action, move] : {std::pair{moveUpAction, Move::kUp},
                              {moveDownAction, Move::kDown},
                              {moveToStartAction, Move::kToStart},
                              {moveToEndAction, Move::kToEnd}})
    connect(action, &QAction::triggered, editor,
            [editor, move] { editor->MoveSelectedPages(move); });
  connect(reverseAction, &QAction::triggered, editor, &CPageListEditor::ReverseOrder);
  connect(listView_, &CPageWeaverListView::ViewPageRequested, this, &CMainFrame::ViewPage);
  QUndoStack* stack = editor->UndoStack();
  connect(stack, &QUndoStack::indexChanged, this, &CMainFrame::UpdateCommandUI);
  connect(stack, &QUndoStack::canUndoChanged, this, &CMainFrame::UpdateCommandUI);
  connect(stack, &QUndoStack::canRedoChanged, this, &CMainFrame::UpdateCommandUI);
  // The commands that act on the list work wherever the focus is in the window.
  addActions(
      {undoAction, redoAction, moveUpAction, moveDownAction, moveToStartAction, moveToEndAction});
}

void CMainFrame::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(addPagesAction);
  file->addSeparator();
  file->addAction(saveAction);
  file->addAction(saveAsAction);
  file->addSeparator();
  file->addAction(removeAllAction);
  file->addSeparator();
  file->addAction(exitAction);
  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  // The toolbar's own toggle, made in CreateToolBar, goes first.
  view->setObjectName("viewMenu");
  view->addAction(statusBarAction);
  view->addSeparator();
  view->addAction(viewPageAction);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  edit->addAction(undoAction);
  edit->addAction(redoAction);
  edit->addSeparator();
  edit->addActions({moveUpAction, moveDownAction, moveToStartAction, moveToEndAction});
  edit->addSeparator();
  edit->addAction(reverseAction);
  edit->addMenu(sortMenu);
  edit->addSeparator();
  edit->addAction(preferencesAction);
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(aboutAction);
}

void CMainFrame::CreateToolBar() {
  toolBar_ = new QToolBar(QStringLiteral("Toolbar"), this);
  toolBar_->setObjectName("toolbar");
  toolBar_->setIconSize(QSize(20, 20));
  toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
  toolBar_->addAction(addPagesAction);
  toolBar_->addSeparator();
  toolBar_->addAction(saveAction);
  toolBar_->addSeparator();
  toolBar_->addAction(removeAllAction);
  toolBar_->addSeparator();
  toolBar_->addAction(aboutAction);
  addToolBar(Qt::LeftToolBarArea, toolBar_);

  toolbarAction = toolBar_->toggleViewAction();
  toolbarAction->setText(QStringLiteral("&Toolbar"));
  toolbarAction->setStatusTip(QStringLiteral("Show or hide the toolbar"));
  toolbarAction->setToolTip(QStringLiteral("Toggle ToolBar"));
  if (auto* view = menuBar()->findChild<QMenu*>(QStringLiteral("viewMenu")))
    view->insertAction(statusBarAction, toolbarAction);
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  // The idle text comes back whenever a prompt goes away.
  connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& text) {
    if (text.isEmpty()) bar->showMessage(QStringLiteral("Ready"));
  });
  bar->showMessage(QStringLiteral("Ready"));
  locks_ = new CLockIndicators(bar, this);
}

void CMainFrame::CreateClient() {
  outer_ = new QSplitter(Qt::Horizontal);
  listView_ = new CPageWeaverListView(doc_);
  inner_ = new QSplitter(Qt::Vertical);
  imageView_ = new CPageWeaverImageView;
  infoView_ = new CPageWeaverInfoView;
  infoView_->SetPageHandling([this](const PageRecord& r) { return doc_->PageHandlingText(r); });
  infoView_->setFocusPolicy(Qt::StrongFocus);
  inner_->addWidget(imageView_);
  inner_->addWidget(infoView_);
  outer_->addWidget(listView_);
  outer_->addWidget(inner_);
  outer_->setChildrenCollapsible(false);
  inner_->setChildrenCollapsible(false);
  setCentralWidget(outer_);
  splittersCreated_ = true;
}

void CMainFrame::ApplyColumnWidth() {
  if (!splittersCreated_ || isMinimized()) return;
  int width = outer_->width();
  if (width <= 0) return;
  // Until the window gets another width, the columns stay as the last run left them.
  bool kept = width == savedColumnsWidth_ && outer_->restoreState(savedColumns_);
  if (!kept) {
    savedColumnsWidth_ = -1;
    int preview = cache_ ? cache_->Size().width : kDefaultPreviewWidth;
    int left = std::max(width - preview - kRightColumnExtra, listView_->minimumSizeHint().width());
    outer_->setSizes({left, std::max(width - left - outer_->handleWidth(), 0)});
  }
  // The rows start with the information form at the bottom (or as the last run left
  // them); after that they stay as the user sets them.
  if (!rowsSized_ && inner_->height() > 0) {
    int height = inner_->height();
    if (savedRows_.isEmpty() || !inner_->restoreState(savedRows_))
      inner_->setSizes({std::max(height - kInfoRowHeight, 0), kInfoRowHeight});
    rowsSized_ = true;
  }
}

void CMainFrame::RestoreLayout() {
  if (!preferences_) return;
  auto read = [this](const char* name) {
    return QByteArray::fromStdString(preferences_->ReadLayout(name));
  };
  if (QByteArray geometry = read(kGeometryLayout); !geometry.isEmpty()) restoreGeometry(geometry);
  if (QByteArray state = read(kWindowLayout); !state.isEmpty()) restoreState(state);
  savedColumns_ = read(kColumnsLayout);
  bool ok = false;
  savedColumnsWidth_ = read(kColumnsWidthLayout).toInt(&ok);
  if (!ok || savedColumns_.isEmpty()) savedColumnsWidth_ = -1;
  savedRows_ = read(kRowsLayout);
}

void CMainFrame::SaveLayout() {
  if (!preferences_) return;
  preferences_->WriteLayout(kGeometryLayout, saveGeometry().toStdString());
  preferences_->WriteLayout(kWindowLayout, saveState().toStdString());
  preferences_->WriteLayout(kColumnsLayout, outer_->saveState().toStdString());
  preferences_->WriteLayout(kColumnsWidthLayout, QByteArray::number(outer_->width()).toStdString());
  preferences_->WriteLayout(kRowsLayout, inner_->saveState().toStdString());
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  ApplyColumnWidth();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (doc_->Busy() || saving_) {
    // The run is stopped at the next page and the window closes once it has ended.
    closePending_ = true;
    busy_->reject();
    doc_->cancelSink()->Cancel();
    event->ignore();
    return;
  }
  SaveLayout();
  QMainWindow::closeEvent(event);
}

void CMainFrame::OnUpdate(PageListHint hint, const PageHint*) {
  if (hint == HINT_SAVE_BEGIN || hint == HINT_SAVE_END) {
    saving_ = hint == HINT_SAVE_BEGIN;
    if (saving_)
      setCursor(Qt::WaitCursor);
    else
      unsetCursor();
    UpdateCommandUI();
  }
}

void CMainFrame::UpdateCommandUI() {
  bool idle = !doc_->Busy() && !saving_;
  for (QAction* action : {addPagesAction, preferencesAction, saveAction, saveAsAction,
                          removeAllAction, newAction, openAction, moveUpAction, moveDownAction,
                          moveToStartAction, moveToEndAction, reverseAction, viewPageAction})
    action->setEnabled(idle);
  sortMenu->setEnabled(idle);
  QUndoStack* stack = Editor()->UndoStack();
  undoAction->setEnabled(idle && stack->canUndo());
  redoAction->setEnabled(idle && stack->canRedo());
  UpdateUndoTexts();
}

void CMainFrame::UpdateUndoTexts() {
  QUndoStack* stack = Editor()->UndoStack();
  auto text = [](const QString& verb, bool can, const QString& step) {
    return can && !step.isEmpty() ? verb + ' ' + step : verb;
  };
  undoAction->setText(text(QStringLiteral("&Undo"), stack->canUndo(), stack->undoText()));
  redoAction->setText(text(QStringLiteral("&Redo"), stack->canRedo(), stack->redoText()));
}

CPageListEditor* CMainFrame::Editor() const {
  return listView_->Editor();
}

void CMainFrame::ViewPage() {
  if (doc_->Busy() || saving_) return;
  int32_t page = listView_->CurrentPageId();
  if (page < 0) return;
  if (!viewer_) viewer_ = new CPageViewerDlg(doc_, this);
  viewer_->ShowPage(page);
}

void CMainFrame::UpdateTitle() {
  QString name = path_.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(path_).fileName();
  setWindowTitle(QStringLiteral("%1 - %2").arg(name, pwui::kProductName));
}

void CMainFrame::AddPages() {
  if (doc_->Busy() || saving_) return;
  CPrevFileDlg dialog(this);
  dialog.setWindowTitle(QStringLiteral("Add new images"));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  pwui::SetAddImagesFilters(&dialog);
  if (dialog.exec() != QDialog::Accepted) return;
  QStringList files = dialog.selectedFiles();
  if (!pwui::SelectionFitsBuffer(files)) {
    pwui::ShowMessage(
        this,
        QStringLiteral("You cannot add more than %1 files at a time").arg(pwui::kMaxFilesHint));
    return;
  }
  std::vector<std::string> names;
  for (const QString& file : files) names.push_back(file.toStdString());
  pwui::WaitCursor wait;
  Editor()->AddPages(names);
}

bool CMainFrame::RunSave(const std::string& path) {
  if (doc_->Busy() || saving_) return false;
  ui_.SetRecentFiles(recent_.Files());
  std::map<int32_t, PageRecord> before = doc_->Pages();
  OutputReport report = doc_->Save(path);
  // Pages saved into their own source file were read again from their new places in
  // it: the earlier steps would bring back pages that are no longer there.
  if (doc_->Pages() != before) Editor()->Clear();
  if (report.ok()) {
    path_ = QString::fromStdString(doc_->Path());
    recent_.Add(path_);
    UpdateTitle();
  }
  if (closePending_) QTimer::singleShot(0, this, &QWidget::close);
  return report.ok();
}

namespace {

bool HoldsPDF(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) && file.read(5) == "%PDF-";
}

}  // namespace

bool CMainFrame::Save() {
  // The file may have been named on the command line or opened: anything that is not of
  // the format the save writes (a TIFF, or a PDF for a name ending in .pdf, as a save
  // before left it) is replaced only when the user says so.
  std::string path = path_.toStdString();
  const bool pdf = OutputFormatFor(path) == OutputFormat::kPDF;
  if (!path.empty() && QFileInfo(path_).isFile() &&
      !(pdf ? HoldsPDF(path_) : CPageImage::HasTiffContent(path)) &&
      pwui::ShowMessage(this,
                        QStringLiteral("%1 is not a %2 file.\nReplace it with the pages?")
                            .arg(QDir::toNativeSeparators(path_), pdf ? "PDF" : "TIFF"),
                        pwui::Buttons::kYesNo) != pwui::Answer::kYes)
    return false;
  return RunSave(path);
}

bool CMainFrame::SaveAs() {
  return RunSave(std::string());
}

void CMainFrame::RemoveAllPages() {
  if (doc_->Busy() || saving_) return;
  Editor()->RemoveAllPages();
}

void CMainFrame::ShowPreferences() {
  if (doc_->Busy() || saving_ || !preferences_) return;
  CPreferencesDlg dialog(preferences_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  doc_->ChangePreviewSize(dialog.PreviewSizeValue());
  doc_->ChangeTurnUpright(dialog.TurnPhotographsUpright());
}

void CMainFrame::ShowAbout() {
  CAboutDlg dialog(this);
  dialog.exec();
}

void CMainFrame::NewDocument() {
  if (doc_->Busy() || saving_) return;
  doc_->RemoveAllPages();
  Editor()->Clear();
  path_.clear();
  UpdateTitle();
}

void CMainFrame::OpenDocument(const QString& path) {
  if (doc_->Busy() || saving_) return;
  doc_->RemoveAllPages();
  Editor()->Clear();
  path_ = QFileInfo(path).absoluteFilePath();
  recent_.Add(path_);
  UpdateTitle();
}

void CMainFrame::OpenForEditing(const QString& path) {
  if (doc_->Busy() || saving_) return;
  OpenDocument(path);
  pwui::WaitCursor wait;
  doc_->AddAllPages(path_.toStdString());
}

void CMainFrame::CyclePane(int step) {
  QWidget* panes[] = {listView_, imageView_, infoView_};
  int current = 0;
  for (int i = 0; i < 3; ++i)
    if (panes[i]->isAncestorOf(focusWidget()) || panes[i] == focusWidget()) current = i;
  panes[(current + step + 3) % 3]->setFocus(Qt::ShortcutFocusReason);
}
