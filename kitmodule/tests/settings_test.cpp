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
    // A bad item changes nothing, also the items before it.
    DeviceSettings t;
    EXPECT_FALSE(ApplyPreset("class=3;bad", t, nullptr));
    EXPECT_EQ(t.deviceClass, 0);
}
