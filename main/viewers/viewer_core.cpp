#include "viewer_core.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lumivex/trace_ops.h"

namespace lx {

int ProfilerRowCount(int reported) {
  if (reported < 0) return 0;
  return reported > kMaxProfilerEntries ? kMaxProfilerEntries : reported;
}

std::string ProfilerCellText(uint64_t count) {
  char text[16];
  std::snprintf(text, sizeof text, "%" PRId32, static_cast<int32_t>(static_cast<uint32_t>(count)));
  return text;
}

const char kProfilerCsvHeader[] = "Function name,Hit count,Accumulated count\r\n";

std::string ProfilerCsvLine(const char* name, uint64_t count, uint64_t accumulated) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, ",%" PRId64 ",%" PRId64 "\r\n", static_cast<int64_t>(count),
                static_cast<int64_t>(accumulated));
  return std::string(name ? name : "") + numbers;
}

namespace {

bool IsSeparator(char c) { return c == ',' || c == '\t' || c == '\n'; }

std::vector<std::string> Tokens(const char* text, size_t length) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < length) {
    while (i < length && IsSeparator(text[i])) ++i;
    size_t start = i;
    while (i < length && !IsSeparator(text[i])) ++i;
    if (i > start) tokens.emplace_back(text + start, i - start);
  }
  return tokens;
}

// A decimal count as the C library reads it: leading blanks and a sign, digits up to the first
// other character, 0 without digits; values past 64 bits stay at the nearest limit.
int64_t ReadCount(const std::string& token) {
  return std::strtoll(token.c_str(), nullptr, 10);
}

}  // namespace

std::vector<ProfilerImportRow> ParseProfilerCsv(const char* text, size_t length, const std::vector<std::string>& names) {
  std::vector<ProfilerImportRow> rows;
  if (!text) return rows;
  // A NUL inside the file ends the text, as it would for any reader of C strings.
  length = strnlen(text, length);
  std::vector<std::string> tokens = Tokens(text, length);
  for (size_t t = 0; t < tokens.size(); ++t) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i].empty() || tokens[t] != names[i]) continue;
      if (t + 2 < tokens.size()) {
        rows.push_back({static_cast<int>(i), ReadCount(tokens[t + 1]), ReadCount(tokens[t + 2])});
        t += 2;
      } else {
        t = tokens.size();  // a name without both counts ends the text
      }
      break;
    }
  }
  return rows;
}

const char* TraceOperationName(uint32_t code) {
  auto known = [](const char* text) { return text ? text : "unknown"; };
  switch (code) {
#define LX_TRACE_OP_NAME(value, name, text) \
  case value:                               \
    return known(text);
    LX_TRACE_OPS(LX_TRACE_OP_NAME)
#undef LX_TRACE_OP_NAME
  }
  return "unknown";
}

TraceRecord DecodeTraceRecord(const uint8_t* bytes) {
  auto field = [bytes](int f) {
    const uint8_t* p = bytes + 4 * f;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  };
  return TraceRecord{field(0), field(1), field(2), field(3), field(4), field(5)};
}

const char* const kTraceColumnTitles[6] = {"trace sync",          "operation",       "base addr in Byte",
                                           "offset in bus width", "address in Byte", "data"};

void TraceRecordCells(const TraceRecord& record, std::string cells[6]) {
  auto hex = [](uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
    return std::string(text);
  };
  cells[0] = hex(record.sync);
  cells[1] = TraceOperationName(record.opcode);
  cells[2] = hex(record.base);
  cells[3] = hex(record.offset);
  cells[4] = hex(record.address);
  cells[5] = hex(record.data);
}

long long ReadTraceFile(const char* path, std::vector<uint8_t>& buffer) {
  buffer.assign(kTraceBytes, 0);
  std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
  if (!file) return -1;
  size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
  std::fclose(file);
  return static_cast<long long>(got);
}

}  // namespace lx
