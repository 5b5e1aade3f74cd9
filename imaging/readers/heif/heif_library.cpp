#include "readers/heif/heif_library.h"

#include <dlfcn.h>

namespace pxheif {

namespace {

// The library's major version is in its file name; a newer major version may change calls.
static_assert(LIBHEIF_NUMERIC_VERSION >> 24 == 1, "libheif's file name has changed");
constexpr const char* kLibheifFile = "libheif.so.1";

bool Load(Libheif& lib) {
  // Kept loaded for the life of the process: decoded images and contexts may outlive
  // any one reader.
  void* handle = dlopen(kLibheifFile, RTLD_NOW | RTLD_LOCAL);
  if (!handle) return false;
  bool complete = true;
#define PXHEIF_LOOKUP(name)                                              \
  lib.name = reinterpret_cast<decltype(lib.name)>(dlsym(handle, #name)); \
  complete = complete && lib.name;
  PXHEIF_CALLS(PXHEIF_LOOKUP)
#undef PXHEIF_LOOKUP
  if (!complete) return false;
  // Registers the codecs built into the library.
  lib.heif_init(nullptr);
  return true;
}

}  // namespace

const Libheif* LoadLibheif() {
  static const Libheif* const loaded = [] {
    static Libheif lib;
    return Load(lib) ? &lib : nullptr;
  }();
  return loaded;
}

}  // namespace pxheif
