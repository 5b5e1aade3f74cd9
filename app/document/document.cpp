#include "document.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>

#include "name_order.h"
#include "page_image.h"
#include "pdf_writer.h"
#include "preview_cache.h"

namespace {

// Page ids come from one counter per process and are never reused.
std::atomic<int32_t> g_nextPageId{0};

constexpr COLORREF kFrameColor = RGB(0, 0, 0);

std::string Format(const char* format, const std::string& a, const std::string& b) {
  int n = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str());
  std::string text(size_t(std::max(n, 0)), '\0');
  std::snprintf(text.data(), text.size() + 1, format, a.c_str(), b.c_str());
  return text;
}

// A page as it was read from its source's page `frame`, with output settings to match.
void DescribeStored(const StoredInput& in, int frame, bool subFrame, PageRecord* record) {
  record->frameIndex = frame;
  record->inputResolutionX = int32_t(in.resolution.x);
  record->inputResolutionY = int32_t(in.resolution.y);
  record->inputResolutionUnit = int32_t(in.resolution.unit);
  record->inputWidth = int32_t(in.width);
  record->inputHeight = int32_t(in.height);
  record->inputBitsPerPixel = int32_t(in.bitsPerPixel);
  record->subFrame = subFrame;
  PageOutputSettings& s = record->output;
  s = PageOutputSettings();
  s.width = record->inputWidth;
  s.height = record->inputHeight;
  s.resolutionX = record->inputResolutionX;
  s.resolutionY = record->inputResolutionY;
  s.resolutionUnit = record->inputResolutionUnit;
  s.bitsPerPixel = record->inputBitsPerPixel;
  s.compression = in.compression;
}

// The same for a page as it was loaded.
void DescribeInput(const CPageImage& image, int frame, bool subFrame, PageRecord* record) {
  StoredInput in;
  in.width = image.Width();
  in.height = image.Height();
  in.bitsPerPixel = image.BitsPerPixel();
  in.resolution = {uint32_t(image.ResolutionX()), uint32_t(image.ResolutionY()),
                   uint32_t(image.ResolutionUnit())};
  in.compression = image.SourceCompression();
  DescribeStored(in, frame, subFrame, record);
}

// The file a path names (device and inode), or false when it cannot be told.
bool Identify(const std::string& path, struct stat* st) {
  return stat(path.c_str(), st) == 0;
}

}  // namespace

CPageWeaverDoc::CPageWeaverDoc(DocumentPreferences* preferences, CPreviewCache* cache)
    : preferences_(preferences), cache_(cache) {}

CPageWeaverDoc::~CPageWeaverDoc() = default;

void CPageWeaverDoc::AddView(DocumentView* view) {
  views_.push_back(view);
}

void CPageWeaverDoc::RemoveView(DocumentView* view) {
  views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
}

void CPageWeaverDoc::Notify(PageListHint hint, const PageHint* pageHint) {
  for (DocumentView* view : std::vector<DocumentView*>(views_)) view->OnUpdate(hint, pageHint);
}

const PageRecord* CPageWeaverDoc::FindPage(int32_t id) const {
  auto it = pages_.find(id);
  return it == pages_.end() ? nullptr : &it->second;
}

bool CPageWeaverDoc::UpdatePage(const PageRecord& record) {
  auto it = pages_.find(record.pageId);
  if (it == pages_.end()) return false;
  it->second = record;
  sourcesStale_ = true;
  return true;
}

bool CPageWeaverDoc::HoldsPageOf(const std::string& path, int frame) {
  if (sourcesStale_) {
    sources_.clear();
    for (const auto& [id, page] : pages_) sources_.emplace(page.sourcePath, page.frameIndex);
    sourcesStale_ = false;
  }
  return sources_.count({path, frame}) != 0;
}

bool CPageWeaverDoc::AskContinueAfter(int error, const std::string& path) {
  return ui_ && ui_->ContinueAfterAddError(error, path);
}

bool UserInterface::ContinueAfterAddError(int error, const std::string& path) {
  std::string text =
      Format("Error adding page:\n%s\nFile: %s\n\nContinue?", ErrorText(error), path);
  return Ask(text, Buttons::kYesNo) == Answer::kYes;
}

void CPageWeaverDoc::AddPages(const std::vector<std::string>& paths) {
  int style = sortStyle_     ? *sortStyle_
              : preferences_ ? preferences_->SortStyle()
                             : kDefaultSortStyle;
  AddPagesInOrder(SortForAdding(paths, style));
}

void CPageWeaverDoc::AddPagesInOrder(const std::vector<std::string>& paths) {
  for (const std::string& name : paths) {
    // One open of the file tells its pages and, for a page added as stored, its facts;
    // only the parts those are stored in are read (a TIFF's directory, not its strips).
    const ScopedSource source(name);
    int pageCount = CPageImage::PageCount(source.get(), name);
    if (pageCount < 2) {
      int error = AddPage(name, 0, false, source.get());
      if (error && !AskContinueAfter(error, name)) return;
      continue;
    }
    std::vector<int> frames;
    if (ui_ && ui_->ChooseFrames(name, pageCount, &frames)) {
      std::sort(frames.begin(), frames.end());
      for (int frame : frames) {
        int error = AddPage(name, frame, true, source.get());
        if (error && !AskContinueAfter(error, name)) return;
      }
    } else if (!ui_ || ui_->Ask("Cancel all remaining?", UserInterface::Buttons::kOkCancel) !=
                           UserInterface::Answer::kOk) {
      return;
    }
  }
}

void CPageWeaverDoc::AddAllPages(const std::string& path) {
  int pageCount = CPageImage::PageCount(path);
  for (int frame = 0; frame < std::max(pageCount, 1); ++frame) {
    int error = AddPage(path, frame, pageCount >= 2);
    if (error && !AskContinueAfter(error, path)) return;
  }
}

int CPageWeaverDoc::MakeThumbnail(CPageImage& image, HBITMAP* bitmap) const {
  if (int error =
          image.Thumbnail(kThumbnailSize, kThumbnailSize, thumbnailBackground_, true, kFrameColor))
    return error;
  return image.ToDeviceBitmap(bitmap);
}

int CPageWeaverDoc::AddPage(const std::string& path, int frame, bool subFrame) {
  return AddPage(path, frame, subFrame, nullptr);
}

int CPageWeaverDoc::AddPage(const std::string& path, int frame, bool subFrame, PXSource source) {
  if (HoldsPageOf(path, subFrame ? frame : 0)) {
    if (ui_) ui_->Beep();
    return 0;
  }
  PageRecord record;
  record.sourcePath = path;
  CPageImage image;
  // Without previews or thumbnails, a page that can be copied is not decoded to be added.
  StoredInput stored;
  if (!cache_ && (source ? DescribeStoredPage(source, path, frame, &stored)
                         : DescribeStoredPage(path, frame, &stored))) {
    DescribeStored(stored, subFrame ? frame : 0, subFrame, &record);
  } else {
    if (int error = image.Load(path, UNKNOWN, frame)) return error;
    DescribeInput(image, subFrame ? frame : 0, subFrame, &record);
  }

  HBITMAP thumbnail = nullptr;
  if (cache_) {
    std::string cachePath;
    cache_->CreateEntry(image, path, &cachePath, nullptr);
    if (int error = MakeThumbnail(image, &thumbnail)) return error;
  }
  record.pageId = g_nextPageId++;
  pages_[record.pageId] = record;
  sources_.emplace(record.sourcePath, record.frameIndex);

  PageHint hint{record, PageDisplayName(record), thumbnail, record.pageId};
  Notify(HINT_PAGE_ADDED, &hint);
  if (thumbnail) DeleteObject(thumbnail);
  return 0;
}

bool CPageWeaverDoc::RemovePages(const std::vector<int32_t>& ids) {
  for (int32_t id : ids) {
    auto it = pages_.find(id);
    if (it == pages_.end()) return false;
    PageRecord record = it->second;
    pages_.erase(it);
    sourcesStale_ = true;
    PageHint hint{record, record.sourcePath, nullptr, id};
    Notify(HINT_PAGE_REMOVED, &hint);
    if (cache_) cache_->DeleteCacheFile(record.sourcePath, record.frameIndex);
  }
  if (pages_.empty()) Notify(HINT_RESET);
  return true;
}

void CPageWeaverDoc::RemoveAllPages() {
  pages_.clear();
  sourcesStale_ = true;
  Notify(HINT_RESET);
}

bool CPageWeaverDoc::GetPagePreview(int32_t id, HBITMAP* bitmap) {
  const PageRecord* page = FindPage(id);
  if (!page || !cache_) return false;
  HBITMAP found = nullptr;
  cache_->GetPreviewBitmap(page->sourcePath, page->frameIndex, &found);
  if (!found) return false;
  *bitmap = found;
  return true;
}

void CPageWeaverDoc::ShowPage(int32_t id) {
  const PageRecord* page = FindPage(id);
  if (!page) return;
  PageRecord record = *page;
  HBITMAP preview = nullptr;
  GetPagePreview(id, &preview);
  PageHint hint{record, std::string(), preview, id};
  Notify(HINT_SHOW_PAGE, &hint);
}

int CPageWeaverDoc::RefreshPageThumbnail(const PageRecord* record) {
  if (!record) return PX_ERR_PARAMETER;
  CPageImage image;
  if (int error = image.Load(record->sourcePath, UNKNOWN, record->frameIndex)) return error;
  uint32_t loadedWidth = image.Width(), loadedHeight = image.Height();
  HBITMAP thumbnail = nullptr;
  if (cache_) {
    std::string cachePath;
    if (int error = cache_->CreateEntry(image, record->sourcePath, &cachePath, &record->output))
      return error;
    if (int error = MakeThumbnail(image, &thumbnail)) return error;
  }
  auto it = pages_.find(record->pageId);
  if (it == pages_.end()) {
    if (thumbnail) DeleteObject(thumbnail);
    return PX_ERR_UNEXPECTED;
  }
  PageRecord stored = *record;
  bool turned = record->output.rotation == 90 || record->output.rotation == 270;
  stored.inputWidth = int32_t(turned ? loadedHeight : loadedWidth);
  stored.inputHeight = int32_t(turned ? loadedWidth : loadedHeight);
  it->second = stored;

  std::string name = PageDisplayName(stored);
  PageHint thumbHint{PageRecord(), name, thumbnail, stored.pageId};
  Notify(HINT_THUMBNAIL_CHANGED, &thumbHint);
  HBITMAP preview = nullptr;
  GetPagePreview(stored.pageId, &preview);
  PageHint refreshHint{stored, name, preview, stored.pageId};
  Notify(HINT_PAGE_REFRESHED, &refreshHint);
  if (thumbnail) DeleteObject(thumbnail);
  return 0;
}

bool CPageWeaverDoc::EditPageOptions(int32_t id) {
  if (!FindPage(id)) return false;
  PageOptionsEdit edit;
  if (AskPageOptions(id, &edit))
    ApplyPageOptions(id, edit.settings, edit.setAllPages, edit.changeSize);
  return true;
}

bool CPageWeaverDoc::AskPageOptions(int32_t id, PageOptionsEdit* edit) {
  const PageRecord* page = FindPage(id);
  if (!page || !ui_) return false;
  edit->settings = page->output;
  return ui_->EditPageOptions(*page, &edit->settings, &edit->setAllPages, &edit->changeSize);
}

bool CPageWeaverDoc::AskSeveralPagesOptions(const std::vector<int32_t>& ids,
                                            SettingsChange* change) {
  std::vector<PageRecord> pages;
  for (int32_t id : ids) {
    const PageRecord* page = FindPage(id);
    if (!page) return false;
    pages.push_back(*page);
  }
  return !pages.empty() && ui_ && ui_->EditSeveralPagesOptions(pages, change);
}

bool CPageWeaverDoc::ApplySettingsChange(const std::vector<int32_t>& ids,
                                         const SettingsChange& change) {
  for (int32_t id : ids) {
    const PageRecord* page = FindPage(id);
    if (!page) return false;
    PageRecord edited = *page;
    edited.output = change.ApplyTo(page->output);
    if (edited.output == page->output) continue;
    bool geometryChanged =
        edited.output.rotation != page->output.rotation || edited.output.flip != page->output.flip;
    UpdatePage(edited);
    if (geometryChanged) {
      if (cache_) cache_->DeleteCacheFile(edited.sourcePath, edited.frameIndex);
      RefreshPageThumbnail(&edited);
    }
    const PageRecord& stored = *FindPage(id);
    PageHint hint{stored, stored.sourcePath, nullptr, id};
    Notify(HINT_PAGE_SETTINGS_CHANGED, &hint);
  }
  return true;
}

void CPageWeaverDoc::KeepPreviews(const std::vector<PageRecord>& pages) {
  if (!cache_) return;
  for (const PageRecord& page : pages) cache_->Hold(page.sourcePath, page.frameIndex);
}

void CPageWeaverDoc::ReleasePreviews(const std::vector<PageRecord>& pages) {
  if (!cache_) return;
  for (const PageRecord& page : pages) cache_->Release(page.sourcePath, page.frameIndex);
}

void CPageWeaverDoc::RestorePages(const std::vector<PageRecord>& records) {
  std::map<int32_t, PageRecord> restored;
  for (const PageRecord& record : records) restored[record.pageId] = record;
  for (const auto& [id, page] : pages_)
    if (!restored.count(id) && cache_) cache_->DeleteCacheFile(page.sourcePath, page.frameIndex);
  pages_ = std::move(restored);
  sourcesStale_ = true;
  for (const auto& [id, page] : pages_) {
    if (!cache_) break;
    cache_->KeepCacheFile(page.sourcePath, page.frameIndex);
    if (cache_->HoldsPreview(page.sourcePath, page.frameIndex, page.output.rotation,
                             page.output.flip))
      continue;
    CPageImage image;
    std::string cachePath;
    if (image.Load(page.sourcePath, UNKNOWN, page.frameIndex) == 0)
      cache_->CreateEntry(image, page.sourcePath, &cachePath, &page.output);
  }
  Notify(HINT_RESET);
}

bool CPageWeaverDoc::ApplyPageOptions(int32_t id, const PageOutputSettings& settings,
                                      bool setAllPages, bool changeSize) {
  const PageRecord* page = FindPage(id);
  if (!page) return false;
  PageRecord edited = *page;
  edited.output = settings;
  bool geometryChanged =
      settings.rotation != page->output.rotation || settings.flip != page->output.flip;
  if (setAllPages) {
    std::vector<int32_t> ids;
    for (const auto& entry : pages_) ids.push_back(entry.first);
    for (int32_t other : ids) {
      PageRecord& record = pages_[other];
      PageOutputSettings& out = record.output;
      if (changeSize) {
        out.width = settings.width;
        out.height = settings.height;
      }
      int32_t width = out.width, height = out.height;
      out = settings;
      out.width = width;
      out.height = height;
      if (geometryChanged) {
        if (cache_) cache_->DeleteCacheFile(record.sourcePath, record.frameIndex);
        PageRecord copy = record;
        RefreshPageThumbnail(&copy);
      }
    }
  } else {
    pages_[id] = edited;
    if (geometryChanged) {
      if (cache_) cache_->DeleteCacheFile(edited.sourcePath, edited.frameIndex);
      RefreshPageThumbnail(&edited);
    }
  }
  PageHint hint{edited, edited.sourcePath, nullptr, id};
  Notify(HINT_PAGE_SETTINGS_CHANGED, &hint);
  return true;
}

void CPageWeaverDoc::ChangePreviewSize(const PreviewSize& size) {
  if (!cache_ || cache_->Size() == size) return;
  cache_->SetSize(size);
  cache_->ClearAll();
  Notify(HINT_PREVIEW_SIZE_CHANGED);
}

void CPageWeaverDoc::ChangeTurnUpright(bool on) {
  if (CPageImage::TurnUpright() == on) return;
  CPageImage::SetTurnUpright(on);
  if (!cache_) return;
  cache_->ClearAll();
  Notify(HINT_PREVIEW_SIZE_CHANGED);
}

bool CPageWeaverDoc::Progress(const std::string& text, int percent, const CPageImage* image) {
  if (busy_flag_ && busy_) busy_->ShowProgress(text, percent, image);
  return !cancelled_;
}

bool CPageWeaverDoc::CopyUnchangedPages() const {
  return copyUnchanged_ && (!preferences_ || preferences_->CopyUnchangedPages());
}

PageHandling CPageWeaverDoc::PageHandlingOf(const PageRecord& record, OutputFormat format) const {
  PageRecord run = record;
  run.copyUnchanged = record.copyUnchanged && CopyUnchangedPages();
  return DecideOutputHandling(format, run);
}

std::string CPageWeaverDoc::PageHandlingText(const PageRecord& record) const {
  if (format_ || !path_.empty())
    return PageHandlingName(PageHandlingOf(record, format_ ? *format_ : OutputFormatFor(path_)));
  const PageHandling tiff = PageHandlingOf(record, OutputFormat::kTIFF);
  const PageHandling pdf = PageHandlingOf(record, OutputFormat::kPDF);
  if (tiff == pdf) return PageHandlingName(tiff);
  return std::string(PageHandlingName(tiff)) + " for TIFF, " + PageHandlingName(pdf) + " for PDF";
}

bool CPageWeaverDoc::PageProgress(const std::string& text, int percent, const CPageImage* image,
                                  PageHandling handling) {
  if (busy_flag_ && busy_) busy_->ShowPageProgress(text, percent, image, handling);
  return !cancelled_;
}

OutputReport CPageWeaverDoc::RunOutput(const std::string& path) {
  OutputReport report;
  busy_flag_ = true;
  struct ClearBusy {
    bool& flag;
    ~ClearBusy() { flag = false; }
  } clearBusy{busy_flag_};

  if (pages_.empty()) {
    report.error = PX_ERR_PARAMETER;
    return report;
  }
  if (!order_) {
    if (ui_) ui_->Ask("Can't find list view!", UserInterface::Buttons::kOk);
    report.error = PX_ERR_UNEXPECTED;
    return report;
  }
  std::vector<PageRecord> records;
  for (int32_t id : order_->PageIdsInDisplayOrder()) {
    const PageRecord* page = FindPage(id);
    if (!page) {
      report.error = PX_ERR_UNEXPECTED;
      return report;
    }
    records.push_back(*page);
    records.back().copyUnchanged = page->copyUnchanged && CopyUnchangedPages();
  }
  if (busy_) busy_->Start(cancelSink());
  Notify(HINT_OUTPUT_STARTING);
  // The busy dialog's pictures of pages converted on other threads are the cached
  // previews, where there are any.
  std::vector<std::string> previews;
  for (const PageRecord& record : records)
    previews.push_back(cache_ ? cache_->EntryPath(record.sourcePath, record.frameIndex) : "");
  const OutputFormat format = format_ ? *format_ : OutputFormatFor(path);
  // A file that did not exist before the run is no page's source.
  struct stat before;
  const bool replacing = Identify(path, &before);
  report =
      WriteOutputFile(records, path, progressSink(), pump_, threads_, std::move(previews), format);
  // A PDF holds no pages this program reads back.
  if (report.ok() && format == OutputFormat::kTIFF && replacing) RereadPagesFrom(records, path);
  if (busy_) busy_->Finish();
  if (!ui_ || report.cancelled) return report;
  if (report.error == PX_ERR_FILE_OPEN && report.failedPage < 0) {
    ui_->Ask("Couldn't open output file", UserInterface::Buttons::kOk);
  } else if (report.failedPage >= 0) {
    char position[64];
    std::snprintf(position, sizeof position, "Page %d of %zu could not be converted:\n",
                  report.failedPage + 1, records.size());
    ui_->Ask(position + Format("%s\nFile: %s\n\nThe output file was not written.",
                               ErrorText(report.error), report.failedPath),
             UserInterface::Buttons::kOk);
  } else if (report.error) {
    // A PDF that could not be started says why rather than the library's file error.
    const std::string problem = format == OutputFormat::kPDF ? PdfOutputProblem() : std::string();
    ui_->Ask("The output file could not be written:\n" +
                 (problem.empty() ? ErrorText(report.error) : problem),
             UserInterface::Buttons::kOk);
  }
  return report;
}

void CPageWeaverDoc::RereadPagesFrom(const std::vector<PageRecord>& written,
                                     const std::string& path) {
  std::vector<size_t> replaced;
  struct stat output, source;
  if (!Identify(path, &output)) return;
  for (size_t k = 0; k < written.size(); ++k)
    if (Identify(written[k].sourcePath, &source) && source.st_dev == output.st_dev &&
        source.st_ino == output.st_ino)
      replaced.push_back(k);
  // The old previews go first: a page's new preview may take another's old place.
  for (size_t k : replaced)
    if (cache_) cache_->DeleteCacheFile(written[k].sourcePath, written[k].frameIndex);
  for (size_t k : replaced) {
    // The page is now page k of the file, converted, turned and flipped as it was asked.
    PageRecord record = written[k];
    CPageImage image;
    if (image.Load(record.sourcePath, UNKNOWN, int(k)) != 0 || !FindPage(record.pageId)) continue;
    DescribeInput(image, int(k), written.size() >= 2, &record);
    // The run's copy of the record says what the run allowed, not what the page asks.
    record.copyUnchanged = FindPage(record.pageId)->copyUnchanged;
    UpdatePage(record);
    RefreshPageThumbnail(&record);
  }
}

OutputReport CPageWeaverDoc::Save(const std::string& path) {
  std::string target = path;
  if (target.empty()) {
    target = ui_ ? ui_->AskSavePath() : std::string();
    if (target.empty()) {
      OutputReport cancelled;
      cancelled.cancelled = true;
      return cancelled;
    }
  }
  Notify(HINT_SAVE_BEGIN);
  cancelled_ = false;
  OutputReport report = RunOutput(target);
  cancelled_ = false;
  Notify(HINT_SAVE_END);
  // The output goes to a temporary file first, so a failed run leaves nothing to clean
  // up at the target, whether or not it existed before.
  if (report.ok()) path_ = target;
  return report;
}
