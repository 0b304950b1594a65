// Lines of the external-library self test: level filter, tags and the two counters.
// The console and the clock stay outside so the rules are tested without either.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <string>

namespace lx {

class SelfTestReport {
 public:
  void SetMessageLevel(int32_t level) { messageLevel_ = level; }
  int32_t MessageLevel() const { return messageLevel_; }
  void ResetCounters() { errors_ = warnings_ = 0; }
  int Errors() const { return errors_; }
  int Warnings() const { return warnings_; }

  // Builds one output line, "<time text><tag><message>\r\n", and counts errors and
  // warnings. Returns false (and counts nothing) when the level is filtered out.
  // The message is limited to 1,023 characters.
  bool FormatLine(std::string* line, const char* timeText, int level, const char* format, va_list args);
  bool FormatLinef(std::string* line, const char* timeText, int level, const char* format, ...);

  // "========== Result: %d Errors, %d Warnings ==========\r\n"
  std::string ResultLine() const;

 private:
  int32_t messageLevel_ = 2;
  int errors_ = 0;
  int warnings_ = 0;
};

}  // namespace lx
