// The parallel NOR data path behind the NOR exports: reads and programs split at chip-select
// windows, buffered and word programming with read-back of partly covered words, erase, the
// protection status word and its changes, the password and the address-space overlays.
#include <algorithm>
#include <cstring>
#include <new>

#include "engine.h"

namespace rook {

namespace {
constexpr uint32_t kKitBase = 0x80000000u;
constexpr uint32_t kSecondDieBit = 0x8000000u;
constexpr uint32_t kSecondDiePart = 0x7E4801;
constexpr uint32_t kSectorAddressMask14 = ~0x3FFFu;
constexpr uint64_t kMaxWriteBufferBytes = 16u << 20;
}  // namespace

std::vector<uint8_t> SwapData(const uint8_t* data, uint32_t length, int mode) {
    std::vector<uint8_t> copy(data, data + length);
    if (mode == 1) {
        for (uint32_t i = 0; i + 1 < length; i += 2) std::swap(copy[i], copy[i + 1]);
    } else if (mode == 2) {
        for (uint32_t i = 0; i + 3 < length; i += 4) {
            std::swap(copy[i], copy[i + 3]);
            std::swap(copy[i + 1], copy[i + 2]);
        }
    }
    return copy;
}

bool Engine::ChipSelectFor(uint32_t offset, uint32_t* chipSelect, uint32_t* windowEnd) const {
    for (uint32_t i = 0; i < 4; ++i) {
        const ChipSelectMapEntry& e = settings_.chipSelectMap[i];
        if (e.sizeCode <= 0 || e.sizeCode > 16) continue;
        uint64_t size = (128ull * 1024) << (e.sizeCode - 1);
        uint64_t start;
        switch (e.positionCode) {
        case 1: case 3: start = 0; break;
        case 2: case 4: start = size; break;
        case 5: start = 2 * size; break;
        case 6: start = 3 * size; break;
        default: continue;
        }
        if (offset >= start && offset < start + size) {
            *chipSelect = i;
            *windowEnd = static_cast<uint32_t>(std::min<uint64_t>(start + size, 0x100000000ull) - 1);
            return true;
        }
    }
    return false;
}

// With the chip-select map on, puts the kit on the chip select that holds `offset`; false when no
// window holds it. *windowEnd is the last byte offset that the same chip select serves.
bool Engine::SelectChipFor(uint32_t offset, uint32_t* windowEnd) {
    *windowEnd = 0xFFFFFFFF;
    if (!settings_.chipSelectMapInUse) return true;
    uint32_t cs = 0;
    if (!ChipSelectFor(offset, &cs, windowEnd)) return false;
    if (cs != chipSelect_ && Failed(SwitchChipSelect(cs))) return false;
    return true;
}

void Engine::Redirect(uint32_t* offset) {
    if (static_cast<uint32_t>(settings_.expectedJedecId) == kSecondDiePart && (*offset & kSecondDieBit)) {
        base_ += kSecondDieBit;
        *offset &= ~kSecondDieBit;
    }
}

void Engine::EndRedirect() {
    if (static_cast<uint32_t>(settings_.expectedJedecId) == kSecondDiePart) base_ = kKitBase;
}

// An operation that lost the kit may have left queued cycles behind (a flush that failed keeps
// them) and the chip in the middle of a command: the next operation sends them on and pulses
// the reset line before its own cycles, so neither stale data nor a half-given command is
// taken for the chip's answer.
void Engine::BeginOperation() {
    if (linkFailed_ && kit_) {
        linkFailed_ = false;
        if (!Failed(Flush())) AbortChipOperation();
    }
    linkFailed_ = false;
}

int Engine::NorReadData(uint32_t address, uint32_t length, uint8_t* buffer) {
    BeginOperation();
    if ((settings_.deviceClass & 0xFF) == kClassSpi) return SpiNorRead(address, length, buffer);
    if ((settings_.deviceClass & 0xFF) != kClassNor) return -1;
    if (!buffer && length) return Fail(ERROR_INVALID_HANDLE_PARAM);
    if (bytesPerBusWord_ == 0) return -1;
    uint32_t done = 0;
    while (done < length) {
        uint32_t offset = address + done, windowEnd;
        if (!SelectChipFor(offset, &windowEnd)) return -1;
        uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(length - done, uint64_t(windowEnd) - offset + 1));
        if (!ReadNorArray(base_, offset, piece, buffer + done)) return -1;
        done += piece;
    }
    return 0;
}

// Reads the status of every block that [offset, offset + length) touches: "Check Sector
// Protection" must refuse a range that reaches into a protected block, not only its first one.
bool Engine::ProtectedAt(uint32_t offset) {
    uint16_t status = 0;
    if (BlockStatusWord(offset, &status) < 0) return true;
    return (status & (kStatusPpbSet | kStatusDybSet)) != 0;
}

int Engine::NorProgramData(uint32_t address, uint32_t length, const uint8_t* data) {
    BeginOperation();
    if ((settings_.deviceClass & 0xFF) == kClassSpi) return SpiNorProgram(address, length, data);
    if ((settings_.deviceClass & 0xFF) != kClassNor) return -1;
    if (!data && length) return Fail(ERROR_INVALID_HANDLE_PARAM);
    if (length == 0) return 0;
    if (settings_.busWidthBits != 16) return Fail(ERROR_NOT_IMPLEMENTED);
    if (!commands_.writeBufferProgram || !commands_.program) return -1;
    // Inside an overlay the address is not the array's: the sectors' protection does not govern it.
    if (settings_.checkSectorProtection && !norOverlay_) {
        // Every block the range covers, by the region walk.
        for (uint32_t block = 0;; ++block) {
            uint32_t size = GetBlockSize(block);
            if (size == 0) break;
            uint64_t start = BlockIndexToOffset(block);
            if (start + size <= address) continue;
            if (start >= uint64_t(address) + length) break;
            if (ProtectedAt(static_cast<uint32_t>(start))) return Fail(ERROR_PROGRAM);
        }
    }
    uint32_t done = 0;
    while (done < length) {
        uint32_t offset = address + done, windowEnd;
        if (!SelectChipFor(offset, &windowEnd)) return -1;
        uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(length - done, uint64_t(windowEnd) - offset + 1));
        int r = ProgramPiece(offset, piece, data + done);
        if (r < 0) return r;
        done += piece;
    }
    return 0;
}

int Engine::ProgramPiece(uint32_t offset, uint32_t length, const uint8_t* data) {
    Redirect(&offset);
    int r = ProgramNor16(base_, offset, length, data);
    EndRedirect();
    return r;
}

int Engine::NorProgramRawData(uint32_t address, uint32_t length, const uint8_t* data) {
    if (!data && length) {
        if ((settings_.deviceClass & 0xFF) != kClassNor && (settings_.deviceClass & 0xFF) != kClassSpi) return -1;
        return Fail(ERROR_INVALID_HANDLE_PARAM);
    }
    // The caller's buffer is not ours to change: swap a copy.
    std::vector<uint8_t> swapped;
    if (settings_.dataSwap == 1 || settings_.dataSwap == 2) {
        swapped = SwapData(data, length, settings_.dataSwap);
        data = swapped.data();
    }
    return NorProgramData(address, length, data);
}

int Engine::ProgramNor16(uint32_t base, uint32_t offset, uint32_t length, const uint8_t* data) {
    const uint32_t bpw = bytesPerBusWord_;
    if (bpw != 2 && bpw != 4) return Fail(ERROR_NOT_IMPLEMENTED);
    const uint32_t wbs = working_.writeBufferBytes;
    if (wbs > 1 && !settings_.noWriteBuffer) {
        const uint64_t chunk64 = uint64_t(bpw / 2) * wbs;
        // No chip buffers more than a few KiB: a size from the settings far beyond that would only
        // tie up (or exhaust) the host's memory before the chip refused it.
        if (chunk64 > kMaxWriteBufferBytes) return Fail(ERROR_MEMORY_ALLOCATION);
        const uint32_t chunk = static_cast<uint32_t>(chunk64);
        std::vector<uint8_t> buffer;
        try {
            buffer.resize(chunk);
        } catch (const std::bad_alloc&) {
            return Fail(ERROR_MEMORY_ALLOCATION);
        }
        uint64_t end = uint64_t(offset) + length;
        for (uint64_t start = offset / chunk * uint64_t(chunk); start < end; start += chunk) {
            uint64_t from = std::max<uint64_t>(start, offset), to = std::min<uint64_t>(start + chunk, end);
            if (from != start || to != start + chunk) {
                if (!ReadNorArray(base, static_cast<uint32_t>(start), chunk, buffer.data())) return Fail(ERROR_PROGRAM);
            }
            std::memcpy(buffer.data() + (from - start), data + (from - offset), static_cast<size_t>(to - from));
            int r = (this->*commands_.writeBufferProgram)(base, static_cast<uint32_t>(start / bpw), chunk / bpw, buffer.data());
            if (r != 1 || linkFailed_) return Fail(ERROR_PROGRAM);
        }
        return 0;
    }
    // Word by word, in bus words: bytes a word does not cover keep what the chip holds.
    uint64_t end = uint64_t(offset) + length;
    for (uint64_t start = offset / bpw * uint64_t(bpw); start < end; start += bpw) {
        uint8_t word[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        uint64_t from = std::max<uint64_t>(start, offset), to = std::min<uint64_t>(start + bpw, end);
        if (from != start || to != start + bpw) {
            if (!ReadNorArray(base, static_cast<uint32_t>(start), bpw, word)) return Fail(ERROR_PROGRAM);
        }
        std::memcpy(word + (from - start), data + (from - offset), static_cast<size_t>(to - from));
        uint32_t value = word[0] | (uint32_t(word[1]) << 8) | (uint32_t(word[2]) << 16) | (uint32_t(word[3]) << 24);
        int r = (this->*commands_.program)(base, static_cast<uint32_t>(start / bpw), value & working_.dataMask);
        if (r != 1 || linkFailed_) return Fail(ERROR_PROGRAM);
    }
    return 0;
}

// The byte offset of the block to erase, on the chip select that holds it; 0, or the export's
// failure answer. "Check Sector Protection" refuses a protected block before any erase cycle (not
// while an erase runs: the protection reads are commands the chip would take amiss).
int Engine::EraseTarget(uint32_t index, uint32_t* offset, bool checkProtection) {
    if ((settings_.deviceClass & 0xFF) != kClassNor) return -1;
    if (!commands_.sectorErase || bytesPerBusWord_ == 0) return -1;
    if (GetBlockSize(index) == 0) return Fail(ERROR_INVALID_PARAMETER_INPUT);
    *offset = BlockIndexToOffset(index);
    if (checkProtection && settings_.checkSectorProtection && !norOverlay_) {
        uint16_t status = 0;
        if (BlockStatusWord(*offset, &status) < 0 || (status & (kStatusPpbSet | kStatusDybSet))) return Fail(ERROR_ERASE);
    } else {
        uint32_t windowEnd;
        if (!SelectChipFor(*offset, &windowEnd)) return -1;
    }
    return 0;
}

int Engine::NorEraseBlock(uint32_t index) {
    BeginOperation();
    if ((settings_.deviceClass & 0xFF) == kClassSpi) return SpiNorErase(index);
    uint32_t offset = 0;
    if (int refused = EraseTarget(index, &offset, true)) return refused;
    Redirect(&offset);
    int r = (this->*commands_.sectorErase)(base_, offset / bytesPerBusWord_);
    EndRedirect();
    return r == 1 && !linkFailed_ ? 0 : Fail(ERROR_ERASE);
}

int Engine::NorChipErase() {
    BeginOperation();
    if ((settings_.deviceClass & 0xFF) == kClassSpi) return SpiChipErase();
    if ((settings_.deviceClass & 0xFF) != kClassNor || !commands_.sectorErase) return -1;
    if (settings_.checkSectorProtection) {
        // The chip would skip a protected sector and still report a whole erase.
        for (uint32_t block = 0; GetBlockSize(block); ++block) {
            uint16_t status = 0;
            if (BlockStatusWord(BlockIndexToOffset(block), &status) < 0 || (status & (kStatusPpbSet | kStatusDybSet)))
                return Fail(ERROR_ERASE);
        }
    }
    // Each chip select of the map holds a chip of its own.
    for (uint32_t cs = 0; cs < 4; ++cs) {
        if (settings_.chipSelectMapInUse) {
            uint32_t at = 0, windowEnd = 0, found = 0;
            for (uint32_t block = 0; GetBlockSize(block) && !found; ++block) {
                at = BlockIndexToOffset(block);
                uint32_t owner;
                found = ChipSelectFor(at, &owner, &windowEnd) && owner == cs;
            }
            if (!found) continue;
            if (!SelectChipFor(at, &windowEnd)) return -1;
        } else if (cs > 0) {
            break;
        }
        if (ChipEraseOp(base_) != 1 || linkFailed_) return Fail(ERROR_ERASE);
    }
    return 0;
}

int Engine::NorEraseBegin(uint32_t index) {
    BeginOperation();
    uint32_t offset = 0;
    if (int refused = EraseTarget(index, &offset, true)) return refused;
    Redirect(&offset);
    SectorEraseCmd(base_, offset / bytesPerBusWord_);
    EndRedirect();
    // Queued cycles reach the chip only when flushed: the erase runs once the call returns.
    if (Failed(Flush())) return Fail(ERROR_ERASE);
    return 0;
}

int Engine::NorEraseSuspend(uint32_t index) {
    BeginOperation();
    uint32_t offset = 0;
    if (int refused = EraseTarget(index, &offset, false)) return refused;
    Redirect(&offset);
    int r = EraseSuspendOp(base_, offset / bytesPerBusWord_);
    EndRedirect();
    if (r == 1) return 0;
    if (r == 2) return 1;
    return Fail(ERROR_ERASE);
}

int Engine::NorEraseResume(uint32_t index) {
    BeginOperation();
    uint32_t offset = 0;
    if (int refused = EraseTarget(index, &offset, false)) return refused;
    Redirect(&offset);
    int r = EraseResumeOp(base_, offset / bytesPerBusWord_);
    EndRedirect();
    if (r == -2 && !linkFailed_) return Fail(ERROR_INVALID_PARAMETER_INPUT);  // no erase is suspended there
    return r == 1 && !linkFailed_ ? 0 : Fail(ERROR_ERASE);
}

int Engine::BlockStatusWord(uint32_t offset, uint16_t* status) {
    uint32_t windowEnd;
    if (!SelectChipFor(offset, &windowEnd)) return -1;
    if (settings_.protectionScheme == 2 || settings_.protectionScheme == 3 || settings_.protectionScheme == 0x20) {
        *status = 0;
        return 0;
    }
    const uint32_t base = base_;
    const uint32_t sector = offset / bytesPerBusWord_;
    if (settings_.deviceType == kTypeReducedNor) {
        *status = static_cast<uint16_t>(0x20 | (LockRegBitsReadOp(base) & 1));
        ReenterNorOverlay(base);
        return 0;
    }
    if (settings_.deviceType != kTypeLegacyNor) return -1;
    uint32_t s = 0;
    uint32_t lock = LockRegBitsReadOp(base);
    s |= lock & 0x0F;
    if (lock & 0x40) s |= 0x10;
    Unlock(base);
    WriteBus(base, (sector & kSectorAddressMask14) + working_.unlock1, Cmd(0xC0));
    s |= ReadBus(base, sector) ? kStatusPpbClear : kStatusPpbSet;
    ProtectionExit(base);
    Unlock(base);
    WriteBus(base, (sector & kSectorAddressMask14) + working_.unlock1, Cmd(0xE0));
    s |= ReadBus(base, sector) ? kStatusDybClear : kStatusDybSet;
    ProtectionExit(base);
    s |= PpbLockBitReadOp(base) ? kStatusPpbLockClear : kStatusPpbLockSet;
    // Back to the chip select in use, with the start's memory type and bus configuration.
    if (kit_) SwitchChipSelect(chipSelect_);
    WriteBus(base, 0, Cmd(0xF0));
    ReenterNorOverlay(base);
    *status = static_cast<uint16_t>(s);
    return 0;
}

// The protection reads end with a reset, which leaves any overlay: the caller's next read or
// program must still land where the overlay put it, not in the array at the same offset.
void Engine::ReenterNorOverlay(uint32_t base) {
    if (norOverlay_ == 0x04 && commands_.cfiEntry) (this->*commands_.cfiEntry)(base, 0);
    else if (norOverlay_ == 0x08 && commands_.autoselectEntry) (this->*commands_.autoselectEntry)(base, 0);
    else if (norOverlay_ == 0x10 && commands_.secsiEntry) (this->*commands_.secsiEntry)(base, 0);
    else if (norOverlay_ == 0x20 && commands_.aso20Entry) (this->*commands_.aso20Entry)(base, 0);
}

int Engine::NorGetBlockStatus(uint32_t index, uint16_t* status) {
    BeginOperation();
    const int32_t cls = settings_.deviceClass & 0xFF;
    if (cls != kClassNor && cls != kClassSpi) return -1;
    if (!status) return Fail(ERROR_INVALID_HANDLE_PARAM);
    if (cls == kClassSpi) return SpiBlockStatus(index, status);
    uint32_t offset = BlockIndexToOffset(index);
    int r = BlockStatusWord(offset, status);
    return linkFailed_ ? -1 : r;
}

int Engine::NorSetBlockStatus(uint32_t argument, uint32_t status) {
    BeginOperation();
    if ((settings_.deviceClass & 0xFF) == kClassSpi) return SpiSetBlockStatus(argument, status);
    if ((settings_.deviceClass & 0xFF) != kClassNor) return -1;
    const uint32_t m = working_.multiplier;
    // Both password bits together ask to read the password, which a parallel chip cannot do here:
    // it must not be taken for a program.
    if ((status & (kStatusPasswordProgram | kStatusPasswordUnlock)) == (kStatusPasswordProgram | kStatusPasswordUnlock))
        return Fail(ERROR_NOT_IMPLEMENTED);
    if (status & (kStatusPasswordProgram | kStatusPasswordUnlock)) {
        uint32_t slot = argument & 0xFFFF;
        if (slot < 4) {
            password_[slot] = static_cast<uint16_t>(argument >> 16);
            return 0;
        }
        if (slot != 0xFFFF) return Fail(ERROR_INVALID_PARAMETER_INPUT);
        const uint32_t base = base_;
        // The 64-bit password in the chip's cells: four words, or, on an 8-bit bus, eight bytes
        // (four bus cycles there would give the chip half of it with the other half left erased).
        const uint32_t cells = bytesPerBusWord_ == 1 ? 8 : 4;
        auto cell = [&](uint32_t i) -> uint32_t {
            if (cells == 4) return password_[i] * m;
            return ((password_[i / 2] >> (8 * (i & 1))) & 0xFF) * m;
        };
        Unlock(base);
        WriteBus(base, working_.unlock1, Cmd(0x60));
        int result = 0;
        if (status & kStatusPasswordProgram) {
            for (uint32_t i = 0; i < cells; ++i) {
                WriteBus(base, i, Cmd(0xA0));
                WriteBus(base, i, cell(i));
                if (PollDataStatus(base, i, cell(i), 1, nullptr) != 1) result = Fail(ERROR_PROGRAM);
            }
        } else {
            WriteBus(base, 0, Cmd(0x25));
            WriteBus(base, 0, Cmd(0x03));
            for (uint32_t i = 0; i < cells; ++i) WriteBus(base, i, cell(i));
            WriteBus(base, 0, Cmd(0x29));
            // The chip compares for a moment; the exit is only taken once it is done.
            UserTimer timer = StartUserTimeout(1);
            int r;
            do {
                r = ReadToggleStatus(base);
            } while (r == 2 && !TimedOut(timer));
            if (r == 2) AbortChipOperation();
            if (r != 1) result = Fail(ERROR_INVALID_PARAMETER_INPUT);
        }
        ProtectionExit(base);
        Flush();
        return linkFailed_ ? Fail(ERROR_PROGRAM) : result;
    }
    if (GetBlockSize(argument) == 0) return Fail(ERROR_INVALID_PARAMETER_INPUT);
    uint32_t offset = BlockIndexToOffset(argument), windowEnd;
    if (!SelectChipFor(offset, &windowEnd)) return -1;
    Redirect(&offset);
    const uint32_t base = base_;
    const uint32_t sector = offset / bytesPerBusWord_;
    int result = 0;
    auto step = [&](int r) {
        if (r < 0) result = -1;
    };
    if (settings_.deviceType == kTypeLegacyNor && (status & 0xFF) == 0) {
        if (status & kStatusPpbClear) step(PpbAllEraseOp(base));
        if (status & kStatusPpbSet) step(PpbProgramOp(base, sector));
        if (status & kStatusDybClear) {
            Unlock(base);
            WriteBus(base, (sector & kSectorAddressMask14) + working_.unlock1, Cmd(0xE0));
            WriteBus(base, 0, Cmd(0xA0));
            WriteBus(base, sector, Cmd(0x01));
            ProtectionExit(base);
        }
        if (status & kStatusDybSet) {
            Unlock(base);
            WriteBus(base, (sector & kSectorAddressMask14) + working_.unlock1, Cmd(0xE0));
            WriteBus(base, 0, Cmd(0xA0));
            WriteBus(base, sector, 0);
            ProtectionExit(base);
        }
        if (status & kStatusPpbLockSet) step(PpbLockBitSetOp(base));
    } else if (settings_.deviceType == kTypeLegacyNor) {
        // The status word carries lock-register bit 6 in its bit 4.
        static const struct {
            uint32_t statusBit;
            uint32_t pattern;
        } kLockBits[] = {{0x01, 0xFFFE}, {0x02, 0xFFFD}, {0x04, 0xFFFB}, {0x10, 0xFFBF}};
        for (const auto& b : kLockBits)
            if (!(status & b.statusBit)) step(LockRegBitsProgramOp(base, b.pattern * m));
    } else if (settings_.deviceType == kTypeReducedNor) {
        if ((status & 0xFF) && !(status & 1)) step(LockRegBitsProgramOp(base, 0xFFFE * m) == 1 ? 0 : -1);
    }
    EndRedirect();
    // Queued cycles reach the chip only when flushed: the change is made before the call returns.
    Flush();
    return result < 0 || linkFailed_ ? Fail(ERROR_PROGRAM) : 0;
}

int Engine::NorSetAsoMode(uint32_t mode) {
    BeginOperation();
    if ((settings_.deviceClass & 0xFF) == kClassSpi) return SpiSetAsoMode(mode);
    if ((settings_.deviceClass & 0xFF) != kClassNor) return -1;
    const bool leave = mode & 1;
    const uint32_t base = base_;
    struct Pair {
        uint32_t bit;
        void (Engine::*entry)(uint32_t, uint32_t);
        void (Engine::*exit)(uint32_t);
    };
    const Pair pairs[] = {{0x04, commands_.cfiEntry, commands_.cfiExit},
                          {0x08, commands_.autoselectEntry, commands_.autoselectExit},
                          {0x10, commands_.secsiEntry, commands_.secsiExit},
                          {0x20, commands_.aso20Entry, commands_.aso20Exit}};
    for (const Pair& p : pairs) {
        if (!(mode & p.bit)) continue;
        if (leave) {
            if (!p.exit) return -1;
            (this->*p.exit)(base);
            norOverlay_ = 0;
        } else {
            if (!p.entry) return -1;
            (this->*p.entry)(base, 0);
            norOverlay_ = p.bit;
        }
        return Failed(Flush()) ? -1 : 0;
    }
    if (leave && commands_.reset) {
        (this->*commands_.reset)(base);
        norOverlay_ = 0;
    }
    return Failed(Flush()) ? -1 : 0;
}

}  // namespace rook
