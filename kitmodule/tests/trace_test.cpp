#include <gtest/gtest.h>

#include <vector>

#include "trace.h"

using rook::TraceRing;

TEST(Trace, RingWrapsAfterFiftyThousandRecords) {
    std::vector<uint8_t> memory(rook::kTraceRecords * 24);
    TraceRing t;
    t.Attach(memory.data());
    for (uint32_t i = 0; i < 50000; ++i) t.Write(1004, 0x80000000, i, 0x80000000 + 2 * i, i);
    EXPECT_EQ(t.Index(), 49999);
    EXPECT_FALSE(t.Wrapped());
    t.Write(1005, 0x80000000, 7, 0x8000000E, 7);
    EXPECT_EQ(t.Index(), 0);
    EXPECT_TRUE(t.Wrapped());
    EXPECT_EQ(t.Field(0, 0), 50000u);
    EXPECT_EQ(t.Field(0, 1), 1005u);
    EXPECT_EQ(t.Field(49999, 5), 49999u);
}

TEST(Trace, PollingTheSameAddressIsCompressed) {
    std::vector<uint8_t> memory(rook::kTraceRecords * 24);
    TraceRing t;
    t.Attach(memory.data());
    for (int i = 0; i < 1000; ++i) {
        t.ReadIn(0x80000000, 0, 0x80000000);
        t.ReadOut(0x80000000, 0, 0x80000000, 0x80);
    }
    EXPECT_EQ(t.Index(), 1);  // one 1000 and one 1001 record
    EXPECT_EQ(t.Sequence(), 2000u);
    // A changed answer is recorded; the read that follows it is not.
    t.ReadIn(0x80000000, 0, 0x80000000);
    t.ReadOut(0x80000000, 0, 0x80000000, 0x00);
    EXPECT_EQ(t.Index(), 2);
    EXPECT_EQ(t.Field(2, 5), 0u);
    // Another address starts afresh.
    t.ReadIn(0x80000000, 1, 0x80000002);
    EXPECT_EQ(t.Field(3, 1), 1000u);
}

TEST(Trace, NothingIsWrittenWithoutMemory) {
    TraceRing t;
    t.Write(1004, 0, 0, 0, 0);
    t.ReadIn(0, 0, 0);
    EXPECT_EQ(t.Index(), -1);
}
