#include <gtest/gtest.h>

#include "settings.h"

using rook::ApplyPreset;
using rook::DeviceSettings;

TEST(Settings, DefaultsKeepExpectedIdAndChipSelectMap) {
    DeviceSettings s;
    s.deviceClass = 1;
    s.expectedJedecId = 0x7E1001;
    s.chipSelectMapInUse = 1;
    s.chipSelectMap[2].sizeCode = 3;
    s.programTimeoutMs = 5;
    rook::RestoreDefaults(s);
    EXPECT_EQ(s.deviceClass, 0);
    EXPECT_EQ(s.programTimeoutMs, -1);
    EXPECT_EQ(s.interleave, 1);
    EXPECT_EQ(s.chipSelect, 1);
    EXPECT_EQ(s.memoryType, -1);
    EXPECT_EQ(s.forceFpgaDownload, 1);
    EXPECT_EQ(s.expectedJedecId, 0x7E1001);
    EXPECT_EQ(s.chipSelectMapInUse, 1);
    EXPECT_EQ(s.chipSelectMap[2].sizeCode, 3);
}

TEST(Settings, Presets) {
    struct {
        const char* text;
        bool ok;
    } cases[] = {
        {"class=1;type=1;bus=16;interleave=2;cs=2;socket=1;vcc=1800;jedec=0x7E1001", true},
        {"class=1\ntype=2\n\n", true},
        {" bus = 16 ; ", true},
        {"csmap=1:4,2:4,0:0,0:0", true},
        {"", true},
        {"bus", false},
        {"bus=", false},
        {"bus=16x", false},
        {"colour=1", false},
        {"csmap=1:4,2:4", false},
        {"csmap=7:1,0:0,0:0,0:0", false},
        {"jedec=0x1FFFFFFFF", false},
        {"userCfi=1;cfiSize=0x100000;cfiBuffer=32;cfiRegions=8:32,15:256", true},
        {"cfiRegions=1:1,1:1,1:1,1:1,1:1", false},
        {"cfiRegions=0:256", false},
        {"cfiRegions=8:0x10000", false},
        {"cfiRegions=8", false},
        {"cfiSize=0", false},
        {"cfiBuffer=0x10000", false},
    };
    for (auto c : cases) {
        DeviceSettings s;
        std::string error;
        EXPECT_EQ(ApplyPreset(c.text, s, &error), c.ok) << c.text;
        if (!c.ok) EXPECT_FALSE(error.empty()) << c.text;
    }
    DeviceSettings s;
    ASSERT_TRUE(ApplyPreset("class=1;type=1;bus=16;interleave=2;cs=2;jedec=0xFFEF4016;csmap=1:4,2:4,0:0,5:1", s, nullptr));
    EXPECT_EQ(s.deviceClass, 1);
    EXPECT_EQ(s.interleave, 2);
    EXPECT_EQ(s.chipSelect, 2);
    EXPECT_EQ(static_cast<uint32_t>(s.expectedJedecId), 0xFFEF4016u);
    EXPECT_EQ(s.chipSelectMap[3].positionCode, 5);
    EXPECT_EQ(s.chipSelectMapInUse, 1);
    ASSERT_TRUE(ApplyPreset("userCfi=1;cfiSize=0x100000;cfiBuffer=32;cfiRegions=8:32,15:256", s, nullptr));
    EXPECT_EQ(s.useUserCfi, 1);
    EXPECT_EQ(s.userCfiDeviceBytes, 0x100000u);
    EXPECT_EQ(s.userCfi.maxBufferBytes, 32);
    EXPECT_EQ(s.userCfi.regionCount, 2);
    EXPECT_EQ(s.userCfi.regions[0].blocksMinus1, 7);
    EXPECT_EQ(s.userCfi.regions[0].blockSize256, 32);
    EXPECT_EQ(s.userCfi.regions[1].blocksMinus1, 14);
    EXPECT_EQ(s.userCfi.regions[1].blockSize256, 256);
    // A bad item changes nothing, also the items before it.
    DeviceSettings t;
    EXPECT_FALSE(ApplyPreset("class=3;bad", t, nullptr));
    EXPECT_EQ(t.deviceClass, 0);
}
