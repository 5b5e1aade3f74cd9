#include "prefetch.h"

#include <chrono>

#include "output.h"

namespace {

// The size of the picture that goes with progress reports of pages converted elsewhere.
constexpr uint32_t kPictureSize = 256;

}  // namespace

void ProgressPicture(const PageRecord& record, const std::string& preview, const CPageImage* loaded,
                     CPageImage* picture) {
  // The cache's preview of a turned or flipped page is turned too: it is not the page
  // as loaded.
  bool unturned = record.output.rotation == 0 && record.output.flip == 0;
  if (!preview.empty() && unturned && picture->Load(preview) == 0) return;
  picture->Clear();
  if (!loaded) return;
  uint32_t w, h;
  loaded->FitSize(kPictureSize, kPictureSize, &w, &h);
  if (loaded->ScaledCopy(w, h, kResizeDefault, picture) != 0) picture->Clear();
}

PagePrefetcher::PagePrefetcher(const std::vector<PageRecord>& pages, int workers, size_t window,
                               Report report, std::vector<std::string> previews,
                               OutputFormat format)
    : pages_(pages),
      window_(std::max<size_t>(window, 1)),
      report_(std::move(report)),
      previews_(std::move(previews)),
      format_(format) {
  for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
}

PagePrefetcher::~PagePrefetcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : threads_) t.join();
}

bool PagePrefetcher::AwaitReport(size_t index, const CPageImage* loaded, PageHandling handling) {
  if (!report_) return true;
  auto picture = std::make_unique<CPageImage>();
  ProgressPicture(pages_[index], index < previews_.size() ? previews_[index] : std::string(),
                  loaded, picture.get());
  std::unique_lock<std::mutex> lock(mutex_);
  loaded_[index] = {std::move(picture), handling};
  changed_.notify_all();
  changed_.wait(lock, [&] { return stopping_ || stopAt_ <= index || nextReport_ > index; });
  return !stopping_ && stopAt_ > index;
}

void PagePrefetcher::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] {
      return stopping_ || (nextToStart_ < pages_.size() && nextToStart_ < oldestKept_ + window_);
    });
    if (stopping_) return;
    size_t index = nextToStart_++;
    lock.unlock();
    auto page = std::make_unique<Page>();
    PrepareOutputPage(format_, pages_[index], page.get(),
                      [&](const CPageImage* image, PageHandling handling) {
                        return AwaitReport(index, image, handling);
                      });
    lock.lock();
    done_[index] = std::move(page);
    changed_.notify_all();
  }
}

void PagePrefetcher::DeliverReports(std::unique_lock<std::mutex>& lock) {
  while (report_ && stopAt_ == SIZE_MAX) {
    auto it = loaded_.find(nextReport_);
    if (it == loaded_.end()) return;  // not loaded yet, or it failed: no more reports
    std::unique_ptr<CPageImage> picture = std::move(it->second.picture);
    const PageHandling handling = it->second.handling;
    loaded_.erase(it);
    size_t index = nextReport_;
    lock.unlock();
    bool goOn = report_(index, picture->HasPixels() ? picture.get() : nullptr, handling);
    lock.lock();
    if (!goOn) stopAt_ = index;
    nextReport_ = index + 1;
    changed_.notify_all();
  }
}

PagePrefetcher::Page* PagePrefetcher::Take(size_t index, MessagePump* pump) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    DeliverReports(lock);
    auto it = done_.find(index);
    if (it != done_.end()) return it->second.get();
    if (!pump) {
      changed_.wait(lock);
      continue;
    }
    changed_.wait_for(lock, std::chrono::milliseconds(20));
    lock.unlock();
    while (pump->HasPendingMessage()) pump->DispatchOneMessage();
    lock.lock();
  }
}

void PagePrefetcher::Release(size_t index) {
  std::unique_ptr<Page> freed;  // destroyed outside the lock
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = done_.find(index);
    if (it != done_.end()) {
      freed = std::move(it->second);
      done_.erase(it);
    }
    if (index + 1 > oldestKept_) oldestKept_ = index + 1;
  }
  changed_.notify_all();
}
