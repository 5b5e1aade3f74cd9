// A machine without Cairo: this program's own dlopen refuses the library, as the loader
// would if it were not installed. Metafiles then fail with their rendering error and a
// trace naming the cause, and the library is asked for only once.
#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/operation.h"
#include "metafile/records.h"
#include "metafile_builder.h"

namespace {

std::atomic<int> g_cairoRequests{0};

std::mutex g_traceMutex;
std::vector<std::string> g_trace;

void KeepTrace(const char* text) {
  std::lock_guard<std::mutex> lock(g_traceMutex);
  g_trace.emplace_back(text);
}

// The trace lines of one rendering.
struct TraceScope {
  TraceScope() {
    g_trace.clear();
    old = px::SetTraceHook(KeepTrace);
  }
  ~TraceScope() { px::SetTraceHook(old); }
  px::TraceHook old;
};

}  // namespace

// Defined here, the program's calls to dlopen (the library's included) come here first.
extern "C" void* dlopen(const char* file, int mode) {
  if (file && std::strncmp(file, "libcairo.so", 11) == 0) {
    ++g_cairoRequests;
    return nullptr;
  }
  using Open = void* (*)(const char*, int);
  static const Open next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "dlopen"));
  return next ? next(file, mode) : nullptr;
}

namespace {

using namespace pxmf;

TEST(WithoutCairo, MetafilesFailWithTheRenderErrorAndATrace) {
  pxtest::EmfBuilder emf(10, 10);
  emf.Add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0x0000FF, 0})
      .Add(EMR_SELECTOBJECT, {1})
      .Add(EMR_RECTANGLE, {0, 0, 10, 10});
  pxtest::WmfBuilder wmf;
  wmf.Add(META_SETWINDOWEXT, {100, 100}).Add(META_RECTANGLE, {90, 90, 10, 10});
  const std::vector<std::vector<uint8_t>> files = {emf.Finish(), wmf.Finish(true, 0, 0, 100, 100)};
  for (const auto& bytes : files) {
    TraceScope scope;
    pxtest::Rendering r = pxtest::RenderMetafileBytes(bytes, 10, 10);
    EXPECT_EQ(r.error, PX_ERR_METAFILE_RENDER);
    EXPECT_TRUE(r.rgb.empty());
    ASSERT_EQ(g_trace.size(), 1u);
    EXPECT_EQ(g_trace[0].rfind("Cairo could not be loaded", 0), 0u) << g_trace[0];
  }
  // Loaded once per process: the second file does not try again.
  EXPECT_EQ(g_cairoRequests.load(), 1);
}

}  // namespace
