// What the main program's tools (explorers, sector tools, programming tools, the volume tree,
// the open-device dialog, the viewers) may ask of the program around them: the options they
// read, the device kind, the user-data and installation folders, the confirmation question,
// the frame's progress animation and the options sheet.
//
// The application implements it once and installs it while it lives; the tools reach it only
// through Program(), so none of them depends on the application object or on the frame, and
// the frame may create them without being called back. Without an installed program (a tool
// built alone in a test) Program() is null and the helpers below answer as a program with no
// options would: no confirmation asked, no animation.
#pragma once
#include <string>

namespace lx {

class ProgramContext {
 public:
  virtual ~ProgramContext() = default;

  // The options of "setup.ini" the tools read.
  virtual int DeviceKind() const = 0;
  virtual int WindowSizeIndex() const = 0;
  virtual std::string VyrModulePath() const = 0;
  // The analyzer module the user chose: stored in the options and the options saved.
  virtual void SetVyrModulePath(const std::string& path) = 0;
  // The kind chosen by a device module: stored in the options (SPI also resets the window
  // size index) and the options saved.
  virtual void SetDeviceKind(int kind) = 0;
  virtual int UserLevel() const = 0;

  // The user's area (its "User Data" holds the tools' files) and the installation folder;
  // empty until the program has found them.
  virtual std::string UserAreaFolder() const = 0;
  virtual std::string InstallFolder() const = 0;

  // Whether a device module is bound; ReloadOptions reads "setup.ini" again, and with
  // rebindModule set binds the module it names anew.
  virtual bool DeviceModuleLoaded() const = 0;
  virtual void ReloadOptions(bool rebindModule) = 0;

  // "Are you sure?" (or the given text) when the options ask for confirmations; true
  // when the operation may go on.
  virtual bool Confirm(const char* text) = 0;
  virtual void StartProgress() = 0;
  virtual void StopProgress() = 0;
  // The options sheet, modal over the native window `owner`, opened at a page.
  virtual void ShowOptionsSheet(void* owner, int page) = 0;
};

// The installed program, or null.
ProgramContext* Program();
// Installs (or, with null, removes) the program the tools see.
void InstallProgram(ProgramContext* program);

// The calls most tools make, safe without a program.
bool Confirm(const char* text = nullptr);
void StartProgress();
void StopProgress();
// "User Data" of the user area, where the tools' file dialogs start; empty while the program
// has not found its installation folder (or there is no program).
std::string UserDataFolder();

}  // namespace lx
