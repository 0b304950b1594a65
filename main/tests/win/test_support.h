// Helpers of the Windows tests of the main program.
#pragma once
#include <windows.h>

#include <string>

#include "lumivex/prompt.h"

// Folder of the running test program, without a trailing backslash.
inline std::string ExeFolder() {
  char path[MAX_PATH * 2] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path);
  return folder.substr(0, folder.rfind('\\'));
}

inline std::string FixturePath(const std::string& relative) { return ExeFolder() + "\\fixtures\\" + relative; }

// A fresh empty folder below the system's temporary folder.
inline std::string MakeTempFolder(const char* prefix) {
  char base[MAX_PATH] = "";
  GetTempPathA(sizeof base, base);
  for (unsigned n = GetTickCount();; ++n) {
    std::string folder = std::string(base) + prefix + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(n);
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder;
  }
}

inline std::string LastPromptText() {
  int n = LxPromptRecordCount();
  return n ? LxPromptRecordText(n - 1) : "";
}

// Records every box of the test instead of showing it.
class PromptScope {
 public:
  PromptScope() { LxPromptTestBegin(); }
  ~PromptScope() { LxPromptTestEnd(); }
};
