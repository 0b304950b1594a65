// LXLLD_Init: the kit's bring-up, the device identification, the tables and the scratchpad.
#include <cstdio>
#include <new>

#include "lld_internal.h"

using namespace lld;
using rook::HResult;

namespace {

constexpr uint32_t kFpgaThreshold = 0x8000;
// The registry value and the path made from it are held to this many characters.
constexpr size_t kPathLimit = 511;
constexpr HResult kFilenameTooLong = HResult(0x800700CEu);  // HRESULT of ERROR_FILENAME_EXCED_RANGE

HResult ConnectKit() {
  State& s = S();
  LldHost& host = Host();
  HResult hr = host.ComInitialize();
  if (rook::Failed(hr)) return hr;
  if (!s.kit) {
    s.kit = host.CreateKit(&hr);
    if (!s.kit) return rook::Failed(hr) ? hr : HResult(0x80004005u);
  }
  rook::KitBus& kit = *s.kit;
  uint32_t cpld = 0;
  if (rook::Failed(hr = kit.SelectTarnType(1))) return hr;
  if (rook::Failed(hr = kit.ConnectTarn())) return hr;
  if (rook::Failed(hr = kit.GetCpldId(&cpld))) return hr;
  if (cpld >= kFpgaThreshold) {
    std::string path;
    if (!host.InstallFolder(&path, kPathLimit)) path.clear();
    path += "\\External FS Module\\Tarn_Rook.cpu";
    // A folder so long that the image's path would not fit is refused before anything is loaded.
    if (path.size() > kPathLimit) return kFilenameTooLong;
    host.StdOut("Please wait for firmware downloading.\r\n");
    hr = kit.FpgaOnTheFly(path);
    host.DelayUs(2000000);
    if (rook::Failed(hr)) return hr;
    if (rook::Failed(hr = kit.ConnectTarn())) return hr;
  }
  if (rook::Failed(hr = kit.SetRampUpTemplate(0, 0))) return hr;
  if (rook::Failed(hr = kit.PowerControl(1))) return hr;
  host.DelayUs(1000000);
  if (rook::Failed(hr = kit.SetInitialAccessCycle(7))) return hr;
  if (rook::Failed(hr = kit.ResetMemory(255, 0))) return hr;
  if (rook::Failed(hr = kit.GetCpldId(&cpld))) return hr;
  char line[48];
  std::snprintf(line, sizeof line, "CPLDVersion : %d\r\n", int(cpld));
  host.StdOut(line);
  return rook::kOk;
}

}  // namespace

extern "C" int32_t LXLLD_Init(uint32_t* baseAddress, uint32_t* windowSize, uint32_t* scratchpadAddress) {
  State& s = S();
  LldHost& host = Host();
  HResult hr = ConnectKit();
  if (rook::Failed(hr)) {
    host.StdErr("Tarn initialization failed!");
    return hr;
  }
  hr = s.kit->ConnectTarn();
  if (!rook::Failed(hr)) hr = s.kit->TarnConfiguration(0, 1, 0);
  if (rook::Failed(hr)) {
    s.kit.reset();
    host.ComUninitialize();
    host.StdErr("Tarn connect failed!");
    return hr;
  }
  lld_Print(" Device ID = 0x%8.8X\n", unsigned(lld::GetDeviceId()));
  BuildTables();
  s.baseAddr = 0x80000000u;
  s.windowSize = 0x7FFFFFFFu;
  lld_Print(" Keldorn\n LLD Command Line Tool\n Version 1.0\n\n");
  // One block for the library's life: a second start-up keeps it (and what it holds).
  if (!s.pad) s.pad.reset(new (std::nothrow) uint8_t[kLldScratchpadSize]());
  if (s.pad) {
    s.scratchpad = kLldScratchpadAddress;
    lld_Print(" Device BaseAddress    : 0x%8.8X\n", unsigned(s.baseAddr));
    lld_Print(" 64K scratchpad address: 0x%8.8X\n", unsigned(s.scratchpad));
  } else {
    s.scratchpad = 0;
    lld_Print("Could not allocate a scratchpad buffer !\n");
  }
  if (baseAddress) *baseAddress = s.baseAddr;
  if (windowSize) *windowSize = s.windowSize;
  if (scratchpadAddress) *scratchpadAddress = s.scratchpad;
  return 0;
}
