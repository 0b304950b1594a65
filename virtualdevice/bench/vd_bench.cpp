/* Throughput of the virtual device through its exports, measured beside plain host-file I/O,
 * beside mtools on the same kind of volume and beside fsck.fat. Prints times and ratios;
 * asserts nothing.
 *
 * vd_bench [work folder] [transfer] [files] [mount]: the named parts only (all when none is
 * named): the 256 MiB file, the 2,000 and 20,000 files, the 3.5 GiB mount. */
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#define LX_DEVICE_MODULE_EXPORTS
#include "lumivex/deviceapi.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

int Run(const std::string& cmd) { return std::system(cmd.c_str()); }

void Die(const char* what) {
    std::fprintf(stderr, "benchmark failed: %s\n", what);
    std::exit(1);
}

constexpr uint32_t kMiB = 1u << 20;
constexpr int kMtoolsPatience = 60;  /* seconds one mtools copy into a folder of 20,000 may take */

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

/* Cold figures need the page cache emptied; only root may, and only where the machine lets it. */
bool DropPageCache() {
    Run("sync");
    FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w");
    if (!f) return false;
    const bool ok = std::fputs("3\n", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

struct Transfer {
    double ourWrite, ourRead, hostWrite, hostNew, hostRead;
};

/* 256 MiB through one file of volume a, in chunks of `chunk` bytes, and the same to a host file. */
Transfer BigFile(const fs::path& work, size_t chunk) {
    const size_t bigBytes = 256u * kMiB;
    std::vector<char> buf(chunk);
    for (size_t i = 0; i < chunk; ++i) buf[i] = static_cast<char>(i * 31 + 7);
    Transfer r{};
    auto t = Clock::now();
    int h = gfslfopen("/a/big file.bin", "w");
    for (size_t done = 0; done < bigBytes; done += chunk)
        if (gfslfwrite(buf.data(), 1, chunk, h) != chunk) Die("write");
    if (gfslfclose(h) != 0) Die("close");
    r.ourWrite = Since(t);
    t = Clock::now();
    h = gfslfopen("/a/big file.bin", "r");
    for (size_t done = 0; done < bigBytes; done += chunk)
        if (gfslfread(buf.data(), 1, chunk, h) != chunk) Die("read");
    gfslfclose(h);
    r.ourRead = Since(t);

    /* The image's pages already exist (the format erased them); the host file is timed when
     * it is written over too, so that both sides write into existing pages. */
    const fs::path host = work / "host.bin";
    FILE* f;
    for (int pass = 0; pass < 2; ++pass) {
        t = Clock::now();
        f = std::fopen(host.c_str(), pass ? "rb+" : "wb");
        if (!f) Die("host file");
        for (size_t done = 0; done < bigBytes; done += chunk) std::fwrite(buf.data(), 1, chunk, f);
        std::fclose(f);
        (pass ? r.hostWrite : r.hostNew) = Since(t);
    }
    t = Clock::now();
    f = std::fopen(host.c_str(), "rb");
    if (!f) Die("host file");
    for (size_t done = 0; done < bigBytes; done += chunk)
        if (std::fread(buf.data(), 1, chunk, f) != chunk) Die("host read");
    std::fclose(f);
    r.hostRead = Since(t);
    fs::remove(host);
    if (gfslunlink("/a/big file.bin") != 0) Die("unlink big file");
    return r;
}

void PrintTransfer(const char* title, const Transfer& r) {
    const double mb = 256.0;
    std::printf("%s\n", title);
    std::printf("  write: device %.3f s (%.0f MiB/s), host file written over %.3f s (%.0f MiB/s), ratio %.2f\n",
                r.ourWrite, mb / r.ourWrite, r.hostWrite, mb / r.hostWrite, r.hostWrite / r.ourWrite);
    std::printf("         (a new host file: %.3f s, %.0f MiB/s)\n", r.hostNew, mb / r.hostNew);
    std::printf("  read:  device %.3f s (%.0f MiB/s), host file %.3f s (%.0f MiB/s), ratio %.2f\n", r.ourRead,
                mb / r.ourRead, r.hostRead, mb / r.hostRead, r.hostRead / r.ourRead);
}

/* 40 units, five entries each: 2,000 of them fill 10,000 entries of a folder. */
std::string SmallName(int i) {
    char n[64];
    std::snprintf(n, sizeof n, "a file with a long name number %04d.txt", i);
    return n;
}

/* 26 units, three entries each: 20,000 of them fill 60,000 of the 65,536 a folder can hold. */
std::string ShortLongName(int i) {
    char n[64];
    std::snprintf(n, sizeof n, "long name number %05d.txt", i);
    return n;
}

using NameFn = std::string (*)(int);

struct Many {
    double create = 0, createLast = 0, list = 0, remove = 0;
};

/* `count` files of 4 KiB with long names in one folder of volume `vol`: create (the last
 * `lastCount` timed apart), list, delete. `snapshot` runs between the listing and the deletes. */
template <typename Snapshot>
Many ManyFiles(const std::string& vol, int count, int lastCount, NameFn name, Snapshot snapshot) {
    std::vector<char> small(4096, 'x');
    const std::string dir = "/" + vol + "/many";
    if (gfslmkdir(dir.c_str(), 0) != 0) Die("mkdir");
    Many r;
    auto create = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            int s = gfslfopen((dir + "/" + name(i)).c_str(), "w");
            if (s < 0 || gfslfwrite(small.data(), 1, small.size(), s) != small.size() || gfslfclose(s) != 0)
                Die("small write");
        }
    };
    auto t = Clock::now();
    create(0, count - lastCount);
    r.create = Since(t);
    t = Clock::now();
    create(count - lastCount, count);
    r.createLast = Since(t);
    r.create += r.createLast;
    t = Clock::now();
    int listed = 0;
    GFSL_DIR* d = gfslopendir(dir.c_str());
    while (gfslreaddir(d)) ++listed;
    gfslclosedir(d);
    r.list = Since(t);
    if (listed != count + 2) Die("listing");
    snapshot();
    t = Clock::now();
    for (int i = 0; i < count; ++i)
        if (gfslunlink((dir + "/" + name(i)).c_str()) != 0) Die("unlink");
    r.remove = Since(t);
    return r;
}

void WriteSources(const fs::path& src, int from, int to, NameFn name) {
    fs::create_directories(src);
    std::vector<char> small(4096, 'x');
    for (int i = from; i < to; ++i) {
        FILE* s = std::fopen((src / name(i)).c_str(), "wb");
        if (!s) Die("source file");
        std::fwrite(small.data(), 1, small.size(), s);
        std::fclose(s);
    }
}

double Timed(const std::string& cmd, const char* what) {
    auto t = Clock::now();
    if (Run(cmd) != 0) Die(what);
    return Since(t);
}

struct FilesResult {
    Many ours2k, ours20k, mt2k, mt20k;
    bool copied = false;
};

/* 2,000 files beside mtools on a volume of the same kind, then 20,000; mtools works on a copy
 * of the volume as the device left it. */
FilesResult Files(const fs::path& work, const fs::path& image, uint32_t bigStart, uint32_t bigSize) {
    FilesResult r;
    r.ours2k = ManyFiles("b", 2000, 20, SmallName, [] {});
    const fs::path vol20k = work / "mtools20k.vol";
    r.ours20k = ManyFiles("c", 20000, 20, ShortLongName, [&] {
        gfslUnmount(2);
        if (Run("dd if=" + Quote(image) + " of=" + Quote(vol20k) + " bs=1M skip=" + std::to_string(bigStart / kMiB) +
                " count=" + std::to_string(bigSize / kMiB) + " status=none") != 0)
            Die("dd");
        if (gfslMount(2) != 0) Die("mount again");
    });
    gfslInit(1);

    const fs::path src = work / "src", vol2k = work / "mtools.vol";
    WriteSources(src, 0, 2000, SmallName);
    if (Run("mkfs.fat -F 32 -C " + Quote(vol2k) + " " + std::to_string(40 * 1024) + " >/dev/null") != 0) Die("mkfs.fat");
    Run("mmd -i " + Quote(vol2k) + " ::/many");
    r.mt2k.create = Timed("cd " + Quote(src) + " && mcopy -i " + Quote(vol2k) + " * ::/many/", "mcopy");
    r.mt2k.list = Timed("mdir -i " + Quote(vol2k) + " ::/many >/dev/null", "mdir");
    r.mt2k.remove = Timed("mdel -i " + Quote(vol2k) + " '::/many/*'", "mdel");

    /* mtools at 20,000: one more file copied in (for a new long name it tries numeric tails one
     * by one, each against the whole folder), then all listed and deleted. */
    const fs::path extra = work / "extra";
    WriteSources(extra, 20000, 20001, ShortLongName);
    auto t = Clock::now();
    r.copied = Run("cd " + Quote(extra) + " && timeout " + std::to_string(kMtoolsPatience) + " mcopy -i " +
                   Quote(vol20k) + " * ::/many/") == 0;
    r.mt20k.createLast = Since(t);
    r.mt20k.list = Timed("mdir -i " + Quote(vol20k) + " ::/many >/dev/null", "mdir");
    r.mt20k.remove = Timed("mdel -i " + Quote(vol20k) + " '::/many/*'", "mdel");
    fs::remove(vol20k);
    return r;
}

void PrintFiles(const FilesResult& r) {
    std::printf("2,000 files of 4 KiB with long names in one folder (FAT32, 40 MiB)\n");
    std::printf("  create: device %.3f s, mtools %.3f s\n", r.ours2k.create, r.mt2k.create);
    std::printf("  list:   device %.3f s, mtools %.3f s\n", r.ours2k.list, r.mt2k.list);
    std::printf("  delete: device %.3f s, mtools %.3f s\n", r.ours2k.remove, r.mt2k.remove);
    const double ours = r.ours2k.create + r.ours2k.list + r.ours2k.remove;
    const double theirs = r.mt2k.create + r.mt2k.list + r.mt2k.remove;
    std::printf("  total:  device %.3f s, mtools %.3f s, ratio %.2f (above 1: faster than mtools)\n", ours, theirs,
                theirs / ours);
    std::printf("20,000 files of 4 KiB with long names of 26 units in one folder (FAT32, 120 MiB)\n");
    std::printf("  create: device %.3f s in all, %.2f ms per file for the last 20\n", r.ours20k.create,
                r.ours20k.createLast / 20 * 1e3);
    if (r.copied)
        std::printf("          mtools: one more file %.3f s\n", r.mt20k.createLast);
    else
        std::printf("          mtools: one more file not done after %d s\n", kMtoolsPatience);
    std::printf("  list:   device %.3f s, mtools %.3f s\n", r.ours20k.list, r.mt20k.list);
    std::printf("  delete: device %.3f s, mtools %.3f s\n", r.ours20k.remove, r.mt20k.remove);
    std::printf("  per file, 2,000 then 20,000: create %.1f / %.1f us, delete %.1f / %.1f us\n",
                r.ours2k.create / 2000 * 1e6, r.ours20k.create / 20000 * 1e6, r.ours2k.remove / 2000 * 1e6,
                r.ours20k.remove / 20000 * 1e6);
}

struct MountResult {
    double mountWarm = 0, mountCold = 0, fsckWarm = 0, fsckCold = 0;
    bool cold = true;
};

/* Mounting a 3.5 GiB FAT32 volume of 4 KiB clusters beside fsck.fat on it. */
MountResult MountBig(const fs::path& work, const fs::path& image) {
    fs::remove(image);
    if (gfslInit(0) != 0) Die("init");
    const uint32_t mountSize = 3584 * kMiB;
    if (gfslLowLevelFormat("/a", 1 * kMiB, mountSize) != 0) Die("low-level format 3.5 GiB");
    if (gfslFormat("/a", "FAT32", nullptr, 0) != 0 || gfslMount(0) != 0) Die("format 3.5 GiB");
    {
        std::vector<char> buf(128u << 10, 'y');
        gfslmkdir("/a/data", 0);
        for (int i = 0; i < 400; ++i) {
            int h = gfslfopen(("/a/data/" + SmallName(i)).c_str(), "w");
            for (int k = 0; k < 8; ++k) gfslfwrite(buf.data(), 1, buf.size(), h);
            gfslfclose(h);
        }
    }
    gfslInit(1);
    const fs::path volBig = work / "mount.vol";
    if (Run("dd if=" + Quote(image) + " of=" + Quote(volBig) + " bs=1M skip=1 count=" + std::to_string(mountSize / kMiB) +
            " conv=sparse status=none") != 0)
        Die("dd 3.5 GiB");
    MountResult r;
    for (int pass = 0; pass < 2; ++pass) {
        const bool dropping = pass == 0;
        if (dropping) r.cold = DropPageCache() && r.cold;
        if (gfslInit(0) != 0) Die("init");
        auto t = Clock::now();
        if (gfslMount(0) != 0) Die("mount 3.5 GiB");
        (dropping ? r.mountCold : r.mountWarm) = Since(t);
        gfslInit(1);
        if (dropping) r.cold = DropPageCache() && r.cold;
        (dropping ? r.fsckCold : r.fsckWarm) = Timed("fsck.fat -n " + Quote(volBig) + " >/dev/null", "fsck.fat");
    }
    return r;
}

void PrintMount(const MountResult& r) {
    std::printf("Mount of a 3.5 GiB FAT32 volume (4 KiB clusters, 400 files of 1 MiB) beside fsck.fat -n\n");
    if (r.cold)
        std::printf("  page cache dropped: mount %.3f s, fsck.fat %.3f s\n", r.mountCold, r.fsckCold);
    else
        std::printf("  (the page cache could not be dropped here: both figures below are warm)\n");
    std::printf("  warm:               mount %.3f s, fsck.fat %.3f s\n", r.mountWarm, r.fsckWarm);
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::current_path() / "vd-bench";
    bool transfer = argc <= 2, files = argc <= 2, mount = argc <= 2;
    for (int i = 2; i < argc; ++i) {
        const std::string part = argv[i];
        if (part == "transfer") {
            transfer = true;
        } else if (part == "files") {
            files = true;
        } else if (part == "mount") {
            mount = true;
        } else {
            std::fprintf(stderr, "usage: vd_bench [work folder] [transfer] [files] [mount]\n");
            return 2;
        }
    }
    fs::remove_all(work);
    fs::create_directories(work / "area" / "User Data");
    setenv("LX_USER_AREA", (work / "area").c_str(), 1);
    setenv("MTOOLS_SKIP_CHECK", "1", 1);
    const fs::path image = work / "area" / "User Data" / "Pallix.img";

    Transfer large{}, small{};
    FilesResult many;
    if (transfer || files) {
        if (gfslInit(0) != 0) Die("init");
        /* a 320 MiB volume for the large file, 40 MiB for 2,000 small files, 120 MiB for 20,000 */
        const uint32_t bigStart = 361 * kMiB, bigSize = 120 * kMiB;
        if (gfslLowLevelFormat("/a", 1 * kMiB, 320 * kMiB) != 0 ||
            gfslLowLevelFormat("/b", 321 * kMiB, 40 * kMiB) != 0 || gfslLowLevelFormat("/c", bigStart, bigSize) != 0)
            Die("low-level format");
        for (const char* v : {"/a", "/b", "/c"})
            if (gfslFormat(v, "FAT32", nullptr, 0) != 0) Die("format");
        for (int v = 0; v < 3; ++v)
            if (gfslMount(v) != 0) Die("mount");
        if (transfer) {
            large = BigFile(work, 128u << 10);
            small = BigFile(work, 4u << 10);
        }
        if (files)
            many = Files(work, image, bigStart, bigSize);
        else
            gfslInit(1);
    }
    const MountResult big = mount ? MountBig(work, image) : MountResult{};
    fs::remove_all(work);

    if (transfer) {
        PrintTransfer("256 MiB file in 128 KiB chunks (FAT32, 4 KiB clusters)", large);
        PrintTransfer("256 MiB file in 4 KiB chunks", small);
    }
    if (files) PrintFiles(many);
    if (mount) PrintMount(big);
    return 0;
}
