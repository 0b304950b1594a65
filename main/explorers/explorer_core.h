// What the explorer windows compute without a window: the shown page or window index within
// the device, and the hex rows with the marked byte range. Portable.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace lx {

// index limited to 0 .. count - 1 (0 for an empty device).
uint32_t ClampShownIndex(uint64_t index, uint64_t count);

// The NOR explorer's bytes per window: 1024 x 2^sizeIndex (indexes past 2^20 windows are
// held at 2^20 so a bad options value cannot overflow).
uint32_t NorWindowSize(uint8_t sizeIndex);

// Rows of 16 bytes: "%08X: " address, the bytes in hex, then their printable characters.
// Rows that the marked range (offset, length, counted in bus words of `busBytes` bytes)
// touches begin with '>' instead of a blank.
std::string HexRows(const uint8_t* data, size_t size, uint32_t baseAddress, uint32_t markOffset = 0,
                    uint32_t markLength = 0, uint32_t busBytes = 1);

}  // namespace lx
