// A simulated JTAG target: the 16-state TAP controller, an 8-bit instruction register with
// BYPASS and IDCODE, and a small fuse array that is erased, addressed, programmed and read
// through JTAG. Programming and erasing keep the array busy until enough Run-Test/Idle clocks
// or wait time have passed; an operation started while busy is ignored. Every clock is logged.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kitsim {

enum TapState : uint8_t {
    kTapReset, kTapIdle, kTapDrSelect, kTapDrCapture, kTapDrShift, kTapDrExit1, kTapDrPause,
    kTapDrExit2, kTapDrUpdate, kTapIrSelect, kTapIrCapture, kTapIrShift, kTapIrExit1,
    kTapIrPause, kTapIrExit2, kTapIrUpdate,
};

TapState TapNext(TapState s, bool tms);
const char* TapName(TapState s);

// Instructions of the simulated part.
enum : uint8_t {
    kIrIdcode = 0x01,
    kIrAddress = 0x20,  // 8-bit DR: row address, taken at Update-DR
    kIrProgram = 0x21,  // row-wide DR: bits are cleared where the data holds 0
    kIrRead = 0x22,     // row-wide DR: captures the addressed row (all 0 while busy)
    kIrErase = 0x23,    // 1-bit DR: Update-DR erases every row to all ones
    kIrStatus = 0x24,   // 1-bit DR: captures 1 while busy
    kIrBypass = 0xFF,
};

struct JtagClockRecord {
    uint8_t tms, tdi, tdo;
    TapState state;  // state during the clock (before the edge)
};

class JtagTarget {
public:
    struct Config {
        uint32_t idcode = 0x1A6A50C3;
        int rows = 16;
        int rowBits = 16;
        uint32_t programClocks = 20, programMicros = 100;
        uint32_t eraseClocks = 64, eraseMicros = 1000;
    };
    JtagTarget();
    explicit JtagTarget(const Config& config);

    // One TCK clock; returns TDO as it was before the rising edge.
    int Clock(int tms, int tdi);
    int Tdo() const;
    void Wait(uint32_t microseconds);

    TapState State() const { return state_; }
    uint8_t Instruction() const { return ir_; }
    bool Busy() const { return busyClocks_ > 0 && busyMicros_ > 0; }
    uint32_t Row(int r) const { return rows_.at(static_cast<std::size_t>(r)); }
    void SetRow(int r, uint32_t v) { rows_.at(static_cast<std::size_t>(r)) = v & RowMask(); }
    int Rows() const { return cfg_.rows; }
    uint32_t RowMask() const;
    const Config& Settings() const { return cfg_; }
    uint64_t Clocks() const { return clocks_; }
    uint64_t WaitedMicros() const { return waited_; }
    uint32_t Programs() const { return programs_; }
    uint32_t IgnoredWhileBusy() const { return ignored_; }

    const std::vector<JtagClockRecord>& Log() const { return log_; }
    void ClearLog() { log_.clear(); }
    void KeepLog(bool keep) { keepLog_ = keep; }

private:
    int DrLength() const;
    void CaptureDr();
    void UpdateDr();
    void StartBusy(uint32_t clocks, uint32_t micros);

    Config cfg_;
    TapState state_ = kTapReset;
    uint8_t ir_ = kIrIdcode;
    uint8_t irShift_ = 0;
    uint64_t drShift_ = 0;
    uint8_t address_ = 0;
    std::vector<uint32_t> rows_;
    uint32_t busyClocks_ = 0, busyMicros_ = 0;
    uint64_t clocks_ = 0, waited_ = 0;
    uint32_t programs_ = 0, ignored_ = 0;
    bool keepLog_ = true;
    std::vector<JtagClockRecord> log_;
};

}  // namespace kitsim
