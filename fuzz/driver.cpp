// One fuzz target (chosen by PXFUZZ_TARGET at compile time) under libFuzzer, or under
// replay.cpp's plain main(). Besides the sanitizers' findings it reports a broken promise
// of the library (see entries.h) and any allocation far larger than the input could
// describe: a header's claim must be checked against the data before memory is taken.
#include <sanitizer/allocator_interface.h>
#include <sanitizer/common_interface_defs.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "targets.h"
#ifdef PXFUZZ_IMAGE_OBJECT
#include "image_object.h"
#endif

#ifndef PXFUZZ_TARGET
#error "PXFUZZ_TARGET names the target to build"
#endif

namespace {

const pxfuzz::Target* g_target = nullptr;
size_t g_allowed = SIZE_MAX;  // bytes one allocation may take during the current input
bool g_reporting = false;

void OnMalloc(const volatile void*, size_t bytes) {
  if (bytes <= g_allowed || g_reporting) return;
  g_reporting = true;
  std::fprintf(stderr,
               "pxfuzz: %s: an allocation of %zu bytes, above the %zu bytes the input allows\n",
               g_target->name, bytes, g_allowed);
  __sanitizer_print_stack_trace();
  std::abort();
}

void OnFree(const volatile void*) {}

}  // namespace

// Fontconfig keeps the font patterns it makes for the life of the process, referenced in
// ways the leak checker cannot follow; text in a metafile makes it report them. Debian
// 12's dav1d (1.0.0, under libheif 1.15) loses a few hundred bytes of its own on some
// damaged AV1 data: outside this project, and no more than that per file.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdav1d.so\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
#ifdef PXFUZZ_IMAGE_OBJECT
  g_target = &pxfuzz::kImageObjectTarget;
#else
  g_target = pxfuzz::FindTarget(PXFUZZ_TARGET);
#endif
  if (!g_target) {
    std::fprintf(stderr, "pxfuzz: no target named %s\n", PXFUZZ_TARGET);
    std::abort();
  }
  __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint64_t allowed = uint64_t(size) * g_target->bytesPerInputByte;
  g_allowed = size_t(std::max(allowed, g_target->floorBytes));
  pxfuzz::Problem problem = g_target->run(data, size);
  g_allowed = SIZE_MAX;
  if (problem) {
    std::fprintf(stderr, "pxfuzz: %s: %s (error %d)\n", g_target->name, problem, PXGetLastError());
    std::abort();
  }
  return 0;
}
