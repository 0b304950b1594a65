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
    for (size_t i = 0; i < count; ++i) out += AsciiChar(data[row + i]);
    out += "\r\n";
  }
  return out;
}

// ---- the grids' cells ---------------------------------------------------------------------------
char AsciiChar(uint8_t value) { return value >= 0x20 && value <= 0x7E ? static_cast<char>(value) : '.'; }

std::string AsciiRowText(const uint8_t* bytes16) {
  std::string text(16, '.');
  for (int i = 0; i < 16; ++i) text[i] = AsciiChar(bytes16[i]);
  return text;
}

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

bool ParseHexCell(const std::string& text, uint8_t* value) {
  if (text.empty() || text.size() > 2) return false;
  int v = 0;
  for (char c : text) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = v * 16 + d;
  }
  *value = static_cast<uint8_t>(v);
  return true;
}

// ---- find patterns ------------------------------------------------------------------------------
PatternError CheckPatternLength(size_t bytes) {
  if (bytes == 0) return PatternError::kEmpty;
  if (bytes > kMaxPatternBytes) return PatternError::kTooLong;
  return PatternError::kNone;
}

PatternError ParseHexPattern(const char* text, std::vector<uint8_t>* bytes) {
  bytes->clear();
  const char* p = text ? text : "";
  while (*p) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    int high = HexDigit(*p++);
    if (high < 0) return PatternError::kNotHex;
    int low = 0;
    // A lone digit before a blank or the terminator is the high digit of its byte; the
    // terminator is never stepped over.
    if (*p && *p != ' ') {
      low = HexDigit(*p++);
      if (low < 0) return PatternError::kNotHex;
    }
    bytes->push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return CheckPatternLength(bytes->size());
}

const char* PatternErrorText(PatternError error) {
  switch (error) {
    case PatternError::kEmpty:
      return "Type a string to find.";
    case PatternError::kTooLong:
      return "The string to find is longer than 511 bytes.";
    case PatternError::kNotHex:
      return "The hexadecimal string holds a character that is no hexadecimal digit.";
    case PatternError::kNone:
      break;
  }
  return "";
}

}  // namespace lx
