#include "script_memory.h"

#include <cstring>
#include <iterator>
#include <new>

namespace lx {

namespace {
constexpr uint64_t kSpaceEnd = 0xFFFF0000ull;
}

uint64_t ScriptMemory::FindWindow(uint64_t from, uint64_t end, uint64_t span) const {
  uint64_t candidate = from;
  auto it = blocks_.lower_bound(static_cast<uint32_t>(from));
  if (it != blocks_.begin()) {
    auto before = std::prev(it);
    candidate = std::max<uint64_t>(candidate, before->first + before->second.span);
  }
  for (;;) {
    if (candidate + span > end) return 0;
    if (it == blocks_.end() || it->first >= candidate + span) return candidate;
    candidate = std::max<uint64_t>(candidate, it->first + it->second.span);
    ++it;
  }
}

uint32_t ScriptMemory::Allocate(uint32_t size) {
  if (size > kMaxBlockSize) return 0;
  uint64_t granules = (std::max<uint64_t>(size, 1) + kGranule - 1) / kGranule;
  uint64_t span = (granules + 1) * kGranule;
  uint64_t window = FindWindow(cursor_, kSpaceEnd, span);
  if (window == 0) window = FindWindow(kGranule, kSpaceEnd, span);
  if (window == 0) return 0;
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[std::max<uint32_t>(size, 1)]);
  if (!data) return 0;
  std::memset(data.get(), 0, std::max<uint32_t>(size, 1));
  blocks_.emplace(static_cast<uint32_t>(window), Block{std::move(data), size, span});
  bytesInUse_ += size;
  cursor_ = window + span;
  return static_cast<uint32_t>(window);
}

bool ScriptMemory::Free(uint32_t address) {
  auto it = blocks_.find(address);
  if (it == blocks_.end()) return false;
  bytesInUse_ -= it->second.size;
  blocks_.erase(it);
  return true;
}

bool ScriptMemory::Find(uint32_t address, uint32_t* base, uint32_t* size) const {
  auto it = blocks_.upper_bound(address);
  if (it == blocks_.begin()) return false;
  --it;
  if (static_cast<uint64_t>(address) - it->first >= it->second.span) return false;
  if (base) *base = it->first;
  if (size) *size = it->second.size;
  return true;
}

uint8_t* ScriptMemory::Resolve(uint32_t address, uint64_t length) {
  auto it = blocks_.upper_bound(address);
  if (it == blocks_.begin()) return nullptr;
  --it;
  uint64_t offset = static_cast<uint64_t>(address) - it->first;
  if (offset > it->second.size || length > it->second.size - offset) return nullptr;
  return it->second.data.get() + offset;
}

}  // namespace lx
