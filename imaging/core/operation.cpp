#include "core/operation.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "core/io.h"

namespace px {

namespace {

void DiscardTrace(const char*) {}

std::atomic<PXTraceHook> g_traceHook{&DiscardTrace};

}  // namespace

PXOperation::PXOperation() noexcept : state_(PXGetThreadState()) {
  if (state_) ++state_->depth;
}

PXOperation::~PXOperation() {
  if (!state_) return;
  --state_->depth;
  state_->lastError = error_;
}

bool PXOperation::Reporting() const {
  return state_ && state_->depth == 1 && state_->progress;
}

bool PXOperation::Progress(uint32_t current, uint32_t total) {
  if (!Reporting()) return true;
  if (state_->progress(current, total, state_->userValue)) return true;
  error_ = PX_ERR_ABORTED;
  return false;
}

bool PXOperation::CheckHandle(const PXHandle* handle) {
  if (!handle) return Fail(PX_ERR_PARAMETER);
  if (!PXIsValidHandle(handle)) return Fail(PX_ERR_INVALID_HANDLE);
  return true;
}

void PXTrace(const char* format, ...) {
  PXTraceHook hook = g_traceHook.load(std::memory_order_relaxed);
  if (hook == &DiscardTrace) return;  // skip the formatting nobody reads
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  hook(text);
}

PXTraceHook PXSetTraceHook(PXTraceHook hook) {
  return g_traceHook.exchange(hook ? hook : &DiscardTrace);
}

bool PXBlockSize(size_t rows, size_t rowBytes, size_t extra, size_t* out) {
  size_t total;
  if (!PXMulSize(rows, rowBytes, &total) || !PXAddSize(total, extra, &total)) return false;
  if (total > PX_MAX_GLOBAL_BLOCK) return false;
  *out = total;
  return true;
}

}  // namespace px
