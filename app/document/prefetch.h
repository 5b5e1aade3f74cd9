// Converts and compresses output pages on worker threads ahead of the writer, which only
// appends them in list order. Pages are independent and the library keeps its state per
// thread, so every page comes out exactly as the writer's own thread would have made it.
//
// Progress is reported as in a run on one thread: each page, once loaded and before it is
// converted, is reported with a small picture of it, in page order, on the thread that
// takes the pages (the user interface's); its worker waits for that report.
#ifndef PAGEWEAVER_DOCUMENT_PREFETCH_H
#define PAGEWEAVER_DOCUMENT_PREFETCH_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "interfaces.h"
#include "output.h"
#include "page_image.h"
#include "page_record.h"
#include "pixolith/px_tiff.h"

class PagePrefetcher {
 public:
  using Page = PreparedPage;

  // Told of page `index` as loaded or copied, with a small picture of it (or null); false
  // stops the run: that page and the ones after it are not converted.
  using Report =
      std::function<bool(size_t index, const CPageImage* picture, PageHandling handling)>;

  // `workers` threads convert at most `window` pages beyond the oldest one not yet
  // released, so memory is bounded by the window, not by the number of pages.
  // `previews` may name, per page, a reduced picture of it as loaded (the preview
  // cache's file) that the report shows instead of a copy made from the page.
  PagePrefetcher(const std::vector<PageRecord>& pages, int workers, size_t window,
                 Report report = {}, std::vector<std::string> previews = {},
                 OutputFormat format = OutputFormat::kTIFF);
  // Stops the workers (a page being converted is finished first) and joins them.
  ~PagePrefetcher();
  PagePrefetcher(const PagePrefetcher&) = delete;
  PagePrefetcher& operator=(const PagePrefetcher&) = delete;

  // Waits for page `index` (taken in increasing order) and hands it over; the page stays
  // owned here until released. While waiting, the reports of loaded pages are made, and
  // the pump (if any) keeps the user interface alive.
  Page* Take(size_t index, MessagePump* pump);
  // Frees a page that was taken, letting the workers move on.
  void Release(size_t index);

 private:
  void Work();
  // On a worker: hands the loaded page's picture over and waits for its report; false
  // when the run stops first.
  bool AwaitReport(size_t index, const CPageImage* loaded, PageHandling handling);
  // On the taking thread, with the lock held: the reports of the pages loaded so far,
  // in order.
  void DeliverReports(std::unique_lock<std::mutex>& lock);

  const std::vector<PageRecord>& pages_;
  const size_t window_;
  const Report report_;
  const std::vector<std::string> previews_;
  const OutputFormat format_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t nextToStart_ = 0;
  size_t oldestKept_ = 0;  // pages below it are released
  bool stopping_ = false;
  std::map<size_t, std::unique_ptr<Page>> done_;
  struct Loaded {
    std::unique_ptr<CPageImage> picture;
    PageHandling handling;
  };
  std::map<size_t, Loaded> loaded_;  // pages waiting for their report
  size_t nextReport_ = 0;            // the page whose report is due
  size_t stopAt_ = SIZE_MAX;         // the page whose report said stop
  std::vector<std::thread> threads_;
};

// A small picture of a page as loaded, for progress displays: the preview file when it
// shows the page unturned and can be read, else a nearest-neighbour copy of `loaded`
// (none when `loaded` is null: a copied page is not decoded for its picture).
void ProgressPicture(const PageRecord& record, const std::string& preview, const CPageImage* loaded,
                     CPageImage* picture);

#endif  // PAGEWEAVER_DOCUMENT_PREFETCH_H
