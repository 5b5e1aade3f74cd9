// Shared helpers of the tests: temporary folders, fixture bytes, the sample corpus and
// reference images.
#ifndef PAGEWEAVER_TESTS_SUPPORT_H
#define PAGEWEAVER_TESTS_SUPPORT_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pixolith/px_core.h"

namespace pxtest {

namespace fs = std::filesystem;

// A folder that exists for the life of the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

// Builds binary fixtures field by field.
class Bytes {
 public:
  Bytes& u8(uint32_t v);
  Bytes& le16(uint32_t v);
  Bytes& le32(uint32_t v);
  Bytes& be16(uint32_t v);
  Bytes& be32(uint32_t v);
  Bytes& str(const std::string& s);  // the characters, no terminator
  Bytes& raw(const std::vector<uint8_t>& b);
  Bytes& fill(size_t n, uint8_t v = 0);
  // Overwrites a little-endian 32-bit field written earlier.
  Bytes& patchLE32(size_t offset, uint32_t v);

  size_t size() const { return data_.size(); }
  const std::vector<uint8_t>& data() const { return data_; }
  operator const std::vector<uint8_t>&() const { return data_; }

 private:
  std::vector<uint8_t> data_;
};

// An EXIF block holding only an orientation, as cameras and phones write it: "Exif" 00 00
// first when `app1` (a JPEG's APP1 segment; a WebP chunk has no such header).
std::vector<uint8_t> ExifOrientation(uint16_t orientation, bool app1 = true,
                                     bool bigEndian = false);
// The same as a JPEG APP1 segment's data.
std::string ExifSegment(uint16_t orientation, bool bigEndian = false);

void WriteFile(const std::string& path, const std::vector<uint8_t>& data);
std::vector<uint8_t> ReadFile(const std::string& path);

// A memory source over a byte vector, closed with the object.
class MemorySource {
 public:
  explicit MemorySource(const std::vector<uint8_t>& data);
  ~MemorySource();
  MemorySource(const MemorySource&) = delete;
  MemorySource& operator=(const MemorySource&) = delete;
  PXSource get() const { return source_; }
  operator PXSource() const { return source_; }

 private:
  PXSource source_;
};

// Frees a global block at the end of a scope.
struct BlockGuard {
  explicit BlockGuard(void* p = nullptr) : block(p) {}
  ~BlockGuard() { GlobalFree(block); }
  BlockGuard(const BlockGuard&) = delete;
  BlockGuard& operator=(const BlockGuard&) = delete;
  void reset(void* p) {
    GlobalFree(block);
    block = p;
  }
  uint8_t* bytes() const { return static_cast<uint8_t*>(block); }
  void* block;
};

// The project's source folder (for tests/data and samples).
fs::path SourceDir();
fs::path TestDataDir();

// The shared corpus of real image files, or an empty path when it is not there.
// PAGEWEAVER_CORPUS overrides the default place beside the project (../shared/corpus).
fs::path CorpusDir();

#define PXTEST_REQUIRE_CORPUS()                                                          \
  do {                                                                                   \
    if (::pxtest::CorpusDir().empty())                                                   \
      GTEST_SKIP() << "sample corpus not found (../shared/corpus or PAGEWEAVER_CORPUS)"; \
  } while (0)

struct CorpusEntry {
  std::string path;  // relative to files/
  std::string sha1;
  std::string format;  // the reference decoder's verdict, empty when it refused
  std::string mode;
  std::string error;  // why the reference decoder refused the file, or empty
  std::string ref;    // reference PNG under ref/, or empty
  std::string refMode;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t frames = 0;
  double dpiX = 0;
  double dpiY = 0;
};

// Every entry of the corpus manifest, sorted by path; empty without the corpus.
std::vector<CorpusEntry> LoadCorpusManifest();

// An 8-bit RGB or RGBA image read from a PNG with libpng.
struct RefImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t channels = 0;  // 3 or 4
  std::vector<uint8_t> pixels;
};
bool ReadReferencePNG(const std::string& path, RefImage* out);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_SUPPORT_H
