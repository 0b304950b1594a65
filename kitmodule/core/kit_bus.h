// What the module asks of the kit control (the ITarn methods it calls), and of its surroundings
// (COM, the clock, the installation folder, the configuration sheet, the shared trace memory).
// The DLL binds them to TarnControl over COM and to Win32; native tests bind them to the simulated
// kit through the same kit link code that TarnControl runs, so the chip models judge both paths.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace rook {

using HResult = int32_t;
constexpr HResult kOk = 0;
inline bool Failed(HResult hr) { return hr < 0; }

// Addresses: bus-word addresses for the 16- and 32-bit methods, byte addresses for the 8-bit ones.
class KitBus {
public:
    virtual ~KitBus() = default;
    virtual HResult SelectTarnType(uint32_t type) = 0;
    virtual HResult ConnectTarn() = 0;
    virtual HResult CloseTarn() = 0;
    virtual HResult GetFirmwareId(uint32_t* id) = 0;
    virtual HResult GetCpldId(uint32_t* id) = 0;
    virtual HResult TarnConfiguration(uint8_t memType, uint8_t memConfig, uint8_t chipSelectIndex) = 0;
    virtual HResult ConfigTarnPollingMethod(uint8_t pollingCode, uint32_t duration) = 0;
    virtual HResult Read8(uint32_t address, uint8_t* value) = 0;
    virtual HResult Read16(uint32_t address, uint16_t* value) = 0;
    virtual HResult Read32(uint32_t address, uint32_t* value) = 0;
    virtual HResult Qwrite8(uint32_t address, uint8_t value, uint8_t pollingCode) = 0;
    virtual HResult Qwrite16(uint32_t address, uint16_t value, uint8_t pollingCode) = 0;
    virtual HResult Qwrite32(uint32_t address, uint32_t value, uint8_t pollingCode) = 0;
    // QwriteBufCmd0029_0029: the write-buffer confirm (0x29 on every lane) at the address of the
    // last queued write, two stream bytes where a queued write takes fourteen. A bus without it
    // answers a failure and the caller queues the write itself.
    virtual HResult QwriteBufCmd0029(uint8_t pollingCode) {
        (void)pollingCode;
        return static_cast<HResult>(0x80004001);
    }
    virtual HResult Qflush() = 0;
    virtual HResult AsyncArrayRead(uint32_t byteAddress, uint32_t length, uint8_t width, uint8_t* buffer) = 0;
    virtual HResult NorArrayRead(uint32_t address, uint32_t length, uint8_t width, uint8_t* buffer) = 0;
    virtual HResult QsetNandRegMode(uint8_t mode) = 0;
    virtual HResult QwriteNand8(uint8_t value) = 0;
    virtual HResult QwriteNand16(uint16_t value) = 0;
    virtual HResult NandArrayRead(uint32_t length, uint8_t width, uint8_t* buffer) = 0;
    virtual HResult ResetMemory(uint8_t socketType, uint8_t memType) = 0;
    virtual HResult PowerControl(uint8_t on) = 0;
    virtual HResult SetVoltage(int32_t source, uint32_t millivolts) = 0;
    virtual HResult SetRampUpTemplate(uint8_t template18, uint8_t template33) = 0;
    virtual HResult SetInitialAccessCycle(uint8_t cycles) = 0;
    // TarnFPGAOnTheFly with a file name.
    virtual HResult FpgaOnTheFly(const std::string& path) = 0;
};

class Host {
public:
    virtual ~Host() = default;
    // Initialises COM when needed and creates the kit control; null with the failure in *hr.
    virtual std::unique_ptr<KitBus> CreateKit(HResult* hr) = 0;
    // The kit control was released: undo what CreateKit did to COM.
    virtual void KitReleased() {}
    virtual uint64_t NowMs() = 0;
    virtual void SleepMs(uint32_t ms) = 0;
    // "Full Path" of the main program's "Main App" key; false when it cannot be read.
    virtual bool InstallFolder(std::string* folder) = 0;
    // The configuration step of an open: fills the settings and answers 0 when the device may be
    // opened (the settings then say configured), anything else when the user gave up.
    virtual int Configure(struct DeviceSettings& settings) = 0;
    // The shared trace memory of LX_TRACE_MAP_BYTES, or null when it cannot be made.
    virtual uint8_t* OpenTraceMap() = 0;
    virtual void CloseTraceMap() = 0;
    // Copies bytes into a caller's buffer that the device API names by a 32-bit address (the
    // password read does); false, and nothing written, when no writable buffer of that size is there.
    virtual bool WriteCallerBuffer(uint32_t address, const uint8_t* data, uint32_t length) {
        (void)address;
        (void)data;
        (void)length;
        return false;
    }
    // Text for the standard output of a console host.
    virtual void Print(const char* text) { (void)text; }
    // Counts a call in the profiler entry of a device API slot (work one export does for another).
    virtual void CountCall(int slot) { (void)slot; }
};

}  // namespace rook
