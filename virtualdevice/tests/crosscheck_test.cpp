/* The standard tools judge the volumes: fsck.fat checks what this module wrote, mtools lists
 * and reads it, and volumes made by mkfs.fat and filled by mcopy are read here. */
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "profiler.h"
#include "shell.h"
#include "testdisk.h"
#include "vdapi.h"

namespace fs = std::filesystem;

namespace {

using lxtest::Result;
using lxtest::Shell;

std::string Q(const std::string& s) { return "'" + s + "'"; }

std::string ReadAt(const fs::path& p, uint64_t offset, uint64_t bytes) {
    std::ifstream f(p, std::ios::binary);
    std::string s(bytes, '\0');
    f.seekg(static_cast<std::streamoff>(offset));
    f.read(&s[0], static_cast<std::streamsize>(bytes));
    s.resize(static_cast<size_t>(f.gcount()));
    return s;
}

std::string ReadAll(const fs::path& p) { return ReadAt(p, 0, fs::file_size(p)); }

uint32_t Le32(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8) |
           (static_cast<uint8_t>(s[at + 2]) << 16) | (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24);
}

/* Copies the volume at partition-table entry `slot` out of an image. */
fs::path CutVolume(const fs::path& image, int slot, const fs::path& out) {
    const std::string mbr = ReadAt(image, 0, 512);
    const uint32_t start = Le32(mbr, 446 + 16 * slot + 8), count = Le32(mbr, 446 + 16 * slot + 12);
    const std::string vol = ReadAt(image, static_cast<uint64_t>(start) * 512, static_cast<uint64_t>(count) * 512);
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    f.write(vol.data(), static_cast<std::streamsize>(vol.size()));
    return out;
}

class Tools : public ::testing::Test {
protected:
    fs::path area;
    std::map<std::string, std::string> files;  /* path below the volume -> bytes */
    std::set<std::string> dirs;

    void SetUp() override {
        ::setenv("MTOOLS_SKIP_CHECK", "1", 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        area = fs::temp_directory_path() / ("lxvd-tools-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(area);
        fs::create_directories(area / "User Data");
        ::setenv("LX_USER_AREA", area.c_str(), 1);
        ASSERT_EQ(0, gfslInit(0));
    }
    void TearDown() override {
        gfslInit(1);
        fs::remove_all(area);
    }
    fs::path Image() const { return area / "User Data" / "Pallix.img"; }

    void Put(const std::string& path, const std::string& data) {
        int h = gfslfopen(("/a" + path).c_str(), "w");
        ASSERT_GE(h, 0) << path << " " << lxvd::VdFsError();
        for (size_t off = 0; off < data.size(); off += 128 * 1024) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(128 * 1024, data.size() - off));
            ASSERT_EQ(n, gfslfwrite(data.data() + off, 1, n, h)) << path;
        }
        ASSERT_EQ(0, gfslfclose(h));
        files[path] = data;
    }
    void Mkdir(const std::string& path) {
        ASSERT_EQ(0, gfslmkdir(("/a" + path).c_str(), 0)) << path << " " << lxvd::VdFsError();
        dirs.insert(path);
    }
    std::string Get(const std::string& path) {
        int h = gfslfopen(("/a" + path).c_str(), "r");
        if (h < 0) return "<missing>";
        std::string out;
        static char buf[128 * 1024];
        for (uint32_t n; (n = gfslfread(buf, 1, sizeof buf, h)) > 0 && n != static_cast<uint32_t>(-1);) out.append(buf, n);
        gfslfclose(h);
        return out;
    }
    static std::string Bytes(size_t n, uint32_t seed) {
        auto v = lxtest::Pattern(n, seed);
        return std::string(v.begin(), v.end());
    }

    /* A mix of what users do: long, case-only, colliding and non-ASCII names, empty and large
     * files, deep folders, a folder that grows, deletions and renames. */
    void Fill() {
        Put("/A Long File Name With Spaces.txt", Bytes(1000, 1));
        Put("/readme.txt", "lower");
        Put("/README.TXT", "same file, other case");
        files.erase("/README.TXT");
        files["/readme.txt"] = "same file, other case";
        Put("/Mixed Case Name.Data", Bytes(5000, 2));
        Put("/Ünïcødé 文件.bin", Bytes(777, 3));
        Put("/empty.dat", "");
        Put("/big.bin", Bytes(3 << 20, 4));
        Put("/a b.txt", "one");
        Put("/ab.txt", "two");
        std::string deep;
        for (int i = 1; i <= 12; ++i) {
            deep += "/level " + std::to_string(i);
            Mkdir(deep);
        }
        Put(deep + "/bottom.txt", "deep");
        Mkdir("/Grow");
        for (int i = 0; i < 60; ++i) Put("/Grow/entry with a long name " + std::to_string(i) + ".txt", Bytes(100 + i * 50, i));
        for (int i = 0; i < 60; i += 3) {
            const std::string p = "/Grow/entry with a long name " + std::to_string(i) + ".txt";
            ASSERT_EQ(0, gfslunlink(("/a" + p).c_str())) << p;
            files.erase(p);
        }
        ASSERT_EQ(0, gfslrename("/a/Grow/entry with a long name 1.txt", "/a/moved out.txt"));
        files["/moved out.txt"] = files["/Grow/entry with a long name 1.txt"];
        files.erase("/Grow/entry with a long name 1.txt");
        Mkdir("/Old Folder");
        Put("/Old Folder/inside.txt", "in");
        ASSERT_EQ(0, gfslrename("/a/Old Folder", "/a/level 1/New Folder"));
        dirs.erase("/Old Folder");
        dirs.insert("/level 1/New Folder");
        files.erase("/Old Folder/inside.txt");
        files["/level 1/New Folder/inside.txt"] = "in";
        Put("/big.bin", Bytes(1 << 20, 5));  /* rewritten shorter */
    }

    /* The image of this device around a volume: partition table with the volume at sector 2048
     * in an entry of `entrySectors`, the volume, and the trailer. */
    void WrapAsImage(const fs::path& volume, uint32_t entrySectors) {
        const std::string bytes = ReadAll(volume);
        std::string image(2048 * 512, '\0');
        image[510] = 0x55;
        image[511] = static_cast<char>(0xAA);
        const uint32_t entry[2] = {2048, entrySectors};
        image[446 + 4] = 0x06;
        std::memcpy(&image[446 + 8], entry, 8);
        image += bytes;
        uint32_t trailer[8] = {2048 * 512, static_cast<uint32_t>(bytes.size()), ~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
        image.append(reinterpret_cast<const char*>(trailer), sizeof trailer);
        std::ofstream(Image(), std::ios::binary | std::ios::trunc) << image;
    }

    void ExpectToolsAgree(const fs::path& volume) {
        Result fsck = Shell("fsck.fat -n " + Q(volume.string()));
        EXPECT_EQ(0, fsck.code) << fsck.out;
        EXPECT_EQ(std::string::npos, fsck.out.find("Free cluster summary wrong")) << fsck.out;
        Result dir = Shell("mdir -i " + Q(volume.string()) + " -/ -b ::/");
        ASSERT_EQ(0, dir.code) << dir.out;
        std::set<std::string> listed, expected;
        std::istringstream lines(dir.out);
        for (std::string l; std::getline(lines, l);)
            if (l.rfind("::/", 0) == 0) listed.insert(l.substr(2));
        for (auto& f : files) expected.insert(f.first);
        for (auto& d : dirs) expected.insert(d + "/");
        EXPECT_EQ(expected, listed);
        for (auto& f : files) {
            Result t = Shell("mtype -i " + Q(volume.string()) + " " + Q("::" + f.first));
            EXPECT_EQ(0, t.code) << f.first;
            EXPECT_TRUE(t.out == f.second) << f.first << " differs (" << t.out.size() << " bytes)";
        }
    }
};

}  // namespace

TEST_F(Tools, VolumesFormattedHereAreCleanForFsckAndMtools) {
    struct Case { const char* type; uint32_t mib; } cases[] = {{"FAT16", 20}, {"FAT16", 100}, {"FAT32", 40}, {"FAT32", 80}};
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + std::to_string(c.mib) + " MiB");
        files.clear();
        dirs.clear();
        ASSERT_EQ(0, gfslLowLevelFormat("/a", 1 << 20, c.mib << 20));
        ASSERT_EQ(0, gfslFormat("/a", c.type, nullptr, 0)) << lxvd::VdFsError();
        ASSERT_EQ(0, gfslMount(0));
        Fill();
        ASSERT_EQ(0, gfslInit(1));  /* everything pending reaches the image */
        ExpectToolsAgree(CutVolume(Image(), 0, area / "volume.bin"));
        ASSERT_EQ(0, gfslInit(0));
        ASSERT_EQ(0, gfslMount(0));
        for (auto& f : files) EXPECT_TRUE(Get(f.first) == f.second) << f.first;
        ASSERT_EQ(0, gfslUnmount(0));
    }
}

TEST_F(Tools, VolumesMadeByMkfsAndMcopyAreReadAndKeptClean) {
    for (int bits : {16, 32}) {
        SCOPED_TRACE(bits);
        files.clear();
        dirs.clear();
        const fs::path vol = area / "made.bin", src = area / "src";
        fs::remove_all(src);
        fs::create_directories(src / "Sub Folder" / "deeper");
        std::map<std::string, std::string> made = {
            {"/plain.txt", "plain"},
            {"/A long name made by mtools.txt", Bytes(70000, 7)},
            {"/Sub Folder/inner file.bin", Bytes(200000, 8)},
            {"/Sub Folder/deeper/x.y", "xy"},
            {"/empty", ""},
        };
        for (auto& m : made) std::ofstream(src.string() + m.first, std::ios::binary) << m.second;
        const uint32_t sectors = bits == 16 ? 40960 : 81920;
        fs::remove(vol);
        Result mk = Shell("mkfs.fat -F " + std::to_string(bits) + " -C " + Q(vol.string()) + " " + std::to_string(sectors / 2));
        ASSERT_EQ(0, mk.code) << mk.out;
        Result cp = Shell("mcopy -s -i " + Q(vol.string()) + " " + Q((src / "plain.txt").string()) + " " +
                        Q((src / "A long name made by mtools.txt").string()) + " " + Q((src / "Sub Folder").string()) +
                        " " + Q((src / "empty").string()) + " ::/");
        ASSERT_EQ(0, cp.code) << cp.out;

        WrapAsImage(vol, sectors);

        ASSERT_EQ(0, gfslMount(0)) << lxvd::VdFsError();
        for (auto& m : made) EXPECT_TRUE(Get(m.first) == m.second) << m.first;
        files = made;
        dirs = {"/Sub Folder", "/Sub Folder/deeper"};
        Put("/added here with a long name.txt", Bytes(50000, 9));
        Mkdir("/new folder");
        Put("/new folder/x.txt", "x");
        ASSERT_EQ(0, gfslunlink("/a/plain.txt"));
        files.erase("/plain.txt");
        ASSERT_EQ(0, gfslunlink("/a/Sub Folder/deeper/x.y"));
        files.erase("/Sub Folder/deeper/x.y");
        ASSERT_EQ(0, gfslInit(1));
        const fs::path out = CutVolume(Image(), 0, area / "volume.bin");
        ExpectToolsAgree(out);
        /* both FAT copies say the same */
        const std::string v = ReadAll(out);
        const uint32_t reserved = static_cast<uint8_t>(v[14]) | (static_cast<uint8_t>(v[15]) << 8);
        const uint32_t fatSize = bits == 16 ? (static_cast<uint8_t>(v[22]) | (static_cast<uint8_t>(v[23]) << 8)) : Le32(v, 36);
        ASSERT_EQ(2, v[16]);
        EXPECT_TRUE(v.compare(reserved * 512, fatSize * 512, v, (reserved + fatSize) * 512, fatSize * 512) == 0);
        ASSERT_EQ(0, gfslInit(0));
    }
}

/* A partition entry cut shorter than the mkfs.fat volume in it: the volume would reach past its
 * partition, so it is refused; the entry that holds it whole mounts it. */
TEST_F(Tools, AVolumeLargerThanItsPartitionEntryIsRefused) {
    for (int bits : {16, 32}) {
        SCOPED_TRACE(bits);
        const fs::path vol = area / "made.bin";
        const uint32_t sectors = bits == 16 ? 40960 : 81920;
        fs::remove(vol);
        Result mk = Shell("mkfs.fat -F " + std::to_string(bits) + " -C " + Q(vol.string()) + " " + std::to_string(sectors / 2));
        ASSERT_EQ(0, mk.code) << mk.out;
        struct Case { uint32_t entry; bool mounts; } cases[] = {
            {sectors - 1, false}, {sectors - 2048, false}, {sectors, true},
        };
        for (auto& c : cases) {
            SCOPED_TRACE(c.entry);
            ASSERT_EQ(0, gfslInit(1));
            WrapAsImage(vol, c.entry);
            ASSERT_EQ(0, gfslInit(0));
            EXPECT_EQ(c.mounts ? 0 : -1, gfslMount(0));
            if (!c.mounts) EXPECT_EQ(lxfat::kErrNotFat, lxvd::VdFsError());
        }
    }
}

namespace {

/* A volume made by mkfs.fat holding F.TXT (6,000 bytes: three 2 KiB clusters on FAT16, twelve of
 * 512 bytes on FAT32) and KEEP.TXT, copied there by mcopy, with what is needed to damage it the
 * way another system's fault leaves a volume. */
struct Made {
    std::string bytes;
    uint32_t width = 0, reserved = 0, fats = 0, fatSize = 0, clusters = 0;
    std::vector<uint32_t> chain;  /* F.TXT's clusters, as mshowfat follows them */
    static constexpr const char* kKept = "kept by the other file\n";

    /* Sets a FAT entry in every copy of the FAT. */
    void SetFat(uint32_t cluster, uint32_t value) {
        for (uint32_t k = 0; k < fats; ++k)
            for (uint32_t b = 0; b < width; ++b)
                bytes[(reserved + k * fatSize) * 512 + cluster * width + b] = static_cast<char>(value >> (8 * b));
    }
    uint32_t Fat(const std::string& vol, uint32_t copy, uint32_t cluster) const {
        uint32_t v = 0;
        for (uint32_t b = 0; b < width; ++b)
            v |= static_cast<uint32_t>(static_cast<uint8_t>(vol[(reserved + copy * fatSize) * 512 + cluster * width + b])) << (8 * b);
        return v;
    }
    /* F.TXT's 8.3 entry in the root folder (the first data cluster on FAT32). */
    size_t Entry() const { return bytes.find("F       TXT", (reserved + fats * fatSize) * 512); }

    static Made Make(int bits, const fs::path& dir) {
        Made m;
        const fs::path vol = dir / "made.bin", data = dir / "F.TXT", kept = dir / "KEEP.TXT";
        fs::remove(vol);
        auto pattern = lxtest::Pattern(6000, 6);
        std::ofstream(data, std::ios::binary).write(reinterpret_cast<const char*>(pattern.data()), 6000);
        std::ofstream(kept, std::ios::binary) << kKept;
        const Result mk = Shell("mkfs.fat -F " + std::to_string(bits) + " -C " + Q(vol.string()) + (bits == 16 ? " 20480" : " 40960"));
        EXPECT_EQ(0, mk.code) << mk.out;
        const Result cp = Shell("mcopy -i " + Q(vol.string()) + " " + Q(data.string()) + " " + Q(kept.string()) + " ::/");
        EXPECT_EQ(0, cp.code) << cp.out;
        const Result chain = Shell("mshowfat -i " + Q(vol.string()) + " ::/F.TXT");
        for (size_t at = chain.out.find('<'); at != std::string::npos; at = chain.out.find('<', at + 1)) {
            const uint32_t from = static_cast<uint32_t>(std::strtoul(chain.out.c_str() + at + 1, nullptr, 10));
            const size_t dash = chain.out.find_first_of("->", at);
            const uint32_t to = chain.out[dash] == '-' ? static_cast<uint32_t>(std::strtoul(chain.out.c_str() + dash + 1, nullptr, 10)) : from;
            for (uint32_t c = from; c <= to; ++c) m.chain.push_back(c);
        }
        m.bytes = ReadAll(vol);
        const auto u16 = [&m](size_t at) { return static_cast<uint32_t>(static_cast<uint8_t>(m.bytes[at]) | (static_cast<uint8_t>(m.bytes[at + 1]) << 8)); };
        m.width = bits / 8;
        m.reserved = u16(14);
        m.fats = static_cast<uint8_t>(m.bytes[16]);
        m.fatSize = bits == 16 ? u16(22) : Le32(m.bytes, 36);
        const uint32_t total = u16(19) ? u16(19) : Le32(m.bytes, 32), rootSectors = u16(17) * 32 / 512;
        m.clusters = (total - m.reserved - m.fats * m.fatSize - rootSectors) / static_cast<uint8_t>(m.bytes[13]);
        EXPECT_EQ(bits == 16 ? 3u : 12u, m.chain.size()) << chain.out;
        EXPECT_NE(std::string::npos, m.Entry());
        return m;
    }
};

}  // namespace

/* Another system's fault cut F.TXT's chain after its second cluster (a value past the volume,
 * the highest value below the reserved ones, the value 1, a reserved value), or left its entry
 * with a size and no first cluster. Reading the file fails; so does every write that has to go
 * past the cut, and the volume stays exactly as it was: the file's real bytes stay where they
 * are and fsck.fat still sees the damage to mend it. A seek only moves the position: the write
 * after it is what walks the chain. */
TEST_F(Tools, WritesPastTheEndOfAChainCutShortChangeNothing) {
    const fs::path vol = area / "volume.bin";
    for (int bits : {16, 32}) {
        const Made made = Made::Make(bits, area);
        const uint32_t reservedValue = bits == 16 ? 0xFFF0 : 0x0FFFFFF0, belowReserved = bits == 16 ? 0xFFEF : 0x0FFFFFEF;
        struct Cut {
            const char* name;
            uint32_t value;  /* of the second cluster's entry; none: the entry loses its first cluster */
        };
        const uint32_t kNoFirst = ~0u;
        for (const Cut cut : {Cut{"a cluster past the volume", made.clusters + 2}, Cut{"the highest value below the reserved", belowReserved},
                              Cut{"the value 1", 1}, Cut{"a reserved value", reservedValue}, Cut{"first cluster 0", kNoFirst}}) {
            SCOPED_TRACE(std::string("FAT") + std::to_string(bits) + ", " + cut.name);
            Made damaged = made;
            if (cut.value == kNoFirst) {
                const size_t e = damaged.Entry();
                for (size_t b : {20, 21, 26, 27}) damaged.bytes[e + b] = 0;
            } else {
                damaged.SetFat(made.chain[1], cut.value);
            }
            std::ofstream(vol, std::ios::binary | std::ios::trunc) << damaged.bytes;
            const Result seen = Shell("fsck.fat -n " + Q(vol.string()));
            ASSERT_NE(0, seen.code) << seen.out;
            struct Op {
                const char* name;
                const char* mode;
                long seek;  /* -1: none */
                uint32_t bytes;
            };
            for (const Op op : {Op{"append", "a", -1, 3000}, Op{"write across the cut", "r+", 4000, 200},
                                Op{"write past the end", "r+", 8000, 10}}) {
                SCOPED_TRACE(op.name);
                ASSERT_EQ(0, gfslInit(1));
                WrapAsImage(vol, static_cast<uint32_t>(damaged.bytes.size() / 512));
                ASSERT_EQ(0, gfslInit(0));
                ASSERT_EQ(0, gfslMount(0)) << lxvd::VdFsError();
                const int h = gfslfopen("/a/F.TXT", op.mode);
                ASSERT_GE(h, 0) << lxvd::VdFsError();
                if (op.seek >= 0) EXPECT_EQ(0, gfslfseek(h, op.seek, 0));
                const std::string data = Bytes(op.bytes, 7);
                EXPECT_EQ(static_cast<uint32_t>(-1), gfslfwrite(data.data(), 1, op.bytes, h));
                EXPECT_EQ(lxfat::kErrShortChain, lxvd::VdFsError());
                EXPECT_EQ(0, gfslfclose(h));
                ASSERT_EQ(0, gfslInit(1));
                const fs::path out = CutVolume(Image(), 0, area / "after.bin");
                EXPECT_TRUE(ReadAll(out) == damaged.bytes) << "the volume changed";
                const Result fsck = Shell("fsck.fat -n " + Q(out.string()));
                EXPECT_EQ(seen.code, fsck.code) << fsck.out;
                EXPECT_NE(std::string::npos, fsck.out.find("/F.TXT")) << fsck.out;
                const Result kept = Shell("mtype -i " + Q(out.string()) + " ::/KEEP.TXT");
                EXPECT_EQ(Made::kKept, kept.out);
                ASSERT_EQ(0, gfslInit(0));
            }
        }
    }
}

/* Another system's fault closed F.TXT's chain into a loop: its last cluster back to its first,
 * or its second cluster to itself. Removing the file frees every cluster of the loop once and
 * nothing else; clusters after a loop that cut the chain short stay for fsck.fat to reclaim.
 * mdel frees the same clusters (it also clears FAT entry 0 on the way, a fault of its own, so
 * entries 0 and 1 are not compared with it). */
TEST_F(Tools, RemovingAFileWhoseChainLoopsFreesEachClusterOnce) {
    const fs::path vol = area / "volume.bin", byTools = area / "mdel.bin";
    for (int bits : {16, 32}) {
        const Made made = Made::Make(bits, area);
        const size_t n = made.chain.size();
        struct Loop {
            const char* name;
            uint32_t from, to;  /* chain indexes: the entry of `from` names the cluster of `to` */
            size_t freed;       /* clusters from the start of the chain */
        };
        for (const Loop loop : {Loop{"last back to first", static_cast<uint32_t>(n - 1), 0, n}, Loop{"second to itself", 1, 1, 2}}) {
            SCOPED_TRACE(std::string("FAT") + std::to_string(bits) + ", " + loop.name);
            Made damaged = made;
            damaged.SetFat(made.chain[loop.from], made.chain[loop.to]);
            std::ofstream(vol, std::ios::binary | std::ios::trunc) << damaged.bytes;
            fs::copy_file(vol, byTools, fs::copy_options::overwrite_existing);
            const Result mdel = Shell("mdel -i " + Q(byTools.string()) + " ::/F.TXT");
            ASSERT_EQ(0, mdel.code) << mdel.out;
            const std::string tools = ReadAll(byTools);

            ASSERT_EQ(0, gfslInit(1));
            WrapAsImage(vol, static_cast<uint32_t>(damaged.bytes.size() / 512));
            ASSERT_EQ(0, gfslInit(0));
            ASSERT_EQ(0, gfslMount(0)) << lxvd::VdFsError();
            EXPECT_EQ(0, gfslunlink("/a/F.TXT")) << lxvd::VdFsError();
            ASSERT_EQ(0, gfslInit(1));
            const fs::path out = CutVolume(Image(), 0, area / "after.bin");
            const std::string got = ReadAll(out);
            for (uint32_t copy = 0; copy < made.fats; ++copy)
                for (uint32_t c = 2; c < made.clusters + 2; ++c) {
                    const bool freed = std::find(made.chain.begin(), made.chain.begin() + loop.freed, c) != made.chain.begin() + loop.freed;
                    const uint32_t want = freed ? 0 : damaged.Fat(damaged.bytes, copy, c);
                    ASSERT_EQ(want, made.Fat(got, copy, c)) << "FAT " << copy << ", entry " << c;
                    ASSERT_EQ(made.Fat(tools, copy, c), made.Fat(got, copy, c)) << "mdel left FAT " << copy << ", entry " << c;
                }
            const Result fsck = Shell("fsck.fat -n " + Q(out.string()));
            if (loop.freed == n)
                EXPECT_EQ(0, fsck.code) << fsck.out;
            else
                EXPECT_NE(std::string::npos, fsck.out.find("Reclaimed " + std::to_string(n - loop.freed) + " unused cluster")) << fsck.out;
            EXPECT_EQ(std::string::npos, fsck.out.find("/F.TXT")) << fsck.out;
            const Result dir = Shell("mdir -i " + Q(out.string()) + " -b ::/");
            EXPECT_EQ("::/KEEP.TXT\n", dir.out);
            const Result kept = Shell("mtype -i " + Q(out.string()) + " ::/KEEP.TXT");
            EXPECT_EQ(Made::kKept, kept.out);
            ASSERT_EQ(0, gfslInit(0));
        }
    }
}

namespace {

/* A tiny model of what the volume should hold. */
struct Model {
    std::map<std::string, std::string> files;
    std::set<std::string> dirs{""};
    bool Parent(const std::string& p) const { return dirs.count(p.substr(0, p.rfind('/'))) > 0; }
    bool Below(const std::string& p, const std::string& dir) const { return p.rfind(dir + "/", 0) == 0; }
};

uint32_t Next(uint32_t& x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

}  // namespace

/* Random operations against a model; after each run fsck.fat judges the volume. */
TEST_F(Tools, RandomOperationsMatchAModel) {
    const char* names[] = {"alpha", "Beta file.txt", "GAMMA.TXT", "gamma.txt", "d e l t a", "\xc3\xa9psilon",
                           "a name that is rather long to need several entries.bin", "z"};
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        files.clear();
        dirs.clear();
        /* small clusters, so that files span many and folders grow: 1 KiB on FAT16, 512 B on FAT32 */
        const bool fat32 = seed > 2;
        ASSERT_EQ(0, gfslLowLevelFormat("/a", 1 << 20, (fat32 ? 34 : 5) << 20));
        ASSERT_EQ(0, gfslFormat("/a", fat32 ? "FAT32" : "FAT16", nullptr, 0));
        ASSERT_EQ(0, gfslMount(0));
        Model m;
        uint32_t x = seed * 7919;
        auto pickDir = [&]() {
            auto it = m.dirs.begin();
            std::advance(it, Next(x) % m.dirs.size());
            return *it;
        };
        auto fold = [](std::string s) {
            for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        /* FAT names ignore ASCII case: the model keys on the folded path and remembers the
         * name each entry shows */
        std::map<std::string, std::string> shown;
        auto last = [](const std::string& p) { return p.substr(p.rfind('/') + 1); };
        std::function<std::string(const std::string&)> display = [&](const std::string& key) -> std::string {
            if (key.empty()) return "";
            return display(key.substr(0, key.rfind('/'))) + "/" + shown[key];
        };
        for (int op = 0; op < 800; ++op) {
            const std::string dir = pickDir();
            const std::string name = names[Next(x) % 8];
            const std::string path = dir + "/" + name, key = fold(path);
            const bool isDir = m.dirs.count(key) > 0, isFile = m.files.count(key) > 0;
            switch (Next(x) % 6) {
            case 0:
            case 1: {  /* write somewhere in a file, maybe past its end */
                if (isDir) break;
                const std::string data = Bytes(Next(x) % 3000, Next(x));
                std::string& model = m.files[key];
                const size_t at = isFile ? Next(x) % (model.size() + 2000) : 0;
                int h = gfslfopen(("/a" + path).c_str(), isFile ? "r+" : "w");
                ASSERT_GE(h, 0) << path;
                ASSERT_EQ(0, gfslfseek(h, static_cast<gfsl_long>(at), 0));
                ASSERT_EQ(data.size(), gfslfwrite(data.data(), 1, static_cast<uint32_t>(data.size()), h));
                ASSERT_EQ(0, gfslfclose(h));
                if (model.size() < at + data.size()) model.resize(at + data.size(), '\0');
                if (!data.empty()) model.replace(at, data.size(), data);
                else if (model.size() < at) model.resize(at, '\0');
                if (!shown.count(key)) shown[key] = name;
                break;
            }
            case 2:  /* delete */
                if (isFile) {
                    ASSERT_EQ(0, gfslunlink(("/a" + path).c_str()));
                    m.files.erase(key);
                    shown.erase(key);
                } else if (isDir) {
                    bool empty = true;
                    for (auto& f : m.files) empty &= !m.Below(f.first, key);
                    for (auto& d : m.dirs) empty &= !m.Below(d, key);
                    ASSERT_EQ(empty ? 0 : -1, gfslrmdir(("/a" + path).c_str()));
                    if (empty) {
                        m.dirs.erase(key);
                        shown.erase(key);
                    }
                }
                break;
            case 3:  /* make a folder */
                if (isDir || isFile || std::count(path.begin(), path.end(), '/') > 4) break;
                ASSERT_EQ(0, gfslmkdir(("/a" + path).c_str(), 0)) << path;
                m.dirs.insert(key);
                shown[key] = name;
                break;
            case 4: {  /* rename a file into another folder */
                if (!isFile) break;
                const std::string to = pickDir() + "/" + names[Next(x) % 8], toKey = fold(to);
                const int rc = gfslrename(("/a" + path).c_str(), ("/a" + to).c_str());
                if (toKey == key) {
                    EXPECT_EQ(0, rc);
                    shown[key] = last(to);
                } else if (m.files.count(toKey) || m.dirs.count(toKey)) {
                    EXPECT_EQ(-1, rc);
                } else {
                    ASSERT_EQ(0, rc) << path << " -> " << to;
                    m.files[toKey] = m.files[key];
                    m.files.erase(key);
                    shown.erase(key);
                    shown[toKey] = last(to);
                }
                break;
            }
            default:  /* read back */
                if (isFile) ASSERT_TRUE(Get(path) == m.files[key]) << path;
                break;
            }
        }
        for (auto& f : m.files) ASSERT_TRUE(Get(display(f.first)) == f.second) << display(f.first);
        for (auto& f : m.files) files[display(f.first)] = f.second;
        for (auto& d : m.dirs)
            if (!d.empty()) dirs.insert(display(d));
        ASSERT_EQ(0, gfslInit(1));
        ExpectToolsAgree(CutVolume(Image(), 0, area / "volume.bin"));
        ASSERT_EQ(0, gfslInit(0));
    }
}

/* The largest FAT16 volume: 65,524 clusters mount and stay clean for fsck.fat and mtools; a
 * volume that calls itself FAT16 with one cluster more is refused (other systems take it for
 * FAT32 by its count). */
TEST(FatBoundary, Fat16ClusterLimitIsTheOneTheToolsKeep) {
    ::setenv("MTOOLS_SKIP_CHECK", "1", 1);
    for (uint32_t clusters : {65524u, 65525u}) {
        SCOPED_TRACE(clusters);
        const uint32_t fatSectors = ((clusters + 2) * 2 + 511) / 512, total = 1 + 2 * fatSectors + 32 + clusters;
        lxtest::TestDisk disk(total);
        uint8_t* b = disk.Sector(0);
        const uint8_t head[] = {0xEB, 0x3C, 0x90, 'M', 'S', 'W', 'I', 'N', '4', '.', '1'};
        std::memcpy(b, head, sizeof head);
        b[11] = 0x00, b[12] = 0x02, b[13] = 1, b[14] = 1, b[16] = 2, b[17] = 0x00, b[18] = 0x02, b[21] = 0xF8;
        b[22] = static_cast<uint8_t>(fatSectors), b[23] = static_cast<uint8_t>(fatSectors >> 8);
        for (int i = 0; i < 4; ++i) b[32 + i] = static_cast<uint8_t>(total >> (8 * i));
        b[38] = 0x29;
        std::memcpy(b + 43, "NO NAME    FAT16   ", 19);
        b[510] = 0x55, b[511] = 0xAA;
        for (uint32_t k = 0; k < 2; ++k) {
            const uint8_t media[] = {0xF8, 0xFF, 0xFF, 0xFF};
            std::memcpy(disk.Sector(1 + k * fatSectors), media, 4);
        }
        lxfat::FatFs f;
        f.SetClock(lxtest::FixedClock);
        f.Init();
        const int mounted = f.Mount(0, disk.Part(0, total));
        if (clusters == 65525u) {
            EXPECT_EQ(-1, mounted);
            EXPECT_EQ(lxfat::kErrNotFat, f.error());
            continue;
        }
        ASSERT_EQ(0, mounted) << f.error();
        lxfat::u16string name;
        lxfat::Utf8ToUtf16("/at the limit.txt", &name, 100);
        const int h = f.Open(0, name, 0x301);
        ASSERT_GE(h, 0);
        ASSERT_EQ(5, f.Write(h, "limit", 5));
        ASSERT_EQ(0, f.Close(h));
        ASSERT_EQ(0, f.Unmount(0));
        const fs::path vol = fs::temp_directory_path() / ("lxvd-fat16-limit-" + std::to_string(::getpid()) + ".img");
        std::ofstream(vol, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(disk.Sector(0)), static_cast<std::streamsize>(total) * 512);
        const Result fsck = Shell("fsck.fat -n " + Q(vol.string()));
        EXPECT_EQ(0, fsck.code) << fsck.out;
        EXPECT_NE(std::string::npos, fsck.out.find("1/65524 clusters")) << fsck.out;
        const Result t = Shell("mtype -i " + Q(vol.string()) + " '::/at the limit.txt'");
        EXPECT_EQ(0, t.code) << t.out;
        EXPECT_EQ("limit", t.out);
        fs::remove(vol);
    }
}
