// LXLLD_Init: the kit's bring-up, the device identification, the tables and the scratchpad.
#include <cstdio>
#include <new>

#include "kit_failure.h"
#include "lld_internal.h"

using namespace lld;
using rook::HResult;

namespace {

constexpr uint32_t kFpgaThreshold = 0x8000;
// The registry value and the path made from it are held to this many characters.
constexpr size_t kPathLimit = 511;
constexpr HResult kFilenameTooLong = HResult(0x800700CEu);  // HRESULT of ERROR_FILENAME_EXCED_RANGE

// Who else in the program may hold the kit when the console cannot have it.
constexpr const char* kOtherKitUser = "the device opened with Open Device (close it first)";

// The step under way and the FPGA image asked for, for the reason of a failure.
rook::KitStep g_step = rook::KitStep::Create;
std::string g_imagePath;

HResult ConnectKit() {
  State& s = S();
  LldHost& host = Host();
  g_step = rook::KitStep::Create;
  HResult hr = host.ComInitialize();
  if (rook::Failed(hr)) return hr;
  if (!s.kit) {
    s.kit = host.CreateKit(&hr);
    if (!s.kit) return rook::Failed(hr) ? hr : HResult(0x80004005u);
  }
  s.kitLent = false;
  rook::KitBus& kit = *s.kit;
  uint32_t cpld = 0;
  g_step = rook::KitStep::Connect;
  if (rook::Failed(hr = kit.SelectTarnType(1))) return hr;
  if (rook::Failed(hr = kit.ConnectTarn())) return hr;
  if (rook::Failed(hr = kit.GetCpldId(&cpld))) return hr;
  if (cpld >= kFpgaThreshold) {
    std::string path;
    if (!host.InstallFolder(&path, kPathLimit)) path.clear();
    path += "\\External FS Module\\Tarn_Rook.cpu";
    g_step = rook::KitStep::FpgaImage;
    g_imagePath = path;
    // A folder so long that the image's path would not fit is refused before anything is loaded.
    if (path.size() > kPathLimit) return kFilenameTooLong;
    host.StdOut("Please wait for firmware downloading.\r\n");
    hr = kit.FpgaOnTheFly(path);
    host.DelayUs(2000000);
    if (rook::Failed(hr)) return hr;
    g_step = rook::KitStep::Connect;
    if (rook::Failed(hr = kit.ConnectTarn())) return hr;
  }
  g_step = rook::KitStep::PowerUp;
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
    // The console shows the buffer, not the standard streams: the reason goes there.
    lld_Print("Tarn initialization failed!\n%s\n", rook::KitFailureText(g_step, hr, g_imagePath, kOtherKitUser).c_str());
    if (s.kit) LendKit();
    return hr;
  }
  hr = s.kit->ConnectTarn();
  if (!rook::Failed(hr)) hr = s.kit->TarnConfiguration(0, 1, 0);
  if (rook::Failed(hr)) {
    s.kit.reset();
    host.ComUninitialize();
    host.StdErr("Tarn connect failed!");
    lld_Print("Tarn connect failed!\n%s\n", rook::KitFailureText(rook::KitStep::Connect, hr, "", kOtherKitUser).c_str());
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
  // The kit is the device module's again until a command needs it.
  LendKit();
  if (baseAddress) *baseAddress = s.baseAddr;
  if (windowSize) *windowSize = s.windowSize;
  if (scratchpadAddress) *scratchpadAddress = s.scratchpad;
  return 0;
}
