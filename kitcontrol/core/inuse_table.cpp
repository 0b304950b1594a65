#include "inuse_table.h"

#include <cctype>
#include <cstring>

namespace tarn {

namespace {

// Device paths are case-insensitive on Windows.
bool SamePath(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

void Prepare(InUseBlock* block) {
    if (block->magic != kInUseMagic) {
        std::memset(block, 0, sizeof *block);
        block->magic = kInUseMagic;
        block->entries = kInUseEntries;
    }
}

}  // namespace

Claim InUseClaim(InUseBlock* block, const char* path, uint32_t processId, ProcessAlive alive) {
    if (!path || !*path || std::strlen(path) >= kInUsePathMax) return Claim::BadPath;
    Prepare(block);
    InUseEntry* freeEntry = nullptr;
    for (auto& e : block->entry) {
        if (e.owner && SamePath(e.path, path)) {
            if (alive && !alive(e.owner)) {
                e.owner = processId;  // the owner died without releasing it
                return Claim::Claimed;
            }
            return Claim::Taken;
        }
        if (!e.owner && !freeEntry) freeEntry = &e;
    }
    if (!freeEntry) {
        for (auto& e : block->entry) {
            if (alive && !alive(e.owner)) {
                freeEntry = &e;
                break;
            }
        }
    }
    if (!freeEntry) return Claim::Full;
    std::memset(freeEntry->path, 0, sizeof freeEntry->path);
    std::strcpy(freeEntry->path, path);
    freeEntry->owner = processId;
    return Claim::Claimed;
}

void InUseRelease(InUseBlock* block, const char* path, uint32_t processId) {
    if (!path || block->magic != kInUseMagic) return;
    for (auto& e : block->entry) {
        if (e.owner == processId && SamePath(e.path, path)) {
            e.owner = 0;
            e.path[0] = 0;
        }
    }
}

bool InUseHeld(const InUseBlock* block, const char* path) {
    if (!path || block->magic != kInUseMagic) return false;
    for (const auto& e : block->entry)
        if (e.owner && SamePath(e.path, path)) return true;
    return false;
}

}  // namespace tarn
