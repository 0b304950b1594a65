// The kit's serial (SPI) controller: bus cycles in serial mode reach its registers instead of the
// parallel socket, and array reads clock bytes in from the selected device.
#include "kitsim/kit.h"

namespace kitsim {

namespace {
constexpr uint32_t kUpperDieBit = 0x08000000;   // byte address bit 27
constexpr uint32_t kRegisterMask = 0x07FFFFFF;
constexpr uint32_t kFrameControl = 16;
constexpr uint32_t kReadMode = 32;
constexpr uint8_t kFrameOpen = 0, kFrameClose = 8;

unsigned LanesOf(uint32_t reg) { return reg == 1 ? 2 : reg == 2 ? 4 : 1; }
}  // namespace

void Kit::SerialCycle(uint32_t address, uint8_t data) {
    const uint32_t reg = address & kRegisterMask;
    switch (reg) {
    case kFrameControl:
        if (data == kFrameOpen) {
            // A frame opened while another is open ends the other first, as a chip-select edge would.
            if (selectedSerial_) selectedSerial_->Select(false);
            selectedSerial_ = serial_[(regs_[8] >> 4) & 3][(address & kUpperDieBit) ? 1 : 0];
            if (selectedSerial_) selectedSerial_->Select(true);
        } else if (data == kFrameClose) {
            if (selectedSerial_) selectedSerial_->Select(false);
            selectedSerial_ = nullptr;
        }
        return;
    case kReadMode: serialReadMode_ = data; return;
    case 0:
    case 1:
    case 2: SerialShiftOut(data, LanesOf(reg)); return;
    default: ++ignoredPairs_; return;
    }
}

void Kit::SerialShiftOut(uint8_t data, unsigned lanes) {
    // What the device drives back while the host sends is not kept: reads clock their own bytes.
    if (selectedSerial_ && (regs_[12] & 0x08)) selectedSerial_->Shift(data, lanes);
}

void Kit::SerialArrayRead(uint32_t address, uint32_t length) {
    const unsigned lanes = LanesOf(address & kRegisterMask);
    const bool powered = (regs_[12] & 0x08) != 0;
    for (uint32_t i = 0; i < length; ++i)
        in86_.push_back(selectedSerial_ && powered ? selectedSerial_->Shift(0xFF, lanes) : 0xFF);
}

void Kit::SerialReset(bool powerCycle) {
    selectedSerial_ = nullptr;
    for (auto& position : serial_)
        for (SerialDevice* d : position)
            if (d) powerCycle ? d->PowerCycle() : d->HardwareReset();
}

}  // namespace kitsim
