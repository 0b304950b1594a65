#include "startup_rules.h"

#include <cctype>
#include <cstring>

namespace lx {

StartMode ClassifyFirstWord(const char* word, int32_t* userLevel) {
  int32_t level = kUserAdvanced;
  StartMode mode = StartMode::Normal;
  if (word) {
    if (std::strcmp(word, "standard") == 0) level = kUserStandard;
    else if (std::strcmp(word, "beginner") == 0) level = kUserBeginner;
    else if (std::strcmp(word, "extlibtest") == 0) mode = StartMode::ExtLibTest;
  }
  if (userLevel) *userLevel = level;
  return mode;
}

int64_t ParseBuildNumber(const char* text) {
  if (!text) return 0;
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\f' || *text == '\v') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  // Accumulate in unsigned arithmetic: an absurdly long number wraps like the C library's
  // converter instead of overflowing a signed value.
  uint64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value * 10u + static_cast<uint64_t>(*text - '0');
  if (negative) value = 0u - value;
  return static_cast<int64_t>(value);
}

void ExtLibTestArgs::SetInvalid(const char* param) {
  errorText_ = "Invalid parameter \"";
  errorText_ += param ? param : "";
  errorText_ += "\"";
}

void ExtLibTestArgs::ParseParam(const char* param, bool isFlag, bool isLast) {
  if (errorText_.empty()) {
    if (!param) param = "";
    if (isFlag) {
      if (std::strlen(param) == 3 && param[1] == ':') {
        pendingFlag_ = static_cast<char>(std::toupper(static_cast<unsigned char>(param[0])));
        char value = static_cast<char>(std::toupper(static_cast<unsigned char>(param[2])));
        bool valid = true;
        switch (pendingFlag_) {
          case 'F':
            if (value == 'A') failureHandling_ = 0;
            else if (value == 'C') failureHandling_ = 1;
            else valid = false;
            break;
          case 'L':
            if (value == 'F') libraryType_ = 0;
            else valid = false;
            break;
          case 'M':
            if (value >= '0' && value <= '2') messageLevel_ = value - '0';
            else valid = false;
            break;
          case 'T':
            if (value >= '0' && value <= '2') testLevel_ = value - '0';
            else valid = false;
            break;
          default:
            valid = false;
        }
        if (!valid) SetInvalid(param);
      } else {
        SetInvalid(param);
      }
    } else if (pendingFlag_ == 'L') {
      libraryPath_ = param;
    } else if (std::strcmp(param, "extlibtest") != 0) {
      SetInvalid(param);
    }
  }
  if (isLast && errorText_.empty() && (libraryType_ == -1 || libraryPath_.empty()))
    errorText_ = "\"/L:lib-type lib-path\" is needed.";
}

}  // namespace lx
