// The calling frame: error texts, per-thread last error, progress depth and abort.
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "core/operation.h"
#include "test_support.h"

namespace {

TEST(ErrorText, MessagesOfTheTable) {
  EXPECT_STREQ(PXGetErrorText(0), "No err");
  EXPECT_STREQ(PXGetErrorText(1),
               "There is not enough memory to complete the operation (possible invalid file "
               "dimensions)");
  EXPECT_STREQ(PXGetErrorText(14), "Callback returned FALSE - operation aborted");
  EXPECT_STREQ(PXGetErrorText(29), "A call to BitBlt failed.");
  EXPECT_STREQ(PXGetErrorText(41), "Unable to render metafile. System resources may be too low.");
  EXPECT_STREQ(PXGetErrorText(53), "Invalid Wireless Bitmap");
}

TEST(ErrorText, CodesWithoutMessageFallBackToNumber) {
  for (int code : {33, 37, 38, 42, 54, 55, 68, 99, -1}) {
    EXPECT_EQ(PXGetErrorMessage(code), nullptr) << code;
    EXPECT_EQ(std::string(PXGetErrorText(code)), "Error " + std::to_string(code));
  }
}

TEST(Frame, VersionIsPaddedWithZeros) {
  char buffer[24];
  std::memset(buffer, 'x', sizeof buffer);
  PXGetVersion(buffer);
  EXPECT_STREQ(buffer, "PX 3.0.58.6");
  for (int i = 11; i < 20; ++i) EXPECT_EQ(buffer[i], 0) << i;
  EXPECT_EQ(buffer[20], 'x');  // the bound is 20 bytes
}

TEST(Frame, FreshThreadStartsWithNoError) {
  int seen = -1;
  std::thread([&] { seen = PXGetLastError(); }).join();
  EXPECT_EQ(seen, 0);
}

TEST(Frame, SuccessClearsAnEarlierError) {
  EXPECT_EQ(PXOpenMemorySource(nullptr, 4), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  static const uint8_t data[4] = {1, 2, 3, 4};
  PXSource s = PXOpenMemorySource(data, 4);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(PXGetLastError(), 0);
  PXCloseSource(s);
}

TEST(Frame, EachThreadSeesItsOwnLastError) {
  // Two threads fail with different codes at the same time and must not see each other's.
  std::atomic<int> ready{0};
  int first = -1, second = -1;
  auto worker = [&](int* out, bool memory) {
    ready++;
    while (ready < 2) std::this_thread::yield();
    for (int i = 0; i < 2000; ++i) {
      if (memory)
        PXOpenMemorySource(nullptr, 0);  // 5
      else
        PXOpenFileSource("");  // 2
      int code = PXGetLastError();
      if (code != (memory ? 5 : 2)) {
        *out = code;
        return;
      }
    }
    *out = PXGetLastError();
  };
  std::thread a(worker, &first, true), b(worker, &second, false);
  a.join();
  b.join();
  EXPECT_EQ(first, 5);
  EXPECT_EQ(second, 2);
}

struct ProgressLog {
  std::vector<std::pair<UINT, UINT>> calls;
  bool answer = true;
};

BOOL Record(UINT current, UINT total, DWORD_PTR user) {
  auto* log = reinterpret_cast<ProgressLog*>(user);
  log->calls.emplace_back(current, total);
  return log->answer;
}

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override { PXSetProgressCallback(Record, reinterpret_cast<DWORD_PTR>(&log_)); }
  void TearDown() override { PXSetProgressCallback(nullptr, 0); }
  ProgressLog log_;
};

TEST_F(ProgressTest, OnlyTheOutermostOperationReports) {
  {
    px::Operation outer;
    EXPECT_TRUE(outer.Progress(0, 3));
    {
      px::Operation inner;  // what a reader starts for itself
      EXPECT_TRUE(inner.Progress(7, 9));
      EXPECT_FALSE(inner.Reporting());
    }
    EXPECT_TRUE(outer.Progress(1, 3));
  }
  ASSERT_EQ(log_.calls.size(), 2u);
  EXPECT_EQ(log_.calls[0], std::make_pair(0u, 3u));
  EXPECT_EQ(log_.calls[1], std::make_pair(1u, 3u));
}

TEST_F(ProgressTest, FalseFromTheCallbackAbortsWithError14) {
  log_.answer = false;
  {
    px::Operation op;
    EXPECT_FALSE(op.Progress(0, 10));
    EXPECT_EQ(op.error(), PX_ERR_ABORTED);
  }
  EXPECT_EQ(PXGetLastError(), PX_ERR_ABORTED);
  EXPECT_EQ(log_.calls.size(), 1u);
}

TEST_F(ProgressTest, NullCallbackSwitchesReportingOff) {
  PXSetProgressCallback(nullptr, 0);
  px::Operation op;
  EXPECT_FALSE(op.Reporting());
  EXPECT_TRUE(op.Progress(0, 1));
  EXPECT_TRUE(log_.calls.empty());
}

TEST(Frame, TraceHookSeesFormattedText) {
  static std::string seen;
  px::TraceHook old = px::SetTraceHook([](const char* text) { seen = text; });
  px::Trace("PXLib JPG marker # %d, len: %d\n", 225, 42);
  px::SetTraceHook(old);
  EXPECT_EQ(seen, "PXLib JPG marker # 225, len: 42\n");
  seen.clear();
  px::Trace("dropped %d", 1);  // the default hook discards
  EXPECT_TRUE(seen.empty());
}

}  // namespace
