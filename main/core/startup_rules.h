// Start-up decisions that need no window: the user level word, the build number
// comparison, and the arguments of the external-library self test.
#pragma once
#include <cstdint>
#include <string>

namespace lx {

enum UserLevelValue : int32_t { kUserAdvanced = 0, kUserStandard = 1, kUserBeginner = 2 };

enum class StartMode { Normal, ExtLibTest };

// The first plain argument decides: exactly "advanced", "standard" or "beginner" pick the
// level, exactly "extlibtest" picks the console self test, anything else (other case too)
// is ignored and leaves the level advanced.
StartMode ClassifyFirstWord(const char* word, int32_t* userLevel);

// The build number text "001007025002" read like _atoi64: optional blanks, optional sign,
// decimal digits up to the first other character; nothing readable gives 0.
int64_t ParseBuildNumber(const char* text);

// Registration is due when our own build number is newer than the stored one; a missing
// stored value counts as 0.
inline bool RegistrationDue(int64_t ownBuild, int64_t storedBuild) { return ownBuild > storedBuild; }

// Arguments of "extlibtest": flags are given without their leading '/' or '-'.
class ExtLibTestArgs {
 public:
  void ParseParam(const char* param, bool isFlag, bool isLast);

  const char* GetLibraryPath() const { return libraryPath_.empty() ? nullptr : libraryPath_.c_str(); }
  const char* GetErrorText() const { return errorText_.empty() ? nullptr : errorText_.c_str(); }
  int32_t GetLibraryType() const { return libraryType_; }
  int32_t GetTestLevel() const { return testLevel_; }
  int32_t GetMessageLevel() const { return messageLevel_; }
  int32_t GetFailureHandling() const { return failureHandling_; }

 private:
  void SetInvalid(const char* param);

  char pendingFlag_ = 0;
  int32_t libraryType_ = -1;
  int32_t testLevel_ = 1;
  int32_t messageLevel_ = 2;
  int32_t failureHandling_ = 0;
  std::string errorText_;
  std::string libraryPath_;
};

}  // namespace lx
