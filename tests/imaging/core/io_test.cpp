// Sources and sinks: open, seek, read, write, close and the validity test.
#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>
#include <random>

#include <cstring>
#include <fstream>

#include "core/io.h"
#include "test_support.h"

namespace {

using pxtest::MemorySource;
using pxtest::TempDir;

TEST(MemorySourceTest, SizeZeroOrNullBlockIsError5) {
  static const uint8_t data[1] = {0};
  EXPECT_EQ(PXOpenMemorySource(data, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXOpenMemorySource(nullptr, 10), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(MemorySourceTest, SeekRulesOnATenByteBlock) {
  std::vector<uint8_t> data(10);
  for (int i = 0; i < 10; ++i) data[i] = uint8_t(i);
  MemorySource src(data);
  ASSERT_NE(src.get(), nullptr);
  CPXIO io(src);
  EXPECT_FALSE(PXSeekSource(src, 10, PX_SEEK_SET));  // the end is not a start offset
  EXPECT_TRUE(PXSeekSource(src, 9, PX_SEEK_SET));
  EXPECT_FALSE(PXSeekSource(src, -1, PX_SEEK_SET));
  EXPECT_TRUE(PXSeekSource(src, 0, PX_SEEK_END));
  uint8_t b[4];
  EXPECT_EQ(io.Read(b, 4), 0u);
  EXPECT_FALSE(PXSeekSource(src, -11, PX_SEEK_END));
  EXPECT_FALSE(PXSeekSource(src, 1, PX_SEEK_END));
  EXPECT_TRUE(PXSeekSource(src, -10, PX_SEEK_END));
  EXPECT_TRUE(PXSeekSource(src, 4, PX_SEEK_CUR));
  EXPECT_FALSE(PXSeekSource(src, 6, PX_SEEK_CUR));  // would land on the end
  EXPECT_EQ(io.Read(b, 4), 4u);
  EXPECT_EQ(b[0], 4);
  EXPECT_EQ(io.Read(b, 4), 2u);  // short read at the end
  EXPECT_EQ(b[1], 9);
  EXPECT_FALSE(PXSeekSource(src, 0, 3));  // unknown origin
  EXPECT_EQ(PXGetLastError(), 0);
}

TEST(MemorySourceTest, FailedSeekKeepsThePosition) {
  std::vector<uint8_t> data{1, 2, 3, 4};
  MemorySource src(data);
  CPXIO io(src);
  ASSERT_TRUE(io.Seek(2, PX_SEEK_SET));
  EXPECT_FALSE(io.Seek(5, PX_SEEK_SET));
  uint64_t pos = 0;
  ASSERT_TRUE(io.Tell(&pos));
  EXPECT_EQ(pos, 2u);
  EXPECT_FALSE(io.Write(data.data(), 1, 1));  // sources are not writable
}

TEST(FileSourceTest, CloseReturnsThePosition) {
  TempDir dir;
  std::string path = dir.File("twenty.bin");
  pxtest::WriteFile(path, std::vector<uint8_t>(20, 7));
  PXSource src = PXOpenFileSource(path.c_str());
  ASSERT_NE(src, nullptr);
  EXPECT_EQ(PXGetLastError(), 0);
  CPXIO io(src);
  uint8_t buf[14];
  EXPECT_TRUE(io.ReadExactly(buf, 14));
  uint64_t size = 0;
  EXPECT_TRUE(io.Size(&size));
  EXPECT_EQ(size, 20u);
  EXPECT_STREQ(io.Path(), path.c_str());
  EXPECT_EQ(PXCloseSource(src), 14u);
  EXPECT_EQ(PXGetLastError(), 0);
}

TEST(FileSourceTest, RandomSeeksAndReadsMatchTheFile) {
  TempDir dir;
  const std::string path = dir.File("random.bin");
  std::mt19937 random(5);
  std::vector<uint8_t> file(300000);
  for (uint8_t& b : file) b = uint8_t(random());
  pxtest::WriteFile(path, file);
  PXSource src = PXOpenFileSource(path.c_str());
  ASSERT_NE(src, nullptr);
  CPXIO io(src);
  uint64_t at = 0;
  for (int step = 0; step < 4000 && !HasFatalFailure(); ++step) {
    const uint32_t what = random() % 100;
    if (what < 30) {
      // From each origin, past the end now and then; before the start is refused.
      const int origin = int(random() % 3);
      const int64_t base = origin == PX_SEEK_SET   ? 0
                           : origin == PX_SEEK_CUR ? int64_t(at)
                                                   : int64_t(file.size());
      const int64_t to = int64_t(random() % (file.size() + 9000)) - 4000;
      const bool fine = to >= 0;
      ASSERT_EQ(io.Seek(to - base, origin), fine) << "step " << step;
      if (fine) at = uint64_t(to);
    } else {
      // Bytes one at a time in runs (a block's reads running on into the next), a few,
      // or more than the largest block.
      const size_t n = what < 50 ? 1 : what < 90 ? random() % 9000 : 70000 + random() % 90000;
      const int repeat = what < 50 ? 1 + int(random() % 3000) : 1;
      for (int r = 0; r < repeat; ++r) {
        std::vector<uint8_t> got(n);
        const size_t count = io.Read(got.data(), n);
        const size_t expected = at < file.size() ? std::min<size_t>(n, file.size() - at) : 0;
        ASSERT_EQ(count, expected) << "step " << step;
        ASSERT_TRUE(std::equal(got.begin(), got.begin() + long(count), file.begin() + long(at)))
            << "step " << step;
        at += count;
      }
    }
    uint64_t told = 0;
    ASSERT_TRUE(io.Tell(&told));
    ASSERT_EQ(told, at);
  }
  uint64_t size = 0;
  ASSERT_TRUE(io.Size(&size));
  EXPECT_EQ(size, file.size());
  EXPECT_FALSE(io.Seek(INT64_MAX, PX_SEEK_END));
  EXPECT_EQ(PXCloseSource(src), uint32_t(at));
}

TEST(FileSourceTest, MissingOrEmptyPathIsError2) {
  EXPECT_EQ(PXOpenFileSource("/nonexistent/really/not/here.bmp"), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_OPEN);
  EXPECT_EQ(PXOpenFileSource(""), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_OPEN);
  EXPECT_EQ(PXOpenFileSource(nullptr), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_OPEN);
}

TEST(FileSourceTest, LongPathsAreKeptTo259Characters) {
  std::string longName(400, 'a');
  PXSource src = PXOpenFileSource(longName.c_str());  // cannot exist: PX_ERR_FILE_OPEN
  EXPECT_EQ(src, nullptr);
  TempDir dir;
  std::string path = dir.File(std::string(200, 'b') + ".tga");
  pxtest::WriteFile(path, {1, 2, 3});
  src = PXOpenFileSource(path.c_str());
  ASSERT_NE(src, nullptr);
  EXPECT_EQ(std::strlen(CPXIO(src).Path()), std::min<size_t>(path.size(), 259));
  PXCloseSource(src);
}

TEST(SinkTest, CreateWriteAndSize) {
  TempDir dir;
  std::string path = dir.File("out.bin");
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  ASSERT_NE(sink, nullptr);
  CPXIO io(sink);
  EXPECT_TRUE(io.IsWritable());
  EXPECT_TRUE(io.Write("abcdef", 2, 3));
  uint64_t size = 0;
  EXPECT_TRUE(io.Size(&size));  // flushes before measuring
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(PXCloseSink(sink), 6u);
  EXPECT_EQ(pxtest::ReadFile(path).size(), 6u);
}

TEST(SinkTest, AppendCreatesAMissingFileAndKeepsExistingBytes) {
  TempDir dir;
  std::string path = dir.File("append.bin");
  PXSink sink = PXOpenFileSink(path.c_str(), TRUE);
  ASSERT_NE(sink, nullptr);
  struct stat st;
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(PXCloseSink(sink), 0u);

  pxtest::WriteFile(path, {1, 2, 3, 4});
  sink = PXOpenFileSink(path.c_str(), TRUE);
  ASSERT_NE(sink, nullptr);
  CPXIO io(sink);
  uint8_t head[2];
  EXPECT_TRUE(io.ReadExactly(head, 2));  // append sinks are readable too
  EXPECT_EQ(head[1], 2);
  ASSERT_TRUE(io.Seek(0, PX_SEEK_END));
  EXPECT_TRUE(io.Write("\x05\x06", 1, 2));
  EXPECT_EQ(PXCloseSink(sink), 6u);
  EXPECT_EQ(pxtest::ReadFile(path), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

// Writes, seeks (to where the stream is, elsewhere, from either end) and reads mixed as
// libtiff mixes them, against a model of the file, on a new sink and an appended one.
TEST(SinkTest, MixedSeeksWritesAndReadsLandWhereAsked) {
  TempDir dir;
  for (BOOL append : {FALSE, TRUE}) {
    SCOPED_TRACE(append);
    const std::string path = dir.File(append ? "mixed-append.bin" : "mixed.bin");
    std::vector<uint8_t> model;
    if (append) {
      model = {9, 9, 9};
      pxtest::WriteFile(path, model);
    }
    PXSink sink = PXOpenFileSink(path.c_str(), append);
    ASSERT_NE(sink, nullptr);
    CPXIO io(sink);
    uint64_t at = 0;
    auto write = [&](std::vector<uint8_t> bytes) {
      ASSERT_TRUE(io.Write(bytes.data(), 1, bytes.size()));
      if (model.size() < at + bytes.size()) model.resize(at + bytes.size());
      std::copy(bytes.begin(), bytes.end(), model.begin() + long(at));
      at += bytes.size();
    };
    auto seek = [&](int64_t offset, int origin) {
      ASSERT_TRUE(io.Seek(offset, origin));
      at = uint64_t(origin == PX_SEEK_SET   ? offset
                    : origin == PX_SEEK_CUR ? int64_t(at) + offset
                                            : int64_t(model.size()) + offset);
      uint64_t told = 0;
      ASSERT_TRUE(io.Tell(&told));
      EXPECT_EQ(told, at);
    };
    auto read = [&](size_t n) {
      std::vector<uint8_t> got(n);
      ASSERT_TRUE(io.ReadExactly(got.data(), n));
      EXPECT_EQ(got, std::vector<uint8_t>(model.begin() + long(at), model.begin() + long(at + n)));
      at += n;
    };
    seek(0, PX_SEEK_END);
    write({1, 2, 3, 4});
    seek(0, PX_SEEK_END);  // where the stream is: no real seek
    write({5, 6});
    seek(int64_t(at), PX_SEEK_SET);
    seek(0, PX_SEEK_CUR);
    write({7});
    seek(-5, PX_SEEK_END);  // back over what was written, then overwrite in the middle
    write({20, 21});
    read(2);
    write({30});
    seek(-4, PX_SEEK_END);
    write({31});
    seek(0, PX_SEEK_END);  // forward from the middle
    write({50});
    seek(1, PX_SEEK_SET);
    read(3);
    seek(0, PX_SEEK_END);
    write({40, 41, 42});
    seek(-2, PX_SEEK_CUR);
    read(1);
    uint64_t size = 0;
    ASSERT_TRUE(io.Size(&size));
    EXPECT_EQ(size, model.size());
    EXPECT_EQ(PXCloseSink(sink), model.size());
    EXPECT_EQ(pxtest::ReadFile(path), model);
  }
}

TEST(SinkTest, TruncatesWithoutAppendAndFailsInMissingFolder) {
  TempDir dir;
  std::string path = dir.File("t.bin");
  pxtest::WriteFile(path, std::vector<uint8_t>(100, 1));
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  ASSERT_NE(sink, nullptr);
  EXPECT_EQ(PXCloseSink(sink), 0u);
  EXPECT_EQ(PXOpenFileSink(dir.File("no/such/folder.bin").c_str(), FALSE), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_OPEN);
}

// ext4 writes out a file truncated to zero when it is closed, so an empty file (the
// temporary file a save makes) is opened without a truncation; the truncation would
// stamp the file's modification time.
TEST(SinkTest, AnEmptyFileIsNotTruncatedAgain) {
  TempDir dir;
  const std::string path = dir.File("empty.bin");
  pxtest::WriteFile(path, {});
  const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  ASSERT_NE(sink, nullptr);
  EXPECT_EQ(PXCloseSink(sink), 0u);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  // A file with bytes is emptied, and its time is the truncation's.
  pxtest::WriteFile(path, {1, 2, 3});
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
  sink = PXOpenFileSink(path.c_str(), FALSE);
  ASSERT_NE(sink, nullptr);
  EXPECT_EQ(PXCloseSink(sink), 0u);
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_GT(st.st_mtim.tv_sec, 1000000000);
}

TEST(HandleValidity, NullHandleIsError5) {
  EXPECT_FALSE(PXSeekSource(nullptr, 0, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXCloseSource(nullptr), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXCloseSink(nullptr), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXGuessFileType(nullptr), 0);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(HandleValidity, ClosedHandleIsError38WithoutTouchingFreedMemory) {
  std::vector<uint8_t> data(16, 0);
  PXSource src = PXOpenMemorySource(data.data(), 16);
  ASSERT_NE(src, nullptr);
  PXCloseSource(src);
  // The record is freed; under AddressSanitizer any read of it would be reported.
  EXPECT_FALSE(PXSeekSource(src, 0, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_INVALID_HANDLE);
  EXPECT_EQ(PXGuessFileType(src), 0);
  EXPECT_EQ(PXGetLastError(), PX_ERR_INVALID_HANDLE);
  EXPECT_EQ(PXCloseSource(src), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_INVALID_HANDLE);
}

TEST(HandleValidity, BogusPointersAreError38) {
  uint8_t junk[sizeof(PXHandle)];
  std::memset(junk, 0x5A, sizeof junk);
  auto* fake = reinterpret_cast<PXHandle*>(junk);
  EXPECT_FALSE(PXSeekSource(fake, 0, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_INVALID_HANDLE);
  // Even a perfect copy of a live record is not a handle of this process.
  std::vector<uint8_t> data(4, 1);
  PXSource real = PXOpenMemorySource(data.data(), 4);
  PXHandle copy = *real;
  EXPECT_FALSE(PXSeekSource(&copy, 0, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_INVALID_HANDLE);
  EXPECT_TRUE(px::IsValidHandle(real));
  PXCloseSource(real);
}

}  // namespace

// Thousands of random writes (small, large, past the end, back into what is written),
// seeks, reads and flushes against a model of the file: the sink gathers and reorders
// its writes, and every read, the size and the file itself must show them as made.
TEST(SinkTest, RandomWritesSeeksAndReadsMatchAModel) {
  TempDir dir;
  const std::string path = dir.File("random.bin");
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  ASSERT_NE(sink, nullptr);
  CPXIO io(sink);
  std::mt19937 random(11);
  std::vector<uint8_t> model;
  uint64_t at = 0, lastWrite = 0;
  int flushes = 0;
  for (int step = 0; step < 3000 && !HasFatalFailure(); ++step) {
    const uint32_t what = random() % 100;
    if (what < 45) {
      // Mostly small writes, some of a few pages, now and then one of over a megabyte;
      // some end where the last write began (strips under the directory written first).
      const size_t n = what < 2    ? 1100000 + random() % 5000
                       : what < 12 ? random() % 30000 + 1
                                   : random() % 40 + 1;
      if (what % 4 == 1 && lastWrite >= n) {
        ASSERT_TRUE(io.Seek(int64_t(lastWrite - n), PX_SEEK_SET));
        at = lastWrite - n;
      }
      std::vector<uint8_t> bytes(n);
      for (uint8_t& b : bytes) b = uint8_t(random());
      ASSERT_TRUE(io.Write(bytes.data(), 1, n));
      lastWrite = at;
      if (model.size() < at + n) model.resize(at + n, 0);
      std::copy(bytes.begin(), bytes.end(), model.begin() + long(at));
      at += n;
    } else if (what < 75) {
      // Anywhere up to a little past the end, a little before where the last write
      // began (into and around what the sink may hold back), or at the end.
      const uint64_t back = std::min<uint64_t>(lastWrite, random() % 64);
      const uint64_t to = what < 55   ? random() % (model.size() + 6000)
                          : what < 65 ? lastWrite - back
                                      : model.size();
      ASSERT_TRUE(io.Seek(int64_t(to), PX_SEEK_SET));
      at = to;
    } else if (what < 95) {
      const size_t n = random() % 5000;
      std::vector<uint8_t> got(n);
      const size_t count = io.Read(got.data(), n);
      const size_t expected = at < model.size() ? std::min<size_t>(n, model.size() - at) : 0;
      ASSERT_EQ(count, expected) << "step " << step;
      ASSERT_TRUE(std::equal(got.begin(), got.begin() + long(count), model.begin() + long(at)))
          << "step " << step;
      at += count;
    } else {
      ASSERT_TRUE(io.Flush());
      // Flushed, the file holds everything, as another reader sees it.
      if (++flushes % 8 == 0) {
        ASSERT_EQ(pxtest::ReadFile(path), model) << "step " << step;
      }
    }
    uint64_t size = 0, told = 0;
    ASSERT_TRUE(io.Size(&size));
    ASSERT_EQ(size, model.size());
    ASSERT_TRUE(io.Tell(&told));
    ASSERT_EQ(told, at);
  }
  EXPECT_GT(flushes, 80);
  // A seek past what a file offset can address is refused and leaves the position.
  EXPECT_FALSE(io.Seek(INT64_MAX, PX_SEEK_END));
  uint64_t told = 0;
  ASSERT_TRUE(io.Tell(&told));
  EXPECT_EQ(told, at);
  EXPECT_EQ(PXCloseSink(sink), model.size());
  EXPECT_EQ(pxtest::ReadFile(path), model);
}
