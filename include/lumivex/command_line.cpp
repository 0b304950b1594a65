#include "lumivex/command_line.h"

#include <cstdio>
#include <cstring>

namespace lx {
namespace cmdline {

namespace {

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

unsigned char Folded(unsigned char c, bool ignoreCase) {
  return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

bool StartsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool InRange(uint32_t value, uint32_t start, uint32_t size) {
  return value >= start && uint64_t(value) < uint64_t(start) + size;
}

// Step 1 into `work`; false with the verdict set when it cannot be done.
bool Substitute(const char* line, char* work, size_t workSize, VariableLookup lookup, void* context,
                Prepared* out) {
  size_t at = 0;
  auto put = [&](const char* text, size_t length) {
    if (length >= workSize - at) return false;  // keep a byte for the NUL
    std::memcpy(work + at, text, length);
    at += length;
    return true;
  };
  for (const char* p = line; *p;) {
    const char* dollar = std::strchr(p, '$');
    if (!dollar) {
      if (!put(p, std::strlen(p))) return out->verdict = Verdict::kTooLong, false;
      break;
    }
    if (!put(p, size_t(dollar - p))) return out->verdict = Verdict::kTooLong, false;
    const char* name = dollar + 1;
    size_t length = std::strcspn(name, " ");
    out->name = name;
    out->nameLength = length;
    Variable v = {0, 0};
    if (!lookup || !lookup(context, name, length, &v)) return out->verdict = Verdict::kUnknownVariable, false;
    char value[12];
    switch (v.size) {
      case 1: std::snprintf(value, sizeof value, "%2.2X", unsigned(v.value & 0xFF)); break;
      case 2: std::snprintf(value, sizeof value, "%4.4X", unsigned(v.value & 0xFFFF)); break;
      case 4: std::snprintf(value, sizeof value, "%8.8X", unsigned(v.value)); break;
      default: return out->verdict = Verdict::kBadVariableSize, false;
    }
    if (!put(value, std::strlen(value))) return out->verdict = Verdict::kTooLong, false;
    p = name + length;
  }
  work[at] = '\0';
  return true;
}

}  // namespace

uint32_t ParseHex(const char* text) {
  if (!text) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigit(p[2]) >= 0) p += 2;
  uint64_t value = 0;
  for (int d; (d = HexDigit(*p)) >= 0; ++p) {
    value = value * 16 + uint64_t(d);
    if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  }
  uint32_t result = uint32_t(value);
  return negative ? 0u - result : result;
}

bool MatchWord(const char* name, const char* line, const Policy& policy) {
  if (!name || !line) return false;
  size_t i = 0;
  for (; name[i]; ++i) {
    unsigned char a = static_cast<unsigned char>(name[i]), b = static_cast<unsigned char>(line[i]);
    if (!b || Folded(a, policy.ignoreCase) != Folded(b, policy.ignoreCase)) return false;
  }
  return line[i] == ' ' || line[i] == '\0';
}

int CountParameters(const char* line) {
  if (!line) return 0;
  int words = 0;
  while (*line) {
    while (IsBlank(*line)) ++line;
    if (!*line) break;
    ++words;
    while (*line && !IsBlank(*line)) ++line;
  }
  return words > 0 ? words - 1 : 0;
}

const char* GetParameter(const char* line, int n) {
  if (!line || n < 1) return nullptr;
  int word = -1;
  while (*line) {
    while (IsBlank(*line)) ++line;
    if (!*line) break;
    if (++word == n) return line;
    while (*line && !IsBlank(*line)) ++line;
  }
  return nullptr;
}

bool ValidBaseAddress(uint32_t value, const AddressSpace& space, const Policy& policy) {
  if (space.superUser) return true;
  return InRange(value, space.base, space.window) && (!policy.evenBaseAddress || (value & 1) == 0);
}

bool ValidAddress(uint32_t value, const AddressSpace& space) {
  if (space.superUser || InRange(value, space.base, space.window)) return true;
  return space.scratchpad != 0 && InRange(value, space.scratchpad, kScratchpadSize);
}

void Prepare(const Row& row, const char* line, char* work, size_t workSize, const Policy& policy,
             const AddressSpace& space, VariableLookup lookup, void* context, Prepared* out) {
  out->argc = 0;
  out->argv[0] = work;
  out->name = nullptr;
  out->nameLength = 0;
  const char* usage = row.usage ? row.usage : "";
  // A typed line that does not fit is refused as such, whatever it holds.
  if (!work || workSize == 0 || std::strlen(line ? line : "") >= workSize) {
    out->verdict = Verdict::kTooLong;
    return;
  }
  if (!Substitute(line ? line : "", work, workSize, lookup, context, out)) return;

  int count = CountParameters(work);
  if (count == row.minParams - 1 && usage[0] == '[') {
    char base[16];
    size_t baseLength = size_t(std::snprintf(base, sizeof base, " %8.8X", unsigned(space.base)));
    size_t length = std::strlen(work);
    if (length + baseLength >= workSize) {
      out->verdict = Verdict::kTooLong;
      return;
    }
    size_t word = std::strcspn(work, " ");
    std::memmove(work + word + baseLength, work + word, length - word + 1);
    std::memcpy(work + word, base, baseLength);
    count = CountParameters(work);
  }

  out->argc = count;
  if (count < row.minParams || count > row.maxParams || count >= kArgvSlots) {
    out->verdict = Verdict::kParameterCount;
    return;
  }
  for (int i = 1; i <= count; ++i) out->argv[i] = const_cast<char*>(GetParameter(work, i));
  for (int i = count + 1; i < kArgvSlots; ++i) out->argv[i] = nullptr;

  if (count >= 1) {
    uint32_t first = ParseHex(out->argv[1]);
    if ((StartsWith(usage, "[base_addr]") || StartsWith(usage, "base_addr")) &&
        !StartsWith(row.name, "SetBaseAddress")) {
      if (!ValidBaseAddress(first, space, policy)) {
        out->verdict = Verdict::kInvalidBaseAddress;
        return;
      }
    } else if (StartsWith(usage, "addr") && !ValidAddress(first, space)) {
      out->verdict = Verdict::kInvalidAddress;
      return;
    }
  }
  out->verdict = Verdict::kRun;
}

}  // namespace cmdline
}  // namespace lx
