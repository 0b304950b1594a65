#include "extlibtest.h"

#include <ctime>
#include <mutex>
#include <string>

#include "app.h"
#include "module_loader.h"
#include "selftest_report.h"

namespace {

std::mutex g_reportLock;
lx::SelfTestReport g_report;

void WriteOut(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (out && out != INVALID_HANDLE_VALUE) WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string NowText() {
  char text[128] = "";
  std::time_t now = std::time(nullptr);
  std::tm* local = std::localtime(&now);
  if (local) std::strftime(text, sizeof text, "%c ", local);
  return text;
}

}  // namespace

extern "C" void ExtLibSelfTestPrint(int level, const char* format, ...) {
  std::string line;
  va_list args;
  va_start(args, format);
  bool shown;
  {
    std::lock_guard<std::mutex> lock(g_reportLock);
    shown = g_report.FormatLine(&line, NowText().c_str(), level, format, args);
  }
  va_end(args);
  if (shown) WriteOut(line);
}

int RunExtLibSelfTest(CBrambApp* app, const char* libraryPath, SelfTestRecord* record) {
  CDeviceApiBinder binder;
  ExtLibSelfTestPrint(2, "Loading library \"%s\".", libraryPath);
  HMODULE module = binder.LoadDeviceLibrary(libraryPath);
  if (!module) {
    ExtLibSelfTestPrint(2, "Failed. Try to load from default path.");
    CString fallback;
    fallback.Format("%s%s\\%s", app ? app->m_InstallFolder.GetString() : "", "\\External FS Module", libraryPath);
    module = binder.LoadDeviceLibrary(fallback);
    if (!module) {
      ExtLibSelfTestPrint(-1, "Cannot load library file.");
      return 0;
    }
  }
  char fullName[MAX_PATH * 2] = "";
  GetModuleFileNameA(module, fullName, sizeof fullName);
  ExtLibSelfTestPrint(2, "Done. (\"%s\")", fullName);
  binder.LoadDeviceApi(module);
  // The library counts its calls in its profiler; it has to exist before the first one.
  if (!lx::DeviceApiCellIsStub(66)) DeviceApiTable.fpCreateFunctionProfiler();
  ExtLibSelfTestPrint(2, "Starting test with \"%s\".", "gfslDoSelfTest");
  if (DeviceApiTable.gfslDoSelfTest(record) == -1) {
    ExtLibSelfTestPrint(-1, "Fatal error occurred while invoking \"%s\".", "gfslDoSelfTest");
    return 0;
  }
  return 1;
}

void ExtLibTestRunner::Run(CBrambApp* app) {
  DWORD written = 0;
  if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "", 0, &written, nullptr) &&
      GetLastError() == ERROR_INVALID_HANDLE) {
    if (AllocConsole()) {
      HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
      CONSOLE_SCREEN_BUFFER_INFO info;
      if (GetConsoleScreenBufferInfo(out, &info)) {
        COORD size = {256, info.dwSize.Y};
        SetConsoleScreenBufferSize(out, size);
      }
      m_bConsoleAllocated = true;
    }
  }
  CExtLibTestCommandLineInfo info;
  if (app) app->ParseCommandLine(info);
  if (info.GetErrorText()) {
    ExtLibSelfTestPrint(-1, "%s", info.GetErrorText());
  } else {
    {
      std::lock_guard<std::mutex> lock(g_reportLock);
      g_report.SetMessageLevel(info.GetMessageLevel());
    }
    SelfTestRecord record;
    record.testLevel = info.GetTestLevel();
    record.failureHandling = info.GetFailureHandling();
    record.print = &ExtLibSelfTestPrint;
    ExtLibSelfTestPrint(2, "Test Level = %d, Failure Handling = %d", record.testLevel, record.failureHandling);
    {
      std::lock_guard<std::mutex> lock(g_reportLock);
      g_report.ResetCounters();
    }
    if (info.GetLibraryType() == 0 && RunExtLibSelfTest(app, info.GetLibraryPath(), &record) == 1) {
      std::lock_guard<std::mutex> lock(g_reportLock);
      WriteOut(g_report.ResultLine());
    }
  }
  if (m_bConsoleAllocated) {
    char key = 0;
    DWORD got = 0;
    ReadFile(GetStdHandle(STD_INPUT_HANDLE), &key, 1, &got, nullptr);
    FreeConsole();
  }
}
