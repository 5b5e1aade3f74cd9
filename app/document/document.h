// CPageWeaverDoc: the page list. It owns the pages (by id); the thumbnail list owns their
// order. Views hear of every change through DocumentView; questions go to the user
// through UserInterface.
#ifndef PAGEWEAVER_DOCUMENT_DOCUMENT_H
#define PAGEWEAVER_DOCUMENT_DOCUMENT_H

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "document_preferences.h"
#include "interfaces.h"
#include "output.h"
#include "page_record.h"

class CPreviewCache;

// The fixed size of a thumbnail cell.
constexpr uint32_t kThumbnailSize = 100;

class CPageWeaverDoc : private ProgressSink, private CancelSink {
 public:
  // Neither argument is owned; a null cache means pages get no previews or thumbnails
  // (the command-line tool builds files without showing them).
  CPageWeaverDoc(DocumentPreferences* preferences, CPreviewCache* cache);
  ~CPageWeaverDoc() override;
  CPageWeaverDoc(const CPageWeaverDoc&) = delete;
  CPageWeaverDoc& operator=(const CPageWeaverDoc&) = delete;

  void AddView(DocumentView* view);
  void RemoveView(DocumentView* view);
  void SetUserInterface(UserInterface* ui) { ui_ = ui; }
  void SetPageOrder(PageOrderSource* order) { order_ = order; }
  void SetBusyDisplay(BusyDisplay* busy) { busy_ = busy; }
  void SetMessagePump(MessagePump* pump) { pump_ = pump; }
  // How many threads convert pages during an output run (1: the writer's own).
  void SetOutputThreads(int threads) { threads_ = threads < 1 ? 1 : threads; }
  // Whether unchanged pages are copied as their sources store them (the preference
  // "Copy unchanged pages without recompressing"; the command line's --reencode).
  // Both must allow it.
  void SetCopyUnchangedPages(bool copy) { copyUnchanged_ = copy; }
  bool CopyUnchangedPages() const;
  // How the next output run in `format` writes the page: copied or converted.
  PageHandling PageHandlingOf(const PageRecord& record,
                              OutputFormat format = OutputFormat::kTIFF) const;
  // The same as the info view says it: for the format of the next save when the document
  // knows it (SetOutputFormat, else the name it was last saved under), otherwise for
  // both, each named where they differ ("copied for TIFF, converted for PDF").
  std::string PageHandlingText(const PageRecord& record) const;
  // The format of the files saved: nullopt (the default) takes it from each file's name
  // (OutputFormatFor); the command line's --format sets it.
  void SetOutputFormat(std::optional<OutputFormat> format) { format_ = format; }
  // The system window colour thumbnails are drawn on.
  void SetThumbnailBackground(COLORREF color) { thumbnailBackground_ = color; }

  // The file-name order AddPages uses instead of the SortStyle preference (the
  // command-line tool's --sort); nullopt goes back to the preference.
  void SetSortStyle(std::optional<int> style) { sortStyle_ = style; }
  // Sorts the paths by the sort order, expands multi-page TIFF files through the
  // sub-frame chooser and adds every page, asking what to do when one fails.
  void AddPages(const std::vector<std::string>& paths);
  // The same in the order given.
  void AddPagesInOrder(const std::vector<std::string>& paths);
  // Adds every page of a file, without the sub-frame chooser (a document opened for
  // editing), asking what to do when one fails.
  void AddAllPages(const std::string& path);
  // Adds one page; 0 when added or skipped as a duplicate, else the library's code.
  int AddPage(const std::string& path, int frame, bool subFrame);
  bool RemovePages(const std::vector<int32_t>& ids);
  void RemoveAllPages();
  void ShowPage(int32_t id);
  bool GetPagePreview(int32_t id, HBITMAP* bitmap);
  int RefreshPageThumbnail(const PageRecord* record);
  // Runs the page options dialog for a page and stores what it gives.
  bool EditPageOptions(int32_t id);
  // What the page options dialog gave for a page.
  struct PageOptionsEdit {
    PageOutputSettings settings;
    bool setAllPages = false;
    bool changeSize = false;
  };
  // Runs the page options dialog for a page without storing anything; false for an
  // unknown id or when the user cancelled.
  bool AskPageOptions(int32_t id, PageOptionsEdit* edit);
  // Runs the options dialog for several pages at once; false for an unknown id, no pages
  // or when the user cancelled.
  bool AskSeveralPagesOptions(const std::vector<int32_t>& ids, SettingsChange* change);
  // Changes the pages' output settings as `change` says, rebuilding the preview and
  // thumbnail of each page whose rotation or flip changed; false for an unknown id (the
  // pages before it are changed).
  bool ApplySettingsChange(const std::vector<int32_t>& ids, const SettingsChange& change);
  // Stores edited output settings into one page or every page (sizes only with
  // changeSize), rebuilding previews and thumbnails when rotation or flip changed.
  bool ApplyPageOptions(int32_t id, const PageOutputSettings& settings, bool setAllPages,
                        bool changeSize);
  // Undo steps keep the previews of the pages they can bring back (see
  // CPreviewCache::Hold); each KeepPreviews is ended by one ReleasePreviews.
  void KeepPreviews(const std::vector<PageRecord>& pages);
  void ReleasePreviews(const std::vector<PageRecord>& pages);
  // Makes the pages the records of an earlier state, as an undo step recorded them. Pages
  // that leave give up their previews as removed pages do; pages that come back take
  // theirs again, and those whose preview is gone or was made for another rotation or
  // flip get a new one from their source. The views are told to start over
  // (HINT_RESET): the thumbnail list and the selection are put back by whoever recorded
  // them, and the page shown is shown again by selecting it.
  void RestorePages(const std::vector<PageRecord>& records);

  // Takes a new preview size (after the preferences dialog).
  void ChangePreviewSize(const PreviewSize& size);
  // Whether photographs are turned upright by their EXIF orientation as they load; a
  // change makes the previews again, for pages loaded from now on turn the new way.
  void ChangeTurnUpright(bool on);

  // Writes every page into `path`; an empty path asks the user for one ("Save As").
  // On success the document's path becomes the output path, and pages that were read
  // from that file become the pages now in it.
  OutputReport Save(const std::string& path);

  const std::map<int32_t, PageRecord>& Pages() const { return pages_; }
  const PageRecord* FindPage(int32_t id) const;
  // Replaces a page's record (keeping its id); false for an unknown id.
  bool UpdatePage(const PageRecord& record);
  size_t PageCount() const { return pages_.size(); }
  bool Busy() const { return busy_flag_; }
  const std::string& Path() const { return path_; }
  ProgressSink* progressSink() { return this; }
  CancelSink* cancelSink() { return this; }

 private:
  bool Progress(const std::string& text, int percent, const CPageImage* image) override;
  bool PageProgress(const std::string& text, int percent, const CPageImage* image,
                    PageHandling handling) override;
  void Cancel() override { cancelled_ = true; }

  void Notify(PageListHint hint, const PageHint* pageHint = nullptr);
  // AddPage with the file already open (`source`, null: not open).
  int AddPage(const std::string& path, int frame, bool subFrame, PXSource source);
  int MakeThumbnail(CPageImage& image, HBITMAP* bitmap) const;
  // Asks "Error adding page..."; false when the user says No.
  bool AskContinueAfter(int error, const std::string& path);
  OutputReport RunOutput(const std::string& path);
  // After `written` was saved to `path`: every page whose source was that file is read
  // again from its new place in it, so that it neither points at a page that moved nor
  // is turned or flipped a second time by the next save.
  void RereadPagesFrom(const std::vector<PageRecord>& written, const std::string& path);
  // Whether a page of `path` at `frame` is in the list.
  bool HoldsPageOf(const std::string& path, int frame);

  DocumentPreferences* preferences_;
  CPreviewCache* cache_;
  std::vector<DocumentView*> views_;
  UserInterface* ui_ = nullptr;
  PageOrderSource* order_ = nullptr;
  BusyDisplay* busy_ = nullptr;
  MessagePump* pump_ = nullptr;
  COLORREF thumbnailBackground_ = RGB(255, 255, 255);
  std::map<int32_t, PageRecord> pages_;
  // Every page's source and frame, so that adding to a long list does not compare the
  // new page with each one. An add keeps it up to date; other changes mark it stale and
  // the next add builds it again.
  std::set<std::pair<std::string, int>> sources_;
  bool sourcesStale_ = false;
  bool busy_flag_ = false;
  bool cancelled_ = false;
  int threads_ = DefaultOutputThreads();
  bool copyUnchanged_ = true;
  std::optional<int> sortStyle_;
  std::optional<OutputFormat> format_;
  std::string path_;
};

#endif  // PAGEWEAVER_DOCUMENT_DOCUMENT_H
