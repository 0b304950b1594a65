#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "fat/fatfs.h"
#include "testdisk.h"

using namespace lxfat;
using lxtest::Le16;
using lxtest::Le32;
using lxtest::Pattern;
using lxtest::TestDisk;

namespace {

u16string U(const char* s) {
    u16string u;
    Utf8ToUtf16(s, &u, 100000);
    return u;
}

struct Fs {
    TestDisk disk;
    FatFs fs;
    Partition part;
    Fs(uint32_t deviceSectors, uint32_t start, uint32_t count, int type, uint8_t fill = 0)
        : disk(deviceSectors, fill) {
        fs.SetClock(lxtest::FixedClock);
        fs.Init();
        part = disk.Part(start, count);
        EXPECT_EQ(0, fs.Format(0, part, "Pallix0", type)) << fs.error();
        EXPECT_EQ(0, fs.Mount(0, part)) << fs.error();
    }
    int WriteFile(const char* path, const std::vector<uint8_t>& data, int flags = 0x301) {
        int f = fs.Open(0, U(path), flags);
        if (f < 0) return fs.error();
        if (!data.empty() && fs.Write(f, data.data(), static_cast<uint32_t>(data.size())) != static_cast<int64_t>(data.size()))
            return fs.error();
        return fs.Close(f) == 0 ? 0 : fs.error();
    }
    std::vector<uint8_t> ReadFile(const char* path) {
        int f = fs.Open(0, U(path), 0);
        EXPECT_GE(f, 0) << path << " " << fs.error();
        std::vector<uint8_t> out;
        if (f < 0) return out;
        uint8_t buf[7000];
        for (int64_t n; (n = fs.Read(f, buf, sizeof buf)) > 0;) out.insert(out.end(), buf, buf + n);
        fs.Close(f);
        return out;
    }
    std::vector<std::string> List(const char* path) {
        std::vector<std::string> names;
        int d = fs.OpenDir(0, U(path));
        EXPECT_GE(d, 0) << fs.error();
        DirItem item;
        while (fs.ReadDir(d, &item) == 0) names.push_back(Utf16ToUtf8(item.name));
        fs.CloseDir(d);
        return names;
    }
    uint32_t Free() {
        VolumeInfo info;
        fs.Info(0, &info);
        return info.freeClusters;
    }
};

}  // namespace

TEST(FatFormat, Fat16LayoutOfA64MiBPartition) {
    Fs f(256 + 131072, 256, 131072, kTypeFat16);
    const uint8_t* b = f.disk.Sector(256);
    EXPECT_EQ(0xEB, b[0]);
    EXPECT_EQ(0, std::memcmp(b + 3, "MSWIN4.1", 8));
    EXPECT_EQ(512, Le16(b + 11));
    EXPECT_EQ(8, b[13]);
    EXPECT_EQ(1, b[16]);
    EXPECT_EQ(1024, Le16(b + 17));
    EXPECT_EQ(0, Le16(b + 19));
    EXPECT_EQ(131072u, Le32(b + 32));
    EXPECT_EQ(0xF8, b[21]);
    EXPECT_EQ(0, std::memcmp(b + 54, "FAT16   ", 8));
    EXPECT_EQ(0x55, b[510]);
    const uint32_t reserved = Le16(b + 14), fatSize = Le16(b + 22);
    /* the data area starts on a multiple of 256 device sectors, after 64 root sectors */
    EXPECT_EQ(0u, (256 + reserved + fatSize + 64) % 256);
    const uint8_t* fat = f.disk.Sector(256 + reserved);
    EXPECT_EQ(0xFFF8, Le16(fat));
    EXPECT_EQ(0xFFFF, Le16(fat + 2));
    const uint8_t* root = f.disk.Sector(256 + reserved + fatSize);
    EXPECT_EQ(0, std::memcmp(root, "PALLIX0    ", 11));
    EXPECT_EQ(0x08, root[11]);
    /* a real date: 2026-12-10 */
    EXPECT_EQ(((2026 - 1980) << 9) | (12 << 5) | 10, Le16(root + 24));
}

TEST(FatFormat, ClusterCountsStayInsideTheirType) {
    struct Case { uint32_t sectors; int type; bool ok; } cases[] = {
        {8400, kTypeFat16, true},  {8401, kTypeFat16, true},   {9000, kTypeFat16, true},
        {40000, kTypeFat16, true}, {70000, kTypeFat32, true},  {66000, kTypeFat32, false},
        {140000, kTypeFat32, true}, {5000, kTypeFat16, true},  {4000, kTypeFat16, false},
    };
    for (auto& c : cases) {
        TestDisk disk(c.sectors + 512);
        FatFs fs;
        fs.Init();
        const Partition p = disk.Part(256, c.sectors);
        const int rc = fs.Format(0, p, "X", c.type);
        EXPECT_EQ(c.ok ? 0 : -1, rc) << c.sectors;
        if (rc) continue;
        ASSERT_EQ(0, fs.Mount(0, p)) << c.sectors << " " << fs.error();
        VolumeInfo info;
        fs.Info(0, &info);
        if (c.type == kTypeFat16) {
            EXPECT_GE(info.clusterCount, 4085u);
            EXPECT_LE(info.clusterCount, 65524u);
        } else {
            EXPECT_GE(info.clusterCount, 65525u);
        }
        fs.Unmount(0);
    }
}

TEST(FatMount, RefusesBootSectorsItCannotTrust) {
    struct Case { const char* what; int offset; int width; uint32_t value; } cases[] = {
        {"768 bytes per sector", 11, 2, 768},   {"1024 bytes per sector", 11, 2, 1024},
        {"3 sectors per cluster", 13, 1, 3},    {"0 sectors per cluster", 13, 1, 0},
        {"no reserved sector", 14, 2, 0},       {"no FAT", 16, 1, 0},
        {"FAT size 0", 22, 2, 0},               {"no root entries", 17, 2, 0},
        {"larger than its partition", 19, 2, 50000}, {"no signature", 510, 1, 0},
        {"tiny FAT", 22, 2, 3},                 {"FAT12-sized", 19, 2, 2000},
    };
    for (auto& c : cases) {
        Fs f(256 + 40000, 256, 40000, kTypeFat16);
        f.fs.Unmount(0);
        uint8_t* b = f.disk.Sector(256);
        for (int i = 0; i < c.width; ++i) b[c.offset + i] = static_cast<uint8_t>(c.value >> (8 * i));
        EXPECT_EQ(-1, f.fs.Mount(0, f.part)) << c.what;
        EXPECT_EQ(kErrNotFat, f.fs.error()) << c.what;
    }
}

/* A partition entry cut shorter than the volume in it (edited by hand, or a neighbour moved in):
 * the FAT still covers every cluster the boot sector counts, so only the partition's bound stops
 * the volume from reaching past its end into whatever follows. */
TEST(FatMount, RefusesAVolumeLargerThanItsPartition) {
    struct Case { int type; uint32_t formatted; uint32_t partition; bool mounts; } cases[] = {
        {kTypeFat16, 40000, 40000 - 1, false},   {kTypeFat16, 40000, 40000 - 2048, false},
        {kTypeFat16, 40000, 40000, true},        {kTypeFat16, 40000, 40000 + 2048, true},
        {kTypeFat32, 140000, 140000 - 1, false}, {kTypeFat32, 140000, 140000, true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.formatted) + " sectors in a partition of " + std::to_string(c.partition));
        Fs f(256 + c.formatted + 2048, 256, c.formatted, c.type);
        VolumeInfo info;
        ASSERT_EQ(0, f.fs.Info(0, &info));
        ASSERT_EQ(0, f.fs.Unmount(0));
        /* the FAT holds an entry for every cluster of the formatted size */
        const uint8_t* b = f.disk.Sector(256);
        const uint32_t fatSectors = c.type == kTypeFat16 ? Le16(b + 22) : Le32(b + 36);
        ASSERT_GE(fatSectors * 512u / (c.type == kTypeFat16 ? 2 : 4), info.clusterCount + 2);
        const Partition shorter = f.disk.Part(256, c.partition);
        EXPECT_EQ(c.mounts ? 0 : -1, f.fs.Mount(0, shorter));
        if (c.mounts) {
            EXPECT_EQ(0, f.fs.Unmount(0));
        } else {
            EXPECT_EQ(kErrNotFat, f.fs.error());
        }
    }
}

TEST(FatFiles, DataRoundTripsAcrossManyClustersAndFreesOnTruncate) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    const uint32_t free0 = f.Free();
    auto data = Pattern(300000, 1);
    ASSERT_EQ(0, f.WriteFile("/big.bin", data));
    EXPECT_EQ(data, f.ReadFile("/big.bin"));
    EXPECT_LT(f.Free(), free0);
    ASSERT_EQ(0, f.WriteFile("/big.bin", {}));  /* "w" truncates */
    EXPECT_EQ(free0, f.Free());
    EXPECT_TRUE(f.ReadFile("/big.bin").empty());
    /* empty files have no cluster */
    uint8_t e[32];
    ASSERT_EQ(0, f.fs.Stat(0, U("/big.bin"), e));
    EXPECT_EQ(0u, Le32(e + 28));
    EXPECT_EQ(0, Le16(e + 26));
}

TEST(FatFiles, SmallWritesSeeksAndAppend) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    int h = f.fs.Open(0, U("/f.txt"), 0x102);
    ASSERT_GE(h, 0);
    std::string expect;
    for (int i = 0; i < 500; ++i) {
        std::string chunk = "line " + std::to_string(i) + "\n";
        ASSERT_EQ(static_cast<int64_t>(chunk.size()), f.fs.Write(h, chunk.data(), static_cast<uint32_t>(chunk.size())));
        expect += chunk;
    }
    ASSERT_EQ(0, f.fs.Seek(h, 5, 0));
    ASSERT_EQ(1, f.fs.Write(h, "X", 1));
    expect[5] = 'X';
    ASSERT_EQ(0, f.fs.Seek(h, -10, 2));
    EXPECT_EQ(static_cast<int64_t>(expect.size() - 10), f.fs.Tell(h));
    ASSERT_EQ(0, f.fs.Seek(h, -100000, 1));
    EXPECT_EQ(0, f.fs.Tell(h));
    EXPECT_EQ(-1, f.fs.Seek(h, 0, 3));
    f.fs.Close(h);
    h = f.fs.Open(0, U("/f.txt"), 0x109);  /* append */
    ASSERT_GE(h, 0);
    ASSERT_EQ(3, f.fs.Write(h, "end", 3));
    expect += "end";
    f.fs.Close(h);
    auto got = f.ReadFile("/f.txt");
    EXPECT_EQ(expect, std::string(got.begin(), got.end()));
}

TEST(FatFiles, SmallWritesReachTheDeviceTogetherAndAreReadBackBefore) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    const auto data = Pattern(32 * 4096, 9);
    int w = f.fs.Open(0, U("/run.bin"), 0x302);
    ASSERT_GE(w, 0);
    const uint64_t before = f.disk.mem->writes;
    for (int i = 0; i < 32; ++i) ASSERT_EQ(4096, f.fs.Write(w, data.data() + i * 4096, 4096));
    /* 128 KiB in 4 KiB writes went nowhere yet or in one request, not in 32 */
    EXPECT_LE(f.disk.mem->writes - before, 1u);
    /* a read of the same file, through another handle, sees every byte */
    int r = f.fs.Open(0, U("/run.bin"), 0);
    ASSERT_GE(r, 0);
    std::vector<uint8_t> got(data.size());
    ASSERT_EQ(static_cast<int64_t>(got.size()), f.fs.Read(r, got.data(), static_cast<uint32_t>(got.size())));
    EXPECT_EQ(data, got);
    f.fs.Close(r);
    /* a flush puts them on the device */
    ASSERT_EQ(0, f.fs.Flush(w));
    const auto& bytes = f.disk.mem->bytes();
    EXPECT_NE(bytes.end(), std::search(bytes.begin(), bytes.end(), data.begin(), data.end()));
    f.fs.Close(w);
    EXPECT_EQ(data, f.ReadFile("/run.bin"));
}

TEST(FatFiles, ExtendingNeverShowsOldBytes) {
    /* A device that does not erase what it frees: deleted data stays in the clusters. */
    Fs f(256 + 40000, 256, 40000, kTypeFat16, 0xAB);
    f.disk.rec.kind = 0;
    ASSERT_EQ(0, f.WriteFile("/old.bin", std::vector<uint8_t>(20000, 0x5A)));
    ASSERT_EQ(0, f.fs.Unlink(0, U("/old.bin")));
    int h = f.fs.Open(0, U("/new.bin"), 0x302);
    ASSERT_GE(h, 0);
    ASSERT_EQ(3, f.fs.Write(h, "abc", 3));
    ASSERT_EQ(0, f.fs.Seek(h, 9000, 0));
    ASSERT_EQ(1, f.fs.Write(h, "z", 1));
    f.fs.Close(h);
    auto got = f.ReadFile("/new.bin");
    ASSERT_EQ(9001u, got.size());
    for (size_t i = 3; i < 9000; ++i) ASSERT_EQ(0, got[i]) << i;
    EXPECT_EQ('z', got[9000]);
}

TEST(FatNamesOnVolume, CollidingShortNamesKeepTheirData) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    ASSERT_EQ(0, f.WriteFile("/a b.txt", {'1'}));
    ASSERT_EQ(0, f.WriteFile("/ab.txt", {'2'}));
    ASSERT_EQ(0, f.WriteFile("/a  b.txt", {'3'}));
    EXPECT_EQ(std::vector<uint8_t>{'1'}, f.ReadFile("/a b.txt"));
    EXPECT_EQ(std::vector<uint8_t>{'2'}, f.ReadFile("/ab.txt"));
    EXPECT_EQ(std::vector<uint8_t>{'3'}, f.ReadFile("/a  b.txt"));
    /* the generated 8.3 names open the same files */
    EXPECT_EQ(std::vector<uint8_t>{'1'}, f.ReadFile("/AB~1.TXT"));
    EXPECT_EQ(std::vector<uint8_t>{'3'}, f.ReadFile("/ab~2.txt"));
    auto names = f.List("/");
    EXPECT_EQ((std::vector<std::string>{"a b.txt", "ab.txt", "a  b.txt"}), names);
}

TEST(FatNamesOnVolume, CaseIsKeptAndIgnoredWhenLookingUp) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    ASSERT_EQ(0, f.WriteFile("/readme.txt", {'l'}));
    ASSERT_EQ(0, f.WriteFile("/Mixed.Txt", {'m'}));
    ASSERT_EQ(0, f.WriteFile("/UPPER.TXT", {'u'}));
    ASSERT_EQ(0, f.WriteFile("/MIXED.TXT", {'M'}));  /* the same file as Mixed.Txt */
    EXPECT_EQ((std::vector<std::string>{"readme.txt", "Mixed.Txt", "UPPER.TXT"}), f.List("/"));
    EXPECT_EQ(std::vector<uint8_t>{'M'}, f.ReadFile("/mixed.txt"));
    uint8_t e[32];
    ASSERT_EQ(0, f.fs.Stat(0, U("/README.TXT"), e));
    EXPECT_EQ(0, std::memcmp(e, "README  TXT", 11));
    EXPECT_EQ(0x18, e[12]);
    ASSERT_EQ(0, f.fs.Stat(0, U("/mixed.txt"), e));
    EXPECT_EQ(0, std::memcmp(e, "MIXED   TXT", 11));  /* no tail: nothing was lost */
}

TEST(FatNamesOnVolume, LongAndNonAsciiNames) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    const std::string longName = "/" + std::string(255, 'n');
    ASSERT_EQ(0, f.WriteFile(longName.c_str(), {'x'}));
    EXPECT_EQ(-8, f.WriteFile(("/" + std::string(256, 'n')).c_str(), {'x'}));
    const char* greek = "/\xce\xb1\xce\xb2\xce\xb3 \xe6\x96\x87\xe4\xbb\xb6.txt";
    ASSERT_EQ(0, f.WriteFile(greek, {'g'}));
    auto names = f.List("/");
    ASSERT_EQ(2u, names.size());
    EXPECT_EQ(longName.substr(1), names[0]);
    EXPECT_EQ(std::string(greek + 1), names[1]);
    EXPECT_EQ(std::vector<uint8_t>{'g'}, f.ReadFile(greek));
}

/* Another system wrote a run of twenty long-name entries whose name goes on past 255 units: the
 * entry is listed and opened by its 8.3 name instead. */
TEST(FatNamesOnVolume, ARunLongerThan255UnitsFallsBackToTheShortName) {
    const int offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (int extra : {0, 1, 3, 5}) {
        SCOPED_TRACE(255 + extra);
        Fs f(256 + 40000, 256, 40000, kTypeFat16);
        const std::string longName = std::string(255, 'n');
        ASSERT_EQ(0, f.WriteFile(("/" + longName).c_str(), {'x'}));
        ASSERT_EQ(0, f.fs.Unmount(0));
        const uint8_t* b = f.disk.Sector(256);
        uint8_t* root = f.disk.Sector(256 + Le16(b + 14) + Le16(b + 22));
        uint8_t* last = nullptr;  /* the entry of ordinal 20, stored first */
        for (int i = 0; i < 16 && !last; ++i)
            if (root[32 * i] == (0x40 | 20) && root[32 * i + 11] == 0x0F) last = root + 32 * i;
        ASSERT_NE(nullptr, last);
        /* units 255.. of the name: the terminator and the padding become letters */
        for (int j = 8; j < 8 + extra; ++j) {
            last[offsets[j]] = 'q';
            last[offsets[j] + 1] = 0;
        }
        ASSERT_EQ(0, f.fs.Mount(0, f.part));
        const std::vector<std::string> names = f.List("/");
        ASSERT_EQ(1u, names.size());
        EXPECT_EQ(extra ? "NNNNNN~1" : longName, names[0]);
        EXPECT_EQ(std::vector<uint8_t>{'x'}, f.ReadFile(("/" + names[0]).c_str()));
    }
}

TEST(FatFolders, CreateListRemoveAndRefusals) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    ASSERT_EQ(0, f.fs.Mkdir(0, U("/d1")));
    ASSERT_EQ(0, f.fs.Mkdir(0, U("/d1/d2")));
    EXPECT_EQ(-1, f.fs.Mkdir(0, U("/d1")));
    EXPECT_EQ(kErrExists, f.fs.error());
    EXPECT_EQ(-1, f.fs.Mkdir(0, U("/x/y")));
    EXPECT_EQ(kErrNotDirectory, f.fs.error());
    ASSERT_EQ(0, f.WriteFile("/d1/d2/file.txt", {'f'}));
    EXPECT_EQ((std::vector<std::string>{".", "..", "file.txt"}), f.List("/d1/d2"));
    EXPECT_EQ(-1, f.fs.Rmdir(0, U("/d1")));
    EXPECT_EQ(kErrNotEmpty, f.fs.error());
    EXPECT_EQ(-1, f.fs.Rmdir(0, U("/")));
    EXPECT_EQ(-1, f.fs.Unlink(0, U("/d1")));
    EXPECT_EQ(kErrIsDirectory, f.fs.error());
    EXPECT_EQ(-1, f.fs.Open(0, U("/d1"), 0));
    EXPECT_EQ(kErrIsDirectory, f.fs.error());
    EXPECT_EQ(-1, f.fs.Open(0, U("/d1/nothere/x"), 0x301));
    EXPECT_EQ(kErrNotDirectory, f.fs.error());
    int d = f.fs.OpenDir(0, U("/d1/d2"));
    ASSERT_EQ(0, f.fs.Unlink(0, U("/d1/d2/file.txt")));
    EXPECT_EQ(-1, f.fs.Rmdir(0, U("/d1/d2")));  /* a stream lists it */
    EXPECT_EQ(kErrBusy, f.fs.error());
    f.fs.CloseDir(d);
    const uint32_t before = f.Free();
    ASSERT_EQ(0, f.fs.Rmdir(0, U("/d1/d2")));
    EXPECT_EQ(before + 1, f.Free());
}

TEST(FatFolders, RenameMovesAndRefusesLoops) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    ASSERT_EQ(0, f.fs.Mkdir(0, U("/a")));
    ASSERT_EQ(0, f.fs.Mkdir(0, U("/a/b")));
    ASSERT_EQ(0, f.fs.Mkdir(0, U("/c")));
    ASSERT_EQ(0, f.WriteFile("/a/b/data.bin", {1, 2, 3}));
    EXPECT_EQ(-1, f.fs.Rename(0, U("/a"), U("/a/b/a2")));
    EXPECT_EQ(kErrInvalid, f.fs.error());
    EXPECT_EQ(-1, f.fs.Rename(0, U("/"), U("/z")));
    EXPECT_EQ(-1, f.fs.Rename(0, U("/a"), U("/c")));
    EXPECT_EQ(kErrExists, f.fs.error());
    EXPECT_EQ(-1, f.fs.Rename(0, U("/nope"), U("/z")));
    EXPECT_EQ(kErrNotFound, f.fs.error());

    ASSERT_EQ(0, f.fs.Rename(0, U("/a/b"), U("/c/moved folder")));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), f.ReadFile("/c/moved folder/data.bin"));
    /* ".." of the moved folder names its new parent */
    uint8_t parent[32], moved[32];
    ASSERT_EQ(0, f.fs.Stat(0, U("/c"), parent));
    ASSERT_EQ(0, f.fs.Stat(0, U("/c/moved folder"), moved));
    VolumeInfo info;
    f.fs.Info(0, &info);
    const uint8_t* b = f.disk.Sector(256);
    const uint32_t firstData = Le16(b + 14) + Le16(b + 22) + 64;
    const uint8_t* dot = f.disk.Sector(256 + firstData + (Le16(moved + 26) - 2) * b[13]);
    EXPECT_EQ(0, std::memcmp(dot + 32, "..         ", 11));
    EXPECT_EQ(Le16(parent + 26), Le16(dot + 32 + 26));

    ASSERT_EQ(0, f.fs.Rename(0, U("/c/moved folder/data.bin"), U("/c/moved folder/DATA.BIN")));
    EXPECT_EQ((std::vector<std::string>{".", "..", "DATA.BIN"}), f.List("/c/moved folder"));
    int h = f.fs.Open(0, U("/c/moved folder/data.bin"), 0);
    EXPECT_EQ(-1, f.fs.Rename(0, U("/c/moved folder/data.bin"), U("/x.bin")));
    EXPECT_EQ(kErrBusy, f.fs.error());
    EXPECT_EQ(-1, f.fs.Unlink(0, U("/c/moved folder/data.bin")));
    f.fs.Close(h);
}

TEST(FatFolders, SubfolderGrowsAndRootFills) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    ASSERT_EQ(0, f.fs.Mkdir(0, U("/many")));
    std::set<std::string> expect;
    for (int i = 0; i < 300; ++i) {
        std::string name = "a long file name number " + std::to_string(i) + ".data";
        ASSERT_EQ(0, f.WriteFile(("/many/" + name).c_str(), {static_cast<uint8_t>(i)})) << i;
        expect.insert(name);
    }
    auto names = f.List("/many");
    std::set<std::string> got(names.begin() + 2, names.end());
    EXPECT_EQ(expect, got);
    EXPECT_EQ(std::vector<uint8_t>{77}, f.ReadFile("/many/a long file name number 77.data"));

    /* the FAT16 root holds 1,024 entries, the label takes one */
    int made = 0;
    for (; made < 1100; ++made) {
        const std::string name = "/F" + std::to_string(made);
        if (f.WriteFile(name.c_str(), {}) != 0) break;
    }
    EXPECT_EQ(1023 - 1, made);
    EXPECT_EQ(kErrNoSpace, f.fs.error());
}

TEST(FatFiles, Limits) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    std::vector<int> open;
    for (int i = 0; i < 30; ++i) {
        int h = f.fs.Open(0, U(("/f" + std::to_string(i)).c_str()), 0x301);
        ASSERT_GE(h, 0);
        open.push_back(h);
    }
    EXPECT_EQ(-1, f.fs.Open(0, U("/f30"), 0x301));
    EXPECT_EQ(kErrNoContext, f.fs.error());
    for (int h : open) f.fs.Close(h);
    std::vector<int> dirs;
    for (int i = 0; i < 10; ++i) dirs.push_back(f.fs.OpenDir(0, U("/")));
    EXPECT_EQ(-1, f.fs.OpenDir(0, U("/")));
    EXPECT_EQ(kErrNoDirObject, f.fs.error());
    EXPECT_EQ(-1, f.fs.Tell(30));
    EXPECT_EQ(kErrBadHandle, f.fs.error());
    EXPECT_EQ(-1, f.fs.Open(0, U("/f1"), 0x501));
    EXPECT_EQ(kErrExists, f.fs.error());
    EXPECT_EQ(-1, f.fs.Open(0, U("/missing"), 0));
    EXPECT_EQ(kErrNotFound, f.fs.error());
}

TEST(FatFiles, FullVolumeWritesWhatFitsAndStaysConsistent) {
    Fs f(256 + 9000, 256, 8400, kTypeFat16);
    const uint32_t free0 = f.Free();
    int h = f.fs.Open(0, U("/fill"), 0x301);
    auto data = Pattern(static_cast<size_t>(free0) * 512 + 5000, 3);
    const int64_t n = f.fs.Write(h, data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_EQ(static_cast<int64_t>(free0) * 512, n);
    EXPECT_EQ(0u, f.Free());
    EXPECT_EQ(0, f.fs.Write(h, data.data(), 10));  /* no room: nothing written */
    EXPECT_EQ(kErrNoSpace, f.fs.error());
    f.fs.Close(h);
    EXPECT_EQ(-1, f.fs.Mkdir(0, U("/nodir")));
    ASSERT_EQ(0, f.fs.Unlink(0, U("/fill")));
    EXPECT_EQ(free0, f.Free());
}

TEST(FatChains, CyclesAndWildValuesEndInErrors) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    ASSERT_EQ(0, f.WriteFile("/cyc", Pattern(20000, 9)));
    ASSERT_EQ(0, f.WriteFile("/wild", Pattern(5000, 9)));
    uint8_t e1[32], e2[32];
    f.fs.Stat(0, U("/cyc"), e1);
    f.fs.Stat(0, U("/wild"), e2);
    ASSERT_EQ(0, f.fs.Unmount(0));
    const uint8_t* b = f.disk.Sector(256);
    uint8_t* fat = f.disk.Sector(256 + Le16(b + 14));
    const uint32_t c1 = Le16(e1 + 26), c2 = Le16(e2 + 26);
    fat[(c1 + 3) * 2] = static_cast<uint8_t>(c1);  /* fourth cluster points back at the first */
    fat[(c1 + 3) * 2 + 1] = static_cast<uint8_t>(c1 >> 8);
    fat[(c2 + 1) * 2] = 0xF0;                          /* past the last cluster */
    fat[(c2 + 1) * 2 + 1] = 0xFF;
    ASSERT_EQ(0, f.fs.Mount(0, f.part));
    uint8_t buf[30000];
    {
        int h = f.fs.Open(0, U("/cyc"), 0);
        ASSERT_GE(h, 0);
        EXPECT_EQ(-1, f.fs.Read(h, buf, sizeof buf));
        EXPECT_EQ(kErrShortChain, f.fs.error());
        EXPECT_EQ(-1, f.fs.Write(h, buf, 1));
        f.fs.Close(h);
        EXPECT_EQ(0, f.fs.Unlink(0, U("/cyc")));
    }
    /* a wild value where the end mark belongs ends the chain there: the file keeps its clusters */
    EXPECT_TRUE(f.ReadFile("/wild") == Pattern(5000, 9));
    EXPECT_EQ(0, f.fs.Unlink(0, U("/wild")));
}

/* A file whose chain was cut after its second cluster (a reserved value where the link
 * belongs): setting a size whose end lies past the cut, smaller or larger, answers -26 and
 * leaves the volume as it was. */
TEST(FatChains, SettingASizePastWhereACutChainEndsChangesNothing) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);  /* 4 KiB clusters */
    ASSERT_EQ(0, f.WriteFile("/cut", Pattern(3 * 4096, 5)));
    uint8_t e[32];
    ASSERT_EQ(0, f.fs.Stat(0, U("/cut"), e));
    ASSERT_EQ(0, f.fs.Unmount(0));
    const uint8_t* boot = f.disk.Sector(256);
    uint8_t* fat = f.disk.Sector(256 + Le16(boot + 14));
    const uint32_t second = Le16(e + 26) + 1;
    fat[second * 2] = 0xF0;
    fat[second * 2 + 1] = 0xFF;
    const std::vector<uint8_t> before = f.disk.mem->bytes();
    ASSERT_EQ(0, f.fs.Mount(0, f.part));
    const int h = f.fs.Open(0, U("/cut"), kOpenReadWrite);
    ASSERT_GE(h, 0);
    for (uint64_t size : {2 * 4096 + 1, 3 * 4096 - 1000, 4 * 4096}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(-1, f.fs.SetSize(h, size));
        EXPECT_EQ(kErrShortChain, f.fs.error());
    }
    EXPECT_EQ(0, f.fs.Close(h));
    ASSERT_EQ(0, f.fs.Unmount(0));
    EXPECT_TRUE(f.disk.mem->bytes() == before) << "the volume changed";
}

/* A stop between two FAT writes of another system left a chain running into a free cluster
 * (or past the volume). Clusters handed out since belong to new files; removing the damaged
 * file frees its own clusters and never follows its chain into theirs. */
TEST(FatChains, AChainIntoAFreeClusterEndsThereAndItsRemovalSparesOtherFiles) {
    struct Case {
        const char* damage;
        bool pastTheVolume;
    };
    for (const Case c : {Case{"link into a free cluster", false}, Case{"link past the volume", true}}) {
        SCOPED_TRACE(c.damage);
        Fs f(256 + 40000, 256, 40000, kTypeFat16);
        const auto damagedData = Pattern(6 * 2048, 1), keptData = Pattern(3000, 2);
        ASSERT_EQ(0, f.WriteFile("/damaged.bin", damagedData));
        ASSERT_EQ(0, f.WriteFile("/kept.txt", keptData));
        uint8_t e[32];
        ASSERT_EQ(0, f.fs.Stat(0, U("/damaged.bin"), e));
        const uint32_t first = Le16(e + 26);
        ASSERT_EQ(0, f.fs.Unmount(0));
        const uint8_t* boot = f.disk.Sector(256);
        for (uint32_t copy = 0; copy < boot[16]; ++copy) {
            uint8_t* fat = f.disk.Sector(256 + Le16(boot + 14) + copy * Le16(boot + 22));
            ASSERT_EQ(first + 2, Le16(fat + (first + 1) * 2));  /* a plain run of clusters */
            if (c.pastTheVolume) {
                fat[(first + 1) * 2] = 0xF0;
                fat[(first + 1) * 2 + 1] = 0xFF;
            } else {
                fat[(first + 2) * 2] = 0;  /* the third cluster reads as free */
                fat[(first + 2) * 2 + 1] = 0;
            }
        }
        ASSERT_EQ(0, f.fs.Mount(0, f.part));
        /* new files take the free cluster (and whatever follows it) */
        const auto fresh = Pattern(40 * 2048, 3);
        ASSERT_EQ(0, f.WriteFile("/fresh.bin", fresh));
        ASSERT_EQ(0, f.fs.Unlink(0, U("/damaged.bin")));
        ASSERT_EQ(0, f.fs.Unmount(0));
        ASSERT_EQ(0, f.fs.Mount(0, f.part));
        EXPECT_TRUE(f.ReadFile("/fresh.bin") == fresh) << "the removal reached into a newer file";
        EXPECT_TRUE(f.ReadFile("/kept.txt") == keptData);
        /* every cluster of the newer file is still taken after a fresh count */
        VolumeInfo info;
        ASSERT_EQ(0, f.fs.Info(0, &info));
        ASSERT_EQ(0, f.fs.Unlink(0, U("/fresh.bin")));
        EXPECT_EQ(info.freeClusters + fresh.size() / info.bytesPerCluster, f.Free());
    }
}

TEST(FatVolumes, LargeFat32VolumeMountsAndKeepsItsFreeCount) {
    /* more clusters than one shared 8 KiB bitmap could ever hold */
    const uint32_t sectors = 300000 + 2400;
    Fs f(256 + sectors, 256, sectors, kTypeFat32);
    VolumeInfo info;
    ASSERT_EQ(0, f.fs.Info(0, &info));
    EXPECT_GT(info.clusterCount, 65630u);
    auto data = Pattern(100000, 5);
    ASSERT_EQ(0, f.WriteFile("/deep1", data));
    EXPECT_EQ(data, f.ReadFile("/deep1"));
    f.fs.Sync(0);
    const uint8_t* fsinfo = f.disk.Sector(256 + 1);
    f.fs.Info(0, &info);
    EXPECT_EQ(info.freeClusters, Le32(fsinfo + 488));
}

TEST(FatVolumes, ShutdownWritesEverything) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    int h = f.fs.Open(0, U("/pending.txt"), 0x301);
    ASSERT_EQ(5, f.fs.Write(h, "hello", 5));
    f.fs.Shutdown();
    FatFs again;
    again.Init();
    ASSERT_EQ(0, again.Mount(0, f.part));
    int r = again.Open(0, U("/pending.txt"), 0);
    ASSERT_GE(r, 0);
    char buf[10] = {};
    EXPECT_EQ(5, again.Read(r, buf, 10));
    EXPECT_STREQ("hello", buf);
}

TEST(FatNamesOnVolume, AnEntryAfterADeletedLongNameIsListed) {
    Fs f(256 + 40000, 256, 40000, kTypeFat16);
    ASSERT_EQ(0, f.fs.Unmount(0));
    const uint8_t* b = f.disk.Sector(256);
    uint8_t* root = f.disk.Sector(256 + Le16(b + 14) + Le16(b + 22));
    uint8_t* lfn = root + 32;
    std::memset(lfn, 0xFF, 32);
    lfn[0] = 0xE5;
    lfn[11] = 0x0F;
    uint8_t* live = root + 64;
    std::memset(live, 0, 32);
    std::memcpy(live, "LIVE    TXT", 11);
    live[11] = 0x20;
    ASSERT_EQ(0, f.fs.Mount(0, f.part));
    EXPECT_EQ((std::vector<std::string>{"LIVE.TXT"}), f.List("/"));
    uint8_t e[32];
    EXPECT_EQ(0, f.fs.Stat(0, U("/live.txt"), e));
}

namespace {

/* Two copies of one volume: the first indexes its folders, the second reads them for every
 * search. Whatever is done to both must give the same results and the same device bytes. */
struct Twin {
    Fs indexed, scanning;
    Twin(uint32_t sectors, int type) : indexed(sectors, 0, sectors, type), scanning(sectors, 0, sectors, type) {
        scanning.fs.SetFolderIndexing(false);
    }
    template <typename Op>
    void Both(const std::string& what, Op op) {
        const int64_t a = op(indexed), b = op(scanning);
        ASSERT_EQ(a, b) << what;
        if (a < 0) {
            ASSERT_EQ(indexed.fs.error(), scanning.fs.error()) << what;
        }
    }
    /* Empty when both devices hold the same bytes, else where they first differ. */
    std::string Difference() {
        const auto& a = indexed.disk.mem->bytes();
        const auto& b = scanning.disk.mem->bytes();
        if (a == b) return "";
        if (a.size() != b.size()) return "sizes differ";
        size_t s = 0;
        while (std::memcmp(a.data() + s * 512, b.data() + s * 512, 512) == 0) ++s;
        return "sector " + std::to_string(s);
    }
};

std::string PoolName(std::mt19937& rng) {
    const int k = static_cast<int>(rng() % 60);
    char n[80];
    switch (rng() % 6) {
    case 0: std::snprintf(n, sizeof n, "a file with a long name number %04d.txt", k); break;  /* one base, many tails */
    case 1: std::snprintf(n, sizeof n, "Mixed%d.Txt", k); break;                              /* case kept in a long name */
    case 2: std::snprintf(n, sizeof n, "F%d.BIN", k); break;                                  /* 8.3 alone */
    case 3: std::snprintf(n, sizeof n, "f%d.bin", k); break;                                  /* the same, other case */
    case 4: std::snprintf(n, sizeof n, "a long folder name that needs many slots %d", k); break;
    default: std::snprintf(n, sizeof n, "Z%d~1.TXT", k % 4); break;                           /* looks like a tail */
    }
    return n;
}

void RandomWork(Twin& t, uint32_t seed, int steps, int compareEvery) {
    std::mt19937 rng(seed);
    const char* const dirs[] = {"", "/d1", "/d1/sub", "/d2"};
    t.Both("mkdirs", [](Fs& f) {
        return f.fs.Mkdir(0, U("/d1")) + f.fs.Mkdir(0, U("/d1/sub")) + f.fs.Mkdir(0, U("/d2"));
    });
    for (int step = 0; step < steps; ++step) {
        const std::string dir = dirs[rng() % 4];
        const std::string path = dir + "/" + PoolName(rng);
        const std::string other = std::string(dirs[rng() % 4]) + "/" + PoolName(rng);
        const size_t bytes = rng() % 1500;
        const std::string what = std::to_string(step) + " " + path;
        switch (rng() % 9) {
        case 0: case 1: case 2:
            t.Both("create " + what, [&](Fs& f) { return f.WriteFile(path.c_str(), Pattern(bytes, step)); });
            break;
        case 3: case 4:
            t.Both("unlink " + what, [&](Fs& f) { return f.fs.Unlink(0, U(path.c_str())); });
            break;
        case 5:
            t.Both("rename " + what + " -> " + other, [&](Fs& f) { return f.fs.Rename(0, U(path.c_str()), U(other.c_str())); });
            break;
        case 6:
            t.Both("mkdir/rmdir " + what, [&](Fs& f) {
                return step % 2 ? f.fs.Mkdir(0, U(path.c_str())) : f.fs.Rmdir(0, U(path.c_str()));
            });
            break;
        case 7:
            t.Both("stat " + what, [&](Fs& f) -> int64_t {
                uint8_t e[32];
                if (f.fs.Stat(0, U(path.c_str()), e) != 0) return -1;
                return Le32(e + 28) * 1000003ll + Le16(e + 26) + e[11] * 7 + e[0] + e[7];
            });
            break;
        default:
            t.Both("append " + what, [&](Fs& f) { return f.WriteFile(path.c_str(), Pattern(bytes, step), 0x109); });
            break;
        }
        if (::testing::Test::HasFatalFailure()) return;
        if (step % compareEvery == 0) {
            ASSERT_EQ(t.Difference(), "") << "after step " << what;
        }
    }
    for (const char* d : dirs)
        EXPECT_EQ(t.indexed.List(*d ? d : "/"), t.scanning.List(*d ? d : "/")) << d;
    EXPECT_EQ(t.Difference(), "");
}

}  // namespace

TEST(FatFolderIndex, AnswersAsTheScansDoOnFat16) {
    Twin t(8400, kTypeFat16);  /* 512-byte clusters: folders grow every 16 entries */
    RandomWork(t, 7, 3000, 10);
}

TEST(FatFolderIndex, AnswersAsTheScansDoOnFat32) {
    Twin t(66600, kTypeFat32);
    RandomWork(t, 11, 1500, 50);
}

TEST(FatFolderIndex, LongNameLeftBeforeAFreedSlotIsSeenAsTheScanSeesIt) {
    /* The 8.3 entry of a long name is lost (as a stop in the middle of a delete by another
     * system leaves it): its long-name run stands alone before a free slot. A new 8.3-only
     * entry with the same checksum placed there is read with that long name. */
    Twin t(8400, kTypeFat16);
    t.Both("create", [](Fs& f) { return f.WriteFile("/Long Name Here.txt", {1, 2, 3}); });
    for (Fs* f : {&t.indexed, &t.scanning}) {
        uint8_t e[32];
        ASSERT_EQ(0, f->fs.Stat(0, U("/Long Name Here.txt"), e));  /* the index knows the folder now */
        ASSERT_EQ(0, std::memcmp(e, "LONGNA~1TXT", 11));
        /* the root of this FAT16 volume: label at 0, the long name at 1-2, its 8.3 entry at 3 */
        VolumeInfo info;
        f->fs.Info(0, &info);
        uint8_t* root = nullptr;
        for (uint32_t s = 0; s < 8400 && !root; ++s)
            if (std::memcmp(f->disk.Sector(s) + 96, "LONGNA~1TXT", 11) == 0) root = f->disk.Sector(s);
        ASSERT_NE(nullptr, root);
        root[96] = 0xE5;
    }
    /* Both learn of the device change as the volume layer tells them of raw writes. */
    t.Both("remount", [](Fs& f) { return f.fs.Remount(0); });
    t.Both("lookup before", [](Fs& f) { return f.fs.Access(0, U("/Long Name Here.txt")); });
    t.Both("create 8.3", [](Fs& f) { return f.WriteFile("/LONGNA~1.TXT", {4}); });
    t.Both("lookup after", [](Fs& f) { return f.fs.Access(0, U("/Long Name Here.txt")); });
    EXPECT_EQ(t.indexed.List("/"), t.scanning.List("/"));
    EXPECT_EQ(t.Difference(), "");
}
