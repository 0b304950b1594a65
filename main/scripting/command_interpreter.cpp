#include "command_interpreter.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "driver_tables.h"

namespace lx {

namespace {

// The consoles' own texts.
const char kCommandNotFound[] = "Command not found\n";
const char kExpectedParameters[] = "Expected %d parameters\n";
const char kExpectedParameterRange[] = "Expected %d to %d parameters\n";
const char kUsageLine[] = "command: %s %s\n";
const char kInvalidBaseAddress[] = "User-supplied base address is invalid!\n";
const char kInvalidAddress[] = "User-supplied address is invalid!\n";
const char kLineTooLong[] = "Command line is too long (at most %d characters)\n";
const char kUnknownVariable[] = "Unknown variable $%.*s\n";

constexpr uint32_t kScratchpadSize = 0x10000;

bool IsSeparator(char c) { return c == ' ' || c == '\t'; }

bool StartsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A range that would run past 4 GiB ends there instead of wrapping to low addresses.
bool InRange(uint32_t value, uint32_t start, uint32_t size) {
  return value >= start && uint64_t(value) < uint64_t(start) + size;
}

}  // namespace

uint32_t ParseConsoleHex(const char* text) {
  if (!text) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigit(p[2]) >= 0) p += 2;
  uint64_t value = 0;
  bool overflow = false;
  for (int d; (d = HexDigit(*p)) >= 0; ++p) {
    if (overflow) continue;
    value = value * 16 + uint64_t(d);
    if (value > 0xFFFFFFFFu) overflow = true;
  }
  if (overflow) return 0xFFFFFFFFu;
  uint32_t result = uint32_t(value);
  return negative ? 0u - result : result;
}

int CCommandInterpreter::SetAddressInfo(uint32_t baseAddress, uint32_t windowSize, uint32_t scratchpadAddress) {
  baseAddress_ = baseAddress;
  windowSize_ = windowSize;
  scratchpadAddress_ = scratchpadAddress;
  return 0;
}

bool CCommandInterpreter::MatchCommand(int index, const char* line) const {
  if (!line || index < 0 || index >= commandCount_ || !table_[index].name) return false;
  const char* name = table_[index].name;
  size_t length = std::strlen(name);
  return std::strncmp(line, name, length) == 0 && (line[length] == ' ' || line[length] == '\0');
}

int CCommandInterpreter::FindCommand(const char* line) const {
  for (int i = 0; i < commandCount_; ++i)
    if (MatchCommand(i, line)) return i;
  return -1;
}

int CCommandInterpreter::LookupVariable(const char* name, char value[kConsoleValueSize]) const {
  (void)name;
  value[0] = '\0';
  return 0;
}

bool CCommandInterpreter::IsValidBaseAddress(const char* text) const {
  return InRange(ParseConsoleHex(text), baseAddress_, windowSize_);
}

bool CCommandInterpreter::IsValidAddress(const char* text) const {
  uint32_t value = ParseConsoleHex(text);
  // A scratchpad address of 0 means the driver could not allocate one: there is none to address.
  return InRange(value, baseAddress_, windowSize_) ||
         (scratchpadAddress_ != 0 && InRange(value, scratchpadAddress_, kScratchpadSize));
}

int CCommandInterpreter::CountParameters(const char* line) {
  if (!line) return 0;
  int words = 0;
  while (*line) {
    while (IsSeparator(*line)) ++line;
    if (!*line) break;
    ++words;
    while (*line && !IsSeparator(*line)) ++line;
  }
  return words > 0 ? words - 1 : 0;
}

const char* CCommandInterpreter::GetParameter(const char* line, int n) {
  if (!line || n < 1) return nullptr;
  int word = -1;
  while (*line) {
    while (IsSeparator(*line)) ++line;
    if (!*line) break;
    if (++word == n) return line;
    while (*line && !IsSeparator(*line)) ++line;
  }
  return nullptr;
}

char* CCommandInterpreter::GetParameter(char* line, int n) {
  return const_cast<char*>(GetParameter(static_cast<const char*>(line), n));
}

void CCommandInterpreter::AppendOutput(const char* text) {
  if (!text || !driver_ || !driver_->buffer || !driver_->bufferIndex) return;
  uint8_t* buffer = *driver_->buffer;
  uint32_t* index = *driver_->bufferIndex;
  uint32_t size = driver_->bufferSize;
  if (!buffer || !index || size == 0) return;
  uint32_t at = *index;
  if (at >= size - 1) return;  // full, or an index the driver left out of bounds
  size_t length = std::strlen(text);
  size_t room = size - 1 - at;
  if (length > room) length = room;
  std::memcpy(buffer + at, text, length);
  buffer[at + length] = '\0';
  *index = at + uint32_t(length);
}

void CCommandInterpreter::Printf(const char* format, ...) {
  char message[kConsoleMessageSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  AppendOutput(message);
}

size_t CCommandInterpreter::FlushOutput(ConsolePrint print, void* context) {
  if (!driver_ || !driver_->bufferIndex || !*driver_->bufferIndex) return 0;
  uint32_t* index = *driver_->bufferIndex;
  uint8_t* buffer = driver_->buffer ? *driver_->buffer : nullptr;
  size_t printed = 0;
  if (buffer && print) {
    // The text ends at the index or at its NUL, whichever comes first, and never past the buffer.
    size_t end = *index < driver_->bufferSize ? *index : driver_->bufferSize;
    const void* nul = std::memchr(buffer, '\0', end);
    if (nul) end = size_t(static_cast<const uint8_t*>(nul) - buffer);
    char piece[kConsolePrintPiece];
    while (printed < end) {
      size_t length = end - printed;
      if (length > sizeof piece - 1) length = sizeof piece - 1;
      std::memcpy(piece, buffer + printed, length);
      piece[length] = '\0';
      print(context, piece);
      printed += length;
    }
  }
  *index = 0;
  if (buffer && driver_->bufferSize) buffer[0] = '\0';
  return printed;
}

void CCommandInterpreter::WriteUsage(int index) {
  char message[kConsoleMessageSize];
  std::snprintf(message, sizeof message, kUsageLine, table_[index].name,
                table_[index].syntax ? table_[index].syntax : "");
  if (usageToBuffer_) {
    AppendOutput(message);
  } else {
    std::fputs(message, stdout);
    std::fflush(stdout);
  }
}

int CCommandInterpreter::DispatchCommand(int index, int argc, char** argv) {
  if (index < 0 || index >= commandCount_ || !driver_ || !driver_->command) return -1;
  CommandHandler handler = driver_->command(cells_[index]);
  if (!handler) return -1;
  return handler(argc, argv);
}

int CCommandInterpreter::ExecuteCommand(const char* line) {
  int index = FindCommand(line);
  if (index < 0) {
    AppendOutput(kCommandNotFound);
    return -1;
  }
  const CommandEntry& row = table_[index];
  const char* syntax = row.syntax ? row.syntax : "";

  size_t length = std::strlen(line);
  if (length >= kConsoleLineSize) {
    Printf(kLineTooLong, int(kConsoleLineSize - 1));
    return 0;
  }
  char working[kConsoleLineSize];
  std::memcpy(working, line, length + 1);

  // A '$' word stands for a variable. Running the line with the word dropped would shift every
  // parameter after it, so a name without a value refuses the whole line.
  if (const char* dollar = std::strchr(working, '$')) {
    char value[kConsoleValueSize];
    if (!LookupVariable(dollar + 1, value)) {
      size_t nameLength = std::strcspn(dollar + 1, " ");
      Printf(kUnknownVariable, nameLength > 64 ? 64 : int(nameLength), dollar + 1);
      return 0;
    }
  }

  // The base address may be left out of a "[base_addr]" command: supply the console's own.
  char line2[kConsoleLineSize];
  if (CountParameters(working) == row.minParams - 1 && syntax[0] == '[') {
    size_t wordLength = std::strcspn(working, " ");
    char base[16];
    int baseLength = std::snprintf(base, sizeof base, " %8.8X", unsigned(baseAddress_));
    size_t restLength = length - wordLength;
    if (wordLength + size_t(baseLength) + restLength >= kConsoleLineSize) {
      Printf(kLineTooLong, int(kConsoleLineSize - 1));
      return 0;
    }
    std::memcpy(line2, working, wordLength);
    std::memcpy(line2 + wordLength, base, size_t(baseLength));
    std::memcpy(line2 + wordLength + baseLength, working + wordLength, restLength + 1);
  } else {
    std::memcpy(line2, working, length + 1);
  }

  int count = CountParameters(line2);
  if (count < row.minParams || count > row.maxParams || count >= int(kConsoleArgvSlots)) {
    if (row.minParams == row.maxParams)
      Printf(kExpectedParameters, int(row.minParams));
    else
      Printf(kExpectedParameterRange, int(row.minParams), int(row.maxParams));
    WriteUsage(index);
    return 0;
  }
  char* argv[kConsoleArgvSlots] = {};
  argv[0] = line2;
  for (int i = 1; i <= count; ++i) argv[i] = GetParameter(line2, i);

  if (count >= 1) {
    if ((StartsWith(syntax, "[base_addr]") || StartsWith(syntax, "base_addr")) &&
        !StartsWith(row.name, "SetBaseAddress")) {
      if (!IsValidBaseAddress(argv[1])) {
        AppendOutput(kInvalidBaseAddress);
        WriteUsage(index);
        return 0;
      }
    } else if (StartsWith(syntax, "addr") && !IsValidAddress(argv[1])) {
      AppendOutput(kInvalidAddress);
      WriteUsage(index);
      return 0;
    }
  }

  DispatchCommand(index, count, argv);
  return 0;
}

const LldConsoleDriver g_NorConsoleDriver = {&NorDriverCommand, &NorDriverApiTable.g_ucBuffer,
                                             &NorDriverApiTable.g_ulBufferIndex, kLldOutputBufferSize};
const LldConsoleDriver g_VeltanConsoleDriver = {&VeltanDriverCommand, &VeltanDriverApiTable.g_ucBuffer,
                                                &VeltanDriverApiTable.g_ulBufferIndex, kLldOutputBufferSize};
CNorCommandInterpreter g_NorCommandInterpreter(&g_NorConsoleDriver);
CVeltanCommandInterpreter g_VeltanCommandInterpreter(&g_VeltanConsoleDriver);

std::mutex& ConsoleMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace lx
