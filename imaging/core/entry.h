// The way into every public reader function: the operation frame, the checks of the
// source and the output pointers, and the guard that keeps exceptions from escaping.
#ifndef PIXOLITH_CORE_ENTRY_H
#define PIXOLITH_CORE_ENTRY_H

#include <initializer_list>
#include <new>

#include "core/io.h"
#include "core/operation.h"

namespace px {

// Runs body() and returns its result. An allocation failure inside becomes PX_ERR_NO_MEMORY
// and any other exception its code (PX_ERR_UNEXPECTED when it has none), and `failed` is
// returned, so that nothing escapes to the caller.
template <typename Result, typename Body>
Result RunGuarded(Operation& op, Result failed, Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    op.SetError(PX_ERR_NO_MEMORY);
  } catch (const PXException& e) {
    op.SetError(e.code());
  } catch (...) {
    op.SetError(PX_ERR_UNEXPECTED);
  }
  return failed;
}

// The frame of a public reader function. Opens the operation, checks the source (null ->
// PX_ERR_PARAMETER, not a live handle -> PX_ERR_INVALID_HANDLE) and then each pointer in
// `required` (null -> PX_ERR_PARAMETER), and runs
// body(op, io) guarded as above, over a CPXIO on the source. Returns `failed` when a
// check fails; the thread's last error is the operation's when it ends.
template <typename Result, typename Body>
Result RunEntry(PXSource source, Result failed, std::initializer_list<const void*> required,
                Body&& body) {
  Operation op;
  if (!op) return failed;
  if (!op.CheckHandle(source)) return failed;
  for (const void* pointer : required)
    if (!op.CheckPointer(pointer)) return failed;
  CPXIO io(source);
  return RunGuarded<Result>(op, failed, [&] { return body(op, io); });
}

// RunEntry for the read functions: the width and height outputs are required, and the
// result is the image block or null.
template <typename Body>
BYTE* RunReader(PXSource source, uint32_t* width, uint32_t* height, Body&& body) {
  return RunEntry<BYTE*>(source, nullptr, {width, height}, body);
}

// Records `code` as the calling thread's last error, for a call refused before it looks at
// its source.
inline void RefuseCall(int code) {
  Operation op;
  if (op) op.SetError(code);
}

}  // namespace px

#endif  // PIXOLITH_CORE_ENTRY_H
