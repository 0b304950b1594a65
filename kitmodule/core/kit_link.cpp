// The kit link: starting and closing the programming unit through the kit control, and the bus
// primitives every command goes through, each recorded in the bus trace.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine.h"
#include "lumivex/prompt.h"

namespace rook {

namespace {
constexpr uint32_t kKitBase = 0x80000000u;
constexpr uint32_t kWindowSize = 0x7FFFFFFFu;
constexpr uint32_t kArrayPiece = 0x8000;
constexpr uint32_t kTarnTypeII = 1;
}  // namespace

int Engine::MemoryTypeCode(const DeviceSettings& s) {
    switch (s.socketType) {
    case 1:
        switch (s.deviceClass & 0xFF) {
        case kClassSpi: return 1;
        case kClassVeltan: return 6;
        default: return 0;
        }
    case 2: return 2;
    case 3: return 3;
    default: return -1;
    }
}

int Engine::MemoryConfigCode(const DeviceSettings& s) {
    switch (s.busWidthBits) {
    case 8: return s.interleave == 1 ? 0 : 255;
    case 16: return s.interleave == 1 ? 1 : s.interleave == 2 ? 2 : 255;
    case 32: return s.interleave == 1 ? 3 : 255;
    default: return -1;
    }
}

// The settings name chip selects as a mask (1 CS0 ... 8 CS3); the kit control takes the socket
// position's index.
int Engine::ChipSelectIndex(int32_t mask) {
    switch (mask) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    case 8: return 3;
    default: return -1;
    }
}

HResult Engine::StartProgrammingUnit() {
    HResult hr = kOk;
    kitStep_ = KitStep::Create;
    if (!kit_) {
        kit_ = host_.CreateKit(&hr);
        if (!kit_) return Failed(hr) ? hr : static_cast<HResult>(0x80004005);
    }
    kitStep_ = KitStep::Connect;
    uint32_t firmware = 0xFFFFFFFF, cpld = 0xFFFFFFFF;
    hr = kit_->SelectTarnType(kTarnTypeII);
    if (!Failed(hr)) hr = kit_->ConnectTarn();
    if (!Failed(hr)) hr = kit_->GetFirmwareId(&firmware);
    if (!Failed(hr)) hr = kit_->GetCpldId(&cpld);
    settings_.unitFirmwareVersion = static_cast<int32_t>(firmware);
    settings_.cpldVersion = static_cast<int32_t>(cpld);
    bool download = (!Failed(hr) && cpld >= 0x8000 && cpld != 0xFFFFFFFF) || settings_.forceFpgaDownload;
    if (download) {
        kitStep_ = KitStep::FpgaImage;
        imagePath_ = installFolder_ + "\\External FS Module\\Tarn_Rook.cpu";
        host_.Print("Please wait for firmware downloading.\r\n");
        hr = kit_->FpgaOnTheFly(imagePath_);
        host_.SleepMs(200);
        if (Failed(hr)) return hr;
        kitStep_ = KitStep::Connect;
        kit_->CloseTarn();
        hr = kit_->ConnectTarn();
    }
    if (Failed(hr)) return hr;
    kitStep_ = KitStep::PowerUp;
    hr = kit_->PowerControl(0);
    if (!Failed(hr)) {
        host_.SleepMs(100);
        hr = kit_->SetRampUpTemplate(0, 0);
    }
    if (!Failed(hr)) hr = kit_->SetVoltage(0, static_cast<uint32_t>(settings_.vccMillivolts));
    if (!Failed(hr)) {
        host_.SleepMs(100);
        hr = kit_->PowerControl(1);
    }
    if (!Failed(hr)) {
        host_.SleepMs(100);
        hr = kit_->SetInitialAccessCycle(7);
    }
    if (!Failed(hr)) hr = kit_->ResetMemory(255, memTypeCode_);
    if (!Failed(hr)) {
        hr = kit_->GetCpldId(&cpld);
        if (!Failed(hr)) settings_.cpldVersion = static_cast<int32_t>(cpld);
    }
    return hr;
}

int Engine::InitProgrammingUnit() {
    int memType = MemoryTypeCode(settings_);
    int memConfig = MemoryConfigCode(settings_);
    int chipSelect = ChipSelectIndex(settings_.chipSelect);
    if (memType < 0 || memConfig < 0 || chipSelect < 0) return -1;
    memTypeCode_ = static_cast<uint8_t>(memType);
    memConfigCode_ = static_cast<uint8_t>(memConfig);
    settings_.memoryType = memType;
    uint8_t pollingCode = settings_.deviceType == kTypeLegacyNor    ? 1
                          : settings_.deviceType == kTypeReducedNor ? 2
                          : settings_.deviceType == kTypeNand       ? 0
                                                                    : 3;
    HResult hr = StartProgrammingUnit();
    if (!Failed(hr)) {
        kitStep_ = KitStep::Connect;
        hr = kit_->CloseTarn();
        if (!Failed(hr)) hr = kit_->ConnectTarn();
    }
    if (!Failed(hr)) {
        kitStep_ = KitStep::PowerUp;
        hr = kit_->TarnConfiguration(memTypeCode_, memConfigCode_, static_cast<uint8_t>(chipSelect));
    }
    if (!Failed(hr)) hr = kit_->ConfigTarnPollingMethod(pollingCode, 0xFFFFFFFF);
    if (Failed(hr)) {
        // A window program shows no standard output: the reason goes into the box the user sees.
        host_.Print("Tarn initialization failed!\n");
        const std::string text = "Tarn initialization failed!\n" +
                                 KitFailureText(kitStep_, hr, imagePath_, "a command of the NOR console that is still running");
        LxMessageBox(nullptr, text.c_str(), "Lumivex", LX_MB_OK | 0x10);
        return -1;
    }
    chipSelect_ = static_cast<uint32_t>(chipSelect);
    base_ = kKitBase;
    settings_.baseAddress = kKitBase;
    settings_.windowSize = kWindowSize;
    return 0;
}

void Engine::CloseKitLink() {
    if (!kit_) return;
    kit_->CloseTarn();
    kit_.reset();
    host_.KitReleased();
}

void Engine::WriteBus(uint32_t base, uint32_t offset, uint32_t data) { WriteBusPolled(base, offset, data, 3); }

void Engine::WriteBusPolled(uint32_t base, uint32_t offset, uint32_t data, uint8_t pollingCode) {
    const uint32_t bpw = bytesPerBusWord_;
    const uint32_t address = (bpw == 1 || bpw == 2 || bpw == 4) ? base + offset * bpw : 0;
    const uint32_t opIn = pollingCode == 1 ? kTraceWriteHwPollIn : pollingCode == 2 ? kTraceWriteHwStatusIn : kTraceWriteIn;
    trace_.Write(opIn, base, offset, address, data);
    QueueWrite(base, offset, data, pollingCode);
    trace_.Write(opIn + 1, base, offset, address, data);
}

void Engine::QueueWrite(uint32_t base, uint32_t offset, uint32_t data, uint8_t pollingCode) {
    if (!kit_) return;
    const uint32_t bpw = bytesPerBusWord_;
    if (bpw == 1) kit_->Qwrite8(base + offset, static_cast<uint8_t>(data), pollingCode);
    else if (bpw == 2) kit_->Qwrite16((base + 2 * offset) / 2, static_cast<uint16_t>(data), pollingCode);
    else if (bpw == 4) kit_->Qwrite32((base + 4 * offset) / 4, data, pollingCode);
}

// The write-buffer confirm at `offset`, which must be the address of the last write queued (the
// kit confirms at the address it holds): the same cycle and trace records as WriteBus of 0x29.
void Engine::WriteBufferConfirm(uint32_t base, uint32_t offset) {
    const uint32_t bpw = bytesPerBusWord_;
    const uint32_t address = (bpw == 1 || bpw == 2 || bpw == 4) ? base + offset * bpw : 0;
    const uint32_t data = Cmd(0x29);
    trace_.Write(kTraceWriteIn, base, offset, address, data);
    if (kit_ && (bpw == 1 || bpw == 2 || bpw == 4) && Failed(kit_->QwriteBufCmd0029(3))) QueueWrite(base, offset, data, 3);
    trace_.Write(kTraceWriteIn + 1, base, offset, address, data);
}

HResult Engine::Flush() {
    if (!kit_) return kOk;
    HResult hr = kit_->Qflush();
    if (Failed(hr)) linkFailed_ = true;
    return hr;
}

uint32_t Engine::ReadBus(uint32_t base, uint32_t offset) {
    const uint32_t bpw = bytesPerBusWord_;
    const uint32_t address = (bpw == 1 || bpw == 2 || bpw == 4) ? base + offset * bpw : 0;
    trace_.ReadIn(base, offset, address);
    uint32_t value = 0;
    if (bpw != 1 && bpw != 2 && bpw != 4) {
        value = 0xFFFFFFFF;
    } else if (kit_) {
        // A read the kit did not answer holds nothing: a poll must not take its zero for the chip's
        // status (zero data would look programmed), so the failure is kept for the operation.
        HResult hr = Flush();
        if (bpw == 1) {
            uint8_t v = 0;
            hr = Failed(hr) ? hr : kit_->Read8(base + offset, &v);
            value = v;
        } else if (bpw == 2) {
            uint16_t v = 0;
            hr = Failed(hr) ? hr : kit_->Read16((base + 2 * offset) / 2, &v);
            value = ((base + 2 * offset) & 1) ? (v >> 8) : v;
        } else {
            hr = Failed(hr) ? hr : kit_->Read32((base + 4 * offset) / 4, &value);
        }
        if (Failed(hr)) linkFailed_ = true;
    }
    trace_.ReadOut(base, offset, address, value);
    return value;
}

bool Engine::ReadNorArray(uint32_t base, uint32_t byteOffset, uint32_t length, uint8_t* buffer) {
    const uint32_t bpw = bytesPerBusWord_;
    if (bpw != 1 && bpw != 2 && bpw != 4) return false;
    // The kit reads whole bus words: a run that starts or ends inside one is read from the word
    // boundaries and cut out, so the caller gets the bytes it asked for and not their neighbours.
    const uint32_t head = (base + byteOffset) % bpw;
    if (head || length % bpw) {
        uint64_t span = (uint64_t(head) + length + bpw - 1) / bpw * bpw;
        if (span > 0xFFFFFFFFull) return false;
        std::vector<uint8_t> whole(static_cast<size_t>(span));
        if (!ReadNorArray(base, byteOffset - head, static_cast<uint32_t>(span), whole.data())) return false;
        std::memcpy(buffer, whole.data() + head, length);
        return true;
    }
    trace_.Write(kTraceReadBlockIn, base, byteOffset / bpw, base + byteOffset, 0);
    // The data register mode and the queue are set once per run: nothing between the pieces
    // changes them.
    bool ok = kit_ != nullptr && !Failed(kit_->QsetNandRegMode(0)) && !Failed(kit_->Qflush());
    uint32_t address = (base + byteOffset) / bpw;
    for (uint32_t done = 0; ok && done < length;) {
        uint32_t piece = std::min(length - done, kArrayPiece);
        ok = !Failed(kit_->NorArrayRead(address, piece, static_cast<uint8_t>(bpw), buffer + done));
        done += piece;
        address += piece / bpw;
    }
    uint32_t first = 0;
    for (uint32_t i = 0; i < 4 && i < length; ++i) first |= uint32_t(buffer[i]) << (8 * i);
    trace_.Write(kTraceReadBlockOut, base, byteOffset / bpw, base + byteOffset, first);
    return ok;
}

HResult Engine::SwitchChipSelect(uint32_t chipSelectIndex) {
    if (!kit_) return static_cast<HResult>(0x80004005);
    // The start's memory type and bus configuration stay; only the chip select changes.
    HResult hr = kit_->TarnConfiguration(memTypeCode_, memConfigCode_, static_cast<uint8_t>(chipSelectIndex));
    if (Failed(hr)) return hr;
    uint16_t dummy = 0;
    kit_->Read16(0, &dummy);
    hr = kit_->Qflush();
    if (!Failed(hr)) chipSelect_ = chipSelectIndex;
    return hr;
}

}  // namespace rook
