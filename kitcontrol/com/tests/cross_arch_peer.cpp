// One side of the cross-architecture check: a 32-bit and a 64-bit process on one machine must see
// one table of kits in use (one owner per kit) and read each other's bus-trace map record for record.
//   cross_arch_peer hold <kit path> <map name> <ready file> <done file>
//       claims the kit, fills the map, creates <ready file> and holds both until <done file> appears
//   cross_arch_peer check <kit path> <map name>
//       the kit must be taken by someone else and every record of the map as the holder wrote it
//   cross_arch_peer free <kit path>
//       the kit must be free to claim again
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "inuse_win.h"
#include "lumivex/deviceapi.h"

namespace {

TraceRecord Expected(uint32_t i) {
    // Every field different and above 16 bits somewhere, so a shifted or narrowed layout shows.
    return TraceRecord{i, 1000u + i % 12u, 0x10000000u + i, i * 2u, 0x80000000u | i, ~i};
}

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

int Hold(const char* kit, const char* map, const char* ready, const char* done) {
    if (!TarnClaimKit(kit)) {
        std::printf("hold: cannot claim %s\n", kit);
        return 1;
    }
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, LX_TRACE_MAP_BYTES, map);
    auto* records = mapping ? static_cast<TraceRecord*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0)) : nullptr;
    if (!records) {
        std::printf("hold: cannot map %s\n", map);
        return 1;
    }
    for (uint32_t i = 0; i < LX_TRACE_RECORD_COUNT; ++i) records[i] = Expected(i);
    HANDLE f = CreateFileA(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(f);
    for (int waited = 0; !Exists(done); waited += 20) {
        if (waited > 120000) {
            std::printf("hold: nobody came\n");
            return 1;
        }
        Sleep(20);
    }
    TarnReleaseKit(kit);
    UnmapViewOfFile(records);
    CloseHandle(mapping);
    return 0;
}

int Check(const char* kit, const char* map) {
    if (TarnClaimKit(kit)) {
        std::printf("check: claimed %s although another process holds it\n", kit);
        TarnReleaseKit(kit);
        return 1;
    }
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, map);
    auto* records = mapping ? static_cast<const TraceRecord*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) : nullptr;
    if (!records) {
        std::printf("check: cannot open %s\n", map);
        return 1;
    }
    for (uint32_t i = 0; i < LX_TRACE_RECORD_COUNT; ++i) {
        TraceRecord want = Expected(i);
        if (std::memcmp(&records[i], &want, sizeof want) != 0) {
            std::printf("check: record %u differs (opcode %u, address 0x%08X)\n", i, records[i].opcode, records[i].address);
            return 1;
        }
    }
    std::printf("check: %u records agree, the kit is taken\n", LX_TRACE_RECORD_COUNT);
    return 0;
}

int Free(const char* kit) {
    if (!TarnClaimKit(kit)) {
        std::printf("free: %s is still taken\n", kit);
        return 1;
    }
    TarnReleaseKit(kit);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("cross_arch_peer (%d-bit): %s\n", static_cast<int>(sizeof(void*) * 8), argc > 1 ? argv[1] : "");
    if (argc == 6 && !std::strcmp(argv[1], "hold")) return Hold(argv[2], argv[3], argv[4], argv[5]);
    if (argc == 4 && !std::strcmp(argv[1], "check")) return Check(argv[2], argv[3]);
    if (argc == 3 && !std::strcmp(argv[1], "free")) return Free(argv[2]);
    std::printf("usage: cross_arch_peer hold|check|free ...\n");
    return 2;
}
