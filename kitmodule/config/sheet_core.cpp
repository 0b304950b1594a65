#include "sheet_core.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "engine.h"
#include "file_parser.h"

namespace rook {

const char* const kCsPositionEntries[7] = {"N/A", "1st half", "2nd half", "1st quarter", "2nd quarter", "3rd quarter", "4th quarter"};
const char* const kCsPositionFileValues[7] = {"", "1st Half", "2nd Half", "1st Quarter", "2nd Quarter", "3rd Quarter", "4th Quarter"};
const char* const kCsSizeEntries[13] = {"N/A", "1Mbit", "2Mbit", "4Mbit", "8Mbit", "16Mbit", "32Mbit", "64Mbit",
                                        "128Mbit", "256Mbit", "512Mbit", "1Gbit", "2Gbit"};

int VoltageButtonOf(int vccMv) {
    switch (vccMv) {
    case 1800: return 0;
    case 2500: return 1;
    case 3300: return 2;
    default: return -1;
    }
}

int SetupDevice(DevicePageSelection& sel, PageChoices& page, DeviceSettings& s, RookIni& ini,
                std::vector<std::string>& messages, bool* vccRefused) {
    int status = 0;
    auto invalid = [&](const char* text) {
        messages.push_back(text);
        status = -1;
    };
    if (vccRefused) *vccRefused = false;

    static const int kBus[] = {8, 16, 32};
    if (sel.busWidth >= 0 && sel.busWidth <= 2) s.busWidthBits = kBus[sel.busWidth];
    else s.busWidthBits = 0, invalid("Buswidth is invalid!\n");

    static const int kInterleave[] = {1, 2, 4};
    static const char* const kInterleaveText[] = {"1", "2", "4"};
    if (sel.interleave >= 0 && sel.interleave <= 2) {
        s.interleave = kInterleave[sel.interleave];
        ini.Set(kPredefinedSection, "Interleaved", kInterleaveText[sel.interleave]);
    } else {
        s.interleave = 0, invalid("Interleaved is invalid!\n");
    }

    if (sel.chipSelect >= 0 && sel.chipSelect <= 3) s.chipSelect = 1 << sel.chipSelect;
    else s.chipSelect = 0, invalid("Rook CS is invalid!\n");

    if (sel.hostInterface >= 0 && sel.hostInterface <= 2) s.hostInterface = sel.hostInterface + 1;
    else s.hostInterface = 0, invalid("System Interface is invalid!\n");

    static const int kSpiModes[] = {1, 2, 4};
    static const char* const kSpiText[] = {"SIO", "DIO", "QIO"};
    if (sel.spiInterface >= 0 && sel.spiInterface <= 2) {
        s.spiIoMode = kSpiModes[sel.spiInterface];
        ini.Set(kPredefinedSection, "SPI Interface", kSpiText[sel.spiInterface]);
    } else {
        s.spiIoMode = 0;
        if ((s.deviceClass & 0xFF) == kClassSpi) invalid("SPI Interface is invalid!\n");
    }

    if (sel.deviceType >= 0 && sel.deviceType <= 2) s.deviceClass = sel.deviceType + 1;
    else s.deviceClass = 0, invalid("Device Class is invalid!\n");

    if (sel.socket == 0) {
        s.socketType = 1;
        sel.vccMv = 1800;
    } else if (sel.socket == 1) {
        s.socketType = 2;
        char text[64];
        if (sel.vccMv < kMinVccMv || sel.vccMv > kMaxVccMv) {
            std::snprintf(text, sizeof text, sel.vccMv < kMinVccMv ? "Vcc is lower than %dmV" : "Vcc is higher than %dmV",
                          sel.vccMv < kMinVccMv ? kMinVccMv : kMaxVccMv);
            messages.push_back(text);
            if (vccRefused) *vccRefused = true;
            return -1;
        }
        std::snprintf(text, sizeof text, "%d", sel.vccMv);
        ini.Set(kPredefinedSection, "Voltage", text);
    } else {
        s.socketType = 0;
        sel.vccMv = 1200;
        invalid("Socket Type is invalid!\n");
    }
    s.vccMillivolts = sel.vccMv;

    page.family = sel.group;
    s.expectedJedecId = LookupPredefinedDevice(sel.name, page, s);
    if (s.expectedJedecId == -1 || page.found != 0) invalid("Setup Device has failed.\nPlease try it again\n");
    else if (status == 0) s.configured = 1;
    return status;
}

CatalogueOptionsView CatalogueOptions(const PageChoices& page, int socket, int vccMv, const RookIni& ini) {
    CatalogueOptionsView v;
    auto only = [](RadioGroup& g, int code, std::initializer_list<int> otherwise, int otherwiseSelected) {
        if (code >= 0 && code <= 2) {
            g.selected = code;
            g.enabled[code] = true;
        } else {
            g.selected = otherwiseSelected;
            for (int i : otherwise) g.enabled[i] = true;
        }
    };
    only(v.bus, page.busWidth, {0, 1}, -1);
    v.chipSelect.selected = page.chipSelect == 0 ? 0 : -1;
    v.chipSelect.enabled[0] = true;
    only(v.host, page.hostInterface, {0, 1, 2}, -1);
    only(v.interleave, page.interleave, {0, 1}, 0);
    // The file keeps the last interleave the user applied; it decides only among the buttons this part
    // leaves, so a single-chip part never starts interleaved from a NOR choice made before.
    const std::string interleaved = ini.Get(kPredefinedSection, "Interleaved");
    int fromFile = interleaved == "2" ? 1 : interleaved == "4" ? 2 : 0;
    if (v.interleave.enabled[fromFile]) v.interleave.selected = fromFile;
    else if (v.interleave.enabled[0]) v.interleave.selected = 0;

    v.spiGroupEnabled = page.spiInterface != -1;
    if (v.spiGroupEnabled) {
        const std::string spi = ini.Get(kPredefinedSection, "SPI Interface");
        v.spi.selected = spi == "DIO" ? 1 : spi == "QIO" ? 2 : 0;
    }

    v.socket = socket == 1 ? 1 : 0;
    v.wendControlsEnabled = v.socket == 1;
    v.vccMv = vccMv;
    const std::string voltage = ini.Get(kPredefinedSection, "Voltage");
    if (!voltage.empty()) v.vccMv = std::atoi(voltage.c_str());
    v.voltageButton = VoltageButtonOf(v.vccMv);
    return v;
}

bool ApplyOperationSetup(const OperationSetupValues& v, DeviceSettings& s, std::string* error) {
    if (v.userCfi) {
        CfiRecord cfi;
        uint32_t bytes = 0;
        if (!ParseUserCfi(v.cfi, cfi, bytes, error)) return false;
        s.userCfi = cfi;
        s.userCfiDeviceBytes = bytes;
    }
    s.programTimeoutMs = v.programTimeoutMs;
    s.eraseTimeoutMs = v.eraseTimeoutMs;
    s.chipEraseTimeoutMs = v.chipEraseTimeoutMin < 0 ? -1 : v.chipEraseTimeoutMin * 60000;
    if (v.writeBufferBytes) s.writeBufferBytes = v.writeBufferBytes;
    if (v.dataSwap == 2 || v.dataSwap == 4) s.dataSwap = v.dataSwap / 2;
    s.noWriteBuffer = v.noWriteBuffer;
    s.checkSectorProtection = v.checkSectorProtection;
    s.forceP8E = v.forceP8E;
    s.force4ByteAddress = v.force4ByteAddress;
    s.force80MHzSck = v.force80MHzSck;
    s.useUserCfi = v.userCfi;
    return true;
}

void ReadChipSelectMap(const RookIni& ini, ChipSelectMapEntry map[4]) {
    char key[32];
    for (int d = 0; d < 4; ++d) {
        map[d] = ChipSelectMapEntry{};
        std::snprintf(key, sizeof key, "CS%d Position", d);
        const std::string position = ini.Get(kPredefinedSection, key);
        for (int c = 1; c < 7; ++c)
            if (position == kCsPositionFileValues[c]) map[d].positionCode = c;
        std::snprintf(key, sizeof key, "CS%d Size", d);
        const std::string size = ini.Get(kPredefinedSection, key);
        for (int c = 1; c < 13; ++c)
            if (size == kCsSizeEntries[c]) map[d].sizeCode = c;
    }
}

void WriteChipSelectMap(RookIni& ini, const ChipSelectMapEntry map[4]) {
    char key[32];
    for (int d = 0; d < 4; ++d) {
        int position = map[d].positionCode >= 0 && map[d].positionCode < 7 ? map[d].positionCode : 0;
        int size = map[d].sizeCode >= 0 && map[d].sizeCode < 13 ? map[d].sizeCode : 0;
        std::snprintf(key, sizeof key, "CS%d Position", d);
        ini.Set(kPredefinedSection, key, kCsPositionFileValues[position]);
        std::snprintf(key, sizeof key, "CS%d Size", d);
        ini.Set(kPredefinedSection, key, size ? kCsSizeEntries[size] : "");
    }
}

bool ChipSelectMapSelected(const ChipSelectMapEntry map[4]) {
    for (int d = 0; d < 4; ++d)
        if (map[d].positionCode != 0) return true;
    return false;
}

}  // namespace rook

namespace rook {

bool ApplyChipSelectMap(DeviceSettings& s, const std::function<bool()>& userAccepts) {
    s.chipSelectMapInUse = 0;
    if (!ChipSelectMapSelected(s.chipSelectMap)) return true;
    if (!userAccepts()) return false;
    s.chipSelectMapInUse = 1;
    return true;
}

int PageMemoryType(const DevicePageSelection& sel) {
    if (sel.deviceType < 0 || sel.deviceType > 2) return -1;
    DeviceSettings s;
    s.socketType = sel.socket == 0 ? 1 : sel.socket == 1 ? 2 : 0;
    s.deviceClass = sel.deviceType + 1;
    return Engine::MemoryTypeCode(s);
}

HResult ResetPageMemory(KitBus& kit, const DevicePageSelection& sel) {
    const int memoryType = PageMemoryType(sel);
    if (memoryType < 0) return static_cast<HResult>(0x80070057);
    return kit.ResetMemory(255, static_cast<uint8_t>(memoryType));
}

namespace {
constexpr int kSerialMemoryType = 1;
}  // namespace

bool PageTakesDeepPowerDown(const DevicePageSelection& sel) {
    return sel.deviceType == 2 && PageMemoryType(sel) == kSerialMemoryType && sel.chipSelect >= 0 && sel.chipSelect <= 3;
}

HResult SendPageDeepPowerDown(KitBus& kit, const DevicePageSelection& sel, bool enter) {
    if (!PageTakesDeepPowerDown(sel)) return static_cast<HResult>(0x80070057);
    // A kit connected without an open carries no configuration: unconfigured, the command's register
    // writes would go out as parallel bus cycles and the chip would never see them.
    DeviceSettings s;
    s.busWidthBits = sel.busWidth == 1 ? 16 : sel.busWidth == 2 ? 32 : 8;
    s.interleave = sel.interleave == 1 ? 2 : sel.interleave == 2 ? 4 : 1;
    const int config = Engine::MemoryConfigCode(s);
    HResult hr = kit.TarnConfiguration(kSerialMemoryType, static_cast<uint8_t>(config >= 0 && config <= 3 ? config : 0),
                                       static_cast<uint8_t>(sel.chipSelect));
    if (hr < 0) return hr;
    // The serial controller's control register (16) around its command register (0).
    constexpr uint32_t kKitBase = 0x80000000u;
    const uint8_t command = enter ? 0xB9 : 0xAB;
    for (const auto& w : {std::pair<uint32_t, uint8_t>{16, 0}, {0, command}, {16, 8}}) {
        hr = kit.Qwrite8(kKitBase + w.first, w.second, 3);
        if (hr < 0) return hr;
    }
    return kit.Qflush();
}

}  // namespace rook
