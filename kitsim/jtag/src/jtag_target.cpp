#include "kitsim/jtag_target.h"

#include <cstddef>

namespace kitsim {

TapState TapNext(TapState s, bool tms) {
    switch (s) {
    case kTapReset: return tms ? kTapReset : kTapIdle;
    case kTapIdle: return tms ? kTapDrSelect : kTapIdle;
    case kTapDrSelect: return tms ? kTapIrSelect : kTapDrCapture;
    case kTapDrCapture: return tms ? kTapDrExit1 : kTapDrShift;
    case kTapDrShift: return tms ? kTapDrExit1 : kTapDrShift;
    case kTapDrExit1: return tms ? kTapDrUpdate : kTapDrPause;
    case kTapDrPause: return tms ? kTapDrExit2 : kTapDrPause;
    case kTapDrExit2: return tms ? kTapDrUpdate : kTapDrShift;
    case kTapDrUpdate: return tms ? kTapDrSelect : kTapIdle;
    case kTapIrSelect: return tms ? kTapReset : kTapIrCapture;
    case kTapIrCapture: return tms ? kTapIrExit1 : kTapIrShift;
    case kTapIrShift: return tms ? kTapIrExit1 : kTapIrShift;
    case kTapIrExit1: return tms ? kTapIrUpdate : kTapIrPause;
    case kTapIrPause: return tms ? kTapIrExit2 : kTapIrPause;
    case kTapIrExit2: return tms ? kTapIrUpdate : kTapIrShift;
    case kTapIrUpdate: return tms ? kTapDrSelect : kTapIdle;
    }
    return kTapReset;
}

const char* TapName(TapState s) {
    static const char* const kNames[16] = {
        "RESET", "IDLE", "DRSELECT", "DRCAPTURE", "DRSHIFT", "DREXIT1", "DRPAUSE", "DREXIT2",
        "DRUPDATE", "IRSELECT", "IRCAPTURE", "IRSHIFT", "IREXIT1", "IRPAUSE", "IREXIT2", "IRUPDATE"};
    return s < 16 ? kNames[s] : "?";
}

JtagTarget::JtagTarget() : JtagTarget(Config()) {}

JtagTarget::JtagTarget(const Config& config) : cfg_(config) {
    if (cfg_.rows < 1) cfg_.rows = 1;
    if (cfg_.rows > 256) cfg_.rows = 256;
    if (cfg_.rowBits < 1) cfg_.rowBits = 1;
    if (cfg_.rowBits > 32) cfg_.rowBits = 32;
    rows_.assign(static_cast<std::size_t>(cfg_.rows), RowMask());
}

uint32_t JtagTarget::RowMask() const {
    return cfg_.rowBits >= 32 ? 0xFFFFFFFFu : ((1u << cfg_.rowBits) - 1u);
}

int JtagTarget::DrLength() const {
    switch (ir_) {
    case kIrIdcode: return 32;
    case kIrAddress: return 8;
    case kIrProgram:
    case kIrRead: return cfg_.rowBits;
    case kIrErase:
    case kIrStatus: return 1;
    default: return 1;  // BYPASS and every unknown instruction
    }
}

int JtagTarget::Tdo() const {
    if (state_ == kTapDrShift) return static_cast<int>(drShift_ & 1u);
    if (state_ == kTapIrShift) return irShift_ & 1;
    return 0;
}

void JtagTarget::CaptureDr() {
    switch (ir_) {
    case kIrIdcode: drShift_ = cfg_.idcode; break;
    case kIrRead:
        drShift_ = (Busy() || address_ >= rows_.size()) ? 0 : rows_[address_];
        break;
    case kIrStatus: drShift_ = Busy() ? 1 : 0; break;
    default: drShift_ = 0; break;
    }
}

void JtagTarget::StartBusy(uint32_t clocks, uint32_t micros) {
    busyClocks_ = clocks ? clocks : 1;
    busyMicros_ = micros ? micros : 1;
}

void JtagTarget::UpdateDr() {
    uint64_t mask = DrLength() >= 64 ? ~0ull : ((1ull << DrLength()) - 1u);
    uint64_t v = drShift_ & mask;
    switch (ir_) {
    case kIrAddress: address_ = static_cast<uint8_t>(v); break;
    case kIrProgram:
        if (Busy() || address_ >= rows_.size()) {
            ++ignored_;
            break;
        }
        rows_[address_] &= static_cast<uint32_t>(v) | ~RowMask();
        ++programs_;
        StartBusy(cfg_.programClocks, cfg_.programMicros);
        break;
    case kIrErase:
        if (Busy()) {
            ++ignored_;
            break;
        }
        if (v & 1u) {
            for (uint32_t& r : rows_) r = RowMask();
            StartBusy(cfg_.eraseClocks, cfg_.eraseMicros);
        }
        break;
    default: break;
    }
}

int JtagTarget::Clock(int tms, int tdi) {
    int tdo = Tdo();
    TapState s = state_;
    if (keepLog_)
        log_.push_back(JtagClockRecord{static_cast<uint8_t>(tms ? 1 : 0), static_cast<uint8_t>(tdi ? 1 : 0),
                                       static_cast<uint8_t>(tdo), s});
    ++clocks_;
    if (s == kTapIdle && busyClocks_ > 0 && --busyClocks_ == 0) busyMicros_ = 0;
    int len = DrLength();
    switch (s) {
    case kTapDrCapture: CaptureDr(); break;
    case kTapDrShift:
        drShift_ = (drShift_ >> 1) | (static_cast<uint64_t>(tdi ? 1 : 0) << (len - 1));
        break;
    case kTapIrCapture: irShift_ = 0x01; break;
    case kTapIrShift:
        irShift_ = static_cast<uint8_t>((irShift_ >> 1) | ((tdi ? 1 : 0) << 7));
        break;
    default: break;
    }
    state_ = TapNext(s, tms != 0);
    if (state_ == kTapDrUpdate) UpdateDr();
    if (state_ == kTapIrUpdate) ir_ = irShift_;
    if (state_ == kTapReset) ir_ = kIrIdcode;
    return tdo;
}

void JtagTarget::Wait(uint32_t us) {
    waited_ += us;
    if (busyMicros_ == 0) return;
    if (us >= busyMicros_) {
        busyMicros_ = 0;
        busyClocks_ = 0;
    } else {
        busyMicros_ -= us;
    }
}

}  // namespace kitsim
