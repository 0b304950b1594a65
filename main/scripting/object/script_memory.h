// The memory a script handles through numbers: malloc hands out a number, the script adds
// offsets to it and passes the result to the memory and device methods as a buffer.
//
// A number is never a process address: it names a window of a 32-bit number space that belongs
// to one block of this table (the window's base in the high bits, the offset in the low bits).
// Windows are 64 KiB-aligned, at least one 64 KiB granule long and followed by a free granule,
// so a number just past a block's end never reaches the next block; 0 and the first granule are
// never handed out. Freed windows are taken again only after the number space has been walked
// once, so a stale number rarely names a new block. The same numbers serve the 32-bit and the
// 64-bit build.
//
// Resolve() is the only way from a number to memory: it answers a pointer only when the whole
// range lies inside one live block. The table owns the blocks and frees them when it goes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

namespace lx {

class ScriptMemory {
 public:
  static constexpr uint32_t kGranule = 0x10000;
  // The largest block one malloc gets; larger requests fail as an exhausted heap does.
  static constexpr uint32_t kMaxBlockSize = 0x40000000;

  ScriptMemory() = default;
  ScriptMemory(const ScriptMemory&) = delete;
  ScriptMemory& operator=(const ScriptMemory&) = delete;

  // A new zero-filled block of `size` bytes (0 is allowed); 0 when the size is beyond
  // kMaxBlockSize, the heap refuses or no window of the number space is free.
  uint32_t Allocate(uint32_t size);
  // Frees the block that starts at `address`; false (nothing freed) for any other number.
  bool Free(uint32_t address);
  // The memory of address .. address + length - 1 when it lies inside one live block (a
  // length of 0 may point just past the end); null otherwise.
  uint8_t* Resolve(uint32_t address, uint64_t length);
  // The size of the block that holds `address`, and the number of its first byte; false when
  // none holds it.
  bool Find(uint32_t address, uint32_t* base, uint32_t* size) const;

  size_t BlockCount() const { return blocks_.size(); }
  uint64_t BytesInUse() const { return bytesInUse_; }

 private:
  struct Block {
    std::unique_ptr<uint8_t[]> data;
    uint32_t size;
    uint64_t span;  // window length in the number space, the guard granule included
  };
  // The first free window of `span` bytes from `from` on, or 0.
  uint64_t FindWindow(uint64_t from, uint64_t end, uint64_t span) const;

  std::map<uint32_t, Block> blocks_;
  uint64_t cursor_ = kGranule;
  uint64_t bytesInUse_ = 0;
};

}  // namespace lx
