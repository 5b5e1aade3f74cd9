// Global memory blocks: zero-filled heap blocks that remember their size, owned by
// whoever receives them.
#include <cstdlib>
#include <cstring>

#include "pixolith/platform.h"

namespace {

// The size is kept in front of the block; 16 bytes keep the block itself aligned for
// any pixel type.
constexpr size_t kHeader = 16;

unsigned char* HeaderOf(HGLOBAL block) {
  return static_cast<unsigned char*>(block) - kHeader;
}

}  // namespace

extern "C" HGLOBAL GlobalAlloc(UINT /*flags*/, SIZE_T bytes) {
  if (bytes > PX_MAX_GLOBAL_BLOCK) return nullptr;
  // calloc gets fresh pages from the kernel for large blocks, so zero-filling a page
  // buffer costs nothing until it is touched.
  auto* raw = static_cast<unsigned char*>(std::calloc(1, kHeader + bytes));
  if (!raw) return nullptr;
  std::memcpy(raw, &bytes, sizeof bytes);
  return raw + kHeader;
}

extern "C" HGLOBAL GlobalFree(HGLOBAL block) {
  if (block) std::free(HeaderOf(block));
  return nullptr;
}

extern "C" SIZE_T GlobalSize(HGLOBAL block) {
  if (!block) return 0;
  SIZE_T bytes;
  std::memcpy(&bytes, HeaderOf(block), sizeof bytes);
  return bytes;
}

extern "C" void* GlobalLock(HGLOBAL block) {
  return block;
}

extern "C" BOOL GlobalUnlock(HGLOBAL) {
  return FALSE;
}
