// Opening and closing the device, the other gfslInit modes, the device text and the last error.
#include "engine.h"

#include <cstdio>
#include <cstring>

#include "lumivex/prompt.h"

namespace rook {

namespace {
constexpr unsigned kYesNoWarning = LX_MB_YESNO | 0x30;
}

Engine::Engine(Host& host) : host_(host) {}

Engine::~Engine() {
    CloseKitLink();
    if (trace_.View()) host_.CloseTraceMap();
}

int Engine::DeviceCode() const {
    switch (settings_.deviceClass & 0xFF) {
    case kClassNor: return 9;
    // The main program sizes its page buffers by this code: a spare area of 128 bytes (second
    // generation parts, x8 with 128 bytes or x16 with 64 words) is 1001.
    case kClassVeltan: return VeltanSpareBytes() == 128 ? 1001 : 8;
    case kClassSpi: {
        uint32_t id = geometry_.jedecId;
        if (id >= 0xFFEF4013 && id <= 0xFFEF4018) return 3001;
        if (id >= 0x014013 && id <= 0x014017) return settings_.spiFamily == 7 ? 3003 : 3002;
        if (id == 0x010215 || id == 0x010216) return 3004;
        if (id == 0x010219 || id == 0x010220 || id == 0x012018) {
            if (settings_.spiFamily == 8) return 3006;
            return settings_.deviceCodeOverride == 3005 ? 3005 : 3004;
        }
        return 10;
    }
    default: return 0;
    }
}

int Engine::Init(int mode) {
    switch (mode) {
    case 0: return Open();
    case 1: lastResult_ = 0; return Close();
    case 2: lastResult_ = 0; return closed_ ? 1 : 0;
    case 3: lastResult_ = 0; return DeviceCode();
    case 16:
    case 17:
    case 18: {
        // A reset the kit did not pass on (no kit, or the kit refused) must not be told as sent.
        lastResult_ = 0;
        spiBankCache_ = -1;
        if (!kit_) return Fail(ERROR_TO_INITIALIZE_TARN_HAL);
        norOverlay_ = 0;
        HResult hr;
        if (mode == 16) {
            // A NAND-interface chip takes its reset as a command cycle; the NOR reset byte would
            // reach it as a data cycle and reset nothing.
            nandKitFailed_ = false;
            if (VeltanOpen()) WriteNandCycle(1, base_, 4, 0xFF);
            else WriteBus(base_, 0, Cmd(0xF0));
            hr = kit_->Qflush();
            if (nandKitFailed_) hr = static_cast<HResult>(0x80004005);
        } else if (mode == 17) {
            hr = kit_->ResetMemory(255, memTypeCode_);
        } else {
            hr = kit_->PowerControl(0);
            if (!Failed(hr)) {
                host_.SleepMs(100);
                hr = kit_->PowerControl(1);
            }
        }
        return Failed(hr) ? Fail(ERROR_TO_INITIALIZE_TARN_HAL) : 0;
    }
    case 19:
        lastResult_ = 0;
        if (closed_ && !trace_.View()) return -1;
        // The host maps the view where a 32-bit answer can carry its address.
        return static_cast<int>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(trace_.View())));
    default: lastResult_ = 0; return 0;
    }
}

int Engine::Close() {
    CloseKitLink();
    spiSpace_ = 0;
    norOverlay_ = 0;
    settings_.configured = 0;
    closed_ = true;
    if (trace_.View()) {
        trace_.Attach(nullptr);
        host_.CloseTraceMap();
    }
    return 0;
}

int Engine::Open() {
    if (!trace_.View()) trace_.Attach(host_.OpenTraceMap());
    RestoreDefaults(settings_);
    lastResult_ = 0;
    chipSelect_ = 0;
    norOverlay_ = 0;
    bytesPerBusWord_ = 2;
    settings_.configured = 0;
    if (!host_.InstallFolder(&installFolder_)) return Fail(ERROR_TO_GET_WORKING_FOLDER);
    int configured = host_.Configure(settings_);
    if (configured != 0 || !settings_.configured) {
        settings_.configured = 0;
        return configured > 0 ? Fail(configured) : -1;
    }
    userTimeoutMs_[0] = static_cast<uint32_t>(settings_.programTimeoutMs);
    userTimeoutMs_[1] = static_cast<uint32_t>(settings_.eraseTimeoutMs);
    userTimeoutMs_[2] = static_cast<uint32_t>(settings_.chipEraseTimeoutMs);
    cfi_ = CfiRecord{};
    geometry_ = DeviceGeometry{};
    FillCommandRecords();
    FillNorCommandSet();
    if ((settings_.deviceClass & 0xFF) == kClassSpi) FillSpiCommandRecords();

    if (InitProgrammingUnit() != 0) {
        settings_.configured = 0;
        return Fail(ERROR_TO_INITIALIZE_TARN_HAL);
    }
    if (settings_.unitFirmwareVersion < settings_.minUsbFirmwareVersion) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "Tarn USB Version(%d) is old not to support.\n            Please update it with latest one(%d or later)\n",
                      settings_.unitFirmwareVersion, settings_.minUsbFirmwareVersion);
        LxMessageBox(nullptr, text, nullptr, LX_MB_OK);
        CloseKitLink();
        settings_.configured = 0;
        return -1;
    }

    int identified = IdentifyDevice();
    const int32_t il = settings_.interleave, bus = settings_.busWidthBits;
    if ((il != 1 && il != 2 && il != 4) || (bus != 8 && bus != 16 && bus != 32)) {
        lastResult_ = ERROR_INVALID_PARAMETER_INPUT;
        identified = -1;
    }
    geometry_.deviceType = settings_.deviceType;
    if ((settings_.deviceClass & 0xFF) != kClassVeltan) FillNorCommandSet();
    if ((settings_.deviceClass & 0xFF) == kClassNor) {
        working_.writeBufferBytes = settings_.writeBufferBytes ? static_cast<uint32_t>(settings_.writeBufferBytes) : cfi_.maxBufferBytes;
    } else if ((settings_.deviceClass & 0xFF) == kClassSpi) {
        SetSpiPageBytes(settings_.writeBufferBytes ? static_cast<uint32_t>(settings_.writeBufferBytes) : cfi_.maxBufferBytes);
    } else {
        working_.writeBufferBytes = 0;
    }

    if (settings_.useUserCfi) {
        identified = 0;
        if ((settings_.deviceClass & 0xFF) == kClassNor) {
            int code = SelectNorCommandRecord(static_cast<uint32_t>(settings_.interleave));
            geometry_.busConfig = code;
            bytesPerBusWord_ = working_.bytesPerBusWord;
        } else if ((settings_.deviceClass & 0xFF) == kClassSpi) {
            geometry_.busConfig = SelectSpiCommandRecord(static_cast<uint32_t>(settings_.interleave));
        }
        cfi_ = settings_.userCfi;
        geometry_.chipSize = settings_.userCfiDeviceBytes;
        geometry_.interleave = static_cast<uint32_t>(settings_.interleave);
        working_.writeBufferBytes = settings_.userCfi.maxBufferBytes;
        if ((settings_.deviceClass & 0xFF) == kClassNor && bytesPerBusWord_ == 0) {
            // The command set has no bus-cycle record for this bus (the reduced set knows no 8-bit
            // one): no cycle could reach the chip, so the open must not look like a success.
            CloseKitLink();
            settings_.configured = 0;
            return Fail(ERROR_INVALID_PARAMETER_INPUT);
        }
        if ((settings_.deviceClass & 0xFF) == kClassSpi) SetSpiPageBytes(settings_.userCfi.maxBufferBytes);
    }

    if (ConfirmDeviceIdentity(identified) != 0) {
        CloseKitLink();
        settings_.configured = 0;
        return -1;
    }
    if (settings_.useUserCfi == 0 && identified != 0 && lastResult_ == ERROR_INVALID_PARAMETER_INPUT) {
        // Keep the parameter error for the caller.
        closed_ = false;
        return -1;
    }
    closed_ = false;
    lastResult_ = 0;
    return identified;
}

// Asks the user what to do with an unexpected identity; 0 goes on (and may turn a failed
// identification into a usable one through `identified`), -1 refuses.
int Engine::ConfirmDeviceIdentity(int& identified) {
    const uint32_t read = geometry_.jedecId & 0xFFFFFFFF, expected = static_cast<uint32_t>(settings_.expectedJedecId);
    const bool equal = read == expected;
    char text[512];
    if (identified == 0) {
        if (equal) return 0;
        std::snprintf(text, sizeof text,
                      "It seems that your device has an incorrect device ID (0x%06X).\nID (0x%06X) is expected. Would you like to continue?",
                      read, expected);
        return LxMessageBox(nullptr, text, "Lumivex", kYesNoWarning) == LX_IDYES ? 0 : -1;
    }
    const bool spi = (settings_.deviceClass & 0xFF) == kClassSpi;
    if (equal) {
        // An SPI part that has no CFI in its ID answer is the catalogue's to describe: with its
        // predefined geometry the device is usable, and the open says so.
        if (spi && (settings_.deviceClass & kNoCfiMark)) {
            if (UsePredefinedSpiGeometry()) identified = 0;
            return 0;
        }
        std::snprintf(text, sizeof text,
                      "Your device has a correct device ID (0x%06X), but it doesn't have correct CFI information.\nWould you like the Tarn-Rook to use pre-defined information instead?\n",
                      read);
        if (LxMessageBox(nullptr, text, "Lumivex", kYesNoWarning) != LX_IDYES) return -1;
        if (spi) UsePredefinedSpiGeometry();
        identified = 0;
        return 0;
    }
    std::snprintf(text, sizeof text,
                  "Your device has an incorrect device ID (0x%06X) and no CFI information.\nID (0x%06X) is expected. Would you like to continue?",
                  read, expected);
    return LxMessageBox(nullptr, text, "Lumivex", kYesNoWarning) == LX_IDYES ? 0 : -1;
}

// The page size of the SPI working record from a buffered-write size: never below a page.
void Engine::SetSpiPageBytes(uint32_t bytes) {
    if (bytes >= 256) {
        spiWorking_.pageBytes = bytes;
        spiWorking_.pageMask = bytes - 1;
    }
}

// The catalogue's geometry for an SPI part whose ID answer carries none; false when the catalogue
// gave none either.
bool Engine::UsePredefinedSpiGeometry() {
    if (!settings_.predefinedCfi || settings_.userCfiDeviceBytes == 0 || settings_.userCfi.regionCount == 0) return false;
    cfi_ = settings_.userCfi;
    geometry_.chipSize = settings_.userCfiDeviceBytes;
    geometry_.interleave = 1;
    const EraseRegion& unit = UnitRegion();
    geometry_.unitSize = uint32_t(unit.blockSize256) * 256u;
    SetSpiPageBytes(cfi_.maxBufferBytes);
    return true;
}

int Engine::GetDeviceTextInfo(char* text) {
    static const char* const kTypes[] = {"NONE", "Legacy NOR", "Reduced Command NOR", "NAND", "SPI"};
    if (!text) return Fail(ERROR_INVALID_HANDLE_PARAM);
    int type = geometry_.deviceType;
    const char* typeText = type >= 1 && type <= 4 ? kTypes[type] : kTypes[0];
    // Callers hold 512 bytes for the text.
    int n = std::snprintf(text, 512,
                         "[JEDEC ID:%06X]\r\n[Physical Information]\r\n-Type: %s\r\n-Unit Size: %u Bytes\r\n-Media Size: %u Bytes\r\n"
                         "-Chip Size: %u Bytes\r\n-Interleaving:%u\r\n-Base Address:%X\r\n-Tarn Firmware:%d\r\n-Tarn CPLD Ver:%d",
                         geometry_.jedecId, typeText, geometry_.unitSize, geometry_.chipSize * geometry_.interleave,
                         geometry_.chipSize, geometry_.interleave, geometry_.baseAddress, settings_.unitFirmwareVersion,
                         settings_.cpldVersion);
    lastResult_ = 0;
    return n < 512 ? n : 511;
}

uint64_t Engine::BytesPerDevice() {
    lastResult_ = 0;
    return uint64_t(geometry_.chipSize) * geometry_.interleave;
}

uint32_t Engine::NorGetBlockSize(uint32_t index) {
    lastResult_ = 0;
    return GetBlockSize(index);
}

int Engine::GetLastError(char* text, uint32_t size) const {
    if (text && size > 0) {
        const char* name = ErrorName(lastResult_);
        size_t n = std::strlen(name);
        if (n > size - 1) n = size - 1;
        std::memcpy(text, name, n);
        text[n] = '\0';
    }
    return lastResult_;
}

}  // namespace rook
