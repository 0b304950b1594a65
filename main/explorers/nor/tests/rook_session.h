// What the NOR tools' window tests share: a user area for the scratch files, Tarn-Rook.dll bound
// to the device API table and opened on the simulated kit with a preset, and the recorded boxes.
#pragma once
#include <windows.h>

#include <string>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "lumivex/prompt.h"
#include "module_loader.h"
#include "test_support.h"

class RookSession {
 public:
  // Returns the user area folder; the device is open when lx::GetDeviceState() says so.
  std::string Open(CBrambApp& app, const char* prefix, const std::string& preset) {
    LxPromptTestBegin();
    const std::string folder = MakeTempFolder(prefix);
    CreateDirectoryA((folder + "\\User Data").c_str(), nullptr);
    app.m_OptionsFilePath = (folder + "\\setup.ini").c_str();
    app.m_UserAreaFolder = folder.c_str();
    app.m_InstallFolder = folder.c_str();
    // The module reads the installation folder the main program registered.
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Keldorn\\Lumivex\\Main App", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key, nullptr) == ERROR_SUCCESS) {
      char path[512];
      DWORD size = sizeof path;
      if (RegQueryValueExA(key, "Full Path", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS)
        RegSetValueExA(key, "Full Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()), DWORD(folder.size() + 1));
      RegCloseKey(key);
    }
    SetEnvironmentVariableA("LX_TARNROOK_PRESET", preset.c_str());
    lx::SetDeviceFrameHooks(lx::DeviceFrameHooks());
    lx::SetDeviceState("/a", lx::kDeviceClosed);
    module_ = binder_.LoadDeviceLibrary((ExeFolder() + "\\Tarn-Rook.dll").c_str());
    if (!module_) return folder;
    binder_.LoadDeviceApi(module_);
    app.m_bDeviceModuleLoaded = true;
    lx::DeviceOpen("/a");
    return folder;
  }
  void Close() {
    if (lx::GetDeviceState() == lx::kDeviceOpen) lx::DeviceClose("/a");
    binder_.ResetDeviceApi();
    if (module_) binder_.FreeDeviceLibrary(module_);
    module_ = nullptr;
    LxPromptTestEnd();
  }
  bool Loaded() const { return module_ != nullptr; }

 private:
  CDeviceApiBinder binder_;
  HMODULE module_ = nullptr;
};

inline bool PromptSaid(const std::string& part) {
  for (int i = 0; i < LxPromptRecordCount(); ++i)
    if (std::string(LxPromptRecordText(i)).find(part) != std::string::npos) return true;
  return false;
}
