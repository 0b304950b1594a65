#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "profiler.h"
#include "testdisk.h"
#include "vdapi.h"

namespace fs = std::filesystem;

namespace {

/* Each test gets its own user area with a 40 MiB partition a at 1 MiB and 40 MiB of b after it. */
class Api : public ::testing::Test {
protected:
    fs::path area;
    void SetUp() override {
        area = fs::temp_directory_path() / ("lxvd-api-" + lxtest::UniqueTag() + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(area);
        fs::create_directories(area / "User Data");
        lxtest::SetUserArea(area.string());
        lxvd::VdSetClock(lxtest::FixedClock);
        ASSERT_EQ(0, gfslInit(0));
        ASSERT_EQ(0, gfslLowLevelFormat("/a", 1 << 20, 40 << 20));
        ASSERT_EQ(0, gfslLowLevelFormat("/b", 41 << 20, 40 << 20));
        ASSERT_EQ(0, gfslFormat("/a", "FAT16", "WINDOWS", 0)) << lxvd::VdFsError();
        ASSERT_EQ(0, gfslMount(0)) << lxvd::VdFsError();
    }
    void TearDown() override {
        gfslInit(1);
        fs::remove_all(area);
    }
    static std::string Read(const char* path) { return lxtest::ApiRead(path); }
    static int Write(const char* path, const std::string& data, const char* mode = "w") {
        return lxtest::ApiWrite(path, data, mode);
    }
};

}  // namespace

TEST(ApiLifecycle, ProfilerIsOptionalAndCounts) {
    EXPECT_EQ(1, gfslInit(2));                 /* closed after loading */
    EXPECT_EQ(-1, gfslCustomCallback3(1, 2, 3, 4));  /* no profiler yet: nothing to count, no crash */
    EXPECT_EQ(1003, gfslGetLastError(nullptr, 0));
    EXPECT_EQ(-1, fpDestroyFunctionProfiler());
    EXPECT_STREQ("FP_gfslInit", fpGetFunctionProfilerName(0));
    EXPECT_STREQ("FP_gfslCustomCallback8", fpGetFunctionProfilerName(64));
    EXPECT_STREQ("FP_gfslSetLatestSectorInfo", fpGetFunctionProfilerName(65));
    EXPECT_EQ(66, fpGetNumberOfProfileFunctions());
    FunctionProfilerEntry* p = fpCreateFunctionProfiler();
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(65u, p[65].index);
    for (int i = 0; i < 3; ++i) gfslInit(2);
    EXPECT_EQ(3u, fpGetFunctionProfilerCount(0));
    fpResetFunctionProfiler();
    gfslInit(2);
    EXPECT_EQ(1u, fpGetFunctionProfilerCount(0));
    EXPECT_EQ(4u, fpGetFunctionProfilerAccumulated(0));
    gfslBDTLMount(0);
    EXPECT_EQ(0u, fpGetFunctionProfilerAccumulated(1));  /* not counted */
    fpSetFunctionProfiler(5, 0xFFFFFFFFull, 0);
    fpIncFunctionProfiler(5);
    EXPECT_EQ(0x100000000ull, fpGetFunctionProfilerCount(5));
    fpDecFunctionProfiler(6);
    EXPECT_EQ(~0ull, fpGetFunctionProfilerCount(6));
    EXPECT_EQ(0, fpDestroyFunctionProfiler());
    EXPECT_EQ(-1, fpDestroyFunctionProfiler());
    EXPECT_EQ(-1, gfslInit(1));  /* never started */
    EXPECT_EQ(1, gfslInit(2));
}

TEST_F(Api, FilesFoldersAndStreams) {
    char text[512];
    EXPECT_GT(gfslGetDeviceTextInfo("/a", text), 0);
    EXPECT_NE(nullptr, std::strstr(text, "[Volume Information]"));
    ASSERT_EQ(0, gfslmkdir("/a/Docs", 0));
    ASSERT_EQ(0, Write("/a/Docs/Notes about things.txt", "hello"));
    ASSERT_EQ(0, Write("/a/Docs/Notes about things.txt", " world", "a"));
    EXPECT_EQ("hello world", Read("/A\\docs\\notes about things.txt"));
    GFSL_STAT st;
    ASSERT_EQ(0, gfslstat("/a/Docs/Notes about things.txt", &st));
    EXPECT_EQ(11u, st.fileSize);
    ASSERT_EQ(0, gfslstat("/a", &st));
    EXPECT_EQ(0x10, st.attr);
    EXPECT_EQ(0, gfslaccess("/a/Docs", 0));
    EXPECT_EQ(-1, gfslaccess("/a/Nope", 0));

    GFSL_DIR* d = gfslopendir("/a/Docs");
    ASSERT_NE(nullptr, d);
    std::vector<std::string> names;
    for (char* n; (n = gfslreaddir(d)) != nullptr;) names.push_back(n);
    EXPECT_EQ((std::vector<std::string>{".", "..", "Notes about things.txt"}), names);
    EXPECT_EQ(11u, d->entry.fileSize);
    gfslrewinddir(d);
    char name[512];
    char* result = nullptr;
    ASSERT_EQ(0, gfslreaddir_r(d, name, &result));
    EXPECT_EQ(name, result);
    EXPECT_STREQ(".", name);
    EXPECT_EQ(0, gfslclosedir(d));
    EXPECT_EQ(-1, gfslclosedir(d));              /* a stale pointer is refused */
    GFSL_DIR bogus{};
    EXPECT_EQ(nullptr, gfslreaddir(&bogus));

    ASSERT_EQ(0, gfslrename("/a/Docs/Notes about things.txt", "/a/notes.txt"));
    EXPECT_EQ("hello world", Read("/a/notes.txt"));
    EXPECT_EQ(-1, gfslrename("/a/notes.txt", "/b/notes.txt"));
    EXPECT_EQ(lxfat::kErrInvalid, lxvd::VdFsError());  /* b is not in use yet */
    ASSERT_EQ(0, gfslunlink("/a/notes.txt"));
    ASSERT_EQ(0, gfslrmdir("/a/Docs"));

    ASSERT_EQ(0, gfslchdir("/a/"));
    char cwd[16];
    EXPECT_STREQ("/a/", gfslgetcwd(cwd, sizeof cwd));
    EXPECT_EQ(nullptr, gfslgetcwd(cwd, 3));
}

TEST_F(Api, HandlesAndArgumentsAreChecked) {
    EXPECT_EQ(-1, gfslfclose(0x12000000));
    EXPECT_EQ(-1, gfslfclose(0x3E000005));  /* index not open */
    int h = gfslfopen("/a/x.bin", "w");
    char one[1];
    ASSERT_GE(h, 0);
    EXPECT_EQ(0x3E000000, h & 0xFFFF0000);
    EXPECT_EQ(0u, gfslfwrite("abc", 0, 3, h));
    EXPECT_EQ(static_cast<uint32_t>(-1), gfslfread(one, 1, 1, h));  /* write-only */
    EXPECT_EQ(0, gfslfclose(h));
    EXPECT_EQ(-1, gfslfclose(h));
    EXPECT_EQ(-1, gfslfopen("/e/x", "r"));  /* volume 1, not mounted here */
    EXPECT_EQ(-1, gfslfopen("/f/x", "r"));
    EXPECT_EQ(-1, gfslfopen("/a/\xff", "w"));
    const std::string deep = "/a/" + std::string(600, 'p');
    EXPECT_EQ(-1, gfslfopen(deep.c_str(), "w"));
    EXPECT_EQ(lxfat::kErrTooLong, lxvd::VdFsError());
    EXPECT_EQ(-1, gfslfopen("/a/con", "w"));
    for (int i = 0; i < 10; ++i) EXPECT_NE(nullptr, gfslopendir("/a/"));
    EXPECT_EQ(nullptr, gfslopendir("/a/"));
    EXPECT_EQ(-1, gfsltruncate("/a/x.bin", 0));
    EXPECT_EQ(1003, gfslGetLastError(nullptr, 0));
}

TEST_F(Api, FormattingAndRawSectors) {
    EXPECT_EQ(-1, gfslFormat("/a", "FAT16", nullptr, 0));       /* mounted */
    EXPECT_EQ(-1, gfslLowLevelFormat("/c", 60 << 20, 1 << 20)); /* a volume is mounted */
    ASSERT_EQ(0, Write("/a/keep.txt", "kept"));
    ASSERT_EQ(0, gfslUnmount(0));
    EXPECT_EQ(-1, gfslLowLevelFormat("/c", 40 << 20, 2 << 20));  /* overlaps a and b */
    ASSERT_EQ(0, gfslFormat("/b", "FAT32", nullptr, 0)) << lxvd::VdFsError();
    ASSERT_EQ(0, gfslMount(1)) << lxvd::VdFsError();
    ASSERT_EQ(0, gfslMount(0));
    EXPECT_EQ("kept", Read("/a/keep.txt"));
    ASSERT_EQ(0, Write("/b/other.txt", "b side"));
    EXPECT_EQ("b side", Read("/b/other.txt"));
    EXPECT_EQ("b side", Read("/E/other.txt"));  /* "e" names volume 1 too */

    /* logical sector 0 is the first sector of partition 0; the partition table stays */
    uint8_t mbr[512], boot[512], logical[512];
    ASSERT_EQ(0, gfslReadSectors(0, 0, 1, mbr, 0));
    EXPECT_EQ(0x55, mbr[510]);
    const uint32_t start = mbr[446 + 8] | (mbr[446 + 9] << 8) | (mbr[446 + 10] << 16);
    EXPECT_EQ(2048u, start);  /* 1 MiB lies on the 256-sector unit */
    ASSERT_EQ(0, gfslReadSectors(0, 0, 1, logical, 1));
    ASSERT_EQ(0, gfslReadSectors(0, start, 1, boot, 0));
    EXPECT_EQ(0, std::memcmp(logical, boot, 512));
    ASSERT_EQ(0, gfslWriteSectors(0, 0, 1, boot, 1));
    uint8_t again[512];
    ASSERT_EQ(0, gfslReadSectors(0, 0, 1, again, 0));
    EXPECT_EQ(0, std::memcmp(mbr, again, 512));
    const uint32_t count = mbr[446 + 12] | (mbr[446 + 13] << 8) | (mbr[446 + 14] << 16);
    EXPECT_EQ(-1, gfslReadSectors(0, count, 1, again, 1));
    EXPECT_EQ(-1, gfslReadSectors(1, 0, 1, again, 1));
    const int sectors = gfslGetNumberOfSectors(0, 0);
    EXPECT_EQ(((81 << 20) / 512), sectors);
    EXPECT_EQ(sectors - 1, gfslGetNumberOfSectors(0, 1));
    EXPECT_EQ(-1, gfslGetNumberOfSectors(1, 0));
    EXPECT_EQ(static_cast<uint64_t>(81) << 20, gfslGetNumberOfBytesPerDevice("/a"));

    /* a file created but not closed is visible to a raw read of its folder */
    int h = gfslfopen("/a/open.txt", "w");
    ASSERT_GE(h, 0);
    const uint32_t reserved = boot[14] | (boot[15] << 8), fatSize = boot[22] | (boot[23] << 8);
    uint8_t root[512];
    ASSERT_EQ(0, gfslReadSectors(0, reserved + fatSize, 1, root, 1));
    bool seen = false;
    for (int i = 0; i < 16; ++i) seen |= std::memcmp(root + 32 * i, "OPEN    TXT", 11) == 0;
    EXPECT_TRUE(seen);
    gfslfclose(h);
}

TEST_F(Api, ClosingTheDeviceKeepsEverything) {
    int h = gfslfopen("/a/unsaved.txt", "w");
    ASSERT_GE(h, 0);
    ASSERT_EQ(5u, gfslfwrite("12345", 1, 5, h));
    ASSERT_EQ(0, gfslMount(1) == 0 ? -1 : 0);  /* b has no file system yet */
    ASSERT_EQ(0, gfslInit(1));                 /* no close: shut-down writes it */
    EXPECT_EQ(1, gfslInit(2));
    ASSERT_EQ(0, gfslInit(0));
    ASSERT_EQ(0, gfslMount(0));
    EXPECT_EQ("12345", Read("/a/unsaved.txt"));
    ASSERT_EQ(0, gfslfcloseall());
}

/* Files still open on volumes b and c at the close: their entries and FAT sit in the sector cache
 * of their own volume, and the close writes every volume's, not only a's. */
TEST_F(Api, ClosingTheDeviceWritesWhatEveryVolumeOwes) {
    ASSERT_EQ(0, gfslUnmount(0));
    ASSERT_EQ(0, gfslLowLevelFormat("/c", 81 << 20, 20 << 20));
    ASSERT_EQ(0, gfslFormat("/b", "FAT32", nullptr, 0)) << lxvd::VdFsError();
    ASSERT_EQ(0, gfslFormat("/c", "FAT16", nullptr, 0)) << lxvd::VdFsError();
    const char* volumes[] = {"/a", "/b", "/c"};
    for (int v = 0; v < 3; ++v) {
        ASSERT_EQ(0, gfslMount(v)) << volumes[v] << " " << lxvd::VdFsError();
        const std::string file = std::string(volumes[v]) + "/left open on " + volumes[v][1] + ".txt";
        const int h = gfslfopen(file.c_str(), "w");
        ASSERT_GE(h, 0) << file;
        const std::string data(70000 + v, static_cast<char>('a' + v));  /* clusters on every volume */
        ASSERT_EQ(data.size(), gfslfwrite(data.data(), 1, static_cast<uint32_t>(data.size()), h));
    }
    ASSERT_EQ(0, gfslInit(1));  /* no close of the files: the shut-down writes them */
    {
        /* what reached the image, read by a file system of its own through the partition table */
        lxvd::ImageDevice image{std::make_unique<lxvd::FileStorage>(lxvd::VdImagePath())};
        lxvd::BlockDeviceRecord rec;
        image.Register(&rec);
        ASSERT_EQ(0, rec.control(&rec, lxvd::kCtlOpen));
        ASSERT_EQ(0, rec.control(&rec, lxvd::kCtlGeometry));
        uint8_t mbr[512];
        ASSERT_EQ(0, rec.read(&rec, 0, mbr, 1));
        lxfat::FatFs other;
        other.Init();
        for (int v = 0; v < 3; ++v) {
            const lxfat::Partition part{&rec, lxtest::Le32(mbr + 446 + 16 * v + 8), lxtest::Le32(mbr + 446 + 16 * v + 12)};
            ASSERT_EQ(0, other.Mount(v, part)) << volumes[v] << " " << other.error();
            lxfat::u16string name;
            lxfat::Utf8ToUtf16((std::string("/left open on ") + volumes[v][1] + ".txt").c_str(), &name, 100);
            uint8_t entry[32] = {};
            EXPECT_EQ(0, other.Stat(v, name, entry)) << volumes[v] << ": the file never reached the image";
            EXPECT_EQ(70000u + v, lxtest::Le32(entry + 28)) << volumes[v];
        }
        other.Shutdown();
    }
    ASSERT_EQ(0, gfslInit(0));
    for (int v = 0; v < 3; ++v) {
        ASSERT_EQ(0, gfslMount(v)) << volumes[v] << " " << lxvd::VdFsError();
        const std::string file = std::string(volumes[v]) + "/left open on " + volumes[v][1] + ".txt";
        EXPECT_TRUE(Read(file.c_str()) == std::string(70000 + v, static_cast<char>('a' + v))) << file;
    }
}

TEST_F(Api, RawWritesReachMountedVolumesAndLongNamesStayListable) {
    ASSERT_EQ(0, Write("/a/raw.txt", "before"));
    uint8_t boot[512];
    ASSERT_EQ(0, gfslReadSectors(0, 0, 1, boot, 1));
    const uint32_t reserved = boot[14] | (boot[15] << 8), fatSize = boot[22] | (boot[23] << 8);
    /* rename the entry behind the file system's back: the mounted volume must see it */
    uint8_t root[512];
    ASSERT_EQ(0, gfslReadSectors(0, reserved + fatSize, 1, root, 1));
    int at = -1;
    for (int i = 0; i < 16; ++i)
        if (std::memcmp(root + 32 * i, "RAW     TXT", 11) == 0) at = i;
    ASSERT_GE(at, 0);
    std::memcpy(root + 32 * at, "COOKED  TXT", 11);
    ASSERT_EQ(0, gfslWriteSectors(0, reserved + fatSize, 1, root, 1));
    EXPECT_EQ("<missing>", Read("/a/raw.txt"));
    EXPECT_EQ("before", Read("/a/COOKED.TXT"));

    /* 200 non-ASCII letters: 600 bytes of UTF-8, more than a listing record holds. Such a
     * name is refused here; another system may have written one, and it is then listed by its
     * 8.3 name, which opens it. */
    std::string name;
    for (int i = 0; i < 200; ++i) name += "\xe6\x96\x87";
    EXPECT_EQ(-1, Write(("/a/" + name).c_str(), "wide"));
    EXPECT_EQ(lxfat::kErrTooLong, lxvd::VdFsError());
    ASSERT_EQ(0, gfslInit(1));
    {
        lxvd::ImageDevice image{std::make_unique<lxvd::FileStorage>(lxvd::VdImagePath())};
        lxvd::BlockDeviceRecord rec;
        image.Register(&rec);
        ASSERT_EQ(0, rec.control(&rec, lxvd::kCtlOpen));
        ASSERT_EQ(0, rec.control(&rec, lxvd::kCtlGeometry));
        lxfat::FatFs other;
        other.Init();
        const lxfat::Partition part{&rec, 2048, (40u << 20) / 512};  /* partition a at 1 MiB */
        ASSERT_EQ(0, other.Mount(0, part)) << other.error();
        lxfat::u16string wide;
        lxfat::Utf8ToUtf16(("/" + name).c_str(), &wide, 1000);
        const int h = other.Open(0, wide, 0x301);
        ASSERT_GE(h, 0);
        ASSERT_EQ(4, other.Write(h, "wide", 4));
        other.Close(h);
        other.Unmount(0);
    }
    ASSERT_EQ(0, gfslInit(0));
    ASSERT_EQ(0, gfslMount(0));
    GFSL_DIR* d = gfslopendir("/a");
    ASSERT_NE(nullptr, d);
    std::vector<std::string> names;
    for (char* n; (n = gfslreaddir(d)) != nullptr;) names.push_back(n);
    gfslclosedir(d);
    ASSERT_EQ(2u, names.size());
    EXPECT_EQ("______~1", names[1]);
    EXPECT_EQ("wide", Read(("/a/" + names[1]).c_str()));
}

TEST_F(Api, CloseAllClosesTheFilesOfVolumeAOnly) {
    ASSERT_EQ(0, gfslFormat("/b", "FAT32", nullptr, 0));
    ASSERT_EQ(0, gfslMount(1));
    const int ha = gfslfopen("/a/1.txt", "w"), hb = gfslfopen("/b/2.txt", "w");
    ASSERT_GE(ha, 0);
    ASSERT_GE(hb, 0);
    ASSERT_EQ(0, gfslfcloseall());
    EXPECT_EQ(-1, gfslfclose(ha));
    EXPECT_EQ(0, gfslunlink("/a/1.txt"));  /* no longer open */
    EXPECT_EQ(-1, gfslunlink("/b/2.txt")); /* still open */
    EXPECT_EQ(3u, gfslfwrite("b's", 1, 3, hb));
    EXPECT_EQ(0, gfslfclose(hb));
    EXPECT_EQ("b's", Read("/b/2.txt"));
}

TEST_F(Api, ThreadsShareTheModule) {
    std::vector<std::thread> threads;
    fpCreateFunctionProfiler();
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            const std::string path = "/a/thread " + std::to_string(t) + ".txt";
            int h = gfslfopen(path.c_str(), "w");
            for (int i = 0; i < 200; ++i) {
                const std::string line = std::to_string(t) + ":" + std::to_string(i) + "\n";
                gfslfwrite(line.data(), 1, static_cast<uint32_t>(line.size()), h);
                if (i % 50 == 0) gfslmkdir(("/a/dir " + std::to_string(t) + " " + std::to_string(i)).c_str(), 0);
            }
            gfslfclose(h);
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) {
        std::string expect;
        for (int i = 0; i < 200; ++i) expect += std::to_string(t) + ":" + std::to_string(i) + "\n";
        EXPECT_EQ(expect, Read(("/a/thread " + std::to_string(t) + ".txt").c_str()));
    }
    EXPECT_EQ(800u, fpGetFunctionProfilerCount(33));
    fpDestroyFunctionProfiler();
    /* a folder is no place to change into a file */
    EXPECT_EQ(-1, gfslchdir("/a/thread 0.txt"));
    EXPECT_EQ(0, gfslchdir("/a/dir 0 0"));
    char cwd[64];
    EXPECT_STREQ("/a/dir 0 0/", gfslgetcwd(cwd, sizeof cwd));
}

TEST_F(Api, AnotherUserAreaGetsEverythingWrittenToTheOldImageFirst) {
    int h = gfslfopen("/a/stays.txt", "w");
    ASSERT_EQ(4u, gfslfwrite("old!", 1, 4, h));
    const fs::path other = area / "other";
    fs::create_directories(other / "User Data");
    lxtest::SetUserArea(other.string());
    ASSERT_EQ(0, gfslInit(0));                       /* without a close first */
    EXPECT_EQ(-1, gfslMount(0));                     /* the new area has no image yet */
    lxtest::SetUserArea(area.string());
    ASSERT_EQ(0, gfslInit(0));
    ASSERT_EQ(0, gfslMount(0));
    EXPECT_EQ("old!", Read("/a/stays.txt"));
}

/* A user area without an image, as a new user has it: mount and format still fail as they did
 * (-1), and the last error's text names the missing image and what makes it; the next call that
 * succeeds leaves no stale text, and a low level format makes the image. */
TEST(ApiNewUser, AMissingImageIsNamedWithWhatCreatesIt) {
    const fs::path area = fs::temp_directory_path() / ("lxvd-api-new-" + lxtest::UniqueTag());
    fs::remove_all(area);
    fs::create_directories(area / "User Data");
    lxtest::SetUserArea(area.string());
    ASSERT_EQ(0, gfslInit(0));
    const std::string image = (area / "User Data" / "Pallix.img").string();
    auto reason = [] {
        char text[512];
        std::memset(text, 'x', sizeof text);
        gfslGetLastError(text, sizeof text);
        return std::string(text);
    };
    struct Call {
        const char* what;
        int (*run)();
    } calls[] = {
        {"mount", [] { return gfslMount(0); }},
        {"format", [] { return gfslFormat("/a", "FAT16", "WINDOWS", 0); }},
    };
    for (const Call& c : calls) {
        EXPECT_EQ(-1, c.run()) << c.what;
        const std::string text = reason();
        EXPECT_NE(std::string::npos, text.find(image)) << c.what << ": " << text;
        EXPECT_NE(std::string::npos, text.find("A low level format creates it")) << c.what << ": " << text;
        EXPECT_EQ(text, reason()) << "asking twice keeps it";
    }
    /* the text is cut to the caller's buffer, terminated */
    char small[12];
    std::memset(small, 'x', sizeof small);
    ASSERT_EQ(-1, gfslMount(0));
    gfslGetLastError(small, sizeof small);
    EXPECT_EQ(11u, std::strlen(small));
    ASSERT_EQ(0, gfslLowLevelFormat("/a", 1 << 20, 8 << 20));
    EXPECT_EQ("", reason());
    ASSERT_EQ(0, gfslFormat("/a", "FAT16", "WINDOWS", 0));
    ASSERT_EQ(0, gfslMount(0));
    EXPECT_EQ("", reason());
    EXPECT_TRUE(fs::exists(image));
    gfslInit(1);
    fs::remove_all(area);
}
