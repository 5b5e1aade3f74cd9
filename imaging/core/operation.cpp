#include "core/operation.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace px {

namespace {

void DiscardTrace(const char*) {}

std::atomic<TraceHook> g_traceHook{&DiscardTrace};

}  // namespace

Operation::Operation() noexcept : state_(GetThreadState()) {
  if (state_) ++state_->depth;
}

Operation::~Operation() {
  if (!state_) return;
  --state_->depth;
  state_->lastError = error_;
}

bool Operation::Reporting() const {
  return state_ && state_->depth == 1 && state_->progress;
}

bool Operation::Progress(uint32_t current, uint32_t total) {
  if (!Reporting()) return true;
  if (state_->progress(current, total, state_->userValue)) return true;
  error_ = PX_ERR_ABORTED;
  return false;
}

void Trace(const char* format, ...) {
  TraceHook hook = g_traceHook.load(std::memory_order_relaxed);
  if (hook == &DiscardTrace) return;  // skip the formatting nobody reads
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  hook(text);
}

TraceHook SetTraceHook(TraceHook hook) {
  return g_traceHook.exchange(hook ? hook : &DiscardTrace);
}

bool BlockSize(size_t rows, size_t rowBytes, size_t extra, size_t* out) {
  size_t total;
  if (!MulSize(rows, rowBytes, &total) || !AddSize(total, extra, &total)) return false;
  if (total > PX_MAX_GLOBAL_BLOCK) return false;
  *out = total;
  return true;
}

}  // namespace px
