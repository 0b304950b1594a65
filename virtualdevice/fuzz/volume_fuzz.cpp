/* Mounting and walking a volume whose first sectors (boot sector, FAT, root folder, one
 * subfolder) come from the input. Broken chains and cycles must end in errors, not hangs. */
#include <cstdint>
#include <cstring>
#include <vector>

#include "blockdev.h"
#include "fat/fatfs.h"

using namespace lxfat;

namespace {

constexpr uint32_t kStart = 1, kCount = 4600;

void Clock(DosTime* t) { *t = {2026, 1, 2, 3, 4, 6}; }

/* A small FAT16 volume with a folder and files, made once. */
const std::vector<uint8_t>& Template(uint32_t* rootSector, uint32_t* folderSector) {
    static std::vector<uint8_t> bytes;
    static uint32_t root = 0, folder = 0;
    if (bytes.empty()) {
        auto* mem = new lxvd::MemoryStorage(std::vector<uint8_t>((kStart + kCount) * 512 + 32, 0));
        lxvd::ImageDevice image{std::unique_ptr<lxvd::ImageStorage>(mem)};
        lxvd::BlockDeviceRecord rec;
        image.Register(&rec);
        rec.control(&rec, lxvd::kCtlOpen);
        rec.control(&rec, lxvd::kCtlGeometry);
        Partition p{&rec, kStart, kCount};
        FatFs fs;
        fs.SetClock(Clock);
        fs.Init();
        fs.Format(0, p, "FUZZ", kTypeFat16);
        fs.Mount(0, p);
        fs.Mkdir(0, u"/folder");
        for (const char16_t* name : {u"/a.txt", u"/folder/long file name.bin", u"/folder/b"}) {
            int h = fs.Open(0, name, 0x301);
            std::vector<uint8_t> d(1500, 0x41);
            fs.Write(h, d.data(), static_cast<uint32_t>(d.size()));
            fs.Close(h);
        }
        uint8_t e[32];
        fs.Stat(0, u"/folder", e);
        fs.Unmount(0);
        bytes = mem->bytes();
        const uint8_t* b = bytes.data() + kStart * 512;
        const uint32_t reserved = b[14] | (b[15] << 8), fat = b[22] | (b[23] << 8);
        root = reserved + fat;
        folder = root + 64 + (static_cast<uint32_t>(e[26] | (e[27] << 8)) - 2) * b[13];
    }
    *rootSector = root;
    *folderSector = folder;
    return bytes;
}

void Walk(FatFs& fs, const u16string& path, int depth) {
    if (depth > 8) return;
    int d = fs.OpenDir(0, path);
    if (d < 0) return;
    DirItem item;
    for (int n = 0; n < 200 && fs.ReadDir(d, &item) == 0; ++n) {
        if (item.name == u"." || item.name == u"..") continue;
        const u16string child = path + u"/" + item.name;
        if (item.entry[11] & 0x10) {
            Walk(fs, child, depth + 1);
        } else {
            int h = fs.Open(0, child, 2);
            if (h >= 0) {
                static uint8_t buf[64 * 1024];
                fs.Read(h, buf, sizeof buf);
                fs.Seek(h, 0, 2);
                fs.Write(h, "z", 1);
                fs.Close(h);
            }
        }
    }
    fs.CloseDir(d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t root, folder;
    std::vector<uint8_t> bytes = Template(&root, &folder);
    /* The input is a list of edits (two bytes of place, one byte xor-ed in) over the boot
     * sector, the first FAT sector, the first root sector and the subfolder's first sector, so
     * that small inputs stay close to a working volume. */
    const uint32_t places[4] = {0, 1 /* first FAT sector, after one reserved */, root, folder};
    for (size_t i = 0; i + 3 <= size; i += 3) {
        const uint32_t at = (data[i] | (data[i + 1] << 8)) % 2048;
        bytes[(kStart + places[at / 512]) * 512 + at % 512] ^= data[i + 2];
    }
    auto* mem = new lxvd::MemoryStorage(std::move(bytes));
    lxvd::ImageDevice image{std::unique_ptr<lxvd::ImageStorage>(mem)};
    lxvd::BlockDeviceRecord rec;
    image.Register(&rec);
    rec.control(&rec, lxvd::kCtlOpen);
    rec.control(&rec, lxvd::kCtlGeometry);
    FatFs fs;
    fs.SetClock(Clock);
    fs.Init();
    if (fs.Mount(0, Partition{&rec, kStart, kCount}) != 0) return 0;
    Walk(fs, u"", 0);
    int h = fs.Open(0, u"/new file.txt", 0x301);
    if (h >= 0) {
        fs.Write(h, data, static_cast<uint32_t>(std::min<size_t>(size, 3000)));
        fs.Close(h);
    }
    fs.Mkdir(0, u"/folder/sub");
    fs.Rename(0, u"/a.txt", u"/folder/sub/a.txt");
    fs.Unlink(0, u"/folder/long file name.bin");
    fs.Rmdir(0, u"/folder");
    fs.Unmount(0);
    return 0;
}
