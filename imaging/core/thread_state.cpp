#include "core/thread_state.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

// Each thread's record lives until the thread ends; the library keeps no list of them
// because nothing reads another thread's state.
thread_local std::unique_ptr<PXThreadState> t_state;

}  // namespace

PXThreadState::~PXThreadState() {
  for (px::TIFFExtraTag& tag : tiffWrite.extraTags)
    for (VARIANT& v : tag.values) VariantClear(&v);
}

namespace px {

PXThreadState* GetThreadState() noexcept {
  if (!t_state) t_state.reset(new (std::nothrow) PXThreadState());
  return t_state.get();
}

}  // namespace px

extern "C" void PXSetProgressCallback(PXProgressCallback callback, DWORD_PTR userValue) {
  PXThreadState* state = px::GetThreadState();
  if (!state) return;
  state->progress = callback;
  state->userValue = userValue;
}

extern "C" int PXGetLastError(void) {
  PXThreadState* state = px::GetThreadState();
  return state ? state->lastError : PX_ERR_NO_THREAD_STATE;
}

extern "C" void PXGetVersion(char* buffer) {
  if (!buffer) return;
  std::memset(buffer, 0, 20);
  std::strncpy(buffer, PX_VERSION_TEXT, 20);
}
