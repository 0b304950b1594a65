// The cross-process table of kits in use, keyed by the whole device path.
#include <gtest/gtest.h>

#include <string>

#include "inuse_table.h"

using namespace tarn;

namespace {

bool g_dead[16];
bool Alive(uint32_t pid) { return pid < 16 && !g_dead[pid]; }

TEST(InUseTable, PathsDifferingAnywhereAreDifferentKits) {
    static InUseBlock block;  // zeroed, as a new mapping is
    const char* a = "\\\\?\\usb#vid_1a6a&pid_0103#4c580001#{ae18aa60-7f6a-11d4-97dd-00010229b959}";
    const char* b = "\\\\?\\usb#vid_1a6a&pid_0103#4c580002#{ae18aa60-7f6a-11d4-97dd-00010229b959}";
    EXPECT_EQ(InUseClaim(&block, a, 1, Alive), Claim::Claimed);
    EXPECT_EQ(InUseClaim(&block, a, 2, Alive), Claim::Taken);
    EXPECT_EQ(InUseClaim(&block, a, 1, Alive), Claim::Taken) << "a second object of the same process too";
    std::string upper(a);
    upper[4] = 'U';
    EXPECT_EQ(InUseClaim(&block, upper.c_str(), 2, Alive), Claim::Taken) << "paths compare without case";
    EXPECT_EQ(InUseClaim(&block, b, 2, Alive), Claim::Claimed);
    InUseRelease(&block, a, 2);
    EXPECT_TRUE(InUseHeld(&block, a)) << "only the owner releases";
    InUseRelease(&block, a, 1);
    EXPECT_FALSE(InUseHeld(&block, a));
    EXPECT_EQ(InUseClaim(&block, a, 2, Alive), Claim::Claimed);
}

TEST(InUseTable, DeadOwnersAndLimits) {
    static InUseBlock block;
    EXPECT_EQ(InUseClaim(&block, "x", 3, Alive), Claim::Claimed);
    g_dead[3] = true;
    EXPECT_EQ(InUseClaim(&block, "x", 4, Alive), Claim::Claimed) << "a dead owner's kit is free";
    g_dead[3] = false;
    EXPECT_EQ(InUseClaim(&block, "", 4, Alive), Claim::BadPath);
    EXPECT_EQ(InUseClaim(&block, std::string(kInUsePathMax, 'p').c_str(), 4, Alive), Claim::BadPath);
    for (int i = 1; i < kInUseEntries; ++i)
        EXPECT_EQ(InUseClaim(&block, ("k" + std::to_string(i)).c_str(), 5, Alive), Claim::Claimed);
    EXPECT_EQ(InUseClaim(&block, "one more", 5, Alive), Claim::Full);
    g_dead[5] = true;
    EXPECT_EQ(InUseClaim(&block, "one more", 6, Alive), Claim::Claimed);
    g_dead[5] = false;
}

}  // namespace
