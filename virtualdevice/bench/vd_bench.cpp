/* Throughput of the virtual device through its exports, measured beside plain host-file I/O
 * and beside mtools on the same kind of volume. Prints times and ratios; asserts nothing. */
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

}  // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::current_path() / "vd-bench";
    const size_t bigBytes = 256u << 20, chunk = 128u << 10;
    const int smallCount = 2000;
    const size_t smallBytes = 4096;
    fs::remove_all(work);
    fs::create_directories(work / "area" / "User Data");
    setenv("LX_USER_AREA", (work / "area").c_str(), 1);
    setenv("MTOOLS_SKIP_CHECK", "1", 1);

    std::vector<char> buf(chunk);
    for (size_t i = 0; i < chunk; ++i) buf[i] = static_cast<char>(i * 31 + 7);

    if (gfslInit(0) != 0) Die("init");
    /* a 320 MiB volume for the large file, a 40 MiB one for the many small files */
    if (gfslLowLevelFormat("/a", 1u << 20, 320u << 20) != 0) Die("low-level format");
    if (gfslLowLevelFormat("/b", 321u << 20, 40u << 20) != 0) Die("low-level format");
    if (gfslFormat("/a", "FAT32", nullptr, 0) != 0 || gfslFormat("/b", "FAT32", nullptr, 0) != 0) Die("format");
    if (gfslMount(0) != 0 || gfslMount(1) != 0) Die("mount");

    /* 1. one 256 MiB file in 128 KiB chunks */
    auto t = Clock::now();
    int h = gfslfopen("/a/big file.bin", "w");
    for (size_t done = 0; done < bigBytes; done += chunk)
        if (gfslfwrite(buf.data(), 1, chunk, h) != chunk) Die("write");
    if (gfslfclose(h) != 0) Die("close");
    const double ourWrite = Since(t);
    t = Clock::now();
    h = gfslfopen("/a/big file.bin", "r");
    for (size_t done = 0; done < bigBytes; done += chunk)
        if (gfslfread(buf.data(), 1, chunk, h) != chunk) Die("read");
    gfslfclose(h);
    const double ourRead = Since(t);

    /* The image's pages already exist (the format erased them); the host file is timed when
     * it is written over too, so that both sides write into existing pages. */
    const fs::path host = work / "host.bin";
    double hostNew = 0, hostWrite = 0;
    FILE* f;
    for (int pass = 0; pass < 2; ++pass) {
        t = Clock::now();
        f = std::fopen(host.c_str(), pass ? "rb+" : "wb");
        for (size_t done = 0; done < bigBytes; done += chunk) std::fwrite(buf.data(), 1, chunk, f);
        std::fclose(f);
        (pass ? hostWrite : hostNew) = Since(t);
    }
    t = Clock::now();
    f = std::fopen(host.c_str(), "rb");
    for (size_t done = 0; done < bigBytes; done += chunk)
        if (std::fread(buf.data(), 1, chunk, f) != chunk) Die("host read");
    std::fclose(f);
    const double hostRead = Since(t);
    fs::remove(host);
    gfslunlink("/a/big file.bin");

    /* 2. 2,000 files of 4 KiB with long names in one folder: create, list, delete */
    std::vector<char> small(smallBytes, 'x');
    auto name = [](int i) {
        char n[64];
        std::snprintf(n, sizeof n, "a file with a long name number %04d.txt", i);
        return std::string(n);
    };
    gfslmkdir("/b/many", 0);
    t = Clock::now();
    for (int i = 0; i < smallCount; ++i) {
        int s = gfslfopen(("/b/many/" + name(i)).c_str(), "w");
        if (s < 0 || gfslfwrite(small.data(), 1, smallBytes, s) != smallBytes || gfslfclose(s) != 0) Die("small write");
    }
    const double ourCreate = Since(t);
    t = Clock::now();
    int listed = 0;
    GFSL_DIR* d = gfslopendir("/b/many");
    while (gfslreaddir(d)) ++listed;
    gfslclosedir(d);
    const double ourList = Since(t);
    if (listed != smallCount + 2) Die("listing");
    t = Clock::now();
    for (int i = 0; i < smallCount; ++i)
        if (gfslunlink(("/b/many/" + name(i)).c_str()) != 0) Die("unlink");
    const double ourDelete = Since(t);
    gfslInit(1);

    const fs::path src = work / "src", vol = work / "mtools.vol";
    fs::create_directories(src);
    for (int i = 0; i < smallCount; ++i) {
        FILE* s = std::fopen((src / name(i)).c_str(), "wb");
        std::fwrite(small.data(), 1, smallBytes, s);
        std::fclose(s);
    }
    if (Run("mkfs.fat -F 32 -C '" + vol.string() + "' " + std::to_string(40 * 1024) + " >/dev/null") != 0) Die("mkfs.fat");
    Run("mmd -i '" + vol.string() + "' ::/many");
    t = Clock::now();
    if (Run("cd '" + src.string() + "' && mcopy -i '" + vol.string() + "' * ::/many/") != 0) Die("mcopy");
    const double mtCreate = Since(t);
    t = Clock::now();
    if (Run("mdir -i '" + vol.string() + "' ::/many >/dev/null") != 0) Die("mdir");
    const double mtList = Since(t);
    t = Clock::now();
    if (Run("mdel -i '" + vol.string() + "' '::/many/*'") != 0) Die("mdel");
    const double mtDelete = Since(t);
    fs::remove_all(work);

    const double mb = bigBytes / 1048576.0;
    std::printf("256 MiB file in 128 KiB chunks (FAT32, 4 KiB clusters)\n");
    std::printf("  write: device %.3f s (%.0f MiB/s), host file written over %.3f s (%.0f MiB/s), ratio %.2f\n",
                ourWrite, mb / ourWrite, hostWrite, mb / hostWrite, hostWrite / ourWrite);
    std::printf("         (a new host file: %.3f s, %.0f MiB/s)\n", hostNew, mb / hostNew);
    std::printf("  read:  device %.3f s (%.0f MiB/s), host file %.3f s (%.0f MiB/s), ratio %.2f\n", ourRead,
                mb / ourRead, hostRead, mb / hostRead, hostRead / ourRead);
    std::printf("2,000 files of 4 KiB with long names in one folder (FAT32, 40 MiB)\n");
    std::printf("  create: device %.3f s, mtools %.3f s\n", ourCreate, mtCreate);
    std::printf("  list:   device %.3f s, mtools %.3f s\n", ourList, mtList);
    std::printf("  delete: device %.3f s, mtools %.3f s\n", ourDelete, mtDelete);
    const double ours = ourCreate + ourList + ourDelete, theirs = mtCreate + mtList + mtDelete;
    std::printf("  total:  device %.3f s, mtools %.3f s, ratio %.2f (above 1: faster than mtools)\n", ours, theirs,
                theirs / ours);
    return 0;
}
