// Sources and sinks: the handle record and CPXIO, the accessor through which every
// reader and writer reads, writes, seeks and asks position and size.
#ifndef PIXOLITH_CORE_IO_H
#define PIXOLITH_CORE_IO_H

#include <cstdint>
#include <cstdio>

struct stat;

#include "pixolith/px_core.h"

namespace px {

struct SinkFile;
struct SourceFile;

constexpr uint32_t kHandleMagic1 = 0x07475590u;
constexpr uint32_t kHandleMagic2 = 0x12345678u;
constexpr uint32_t kHandleFile = 1;
constexpr uint32_t kHandleMemory = 2;
constexpr size_t kMaxPath = 260;

}  // namespace px

struct PXHandle {
  uint32_t magic1;
  FILE* stream;
  uint32_t kind;
  const uint8_t* memData;
  uint32_t memSize;
  uint32_t position;
  uint32_t highWater;
  char path[px::kMaxPath];
  uint8_t writable;
  uint8_t append;
  // Writable files: the sink's own position, size and write buffer. Copies of the record
  // share it, as they share the stream.
  px::SinkFile* sinkFile;
  // Readable files: the source's descriptor, position and read block (no stream).
  px::SourceFile* sourceFile;
  uint32_t magic2;
};

namespace px {

// The validity test: the pointer is an open handle of this process (it is looked up in
// the registry of open handles before its record is read), with the right kind, both
// magics and a stream or block.
bool IsValidHandle(const PXHandle* handle);

}  // namespace px

class CPXIO {
 public:
  explicit CPXIO(PXHandle* handle = nullptr) : handle_(handle) {}
  // Copies share the handle; nothing derives from the accessor, so nothing is virtual.
  CPXIO(const CPXIO& other) = default;
  CPXIO& operator=(const CPXIO& other) = default;

  PXHandle* handle() const { return handle_; }
  bool IsValid() const { return px::IsValidHandle(handle_); }

  // Bytes read, at most n.
  size_t Read(void* buffer, size_t n);
  bool ReadExactly(void* buffer, size_t n) { return Read(buffer, n) == n; }
  // origin: 0 from the start, 1 from the current position, 2 from the end.
  bool Seek(int64_t offset, int origin);
  bool Rewind() { return Seek(0, PX_SEEK_SET); }
  bool Tell(uint64_t* position);
  bool Size(uint64_t* size);
  // The file's status, for file sources; false for others.
  bool Stat(struct stat* st);
  bool Write(const void* buffer, size_t elementSize, size_t count);
  // Pushes buffered writes to the file; false when the system refused them (disk full).
  bool Flush();
  bool IsWritable() const { return handle_ && handle_->writable; }
  // The path the handle was opened with (empty for memory sources).
  const char* Path() const { return handle_ ? handle_->path : ""; }

  // Little conveniences for readers; all false on a short read.
  bool ReadU8(uint8_t* v) { return ReadExactly(v, 1); }
  bool ReadLE16(uint16_t* v);
  bool ReadLE32(uint32_t* v);
  bool ReadBE16(uint16_t* v);
  bool ReadBE32(uint32_t* v);
  // Bytes left between the current position and the end, 0 when unknown.
  uint64_t Remaining();

 private:
  PXHandle* handle_;
};

namespace px {

// Little-endian and big-endian field access for headers read into byte arrays.
inline uint16_t LE16(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t BE16(const uint8_t* p) {
  return uint16_t((p[0] << 8) | p[1]);
}
inline uint32_t BE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

}  // namespace px

#endif  // PIXOLITH_CORE_IO_H
