// What the explorer windows compute without a window: the shown page or window index within
// the device, the hex rows with the marked byte range, the texts of their grids' cells and the
// patterns of their finds. Portable; the sector tools' explorer builds on it too.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// ---- the grids' cells ---------------------------------------------------------------------------
// A byte as its character column shows it: 0x20..0x7E as themselves, every other byte as '.'.
char AsciiChar(uint8_t value);
// Sixteen bytes as their character column shows them.
std::string AsciiRowText(const uint8_t* bytes16);
// The in-place editor's text: one or two hexadecimal digits and nothing else. False (value
// untouched) for anything else, so that a typo never turns into a 0 byte.
bool ParseHexCell(const std::string& text, uint8_t* value);

// ---- find patterns ------------------------------------------------------------------------------
// A pattern holds at most 511 bytes: in the sector search it fills at most the searched sector
// less one byte, so it always ends in the next one.
constexpr size_t kMaxPatternBytes = 511;
enum class PatternError { kNone, kEmpty, kTooLong, kNotHex };
// Hexadecimal pattern text: blanks separate bytes; two digits make a byte, a digit followed by a
// blank or the end of the text makes a byte of its own ('a b' -> A0 B0, 'abc' -> AB C0). Letters
// may be of either case. Any character other than a hexadecimal digit or a blank is refused.
// The text ends at its terminator, also after a lone digit.
PatternError ParseHexPattern(const char* text, std::vector<uint8_t>* bytes);
// The ASCII pattern is the text's bytes; both kinds must hold 1..511 bytes.
PatternError CheckPatternLength(size_t bytes);
const char* PatternErrorText(PatternError error);

}  // namespace lx
