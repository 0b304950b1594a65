/* What a stop in the middle of an operation can leave. Each operation runs once on a volume in
 * memory that records every sector it writes; the image is then rebuilt after every prefix of
 * those writes - exactly the states a killed process or a pulled plug can leave - and each
 * state is judged by fsck.fat and mtools against the states the operation may leave: every file
 * outside the operation unchanged, the file under change with its old or its new content.
 *
 * The states each operation may leave, and why no others can be avoided without a journal:
 *   create, mkdir, delete, truncate, append: before or after only; an append in many writes
 *     with a flush between them: before, at the flush, or after.
 *   overwrite (open "w" of an existing file, write, close): before, emptied, or after - the
 *     emptied entry reaches the device before the old clusters are freed, and the new content
 *     comes after it.
 *   rename of a file or a folder: before, under both names, or after - the new entry reaches
 *     the device before the old one goes, so a stop between leaves both names on one chain
 *     (fsck.fat reports the shared clusters; mtools lists a folder's contents under one name). */
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "shell.h"
#include "testdisk.h"

namespace fs = std::filesystem;
using lxfat::FatFs;
using lxfat::u16string;

namespace {

using lxtest::Result;
using lxtest::Shell;

u16string U(const std::string& s) {
    u16string u;
    lxfat::Utf8ToUtf16(s.c_str(), &u, 100000);
    return u;
}

std::string Bytes(size_t n, uint32_t seed) {
    auto v = lxtest::Pattern(n, seed);
    return std::string(v.begin(), v.end());
}

/* A volume's files and folders as mtools lists them: path -> content, folders with a '/'. */
using Tree = std::map<std::string, std::string>;

constexpr uint32_t kStart = 256;

struct Volume {
    uint32_t sectors;
    int type;
};

class Crash : public ::testing::TestWithParam<Volume> {
protected:
    fs::path dir;
    void SetUp() override {
        ::setenv("MTOOLS_SKIP_CHECK", "1", 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        dir = fs::temp_directory_path() / ("lxvd-crash-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    static int Put(FatFs& f, const std::string& path, const std::string& data, int flags = 0x301) {
        const int h = f.Open(0, U(path), flags);
        if (h < 0) return f.error();
        if (!data.empty() && f.Write(h, data.data(), static_cast<uint32_t>(data.size())) != static_cast<int64_t>(data.size()))
            return f.error();
        return f.Close(h) == 0 ? 0 : f.error();
    }

    /* The volume every operation starts from, and what it holds. */
    Tree before;
    static Tree Usual() {
        return {{"/keep one.txt", "kept"},
                /* large enough that the target's chain ends a few clusters before FAT entry 256,
                 * the start of a FAT sector on both volumes (512-byte clusters) */
                {"/keep two.bin", Bytes(116 * 1024, 1)},
                {"/target.bin", Bytes(2600, 2)},
                {"/dir/", ""},
                {"/dir/inside.txt", Bytes(700, 3)},
                {"/folder/", ""},
                {"/folder/a.txt", Bytes(1500, 4)},
                {"/folder/sub/", ""},
                {"/folder/sub/b.txt", "b"}};
    }
    /* Made in the order of `order` (the rest after it), so that entries land where a case needs. */
    std::vector<uint8_t> Base(const Tree& files = Usual(), const std::vector<std::string>& order = {}) {
        lxtest::TestDisk disk(kStart + GetParam().sectors);
        FatFs f;
        f.SetClock(lxtest::FixedClock);
        f.Init();
        const lxfat::Partition part = disk.Part(kStart, GetParam().sectors);
        EXPECT_EQ(0, f.Format(0, part, "CRASH", GetParam().type));
        EXPECT_EQ(0, f.Mount(0, part));
        before = files;
        std::vector<std::string> paths(order);
        for (auto& e : before)
            if (std::find(order.begin(), order.end(), e.first) == order.end()) paths.push_back(e.first);
        for (auto& p : paths) {
            if (p.back() == '/')
                EXPECT_EQ(0, f.Mkdir(0, U(p.substr(0, p.size() - 1))));
            else
                EXPECT_EQ(0, Put(f, p, before.at(p)));
        }
        EXPECT_EQ(0, f.Unmount(0));
        return disk.mem->bytes();
    }

    /* Runs `op` on the base volume and returns the sectors it wrote, in order, one per write. */
    std::vector<lxvd::MemoryStorage::Write> Record(const std::vector<uint8_t>& base, const std::function<void(FatFs&)>& op) {
        lxtest::TestDisk disk(kStart + GetParam().sectors);
        disk.mem->bytes() = base;
        std::vector<lxvd::MemoryStorage::Write> writes;
        FatFs f;
        f.SetClock(lxtest::FixedClock);
        f.Init();
        EXPECT_EQ(0, f.Mount(0, disk.Part(kStart, GetParam().sectors)));
        disk.mem->record = &writes;
        op(f);
        EXPECT_EQ(0, f.Unmount(0));
        disk.mem->record = nullptr;
        std::vector<lxvd::MemoryStorage::Write> sectors;
        for (auto& w : writes)
            for (size_t at = 0; at < w.bytes.size(); at += 512)
                sectors.push_back({w.offset + at, std::vector<uint8_t>(w.bytes.begin() + at, w.bytes.begin() + at + 512)});
        return sectors;
    }

    /* The volume of a device image as a file of its own, for the tools. */
    fs::path WriteVolume(const std::vector<uint8_t>& image) {
        const fs::path vol = dir / "state.img";
        std::ofstream out(vol, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()) + kStart * 512,
                  static_cast<std::streamsize>(static_cast<size_t>(GetParam().sectors) * 512));
        return vol;
    }

    /* What fsck.fat and mtools make of a volume image; `chains`: every listed file's and
     * folder's cluster chain as mshowfat follows it, past the file's size to its end mark. */
    Tree Judge(const std::vector<uint8_t>& image, std::string* fsck, std::string* chains) {
        const fs::path vol = WriteVolume(image);
        const Result check = Shell("fsck.fat -n '" + vol.string() + "'");
        *fsck = check.out;
        EXPECT_LE(check.code, 1) << check.out;
        const Result list = Shell("mdir -i '" + vol.string() + "' -/ -b ::/");
        Tree tree;
        std::string paths;
        std::istringstream lines(list.out);
        for (std::string l; std::getline(lines, l);) {
            if (l.rfind("::/", 0) != 0) continue;
            const std::string path = l.substr(2);
            paths += " '::" + (path.back() == '/' ? path.substr(0, path.size() - 1) : path) + "'";
            if (path.back() == '/') {
                tree[path] = "";
            } else {
                const Result t = Shell("mtype -i '" + vol.string() + "' '::" + path + "'");
                tree[path] = t.code == 0 ? t.out : "<unreadable>";
            }
        }
        *chains = paths.empty() ? "" : Shell("mshowfat -i '" + vol.string() + "'" + paths).out;
        return tree;
    }

    /* The last cluster of a file's chain on a volume image, as mtools sees it. */
    uint32_t LastCluster(const std::vector<uint8_t>& image, const std::string& path) {
        const fs::path vol = WriteVolume(image);
        const Result r = Shell("mshowfat -i '" + vol.string() + "' '::" + path + "'");
        const size_t end = r.out.rfind('>');
        if (r.code != 0 || end == std::string::npos) return 0;
        size_t start = end;
        while (start > 0 && std::isdigit(static_cast<unsigned char>(r.out[start - 1]))) --start;
        return static_cast<uint32_t>(std::strtoul(r.out.c_str() + start, nullptr, 10));
    }

    static std::string Describe(const Tree& t) {
        std::string s;
        for (auto& e : t) s += "  " + e.first + " (" + std::to_string(e.second.size()) + " bytes)\n";
        return s;
    }

    /* Every state after every prefix of the operation's writes is one of `allowed`; the last
     * one is the last of `allowed`. Returns how many distinct states were judged. */
    int Check(const char* name, const std::function<void(FatFs&)>& op, const std::vector<Tree>& allowed) {
        return Check(name, Base(), op, allowed);
    }
    int Check(const char* name, const std::vector<uint8_t>& base, const std::function<void(FatFs&)>& op,
              const std::vector<Tree>& allowed) {
        SCOPED_TRACE(name);
        const auto sectors = Record(base, op);
        EXPECT_FALSE(sectors.empty());
        std::vector<uint8_t> image = base;
        int judged = 0;
        for (size_t n = 0; n <= sectors.size(); ++n) {
            if (n > 0) {
                const auto& w = sectors[n - 1];
                if (std::equal(w.bytes.begin(), w.bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(w.offset)))
                    continue;  /* the same state again */
                std::copy(w.bytes.begin(), w.bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(w.offset));
            }
            ++judged;
            std::string fsck, chains;
            const Tree got = Judge(image, &fsck, &chains);
            bool ok = false;
            for (const Tree& t : allowed) ok = ok || got == t;
            EXPECT_TRUE(ok) << "after " << n << " of " << sectors.size() << " sector writes the volume holds\n"
                            << Describe(got) << "fsck.fat -n:\n" << fsck;
            /* A chain that runs into a free cluster would hand its clusters to the next file.
             * fsck.fat stops at a file's size; mshowfat shows a free cluster past it too. */
            EXPECT_EQ(std::string::npos, fsck.find("free cluster")) << "after " << n << " writes:\n" << fsck;
            EXPECT_EQ(std::string::npos, chains.find("<0>")) << "after " << n << " writes:\n" << chains;
            if (n == sectors.size()) EXPECT_TRUE(got == allowed.back()) << Describe(got);
        }
        return judged;
    }
};

TEST_P(Crash, EveryStopLeavesTheOldOrTheNewFile) {
    const std::vector<uint8_t> base = Base();
    const Tree old = before;
    auto with = [&old](std::initializer_list<std::pair<const std::string, std::string>> add,
                       std::initializer_list<std::string> remove = {}) {
        Tree t = old;
        for (auto& r : remove) t.erase(r);
        for (auto& a : add) t[a.first] = a.second;
        return t;
    };
    const std::string fresh = Bytes(2300, 9), more = Bytes(1800, 10);

    Check("create", [&](FatFs& f) { EXPECT_EQ(0, Put(f, "/new file.bin", fresh)); },
          {old, with({{"/new file.bin", fresh}})});
    Check("append", [&](FatFs& f) { EXPECT_EQ(0, Put(f, "/target.bin", more, 0x109)); },
          {old, with({{"/target.bin", old.at("/target.bin") + more}})});
    /* Many small writes with a flush between them, the second half's clusters crossing into
     * the next FAT sector: a link from a cluster the device already has in a chain must wait
     * for the FAT entries of the clusters after it, or a stop leaves a chain running into
     * free clusters. */
    const uint32_t tail = LastCluster(base, "/target.bin");
    /* 2 KiB more end the chain before cluster 256, 8 KiB after them end it past 256 */
    ASSERT_TRUE(tail >= 240 && tail < 252) << "the target's chain ends at cluster " << tail;
    const std::string first = Bytes(2 * 1024, 11), second = Bytes(8 * 1024, 12);
    Check("append in small writes with a flush between",
          [&](FatFs& f) {
              const int h = f.Open(0, U("/target.bin"), 0x109);
              ASSERT_GE(h, 0);
              const auto put = [&](const std::string& data) {
                  for (size_t at = 0; at < data.size(); at += 1024)
                      ASSERT_EQ(1024, f.Write(h, data.data() + at, 1024));
              };
              put(first);
              ASSERT_EQ(0, f.Flush(h));
              put(second);
              ASSERT_EQ(0, f.Close(h));
          },
          {old, with({{"/target.bin", old.at("/target.bin") + first}}),
           with({{"/target.bin", old.at("/target.bin") + first + second}})});
    Check("truncate", [&](FatFs& f) { EXPECT_EQ(0, Put(f, "/target.bin", "")); }, {old, with({{"/target.bin", ""}})});
    Check("overwrite", [&](FatFs& f) { EXPECT_EQ(0, Put(f, "/target.bin", fresh)); },
          {old, with({{"/target.bin", ""}}), with({{"/target.bin", fresh}})});
    Check("rename of a file", [&](FatFs& f) { EXPECT_EQ(0, f.Rename(0, U("/target.bin"), U("/dir/moved.bin"))); },
          {old, with({{"/dir/moved.bin", old.at("/target.bin")}}),
           with({{"/dir/moved.bin", old.at("/target.bin")}}, {"/target.bin"})});
    const Tree folderBoth = with({{"/dir/renamed/", ""},
                                  {"/dir/renamed/a.txt", old.at("/folder/a.txt")},
                                  {"/dir/renamed/sub/", ""},
                                  {"/dir/renamed/sub/b.txt", "b"}});
    /* mtools walks a folder's clusters once: under both names the contents show under one */
    Tree folderSeenOnce = folderBoth, folderMoved = folderBoth;
    for (const char* p : {"/folder/a.txt", "/folder/sub/", "/folder/sub/b.txt"}) folderSeenOnce.erase(p);
    for (const char* p : {"/folder/", "/folder/a.txt", "/folder/sub/", "/folder/sub/b.txt"}) folderMoved.erase(p);
    Check("rename of a folder", [&](FatFs& f) { EXPECT_EQ(0, f.Rename(0, U("/folder"), U("/dir/renamed"))); },
          {old, folderBoth, folderSeenOnce, folderMoved});
    Check("delete", [&](FatFs& f) { EXPECT_EQ(0, f.Unlink(0, U("/target.bin"))); }, {old, with({}, {"/target.bin"})});
    Check("mkdir", [&](FatFs& f) { EXPECT_EQ(0, f.Mkdir(0, U("/dir/made"))); }, {old, with({{"/dir/made/", ""}})});
}

/* A flush that finds the sector cache (2,048 sectors) full. One-byte writes into as many sectors
 * of a big file fill it with changed sectors (each byte written over with the byte it held, so
 * that the big file reads the same in every state) while a new file, or an append, waits with
 * its folder entry in the coldest sector: the flush has to bring sectors in (FSInfo, the FAT
 * sector of a link), and a folder entry pushed out to make room would reach the device before
 * the data and FAT it names. */
TEST_P(Crash, AFlushWithAFullSectorCacheStillWritesFolderEntriesLast) {
    /* the label, BIG.BIN and the first two names fill the folder's first sector; the third name
     * runs into the next one, where NEW.TXT goes too and which nothing else touches */
    const std::string one = "/a closed file whose long name takes five slots 1.txt",
                      two = "/a closed file whose long name takes five slots 2.txt",
                      three = "/a closed file whose long name takes five slots 3.txt";
    const std::string big = Bytes(2200 * 512, 20), fresh = Bytes(4096, 21);
    const Tree files = {{"/BIG.BIN", big}, {one, "one"}, {two, "two"}, {three, "three"}};
    const std::vector<uint8_t> base = Base(files, {"/BIG.BIN", one, two, three});
    const Tree old = before;
    Tree created = old, appended = old;
    created["/NEW.TXT"] = fresh;
    appended[three] += fresh;
    for (uint32_t writes : {2040u, 2045u, 2050u}) {
        SCOPED_TRACE(std::to_string(writes) + " sectors of BIG.BIN changed");
        const auto op = [&](const std::string& path, int flags) {
            return [&, path, flags](FatFs& f) {
                const int h = f.Open(0, U("/BIG.BIN"), 2);
                const int n = f.Open(0, U(path), flags);
                ASSERT_GE(h, 0);
                ASSERT_GE(n, 0);
                ASSERT_EQ(4096, f.Write(n, fresh.data(), 4096));
                for (uint32_t k = 0; k < writes; ++k) {
                    const size_t at = k * 512 + 7;
                    ASSERT_EQ(0, f.Seek(h, static_cast<int64_t>(at), 0));
                    ASSERT_EQ(1, f.Write(h, &big[at], 1));
                }
                ASSERT_EQ(0, f.Flush(h));
                ASSERT_EQ(0, f.Close(n));
                ASSERT_EQ(0, f.Close(h));
            };
        };
        Check("create", base, op("/NEW.TXT", 0x301), {old, created});
        Check("append", base, op(three, 0x109), {old, appended});
    }
}

INSTANTIATE_TEST_SUITE_P(Volumes, Crash,
                         ::testing::Values(Volume{8400, lxfat::kTypeFat16}, Volume{68000, lxfat::kTypeFat32}),
                         [](const ::testing::TestParamInfo<Volume>& i) {
                             return std::string(i.param.type == lxfat::kTypeFat16 ? "Fat16" : "Fat32");
                         });

}  // namespace
