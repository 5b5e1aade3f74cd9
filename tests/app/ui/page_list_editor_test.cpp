// Steps of the page list: what each kind of step does to the order, the settings and the
// numbered labels; that undo and redo give back exactly the state before and after it;
// previews of removed pages kept while a step can bring them back; and files saved after
// an undo that equal the files saved before the step.
#include <QMimeData>
#include <QUndoStack>
#include <filesystem>
#include <fstream>
#include <functional>

#include "document_support.h"
#include "ui/page_list_view.h"
#include "ui_support.h"

namespace {

namespace fs = std::filesystem;

// Answers the options dialogs as the test says.
struct OptionsUI : pxtest::ScriptedUI {
  std::function<bool(const PageRecord&, CPageWeaverDoc::PageOptionsEdit*)> onePage;
  std::function<bool(const std::vector<PageRecord>&, SettingsChange*)> severalPages;
  int dialogs = 0;
  bool EditPageOptions(const PageRecord& page, PageOutputSettings* settings, bool* setAllPages,
                       bool* changeSize) override {
    ++dialogs;
    CPageWeaverDoc::PageOptionsEdit edit{*settings, false, false};
    if (!onePage || !onePage(page, &edit)) return false;
    *settings = edit.settings;
    *setAllPages = edit.setAllPages;
    *changeSize = edit.changeSize;
    return true;
  }
  bool EditSeveralPagesOptions(const std::vector<PageRecord>& pages,
                               SettingsChange* change) override {
    ++dialogs;
    return severalPages && severalPages(pages, change);
  }
};

// Everything a step may change, as the user sees it.
struct ListState {
  std::vector<int32_t> order;
  std::vector<PageRecord> records;
  QStringList labels;
  std::vector<QImage> thumbnails;
  std::vector<int32_t> selected;
  int32_t current = -1;
  bool operator==(const ListState&) const = default;
};

void PrintTo(const ListState& s, std::ostream* os) {
  *os << "order";
  for (int32_t id : s.order) *os << ' ' << id;
  *os << ", selected";
  for (int32_t id : s.selected) *os << ' ' << id;
  *os << ", current " << s.current;
}

class PageListEditorTest : public ::testing::Test {
 public:  // for the steps of the table below
  void SetUp() override {
    fx_.doc.AddView(&view_);
    fx_.doc.SetUserInterface(&ui_);
    fx_.doc.SetPageOrder(view_.PageModel());
    // Pages of different sizes, so that a mixed-up record or thumbnail shows.
    for (int i = 0; i < 4; ++i) {
      std::string name = std::string(1, char('a' + i)) + ".bmp";
      ASSERT_EQ(fx_.doc.AddPage(fx_.Bmp(name, 40 + 10 * uint32_t(i), 30), 0, false), 0);
    }
    ids_ = Model().PageIdsInDisplayOrder();
  }
  void TearDown() override { fx_.doc.RemoveView(&view_); }

  CPageListModel& Model() { return *view_.PageModel(); }
  CPageListEditor& Editor() { return *view_.Editor(); }
  QUndoStack& Stack() { return *Editor().UndoStack(); }
  void SelectRows(std::initializer_list<int> rows, int current) {
    view_.clearSelection();
    std::vector<int32_t> ids;
    for (int row : rows) ids.push_back(Model().PageIdAt(row));
    view_.SelectPages(ids, Model().PageIdAt(current));
  }
  ListState Take() {
    ListState s;
    s.order = Model().PageIdsInDisplayOrder();
    for (int32_t id : s.order) s.records.push_back(*fx_.doc.FindPage(id));
    for (int row = 0; row < Model().rowCount(); ++row) {
      QModelIndex index = Model().index(row);
      s.labels << index.data(CPageListModel::kNumberedLabelRole).toString();
      s.thumbnails.push_back(
          index.data(Qt::DecorationRole).value<QIcon>().pixmap(QSize(100, 100)).toImage());
    }
    s.selected = view_.SelectedPageIds();
    s.current = view_.CurrentPageId();
    return s;
  }
  std::string Name(int row) {
    return fs::path(fx_.doc.FindPage(Model().PageIdAt(row))->sourcePath).filename();
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int row = 0; row < Model().rowCount(); ++row) names.push_back(Name(row));
    return names;
  }

  uitest::DocumentFixture fx_;
  CPageWeaverListView view_{&fx_.doc};
  OptionsUI ui_;
  std::vector<int32_t> ids_;
};

TEST_F(PageListEditorTest, NumberedLabelsFollowTheOrder) {
  EXPECT_EQ(Take().labels[2].toStdString(), "3: " + fx_.dir.File("c.bmp"));
  view_.MoveItem(2, 0);
  ListState s = Take();
  EXPECT_EQ(s.labels[0].toStdString(), "1: " + fx_.dir.File("c.bmp"));
  EXPECT_EQ(s.labels[1].toStdString(), "2: " + fx_.dir.File("a.bmp"));
  EXPECT_EQ(s.labels[3].toStdString(), "4: " + fx_.dir.File("d.bmp"));
}

struct StepCase {
  const char* what;
  std::function<void(PageListEditorTest*)> select;
  std::function<void(PageListEditorTest*)> act;
  const char* text;                // of the step
  std::vector<std::string> names;  // the files of the pages afterwards, in order
};

TEST_F(PageListEditorTest, EveryKindOfStepIsUndoneAndRedoneExactly) {
  using T = PageListEditorTest;
  auto none = [](T*) {};
  auto turn = [](const PageRecord&, CPageWeaverDoc::PageOptionsEdit* edit) {
    edit->settings.rotation = 90;
    edit->settings.compression = kCompressionLZW;
    return true;
  };
  const StepCase cases[] = {
      {"add",
       none,
       [](T* t) {
         t->Editor().AddPages({t->fx_.Bmp("e.bmp"), t->fx_.Bmp("f.bmp")});
       },
       "Add 2 Pages",
       {"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp", "f.bmp"}},
      {"delete",
       [](T* t) {
         t->SelectRows({1, 2}, 2);
       },
       [](T* t) { t->view_.RemoveSelectedPages(); },
       "Remove 2 Pages",
       {"a.bmp", "d.bmp"}},
      {"remove all",
       [](T* t) { t->SelectRows({3}, 3); },
       [](T* t) { t->Editor().RemoveAllPages(); },
       "Remove All Pages",
       {}},
      {"drag one",
       [](T* t) { t->SelectRows({0}, 0); },
       [](T* t) { t->view_.MoveItem(0, 2); },
       "Move Page",
       {"b.bmp", "c.bmp", "a.bmp", "d.bmp"}},
      {"drag several",
       [](T* t) {
         t->SelectRows({0, 2}, 2);
       },
       [](T* t) {
         std::unique_ptr<QMimeData> mime(
             t->Model().mimeData(t->view_.selectionModel()->selectedIndexes()));
         t->view_.DropPages(mime.get(), 3);
       },
       "Move 2 Pages",
       {"b.bmp", "d.bmp", "a.bmp", "c.bmp"}},
      {"up",
       [](T* t) {
         t->SelectRows({1, 3}, 1);
       },
       [](T* t) { t->Editor().MoveSelectedPages(CPageListEditor::Move::kUp); },
       "Move 2 Pages",
       {"b.bmp", "a.bmp", "d.bmp", "c.bmp"}},
      {"down",
       [](T* t) { t->SelectRows({0}, 0); },
       [](T* t) { t->Editor().MoveSelectedPages(CPageListEditor::Move::kDown); },
       "Move Page",
       {"b.bmp", "a.bmp", "c.bmp", "d.bmp"}},
      {"to start",
       [](T* t) {
         t->SelectRows({2, 3}, 3);
       },
       [](T* t) { t->Editor().MoveSelectedPages(CPageListEditor::Move::kToStart); },
       "Move 2 Pages",
       {"c.bmp", "d.bmp", "a.bmp", "b.bmp"}},
      {"to end",
       [](T* t) { t->SelectRows({0}, 0); },
       [](T* t) { t->Editor().MoveSelectedPages(CPageListEditor::Move::kToEnd); },
       "Move Page",
       {"b.bmp", "c.bmp", "d.bmp", "a.bmp"}},
      {"reverse all",
       [](T* t) { t->SelectRows({1}, 1); },
       [](T* t) { t->Editor().ReverseOrder(); },
       "Reverse Order",
       {"d.bmp", "c.bmp", "b.bmp", "a.bmp"}},
      {"reverse selected",
       [](T* t) {
         t->SelectRows({0, 1, 3}, 0);
       },
       [](T* t) { t->Editor().ReverseOrder(); },
       "Reverse Order",
       {"d.bmp", "b.bmp", "c.bmp", "a.bmp"}},
      {"sort",
       none,
       [](T* t) { t->Editor().SortPages(kSortAlphabeticalReverse); },
       "Sort Pages",
       {"d.bmp", "c.bmp", "b.bmp", "a.bmp"}},
      {"one page's settings",
       [](T* t) { t->SelectRows({1}, 1); },
       [turn](T* t) {
         t->ui_.onePage = turn;
         t->view_.EditSelectedPages();
       },
       "Output Settings",
       {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}},
      {"all pages' settings",
       [](T* t) { t->SelectRows({0}, 0); },
       [turn](T* t) {
         t->ui_.onePage = [turn](const PageRecord& p, CPageWeaverDoc::PageOptionsEdit* edit) {
           edit->setAllPages = true;
           return turn(p, edit);
         };
         t->view_.EditSelectedPages();
       },
       "Output Settings",
       {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}},
      {"selected pages' settings",
       [](T* t) {
         t->SelectRows({0, 2}, 2);
       },
       [](T* t) {
         t->ui_.severalPages = [](const std::vector<PageRecord>&, SettingsChange* change) {
           change->values[OutputField::kFlip] = 1;
           change->values[OutputField::kResolutionX] = 150;
           return true;
         };
         t->view_.EditSelectedPagesTogether();
       },
       "Output Settings",
       {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(c.what);
    fx_.doc.RemoveAllPages();
    Editor().Clear();
    for (int i = 0; i < 4; ++i)
      fx_.doc.AddPage(fx_.dir.File(std::string(1, char('a' + i)) + ".bmp"), 0, false);
    c.select(this);
    ListState before = Take();
    c.act(this);
    ListState after = Take();
    ASSERT_EQ(Stack().count(), 1);
    EXPECT_EQ(Stack().undoText(), c.text);
    EXPECT_EQ(Names(), c.names);
    EXPECT_NE(after, before);
    Editor().Undo();
    EXPECT_EQ(Take(), before);
    Editor().Redo();
    EXPECT_EQ(Take(), after);
    Editor().Undo();
    EXPECT_EQ(Take(), before);
    EXPECT_EQ(Stack().redoText(), c.text);
  }
}

TEST_F(PageListEditorTest, SettingsStepsChangeWhatTheyShould) {
  SelectRows({0, 2}, 0);
  ui_.severalPages = [](const std::vector<PageRecord>& pages, SettingsChange* change) {
    EXPECT_EQ(pages.size(), 2u);
    change->values[OutputField::kRotation] = 270;
    return true;
  };
  ListState before = Take();
  view_.EditSelectedPagesTogether();
  ListState after = Take();
  for (int row : {0, 2}) {
    EXPECT_EQ(after.records[size_t(row)].output.rotation, 270);
    // Turned pages get turned thumbnails.
    EXPECT_NE(after.thumbnails[size_t(row)], before.thumbnails[size_t(row)]);
    after.records[size_t(row)].output.rotation = 0;
    std::swap(after.records[size_t(row)].inputWidth, after.records[size_t(row)].inputHeight);
  }
  // Nothing else changed, on these pages or the others.
  EXPECT_EQ(after.records, before.records);
  EXPECT_EQ(after.thumbnails[1], before.thumbnails[1]);
  EXPECT_EQ(after.selected, before.selected);
}

TEST_F(PageListEditorTest, StepsThatChangeNothingAreNotKept) {
  SelectRows({0}, 0);
  Editor().MoveSelectedPages(CPageListEditor::Move::kUp);
  Editor().MoveSelectedPages(CPageListEditor::Move::kToStart);
  view_.MoveItem(0, 0);
  Editor().AddPages({fx_.dir.File("a.bmp")});  // already there
  view_.EditSelectedPages();                   // cancelled
  ui_.onePage = [](const PageRecord&, CPageWeaverDoc::PageOptionsEdit*) { return true; };
  view_.EditSelectedPages();              // confirmed as it was
  view_.EditSelectedPagesTogether();      // cancelled
  Editor().SortPages(kSortAlphaNumeric);  // already in order
  view_.clearSelection();
  view_.RemoveSelectedPages();
  EXPECT_EQ(Stack().count(), 0);
  EXPECT_FALSE(Stack().canUndo());
  EXPECT_EQ(ui_.dialogs, 3);
}

TEST_F(PageListEditorTest, AddingTwelvePagesIsOneStep) {
  std::vector<std::string> files;
  for (int i = 0; i < 12; ++i) files.push_back(fx_.Bmp("n" + std::to_string(i) + ".bmp"));
  Editor().AddPages(files);
  ASSERT_EQ(Model().rowCount(), 16);
  EXPECT_EQ(Stack().undoText(), "Add 12 Pages");
  Editor().Undo();
  EXPECT_EQ(Model().rowCount(), 4);
  EXPECT_EQ(fx_.doc.PageCount(), 4u);
  Editor().Redo();
  EXPECT_EQ(Model().rowCount(), 16);
  EXPECT_EQ(fx_.doc.PageCount(), 16u);
  EXPECT_EQ(Take().labels[15].toStdString(), "16: " + fx_.dir.File("n11.bmp"));
}

TEST_F(PageListEditorTest, TheOtherViewsShowThePageOfTheStateThatCameBack) {
  pxtest::RecordingView shown;
  fx_.doc.AddView(&shown);
  view_.clearSelection();
  Editor().AddPages({fx_.Bmp("e.bmp")});
  SelectRows({4}, 4);
  ASSERT_EQ(shown.events.back().hint, HINT_SHOW_PAGE);
  // Before the step nothing was selected: the page that is gone is shown no more.
  Editor().Undo();
  EXPECT_EQ(shown.events.back().hint, HINT_RESET);
  Editor().Redo();
  SelectRows({1}, 1);
  view_.RemoveSelectedPages();
  Editor().Undo();
  ASSERT_EQ(shown.events.back().hint, HINT_SHOW_PAGE);
  EXPECT_EQ(shown.events.back().page.pageId, ids_[1]);
  fx_.doc.RemoveView(&shown);
}

TEST_F(PageListEditorTest, RemoveAllIsUndoneFromTheCacheWithoutTheFiles) {
  SelectRows({1}, 1);
  ListState before = Take();
  Editor().RemoveAllPages();
  EXPECT_EQ(Model().rowCount(), 0);
  EXPECT_EQ(Stack().undoText(), "Remove All Pages");
  // The files are gone: what comes back can only come from the cache.
  for (const PageRecord& page : before.records) fs::remove(page.sourcePath);
  Editor().Undo();
  EXPECT_EQ(Take(), before);
  for (int32_t id : before.order) {
    HBITMAP preview = nullptr;
    EXPECT_TRUE(fx_.doc.GetPagePreview(id, &preview)) << id;
  }
}

TEST_F(PageListEditorTest, RemovedPagesKeepTheirPreviewsWhileAStepCanBringThemBack) {
  const PageRecord removed = *fx_.doc.FindPage(ids_[1]);
  std::string preview = fx_.cache.EntryPath(removed.sourcePath, 0);
  ASSERT_TRUE(fs::exists(preview));
  SelectRows({1}, 1);
  view_.RemoveSelectedPages();
  EXPECT_EQ(Stack().undoText(), "Remove Page");
  EXPECT_TRUE(fs::exists(preview));
  fs::remove(removed.sourcePath);
  Editor().Undo();
  HBITMAP bitmap = nullptr;
  EXPECT_TRUE(fx_.doc.GetPagePreview(removed.pageId, &bitmap));
  EXPECT_EQ(PXBitmapWidth(bitmap), 50);
  // Removed again and the step forgotten: the preview goes with it.
  Editor().Redo();
  Editor().Clear();
  EXPECT_FALSE(fs::exists(preview));
  // A page that is in the list keeps its preview when the steps go.
  EXPECT_TRUE(fs::exists(fx_.cache.EntryPath(fx_.doc.FindPage(ids_[0])->sourcePath, 0)));
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(PageListEditorTest, AFileSavedAfterUndoingEqualsTheFileSavedBefore) {
  ASSERT_TRUE(fx_.doc.Save(fx_.dir.File("before.tif")).ok());
  SelectRows({0, 2}, 0);
  ui_.severalPages = [](const std::vector<PageRecord>&, SettingsChange* change) {
    change->values[OutputField::kRotation] = 90;
    change->values[OutputField::kCompression] = kCompressionGroup4;
    change->values[OutputField::kResolutionUnit] = 2;
    return true;
  };
  view_.EditSelectedPagesTogether();
  Editor().ReverseOrder();
  SelectRows({1}, 1);
  view_.RemoveSelectedPages();
  Editor().SortPages(kSortAlphabeticalReverse);
  ASSERT_EQ(Stack().count(), 4);
  ASSERT_TRUE(fx_.doc.Save(fx_.dir.File("changed.tif")).ok());
  EXPECT_NE(Contents(fx_.dir.File("changed.tif")), Contents(fx_.dir.File("before.tif")));
  while (Stack().canUndo()) Editor().Undo();
  ASSERT_TRUE(fx_.doc.Save(fx_.dir.File("undone.tif")).ok());
  EXPECT_EQ(Contents(fx_.dir.File("undone.tif")), Contents(fx_.dir.File("before.tif")));
  while (Stack().canRedo()) Editor().Redo();
  ASSERT_TRUE(fx_.doc.Save(fx_.dir.File("redone.tif")).ok());
  EXPECT_EQ(Contents(fx_.dir.File("redone.tif")), Contents(fx_.dir.File("changed.tif")));
}

}  // namespace
