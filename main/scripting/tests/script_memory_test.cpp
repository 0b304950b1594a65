// The script memory table: numbers stay inside their blocks (run under ASan natively).
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "script_memory.h"

namespace {

using lx::ScriptMemory;

TEST(ScriptMemory, RangesInsideOneBlockResolveAndNothingElseDoes) {
  ScriptMemory memory;
  uint32_t a = memory.Allocate(100);
  uint32_t b = memory.Allocate(70000);  // more than one granule
  uint32_t freed = memory.Allocate(16);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  ASSERT_TRUE(memory.Free(freed));
  struct Case {
    uint32_t address;
    uint64_t length;
    bool ok;
  } cases[] = {
      {a, 100, true},
      {a + 99, 1, true},
      {a + 100, 0, true},   // just past the end, nothing touched
      {a, 101, false},      // one byte too many
      {a + 100, 1, false},  // the first byte past the end
      {a + 50, 0xFFFFFFFFull, false},
      {a - 1, 1, false},
      {0, 0, false},
      {1, 1, false},
      {a + ScriptMemory::kGranule, 1, false},  // the guard window behind a
      {b, 70000, true},
      {b + 69999, 1, true},
      {b + 70000, 1, false},
      {freed, 1, false},
      {freed, 0, false},
      {0xFFFFFFFFu, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.address << " + " << std::dec << c.length);
    uint8_t* p = memory.Resolve(c.address, c.length);
    EXPECT_EQ(p != nullptr, c.ok);
    if (p && c.length) std::memset(p, 0xA5, c.length);  // ASan guards the real block
  }
}

TEST(ScriptMemory, BlocksStartZeroedAndNumbersAreNeverZeroOrShared) {
  ScriptMemory memory;
  std::set<uint32_t> seen;
  for (uint32_t size : {0u, 1u, 65535u, 65536u, 65537u, 3u}) {
    uint32_t n = memory.Allocate(size);
    ASSERT_NE(n, 0u) << size;
    EXPECT_GE(n, ScriptMemory::kGranule);
    EXPECT_EQ(n % ScriptMemory::kGranule, 0u);
    EXPECT_TRUE(seen.insert(n).second);
    uint8_t* p = memory.Resolve(n, size);
    ASSERT_NE(p, nullptr);
    for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(p[i], 0) << i;
    uint32_t base = 0, got = 0;
    ASSERT_TRUE(memory.Find(n + size / 2, &base, &got));
    EXPECT_EQ(base, n);
    EXPECT_EQ(got, size);
  }
  EXPECT_EQ(memory.BlockCount(), 6u);
}

TEST(ScriptMemory, FreeTakesOnlyTheStartOfALiveBlockAndNumbersAreNotReusedAtOnce) {
  ScriptMemory memory;
  uint32_t a = memory.Allocate(10);
  EXPECT_FALSE(memory.Free(a + 1));
  EXPECT_FALSE(memory.Free(0x12345678));
  EXPECT_TRUE(memory.Free(a));
  EXPECT_FALSE(memory.Free(a));  // twice
  uint32_t b = memory.Allocate(10);
  EXPECT_NE(b, a);  // a stale number does not name the new block
  EXPECT_EQ(memory.Resolve(a, 1), nullptr);
  EXPECT_EQ(memory.BlockCount(), 1u);
  EXPECT_EQ(memory.BytesInUse(), 10u);
}

TEST(ScriptMemory, SizesBeyondTheLimitFailAndTheNumberSpaceWrapsToFreedWindows) {
  ScriptMemory memory;
  EXPECT_EQ(memory.Allocate(ScriptMemory::kMaxBlockSize + 1), 0u);
  EXPECT_EQ(memory.Allocate(0xFFFFFFFFu), 0u);
  // Walk the whole space with small blocks, freeing as we go: allocation keeps succeeding.
  uint32_t first = memory.Allocate(1);
  uint32_t previous = first;
  for (int i = 0; i < 40000; ++i) {
    uint32_t n = memory.Allocate(1);
    ASSERT_NE(n, 0u) << i;
    ASSERT_TRUE(memory.Free(previous));
    previous = n;
  }
  EXPECT_EQ(memory.BlockCount(), 1u);
  // With every window taken, the next request fails cleanly.
  ScriptMemory full;
  int blocks = 0;
  while (full.Allocate(1) != 0) ++blocks;
  EXPECT_GT(blocks, 30000);
  EXPECT_EQ(full.Allocate(0), 0u);
}

}  // namespace
