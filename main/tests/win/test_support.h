// Helpers of the Windows tests of the main program.
#pragma once
#include <windows.h>

#include <cstring>
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

struct OwnWindowSearch {
  const char* title;
  HWND found;
};

inline BOOL CALLBACK MatchOwnWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<OwnWindowSearch*>(param);
  char text[128] = "";
  GetWindowTextA(window, text, sizeof text);
  if (std::strcmp(text, search->title) != 0 || !IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

// A visible top-level window of this thread with that title: other test programs run beside
// this one and may show windows with the same titles.
inline HWND FindOwnWindow(const char* title) {
  OwnWindowSearch search = {title, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}
