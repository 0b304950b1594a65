// Reads a 16 MiB simulated parallel NOR chip into the NOR explorer window by window (4 KiB
// windows: "|<" then ">" 4,095 times, each step read through Tarn-Rook.dll and the simulated kit,
// filled into the grid and painted), and prints the window step latency (median, 95th percentile,
// worst) against one frame of 16 ms, the read rate and the grid cells filled per second.
// Run it from the build's bin folder after the tests registered TarnControl in the prefix, with the
// simulated kit chosen before the program starts:
//   LX_KITSIM=II LX_KITSIM_SERIAL=4C586200 ../../../scripts/wine-run ./nor_explorer_bench.exe
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "kitsim/kit.h"
#include "kitsim/nor_chip.h"
#include "lumivex/prompt.h"
#include "module_loader.h"
#include "nor_explorer.h"
#include "test_support.h"

namespace {

CBrambApp g_app;

double Ms(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency) {
  return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

}  // namespace

int main() {
  LxPromptTestBegin();
  SetEnvironmentVariableA("LX_TARNROOK_PRESET",
                          "class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E2101;forceFpga=0");
  g_app.m_Options.DeviceKind = 1;
  g_app.m_Options.WindowSizeIndex = 2;  // 4 KiB windows
  lx::SetDeviceFrameHooks(lx::DeviceFrameHooks());
  lx::SetDeviceState("/a", lx::kDeviceClosed);
  CDeviceApiBinder binder;
  HMODULE module = binder.LoadDeviceLibrary((ExeFolder() + "\\Tarn-Rook.dll").c_str());
  if (!module) {
    std::printf("nor_explorer_bench: Tarn-Rook.dll could not be loaded\n");
    return 1;
  }
  binder.LoadDeviceApi(module);
  g_app.m_bDeviceModuleLoaded = true;
  // The kit exists once the module has opened it: the 16 MiB part goes into its socket, and the
  // module opens again to identify it.
  if (lx::DeviceOpen("/a") != 0) {
    std::printf("nor_explorer_bench: the simulated kit did not open (%s)\n",
                LxPromptRecordCount() ? LxPromptRecordText(0) : "no message");
    return 1;
  }
  auto kitOf = SimExport<void* (*)(int)>("LxKitSimKit");
  auto* kit = kitOf ? static_cast<kitsim::Kit*>(kitOf(0)) : nullptr;
  if (!kit) {
    std::printf("nor_explorer_bench: no simulated kit\n");
    return 1;
  }
  kitsim::NorPart part = kitsim::DefaultNorPart();
  part.name = "sim-nor-128m-uniform";
  part.regions = {{256, 64 * 1024}};
  part.deviceId[1] = 0x2221;
  kitsim::NorChip chip(part, kit->Clock());
  for (size_t i = 0; i < chip.Array().size(); ++i) chip.Array()[i] = static_cast<uint8_t>((i * 131) ^ (i >> 12));
  kitsim::SocketDevice* old = kit->Device(0);
  kit->Attach(0, &chip);
  lx::DeviceClose("/a");
  if (lx::DeviceOpen("/a") != 0) {
    std::printf("nor_explorer_bench: the 16 MiB part did not open\n");
    return 1;
  }
  const uint64_t bytes = DeviceApiTable.gfslGetNumberOfBytesPerDevice("/a");
  if (!CreateNorExplorer(nullptr, 9)) {
    std::printf("nor_explorer_bench: the explorer could not be made\n");
    return 1;
  }
  CNorExplorerDlg* e = GetNorExplorer();
  const int32_t windows = e->CountWindows();
  const uint32_t size = e->GetWindowSize();
  LARGE_INTEGER frequency, start, before, after;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> steps;
  steps.reserve(static_cast<size_t>(windows));
  int mismatches = 0;
  QueryPerformanceCounter(&start);
  for (int32_t w = 0; w < windows; ++w) {
    QueryPerformanceCounter(&before);
    if (w == 0)
      e->ShowFirstWindow();
    else
      e->ShowNextWindow();
    ::UpdateWindow(e->m_Grid.GetSafeHwnd());  // the step includes painting the new cells
    QueryPerformanceCounter(&after);
    steps.push_back(Ms(before, after, frequency));
    if (std::memcmp(e->m_WindowBuffer.data(), chip.Array().data() + size_t(w) * size, size) != 0) ++mismatches;
  }
  const double totalMs = Ms(start, after, frequency);
  std::vector<double> sorted = steps;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  const double p95 = sorted[sorted.size() * 95 / 100];
  const double worst = sorted.back();
  const double cells = double(windows) * (size / 16) * 18;
  std::printf("device: %llu bytes (%s), %d windows of %u bytes, %d windows differing from the chip model\n",
              static_cast<unsigned long long>(bytes), part.name.c_str(), windows, size, mismatches);
  std::printf("window step (read + fill + paint): median %.2f ms, 95th percentile %.2f ms, worst %.2f ms; goal < 16 ms: %s\n",
              median, p95, worst, p95 < 16.0 ? "met" : "NOT met");
  std::printf("whole device: %.0f ms, %.2f MiB/s read into the explorer, %.0f grid cells filled per second\n", totalMs,
              double(bytes) / (1024.0 * 1024.0) / (totalMs / 1000.0), cells / (totalMs / 1000.0));
  DestroyNorExplorer();
  lx::DeviceClose("/a");
  kit->Attach(0, old);
  binder.ResetDeviceApi();
  return mismatches ? 2 : 0;
}
