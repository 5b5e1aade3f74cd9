// libpng glue shared by the PNG reader and writer: the error and warning handlers and
// the guarded call that catches libpng's error path.
#ifndef PIXOLITH_CODECS_PNG_SUPPORT_H
#define PIXOLITH_CODECS_PNG_SUPPORT_H

#include <png.h>

#include <csetjmp>
#include <type_traits>

#include "core/entry.h"

namespace px {

// libpng's error handler: traces "PXLib PNG Error : %s\n" and jumps back to the
// PNGGuarded call that is running. Never returns.
[[noreturn]] void PNGError(png_structp png, png_const_charp message);
// libpng's warning handler: traces the text, nothing else.
void PNGWarning(png_structp png, png_const_charp message);

// Runs body() and returns true, or false when libpng reported an error inside it.
//
// libpng's error handler must not return, so it either throws or longjmps. libpng is C
// and the system's build carries no promise of unwind tables, so a C++ exception thrown
// through its frames may terminate the process; a longjmp crosses them safely. The jump
// skips body's own frame, so body must hold no object with a destructor: it works with
// pointers, integers and references to state owned by the caller, which outlives the
// jump and releases everything (libpng structures included) in its destructors. A body
// is a lambda capturing by reference; the static_assert keeps it from capturing owning
// objects by value.
template <class Body>
bool PNGGuarded(png_structp png, const Body& body) {
  static_assert(std::is_trivially_destructible_v<Body>,
                "a body run under libpng's longjmp must not own objects with destructors");
  if (setjmp(png_jmpbuf(png))) return false;
  body();
  return true;
}

// Runs body() guarded as RunGuarded does (a failed allocation records PX_ERR_NO_MEMORY,
// any other exception PX_ERR_UNEXPECTED); the result is then a zero value.
template <class Body>
auto PNGShielded(Operation& op, const Body& body) -> decltype(body()) {
  using Result = decltype(body());
  return RunGuarded<Result>(op, Result{}, body);
}

}  // namespace px

#endif  // PIXOLITH_CODECS_PNG_SUPPORT_H
