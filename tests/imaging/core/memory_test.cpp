// Global memory blocks and checked block sizes.
#include <cstring>

#include "core/operation.h"
#include "test_support.h"

namespace {

TEST(GlobalMemory, BlocksAreZeroFilledAndKnowTheirSize) {
  for (size_t n : {size_t(0), size_t(1), size_t(4097), size_t(1) << 20}) {
    auto* p = static_cast<uint8_t*>(GlobalAlloc(GMEM_FIXED, n));
    ASSERT_NE(p, nullptr) << n;
    EXPECT_EQ(GlobalSize(p), n);
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(p[i], 0) << i;
    std::memset(p, 0xAB, n);  // the whole block is writable
    EXPECT_EQ(GlobalFree(p), nullptr);
  }
  EXPECT_EQ(GlobalSize(nullptr), 0u);
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

TEST(GlobalMemory, RequestsAboveTheLimitAreRefused) {
  EXPECT_EQ(GlobalAlloc(GPTR, PX_MAX_GLOBAL_BLOCK + 1), nullptr);
  EXPECT_EQ(GlobalAlloc(GPTR, SIZE_MAX), nullptr);
}

TEST(GlobalMemory, BlockSizeRejectsOverflowAndOversize) {
  size_t total = 0;
  EXPECT_TRUE(px::BlockSize(100, 300, 40, &total));
  EXPECT_EQ(total, 30040u);
  EXPECT_FALSE(px::BlockSize(SIZE_MAX / 2, 3, 0, &total));
  EXPECT_FALSE(px::BlockSize(1, SIZE_MAX, 1, &total));
  EXPECT_FALSE(px::BlockSize(60000, 60000 * 3, 0, &total));  // 10.8 GB
  EXPECT_TRUE(px::BlockSize(1, PX_MAX_GLOBAL_BLOCK, 0, &total));
  EXPECT_FALSE(px::BlockSize(1, PX_MAX_GLOBAL_BLOCK, 1, &total));
}

}  // namespace
