/* A UTF-8 path through conversion, splitting, 8.3 forms, tails and long-name entries. */
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fat/fatnames.h"

using namespace lxfat;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path(reinterpret_cast<const char*>(data), size);
    path = path.c_str();  /* up to the first zero, as a C caller passes it */
    u16string u;
    if (!Utf8ToUtf16(path.c_str(), &u, 4096)) return 0;
    if (Utf16ToUtf8(u) != path) std::abort();
    std::vector<u16string> comps;
    if (SplitPath(u, NameKind::Either, &comps) != 0) return 0;
    for (const u16string& c : comps) {
        if (c.empty() || c.size() > kMaxNameUnits) std::abort();
        ShortName sn;
        if (MakeShortName(c, &sn) != 0) continue;
        for (int i = 0; i < 11; ++i)
            if (sn.name[i] < 0x20 || (sn.name[i] >= 'a' && sn.name[i] <= 'z') || sn.name[i] >= 0x80) std::abort();
        uint8_t tailed[11];
        std::memcpy(tailed, sn.name, 11);
        ApplyNumericTail(tailed, 1 + static_cast<uint32_t>(size % 999999));
        if (!std::memchr(tailed, '~', 8)) std::abort();
        std::vector<uint8_t> entries;
        BuildLongEntries(c, ShortNameChecksum(tailed), &entries);
        LongNameCollector collector;
        for (size_t k = 0; k < entries.size() / 32; ++k) collector.Feed(&entries[k * 32], static_cast<int64_t>(k));
        uint8_t shortEntry[32] = {};
        std::memcpy(shortEntry, tailed, 11);
        int64_t start = -1;
        if (collector.Take(shortEntry, &start) != c || start != 0) std::abort();
        if (!sn.needsLong) {
            /* a name kept by its 8.3 form alone reads back the same but for ASCII case */
            std::memcpy(shortEntry, sn.name, 11);
            shortEntry[12] = sn.caseBits;
            if (ShortNameToText(shortEntry) != c) std::abort();
        }
    }
    return 0;
}
