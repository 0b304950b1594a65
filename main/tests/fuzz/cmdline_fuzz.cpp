// The self test's command line: any words, flags or not, end in either a usable request or
// one error text, never both.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "startup_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Words are separated by NUL bytes; a first byte of 1 makes a word a flag.
  std::vector<std::string> words(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) words.emplace_back();
    else words.back() += static_cast<char>(data[i]);
  }
  lx::ExtLibTestArgs args;
  for (size_t i = 0; i < words.size(); ++i) {
    bool flag = !words[i].empty() && words[i][0] == 1;
    args.ParseParam(flag ? words[i].c_str() + 1 : words[i].c_str(), flag, i + 1 == words.size());
  }
  const bool usable = args.GetLibraryType() == 0 && args.GetLibraryPath() != nullptr;
  if (args.GetErrorText() == nullptr && !usable) __builtin_trap();
  if (args.GetTestLevel() < 0 || args.GetTestLevel() > 2) __builtin_trap();
  if (args.GetMessageLevel() < 0 || args.GetMessageLevel() > 2) __builtin_trap();
  int32_t level = 0;
  lx::ClassifyFirstWord(words[0].c_str(), &level);
  if (level < 0 || level > 2) __builtin_trap();
  lx::ParseBuildNumber(words[0].c_str());
  return 0;
}
