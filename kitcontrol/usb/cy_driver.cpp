#include "cy_driver.h"

#include <setupapi.h>

#include "lumivex/procaddress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

BOOL Win32InterfacePath(const GUID* guid, DWORD index, char* path, DWORD pathSize) {
    HDEVINFO set = SetupDiGetClassDevsA(guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return FALSE;
    SP_DEVICE_INTERFACE_DATA itf{};
    itf.cbSize = sizeof itf;
    BOOL ok = SetupDiEnumDeviceInterfaces(set, nullptr, guid, index, &itf);
    if (ok) {
        DWORD need = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &itf, nullptr, 0, &need, nullptr);
        ok = FALSE;
        if (need >= sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
            auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(std::calloc(1, need));
            if (detail) {
                detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
                if (SetupDiGetDeviceInterfaceDetailA(set, &itf, detail, need, nullptr, nullptr) &&
                    std::strlen(detail->DevicePath) < pathSize) {
                    std::strcpy(path, detail->DevicePath);
                    ok = TRUE;
                } else if (GetLastError() == ERROR_SUCCESS) {
                    SetLastError(ERROR_INSUFFICIENT_BUFFER);
                }
                std::free(detail);
            }
        }
    }
    DWORD error = GetLastError();
    SetupDiDestroyDeviceInfoList(set);
    SetLastError(error);
    return ok;
}

HANDLE Win32Open(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

BOOL Win32Close(HANDLE h) { return CloseHandle(h); }

BOOL Win32IoControl(HANDLE h, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                    OVERLAPPED* ov) {
    return DeviceIoControl(h, code, in, inSize, out, outSize, returned, ov);
}

BOOL Win32OverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* transferred, BOOL wait) {
    return GetOverlappedResult(h, ov, transferred, wait);
}

const CyDriverTable kWin32 = {sizeof(CyDriverTable), Win32InterfacePath, Win32Open, Win32Close, Win32IoControl,
                              Win32OverlappedResult};

// Used when the simulator was asked for but cannot be loaded: no kit at all, rather than
// silently driving real hardware.
BOOL NoInterfacePath(const GUID*, DWORD, char*, DWORD) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}
HANDLE NoOpen(const char*) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}
const CyDriverTable kNone = {sizeof(CyDriverTable), NoInterfacePath, NoOpen, Win32Close, Win32IoControl,
                             Win32OverlappedResult};

const CyDriverTable* LoadSimulator() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&LoadSimulator), &self);
    char path[MAX_PATH] = {};
    HMODULE sim = nullptr;
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        std::string dir(path);
        dir = dir.substr(0, dir.find_last_of("\\/") + 1);
        sim = LoadLibraryA((dir + "LxKitSim.dll").c_str());
    }
    if (!sim) sim = LoadLibraryA("LxKitSim.dll");
    auto get = sim ? LxGetProc<LxKitSimDriverFn>(sim, "LxKitSimDriver") : nullptr;
    const CyDriverTable* table = get ? get() : nullptr;
    if (!table || table->size != sizeof(CyDriverTable)) {
        std::fprintf(stderr, "LX_KITSIM is set but LxKitSim.dll cannot be used: no kit is available\n");
        return &kNone;
    }
    return table;
}

}  // namespace


const CyDriverTable* CyDriver() {
    static const CyDriverTable* table = [] {
        const char* sim = std::getenv("LX_KITSIM");
        if (sim && *sim && std::strcmp(sim, "0") != 0) return LoadSimulator();
        return &kWin32;
    }();
    return table;
}
