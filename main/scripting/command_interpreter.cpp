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

// This program keeps no console variables. Running a line with a "$" word dropped would shift
// every parameter after it, so a reference refuses the whole line instead.
bool NoVariables(void*, const char*, size_t, cmdline::Variable*) { return false; }

}  // namespace

uint32_t ParseConsoleHex(const char* text) { return cmdline::ParseHex(text); }

int CCommandInterpreter::SetAddressInfo(uint32_t baseAddress, uint32_t windowSize, uint32_t scratchpadAddress) {
  baseAddress_ = baseAddress;
  windowSize_ = windowSize;
  scratchpadAddress_ = scratchpadAddress;
  return 0;
}

bool CCommandInterpreter::MatchCommand(int index, const char* line) const {
  if (!line || index < 0 || index >= commandCount_) return false;
  return cmdline::MatchWord(table_[index].name, line, cmdline::kConsolePolicy);
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
  return cmdline::ValidBaseAddress(ParseConsoleHex(text), Space(), cmdline::kConsolePolicy);
}

bool CCommandInterpreter::IsValidAddress(const char* text) const {
  return cmdline::ValidAddress(ParseConsoleHex(text), Space());
}

cmdline::AddressSpace CCommandInterpreter::Space() const {
  return cmdline::AddressSpace{baseAddress_, windowSize_, scratchpadAddress_, false};
}

int CCommandInterpreter::CountParameters(const char* line) { return cmdline::CountParameters(line); }

const char* CCommandInterpreter::GetParameter(const char* line, int n) { return cmdline::GetParameter(line, n); }

char* CCommandInterpreter::GetParameter(char* line, int n) {
  return const_cast<char*>(cmdline::GetParameter(line, n));
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
  const CommandEntry& entry = table_[index];
  const cmdline::Row row = {entry.name, entry.minParams, entry.maxParams, entry.syntax};
  char working[kConsoleLineSize];
  cmdline::Prepared line2;
  cmdline::Prepare(row, line, working, sizeof working, cmdline::kConsolePolicy, Space(), &NoVariables, nullptr,
                   &line2);
  switch (line2.verdict) {
    case cmdline::Verdict::kRun:
      DispatchCommand(index, line2.argc, line2.argv);
      break;
    case cmdline::Verdict::kTooLong:
      Printf(kLineTooLong, int(kConsoleLineSize - 1));
      break;
    case cmdline::Verdict::kUnknownVariable:
    case cmdline::Verdict::kBadVariableSize:
      Printf(kUnknownVariable, line2.nameLength > 64 ? 64 : int(line2.nameLength), line2.name);
      break;
    case cmdline::Verdict::kParameterCount:
      if (row.minParams == row.maxParams)
        Printf(kExpectedParameters, int(row.minParams));
      else
        Printf(kExpectedParameterRange, int(row.minParams), int(row.maxParams));
      WriteUsage(index);
      break;
    case cmdline::Verdict::kInvalidBaseAddress:
      AppendOutput(kInvalidBaseAddress);
      WriteUsage(index);
      break;
    case cmdline::Verdict::kInvalidAddress:
      AppendOutput(kInvalidAddress);
      WriteUsage(index);
      break;
  }
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
