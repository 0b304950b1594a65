#include "kitsim/nor_chip.h"

#include <algorithm>

namespace kitsim {

namespace {

constexpr uint16_t kDQ7 = 0x80, kDQ6 = 0x40, kDQ5 = 0x20, kDQ3 = 0x08, kDQ2 = 0x04, kDQ1 = 0x02;
// An operation refused because its sector is protected still shows a short busy phase.
constexpr uint32_t kProtectedBusyUs = 1;

uint8_t Log2Ceil(uint64_t v) {
    uint8_t n = 0;
    while ((1ull << n) < v && n < 63) ++n;
    return n;
}

}  // namespace

NorPart DefaultNorPart() {
    NorPart p;
    p.name = "sim-nor-64m-uniform";
    p.regions = {{128, 64 * 1024}};
    return p;
}

NorPart ReducedNorPart() {
    NorPart p;
    p.name = "sim-nor-64m-reduced";
    p.deviceId[0] = 0x227E;
    p.deviceId[1] = 0x2249;
    p.deviceId[2] = 0x2201;
    p.regions = {{128, 64 * 1024}};
    p.writeBufferWords = 256;
    p.bufferProgramUs = 340;
    p.reducedCommands = true;
    return p;
}

NorPart ByteWideNorPart() {
    NorPart p;
    p.name = "sim-nor-64m-x8";
    p.deviceId[0] = 0x7E;
    p.deviceId[1] = 0x10;
    p.deviceId[2] = 0x01;
    p.regions = {{128, 64 * 1024}};
    p.writeBufferWords = 64;
    p.byteWide = true;
    return p;
}

NorPart SmallBootNorPart() {
    NorPart p;
    p.name = "sim-nor-8m-boot";
    p.deviceId[0] = 0x2249;
    p.deviceId[1] = 0x0000;
    p.deviceId[2] = 0x0000;
    p.regions = {{8, 8 * 1024}, {15, 64 * 1024}};
    p.writeBufferWords = 16;
    p.sectorEraseUs = 2000;
    p.chipEraseUs = 8000;
    return p;
}

void DualLaneDevice::BusWrite(uint32_t address, uint32_t data, unsigned width) {
    (void)width;
    lanes_[0]->BusWrite(address, data & 0xFFFF, 2);
    lanes_[1]->BusWrite(address, data >> 16, 2);
}

uint32_t DualLaneDevice::BusRead(uint32_t address, unsigned width) {
    (void)width;
    return (lanes_[0]->BusRead(address, 2) & 0xFFFF) | ((lanes_[1]->BusRead(address, 2) & 0xFFFF) << 16);
}

void DualLaneDevice::HardwareReset() {
    lanes_[0]->HardwareReset();
    lanes_[1]->HardwareReset();
}

void DualLaneDevice::PowerCycle() {
    lanes_[0]->PowerCycle();
    lanes_[1]->PowerCycle();
}

void DualLaneDevice::SetAcceleration(bool on) {
    lanes_[0]->SetAcceleration(on);
    lanes_[1]->SetAcceleration(on);
}

NorChip::NorChip(NorPart part, SimClock& clock) : part_(std::move(part)), clock_(clock) {
    for (const auto& r : part_.regions) {
        for (uint32_t i = 0; i < r.count; ++i) {
            sectorStart_.push_back(size_);
            size_ += r.bytes;
        }
    }
    if (part_.writeBufferWords == 0) part_.writeBufferWords = 1;
    cell_ = part_.byteWide ? 1 : 2;
    if (part_.secsiBytes > size_) part_.secsiBytes = size_;
    array_.assign(size_, 0xFF);
    secsi_.assign(part_.secsiBytes, 0xFF);
    ppb_.assign(sectorStart_.size(), 0);
    dyb_.assign(sectorStart_.size(), 0);
}

uint32_t NorChip::SectorOfByte(uint32_t byteAddress) const {
    auto it = std::upper_bound(sectorStart_.begin(), sectorStart_.end(), byteAddress);
    return static_cast<uint32_t>(it - sectorStart_.begin()) - 1;
}

uint32_t NorChip::SectorBytes(uint32_t sector) const {
    uint32_t end = sector + 1 < sectorStart_.size() ? sectorStart_[sector + 1] : size_;
    return end - sectorStart_[sector];
}

uint16_t NorChip::CellValue(const std::vector<uint8_t>& bytes, uint32_t cell) const {
    uint32_t b = cell * cell_;
    if (cell_ == 1) return bytes[b];
    return static_cast<uint16_t>(bytes[b] | (bytes[b + 1] << 8));
}

// Programming only clears bits.
void NorChip::ProgramCell(std::vector<uint8_t>& bytes, uint32_t cell, uint16_t value) {
    uint32_t b = cell * cell_;
    bytes[b] &= value & 0xFF;
    if (cell_ == 2) bytes[b + 1] &= value >> 8;
}

uint16_t NorChip::ArrayWord(uint32_t wordAddress) const {
    uint32_t b = (wordAddress * 2) % size_;
    return static_cast<uint16_t>(array_[b] | (array_[b + 1] << 8));
}

std::vector<uint16_t> NorChip::CfiTable() const {
    std::vector<uint16_t> t(0x50 - 0x10, 0);
    auto at = [&](uint32_t off) -> uint16_t& { return t[off - 0x10]; };
    at(0x10) = 'Q';
    at(0x11) = 'R';
    at(0x12) = 'Y';
    at(0x13) = 0x02;  // primary command set: the unlock-command family
    at(0x15) = 0x40;  // primary extended table
    at(0x1B) = part_.vccMin;
    at(0x1C) = part_.vccMax;
    at(0x1F) = Log2Ceil(part_.wordProgramUs);
    at(0x20) = Log2Ceil(part_.bufferProgramUs);
    at(0x21) = Log2Ceil((part_.sectorEraseUs + 999) / 1000);
    at(0x22) = Log2Ceil((part_.chipEraseUs + 999) / 1000);
    at(0x23) = 3;
    at(0x24) = 3;
    at(0x25) = 3;
    at(0x26) = 3;
    at(0x27) = Log2Ceil(size_);
    at(0x28) = part_.byteWide ? 0x00 : 0x02;  // x8 only, or x8/x16
    at(0x2A) = Log2Ceil(part_.writeBufferWords * uint64_t(cell_));
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(part_.regions.size(), 4));
    at(0x2C) = static_cast<uint16_t>(n);
    for (uint32_t i = 0; i < n; ++i) {
        const auto& r = part_.regions[part_.cfiRegionsTopFirst ? part_.regions.size() - 1 - i : i];
        uint32_t base = 0x2D + 4 * i;
        at(base) = (r.count - 1) & 0xFF;
        at(base + 1) = ((r.count - 1) >> 8) & 0xFF;
        at(base + 2) = (r.bytes / 256) & 0xFF;
        at(base + 3) = ((r.bytes / 256) >> 8) & 0xFF;
    }
    at(0x40) = 'P';
    at(0x41) = 'R';
    at(0x42) = 'I';
    at(0x43) = '1';
    at(0x44) = '3';
    at(0x49) = part_.advancedProtection ? 0x08 : 0x04;  // sector protection scheme
    return t;
}

bool NorChip::Busy() {
    if (op_ == Op::None) return false;
    if (!opStuck_ && !opFailed_ && clock_.NowNs() >= opEndNs_) FinishOp();
    return op_ != Op::None;
}

void NorChip::StartOp(Op op, uint64_t us, uint32_t sector) {
    op_ = op;
    opSector_ = sector;
    opFailed_ = false;
    opNoEffect_ = false;
    opRefused_ = false;
    opStuck_ = faults_.stuckBusy;
    if (acc_ && (op == Op::Program || op == Op::BufferProgram)) us = std::max<uint64_t>(1, us / 2);
    opEndNs_ = clock_.NowNs() + us * 1000u;
    pend_ = Pend::None;
    unlock_ = 0;
}

bool NorChip::ProgramFails() const {
    if (faults_.failProgram) return true;
    if (faults_.failProgramByte >= size_) return false;
    for (const auto& w : opWords_) {
        if (mode_ == Mode::SecSi && InSecSi(w.first)) continue;
        if ((w.first % (size_ / cell_)) == faults_.failProgramByte / cell_) return true;
    }
    return false;
}

void NorChip::FinishOp() {
    bool isProgram = op_ == Op::Program || op_ == Op::BufferProgram;
    bool isErase = op_ == Op::SectorErase || op_ == Op::ChipErase;
    const bool programFails = isProgram && ProgramFails();
    if (opNoEffect_) {
        if (opRefused_) srErrors_ |= kDQ1;
        opWords_.clear();
        op_ = Op::None;
        return;
    }
    if (part_.reducedCommands && (programFails || (isErase && faults_.failErase))) {
        // The reduced family ends a failed operation and keeps the error in its status register.
        srErrors_ |= isProgram ? 0x10 : kDQ5;
        opWords_.clear();
        op_ = Op::None;
        return;
    }
    if (programFails || (isErase && faults_.failErase)) {
        // The embedded algorithm gave up: DQ5 stays up until the host resets the chip.
        opFailed_ = true;
        return;
    }
    if (isProgram) {
        for (const auto& w : opWords_) {
            if (mode_ == Mode::SecSi && InSecSi(w.first)) {
                if (lockRegister_ & 1) ProgramCell(secsi_, w.first, w.second);
                continue;
            }
            ProgramCell(array_, w.first % (size_ / cell_), w.second);
        }
    } else if (op_ == Op::SectorErase) {
        std::fill_n(array_.begin() + sectorStart_[opSector_], SectorBytes(opSector_), 0xFF);
    } else if (op_ == Op::ChipErase) {
        for (uint32_t s = 0; s < SectorCount(); ++s)
            if (!SectorProtected(s)) std::fill_n(array_.begin() + sectorStart_[s], SectorBytes(s), 0xFF);
    } else if (op_ == Op::PpbErase) {
        std::fill(ppb_.begin(), ppb_.end(), 0);
    }
    if (isErase && faults_.stuckZeroByte < size_)
        array_[faults_.stuckZeroByte] &= static_cast<uint8_t>(~faults_.stuckZeroMask);
    opWords_.clear();
    op_ = Op::None;
}

void NorChip::ResetState() {
    op_ = Op::None;
    statusRead_ = false;
    srErrors_ = 0;
    eraseSuspended_ = false;
    opFailed_ = false;
    opStuck_ = false;
    opWords_.clear();
    mode_ = Mode::Read;
    unlock_ = 0;
    pend_ = Pend::None;
    bufferAbort_ = false;
    secsiExitArmed_ = false;
}

void NorChip::HardwareReset() {
    ResetState();
}

void NorChip::PowerCycle() {
    ResetState();
    std::fill(dyb_.begin(), dyb_.end(), 0);
    // In password mode the PPBs come up locked; otherwise the lock is open.
    ppbLock_ = (lockRegister_ & 4) == 0;
    acc_ = false;
}

void NorChip::BusWrite(uint32_t address, uint32_t data, unsigned width) {
    if (part_.byteWide) {
        // Eight data lines: whatever the bus, the chip sees the low byte at its byte address.
        WriteWord(address % size_, static_cast<uint16_t>(data & 0xFF), false, address % size_);
    } else if (width == 1) {
        WriteWord((address >> 1) % (size_ / 2), static_cast<uint16_t>(data & 0xFF), true, address % size_);
    } else {
        WriteWord(address % (size_ / 2), static_cast<uint16_t>(data & 0xFFFF), false, (address * 2) % size_);
    }
}

uint32_t NorChip::BusRead(uint32_t address, unsigned width) {
    if (part_.byteWide) return ReadWord(address % size_) & 0xFF;
    if (width == 1) {
        uint16_t w = ReadWord((address >> 1) % (size_ / 2));
        return (address & 1) ? (w >> 8) : (w & 0xFF);
    }
    return ReadWord(address % (size_ / 2));
}

bool NorChip::UnlockStep(uint32_t word, uint16_t data) {
    uint32_t a = word & 0x7FF;
    uint8_t d = data & 0xFF;
    if (unlock_ == 0 && a == 0x555 && d == 0xAA) {
        unlock_ = 1;
        return true;
    }
    if (unlock_ == 1 && a == 0x2AA && d == 0x55) {
        unlock_ = 2;
        return true;
    }
    return false;
}

void NorChip::WriteWord(uint32_t word, uint16_t data, bool byteMode, uint32_t byteAddress) {
    if (Busy()) {
        uint8_t c = data & 0xFF;
        if (c == 0xB0 && op_ == Op::SectorErase && !opFailed_ && !opStuck_ && !opNoEffect_) {
            SuspendErase();
            return;
        }
        if (part_.reducedCommands && c == 0x70 && (word & 0xFFF) == 0x555) {
            statusRead_ = true;
            return;
        }
        // The embedded algorithm owns the chip; only a reset ends a failed or stuck operation.
        if (opFailed_ || opStuck_) {
            if ((data & 0xFF) == 0xF0) ResetState();
        } else {
            ++ignoredWrites_;
        }
        return;
    }
    lastWord_ = word;
    uint8_t d = data & 0xFF;

    if (bufferAbort_ && part_.reducedCommands) {
        if (d == 0xF0) ResetState();
        else if (d == 0x70 && (word & 0xFFF) == 0x555) statusRead_ = true;
        return;
    }
    if (bufferAbort_) {
        // Only the write-buffer-abort reset (unlock, 0xF0) leaves this state.
        if (UnlockStep(word, data)) return;
        if (unlock_ == 2 && d == 0xF0) ResetState();
        else unlock_ = 0;
        return;
    }

    switch (pend_) {
    case Pend::Program: {
        uint32_t sector = SectorOfCell(word);
        uint16_t value = data;
        if (byteMode) value = (byteAddress & 1) ? static_cast<uint16_t>((d << 8) | 0xFF) : static_cast<uint16_t>(0xFF00 | d);
        lastData_ = byteMode ? d : data;
        bool secsi = mode_ == Mode::SecSi && InSecSi(word);
        bool refused = secsi ? (lockRegister_ & 1) == 0 : SectorProtected(sector);
        opWords_.clear();
        if (!refused) opWords_.push_back({word, value});
        StartOp(Op::Program, refused ? kProtectedBusyUs : part_.wordProgramUs, sector);
        opNoEffect_ = opRefused_ = refused;
        return;
    }
    case Pend::BufferCount: {
        uint32_t sector = SectorOfCell(word);
        // The chip reads only the bits that count its buffer's words: a driver for two interleaved
        // 8-bit chips repeats the count in the upper byte, which a 16-bit chip ignores.
        uint32_t countBits = 1;
        while (countBits < part_.writeBufferWords) countBits <<= 1;
        data = static_cast<uint16_t>(data & (countBits - 1));
        if (sector != bufSector_ || static_cast<uint32_t>(data) + 1 > part_.writeBufferWords) {
            bufferAbort_ = true;
            pend_ = Pend::None;
            return;
        }
        bufRemaining_ = data + 1u;
        bufWords_.clear();
        bufPageSet_ = false;
        pend_ = Pend::BufferLoad;
        return;
    }
    case Pend::BufferLoad: {
        if (bufRemaining_ > 0) {
            uint32_t page = word / part_.writeBufferWords;
            if (!bufPageSet_) {
                bufPageWord_ = page;
                bufPageSet_ = true;
            }
            if (page != bufPageWord_ || SectorOfCell(word) != bufSector_) {
                bufferAbort_ = true;
                pend_ = Pend::None;
                return;
            }
            uint16_t value = data;
            if (byteMode) value = (byteAddress & 1) ? static_cast<uint16_t>((d << 8) | 0xFF) : static_cast<uint16_t>(0xFF00 | d);
            bool replaced = false;
            for (auto& w : bufWords_) {
                if (w.first == word) {
                    w.second = value;
                    replaced = true;
                }
            }
            if (!replaced) bufWords_.push_back({word, value});
            lastData_ = byteMode ? d : data;
            --bufRemaining_;
            return;
        }
        if (d == 0x29 && SectorOfCell(word) == bufSector_ && mode_ == Mode::LockReg) {
            // The reduced family programs its lock register through the buffer sequence.
            for (const auto& w : bufWords_) lockRegister_ &= CellMask(w.second);
            StartOp(Op::LockProgram, part_.wordProgramUs, 0);
            return;
        }
        if (d == 0x29 && SectorOfCell(word) == bufSector_) {
            bool secsi = mode_ == Mode::SecSi && !bufWords_.empty() && InSecSi(bufWords_.front().first);
            bool refused = secsi ? (lockRegister_ & 1) == 0 : SectorProtected(bufSector_);
            opWords_.clear();
            if (!refused) opWords_ = bufWords_;
            StartOp(Op::BufferProgram, refused ? kProtectedBusyUs : part_.bufferProgramUs, bufSector_);
            opNoEffect_ = opRefused_ = refused;
            return;
        }
        bufferAbort_ = true;
        pend_ = Pend::None;
        return;
    }
    case Pend::EraseSetup:
        if (part_.reducedCommands) {
            pend_ = Pend::None;
            if (d == 0x30 || (d == 0x10 && (word & 0xFFF) == 0x555)) StartErase(word, d);
            else ++ignoredWrites_;
            return;
        }
        if (UnlockStep(word, data)) return;
        if (unlock_ == 2 && ((d == 0x10 && (word & 0x7FF) == 0x555) || d == 0x30)) {
            StartErase(word, d);
            return;
        }
        pend_ = Pend::None;
        unlock_ = 0;
        ++ignoredWrites_;
        return;
    case Pend::BypassErase:
        // In unlock bypass the erase needs no unlock cycles.
        pend_ = Pend::None;
        if (d == 0x10 || d == 0x30) StartErase(word, d);
        else ++ignoredWrites_;
        return;
    default:
        break;
    }

    if (part_.reducedCommands) {
        ReducedCommand(word, data);
        return;
    }
    if (mode_ == Mode::LockReg || mode_ == Mode::Ppb || mode_ == Mode::PpbLock || mode_ == Mode::Dyb ||
        mode_ == Mode::Password) {
        CommandSetWrite(word, data);
        return;
    }
    if (mode_ == Mode::Bypass) {
        BypassWrite(word, data);
        return;
    }
    Command(word, data);
}

void NorChip::StartErase(uint32_t word, uint8_t command) {
    if (command == 0x10) {
        bool any = false;
        for (uint32_t s = 0; s < SectorCount(); ++s) any = any || !SectorProtected(s);
        StartOp(Op::ChipErase, any ? part_.chipEraseUs : kProtectedBusyUs, 0);
        opNoEffect_ = !any;
        return;
    }
    uint32_t sector = SectorOfCell(word);
    StartOp(Op::SectorErase, SectorProtected(sector) ? kProtectedBusyUs : part_.sectorEraseUs, sector);
    opNoEffect_ = opRefused_ = SectorProtected(sector);
}

void NorChip::SuspendErase() {
    suspendedRemainingNs_ = opEndNs_ > clock_.NowNs() ? opEndNs_ - clock_.NowNs() : 0;
    suspendedSector_ = opSector_;
    eraseSuspended_ = true;
    op_ = Op::None;
    pend_ = Pend::None;
    unlock_ = 0;
}

void NorChip::ResumeErase() {
    eraseSuspended_ = false;
    StartOp(Op::SectorErase, (suspendedRemainingNs_ + 999) / 1000, suspendedSector_);
}

void NorChip::ReducedCommand(uint32_t word, uint16_t data) {
    const uint8_t d = data & 0xFF;
    const uint32_t low = word & 0xFFF;
    if (eraseSuspended_ && d == 0x30) {
        ResumeErase();
        return;
    }
    if (d == 0xF0) {
        mode_ = Mode::Read;
        statusRead_ = false;
        return;
    }
    if (low == 0x555) {
        switch (d) {
        case 0x70: statusRead_ = true; return;
        case 0x71: srErrors_ = 0; return;
        case 0x25: pend_ = Pend::BufferCount; bufSector_ = SectorOfCell(word); return;
        case 0x80: if (mode_ == Mode::Read) { pend_ = Pend::EraseSetup; return; } break;
        case 0x98: mode_ = Mode::Cfi; return;
        case 0x88: mode_ = Mode::SecSi; return;
        case 0x40: if (part_.advancedProtection) { mode_ = Mode::LockReg; return; } break;
        default: break;
        }
    }
    if (d == 0x98 && (word & 0xFF) == 0x55 && !faults_.noCfi) {
        mode_ = Mode::Cfi;
        return;
    }
    ++ignoredWrites_;
}

uint16_t NorChip::StatusRegister() {
    uint16_t s = Busy() ? 0 : kDQ7;
    if (eraseSuspended_) s |= kDQ6;
    if (bufferAbort_) s |= 0x18;  // write-buffer abort, program error
    return static_cast<uint16_t>(s | srErrors_);
}

void NorChip::BypassWrite(uint32_t word, uint16_t data) {
    (void)word;  // bypass commands are taken at any address
    uint8_t d = data & 0xFF;
    if (unlock_ == 3) {
        unlock_ = 0;
        if (d == 0x00) {
            mode_ = Mode::Read;
            return;
        }
    }
    switch (d) {
    case 0xA0: pend_ = Pend::Program; return;
    case 0x80: pend_ = Pend::BypassErase; return;
    case 0x90: unlock_ = 3; return;  // exit: 0x90, then 0x00
    default: ++ignoredWrites_; return;
    }
}

void NorChip::Command(uint32_t word, uint16_t data) {
    uint8_t d = data & 0xFF;
    if (UnlockStep(word, data)) return;
    if (unlock_ == 2) {
        unlock_ = 0;
        uint32_t sector = SectorOfCell(word);
        switch (d) {
        case 0x90:
            // From the SecSi region, unlock + 0x90 + 0x00 is the way back to the array.
            secsiExitArmed_ = mode_ == Mode::SecSi;
            mode_ = Mode::Autoselect;
            return;
        case 0xA0: pend_ = Pend::Program; return;
        case 0x25: pend_ = Pend::BufferCount; bufSector_ = sector; return;
        case 0x80: pend_ = Pend::EraseSetup; return;
        case 0x88: mode_ = Mode::SecSi; return;
        case 0x20: mode_ = Mode::Bypass; return;
        case 0xF0: ResetState(); return;
        default: break;
        }
        if (part_.advancedProtection) {
            switch (d) {
            case 0x40: mode_ = Mode::LockReg; return;
            case 0xC0: mode_ = Mode::Ppb; return;
            case 0x50: mode_ = Mode::PpbLock; return;
            case 0xE0: mode_ = Mode::Dyb; return;
            case 0x60: mode_ = Mode::Password; pwUnlockCount_ = 0; return;
            default: break;
            }
        }
        ++ignoredWrites_;
        return;
    }
    unlock_ = 0;
    if (eraseSuspended_ && d == 0x30) {
        ResumeErase();
        return;
    }
    if (d == 0xF0) {
        mode_ = Mode::Read;
        secsiExitArmed_ = false;
        pend_ = Pend::None;
        return;
    }
    if (d == 0x98 && (word & 0xFF) == 0x55 && !faults_.noCfi) {
        mode_ = Mode::Cfi;
        return;
    }
    if (secsiExitArmed_ && mode_ == Mode::Autoselect && d == 0x00) {
        secsiExitArmed_ = false;
        mode_ = Mode::Read;
        return;
    }
    ++ignoredWrites_;
}

void NorChip::CommandSetWrite(uint32_t word, uint16_t data) {
    uint8_t d = data & 0xFF;
    uint32_t sector = SectorOfCell(word);
    if (pend_ == Pend::CommandSetProgram) {
        pend_ = Pend::None;
        switch (mode_) {
        case Mode::LockReg:
            lockRegister_ &= CellMask(data);
            StartOp(Op::LockProgram, part_.wordProgramUs, 0);
            break;
        case Mode::Ppb:
            if (!ppbLock_) ppb_[sector] = 1;
            StartOp(Op::PpbProgram, ppbLock_ ? kProtectedBusyUs : part_.wordProgramUs, sector);
            break;
        case Mode::PpbLock:
            ppbLock_ = true;
            break;
        case Mode::Dyb:
            dyb_[sector] = d == 0x00 ? 1 : 0;
            break;
        case Mode::Password:
            if (lockRegister_ & 4) {
                // The 64-bit password in cells: four words, or eight bytes on a byte-wide part.
                uint32_t shift = (word % PasswordCells()) * 8 * cell_;
                uint64_t ones = cell_ == 1 ? 0xFF : 0xFFFF;
                uint64_t mask = ~(ones << shift) | ((uint64_t(data) & ones) << shift);
                password_ &= mask;
                StartOp(Op::LockProgram, part_.wordProgramUs, 0);
            }
            break;
        default:
            break;
        }
        return;
    }
    if (pend_ == Pend::PpbEraseSetup) {
        pend_ = Pend::None;
        if (d == 0x30) {
            StartOp(Op::PpbErase, ppbLock_ ? kProtectedBusyUs : part_.sectorEraseUs, 0);
            opNoEffect_ = ppbLock_;
        }
        return;
    }
    if (pend_ == Pend::PasswordUnlock) {
        // 0x25, 0x03, four password words, 0x29: a match opens the PPB lock.
        if (pwUnlockCount_ == 0) {
            if (d != 0x03) pend_ = Pend::None;
            pwUnlockCount_ = 1;
            return;
        }
        if (pwUnlockCount_ < 1 + PasswordCells()) {
            pwUnlock_[word % PasswordCells()] = data;
            ++pwUnlockCount_;
            return;
        }
        pend_ = Pend::None;
        if (d == 0x29) {
            uint64_t given = 0;
            for (uint32_t i = 0; i < PasswordCells(); ++i) given |= uint64_t(pwUnlock_[i]) << (8 * cell_ * i);
            if (given == password_) ppbLock_ = false;
            StartOp(Op::LockProgram, 2, 0);
        }
        return;
    }
    if (pend_ == Pend::None && d == 0x90 && unlock_ == 0) {
        unlock_ = 3;  // exit sequence: 0x90 then 0x00
        return;
    }
    if (unlock_ == 3) {
        unlock_ = 0;
        if (d == 0x00) {
            mode_ = Mode::Read;
            return;
        }
    }
    switch (d) {
    case 0xA0: pend_ = Pend::CommandSetProgram; return;
    case 0x80: if (mode_ == Mode::Ppb) { pend_ = Pend::PpbEraseSetup; return; } break;
    case 0x25: if (mode_ == Mode::Password) { pend_ = Pend::PasswordUnlock; pwUnlockCount_ = 0; return; } break;
    case 0xF0: mode_ = Mode::Read; return;
    default: break;
    }
    ++ignoredWrites_;
}

uint16_t NorChip::StatusWord(uint32_t word) {
    uint16_t s = 0;
    toggle_ = !toggle_;
    if (toggle_) s |= kDQ6;
    if (opFailed_) s |= kDQ5;
    bool erase = op_ == Op::SectorErase || op_ == Op::ChipErase || op_ == Op::PpbErase;
    if (erase) {
        s |= kDQ3;
        bool inSector = op_ == Op::ChipErase || SectorOfCell(word) == opSector_;
        if (inSector) {
            toggle2_ = !toggle2_;
            if (toggle2_) s |= kDQ2;
        }
    } else {
        if (!(lastData_ & kDQ7)) s |= kDQ7;  // complement of the data being programmed
    }
    return s;
}

uint16_t NorChip::ReadWord(uint32_t word) {
    if (statusRead_) {
        statusRead_ = false;
        return StatusRegister();
    }
    if (Busy()) return StatusWord(word);
    if (eraseSuspended_ && mode_ == Mode::Read && SectorOfCell(word) == suspendedSector_) {
        // The suspended sector answers with its erase status: DQ2 toggles, DQ6 does not.
        toggle2_ = !toggle2_;
        return static_cast<uint16_t>(kDQ7 | (toggle2_ ? kDQ2 : 0) | kDQ3);
    }
    if (bufferAbort_) {
        toggle_ = !toggle_;
        return static_cast<uint16_t>((toggle_ ? kDQ6 : 0) | kDQ1 | ((lastData_ & kDQ7) ? 0 : kDQ7));
    }
    uint32_t low = word & 0xFF;
    switch (mode_) {
    case Mode::Read:
    case Mode::Bypass:
        return CellValue(array_, word % (size_ / cell_));
    case Mode::SecSi:
        if (InSecSi(word)) return CellValue(secsi_, word);
        return CellValue(array_, word % (size_ / cell_));
    case Mode::Autoselect:
        switch (low) {
        case 0x00: return part_.manufacturerId;
        case 0x01: return part_.deviceId[0];
        case 0x0E: return part_.deviceId[1];
        case 0x0F: return part_.deviceId[2];
        case 0x02: return SectorProtected(SectorOfCell(word)) ? 1 : 0;
        case 0x03: return (lockRegister_ & 1) ? 0x0000 : 0x0040;  // customer SecSi locked
        default: return 0;
        }
    case Mode::Cfi: {
        if (part_.reducedCommands && low < 0x10) {
            // The reduced family's ID-CFI space: the identification words below the CFI table.
            switch (low) {
            case 0x00: return part_.manufacturerId;
            case 0x01: return part_.deviceId[0];
            case 0x0E: return part_.deviceId[1];
            case 0x0F: return part_.deviceId[2];
            default: return 0;
            }
        }
        auto t = CfiTable();
        if (low >= 0x10 && low - 0x10 < t.size()) return t[low - 0x10];
        return 0;
    }
    case Mode::LockReg:
        return lockRegister_;
    case Mode::Ppb:
        return ppb_[SectorOfCell(word)] ? 0 : 1;
    case Mode::PpbLock:
        return ppbLock_ ? 0 : 1;
    case Mode::Dyb:
        return dyb_[SectorOfCell(word)] ? 0 : 1;
    case Mode::Password:
        if ((lockRegister_ & 4) == 0) return 0xFFFF;
        return static_cast<uint16_t>(password_ >> ((word % PasswordCells()) * 8 * cell_));
    }
    return 0xFFFF;
}

}  // namespace kitsim
