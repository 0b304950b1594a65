/* The image on a file system that fills up, under Wine: the image is sparse, so the held bytes
 * of a file need room when they are written, and a filler file takes it away. The failure
 * reaches the call that met it and the file's close; once there is room again the bytes are
 * written and nothing reported written is missing. Run by full_disk.sh, which gives the test
 * its own small file system as the user area and a sparse image, once per case. */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "testdisk.h"
#include "vdapi.h"

namespace {

constexpr uint32_t kHeld = 64 * 1024;

std::string Area() {
    const char* a = std::getenv("LX_USER_AREA");
    return a ? a : "";
}

/* Fills the file system; false when nothing could be written. */
bool Fill(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::setvbuf(f, nullptr, _IONBF, 0);
    static const std::vector<char> block(4096, 'x');
    size_t written = 0;
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size()) written += block.size();
    std::fclose(f);
    return written > 0;
}

std::string Held() {
    const auto p = lxtest::Pattern(kHeld, 25);
    return std::string(p.begin(), p.end());
}

TEST(FullDisk, HeldBytesRefusedByAFullFileSystemAreReportedAndKept) {
    const char* which = std::getenv("LX_FULL_DISK_CASE");
    if (!which) GTEST_SKIP() << "run through full_disk.sh";
    const std::string area = Area(), filler = area + "\\filler";
    struct Case {
        const char* call;
        std::function<bool()> fails;  /* the call reported the failure */
    };
    const Case cases[] = {
        {"stat in a folder not yet searched",
         [] {
             GFSL_STAT st;
             return gfslstat("/a/sub/inside.txt", &st) == -1 && lxvd::VdFsError() == lxfat::kErrDevice;
         }},
        {"read of another file",
         [] {
             const int h = gfslfopen("/a/other.txt", "r");
             char buf[16];
             const bool failed = h >= 0 && gfslfread(buf, 1, sizeof buf, h) == static_cast<uint32_t>(-1);
             gfslfclose(h);
             return failed;
         }},
        {"raw sector read",
         [] {
             uint8_t s[512];
             return gfslReadSectors(0, 0, 1, s, 1) == -1;
         }},
    };
    const std::string held = Held();
    lxvd::VdSetClock(lxtest::FixedClock);
    const size_t index = static_cast<size_t>(std::atoi(which));
    ASSERT_LT(index, sizeof cases / sizeof cases[0]);
    {
        const Case& c = cases[index];
        SCOPED_TRACE(c.call);
        ASSERT_EQ(0, gfslInit(0));
        ASSERT_EQ(0, gfslMount(0)) << lxvd::VdFsError();
        ASSERT_EQ(0, gfslmkdir("/a/sub", 0));
        ASSERT_EQ(0, lxtest::ApiWrite("/a/sub/inside.txt", "inside"));
        ASSERT_EQ(0, lxtest::ApiWrite("/a/other.txt", "other"));
        ASSERT_EQ(0, gfslUnmount(0));
        ASSERT_EQ(0, gfslMount(0));
        const int h = gfslfopen("/a/held.bin", "w");
        ASSERT_GE(h, 0);
        ASSERT_EQ(kHeld, gfslfwrite(held.data(), 1, kHeld, h));
        ASSERT_TRUE(Fill(filler));
        EXPECT_TRUE(c.fails()) << "the call did not report the refused write";
        EXPECT_EQ(-1, gfslfclose(h)) << "still no room: the bytes are not written";
        ASSERT_EQ(0, std::remove(filler.c_str()));
        EXPECT_EQ(0, gfslfclose(h)) << "room again: the close writes the bytes";
        ASSERT_EQ(0, gfslUnmount(0));
        ASSERT_EQ(0, gfslMount(0));
        EXPECT_TRUE(lxtest::ApiRead("/a/held.bin") == held) << "bytes reported written are missing";
        EXPECT_EQ("inside", lxtest::ApiRead("/a/sub/inside.txt"));
        ASSERT_EQ(0, gfslInit(1));
    }
}

}  // namespace
