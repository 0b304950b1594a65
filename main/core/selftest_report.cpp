#include "selftest_report.h"

#include <cstdio>

namespace lx {

bool SelfTestReport::FormatLine(std::string* line, const char* timeText, int level, const char* format,
                                va_list args) {
  if (level > messageLevel_) return false;
  std::string out = timeText ? timeText : "";
  switch (level) {
    case -1: out += "<FATAL>   : "; break;
    case 0: out += "<ERROR>   : "; ++errors_; break;
    case 1: out += "<WARNING> : "; ++warnings_; break;
    case 2: out += "<INFO>    : "; break;
    default: break;
  }
  char message[1024];
  message[0] = '\0';
  if (format) std::vsnprintf(message, sizeof message, format, args);
  out += message;
  out += "\r\n";
  if (line) *line = out;
  return true;
}

bool SelfTestReport::FormatLinef(std::string* line, const char* timeText, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool shown = FormatLine(line, timeText, level, format, args);
  va_end(args);
  return shown;
}

std::string SelfTestReport::ResultLine() const {
  char text[128];
  std::snprintf(text, sizeof text, "========== Result: %d Errors, %d Warnings ==========\r\n", errors_, warnings_);
  return text;
}

}  // namespace lx
