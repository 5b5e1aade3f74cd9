// The page list document: adding, removing, showing and editing pages.
#include <algorithm>
#include <filesystem>

#include "document/page_image.h"
#include "document/preview_cache.h"
#include "document_support.h"
#include "image_files.h"
#include "test_support.h"

namespace {

using pxtest::TempDir;

uint32_t Grey(uint32_t x, uint32_t y) {
  return ((x * 7 + y * 3) % 256) * 0x010101u;
}

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefs_ = std::make_unique<Preferences>(dir_.File("settings.ini"));
    cache_ = std::make_unique<CPreviewCache>(dir_.File("cache"));
    doc_ = std::make_unique<CPageWeaverDoc>(prefs_.get(), cache_.get());
    doc_->AddView(&view_);
    doc_->AddView(&order_);
    doc_->SetUserInterface(&ui_);
    doc_->SetPageOrder(&order_);
  }

  std::string Bmp(const std::string& name, uint32_t w = 30, uint32_t h = 20) {
    std::string path = dir_.File(name);
    pxtest::WriteBMP24(path, w, h, Grey);
    return path;
  }

  TempDir dir_;
  std::unique_ptr<Preferences> prefs_;
  std::unique_ptr<CPreviewCache> cache_;
  std::unique_ptr<CPageWeaverDoc> doc_;
  pxtest::RecordingView view_;
  pxtest::AddedOrder order_;
  pxtest::ScriptedUI ui_;
};

TEST_F(DocumentTest, AddPageMakesARecordThumbnailAndPreview) {
  std::string path = Bmp("a.bmp", 300, 200);
  ASSERT_EQ(doc_->AddPage(path, 0, false), 0);
  ASSERT_EQ(doc_->PageCount(), 1u);
  const PageRecord& page = doc_->Pages().begin()->second;
  EXPECT_EQ(page.sourcePath, path);
  EXPECT_EQ(page.frameIndex, 0);
  EXPECT_EQ(page.inputWidth, 300);
  EXPECT_EQ(page.inputBitsPerPixel, 24);
  EXPECT_EQ(page.output.width, 300);
  EXPECT_EQ(page.output.height, 200);
  EXPECT_EQ(page.output.bitsPerPixel, 24);
  EXPECT_EQ(page.output.resolutionUnit, 3);
  EXPECT_EQ(page.output.compression, 1);
  EXPECT_EQ(page.output.threshold, 128);
  ASSERT_EQ(view_.events.size(), 1u);
  EXPECT_EQ(view_.events[0].hint, HINT_PAGE_ADDED);
  EXPECT_EQ(view_.events[0].page.displayName, path);
  EXPECT_EQ(view_.events[0].bitmapWidth, 100);  // the thumbnail
  EXPECT_TRUE(cache_->HasEntry(path, 0));
}

TEST_F(DocumentTest, DuplicatesBeepAndDifferentCaseIsAnotherFile) {
  std::string path = Bmp("dup.bmp");
  std::string upper = dir_.File("DUP.bmp");
  pxtest::WriteBMP24(upper, 5, 5, Grey);
  EXPECT_EQ(doc_->AddPage(path, 0, false), 0);
  EXPECT_EQ(doc_->AddPage(path, 0, false), 0);
  EXPECT_EQ(ui_.beeps, 1);
  EXPECT_EQ(doc_->PageCount(), 1u);
  EXPECT_EQ(doc_->AddPage(upper, 0, false), 0);
  EXPECT_EQ(doc_->PageCount(), 2u);
}

TEST_F(DocumentTest, APageRemovedOrRestoredIsAddedOnceAgain) {
  std::string a = Bmp("a.bmp"), b = Bmp("b.bmp");
  ASSERT_EQ(doc_->AddPage(a, 0, false), 0);
  ASSERT_EQ(doc_->AddPage(b, 0, false), 0);
  const std::vector<PageRecord> both = {*doc_->FindPage(order_.ids[0]),
                                        *doc_->FindPage(order_.ids[1])};
  ASSERT_TRUE(doc_->RemovePages({order_.ids[0]}));
  EXPECT_EQ(doc_->AddPage(a, 0, false), 0);
  EXPECT_EQ(doc_->AddPage(b, 0, false), 0);
  EXPECT_EQ(ui_.beeps, 1);
  EXPECT_EQ(doc_->PageCount(), 2u);
  doc_->RemoveAllPages();
  EXPECT_EQ(doc_->AddPage(b, 0, false), 0);
  EXPECT_EQ(doc_->PageCount(), 1u);
  // Restored pages are in the list again, and the page added since is gone.
  doc_->RestorePages({both[0]});
  EXPECT_EQ(doc_->AddPage(a, 0, false), 0);
  EXPECT_EQ(ui_.beeps, 2);
  EXPECT_EQ(doc_->AddPage(b, 0, false), 0);
  EXPECT_EQ(ui_.beeps, 2);
  EXPECT_EQ(doc_->PageCount(), 2u);
}

TEST_F(DocumentTest, IdsAreNeverReused) {
  std::string path = Bmp("x.bmp");
  doc_->AddPage(path, 0, false);
  int32_t first = doc_->Pages().begin()->first;
  doc_->RemoveAllPages();
  EXPECT_EQ(view_.Hints().back(), HINT_RESET);
  doc_->AddPage(path, 0, false);
  EXPECT_GT(doc_->Pages().begin()->first, first);
}

TEST_F(DocumentTest, RemovingTheLastPageResetsTheList) {
  std::string a = Bmp("a.bmp"), b = Bmp("b.bmp");
  doc_->AddPage(a, 0, false);
  doc_->AddPage(b, 0, false);
  std::vector<int32_t> ids = order_.ids;
  EXPECT_FALSE(doc_->RemovePages({ids[0], 99999}));
  EXPECT_EQ(doc_->PageCount(), 1u);  // removed before the unknown id stays removed
  view_.events.clear();
  EXPECT_TRUE(doc_->RemovePages({ids[1]}));
  EXPECT_EQ(view_.Hints(), (std::vector<PageListHint>{HINT_PAGE_REMOVED, HINT_RESET}));
}

TEST_F(DocumentTest, SubFramePagesAreNamedWithTheirFrame) {
  std::string path = dir_.File("multi.tif");
  pxtest::TiffPage page;
  page.pixel = Grey;
  pxtest::WriteTIFF(path, {page, page, page});
  ui_.frames = {2, 0};
  doc_->AddPages({path});
  ASSERT_EQ(doc_->PageCount(), 2u);
  std::vector<std::string> names;
  for (const auto& e : view_.events)
    if (e.hint == HINT_PAGE_ADDED) names.push_back(e.page.displayName);
  EXPECT_EQ(names, (std::vector<std::string>{path + " - (0)", path + " - (2)"}));
  // Separate previews for the two pages of one file.
  EXPECT_NE(cache_->EntryPath(path, 0), cache_->EntryPath(path, 2));
}

TEST_F(DocumentTest, ChooserCancelAsksWhetherToCancelTheRest) {
  std::string path = dir_.File("multi.tif");
  pxtest::TiffPage page;
  pxtest::WriteTIFF(path, {page, page});
  std::string bmp = Bmp("z.bmp");
  ui_.frames = {};
  ui_.answer = UserInterface::Answer::kOk;  // "Cancel all remaining?" OK: go on
  doc_->AddPages({path, bmp});
  ASSERT_EQ(ui_.asked.size(), 1u);
  EXPECT_EQ(ui_.asked[0], "Cancel all remaining?");
  EXPECT_EQ(doc_->PageCount(), 1u);
}

TEST_F(DocumentTest, AFailingFileAsksAndNoStopsTheRest) {
  std::string good1 = Bmp("a1.bmp"), good3 = Bmp("a3.bmp");
  std::string bad = dir_.File("a2.bmp");
  pxtest::WriteFile(bad, {'B', 'M', 0, 0});
  ui_.answer = UserInterface::Answer::kNo;
  doc_->AddPages({good3, bad, good1});  // alpha-numeric: a1, a2, a3
  EXPECT_EQ(doc_->PageCount(), 1u);
  ASSERT_EQ(ui_.asked.size(), 1u);
  EXPECT_EQ(ui_.asked[0].rfind("Error adding page:\n", 0), 0u);
  EXPECT_NE(ui_.asked[0].find("File: " + bad + "\n\nContinue?"), std::string::npos);
}

TEST_F(DocumentTest, ShowPageCarriesThePreview) {
  std::string path = Bmp("big.bmp", 2800, 1400);
  doc_->AddPage(path, 0, false);
  view_.events.clear();
  doc_->ShowPage(order_.ids[0]);
  ASSERT_EQ(view_.events.size(), 1u);
  EXPECT_EQ(view_.events[0].hint, HINT_SHOW_PAGE);
  EXPECT_EQ(view_.events[0].bitmapWidth, 280);
  EXPECT_TRUE(view_.events[0].page.displayName.empty());
  view_.events.clear();
  doc_->ShowPage(424242);
  EXPECT_TRUE(view_.events.empty());
}

TEST_F(DocumentTest, RotatingAllPagesRefreshesTheirPreviews) {
  std::string a = Bmp("a.bmp", 400, 100), b = Bmp("b.bmp", 200, 100);
  doc_->AddPage(a, 0, false);
  doc_->AddPage(b, 0, false);
  PageOutputSettings settings = doc_->Pages().begin()->second.output;
  settings.rotation = 90;
  settings.width = 50;
  view_.events.clear();
  ASSERT_TRUE(doc_->ApplyPageOptions(order_.ids[0], settings, true, false));
  for (const auto& [id, page] : doc_->Pages()) {
    EXPECT_EQ(page.output.rotation, 90);
    EXPECT_NE(page.output.width, 50);  // sizes only with "Change size"
  }
  int thumbnails = 0;
  for (const auto& e : view_.events) thumbnails += e.hint == HINT_THUMBNAIL_CHANGED;
  EXPECT_EQ(thumbnails, 2);
  EXPECT_EQ(view_.Hints().back(), HINT_PAGE_SETTINGS_CHANGED);
  // The first page is now 100 x 400 as loaded and turned.
  EXPECT_EQ(doc_->FindPage(order_.ids[0])->inputWidth, 100);
  EXPECT_EQ(doc_->FindPage(order_.ids[0])->inputHeight, 400);
}

TEST_F(DocumentTest, ASettingsChangeSetsItsFieldsOnEveryPageAndTurnsTheirPreviews) {
  doc_->AddPage(Bmp("a.bmp", 400, 100), 0, false);
  doc_->AddPage(Bmp("b.bmp", 200, 100), 0, false);
  SettingsChange change;
  change.values[OutputField::kCompression] = kCompressionGroup4;
  change.values[OutputField::kRotation] = 90;
  view_.events.clear();
  ASSERT_TRUE(doc_->ApplySettingsChange(order_.ids, change));
  const PageRecord* a = doc_->FindPage(order_.ids[0]);
  const PageRecord* b = doc_->FindPage(order_.ids[1]);
  EXPECT_EQ(a->output.compression, kCompressionGroup4);
  EXPECT_EQ(a->output.bitsPerPixel, 1);
  EXPECT_EQ(b->output.rotation, 90);
  // Each page keeps its own size and gets a turned thumbnail and preview.
  EXPECT_EQ(a->output.width, 400);
  EXPECT_EQ(b->output.width, 200);
  EXPECT_EQ(b->inputWidth, 100);
  EXPECT_EQ(b->inputHeight, 200);
  auto hints = view_.Hints();
  EXPECT_EQ(std::count(hints.begin(), hints.end(), HINT_THUMBNAIL_CHANGED), 2);
  EXPECT_EQ(std::count(hints.begin(), hints.end(), HINT_PAGE_SETTINGS_CHANGED), 2);
  EXPECT_TRUE(cache_->HoldsPreview(b->sourcePath, 0, 90, 0));

  // A change the pages already have sends nothing; an unknown page stops it.
  view_.events.clear();
  ASSERT_TRUE(doc_->ApplySettingsChange(order_.ids, change));
  EXPECT_TRUE(view_.events.empty());
  EXPECT_FALSE(doc_->ApplySettingsChange({order_.ids[0], 4242}, change));
}

// Hands the pages to the several-pages dialog and answers with a change.
struct SeveralPagesUI : pxtest::ScriptedUI {
  std::vector<PageRecord> shown;
  bool confirm = true;
  bool EditSeveralPagesOptions(const std::vector<PageRecord>& pages,
                               SettingsChange* change) override {
    shown = pages;
    change->values[OutputField::kFlip] = 2;
    return confirm;
  }
};

TEST_F(DocumentTest, SeveralPagesGoToTheirDialogTogether) {
  SeveralPagesUI ui;
  doc_->SetUserInterface(&ui);
  doc_->AddPage(Bmp("a.bmp"), 0, false);
  doc_->AddPage(Bmp("b.bmp"), 0, false);
  SettingsChange change;
  ASSERT_TRUE(doc_->AskSeveralPagesOptions(order_.ids, &change));
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[1].pageId, order_.ids[1]);
  EXPECT_EQ(change.values[OutputField::kFlip], 2);
  // Asking stores nothing.
  EXPECT_EQ(doc_->FindPage(order_.ids[0])->output.flip, 0);
  ui.confirm = false;
  EXPECT_FALSE(doc_->AskSeveralPagesOptions(order_.ids, &change));
  EXPECT_FALSE(doc_->AskSeveralPagesOptions({order_.ids[0], 4242}, &change));
  EXPECT_FALSE(doc_->AskSeveralPagesOptions({}, &change));
  doc_->SetUserInterface(&ui_);
}

TEST_F(DocumentTest, RestoredPagesGetTheirPreviewsBackWithoutTheirSources) {
  std::string a = Bmp("a.bmp", 60, 40), b = Bmp("b.bmp", 50, 30);
  doc_->AddPage(a, 0, false);
  doc_->AddPage(b, 0, false);
  std::vector<PageRecord> before = {*doc_->FindPage(order_.ids[0]), *doc_->FindPage(order_.ids[1])};
  std::string previewA = cache_->EntryPath(a, 0);
  // Held by an undo step, a removed page keeps its preview file.
  doc_->KeepPreviews(before);
  ASSERT_TRUE(doc_->RemovePages({before[0].pageId}));
  EXPECT_TRUE(std::filesystem::exists(previewA));
  std::filesystem::remove(a);
  std::filesystem::remove(b);

  view_.events.clear();
  doc_->RestorePages(before);
  // The views start over; no page is announced as added.
  EXPECT_EQ(view_.Hints(), (std::vector<PageListHint>{HINT_RESET}));
  ASSERT_EQ(doc_->PageCount(), 2u);
  EXPECT_EQ(*doc_->FindPage(before[0].pageId), before[0]);
  HBITMAP preview = nullptr;
  ASSERT_TRUE(doc_->GetPagePreview(before[0].pageId, &preview));
  EXPECT_EQ(PXBitmapWidth(preview), 60);
  // The page is back: the end of the hold leaves its file.
  doc_->ReleasePreviews(before);
  EXPECT_TRUE(std::filesystem::exists(previewA));

  doc_->RestorePages({});
  EXPECT_EQ(doc_->PageCount(), 0u);
  EXPECT_EQ(view_.Hints().back(), HINT_RESET);
}

TEST_F(DocumentTest, ARestoredTurnOfAPageTurnsItsPreviewAgain) {
  std::string a = Bmp("a.bmp", 60, 40);
  doc_->AddPage(a, 0, false);
  PageRecord turned = *doc_->FindPage(order_.ids[0]);
  turned.output.rotation = 90;
  doc_->RestorePages({turned});
  EXPECT_TRUE(cache_->HoldsPreview(a, 0, 90, 0));
  HBITMAP preview = nullptr;
  ASSERT_TRUE(doc_->GetPagePreview(turned.pageId, &preview));
  EXPECT_EQ(PXBitmapWidth(preview), 40);
  EXPECT_EQ(PXBitmapHeight(preview), 60);
}

TEST_F(DocumentTest, PreviewSizeChangeDropsPreviews) {
  std::string path = Bmp("a.bmp", 600, 600);
  doc_->AddPage(path, 0, false);
  view_.events.clear();
  doc_->ChangePreviewSize({280, 500});  // unchanged: nothing happens
  EXPECT_TRUE(view_.events.empty());
  doc_->ChangePreviewSize({150, 150});
  EXPECT_EQ(view_.Hints(), (std::vector<PageListHint>{HINT_PREVIEW_SIZE_CHANGED}));
  EXPECT_FALSE(cache_->HasEntry(path, 0));
  HBITMAP preview = nullptr;
  EXPECT_TRUE(doc_->GetPagePreview(order_.ids[0], &preview));
  EXPECT_EQ(PXBitmapWidth(preview), 150);
}

// The busy display's reports, with the size of each picture.
struct BusyLog : BusyDisplay {
  std::vector<std::pair<uint32_t, uint32_t>> pictures;
  void Start(CancelSink*) override {}
  void ShowProgress(const std::string&, int, const CPageImage* image) override {
    pictures.emplace_back(image ? image->Width() : 0, image ? image->Height() : 0);
  }
  void Finish() override {}
};

TEST_F(DocumentTest, PagesConvertedElsewhereShowTheirCachedPreview) {
  std::string a = Bmp("a.bmp", 600, 300), b = Bmp("b.bmp", 600, 300);
  ASSERT_EQ(doc_->AddPage(a, 0, false), 0);
  ASSERT_EQ(doc_->AddPage(b, 0, false), 0);
  // The second page is turned: its cached preview is too, so the picture is made from
  // the page as loaded.
  PageOutputSettings turned = doc_->FindPage(order_.ids[1])->output;
  turned.rotation = 90;
  ASSERT_TRUE(doc_->ApplyPageOptions(order_.ids[1], turned, false, false));
  BusyLog busy;
  doc_->SetBusyDisplay(&busy);
  doc_->SetOutputThreads(2);
  ASSERT_TRUE(doc_->Save(dir_.File("out.tif")).ok());
  // The preview is fitted into 280 x 500; a picture made from the page into 256 x 256.
  EXPECT_EQ(busy.pictures, (std::vector<std::pair<uint32_t, uint32_t>>{{280, 140}, {256, 128}}));
}

TEST_F(DocumentTest, PagesSavedIntoTheirOwnFileAreReadAgainFromIt) {
  std::string tif = dir_.File("pages.tif");
  std::vector<pxtest::TiffPage> pages(3);
  for (uint32_t i = 0; i < 3; ++i) {
    pages[i].width = 20 + i;
    pages[i].height = 10;
    pages[i].bits = 24;
    pages[i].pixel = Grey;
  }
  pxtest::WriteTIFF(tif, pages);
  std::string other = Bmp("other.bmp", 8, 6);
  doc_->AddAllPages(tif);  // no chooser: ui_.frames is empty, which would cancel it
  ASSERT_EQ(doc_->PageCount(), 3u);
  ASSERT_EQ(doc_->AddPage(other, 0, false), 0);
  ASSERT_TRUE(doc_->RemovePages({order_.ids[0]}));
  // The last page of the file is turned; the output holds it turned.
  PageOutputSettings turned = doc_->FindPage(order_.ids[1])->output;
  turned.rotation = 90;
  ASSERT_TRUE(doc_->ApplyPageOptions(order_.ids[1], turned, false, false));
  ASSERT_EQ(doc_->AddPage(tif, 2, true), 0);  // in the list already
  ASSERT_EQ(ui_.beeps, 1);
  ASSERT_TRUE(doc_->Save(tif).ok());
  auto widths = [&] {
    std::vector<uint32_t> w;
    for (const auto& d : pxtest::ReadTiffDirectories(tif)) w.push_back(d.width);
    return w;
  };
  EXPECT_EQ(widths(), (std::vector<uint32_t>{21, 10, 8}));
  // The file's pages are what the list now shows: page 1 of it unturned, page 2 of it
  // turned once; the other file's page stays as it was.
  const PageRecord* first = doc_->FindPage(order_.ids[0]);
  const PageRecord* second = doc_->FindPage(order_.ids[1]);
  EXPECT_EQ(first->frameIndex, 0);
  EXPECT_EQ(second->frameIndex, 1);
  EXPECT_EQ(second->output.rotation, 0);
  EXPECT_EQ(second->inputWidth, 10);
  EXPECT_EQ(second->inputHeight, 22);
  EXPECT_EQ(doc_->FindPage(order_.ids[2])->sourcePath, other);
  EXPECT_TRUE(cache_->HasEntry(tif, 1));
  ASSERT_TRUE(doc_->Save(tif).ok());
  EXPECT_EQ(widths(), (std::vector<uint32_t>{21, 10, 8}));
  // Adding knows the pages by their new frames: frame 1 is in the list, frame 2 is not.
  const int beeps = ui_.beeps;
  EXPECT_EQ(doc_->AddPage(tif, 1, true), 0);
  EXPECT_EQ(ui_.beeps, beeps + 1);
  EXPECT_EQ(doc_->AddPage(tif, 2, true), 0);
  EXPECT_EQ(ui_.beeps, beeps + 1);
  EXPECT_EQ(doc_->PageCount(), 4u);
}

}  // namespace
