// The main window: its commands, layout and a whole session from adding pages to a
// saved multi-page TIFF, with the busy dialog and Cancel.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QToolBar>
#include <QUndoStack>
#include <filesystem>
#include <fstream>

#include "document/page_image.h"
#include "document_support.h"
#include "image_files.h"
#include "ui/busy_dlg.h"
#include "ui/image_view.h"
#include "ui/info_view.h"
#include "ui/main_frame.h"
#include "ui/page_list_editor.h"
#include "ui/page_list_view.h"
#include "ui/page_options_dlg.h"
#include "ui/page_viewer_dlg.h"
#include "ui/preferences_dlg.h"
#include "ui/prev_file_dlg.h"
#include "ui/sub_frame_dlg.h"
#include "ui_support.h"

namespace {

// The user's answers: the save path, and the chooser's pages.
struct SessionUI : QtUserInterface {
  using QtUserInterface::QtUserInterface;
  std::string savePath;
  int saveAsked = 0;
  std::string AskSavePath() override {
    ++saveAsked;
    return savePath;
  }
};

// Passes everything to the frame's busy dialog and lets the test look in during a run.
struct WatchedBusy : BusyDisplay {
  CBusyDlg* dialog = nullptr;
  std::function<void(int)> onProgress;
  int reports = 0;
  std::vector<int> percents;
  void Start(CancelSink* cancel) override { dialog->Start(cancel); }
  void ShowProgress(const std::string& text, int percent, const CPageImage* image) override {
    dialog->ShowProgress(text, percent, image);
    percents.push_back(percent);
    if (onProgress) onProgress(reports);
    ++reports;
  }
  void Finish() override { dialog->Finish(); }
};

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_.savePath = fx_.dir.File("out.tif");
    fx_.doc.SetUserInterface(&ui_);
    busy_.dialog = frame_.BusyDialog();
    fx_.doc.SetBusyDisplay(&busy_);
    fx_.doc.AddView(&record_);
  }
  void TearDown() override { fx_.doc.RemoveView(&record_); }

  std::vector<std::string> MakeInputs() {
    std::string a = fx_.Bmp("a.bmp", 60, 40);
    std::string b = fx_.dir.File("b.png");
    pxtest::WritePNG24(b, 50, 50, [](uint32_t x, uint32_t y) { return x * 5 << 8 | y; });
    std::string c = fx_.dir.File("c.tif");
    std::vector<pxtest::TiffPage> pages(2);
    pages[0].width = 11;
    pages[1].width = 13;
    for (auto& p : pages) p.pixel = [](uint32_t x, uint32_t) { return x * 20 << 16; };
    pxtest::WriteTIFF(c, pages);
    return {a, b, c};
  }
  // Adds the pages as a drop does, taking every page of the two-page TIFF.
  void AddPages(const std::vector<std::string>& files) {
    QStringList paths;
    int pages = 0;  // of the multi-page file
    for (const std::string& f : files) {
      paths << QString::fromStdString(f);
      pages = std::max(pages, CPageImage::PageCount(f));
    }
    if (pages > 1) {
      // The chooser fills its list while it is open, letting events through after its
      // first page: it is answered once every page is listed.
      uitest::Repeat([pages] {
        auto* chooser = qobject_cast<CSubFrameDlg*>(QApplication::activeModalWidget());
        if (!chooser || chooser->FrameList()->count() < pages) return false;
        chooser->SelectAll();
        chooser->accept();
        return true;
      });
    }
    frame_.ListView()->AddDroppedFiles(paths);
  }
  // Answers the add-images dialog: once the test's folder is listed with at least
  // `files` entries, `choose` selects some and the dialog is confirmed.
  void ChooseFiles(int files, std::function<void(CPrevFileDlg*, QListView*)> choose) {
    QString folder = QString::fromStdString(fx_.dir.path().string());
    uitest::Repeat([folder, files, choose] {
      auto* dlg = qobject_cast<CPrevFileDlg*>(QApplication::activeModalWidget());
      if (!dlg) return false;
      auto* list = dlg->findChild<QListView*>("listView");
      if (dlg->directory().absolutePath() != folder) dlg->setDirectory(folder);
      // The folder is read in the background.
      if (!list || list->model()->rowCount(list->rootIndex()) < files) return false;
      choose(dlg, list);
      static_cast<QDialog*>(dlg)->accept();
      return !dlg->isVisible();
    });
  }
  std::vector<uint32_t> SavedWidths(const std::string& path) {
    std::vector<uint32_t> widths;
    for (const auto& dir : pxtest::ReadTiffDirectories(path)) widths.push_back(dir.width);
    return widths;
  }

  uitest::DocumentFixture fx_;
  CMainFrame frame_{&fx_.doc, &fx_.preferences, &fx_.cache};
  SessionUI ui_{&frame_};
  WatchedBusy busy_;
  pxtest::RecordingView record_;
};

QStringList Texts(const QList<QAction*>& actions) {
  QStringList texts;
  for (QAction* a : actions) texts << (a->isSeparator() ? "-" : a->text());
  return texts;
}

TEST_F(MainFrameTest, MenusToolbarAndTitle) {
  EXPECT_EQ(frame_.windowTitle(), "Untitled - PageWeaver");
  QList<QAction*> menus = frame_.menuBar()->actions();
  ASSERT_EQ(Texts(menus), QStringList({"&File", "&View", "&Edit", "&Help"}));
  EXPECT_EQ(Texts(menus[0]->menu()->actions()),
            QStringList({"&Add pages...", "-", "&Save", "Save &As...", "-", "R&emove all pages",
                         "-", "E&xit"}));
  EXPECT_EQ(Texts(menus[1]->menu()->actions()),
            QStringList({"&Toolbar", "&Status Bar", "-", "View Page"}));
  EXPECT_EQ(
      Texts(menus[2]->menu()->actions()),
      QStringList({"&Undo", "&Redo", "-", "Move &Up", "Move &Down", "Move to &Start",
                   "Move to &End", "-", "Re&verse Order", "S&ort Pages", "-", "&Preferences..."}));
  EXPECT_EQ(Texts(frame_.sortMenu->actions()),
            QStringList({"Alpha-numeric", "Alpha-numeric (reverse)", "Alphabetical",
                         "Alphabetical(reverse)", "Date", "Date (reversed)"}));
  EXPECT_EQ(frame_.addPagesAction->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  EXPECT_EQ(frame_.addPagesAction->icon().cacheKey(),
            frame_.ToolBar()->actions().first()->icon().cacheKey());
  EXPECT_EQ(frame_.undoAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_TRUE(frame_.undoAction->shortcuts().contains(QKeySequence(Qt::ALT | Qt::Key_Backspace)));
  EXPECT_EQ(frame_.redoAction->shortcuts(), QKeySequence::keyBindings(QKeySequence::Redo));
  EXPECT_EQ(frame_.moveUpAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Up));
  EXPECT_EQ(frame_.moveToEndAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_End));
  EXPECT_EQ(frame_.viewPageAction->shortcut(), QKeySequence(Qt::Key_Space));
  // Nothing to undo yet.
  EXPECT_FALSE(frame_.undoAction->isEnabled());
  EXPECT_FALSE(frame_.redoAction->isEnabled());
  EXPECT_EQ(Texts(menus[3]->menu()->actions()), QStringList({"&About PageWeaver..."}));
  EXPECT_EQ(frame_.saveAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  EXPECT_EQ(frame_.saveAction->statusTip(), "Save all the pages into a single output page");
  EXPECT_EQ(frame_.removeAllAction->statusTip(), "Remove all pages from this multi-TIFF");

  EXPECT_EQ(frame_.toolBarArea(frame_.ToolBar()), Qt::LeftToolBarArea);
  QStringList tips;
  for (QAction* a : frame_.ToolBar()->actions()) tips << (a->isSeparator() ? "-" : a->toolTip());
  EXPECT_EQ(tips, QStringList({"Add pages", "-", "Build mutli-TIFF", "-", "Remove all pages", "-",
                               "About"}));
}

TEST_F(MainFrameTest, LeftColumnLeavesRoomForThePreview) {
  frame_.resize(1200, 800);
  frame_.show();
  QApplication::processEvents();
  QSplitter* outer = frame_.OuterSplitter();
  EXPECT_EQ(outer->sizes()[0], outer->width() - 280 - 100);
  fx_.cache.SetSize({400, 500});
  frame_.resize(1100, 800);
  QApplication::processEvents();
  EXPECT_EQ(outer->sizes()[0], outer->width() - 400 - 100);
  // A narrow window keeps the list at its smallest.
  frame_.resize(420, 800);
  QApplication::processEvents();
  EXPECT_EQ(outer->sizes()[0], frame_.ListView()->minimumSizeHint().width());
}

TEST_F(MainFrameTest, PagesAreShownSavedInListOrderAndSavedAgainWithoutAsking) {
  AddPages(MakeInputs());
  CPageWeaverListView* list = frame_.ListView();
  ASSERT_EQ(list->model()->rowCount(), 4);
  EXPECT_EQ(list->model()->index(3, 0).data().toString().toStdString(),
            fx_.dir.File("c.tif") + " - (1)");
  EXPECT_EQ(list->model()->index(3, 0).data(CPageListModel::kNumberedLabelRole).toString(),
            QString::fromStdString("4: " + fx_.dir.File("c.tif") + " - (1)"));

  list->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                          QItemSelectionModel::ClearAndSelect);
  EXPECT_FALSE(frame_.ImageView()->Preview().isNull());
  EXPECT_EQ(frame_.InfoView()->findChild<CPathLabel*>("inputFile")->text().toStdString(),
            fx_.dir.File("b.png"));

  list->MoveItem(3, 0);
  EXPECT_TRUE(frame_.SaveAs());
  EXPECT_EQ(ui_.saveAsked, 1);
  EXPECT_EQ(SavedWidths(ui_.savePath), (std::vector<uint32_t>{13, 60, 50, 11}));
  EXPECT_EQ(frame_.windowTitle(), "out.tif - PageWeaver");
  EXPECT_EQ(RecentFileList().Files().value(0).toStdString(), ui_.savePath);
  EXPECT_EQ(busy_.percents, (std::vector<int>{25, 50, 75, 100}));
  EXPECT_FALSE(frame_.BusyDialog()->isVisible());

  list->MoveItem(0, 3);
  EXPECT_TRUE(frame_.Save());
  EXPECT_EQ(ui_.saveAsked, 1);
  EXPECT_EQ(SavedWidths(ui_.savePath), (std::vector<uint32_t>{60, 50, 11, 13}));
}

TEST_F(MainFrameTest, NothingChangesThePageListWhileTheOutputIsWritten) {
  fx_.doc.SetOutputThreads(1);
  AddPages({fx_.Bmp("a.bmp"), fx_.Bmp("b.bmp")});
  std::string late = fx_.Bmp("late.bmp");
  std::vector<bool> enabled;
  busy_.onProgress = [&](int report) {
    if (report != 0) return;
    for (QAction* a : {frame_.addPagesAction, frame_.preferencesAction, frame_.saveAction,
                       frame_.saveAsAction, frame_.removeAllAction})
      enabled.push_back(a->isEnabled());
    enabled.push_back(frame_.ListView()->isEnabled());
    frame_.ListView()->AddDroppedFiles({QString::fromStdString(late)});
    frame_.ListView()->selectAll();
    frame_.ListView()->RemoveSelectedPages();
    frame_.RemoveAllPages();
    EXPECT_FALSE(frame_.Save());  // no second run inside the first
  };
  EXPECT_TRUE(frame_.SaveAs());
  EXPECT_EQ(enabled, std::vector<bool>(6, false));
  EXPECT_EQ(fx_.doc.PageCount(), 2u);
  EXPECT_EQ(SavedWidths(ui_.savePath).size(), 2u);
  EXPECT_TRUE(frame_.addPagesAction->isEnabled());
  EXPECT_TRUE(frame_.saveAction->isEnabled());
  EXPECT_TRUE(frame_.ListView()->isEnabled());
}

TEST_F(MainFrameTest, CancelStopsTheRunAndKeepsTheFileAsItWas) {
  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    fx_.doc.RemoveAllPages();
    fx_.doc.SetOutputThreads(threads);
    AddPages({fx_.Bmp("a.bmp"), fx_.Bmp("b.bmp"), fx_.Bmp("c.bmp")});
    std::ofstream(ui_.savePath) << "earlier";
    busy_.reports = 0;
    busy_.onProgress = [this](int report) {
      if (report == 0) {
        EXPECT_TRUE(frame_.BusyDialog()->isVisible());
        frame_.BusyDialog()->CancelButton()->click();
      }
    };
    EXPECT_FALSE(frame_.SaveAs());
    EXPECT_EQ(busy_.reports, 1);
    EXPECT_FALSE(frame_.BusyDialog()->isVisible());
    std::ifstream kept(ui_.savePath);
    std::string content((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "earlier");
    EXPECT_EQ(frame_.windowTitle(), "Untitled - PageWeaver");
  }
}

TEST_F(MainFrameTest, ClosingDuringARunCancelsItAndClosesAfterwards) {
  fx_.doc.SetOutputThreads(1);
  AddPages({fx_.Bmp("a.bmp"), fx_.Bmp("b.bmp")});
  frame_.show();
  bool closedAtOnce = true;
  busy_.onProgress = [&](int report) {
    if (report == 0) closedAtOnce = frame_.close();
  };
  EXPECT_FALSE(frame_.SaveAs());
  EXPECT_FALSE(closedAtOnce);
  EXPECT_EQ(fx_.doc.PageCount(), 2u);
  QApplication::processEvents();
  EXPECT_FALSE(frame_.isVisible());
}

TEST_F(MainFrameTest, PreferencesChangeThePreviewSizeOnlyWhenItChanged) {
  AddPages({fx_.Bmp("a.bmp", 600, 300)});
  frame_.ListView()->selectionModel()->setCurrentIndex(frame_.ListView()->model()->index(0, 0),
                                                       QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(frame_.ImageView()->Preview().width(), 280);

  auto count = [this](PageListHint h) {
    auto hints = record_.Hints();
    return std::count(hints.begin(), hints.end(), h);
  };
  uitest::WhenModal<CPreferencesDlg>([](CPreferencesDlg* dlg) {
    auto* sort = dlg->findChild<QComboBox*>("sortStyle");
    sort->setCurrentIndex(sort->findData(kSortDate));
    dlg->accept();
  });
  frame_.ShowPreferences();
  EXPECT_EQ(fx_.preferences.SortStyle(), kSortDate);
  EXPECT_EQ(count(HINT_PREVIEW_SIZE_CHANGED), 0);

  uitest::WhenModal<CPreferencesDlg>([](CPreferencesDlg* dlg) {
    dlg->findChild<QLineEdit*>("previewWidth")->setText("150");
    dlg->accept();
  });
  frame_.ShowPreferences();
  EXPECT_EQ(fx_.cache.Size(), (PreviewSize{150, 500}));
  EXPECT_EQ(count(HINT_PREVIEW_SIZE_CHANGED), 1);
  // The selected page is shown again at the new size.
  EXPECT_EQ(frame_.ImageView()->Preview().width(), 150);
}

TEST_F(MainFrameTest, NewAndOpenEmptyThePageList) {
  AddPages({fx_.Bmp("a.bmp")});
  std::string existing = fx_.Bmp("old.tif");
  frame_.OpenDocument(QString::fromStdString(existing));
  EXPECT_EQ(fx_.doc.PageCount(), 0u);
  EXPECT_EQ(frame_.windowTitle(), "old.tif - PageWeaver");
  AddPages({fx_.Bmp("b.bmp")});
  // Save writes to the opened file without asking for a name; as the file holds no TIFF
  // it asks before replacing it.
  uitest::MessageRecorder replace(pwui::Answer::kYes);
  EXPECT_TRUE(frame_.Save());
  EXPECT_EQ(ui_.saveAsked, 0);
  EXPECT_EQ(replace.texts.size(), 1u);
  EXPECT_EQ(SavedWidths(existing).size(), 1u);
  frame_.NewDocument();
  EXPECT_EQ(frame_.windowTitle(), "Untitled - PageWeaver");
  EXPECT_EQ(frame_.ListView()->model()->rowCount(), 0);
}

}  // namespace

namespace {

TEST_F(MainFrameTest, AddPagesTakesTheFilesChosenInItsDialog) {
  std::string a = fx_.Bmp("a.bmp"), b = fx_.Bmp("b.bmp");
  ChooseFiles(2, [](CPrevFileDlg* dlg, QListView* list) {
    EXPECT_EQ(dlg->windowTitle(), "Add new images");
    QModelIndex root = list->rootIndex();
    for (int row = 0; row < list->model()->rowCount(root); ++row) {
      QModelIndex index = list->model()->index(row, 0, root);
      if (index.data().toString().endsWith(".bmp"))
        list->selectionModel()->select(index,
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  });
  frame_.AddPages();
  ASSERT_EQ(frame_.ListView()->model()->rowCount(), 2);
  EXPECT_EQ(frame_.ListView()->model()->index(0, 0).data().toString().toStdString(), a);
}

TEST_F(MainFrameTest, TooManyFilesAtOnceAreRefused) {
  // 210 names of 250 characters do not fit the 52000 characters a selection may take.
  constexpr int kFiles = 210;
  for (int i = 0; i < kFiles; ++i) {
    QString name = QStringLiteral("%1%2.bmp").arg(QString(243, 'n')).arg(i, 3, 10, QChar('0'));
    std::ofstream(fx_.dir.File(name.toStdString())) << "x";
  }
  ChooseFiles(kFiles, [](CPrevFileDlg*, QListView* list) { list->selectAll(); });
  uitest::MessageRecorder messages;
  frame_.AddPages();
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_EQ(messages.texts[0], "You cannot add more than 400 files at a time");
  EXPECT_EQ(fx_.doc.PageCount(), 0u);
}

TEST_F(MainFrameTest, AFileThatCannotBeCreatedIsReported) {
  AddPages({fx_.Bmp("a.bmp")});
  ui_.savePath = fx_.dir.File("no such folder/out.tif");
  uitest::MessageRecorder messages;
  EXPECT_FALSE(frame_.SaveAs());
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_EQ(messages.texts[0], "Couldn't open output file");
  EXPECT_EQ(frame_.windowTitle(), "Untitled - PageWeaver");
  EXPECT_TRUE(frame_.saveAction->isEnabled());
}

}  // namespace

namespace {

// The undo and redo entries, the keys of the list, and what a run keeps them from.
class EditingTest : public MainFrameTest {
 protected:
  void AddFour() {
    AddPages({fx_.Bmp("a.bmp", 60, 40), fx_.Bmp("b.bmp", 50, 40), fx_.Bmp("c.bmp", 40, 40),
              fx_.Bmp("d.bmp", 30, 40)});
    ids_ = List()->PageModel()->PageIdsInDisplayOrder();
  }
  CPageWeaverListView* List() { return frame_.ListView(); }
  std::vector<int32_t> Order() { return List()->PageModel()->PageIdsInDisplayOrder(); }
  QUndoStack* Stack() { return frame_.Editor()->UndoStack(); }
  void Select(std::vector<int32_t> ids) { List()->SelectPages(ids, ids.front()); }
  void ShowActive() {
    frame_.show();
    frame_.activateWindow();
    QApplication::setActiveWindow(&frame_);
    List()->setFocus();
    QApplication::processEvents();
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
  }
  std::vector<int32_t> ids_;
};

TEST_F(EditingTest, UndoAndRedoNameTheStep) {
  AddFour();
  EXPECT_EQ(frame_.undoAction->text(), "&Undo Add 4 Pages");
  EXPECT_TRUE(frame_.undoAction->isEnabled());
  Select({ids_[0], ids_[2], ids_[3]});
  List()->RemoveSelectedPages();
  EXPECT_EQ(frame_.undoAction->text(), "&Undo Remove 3 Pages");
  frame_.undoAction->trigger();
  EXPECT_EQ(Order(), ids_);
  EXPECT_EQ(frame_.redoAction->text(), "&Redo Remove 3 Pages");
  EXPECT_TRUE(frame_.redoAction->isEnabled());
  frame_.redoAction->trigger();
  EXPECT_EQ(Order(), (std::vector<int32_t>{ids_[1]}));
  EXPECT_FALSE(frame_.redoAction->isEnabled());
  EXPECT_EQ(frame_.redoAction->text(), "&Redo");
  frame_.undoAction->trigger();

  List()->MoveItem(0, 1);
  EXPECT_EQ(frame_.undoAction->text(), "&Undo Move Page");
  frame_.reverseAction->trigger();
  EXPECT_EQ(frame_.undoAction->text(), "&Undo Reverse Order");
  frame_.sortMenu->actions()[2]->trigger();  // alphabetical
  EXPECT_EQ(Order(), ids_);
  EXPECT_EQ(frame_.undoAction->text(), "&Undo Sort Pages");
  Select({ids_[1], ids_[2]});
  uitest::WhenModal<CPageOptionsDlg>([](CPageOptionsDlg* dlg) {
    auto* rotation = dlg->findChild<QComboBox*>("rotation");
    rotation->setCurrentIndex(rotation->findData(180));
    dlg->accept();
  });
  List()->EditSelectedPagesTogether();
  EXPECT_EQ(frame_.undoAction->text(), "&Undo Output Settings");
  EXPECT_EQ(fx_.doc.FindPage(ids_[2])->output.rotation, 180);
  EXPECT_EQ(fx_.doc.FindPage(ids_[0])->output.rotation, 0);
  frame_.RemoveAllPages();
  EXPECT_EQ(frame_.undoAction->text(), "&Undo Remove All Pages");
  frame_.undoAction->trigger();
  EXPECT_EQ(Order(), ids_);
  EXPECT_EQ(Stack()->count(), 6);  // the undone removal went with the move
}

TEST_F(EditingTest, TheKeysMoveTheSelectedPages) {
  AddFour();
  ShowActive();
  Select({ids_[1], ids_[2]});
  Key(Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(Order(), (std::vector<int32_t>{ids_[1], ids_[2], ids_[0], ids_[3]}));
  Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(Order(), (std::vector<int32_t>{ids_[0], ids_[3], ids_[1], ids_[2]}));
  Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(Order(), (std::vector<int32_t>{ids_[1], ids_[2], ids_[0], ids_[3]}));
  Key(Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(Order(), (std::vector<int32_t>{ids_[0], ids_[1], ids_[2], ids_[3]}));
  // The pages stay selected, and the labels show the new positions.
  EXPECT_EQ(List()->SelectedPageIds(), (std::vector<int32_t>{ids_[1], ids_[2]}));
  EXPECT_EQ(List()->model()->index(1, 0).data(CPageListModel::kNumberedLabelRole).toString(),
            QString::fromStdString("2: " + fx_.dir.File("b.bmp")));
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Order(), (std::vector<int32_t>{ids_[1], ids_[2], ids_[0], ids_[3]}));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Order(), ids_);
  Key(Qt::Key_Backspace, Qt::AltModifier);
  EXPECT_EQ(Order(), (std::vector<int32_t>{ids_[1], ids_[2], ids_[0], ids_[3]}));

  // Space shows the current page at full size, in the one page window.
  EXPECT_EQ(frame_.PageViewer(), nullptr);
  Key(Qt::Key_Space);
  ASSERT_NE(frame_.PageViewer(), nullptr);
  EXPECT_TRUE(frame_.PageViewer()->isVisible());
  EXPECT_EQ(frame_.PageViewer()->PageId(), ids_[1]);
  CPageViewerDlg* viewer = frame_.PageViewer();
  List()->setFocus();
  frame_.viewPageAction->trigger();
  EXPECT_EQ(frame_.PageViewer(), viewer);
}

TEST_F(EditingTest, KeysAndCommandsDoNothingWhileTheOutputIsWritten) {
  fx_.doc.SetOutputThreads(1);
  AddFour();
  Select({ids_[1], ids_[2]});
  List()->RemoveSelectedPages();
  frame_.undoAction->trigger();
  ShowActive();
  Select({ids_[1], ids_[2]});
  const int index = Stack()->index();
  std::vector<bool> enabled;
  busy_.onProgress = [&](int report) {
    if (report != 0) return;
    for (QAction* a : {frame_.undoAction, frame_.redoAction, frame_.moveUpAction,
                       frame_.moveToEndAction, frame_.reverseAction, frame_.viewPageAction})
      enabled.push_back(a->isEnabled());
    enabled.push_back(frame_.sortMenu->isEnabled());
    frame_.activateWindow();
    for (auto [key, modifiers] : {std::pair{Qt::Key_Z, Qt::ControlModifier},
                                  {Qt::Key_Y, Qt::ControlModifier},
                                  {Qt::Key_Up, Qt::ControlModifier},
                                  {Qt::Key_End, Qt::ControlModifier},
                                  {Qt::Key_Space, Qt::NoModifier},
                                  {Qt::Key_Delete, Qt::NoModifier}}) {
      QTest::keyClick(&frame_, key, modifiers);
      QTest::keyClick(List(), key, modifiers);
    }
    frame_.Editor()->Undo();
    frame_.Editor()->Redo();
    frame_.Editor()->MoveSelectedPages(CPageListEditor::Move::kToStart);
    frame_.Editor()->ReverseOrder();
    frame_.Editor()->SortPages(kSortAlphabeticalReverse);
    frame_.ViewPage();
  };
  EXPECT_TRUE(frame_.SaveAs());
  EXPECT_EQ(enabled, std::vector<bool>(7, false));
  EXPECT_EQ(Order(), ids_);
  EXPECT_EQ(Stack()->index(), index);
  EXPECT_EQ(Stack()->count(), 2);
  EXPECT_EQ(frame_.PageViewer(), nullptr);
  // Afterwards everything is back.
  EXPECT_TRUE(frame_.undoAction->isEnabled());
  EXPECT_TRUE(frame_.redoAction->isEnabled());
  EXPECT_TRUE(frame_.moveUpAction->isEnabled());
}

TEST_F(EditingTest, ANewListForgetsTheSteps) {
  AddFour();
  frame_.NewDocument();
  EXPECT_FALSE(Stack()->canUndo());
  EXPECT_FALSE(frame_.undoAction->isEnabled());
  EXPECT_EQ(frame_.undoAction->text(), "&Undo");
  AddFour();
  frame_.OpenDocument(QString::fromStdString(fx_.dir.File("other.tif")));
  EXPECT_FALSE(Stack()->canUndo());
}

TEST_F(EditingTest, SavingIntoASourceFileForgetsTheStepsThatLedThere) {
  AddFour();
  ASSERT_TRUE(frame_.SaveAs());
  // Saved elsewhere, the steps stay.
  EXPECT_TRUE(Stack()->canUndo());
  frame_.OpenForEditing(QString::fromStdString(ui_.savePath));
  ASSERT_EQ(fx_.doc.PageCount(), 4u);
  EXPECT_FALSE(Stack()->canUndo());
  frame_.reverseAction->trigger();
  EXPECT_TRUE(Stack()->canUndo());
  // The pages are read again from their new places in the file: an undo would bring
  // back pages that point at the old ones.
  ASSERT_TRUE(frame_.Save());
  EXPECT_FALSE(Stack()->canUndo());
}

TEST_F(EditingTest, TheWindowsSizePlaceAndSplittersAreKeptForTheNextRun) {
  frame_.resize(900, 640);
  frame_.show();
  QApplication::processEvents();
  frame_.OuterSplitter()->setSizes({300, frame_.OuterSplitter()->width() - 300});
  frame_.InnerSplitter()->setSizes({200, frame_.InnerSplitter()->height() - 200});
  QList<int> columns = frame_.OuterSplitter()->sizes();
  QList<int> rows = frame_.InnerSplitter()->sizes();
  ASSERT_TRUE(frame_.close());

  CPageWeaverDoc doc{&fx_.preferences, &fx_.cache};
  CMainFrame next(&doc, &fx_.preferences, &fx_.cache);
  next.show();
  QApplication::processEvents();
  EXPECT_EQ(next.size(), QSize(900, 640));
  EXPECT_EQ(next.OuterSplitter()->sizes(), columns);
  EXPECT_EQ(next.InnerSplitter()->sizes(), rows);
  // Made wider, the list takes the room again as it always does.
  next.resize(1100, 640);
  QApplication::processEvents();
  EXPECT_EQ(next.OuterSplitter()->sizes()[0], next.OuterSplitter()->width() - 280 - 100);
}

}  // namespace
