// Player entry points, texts and the program checksum.
#include "jam_player.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "jam_internal.h"

namespace lx {
namespace jam {

const char* ErrorText(int code) {
  static const char* const kTexts[] = {
      "success",          "out of memory",        "file access error",
      "syntax error",     "unexpected end of file", "undefined symbol",
      "redefined symbol", "integer overflow",     "divide by zero",
      "CRC mismatch",     "internal error",       "bounds error",
      "type mismatch",    "assignment to constant", "NEXT unexpected",
      "POP unexpected",   "RETURN unexpected",    "illegal symbol name",
      "vector signal name not found", "execution cancelled", "stack overflow",
      "illegal instruction code", "phase error",  "scope error",
      "action not found",
  };
  if (code < 0 || code > 24) return nullptr;
  return kTexts[code];
}

const char* ExitCodeText(int version, int exitCode) {
  static const char* const kV2[] = {
      "Success",
      "Checking chain failure",
      "Reading IDCODE failure",
      "Reading USERCODE failure",
      "Reading UESCODE failure",
      "Entering ISP failure",
      "Unrecognized device",
      "Device revision is not supported",
      "Erase failure",
      "Device is not blank",
      "Device programming failure",
      "Device verify failure",
      "Read failure",
      "Calculating checksum failure",
      "Setting security bit failure",
      "Querying security bit failure",
      "Exiting ISP failure",
      "Performing system test failure",
  };
  static const char* const kV1[] = {
      "Success",
      "Illegal initialization values",
      "Unrecognized device",
      "Device revision is not supported",
      "Device programming failure",
      "Device is not blank",
      "Device verify failure",
      "SRAM configuration failure",
  };
  if (version == 1) {
    if (exitCode >= 0 && exitCode <= 7) return kV1[exitCode];
  } else if (exitCode >= 0 && exitCode <= 17) {
    return kV2[exitCode];
  }
  return "Unknown exit code";
}

bool JamHost::VectorSignalKnown(const std::string& name) {
  static const char* const kSignals[] = {"**TCK**", "**TMS**", "**TDI**", "**TDO**", "DCLK",
                                         "NCONFIG", "DATA", "CONF_DONE", "NSTATUS"};
  for (const char* s : kSignals) {
    if (name.size() != std::strlen(s)) continue;
    bool eq = true;
    for (size_t i = 0; i < name.size(); ++i)
      if (std::toupper(static_cast<unsigned char>(name[i])) != s[i]) eq = false;
    if (eq) return true;
  }
  return false;
}

void JamHost::Output(int stream, const char* text) {
  std::fputs(text, stream == 2 ? stderr : stdout);
}

uint16_t ComputeCrc(const uint8_t* data, size_t size) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\r') continue;
    uint8_t b = data[i];
    for (int k = 0; k < 8; ++k) {
      bool mix = ((crc ^ b) & 1u) != 0;
      crc = static_cast<uint16_t>(crc >> 1);
      if (mix) crc ^= 0x8408;
      b = static_cast<uint8_t>(b >> 1);
    }
  }
  return static_cast<uint16_t>(~crc);
}

int CheckCrc(const uint8_t* p, size_t n, uint16_t* expected, uint16_t* actual, int32_t* line) {
  bool str = false, comment = false, atStart = true;
  int32_t ln = 1;
  for (size_t i = 0; i < n; ++i) {
    char c = static_cast<char>(p[i]);
    if (c == '\n') ++ln;
    if (comment) {
      if (c == '\n' || c == '\r') comment = false;
      continue;
    }
    if (str) {
      if (c == '"') str = false;
      continue;
    }
    if (c == '\'') {
      comment = true;
      continue;
    }
    if (atStart) {
      if (IsBlank(static_cast<unsigned char>(c))) continue;
      if (i + 3 < n + 0 && i + 3 <= n &&
          std::toupper(static_cast<unsigned char>(p[i])) == 'C' &&
          i + 2 < n && std::toupper(static_cast<unsigned char>(p[i + 1])) == 'R' &&
          std::toupper(static_cast<unsigned char>(p[i + 2])) == 'C' &&
          (i + 3 == n || IsBlank(p[i + 3]) || p[i + 3] == ';')) {
        if (line) *line = ln;
        *actual = ComputeCrc(p, i);
        size_t k = i + 3;
        while (k < n && IsBlank(p[k])) ++k;
        uint32_t v = 0;
        int digits = 0;
        while (k < n && std::isxdigit(p[k]) && digits < 5) {
          int d = std::isdigit(p[k]) ? p[k] - '0' : std::toupper(p[k]) - 'A' + 10;
          v = v * 16 + static_cast<uint32_t>(d);
          ++digits, ++k;
        }
        while (k < n && IsBlank(p[k])) ++k;
        *expected = static_cast<uint16_t>(v);
        // A checksum statement that cannot be read guards nothing: treat it as a mismatch.
        if (digits != 4 || k >= n || p[k] != ';') return JAMC_CRC_ERROR;
        return v == *actual ? 0 : JAMC_CRC_ERROR;
      }
      atStart = false;
    }
    if (c == '"') str = true;
    else if (c == ';') atStart = true;
  }
  return JAMC_UNEXPECTED_END;
}

JamRunResult Execute(const uint8_t* program, size_t size, const std::string& action,
                     const std::vector<std::string>& initList, bool resetAtEnd, JamHost& host,
                     const JamLimits& limits) {
  if (size > 0x7FFFFFF0u) {
    JamRunResult r;
    r.error = JAMC_OUT_OF_MEMORY;
    return r;
  }
  Player p(program, size, host, limits);
  return p.Run(action, initList, resetAtEnd);
}

int RunJamProgram(JamHost& host, const uint8_t* program, size_t size, int* exitCode,
                  const JamLimits& limits) {
  char line[256];
  if (exitCode) *exitCode = 0;
  host.Output(2, "Jam STAPL Player Version 2.5 (20040526)\n");
  host.Output(2, "\n");
  uint16_t expected = 0, actual = 0;
  int32_t crcLine = 0;
  if (CheckCrc(program, size, &expected, &actual, &crcLine) == JAMC_CRC_ERROR) {
    std::snprintf(line, sizeof line, "CRC mismatch: expected %04X, actual %04X\n", expected, actual);
    host.Output(1, line);
    // A program whose checksum does not match may be damaged: it is not run.
    std::snprintf(line, sizeof line, "Error on line %ld: %s.\nProgram terminated.\n",
                  static_cast<long>(crcLine), ErrorText(JAMC_CRC_ERROR));
    host.Output(1, line);
    return 1;
  }
  static const std::vector<std::string> kInit = {"DO_BLANKCHECK=1", "DO_PROGRAM=1", "DO_VERIFY=1",
                                                 "DO_SECURE=0", "DO_READ_UESCODE=0"};
  JamRunResult r = Execute(program, size, "PROGRAM", kInit, true, host, limits);
  if (r.error) {
    if (r.error == JAMC_ACTION_NOT_FOUND && r.version == 2)
      std::snprintf(line, sizeof line,
                    "Error: action \"%s\" is not supported for this Jam file.\nProgram terminated.\n",
                    "PROGRAM");
    else if (ErrorText(r.error))
      std::snprintf(line, sizeof line, "Error on line %ld: %s.\nProgram terminated.\n",
                    static_cast<long>(r.line), ErrorText(r.error));
    else
      std::snprintf(line, sizeof line, "Unknown error code %ld\n", static_cast<long>(r.error));
    host.Output(1, line);
    return 1;
  }
  std::snprintf(line, sizeof line, "Exit code = %d... %s\n", r.exitCode,
                ExitCodeText(r.version, r.exitCode));
  host.Output(1, line);
  if (exitCode) *exitCode = r.exitCode;
  return 0;
}

}  // namespace jam
}  // namespace lx
