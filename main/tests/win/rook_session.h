// Tarn-Rook.dll bound into the device API table as the main program binds it, over TarnControl and
// the simulated kit: what the window tests of the tools on the kit share.
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
  // A fresh folder (with its "User Data") made the program's installation folder, user area and
  // options file; returns the folder.
  std::string UseArea(CBrambApp& app, const char* prefix) {
    const std::string folder = MakeTempFolder(prefix);
    CreateDirectoryA((folder + "\\User Data").c_str(), nullptr);
    app.m_OptionsFilePath = (folder + "\\setup.ini").c_str();
    app.m_UserAreaFolder = folder.c_str();
    app.m_InstallFolder = folder.c_str();
    return folder;
  }
  // Binds the module with the device closed and no frame hooks. The module reads the
  // installation folder the main program registered: `folder` when none is registered yet.
  // `preset` (the configuration sheet's settings) stands in for the sheet when not null.
  // False when the folder could not be registered or the module not loaded.
  bool Load(CBrambApp& app, const std::string& folder, const char* preset) {
    if (!RegisterInstallFolderOnce(folder)) return false;
    if (preset) SetEnvironmentVariableA("LX_TARNROOK_PRESET", preset);
    lx::SetDeviceFrameHooks(lx::DeviceFrameHooks());
    lx::SetDeviceState("/a", lx::kDeviceClosed);
    module_ = binder_.LoadDeviceLibrary((ExeFolder() + "\\Tarn-Rook.dll").c_str());
    if (!module_) return false;
    binder_.LoadDeviceApi(module_);
    app.m_bDeviceModuleLoaded = true;
    return true;
  }
  // The whole session of the NOR tools: boxes recorded, a fresh user area, the module bound and
  // the device opened with `preset`. Returns the user area folder; the device is open when
  // lx::GetDeviceState() says so.
  std::string Open(CBrambApp& app, const char* prefix, const std::string& preset) {
    LxPromptTestBegin();
    const std::string folder = UseArea(app, prefix);
    if (Load(app, folder, preset.c_str())) lx::DeviceOpen("/a");
    return folder;
  }
  // The device closed, the table emptied and the module freed.
  void Unload() {
    if (lx::GetDeviceState() == lx::kDeviceOpen) lx::DeviceClose("/a");
    binder_.ResetDeviceApi();
    if (module_) binder_.FreeDeviceLibrary(module_);
    module_ = nullptr;
  }
  void Close() {
    Unload();
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
