// The frame every public PX function runs in, and the small helpers shared by the
// readers, writers and processing functions.
#ifndef PIXOLITH_CORE_OPERATION_H
#define PIXOLITH_CORE_OPERATION_H

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "core/thread_state.h"
#include "pixolith/px_core.h"

namespace px {

// One library operation on the calling thread. While it lives the thread's nesting
// depth is one higher, so that only the outermost operation reports progress; when it
// ends its error (0 on success) becomes the thread's last error.
//
//   Operation op;
//   if (!op) return nullptr;                      // no per-thread state: nothing recorded
//   if (!op.CheckHandle(source)) return nullptr;  // null or not a live handle
//   ...
//   if (!op.Progress(row, height)) break;         // PX_ERR_ABORTED is recorded
class Operation {
 public:
  Operation() noexcept;
  ~Operation();
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  explicit operator bool() const { return state_ != nullptr; }
  PXThreadState& state() const { return *state_; }

  int error() const { return error_; }
  void SetError(int code) { error_ = code; }
  // Records the code and returns false, for `return op.Fail(PX_ERR_BAD_BMP);` in BOOL
  // functions.
  bool Fail(int code) {
    error_ = code;
    return false;
  }

  // Reports progress when this is the outermost operation and a callback is set.
  // Returns false, with PX_ERR_ABORTED recorded, when the callback asks to stop.
  bool Progress(uint32_t current, uint32_t total);
  // True when a report would reach a callback; lets loops skip work for nothing.
  bool Reporting() const;

  // Argument checks of the common frame: null -> PX_ERR_PARAMETER, not a live handle ->
  // PX_ERR_INVALID_HANDLE.
  bool CheckHandle(const PXHandle* handle);
  bool CheckPointer(const void* pointer) { return pointer ? true : Fail(PX_ERR_PARAMETER); }

 private:
  PXThreadState* state_;
  int error_ = 0;
};

}  // namespace px

// The library's exception: codec error routines throw it, entry points catch it and
// turn it into their error code. It never crosses a public function.
class PXException : public std::exception {
 public:
  PXException(int code, std::string text) : code_(code), text_(std::move(text)) {}
  int code() const { return code_; }
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  int code_;
  std::string text_;
};

namespace px {

// Diagnostic texts of the readers and writers ("PXLib PNG Error : %s\n", ...). They go
// to a hook that discards them; they never change a result. A developer chasing why a
// file was refused can install a hook that prints them (tests do, to check the texts).
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
using TraceHook = void (*)(const char* text);
// Installs a process-wide hook (null restores the discarding one); returns the old one.
TraceHook SetTraceHook(TraceHook hook);

// Allocates a zero-filled image block of `bytes`, or returns null (the caller records
// PX_ERR_NO_MEMORY). Blocks are released with GlobalFree.
inline void* AllocBlock(size_t bytes) {
  return GlobalAlloc(GPTR, bytes);
}

// Overflow-checked size arithmetic: false when the result does not fit.
inline bool MulSize(size_t a, size_t b, size_t* out) {
  return !__builtin_mul_overflow(a, b, out);
}
inline bool AddSize(size_t a, size_t b, size_t* out) {
  return !__builtin_add_overflow(a, b, out);
}
// rows * rowBytes + extra, or false when it overflows or exceeds the largest block.
bool BlockSize(size_t rows, size_t rowBytes, size_t extra, size_t* out);

// Zero-filled image blocks for a function that hands them to its caller: freed unless
// Release() is called.
class Block {
 public:
  Block() = default;
  explicit Block(size_t bytes) : data_(static_cast<uint8_t*>(AllocBlock(bytes))) {}
  ~Block() { GlobalFree(data_); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  Block(Block&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }
  Block& operator=(Block&& other) noexcept {
    if (this != &other) {
      GlobalFree(data_);
      data_ = other.data_;
      other.data_ = nullptr;
    }
    return *this;
  }

  uint8_t* get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }
  uint8_t* Release() {
    uint8_t* d = data_;
    data_ = nullptr;
    return d;
  }

 private:
  uint8_t* data_ = nullptr;
};

}  // namespace px

#endif  // PIXOLITH_CORE_OPERATION_H
