/* The image trailer and the low-level-format arithmetic: whatever the trailer says, a low-level
 * format either refuses or leaves a table of partitions that do not overlap, inside the image,
 * with the other partitions' bytes untouched. */
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "blockdev.h"

using namespace lxvd;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    uint32_t offset, length;
    std::memcpy(&offset, data, 4);
    std::memcpy(&length, data + 4, 4);
    const int index = data[8] % 5;
    /* keep images small: scale the request into a few MiB */
    offset %= 8u << 20;
    length %= 4u << 20;
    std::vector<uint8_t> img(data + 9, data + size);
    if (img.size() >= 32)
        for (size_t i = img.size() - 32; i < img.size(); i += 4) {
            uint32_t v;
            std::memcpy(&v, &img[i], 4);
            if (v != 0xFFFFFFFFu) v %= 8u << 20;
            std::memcpy(&img[i], &v, 4);
        }
    auto* mem = new MemoryStorage(img);
    ImageDevice dev{std::unique_ptr<ImageStorage>(mem)};
    BlockDeviceRecord rec;
    dev.Register(&rec);
    if (rec.control(&rec, kCtlOpen) == 0 && rec.control(&rec, kCtlGeometry) == 0) {
        uint8_t s[1024];
        if (rec.sectorCount) {
            if (rec.read(&rec, rec.sectorCount - 1, s, 1) != 0) std::abort();
            if (rec.read(&rec, rec.sectorCount - 1, s, 2) == 0) std::abort();
        }
    }
    PartitionRecord before[4];
    for (int i = 0; i < 4; ++i) before[i] = dev.partition(i);
    const std::vector<uint8_t> old = mem->bytes();
    const int rc = dev.LowLevelFormat(index, offset, length);
    if (rc != 0) {
        if (mem->bytes() != old) std::abort();  /* a refusal changes nothing */
        return 0;
    }
    const std::vector<uint8_t>& now = mem->bytes();
    if (now.size() < old.size()) std::abort();
    const uint64_t device = now.size() - 32;
    for (int i = 0; i < 4; ++i) {
        PartitionRecord p;
        std::memcpy(&p.offset, &now[device + 8 * i], 4);
        std::memcpy(&p.size, &now[device + 8 * i + 4], 4);
        if (i == index && (p.offset != offset || p.size != length)) std::abort();
        if (!p.used()) continue;
        if (i == index && static_cast<uint64_t>(p.offset) + p.size > device) std::abort();
        if (i != index && (p.offset != before[i].offset || p.size != before[i].size)) std::abort();
        for (int j = 0; j < i; ++j) {
            PartitionRecord q;
            std::memcpy(&q.offset, &now[device + 8 * j], 4);
            std::memcpy(&q.size, &now[device + 8 * j + 4], 4);
            if (!q.used() || (i != index && j != index)) continue;
            if (p.size && q.size && p.offset < q.offset + q.size && q.offset < p.offset + p.size) std::abort();
        }
    }
    /* the bytes of the other partitions are untouched */
    for (int i = 0; i < 4; ++i) {
        if (i == index || !before[i].used()) continue;
        for (uint64_t b = before[i].offset; b < static_cast<uint64_t>(before[i].offset) + before[i].size && b + 32 < old.size(); ++b)
            if (now[b] != old[b]) std::abort();
    }
    return 0;
}
