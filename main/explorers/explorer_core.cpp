#include "explorer_core.h"

#include <cstdio>

namespace lx {

uint32_t ClampShownIndex(uint64_t index, uint64_t count) {
  if (count == 0) return 0;
  if (index >= count) index = count - 1;
  // Page and window numbers are 32-bit; a larger device shows its last addressable one.
  return index > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(index);
}

uint32_t NorWindowSize(uint8_t sizeIndex) {
  unsigned shift = sizeIndex > 20 ? 20 : sizeIndex;
  return 1024u << shift;
}

std::string HexRows(const uint8_t* data, size_t size, uint32_t baseAddress, uint32_t markOffset, uint32_t markLength,
                    uint32_t busBytes) {
  std::string out;
  if (!data) return out;
  if (busBytes == 0) busBytes = 1;
  uint64_t markFirst = static_cast<uint64_t>(markOffset) * busBytes;
  uint64_t markEnd = markFirst + static_cast<uint64_t>(markLength) * busBytes;
  for (size_t row = 0; row < size; row += 16) {
    size_t count = size - row < 16 ? size - row : 16;
    bool marked = markEnd > markFirst && row < markEnd && row + count > markFirst;
    char text[96];
    std::snprintf(text, sizeof text, "%c%08X: ", marked ? '>' : ' ', static_cast<unsigned>(baseAddress + row));
    out += text;
    for (size_t i = 0; i < 16; ++i) {
      if (i < count) {
        std::snprintf(text, sizeof text, "%02X ", data[row + i]);
        out += text;
      } else {
        out += "   ";
      }
    }
    out += ' ';
    for (size_t i = 0; i < count; ++i) {
      uint8_t c = data[row + i];
      out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace lx
