#include "prefetch.h"

#include <chrono>

#include "output.h"

PagePrefetcher::PagePrefetcher(const std::vector<PageRecord>& pages, int workers, size_t window)
    : pages_(pages), window_(std::max<size_t>(window, 1)) {
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
    page->error = PrepareEncodedPage(pages_[index], &page->encoded, &page->picture);
    lock.lock();
    done_[index] = std::move(page);
    changed_.notify_all();
  }
}

PagePrefetcher::Page* PagePrefetcher::Take(size_t index, MessagePump* pump) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
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
