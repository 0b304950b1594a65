// Benchmark: the whole 64 MiB virtual device read in 64 KiB blocks, once by a VBScript through
// LXObject.ReadSectors and once through the device API from C. Prints MiB/s of each and their
// ratio (best of three runs each). Not a test: nothing here passes or fails on a figure.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "com_server.h"
#include "device_api.h"
#include "device_ops.h"
#include "module_loader.h"
#include "script_runner.h"

namespace {

CBrambApp g_app;

// Counts the log lines of a run (each ReadSectors call prints one when a log is set).
struct CountingLog : lx::ScriptLog {
  void Print(bool, uint32_t, const char*) override { ++lines; }
  void Clear() override {}
  long lines = 0;
} g_count;
lx::ScriptLog* g_log = nullptr;
constexpr uint32_t kDeviceBytes = 64u << 20;
constexpr uint32_t kBlockSectors = 128;  // 64 KiB
// Passes over the whole device per measurement, so that a run's start weighs little.
constexpr int kPasses = 8;

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

double ReadFromC(uint32_t sectors) {
  std::vector<uint8_t> block(kBlockSectors * 512);
  LARGE_INTEGER a, b;
  QueryPerformanceCounter(&a);
  for (int pass = 0; pass < kPasses; ++pass)
    for (uint32_t s = 0; s + kBlockSectors <= sectors; s += kBlockSectors)
      if (DeviceApiTable.gfslReadSectors(0, s, kBlockSectors, block.data(), 0) != 0) return -1;
  QueryPerformanceCounter(&b);
  return Seconds(a, b);
}

// A run of the text to its end, in seconds (-1 when it failed).
double RunScript(const char* text) {
  LARGE_INTEGER a, b;
  QueryPerformanceCounter(&a);
  if (!lx::TheScriptRunner().Start(nullptr, g_log, text)) return -1;
  lx::TheScriptRunner().WaitWhilePumping(600000);
  QueryPerformanceCounter(&b);
  return lx::TheScriptRunner().LastError().empty() ? Seconds(a, b) : -1;
}

double ReadFromScript(uint32_t sectors) {
  char text[512];
  std::snprintf(text, sizeof text,
                "b = LXObject.malloc(%u)\r\n"
                "For p = 1 To %d\r\n"
                "  For s = 0 To %u Step %u\r\n"
                "    If LXObject.ReadSectors(0, s, %u, b, 0) <> 0 Then Err.Raise 5\r\n"
                "  Next\r\n"
                "Next\r\n",
                kBlockSectors * 512, kPasses, sectors - kBlockSectors, kBlockSectors, kBlockSectors);
  return RunScript(text);
}

}  // namespace

int main() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string area = std::string(temp) + "lxscriptbench" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(area.c_str(), nullptr);
  CreateDirectoryA((area + "\\User Data").c_str(), nullptr);
  SetEnvironmentVariableA("LX_USER_AREA", area.c_str());
  _putenv_s("LX_USER_AREA", area.c_str());
  lx::InitScriptModule(GetModuleHandleA(nullptr));
  CDeviceApiBinder binder;
  HMODULE module = binder.LoadDeviceLibrary("Pallix-VirtualDevice.dll");
  if (!module) {
    std::fprintf(stderr, "no Pallix-VirtualDevice.dll beside the benchmark\n");
    return 1;
  }
  binder.LoadDeviceApi(module);
  if (lx::DeviceOpen("/a") != 0 || DeviceApiTable.gfslLowLevelFormat("/a", 1u << 20, kDeviceBytes - (1u << 20)) != 0) {
    std::fprintf(stderr, "the virtual device did not open\n");
    return 1;
  }
  int32_t sectors = DeviceApiTable.gfslGetNumberOfSectors(0, 0);
  if (sectors < static_cast<int32_t>(kBlockSectors)) {
    std::fprintf(stderr, "the device has %d sectors\n", sectors);
    return 1;
  }
  const double mib = static_cast<double>(sectors / kBlockSectors * kBlockSectors) * 512.0 / (1 << 20) * kPasses;
  double bestC = 1e9, bestScript = 1e9, bestStart = 1e9;
  for (int run = 0; run < 3; ++run) {
    double c = ReadFromC(static_cast<uint32_t>(sectors));
    double s = ReadFromScript(static_cast<uint32_t>(sectors));
    double start = RunScript("b = LXObject.malloc(65536)\r\n");
    if (start >= 0) bestStart = std::min(bestStart, start);
    if (c < 0 || s < 0) {
      std::fprintf(stderr, "a read failed (%s)\n", lx::TheScriptRunner().LastError().c_str());
      return 1;
    }
    bestC = std::min(bestC, c);
    bestScript = std::min(bestScript, s);
  }
  // Once with a log, to see that every block was asked for.
  g_log = &g_count;
  ReadFromScript(static_cast<uint32_t>(sectors));
  g_log = nullptr;
  std::printf("calls of ReadSectors by the script: %ld\n", g_count.lines);
  std::printf("device: %.1f MiB in 64 KiB blocks, read %d times (ReadSectors, 128 sectors a call)\n",
              mib / kPasses, kPasses);
  std::printf("C through the device API table: %8.1f MiB/s\n", mib / bestC);
  std::printf("VBScript through LXObject:      %8.1f MiB/s (engine start included)\n", mib / bestScript);
  std::printf("  of which a run without reads:  %8.1f ms (thread, engine, parse, named items)\n", bestStart * 1000);
  std::printf("VBScript's loop alone:          %8.1f MiB/s\n", mib / (bestScript - bestStart));
  std::printf("script / C:                     %8.2f with the run's start, %.2f without (goal 0.5 or more)\n",
              bestC / bestScript, bestC / (bestScript - bestStart));
  lx::DeviceClose("/a");
  return 0;
}
