// LXLLD_Tarn.dll: the driver's core bound to TarnControl over COM, the registry, the performance
// counter and the process's standard streams.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <string>

#include "com_kit_bus.h"
#include "lld.h"

namespace {

class WinHost : public LldHost {
public:
  rook::HResult ComInitialize() override {
    HRESULT hr = CoInitialize(nullptr);
    // Already initialised on this thread (S_FALSE), or in another apartment: the kit works either way.
    return hr == RPC_E_CHANGED_MODE ? S_OK : hr;
  }
  void ComUninitialize() override { CoUninitialize(); }
  std::unique_ptr<rook::KitBus> CreateKit(rook::HResult* hr) override { return rook::CreateComKitBus(hr); }

  bool InstallFolder(std::string* folder, size_t limit) override {
    wchar_t path[512];
    DWORD bytes = sizeof path - sizeof(wchar_t);
    DWORD type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Keldorn\\Lumivex\\Main App", 0, KEY_READ, &key) != ERROR_SUCCESS)
      return false;
    LONG r = RegQueryValueExW(key, L"Full Path", nullptr, &type, reinterpret_cast<BYTE*>(path), &bytes);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_SZ) return false;
    // The value need not end with a NUL: end it within what was read.
    path[bytes / sizeof(wchar_t)] = L'\0';
    char narrow[1024];
    int n = WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, sizeof narrow, nullptr, nullptr);
    if (n <= 0) return false;
    *folder = narrow;
    if (folder->size() > limit) folder->resize(limit);
    return true;
  }

  uint64_t NowUs() override {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return uint64_t(now.QuadPart) / uint64_t(frequency.QuadPart) * 1000000u +
           uint64_t(now.QuadPart) % uint64_t(frequency.QuadPart) * 1000000u / uint64_t(frequency.QuadPart);
  }

  void DelayUs(uint64_t us) override {
    uint64_t end = NowUs() + us;
    // Sleep through all but the last two milliseconds, then count the rest out on the counter.
    if (us > 2000) Sleep(DWORD((us - 2000) / 1000));
    while (NowUs() < end) {
    }
  }

  void StdOut(const char* text) override {
    std::fputs(text, stdout);
    std::fflush(stdout);
  }
  void StdErr(const char* text) override {
    std::fputs(text, stderr);
    std::fflush(stderr);
  }

  bool ReadLine(std::string* line) override {
    line->clear();
    char piece[256];
    while (std::fgets(piece, sizeof piece, stdin)) {
      *line += piece;
      if (!line->empty() && line->back() == '\n') {
        line->pop_back();
        if (!line->empty() && line->back() == '\r') line->pop_back();
        return true;
      }
    }
    return !line->empty();
  }
};

WinHost g_host;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) lld::SetHost(&g_host);
  return TRUE;
}
