/* Device faults through the exports: an image in memory that refuses writes on demand. A
 * failed write is reported to the call that met it and to the file whose bytes it held; nothing
 * reported written goes missing. */
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "testdisk.h"
#include "vdapi.h"

namespace {

constexpr uint32_t kHeld = 64 * 1024;  /* one write the file system holds back */

class Faults : public ::testing::Test {
protected:
    lxvd::MemoryStorage* mem = nullptr;
    void SetUp() override {
        mem = new lxvd::MemoryStorage(std::vector<uint8_t>());
        lxvd::VdUseStorage(std::unique_ptr<lxvd::ImageStorage>(mem));
        lxvd::VdSetClock(lxtest::FixedClock);
        ASSERT_EQ(0, gfslInit(0));
        ASSERT_EQ(0, gfslLowLevelFormat("/a", 1 << 20, 20 << 20));
        ASSERT_EQ(0, gfslFormat("/a", "FAT16", nullptr, 0)) << lxvd::VdFsError();
        ASSERT_EQ(0, gfslMount(0)) << lxvd::VdFsError();
    }
    void TearDown() override {
        mem->failWrites = false;
        gfslInit(1);
        lxvd::VdUseStorage(nullptr);
    }
    static int Write(const char* path, const std::string& data) { return lxtest::ApiWrite(path, data); }
    static std::string Read(const char* path) { return lxtest::ApiRead(path); }
    /* What the image holds once everything in memory is gone. */
    static void Remount() {
        ASSERT_EQ(0, gfslUnmount(0)) << lxvd::VdFsError();
        ASSERT_EQ(0, gfslMount(0)) << lxvd::VdFsError();
    }
};

std::string Held() {
    const auto p = lxtest::Pattern(kHeld, 36);
    return std::string(p.begin(), p.end());
}

/* Another call meets the refused write of the held bytes: it fails, the held file's close then
 * fails and keeps the file open, and once the device takes writes again a second close writes
 * the bytes. */
TEST_F(Faults, AFailedWriteOfHeldBytesReachesTheCallAndTheFilesClose) {
    struct Case {
        const char* call;
        std::function<int()> run;  /* 0 when the call reported a failure */
        int fsError;               /* the file system's error word after it; 0 not checked */
    };
    const Case cases[] = {
        {"stat in a folder not yet searched",
         [] {
             GFSL_STAT st;
             return gfslstat("/a/sub/inside.txt", &st) == -1 ? 0 : 1;
         },
         lxfat::kErrDevice},
        {"open in a folder not yet searched", [] { return gfslfopen("/a/sub/inside.txt", "r") == -1 ? 0 : 1; },
         lxfat::kErrDevice},
        {"read of another file",
         [] {
             const int h = gfslfopen("/a/other.txt", "r");
             if (h < 0) return 1;
             char buf[16];
             const uint32_t n = gfslfread(buf, 1, sizeof buf, h);
             gfslfclose(h);
             return n == static_cast<uint32_t>(-1) ? 0 : 1;
         },
         lxfat::kErrDevice},
        {"raw sector read", [] {
             uint8_t s[512];
             return gfslReadSectors(0, 0, 1, s, 1) == -1 ? 0 : 1;
         }, 0},
        {"listing of a folder",
         [] {
             GFSL_DIR* d = gfslopendir("/a/sub");
             if (!d) return 0;
             const bool listed = gfslreaddir(d) != nullptr;
             gfslclosedir(d);
             return listed ? 1 : 0;
         },
         lxfat::kErrDevice},
        {"flush of the file itself", nullptr, 0},
    };
    const std::string held = Held();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        TearDown();
        SetUp();
        ASSERT_EQ(0, gfslmkdir("/a/sub", 0));
        ASSERT_EQ(0, Write("/a/sub/inside.txt", "inside"));
        ASSERT_EQ(0, Write("/a/other.txt", "other"));
        Remount();  /* nothing cached, no folder searched */
        const int h = gfslfopen("/a/held.bin", "w");
        ASSERT_GE(h, 0);
        ASSERT_EQ(kHeld, gfslfwrite(held.data(), 1, kHeld, h));
        mem->failWrites = true;
        if (c.run) {
            EXPECT_EQ(0, c.run()) << "the call did not report the failed write";
            if (c.fsError) {
                EXPECT_EQ(c.fsError, lxvd::VdFsError());
            }
            mem->failWrites = false;  /* room again: the close writes the bytes, and says what happened */
            EXPECT_EQ(-1, gfslfclose(h)) << "the file never heard that its bytes were refused";
        } else {
            EXPECT_EQ(-1, gfslfflush(h));
            EXPECT_EQ(-1, gfslfclose(h)) << "the device still refuses: the bytes are not written";
            mem->failWrites = false;
        }
        EXPECT_EQ(0, gfslfclose(h)) << "the file stays open for a close that succeeds";
        EXPECT_EQ(-1, gfslfclose(h));
        Remount();
        EXPECT_TRUE(Read("/a/held.bin") == held) << "bytes reported written are missing";
        EXPECT_EQ("inside", Read("/a/sub/inside.txt"));
    }
}

/* Shutting the device down when the image refuses the held bytes says so. */
TEST_F(Faults, ClosingTheDeviceReportsWhatItCouldNotWrite) {
    const int h = gfslfopen("/a/held.bin", "w");
    ASSERT_GE(h, 0);
    ASSERT_EQ(kHeld, gfslfwrite(Held().data(), 1, kHeld, h));
    mem->failWrites = true;
    EXPECT_EQ(-1, gfslInit(1));
    EXPECT_EQ(1, gfslInit(2));
}

/* A raw write under a mounted volume that cannot first write the volume's pending sectors is
 * refused rather than written over them. */
TEST_F(Faults, RawWriteRefusedWhileTheVolumeCannotWriteWhatItOwes) {
    const int h = gfslfopen("/a/held.bin", "w");
    ASSERT_GE(h, 0);
    ASSERT_EQ(kHeld, gfslfwrite(Held().data(), 1, kHeld, h));
    mem->failWrites = true;
    uint8_t s[512] = {};
    EXPECT_EQ(-1, gfslWriteSectors(0, 0, 1, s, 0));
    EXPECT_EQ(-1, gfslfclose(h));
    mem->failWrites = false;
    EXPECT_EQ(0, gfslfclose(h));
    Remount();
    EXPECT_TRUE(Read("/a/held.bin") == Held());
}

/* A full volume: a write that finds no room writes nothing and says 0 items. */
TEST_F(Faults, AWriteOnAFullVolumeWritesNothing) {
    const int h = gfslfopen("/a/fill.bin", "w");
    ASSERT_GE(h, 0);
    const std::string block(1 << 20, 'f');
    for (int i = 0; i < 40 && gfslfwrite(block.data(), 1, static_cast<uint32_t>(block.size()), h) == block.size(); ++i) {
    }
    EXPECT_EQ(0u, gfslfwrite("x", 1, 1, h));
    EXPECT_EQ(lxfat::kErrNoSpace, lxvd::VdFsError());
    EXPECT_EQ(0, gfslfclose(h));
}

}  // namespace
