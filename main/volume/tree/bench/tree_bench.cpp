/* Throughput of the volume tree's folder copy: 500 files totalling 64 MiB from a host folder
 * into a FAT16 volume of the virtual device and back, beside mcopy -s of the same tree into and
 * out of a volume image of the same kind. Prints MiB/s and ratios; asserts nothing. */
#define LX_DEVICE_MODULE_EXPORTS
#include "lumivex/deviceapi.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device_api.h"
#include "tree_core.h"
#include "vdapi.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace lx::voltree;

namespace {

struct Export {
    const char* name;
    void* address;
};
#define LX_VD_EXPORT_1(name) {#name, reinterpret_cast<void*>(&name)},
#define LX_VD_EXPORT_0(name)
#define LX_VD_EXPORT(slot, name, ret, params, args, group, stub, k, v) LX_VD_EXPORT_##v(name)
const Export kExports[] = {LX_DEVICE_API_SLOTS(LX_VD_EXPORT)};

void* Lookup(void*, const char* name) {
    for (const Export& e : kExports)
        if (std::strcmp(e.name, name) == 0) return e.address;
    return nullptr;
}

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

void Die(const char* what) {
    std::fprintf(stderr, "benchmark failed: %s\n", what);
    std::exit(1);
}

int Run(const std::string& cmd) { return std::system(cmd.c_str()); }

class QuietUi : public TreeCopyUi {
public:
    int Ask(const std::string& text, const char*, unsigned) override {
        std::fprintf(stderr, "copy asked: %s\n", text.c_str());
        return 2;  // Cancel: a benchmark that needs a question has failed
    }
};

}  // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::current_path() / "tree-bench";
    const int files = 500;
    const size_t total = 64u << 20;
    const uint32_t volumeMiB = 128;
    fs::remove_all(work);
    fs::create_directories(work / "area" / "User Data");
    fs::create_directories(work / "src" / "tree");
    setenv("LX_USER_AREA", (work / "area").c_str(), 1);
    setenv("MTOOLS_SKIP_CHECK", "1", 1);

    // 500 files of varied sizes in 10 folders, 64 MiB in all.
    std::vector<char> data(total);
    uint32_t x = 12345;
    for (char& c : data) c = static_cast<char>(x = x * 1103515245u + 12345u);
    size_t at = 0;
    for (int i = 0; i < files; ++i) {
        size_t size = i == files - 1 ? total - at : (total / files) / 2 + (static_cast<size_t>(i) * 7919 % (total / files));
        fs::path folder = work / "src" / "tree" / ("folder" + std::to_string(i % 10));
        fs::create_directories(folder);
        std::ofstream(folder / ("file" + std::to_string(i) + ".bin"), std::ios::binary).write(data.data() + at, size);
        at += size;
    }
    if (chdir(work.c_str()) != 0) Die("chdir");  // host paths must not begin with '/'

    lx::BindDeviceApi(Lookup, nullptr);
    if (DeviceApiTable.gfslInit(0) != 0 || DeviceApiTable.gfslLowLevelFormat("/a", 1u << 20, volumeMiB << 20) != 0 ||
        DeviceApiTable.gfslFormat("/a", "FAT16", "BENCH", 0) != 0)
        Die("volume");
    // The same kind of volume for mcopy: the freshly formatted one, cut out of the image.
    DeviceApiTable.gfslInit(1);
    const std::string image = lxvd::VdImagePath();
    if (Run("dd if='" + image + "' of='" + (work / "vol.img").string() + "' bs=1M skip=1 count=" +
            std::to_string(volumeMiB) + " status=none") != 0)
        Die("cut");
    if (DeviceApiTable.gfslInit(0) != 0 || DeviceApiTable.gfslMount(0) != 0) Die("mount");

    QuietUi ui;
    TreeCopier copier(ui);
    if (!MakeFolder("/a/tree")) Die("mkdir");
    auto t = Clock::now();
    if (copier.CopyItem("src/tree", "/a/tree", true) != kCopyDone) Die("copy to the volume");
    const double toVolume = Since(t);
    fs::create_directories(work / "back");
    t = Clock::now();
    if (copier.CopyItem("/a/tree", "back", true) != kCopyDone) Die("copy back");
    const double back = Since(t);
    DeviceApiTable.gfslUnmount(0);
    DeviceApiTable.gfslInit(1);
    if (Run("diff -r '" + (work / "src" / "tree").string() + "' '" + (work / "back").string() + "'") != 0)
        Die("the copies differ");

    t = Clock::now();
    if (Run("mcopy -s -i '" + (work / "vol.img").string() + "' '" + (work / "src" / "tree").string() + "' ::/") != 0)
        Die("mcopy in");
    const double mIn = Since(t);
    fs::create_directories(work / "mback");
    t = Clock::now();
    if (Run("mcopy -s -i '" + (work / "vol.img").string() + "' ::/tree '" + (work / "mback").string() + "'") != 0)
        Die("mcopy out");
    const double mOut = Since(t);

    const double mib = static_cast<double>(total) / (1 << 20);
    std::printf("volume tree copy, %d files, %.0f MiB, FAT16 volume of %u MiB\n", files, mib, volumeMiB);
    std::printf("  PC -> volume: tree %7.1f MiB/s   mcopy -s %7.1f MiB/s   ratio %.2f\n", mib / toVolume, mib / mIn,
                mIn / toVolume);
    std::printf("  volume -> PC: tree %7.1f MiB/s   mcopy -s %7.1f MiB/s   ratio %.2f\n", mib / back, mib / mOut,
                mOut / back);
    std::printf("  (ratio above 1: the tree is faster)\n");
    fs::remove_all(work);
    return 0;
}
