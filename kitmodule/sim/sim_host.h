// A Host for the engine over simulated kits, in-process: kit time is the clock, the trace memory
// is a plain buffer, the configuration is a preset, and each CreateKit hands out a SimKitBus on the
// kit. Native tests and the benchmark use it.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "engine.h"
#include "kitsim/kit.h"
#include "sim_kit_bus.h"

namespace rook {

// A fresh installation folder under /tmp holding the FPGA image the kit start loads ("External FS
// Module/Tarn_Rook.cpu"), made once per process.
inline std::string SimInstallFolder() {
    static std::string folder = [] {
        char tmpl[] = "/tmp/rooktestXXXXXX";
        std::string dir = mkdtemp(tmpl);
        mkdir((dir + "/External FS Module").c_str(), 0755);
        std::FILE* f = std::fopen((dir + "/External FS Module/Tarn_Rook.cpu").c_str(), "wb");
        std::fputs("fpga", f);
        std::fclose(f);
        return dir;
    }();
    return folder;
}

class SimHost : public Host {
public:
    // `folder` must hold "External FS Module/Tarn_Rook.cpu" unless the preset turns the FPGA load off.
    SimHost(kitsim::Kit& kit, std::string folder) : kit_(kit), folder_(std::move(folder)) {}

    std::string preset;          // applied at every open
    int configureAnswer = 0;     // what the configuration step answers besides the preset
    bool traceMapFails = false;
    bool folderFails = false;
    SimKitBus* bus = nullptr;    // the kit control of the open device
    std::vector<uint8_t> traceMemory;
    std::string printed;
    // How many times faster than kit time the module's clock runs (the clock seam of a sped-up
    // test run): its time-outs then end while the chip, on kit time, still works.
    uint64_t clockSpeed = 1;
    // Buffers a test hands to the device API as 32-bit addresses: address -> (memory, size).
    std::map<uint32_t, std::pair<uint8_t*, uint32_t>> callerBuffers;

    std::unique_ptr<KitBus> CreateKit(HResult* hr) override {
        auto b = std::make_unique<SimKitBus>(kit_);
        bus = b.get();
        *hr = kOk;
        return b;
    }
    void KitReleased() override { bus = nullptr; }
    uint64_t NowMs() override { return kit_.Clock().NowNs() * clockSpeed / 1000000u; }
    void SleepMs(uint32_t ms) override { kit_.Clock().AdvanceUs(uint64_t(ms) * 1000u / clockSpeed); }
    bool InstallFolder(std::string* folder) override {
        *folder = folder_;
        return !folderFails;
    }
    int Configure(DeviceSettings& s) override {
        if (configureAnswer) return configureAnswer;
        std::string error;
        if (!ApplyPreset(preset, s, &error)) return ERROR_TO_OPEN_MOX_INI_FILE;
        s.configured = 1;
        return 0;
    }
    uint8_t* OpenTraceMap() override {
        if (traceMapFails) return nullptr;
        traceMemory.assign(kTraceRecords * 24u, 0);
        return traceMemory.data();
    }
    void CloseTraceMap() override {}
    void Print(const char* text) override { printed += text; }
    bool WriteCallerBuffer(uint32_t address, const uint8_t* data, uint32_t length) override {
        auto it = callerBuffers.find(address);
        if (it == callerBuffers.end() || it->second.second < length) return false;
        std::memcpy(it->second.first, data, length);
        return true;
    }

private:
    kitsim::Kit& kit_;
    std::string folder_;
};

}  // namespace rook
