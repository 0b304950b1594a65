// The table of kits in use, shared by every process that loads the control, so that two processes
// never drive one kit. It is keyed by the whole device path. The memory block and the lock around
// each call belong to the caller (on Windows a named mapping and a named mutex).
#pragma once
#include <cstdint>

namespace tarn {

constexpr uint32_t kInUseMagic = 0x4B55494C;  // "LIUK"
constexpr int kInUseEntries = 32;
constexpr int kInUsePathMax = 260;

struct InUseEntry {
    uint32_t owner;   // process id, 0 = free
    char path[kInUsePathMax];
};

struct InUseBlock {
    uint32_t magic;
    uint32_t entries;
    InUseEntry entry[kInUseEntries];
};

// 32-bit and 64-bit processes share one mapping: the layout holds no pointer or size_t.
static_assert(sizeof(InUseEntry) == 264, "one in-use entry is 264 bytes on every target");
static_assert(sizeof(InUseBlock) == 8 + kInUseEntries * 264, "the in-use block is the same on every target");

enum class Claim { Claimed, Taken, Full, BadPath };

// `alive` tells whether a process still exists; entries of dead owners are taken over.
using ProcessAlive = bool (*)(uint32_t processId);

Claim InUseClaim(InUseBlock* block, const char* path, uint32_t processId, ProcessAlive alive);
// Clears the entry of `path` when this process owns it.
void InUseRelease(InUseBlock* block, const char* path, uint32_t processId);
bool InUseHeld(const InUseBlock* block, const char* path);

}  // namespace tarn
