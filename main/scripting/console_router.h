// The road of a command-window line through the two driver consoles, after the file-system shell
// has passed on it: "init LXOLLD", the Veltan console, "init LXLLD", the NOR console. Portable:
// loading a driver library is the caller's (LoadLibrary and the table binder on Windows).
#pragma once
#include <atomic>

#include "command_interpreter.h"

namespace lx {

// How the command thread reaches the driver libraries named in the options.
struct ConsoleDriverLoader {
  bool norPathSet;     // NorDriverPath is not empty
  bool veltanPathSet;  // VeltanDriverPath is not empty
  // Load the library and bind its table; false when it cannot be loaded or lacks a name.
  bool (*loadNor)(void* context);
  bool (*loadVeltan)(void* context);
  void* context;
};

class CConsoleRouter {
 public:
  // Runs one UTF-8 line; driver text goes to `print` in bounded pieces. Returns 0 when the line
  // ran ("* %s had entered.\n" is due) and -1 when it failed ("* %s failed!\n").
  // One line at a time runs through the consoles, whichever window it comes from.
  int RunLine(const char* line, const ConsoleDriverLoader& loader, ConsolePrint print, void* context);

  bool NorDriverLoaded() const { return norLoaded_; }
  bool VeltanDriverLoaded() const { return veltanLoaded_; }

 private:
  // Base address, window size and scratchpad address as the last init's driver wrote them.
  uint32_t address_[3] = {};
  std::atomic<bool> norLoaded_{false};
  std::atomic<bool> veltanLoaded_{false};
};

extern CConsoleRouter g_ConsoleRouter;

}  // namespace lx
