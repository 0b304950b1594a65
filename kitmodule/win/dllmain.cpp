// Tarn-Rook.dll: the device API exports over the engine, bound to TarnControl through COM, to the
// registry, the clock, the prompt seam and the shared "TraceMap" memory of Windows.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "com_kit_bus.h"
#include "engine.h"
#include "lumivex/prompt.h"
#include "profiler.h"
#include "rook_sheet.h"

namespace {

constexpr DWORD kTraceBytes = LX_TRACE_MAP_BYTES;

class WinHost : public rook::Host {
public:
    std::unique_ptr<rook::KitBus> CreateKit(rook::HResult* hr) override {
        HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (init == S_OK || init == S_FALSE) comInitialized_ = true;
        auto bus = rook::CreateComKitBus(hr);
        if (!bus) KitReleased();
        return bus;
    }
    void KitReleased() override {
        if (comInitialized_) CoUninitialize();
        comInitialized_ = false;
    }
    // A test run may speed the clock up (LX_TARNROOK_CLOCK_SPEED, read only while prompts are in
    // test mode): time-outs and settling waits then pass that many times faster.
    // The performance counter, not the tick count: a tick is 10-16 ms, which a sped-up clock would
    // turn into a jump of seconds that ends any short time-out at once.
    uint64_t NowMs() override {
        LARGE_INTEGER frequency, count;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&count);
        uint64_t perMs = static_cast<uint64_t>(frequency.QuadPart) / 1000;
        if (perMs == 0) return GetTickCount64() * Speed();
        return static_cast<uint64_t>(count.QuadPart) / perMs * Speed();
    }
    void SleepMs(uint32_t ms) override { Sleep(static_cast<DWORD>(ms / Speed())); }
    bool InstallFolder(std::string* folder) override {
        char path[512];
        DWORD size = sizeof path;
        DWORD type = 0;
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Keldorn\\Lumivex\\Main App", 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        LONG r = RegQueryValueExA(key, "Full Path", nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
        RegCloseKey(key);
        if (r != ERROR_SUCCESS || type != REG_SZ || size == 0) return false;
        path[size < sizeof path ? size : sizeof path - 1] = '\0';
        *folder = path;
        return true;
    }
    // The configuration sheet decides which chip is opened. A test run that drives no window may preset
    // the settings through the environment instead (LX_TARNROOK_PRESET, read only while prompts are in
    // test mode).
    int Configure(rook::DeviceSettings& settings) override {
        char preset[2048];
        DWORD n = GetEnvironmentVariableA("LX_TARNROOK_PRESET", preset, sizeof preset);
        if (!LxPromptTestActive() || n == 0 || n >= sizeof preset) return rook::RunConfiguration(settings, *this);
        std::string error;
        if (!rook::ApplyPreset(preset, settings, &error)) return rook::ERROR_TO_OPEN_MOX_INI_FILE;
        settings.configured = 1;
        return 0;
    }
    uint8_t* OpenTraceMap() override {
        CloseTraceMap();
        mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kTraceBytes, "TraceMap");
        if (!mapping_) return nullptr;
        void* view = nullptr;
#if UINTPTR_MAX > 0xFFFFFFFFu
        // The main program takes the address from gfslInit's 32-bit answer: map the view below
        // 4 GiB, or not at all, rather than hand out a cut address.
        for (uintptr_t at = 0x10000000; at < 0xF0000000 && !view; at += 0x01000000)
            view = MapViewOfFileEx(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, kTraceBytes, reinterpret_cast<void*>(at));
#else
        view = MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, kTraceBytes);
#endif
        if (!view) {
            CloseHandle(mapping_);
            mapping_ = nullptr;
            return nullptr;
        }
        view_ = view;
        return static_cast<uint8_t*>(view);
    }
    void CloseTraceMap() override {
        if (view_) UnmapViewOfFile(view_);
        if (mapping_) CloseHandle(mapping_);
        view_ = nullptr;
        mapping_ = nullptr;
    }
    void CountCall(int slot) override { LxProfilerCount(slot); }
    // The address comes as 32 bits: only committed, writable memory of the whole length is
    // written, so a cut or stale address is refused instead of corrupting memory.
    bool WriteCallerBuffer(uint32_t address, const uint8_t* data, uint32_t length) override {
        if (address == 0) return false;
        auto* p = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address));
        for (uint32_t done = 0; done < length;) {
            MEMORY_BASIC_INFORMATION info;
            if (VirtualQuery(p + done, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT) return false;
            const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
            if (!(info.Protect & writable) || (info.Protect & PAGE_GUARD)) return false;
            uintptr_t end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
            done += static_cast<uint32_t>(std::min<uintptr_t>(end - reinterpret_cast<uintptr_t>(p + done), length - done));
        }
        std::memcpy(p, data, length);
        return true;
    }
    void Print(const char* text) override {
        OutputDebugStringA(text);
        std::fputs(text, stdout);
        std::fflush(stdout);
    }

private:
    uint64_t Speed() {
        if (speed_ == 0) {
            char text[32];
            DWORD n = GetEnvironmentVariableA("LX_TARNROOK_CLOCK_SPEED", text, sizeof text);
            unsigned long v = n > 0 && n < sizeof text && LxPromptTestActive() ? std::strtoul(text, nullptr, 10) : 0;
            speed_ = v >= 1 && v <= 1000000 ? v : 1;
        }
        return speed_;
    }
    uint64_t speed_ = 0;
    bool comInitialized_ = false;
    HANDLE mapping_ = nullptr;
    void* view_ = nullptr;
};

WinHost& Host() {
    static WinHost host;
    return host;
}

rook::Engine& Engine() {
    static rook::Engine* engine = new rook::Engine(Host());
    return *engine;
}

// Runs one export's work and keeps its result as the last result: 0 for success, the failure's
// own code when the engine named one, else the negative answer itself.
template <class F>
int Kept(F work) {
    rook::Engine& e = Engine();
    e.SetLastResult(0);
    int result = work(e);
    if (result < 0 && e.LastResult() == 0) e.SetLastResult(result);
    return result;
}

}  // namespace

extern "C" {

int gfslInit(int mode) {
    if (mode == 0) LxProfilerCount(0);
    return Engine().Init(mode);
}

int gfslGetDeviceTextInfo(const char*, char* text) {
    LxProfilerCount(7);
    return Engine().GetDeviceTextInfo(text);
}

uint64_t gfslGetNumberOfBytesPerDevice(const char*) {
    LxProfilerCount(8);
    return Engine().BytesPerDevice();
}

uint32_t gfslVeltanGetNumberOfPhysicalBlocks(const char*) {
    LxProfilerCount(9);
    return Engine().VeltanBlocks();
}

uint32_t gfslVeltanGetNumberOfPagesPerBlock(const char*) {
    LxProfilerCount(10);
    return Engine().VeltanPagesPerBlock();
}

int gfslVeltanGetBBT(const char*, uint8_t* table) {
    LxProfilerCount(11);
    return Kept([&](rook::Engine& e) { return e.VeltanGetBbt(table); });
}

uint32_t gfslNORGetBlockSize(const char*, uint32_t blockIndex) {
    LxProfilerCount(12);
    return Engine().NorGetBlockSize(blockIndex);
}

int gfslVeltanReadPage(int, uint32_t column, uint32_t page, uint32_t dataLength, uint8_t* buffer) {
    LxProfilerCount(13);
    return Kept([&](rook::Engine& e) { return e.VeltanReadPage(column, page, dataLength, buffer); });
}

int gfslVeltanProgramPage(int, uint32_t column, uint32_t page, uint32_t length, const uint8_t* data,
                          const uint8_t* spare) {
    LxProfilerCount(14);
    return Kept([&](rook::Engine& e) { return e.VeltanProgramPage(column, page, length, data, spare); });
}

// The first argument carries the mode: 0x10 the parameter page, 0x20 the unique ID, else pages.
int gfslVeltanReadRawPage(int mode, uint32_t page, uint32_t pageCount, uint8_t* buffer) {
    LxProfilerCount(15);
    return Kept([&](rook::Engine& e) { return e.VeltanReadRawPage(static_cast<uint32_t>(mode), page, pageCount, buffer); });
}

int gfslVeltanProgramRawPage(int, uint32_t page, uint32_t pageCount, const uint8_t* buffer) {
    LxProfilerCount(16);
    return Kept([&](rook::Engine& e) { return e.VeltanProgramRawPage(page, pageCount, buffer); });
}

int gfslVeltanEraseBlock(int, uint32_t block) {
    LxProfilerCount(17);
    return Kept([&](rook::Engine& e) { return e.VeltanEraseBlock(block); });
}

int gfslNORReadData(int, uint32_t address, uint32_t length, uint8_t* buffer) {
    LxProfilerCount(18);
    return Kept([&](rook::Engine& e) { return e.NorReadData(address, length, buffer); });
}

int gfslNORProgramData(int, uint32_t address, uint32_t length, const uint8_t* data) {
    LxProfilerCount(19);
    return Kept([&](rook::Engine& e) { return e.NorProgramData(address, length, data); });
}

int gfslNORReadRawData(int, uint32_t address, uint32_t length, uint8_t* buffer) {
    LxProfilerCount(20);
    return Kept([&](rook::Engine& e) { return e.NorReadData(address, length, buffer); });
}

int gfslNORProgramRawData(int, uint32_t address, uint32_t length, const uint8_t* data) {
    LxProfilerCount(21);
    return Kept([&](rook::Engine& e) { return e.NorProgramRawData(address, length, data); });
}

int gfslNOREraseBlock(int, uint32_t blockIndex) {
    LxProfilerCount(22);
    return Kept([&](rook::Engine& e) { return e.NorEraseBlock(blockIndex); });
}

int gfslNORGetBlockStatus(int, uint32_t blockIndex, uint16_t* status) {
    LxProfilerCount(23);
    return Kept([&](rook::Engine& e) { return e.NorGetBlockStatus(blockIndex, status); });
}

int gfslNORSetBlockStatus(int, uint32_t blockIndex, uint32_t status) {
    LxProfilerCount(24);
    return Kept([&](rook::Engine& e) { return e.NorSetBlockStatus(blockIndex, status); });
}

int gfslNORSetASOMode(int, uint32_t mode) {
    LxProfilerCount(25);
    return Engine().NorSetAsoMode(mode);
}

// The module's meaning of the custom callbacks (a = block index where one is taken):
// 1 chip erase; 2 start erasing block a without waiting; 3 suspend that erase (0 suspended, 1 it
// had already ended); 4 resume it and wait until it ends.
int gfslCustomCallback1(int, int, int, int) {
    LxProfilerCount(57);
    return Kept([&](rook::Engine& e) { return e.NorChipErase(); });
}

int gfslCustomCallback2(int block, int, int, int) {
    LxProfilerCount(58);
    return Kept([&](rook::Engine& e) { return e.NorEraseBegin(static_cast<uint32_t>(block)); });
}

int gfslCustomCallback3(int block, int, int, int) {
    LxProfilerCount(59);
    return Kept([&](rook::Engine& e) { return e.NorEraseSuspend(static_cast<uint32_t>(block)); });
}

int gfslCustomCallback4(int block, int, int, int) {
    LxProfilerCount(60);
    return Kept([&](rook::Engine& e) { return e.NorEraseResume(static_cast<uint32_t>(block)); });
}

int gfslGetLastError(char* text, uint32_t size) {
    LxProfilerCount(55);
    return Engine().GetLastError(text, size);
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) rook::SetConfigurationModule(instance);
    return TRUE;
}
