// What the Windows tests share: the test program's folder and scratch folders, the boxes a test
// saw, windows of this thread, the installation folder the device modules read, and the simulated
// kit's library. Files read whole come from test_files.h, for the native tests share them too.
#pragma once
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "lumivex/prompt.h"
#include "test_files.h"

// Folder of the running test program, without a trailing backslash.
inline std::string ExeFolder() {
  char path[MAX_PATH * 2] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path);
  return folder.substr(0, folder.rfind('\\'));
}

inline std::string FixturePath(const std::string& relative) { return ExeFolder() + "\\fixtures\\" + relative; }

// Removes a folder with everything below it. What another program still holds open stays.
inline void RemoveFolderTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
      const std::string path = folder + "\\" + found.cFileName;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

// The folders MakeTempFolder made go when the test program ends: window tests make many, some
// holding device images of tens of megabytes, and the prefix's temporary folder must not grow
// with every run.
struct TempFoldersMade {
  std::vector<std::string> folders;
  ~TempFoldersMade() {
    for (const std::string& folder : folders) RemoveFolderTree(folder);
  }
};
inline TempFoldersMade& TempFolders() {
  static TempFoldersMade made;
  return made;
}

// A fresh empty folder below the system's temporary folder, removed when the test program ends.
inline std::string MakeTempFolder(const char* prefix) {
  char base[MAX_PATH] = "";
  GetTempPathA(sizeof base, base);
  for (unsigned n = GetTickCount();; ++n) {
    std::string folder = std::string(base) + prefix + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(n);
    if (CreateDirectoryA(folder.c_str(), nullptr)) {
      TempFolders().folders.push_back(folder);
      return folder;
    }
  }
}

// The texts of the boxes recorded since test mode began, oldest first.
inline std::vector<std::string> Prompts() {
  std::vector<std::string> texts;
  for (int i = 0; i < LxPromptRecordCount(); ++i) texts.push_back(LxPromptRecordText(i));
  return texts;
}

// The captions of the boxes recorded since test mode began, oldest first ("" for none).
inline std::vector<std::string> PromptCaptions() {
  std::vector<std::string> captions;
  for (int i = 0; i < LxPromptRecordCount(); ++i)
    captions.push_back(LxPromptRecordCaption(i) ? LxPromptRecordCaption(i) : "");
  return captions;
}

// A recorded box said exactly this.
inline bool Told(const std::string& text) {
  for (const std::string& told : Prompts())
    if (told == text) return true;
  return false;
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

// The installation folder the main program registers, which the device modules read: set to the
// folder when none is registered yet. False when the key cannot be opened.
inline bool RegisterInstallFolderOnce(const std::string& folder) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Keldorn\\Lumivex\\Main App", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  char path[512];
  DWORD size = sizeof path;
  if (RegQueryValueExA(key, "Full Path", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS)
    RegSetValueExA(key, "Full Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()), DWORD(folder.size() + 1));
  RegCloseKey(key);
  return true;
}

// An export of the simulated kit's library, LxKitSim.dll: the one TarnControl reaches the kit
// through once the kit is open, or else loaded from the test program's folder, so that a part
// can go into the socket before the device is opened. Null when it is not there.
template <class F>
F SimExport(const char* name) {
  HMODULE sim = GetModuleHandleA("LxKitSim.dll");
  if (!sim) sim = LoadLibraryA((ExeFolder() + "\\LxKitSim.dll").c_str());
  return sim ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(sim, name))) : nullptr;
}
