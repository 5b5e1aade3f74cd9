// Converts and compresses output pages on worker threads ahead of the writer, which only
// appends them in list order. Pages are independent and the library keeps its state per
// thread, so every page comes out exactly as the writer's own thread would have made it.
#ifndef PAGEWEAVER_DOCUMENT_PREFETCH_H
#define PAGEWEAVER_DOCUMENT_PREFETCH_H

#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "interfaces.h"
#include "page_image.h"
#include "page_record.h"
#include "pixolith/px_tiff.h"

class PagePrefetcher {
 public:
  struct Page {
    Page() = default;
    ~Page() { PXFreeTIFFEncodedPage(encoded); }
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    int error = 0;
    PXTIFFEncodedPage* encoded = nullptr;
    CPageImage picture;  // a small copy of the converted page, for progress displays
  };

  // `workers` threads convert at most `window` pages beyond the oldest one not yet
  // released, so memory is bounded by the window, not by the number of pages.
  PagePrefetcher(const std::vector<PageRecord>& pages, int workers, size_t window);
  // Stops the workers (a page being converted is finished first) and joins them.
  ~PagePrefetcher();
  PagePrefetcher(const PagePrefetcher&) = delete;
  PagePrefetcher& operator=(const PagePrefetcher&) = delete;

  // Waits for page `index` (taken in increasing order) and hands it over; the page stays
  // owned here until released. While waiting, the pump (if any) keeps the user interface
  // alive.
  Page* Take(size_t index, MessagePump* pump);
  // Frees a page that was taken, letting the workers move on.
  void Release(size_t index);

 private:
  void Work();

  const std::vector<PageRecord>& pages_;
  const size_t window_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t nextToStart_ = 0;
  size_t oldestKept_ = 0;  // pages below it are released
  bool stopping_ = false;
  std::map<size_t, std::unique_ptr<Page>> done_;
  std::vector<std::thread> threads_;
};

#endif  // PAGEWEAVER_DOCUMENT_PREFETCH_H
