/* A device in memory for the file-system tests, with helpers shared by them. */
#ifndef LUMIVEX_VIRTUALDEVICE_TESTS_TESTDISK_H
#define LUMIVEX_VIRTUALDEVICE_TESTS_TESTDISK_H

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "blockdev.h"
#include "fat/fatfs.h"
#include "profiler.h"

namespace lxtest {

inline void FixedClock(lxfat::DosTime* t) { *t = {2026, 12, 10, 13, 45, 30}; }

struct TestDisk {
    lxvd::MemoryStorage* mem;
    lxvd::ImageDevice image;
    lxvd::BlockDeviceRecord rec;

    explicit TestDisk(uint32_t sectors, uint8_t fill = 0)
        : mem(new lxvd::MemoryStorage(std::vector<uint8_t>(static_cast<size_t>(sectors) * 512 + 32, fill))),
          image(std::unique_ptr<lxvd::ImageStorage>(mem)) {
        image.Register(&rec);
        rec.control(&rec, lxvd::kCtlOpen);
        rec.control(&rec, lxvd::kCtlGeometry);
        rec.opened = 1;
    }
    lxfat::Partition Part(uint32_t start, uint32_t count) {
        lxfat::Partition p;
        p.device = &rec;
        p.start = start;
        p.count = count;
        return p;
    }
    uint8_t* Sector(uint32_t s) { return mem->bytes().data() + static_cast<size_t>(s) * 512; }
};

/* Points this process's module at a user area of its own. */
inline void SetUserArea(const std::string& path) {
#ifdef _WIN32
    _putenv_s("LX_USER_AREA", path.c_str());
#else
    setenv("LX_USER_AREA", path.c_str(), 1);
#endif
}

/* A name for temporary folders that no other test process shares. */
inline std::string UniqueTag() {
    static const unsigned long tag = static_cast<unsigned long>(std::rand()) ^
                                     static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&tag));
    return std::to_string(tag);
}

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : v) {
        x ^= x << 13; x ^= x >> 17; x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return v;
}

/* A whole file of a mounted volume through the exports; "<missing>" when it cannot be opened. */
inline std::string ApiRead(const char* path) {
    const int h = gfslfopen(path, "r");
    if (h < 0) return "<missing>";
    std::string out;
    char buf[4096];
    for (uint32_t n; (n = gfslfread(buf, 1, sizeof buf, h)) > 0 && n != static_cast<uint32_t>(-1);) out.append(buf, n);
    gfslfclose(h);
    return out;
}

/* Writes a whole file through the exports: 0, or -1 when any step failed. */
inline int ApiWrite(const char* path, const std::string& data, const char* mode = "w") {
    const int h = gfslfopen(path, mode);
    if (h < 0) return -1;
    const uint32_t n = gfslfwrite(data.data(), 1, static_cast<uint32_t>(data.size()), h);
    return gfslfclose(h) == 0 && n == data.size() ? 0 : -1;
}

}  // namespace lxtest

#endif
