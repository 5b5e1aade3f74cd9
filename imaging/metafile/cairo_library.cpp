#include "metafile/cairo_library.h"

#include <dlfcn.h>

#include <string>

#include "core/operation.h"

namespace pxmf {

namespace {

// The library's file name holds the soname of every Cairo 1.x; a new major version would
// have another name and may change calls.
static_assert(CAIRO_VERSION_MAJOR == 1, "libcairo's file name has changed");
constexpr const char* kLibcairoFile = "libcairo.so.2";

struct Loaded {
  Libcairo lib;
  std::string failure;  // why the library cannot be used; empty when it can
};

std::string Load(Libcairo& lib) {
  // Kept loaded for the life of the process: Cairo keeps caches (fonts, patterns) that
  // outlive any one playback.
  void* handle = dlopen(kLibcairoFile, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    return reason ? reason : kLibcairoFile;
  }
  std::string missing;
#define PXCAIRO_LOOKUP(name)                                             \
  lib.name = reinterpret_cast<decltype(lib.name)>(dlsym(handle, #name)); \
  if (!lib.name && missing.empty()) missing = #name;
  PXCAIRO_CALLS(PXCAIRO_LOOKUP)
#undef PXCAIRO_LOOKUP
  if (missing.empty()) return {};
  lib = Libcairo();
  dlclose(handle);
  return std::string(kLibcairoFile) + " has no " + missing;
}

const Loaded& Library() {
  static const Loaded loaded = [] {
    Loaded l;
    l.failure = Load(l.lib);
    return l;
  }();
  return loaded;
}

}  // namespace

const Libcairo* LoadLibcairo() {
  const Loaded& loaded = Library();
  if (loaded.failure.empty()) return &loaded.lib;
  px::Trace("Cairo could not be loaded, so no metafile can be played: %s\n",
            loaded.failure.c_str());
  return nullptr;
}

const Libcairo& Cairo() {
  return Library().lib;
}

}  // namespace pxmf
