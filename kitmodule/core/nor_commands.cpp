// The two parallel NOR command sets (the unlock-cycle legacy set and the reduced set with its
// status register), their status polling with user time-outs, and advanced sector protection.
#include <cstdio>

#include "engine.h"
#include "lumivex/prompt.h"

namespace rook {

namespace {
// Bounds for waits the user left unlimited, so that a chip that never finishes cannot hold the
// caller forever: far above any real part's worst case.
constexpr uint64_t kProgramBoundMs = 10000;
constexpr uint64_t kEraseBoundMs = 120000;
constexpr uint64_t kChipEraseBoundMs = 4ull * 3600 * 1000;
constexpr uint32_t kSectorAddressMask12 = ~0xFFFu;
constexpr uint32_t kSectorAddressMask14 = ~0x3FFFu;
}  // namespace

void Engine::FillNorCommandSet() {
    commands_ = NorCommandSet{};
    if (settings_.deviceType == kTypeLegacyNor) {
        commands_.writeBufferProgram = &Engine::LegacyWriteBufferProgramOp;
        commands_.program = &Engine::LegacyProgramOp;
        commands_.sectorErase = &Engine::LegacySectorEraseOp;
        commands_.cfiEntry = &Engine::LegacyCfiEntry;
        commands_.cfiExit = &Engine::ResetCmd;
        commands_.autoselectEntry = &Engine::LegacyAutoselectEntry;
        commands_.autoselectExit = &Engine::ResetCmd;
        commands_.secsiEntry = &Engine::LegacySecSiEntry;
        commands_.secsiExit = &Engine::LegacySecSiExit;
        commands_.reset = &Engine::ResetCmd;
        commands_.aso20Entry = &Engine::LegacyAso20Entry;
        commands_.aso20Exit = &Engine::ResetCmd;
    } else if (settings_.deviceType == kTypeReducedNor) {
        commands_.writeBufferProgram = &Engine::ReducedWriteBufferProgramOp;
        commands_.program = &Engine::ReducedProgramOp;
        commands_.sectorErase = &Engine::ReducedSectorEraseOp;
        commands_.cfiEntry = &Engine::ReducedCfiEntry;
        commands_.cfiExit = &Engine::ResetCmd;
        commands_.autoselectEntry = &Engine::ReducedCfiEntry;
        commands_.autoselectExit = &Engine::ResetCmd;
        commands_.secsiEntry = &Engine::ReducedSecSiEntry;
        commands_.secsiExit = &Engine::ResetCmd;
        commands_.reset = &Engine::ResetCmd;
    }
}

// ----- user time-outs: a deadline on the host's clock, looked at on every polling pass

Engine::UserTimer Engine::StartUserTimeout(int mode) {
    UserTimer t;
    uint32_t ms;
    uint64_t bound;
    switch (mode) {
    case 1:
    case 2: ms = userTimeoutMs_[0]; bound = kProgramBoundMs; break;
    case 3: ms = userTimeoutMs_[1]; bound = kEraseBoundMs; break;
    case 4: ms = userTimeoutMs_[2]; bound = kChipEraseBoundMs; break;
    default: ms = userTimeoutMs_[0]; bound = kProgramBoundMs; break;
    }
    t.armed = true;
    t.start = host_.NowMs();
    t.limit = ms == 0xFFFFFFFF ? bound : ms;
    return t;
}

bool Engine::TimedOut(const UserTimer& t) const { return t.armed && host_.NowMs() - t.start >= t.limit; }

// A wait that gave up leaves the chip inside its embedded algorithm, which ignores the reset
// command: it would go on (or never end), drop the next operation's commands, and that
// operation's poll would see the old one finish and call it a success. The reset line ends it.
void Engine::AbortChipOperation() {
    if (!kit_) return;
    Flush();
    kit_->ResetMemory(255, memTypeCode_);
}

void Engine::ShowFlashStatus(const char* text, uint32_t status) {
    char message[512];
    int n = std::snprintf(message, sizeof message, "%s\n\nStatus:", text);
    const char* names[8] = {" DQ7:%d", ", DQ6:%d", ", DQ5:%d", ", DQ4:%d", ", DQ3:%d", ", DQ2:%d", ", DQ1:%d", ", DQ0:%d"};
    for (int bit = 7; bit >= 0 && n > 0 && n < static_cast<int>(sizeof message); --bit)
        n += std::snprintf(message + n, sizeof message - static_cast<size_t>(n), names[7 - bit], AnyLane(status, bit) ? 1 : 0);
    LxMessageBox(nullptr, message, "Show Status", LX_MB_OK | 0x30);
}

// ----- legacy set

void Engine::Unlock(uint32_t base) {
    WriteBus(base, working_.unlock1, Cmd(0xAA));
    WriteBus(base, working_.unlock2, Cmd(0x55));
}

void Engine::ResetCmd(uint32_t base) { WriteBus(base, 0, Cmd(0xF0)); }

void Engine::LegacyCfiEntry(uint32_t base, uint32_t) {
    WriteBus(base, settings_.cfiQueryAddressSwitch ? working_.cfiAddress : working_.unlock1, Cmd(0x98));
}

void Engine::LegacyAutoselectEntry(uint32_t base, uint32_t) {
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0x90));
}

void Engine::LegacySecSiEntry(uint32_t base, uint32_t) {
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0x88));
}

void Engine::LegacySecSiExit(uint32_t base) {
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0x90));
    WriteBus(base, 0, 0);
}

void Engine::LegacyAso20Entry(uint32_t base, uint32_t) {
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0x75));
}

int Engine::LegacyProgramOp(uint32_t base, uint32_t address, uint32_t value) {
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0xA0));
    WriteBusPolled(base, address, value, 1);
    // The kit waited for the chip; its status still says whether the word took.
    return PollDataStatus(base, address, value, 1, nullptr);
}

int Engine::LegacySectorEraseOp(uint32_t base, uint32_t sector) {
    SectorEraseCmd(base, sector);
    return PollDataStatus(base, sector, working_.dataMask, 3, nullptr);
}

void Engine::SectorEraseCmd(uint32_t base, uint32_t sector) {
    if (settings_.deviceType == kTypeReducedNor) {
        const uint32_t sa = sector & kSectorAddressMask12;
        WriteBus(base, sa + working_.unlock1, Cmd(0x80));
        WriteBus(base, sa + working_.unlock2, Cmd(0x30));
        return;
    }
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0x80));
    Unlock(base);
    WriteBus(base, sector, Cmd(0x30));
}

// Chip erase: every sector the chip does not protect, polled with the chip-erase time-out.
int Engine::ChipEraseOp(uint32_t base) {
    if (settings_.deviceType == kTypeReducedNor) {
        WriteBus(base, working_.unlock1, Cmd(0x80));
        WriteBus(base, working_.unlock1, Cmd(0x10));
        return ReducedEraseResult(PollStatusRegister(base, 0, 4));
    }
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0x80));
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0x10));
    return PollDataStatus(base, 0, working_.dataMask, 4, nullptr);
}

// Erase suspend (0xB0) of the erase running in `sector`, both sets. Answers 1 once the chip has
// suspended it, 2 when no erase was running there any more (it had ended: nothing to resume), 0
// when the chip did not stop in time or reported an error.
int Engine::EraseSuspendOp(uint32_t base, uint32_t sector) {
    WriteBus(base, sector, Cmd(0xB0));
    UserTimer timer = StartUserTimeout(1);
    for (;;) {
        int state = EraseSuspendState(base, sector);
        if (linkFailed_) return 0;
        if (state != 0) return state;
        if (TimedOut(timer)) break;
    }
    AbortChipOperation();
    return 0;
}

// 1 suspended, 2 idle, 0 still busy; -1 after an error bit.
int Engine::EraseSuspendState(uint32_t base, uint32_t sector) {
    if (settings_.deviceType == kTypeReducedNor) {
        WriteBus(base, (sector & kSectorAddressMask12) + working_.unlock1, Cmd(0x70));
        uint32_t s = ReadBus(base, sector);
        if ((s & Dq(7)) != Dq(7)) return 0;
        if (AnyLane(s, 5) || AnyLane(s, 1)) return -1;
        return (s & Dq(6)) == Dq(6) ? 1 : 2;
    }
    // Legacy: while suspended the sector answers with DQ2 toggling and DQ6 still; an ended erase
    // reads as data, which toggles nothing.
    uint32_t r1 = ReadBus(base, sector), r2 = ReadBus(base, sector);
    if ((r1 ^ r2) & Dq(6)) return AnyLane(r2, 5) ? -1 : 0;
    return ((r1 ^ r2) & Dq(2)) == Dq(2) ? 1 : 2;
}

// Erase resume (0x30) of the erase suspended in `sector`, then the sector erase's own wait and
// its answer; -2 without a cycle when no erase is suspended there.
int Engine::EraseResumeOp(uint32_t base, uint32_t sector) {
    if (EraseSuspendState(base, sector) != 1) return -2;
    WriteBus(base, sector, Cmd(0x30));
    if (settings_.deviceType == kTypeReducedNor) return ReducedEraseResult(PollStatusRegister(base, sector, 3));
    return PollDataStatus(base, sector, working_.dataMask, 3, nullptr);
}

int Engine::ReducedEraseResult(uint32_t status) const {
    if (AnyLane(status, 1)) return 9;
    if (AnyLane(status, 5)) return 7;
    return 1;
}

int Engine::LegacyWriteBufferProgramOp(uint32_t base, uint32_t start, uint32_t count, const uint8_t* data) {
    if (count == 0) return 1;
    const uint32_t bpw = bytesPerBusWord_;
    Unlock(base);
    WriteBus(base, start, Cmd(0x25));
    WriteBus(base, start, (count - 1) * working_.multiplier);
    uint32_t last = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t word = 0;
        for (uint32_t b = 0; b < bpw; ++b) word |= uint32_t(data[i * bpw + b]) << (8 * b);
        last = word & working_.dataMask;
        WriteBus(base, start + i, last);
    }
    // The kit still holds the last word's address: its own confirm cycle needs no address again.
    WriteBufferConfirm(base, start + count - 1);
    return PollDataStatus(base, start + count - 1, last, 2, nullptr);
}

uint32_t Engine::ReadDeviceId(uint32_t base) {
    if (settings_.deviceType == kTypeReducedNor) {
        WriteBus(base, working_.unlock1, Cmd(0x98));
    } else {
        Unlock(base);
        WriteBus(base, working_.unlock1, Cmd(0x90));
    }
    uint32_t a = ReadBus(base, 0x01) & 0xFF, b = ReadBus(base, 0x0E) & 0xFF, c = ReadBus(base, 0x0F) & 0xFF;
    WriteBus(base, 0, Cmd(0xF0));
    return (a << 16) | (b << 8) | c;
}

int Engine::PollDataStatus(uint32_t base, uint32_t address, uint32_t expected, int mode, uint32_t* status) {
    bufferProgramPolling_ = mode == 2;
    UserTimer timer = StartUserTimeout(mode);
    const uint32_t dq7 = Dq(7);
    uint32_t value = 0;
    bool done = false, timedOut = false;
    for (;;) {
        value = ReadBus(base, address);
        if (linkFailed_) {
            bufferProgramPolling_ = false;
            return 0;
        }
        if ((value & dq7) == (expected & dq7)) {
            done = true;
            break;
        }
        if (value & Dq(5)) {
            ShowFlashStatus("DQ5: Exceeded timing limits...", value);
            value = ReadBus(base, address);
            if ((value & dq7) == (expected & dq7)) {
                done = true;
                break;
            }
            WriteBus(base, 0, Cmd(0xF0));
            bufferProgramPolling_ = false;
            return 0;
        }
        if (TimedOut(timer)) {
            timedOut = true;
            break;
        }
    }
    bufferProgramPolling_ = false;
    // Completion seen on the last pass wins over a time-out that ran out meanwhile.
    if (!done && timedOut) {
        ShowFlashStatus("User timeout occurred...", value);
        Unlock(base);
        WriteBus(base, working_.unlock1, Cmd(0xF0));
        WriteBus(base, 0, Cmd(0xF0));
        AbortChipOperation();
        return 3;
    }
    lastStatus_ = value;
    if (status) *status = value;
    return (value & working_.dataMask) == (expected & working_.dataMask) ? 1 : 7;
}

int Engine::ReadToggleStatus(uint32_t base) {
    const uint32_t dq6 = Dq(6), dq2 = Dq(2), dq5 = Dq(5), dq1 = Dq(1);
    uint32_t r1 = ReadBus(base, 0), r2 = ReadBus(base, 0), r3 = ReadBus(base, 0);
    uint32_t t = (r3 ^ r2) & (r2 ^ r1) & dq6;
    // A chip whose DQ2 toggles while DQ6 stands still is neither done nor busy in a way this test
    // knows: after a bounded number of rounds it counts as busy and the caller's clock decides.
    for (int rounds = 0; t == 0; ++rounds) {
        if (rounds == 1000) return 2;
        uint32_t s1 = ReadBus(base, 0), s2 = ReadBus(base, 0);
        uint32_t x = (s1 ^ s2) & dq2;
        if (x == 0) return 1;
        if (x != dq2) return 2;
        r1 = ReadBus(base, 0);
        r2 = ReadBus(base, 0);
        r3 = ReadBus(base, 0);
        t = (r3 ^ r2) & (r2 ^ r1) & dq6;
    }
    // Lanes are tested one by one: a lane that still toggles decides for itself.
    auto everyLane = [&](uint32_t bitMask) {
        for (uint32_t lane = 0; lane < 32; lane += 8) {
            uint32_t laneDq6 = (dq6 >> lane) & 0xFF;
            if (!laneDq6 || !((t >> lane) & 0xFF)) continue;
            if (!((r1 >> lane) & ((bitMask >> lane) & 0xFF))) return false;
        }
        return true;
    };
    if (bufferProgramPolling_ && everyLane(dq1)) return 5;
    if (everyLane(dq5)) return 3;
    return 2;
}

// ----- reduced set

void Engine::ReducedCfiEntry(uint32_t base, uint32_t sector) {
    WriteBus(base, (sector & kSectorAddressMask12) + working_.unlock1, Cmd(0x98));
}

void Engine::ReducedSecSiEntry(uint32_t base, uint32_t sector) {
    WriteBus(base, (sector & kSectorAddressMask12) + working_.unlock1, Cmd(0x88));
}

uint32_t Engine::PollStatusRegister(uint32_t base, uint32_t address, int mode) {
    UserTimer timer = StartUserTimeout(mode);
    const uint32_t sa = address & kSectorAddressMask12;
    const uint32_t dq7 = Dq(7);
    uint32_t value = 0;
    for (;;) {
        WriteBus(base, sa + working_.unlock1, Cmd(0x70));
        value = ReadBus(base, address);
        if (linkFailed_) return Dq(5) | Dq(4);
        if ((value & dq7) == dq7) return value;
        if (TimedOut(timer)) break;
    }
    ShowFlashStatus("User timeout occurred...\nNotice: If the Bit7(DQ7) is not 1, the rest of status bits are not valid.", value);
    AbortChipOperation();
    return Dq(5) | Dq(4);
}

int Engine::ReducedWriteBufferProgramOp(uint32_t base, uint32_t start, uint32_t count, const uint8_t* data) {
    if (count == 0) return 1;
    const uint32_t bpw = bytesPerBusWord_;
    const uint32_t sa = start & kSectorAddressMask12;
    WriteBus(base, sa + working_.unlock1, Cmd(0x25));
    WriteBus(base, sa + working_.unlock2, (count - 1) * working_.multiplier);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t word = 0;
        for (uint32_t b = 0; b < bpw; ++b) word |= uint32_t(data[i * bpw + b]) << (8 * b);
        WriteBus(base, start + i, word & working_.dataMask);
    }
    WriteBus(base, sa + working_.unlock1, Cmd(0x29));
    uint32_t s = PollStatusRegister(base, start + count - 1, 2);
    if (AnyLane(s, 1)) return 9;
    if (AnyLane(s, 4)) return 8;
    return 1;
}

int Engine::ReducedProgramOp(uint32_t base, uint32_t address, uint32_t value) {
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return ReducedWriteBufferProgramOp(base, address, 1, bytes);
}

int Engine::ReducedSectorEraseOp(uint32_t base, uint32_t sector) {
    SectorEraseCmd(base, sector);
    return ReducedEraseResult(PollStatusRegister(base, sector, 3));
}

// ----- lock register and advanced sector protection

uint32_t Engine::LockRegBitsReadOp(uint32_t base) {
    if (settings_.deviceType == kTypeReducedNor) {
        WriteBus(base, working_.unlock1, Cmd(0x40));
        uint32_t v = ReadBus(base, 0);
        WriteBus(base, 0, Cmd(0xF0));
        return v;
    }
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0x40));
    uint32_t v = ReadBus(base, 0x77);
    ProtectionExit(base);
    return v;
}

int Engine::LockRegBitsProgramOp(uint32_t base, uint32_t value) {
    if (settings_.deviceType == kTypeReducedNor) {
        WriteBus(base, working_.unlock1, Cmd(0x40));
        WriteBus(base, working_.unlock1, Cmd(0x25));
        WriteBus(base, working_.unlock2, 0);
        WriteBus(base, 0, value);
        WriteBus(base, working_.unlock1, Cmd(0x29));
        uint32_t s = PollStatusRegister(base, 0, 0);
        WriteBus(base, 0, Cmd(0xF0));
        return AnyLane(s, 4) ? 8 : 1;
    }
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0x40));
    WriteBus(base, 0, Cmd(0xA0));
    WriteBus(base, 0x77, value);
    return WaitProtectionOp(base);
}

void Engine::ProtectionExit(uint32_t base) {
    WriteBus(base, 0, Cmd(0x90));
    WriteBus(base, 0, 0);
}

// The wait of a protection command: the toggle bits until the chip is done, bounded in time.
int Engine::WaitProtectionOp(uint32_t base) {
    UserTimer timer = StartUserTimeout(3);
    int r;
    do {
        r = ReadToggleStatus(base);
    } while (r == 2 && !TimedOut(timer) && !linkFailed_);
    if (r == 1 && !linkFailed_) {
        ProtectionExit(base);
        return 0;
    }
    WriteBus(base, 0, Cmd(0xF0));
    ProtectionExit(base);
    if (r == 2) AbortChipOperation();
    return -1;
}

int Engine::PpbLockBitSetOp(uint32_t base) {
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0x50));
    WriteBus(base, 0, Cmd(0xA0));
    WriteBus(base, 0, 0);
    return WaitProtectionOp(base);
}

uint32_t Engine::PpbLockBitReadOp(uint32_t base) {
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0x50));
    uint32_t v = ReadBus(base, 0);
    ProtectionExit(base);
    return v;
}

int Engine::PpbProgramOp(uint32_t base, uint32_t sector) {
    if (PpbLockBitReadOp(base) == 0) return -1;
    Unlock(base);
    WriteBus(base, (sector & kSectorAddressMask14) + working_.unlock1, Cmd(0xC0));
    WriteBus(base, 0, Cmd(0xA0));
    WriteBus(base, sector, 0);
    return WaitProtectionOp(base);
}

int Engine::PpbAllEraseOp(uint32_t base) {
    if (PpbLockBitReadOp(base) == 0) return -1;
    Unlock(base);
    WriteBus(base, working_.unlock1, Cmd(0xC0));
    WriteBus(base, 0, Cmd(0x80));
    WriteBus(base, 0, Cmd(0x30));
    return WaitProtectionOp(base);
}

}  // namespace rook
