// Sources and sinks over files and memory blocks.
#include "core/io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "core/operation.h"

namespace px {

// Up to `n` bytes at `at` of the file `fd`; fewer at its end or on an error. With `once`,
// a short read is taken as it is (a regular file's reads are short only at its end).
static size_t ReadAt(int fd, uint8_t* p, size_t n, uint64_t at, bool once = false) {
  size_t got = 0;
  while (got < n) {
    const ssize_t r = pread(fd, p + got, n - got, off_t(at + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += size_t(r);
    if (once) break;
  }
  return got;
}

// A file sink's writes are gathered here while they follow one another and go out in one
// system call; seeks only move the position. A stdio update stream flushed its buffer at
// every seek and read back the block it landed in: libtiff seeks back to link every page
// it writes, which cost a dozen system calls a page. All file access is positioned
// (pread, pwrite), so the descriptor's own offset does not matter.
struct SinkFile {
  static constexpr size_t kGather = size_t(1) << 20;
  // Gaps and writes back this small are taken into or beside what is gathered.
  static constexpr uint64_t kGap = 4096;
  // Writes this large are not copied into the buffer.
  static constexpr size_t kDirect = 16384;

  int fd = -1;
  uint64_t position = 0;
  uint64_t end = 0;  // the file's size, gathered bytes included
  uint64_t gatheredAt = 0;
  std::vector<uint8_t> gathered;
  // A write failed. Flush reports it from then on, as a stream's error indicator does,
  // while later writes are still made (a writer ending a chain it could not complete).
  bool failed = false;

  bool WriteOut(const uint8_t* p, size_t n, uint64_t at) {
    while (n) {
      const ssize_t w = pwrite(fd, p, n, off_t(at));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return failed = true, false;
      p += w;
      n -= size_t(w);
      at += uint64_t(w);
    }
    return true;
  }

  // Writes `na` bytes at `a` and then `nb` at `b` from file offset `at`, in one call where
  // the system takes it all.
  bool WriteOutTwo(const uint8_t* a, size_t na, const uint8_t* b, size_t nb, uint64_t at) {
    iovec parts[2] = {{const_cast<uint8_t*>(a), na}, {const_cast<uint8_t*>(b), nb}};
    ssize_t w;
    do {
      w = pwritev(fd, parts, 2, off_t(at));
    } while (w < 0 && errno == EINTR);
    if (w < 0) return failed = true, false;
    const size_t done = size_t(w);
    const bool written = done >= na || WriteOut(a + done, na - done, at + done);
    const size_t sent = done > na ? done - na : 0;
    return written && WriteOut(b + sent, nb - sent, at + na + sent);
  }

  // What is gathered, then `n` bytes at `p` right after it.
  bool WriteOutAfterGathered(const uint8_t* p, size_t n) {
    const bool written = WriteOutTwo(gathered.data(), gathered.size(), p, n, gatheredAt);
    gathered.clear();
    return written;
  }

  // `n` bytes at `p` at the position, right before what is gathered, then that.
  bool WriteOutBeforeGathered(const uint8_t* p, size_t n) {
    const bool written = WriteOutTwo(p, n, gathered.data(), gathered.size(), position);
    gathered.clear();
    return written;
  }

  // Writes out what is gathered: false when that write fails.
  bool WriteGathered() {
    if (gathered.empty()) return true;
    const bool written = WriteOut(gathered.data(), gathered.size(), gatheredAt);
    gathered.clear();
    return written;
  }

  bool Flush() { return WriteGathered() && !failed; }

  bool Write(const uint8_t* p, size_t n) {
    const uint64_t gatheredEnd = gatheredAt + gathered.size();
    const bool overlaps = !gathered.empty() && position < gatheredEnd && position + n > gatheredAt;
    if (!gathered.empty() && position >= gatheredAt && position + n <= gatheredEnd) {
      // Within what is gathered (a directory written before the values it points to).
      std::memcpy(gathered.data() + (position - gatheredAt), p, n);
    } else if (n >= kDirect && !gathered.empty() && position == gatheredEnd) {
      // A large block after what is gathered (a page's strips) goes out with it in one
      // call, without being copied into the buffer first.
      if (!WriteOutAfterGathered(p, n)) return false;
    } else if (!gathered.empty() && position + n == gatheredAt) {
      // A block that ends where what is gathered begins (a page's strips under the
      // directory written first) goes out with it in one call.
      if (!WriteOutBeforeGathered(p, n)) return false;
    } else if (!gathered.empty() && gatheredEnd == end && position >= gatheredEnd &&
               position - gatheredEnd <= kGap &&
               gathered.size() + (position - gatheredEnd) + n <= kGather) {
      // At or just past the end of the file: what lies between is a hole, read as zeros.
      gathered.resize(size_t(position - gatheredAt), 0);
      gathered.insert(gathered.end(), p, p + n);
    } else if (!gathered.empty() && !overlaps && n <= kGap && position + n <= end) {
      // A few bytes back in what is written already (the link to a new directory): the
      // gathered bytes can wait.
      if (!WriteOut(p, n, position)) return false;
    } else {
      if (!WriteGathered()) return false;
      if (n >= kDirect) {
        if (!WriteOut(p, n, position)) return false;
      } else {
        gatheredAt = position;
        gathered.assign(p, p + n);
      }
    }
    position += n;
    end = std::max(end, position);
    return true;
  }

  size_t Read(uint8_t* p, size_t n) {
    if (!gathered.empty() && position < gatheredAt + gathered.size() && position + n > gatheredAt)
      WriteGathered();
    const size_t got = ReadAt(fd, p, n, position);
    position += got;
    return got;
  }
};

// A file source's reads: positioned, through blocks of its own, so that a seek only
// moves the position. A stdio stream called lseek and dropped its buffer at every seek,
// and readers seek all the time: a TIFF's directory lies at its end, and the start of a
// file is read again by every format's detection, so its first block is kept apart.
// Reads as large as a block go straight into the caller's memory; the block grows while
// reads run on from one block into the next.
struct SourceFile {
  static constexpr size_t kFirstBlock = 4096;
  static constexpr size_t kLargestBlock = 65536;

  int fd = -1;
  uint64_t position = 0;
  std::unique_ptr<uint8_t[]> head;  // the file's first block, once read
  size_t headBytes = 0;
  std::unique_ptr<uint8_t[]> block;
  size_t capacity = 0;
  uint64_t blockAt = 0;
  size_t blockBytes = 0;
  size_t nextBlock = kFirstBlock;

  ~SourceFile() {
    if (fd >= 0) close(fd);
  }

  // Copies what `bytes` (`count` of them from file offset `from`) hold at the position.
  bool Take(const uint8_t* bytes, uint64_t from, size_t count, uint8_t* p, size_t n, size_t* got) {
    if (position < from || position - from >= count) return false;
    const size_t k = std::min<uint64_t>(n - *got, from + count - position);
    std::memcpy(p + *got, bytes + (position - from), k);
    *got += k;
    position += k;
    return true;
  }

  size_t Read(uint8_t* p, size_t n) {
    size_t got = 0;
    while (got < n) {
      if (Take(head.get(), 0, headBytes, p, n, &got) ||
          Take(block.get(), blockAt, blockBytes, p, n, &got))
        continue;
      if (position > uint64_t(INT64_MAX) - n) break;
      if (n - got >= nextBlock) {
        const size_t r = ReadAt(fd, p + got, n - got, position);
        got += r;
        position += r;
        break;
      }
      if (position == 0 && !head) {
        head = std::make_unique_for_overwrite<uint8_t[]>(kFirstBlock);
        headBytes = ReadAt(fd, head.get(), kFirstBlock, 0, true);
        if (!headBytes) break;
        continue;
      }
      if ((blockBytes && position == blockAt + blockBytes) || (headBytes && position == headBytes))
        nextBlock = std::min(nextBlock * 2, kLargestBlock);
      if (capacity < nextBlock) {
        block = std::make_unique_for_overwrite<uint8_t[]>(nextBlock);
        capacity = nextBlock;
      }
      blockAt = position;
      blockBytes = ReadAt(fd, block.get(), nextBlock, position, true);
      if (!blockBytes) break;
    }
    return got;
  }
};

}  // namespace px

namespace {

// Open handles of the process. A pointer is looked up here before its record is read,
// so a closed or made-up handle is refused without touching memory that may be gone.
std::mutex g_handlesMutex;
std::unordered_set<const PXHandle*>& OpenHandles() {
  static auto* handles = new std::unordered_set<const PXHandle*>();
  return *handles;
}

void Register(const PXHandle* h) {
  std::lock_guard<std::mutex> lock(g_handlesMutex);
  OpenHandles().insert(h);
}

void Unregister(const PXHandle* h) {
  std::lock_guard<std::mutex> lock(g_handlesMutex);
  OpenHandles().erase(h);
}

PXHandle* NewHandle(const char* path) {
  auto* h = static_cast<PXHandle*>(px::AllocBlock(sizeof(PXHandle)));
  if (h && path) std::strncpy(h->path, path, px::kMaxPath - 1);
  return h;
}

// A file opened for update and emptied, as fopen's "wb+" does, except that a file that
// is empty already (a temporary file just made) is not truncated: ext4 takes a truncation
// to zero for a file being rewritten in place and writes the whole file out when it is
// closed, which cost a tenth of a fax run's time.
FILE* OpenEmptied(const char* path) {
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || (st.st_size != 0 && ftruncate(fd, 0) != 0)) {
    close(fd);
    return nullptr;
  }
  FILE* stream = fdopen(fd, "wb+");
  if (!stream) close(fd);
  return stream;
}

void Seal(PXHandle* h) {
  h->magic1 = px::kHandleMagic1;
  h->magic2 = px::kHandleMagic2;
  Register(h);
}

void Destroy(PXHandle* h) {
  Unregister(h);
  if (h->sinkFile) {
    h->sinkFile->Flush();
    delete h->sinkFile;
  }
  delete h->sourceFile;
  if (h->kind == px::kHandleFile && h->stream) std::fclose(h->stream);
  h->magic1 = 0;
  h->magic2 = 0;
  GlobalFree(h);
}

}  // namespace

namespace px {

bool IsValidHandle(const PXHandle* h) {
  if (!h) return false;
  {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    if (!OpenHandles().count(h)) return false;
  }
  if (h->kind != kHandleFile && h->kind != kHandleMemory) return false;
  if (h->magic1 != kHandleMagic1 || h->magic2 != kHandleMagic2) return false;
  if (h->kind == kHandleFile) return h->stream != nullptr || h->sourceFile != nullptr;
  return h->memData != nullptr && h->memSize != 0;
}

// The frame's handle check lives beside the registry it asks, so that the frame itself
// needs nothing of sources and sinks.
bool Operation::CheckHandle(const PXHandle* handle) {
  if (!handle) return Fail(PX_ERR_PARAMETER);
  if (!IsValidHandle(handle)) return Fail(PX_ERR_INVALID_HANDLE);
  return true;
}

}  // namespace px

/* ---- CPXIO ------------------------------------------------------------------------------ */

size_t CPXIO::Read(void* buffer, size_t n) {
  PXHandle* h = handle_;
  if (!h || !buffer || !n) return 0;
  if (h->sinkFile) return h->sinkFile->Read(static_cast<uint8_t*>(buffer), n);
  if (h->sourceFile) return h->sourceFile->Read(static_cast<uint8_t*>(buffer), n);
  if (h->kind == px::kHandleFile) return 0;
  uint32_t end = h->writable ? h->highWater : h->memSize;
  if (h->position >= end) return 0;
  size_t count = std::min<size_t>(n, end - h->position);
  std::memcpy(buffer, h->memData + h->position, count);
  h->position += uint32_t(count);
  return count;
}

bool CPXIO::Seek(int64_t offset, int origin) {
  PXHandle* h = handle_;
  if (!h) return false;
  if (origin < 0 || origin > 2) return false;
  if (px::SinkFile* f = h->sinkFile) {
    const uint64_t base = origin == PX_SEEK_SET ? 0 : origin == PX_SEEK_CUR ? f->position : f->end;
    if (offset < 0 && uint64_t(-offset) > base) return false;
    // Beyond what a file offset can address (pread and pwrite take a signed one).
    if (offset > 0 && uint64_t(offset) > uint64_t(INT64_MAX) - base) return false;
    f->position = base + uint64_t(offset);
    return true;
  }
  if (px::SourceFile* f = h->sourceFile) {
    uint64_t base = origin == PX_SEEK_SET ? 0 : f->position;
    if (origin == PX_SEEK_END && !Size(&base)) return false;
    if (offset < 0 && uint64_t(-offset) > base) return false;
    if (offset > 0 && uint64_t(offset) > uint64_t(INT64_MAX) - base) return false;
    f->position = base + uint64_t(offset);
    return true;
  }
  if (h->kind == px::kHandleFile) return false;
  // A memory position lies inside the block: 0 <= p < size, except that seeking from
  // the end by 0 lands exactly at the end.
  int64_t size = h->memSize;
  int64_t p;
  switch (origin) {
    case PX_SEEK_SET:
      p = offset;
      if (p < 0 || p >= size) return false;
      break;
    case PX_SEEK_CUR:
      p = int64_t(h->position) + offset;
      if (p < 0 || p >= size) return false;
      break;
    case PX_SEEK_END:
      if (offset > 0 || size + offset < 0) return false;
      p = size + offset;
      break;
    default:
      return false;
  }
  h->position = uint32_t(p);
  if (h->writable && h->position > h->highWater) h->highWater = h->position;
  return true;
}

bool CPXIO::Tell(uint64_t* position) {
  PXHandle* h = handle_;
  if (!h || !position) return false;
  if (h->sinkFile) {
    *position = h->sinkFile->position;
    return true;
  }
  if (h->sourceFile) {
    *position = h->sourceFile->position;
    return true;
  }
  if (h->kind == px::kHandleFile) return false;
  *position = h->position;
  return true;
}

bool CPXIO::Size(uint64_t* size) {
  PXHandle* h = handle_;
  if (!h || !size) return false;
  if (h->sinkFile) {
    *size = h->sinkFile->end;
    return true;
  }
  if (h->sourceFile) {
    struct stat st;
    if (fstat(h->sourceFile->fd, &st) != 0) return false;
    *size = uint64_t(st.st_size);
    return true;
  }
  if (h->kind == px::kHandleFile) return false;
  *size = h->writable ? h->highWater : h->memSize;
  return true;
}

bool CPXIO::Stat(struct stat* st) {
  return handle_ && handle_->sourceFile && st && fstat(handle_->sourceFile->fd, st) == 0;
}

bool CPXIO::Write(const void* buffer, size_t elementSize, size_t count) {
  PXHandle* h = handle_;
  if (!h || !h->writable || !buffer) return false;
  if (h->kind == px::kHandleFile) {
    size_t bytes;
    if (!h->sinkFile || !px::MulSize(elementSize, count, &bytes)) return false;
    return h->sinkFile->Write(static_cast<const uint8_t*>(buffer), bytes);
  }
  size_t bytes;
  if (!px::MulSize(elementSize, count, &bytes)) return false;
  if (uint64_t(h->position) + bytes > h->memSize) return false;
  // Memory handles are never writable through the public functions; the block belongs
  // to the caller and is written in place.
  std::memcpy(const_cast<uint8_t*>(h->memData) + h->position, buffer, bytes);
  h->position += uint32_t(bytes);
  if (h->position > h->highWater) h->highWater = h->position;
  return true;
}

bool CPXIO::Flush() {
  PXHandle* h = handle_;
  if (!h || !h->writable) return false;
  if (h->kind != px::kHandleFile) return true;
  return h->sinkFile && h->sinkFile->Flush();
}

bool CPXIO::ReadLE16(uint16_t* v) {
  uint8_t b[2];
  if (!ReadExactly(b, 2)) return false;
  *v = px::LE16(b);
  return true;
}

bool CPXIO::ReadLE32(uint32_t* v) {
  uint8_t b[4];
  if (!ReadExactly(b, 4)) return false;
  *v = px::LE32(b);
  return true;
}

bool CPXIO::ReadBE16(uint16_t* v) {
  uint8_t b[2];
  if (!ReadExactly(b, 2)) return false;
  *v = px::BE16(b);
  return true;
}

bool CPXIO::ReadBE32(uint32_t* v) {
  uint8_t b[4];
  if (!ReadExactly(b, 4)) return false;
  *v = px::BE32(b);
  return true;
}

uint64_t CPXIO::Remaining() {
  uint64_t position, size;
  if (!Tell(&position) || !Size(&size) || position >= size) return 0;
  return size - position;
}

/* ---- Public functions ------------------------------------------------------------------- */

extern "C" PXSource PXOpenFileSource(const char* path) {
  px::Operation op;
  if (!op) return nullptr;
  PXHandle* h = NewHandle(path);
  if (!h) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  const int fd = path && *path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) {
    GlobalFree(h);
    return op.SetError(PX_ERR_FILE_OPEN), nullptr;
  }
  h->sourceFile = new (std::nothrow) px::SourceFile();
  if (!h->sourceFile) {
    close(fd);
    GlobalFree(h);
    return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  }
  h->sourceFile->fd = fd;
  h->kind = px::kHandleFile;
  Seal(h);
  return h;
}

extern "C" PXSource PXOpenMemorySource(const void* data, uint32_t size) {
  px::Operation op;
  if (!op) return nullptr;
  PXHandle* h = NewHandle(nullptr);
  if (!h) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  if (!data || size == 0) {
    GlobalFree(h);
    return op.SetError(PX_ERR_PARAMETER), nullptr;
  }
  h->kind = px::kHandleMemory;
  h->memData = static_cast<const uint8_t*>(data);
  h->memSize = size;
  Seal(h);
  return h;
}

extern "C" BOOL PXSeekSource(PXSource source, long offset, int origin) {
  px::Operation op;
  if (!op) return FALSE;
  if (!op.CheckHandle(source)) return FALSE;
  return CPXIO(source).Seek(offset, origin);
}

extern "C" uint32_t PXCloseSource(PXSource source) {
  px::Operation op;
  if (!op) return 0;
  if (!op.CheckHandle(source)) return 0;
  uint64_t position = 0;
  CPXIO(source).Tell(&position);
  Destroy(source);
  return uint32_t(position);
}

extern "C" PXSink PXOpenFileSink(const char* path, BOOL append) {
  px::Operation op;
  if (!op) return nullptr;
  PXHandle* h = NewHandle(path);
  if (!h) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  if (path && *path) {
    if (append) {
      struct stat st;
      if (stat(path, &st) != 0) {
        if (FILE* created = std::fopen(path, "w")) std::fclose(created);
      }
      h->stream = std::fopen(path, "rb+");
    } else {
      h->stream = OpenEmptied(path);
    }
  }
  if (!h->stream) {
    GlobalFree(h);
    return op.SetError(PX_ERR_FILE_OPEN), nullptr;
  }
  struct stat st;
  if (fstat(fileno(h->stream), &st) != 0) {
    std::fclose(h->stream);
    GlobalFree(h);
    return op.SetError(PX_ERR_FILE_OPEN), nullptr;
  }
  h->sinkFile = new (std::nothrow) px::SinkFile();
  if (!h->sinkFile) {
    std::fclose(h->stream);
    GlobalFree(h);
    return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  }
  h->sinkFile->fd = fileno(h->stream);
  h->sinkFile->end = uint64_t(st.st_size);
  h->kind = px::kHandleFile;
  h->writable = 1;
  h->append = append ? 1 : 0;
  Seal(h);
  return h;
}

extern "C" uint32_t PXCloseSink(PXSink sink) {
  px::Operation op;
  if (!op) return 0;
  if (!op.CheckHandle(sink)) return 0;
  uint64_t size = 0;
  CPXIO(sink).Size(&size);
  Destroy(sink);
  return uint32_t(size);
}
