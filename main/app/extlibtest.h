// "Lumivex.exe extlibtest /L:F <library>": the external-library self test on a console.
#pragma once
#include "lumivex/deviceapi.h"
#include "lxmfc.h"
#include "startup_rules.h"

class CBrambApp;

class CExtLibTestCommandLineInfo : public CCommandLineInfo {
 public:
  void ParseParam(const char* param, BOOL flag, BOOL last) override { args_.ParseParam(param, flag, last); }
  const char* GetLibraryPath() const { return args_.GetLibraryPath(); }
  const char* GetErrorText() const { return args_.GetErrorText(); }
  int32_t GetLibraryType() const { return args_.GetLibraryType(); }
  int32_t GetTestLevel() const { return args_.GetTestLevel(); }
  int32_t GetMessageLevel() const { return args_.GetMessageLevel(); }
  int32_t GetFailureHandling() const { return args_.GetFailureHandling(); }

 private:
  lx::ExtLibTestArgs args_;
};

// The callback handed to the library: one dated, tagged line on the standard output.
extern "C" void ExtLibSelfTestPrint(int level, const char* format, ...);

// 1 when the library's self test was invoked, 0 when it could not be.
int RunExtLibSelfTest(CBrambApp* app, const char* libraryPath, SelfTestRecord* record);

class ExtLibTestRunner {
 public:
  void Run(CBrambApp* app);
  bool m_bConsoleAllocated = false;
};
