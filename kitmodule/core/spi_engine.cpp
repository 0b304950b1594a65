// The SPI engine behind the NOR exports: identification from the ID answer (with its CFI table),
// the memory array with bank register or four-byte addresses, the register spaces that the address
// space switch selects, erase, the protection status word and its changes, and the password.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine.h"
#include "lumivex/prompt.h"

namespace rook {

namespace {
constexpr uint32_t kBankBytes = 1u << 24;
constexpr uint32_t kIdAnswerBytes = 512;
constexpr uint32_t kMaxIdRead = 0x10000;
constexpr uint32_t kSecurityRegisterStep = 0x1000;
constexpr uint32_t kSecurityRegisterBytes = 256;
constexpr uint32_t kP8eBytes = 0x2000;
constexpr uint32_t kUniformParts = 0x012018;
}  // namespace

int Engine::SelectSpiCommandRecord(uint32_t interleave) {
    if (settings_.busWidthBits != 8 || interleave == 4) return 0;
    spiWorking_ = spiRecords_[interleave == 2 ? 1 : 0];
    return interleave == 2 ? 2 : 1;
}

int Engine::IdentifySpi() {
    // The command bytes of the SPI layer go out as bytes: one SPI chip on the 8-bit bus.
    working_ = NorCommandRecord{1, 0xFF, 0xFF, 0, 0, 0, 1, 1, 0};
    std::vector<uint8_t> id(kIdAnswerBytes, 0xFF);
    int config;
    if (settings_.busWidthBits == 8) {
        spiWorking_ = spiRecords_[0];
        bytesPerBusWord_ = 1;
        config = 1;
        if (SpiReadIdentification(id.data(), kIdAnswerBytes) != 0) return -1;
        spiNoCfiInId_ = !(id[16] == 'Q' && id[17] == 'R' && id[18] == 'Y');
        geometry_.interleave = 1;
    } else if (settings_.busWidthBits == 16) {
        spiWorking_ = spiRecords_[1];
        bytesPerBusWord_ = 2;
        working_.bytesPerBusWord = 2;
        config = 2;
        spiNoCfiInId_ = true;
        if (SpiReadIdentification(id.data(), kIdAnswerBytes) != 0) return -1;
        geometry_.interleave = 1;
    } else {
        return -1;
    }
    geometry_.busConfig = config;
    geometry_.baseAddress = base_;
    geometry_.jedecId = SpiJedecId(id[0], id[1], id[2]);
    spiExtendedId_ = 0;
    for (uint32_t i = 0; i < spiWorking_.extendedIdBytes; ++i) spiExtendedId_ = (spiExtendedId_ << 8) | id[3 + i];

    uint8_t config35 = 0;
    if (spiWorking_.capabilities & 0x04) {
        if (SpiReadRegister(0x35, &config35) == 0 && (config35 & 0x02)) settings_.spiIoMode = 4;
    } else {
        settings_.spiIoMode = 1;
    }
    if (config != 1 || spiNoCfiInId_) return -1;

    cfi_ = CfiRecord{};
    cfi_.addressMultiplier = 1;
    if (!ParseCfi([&](uint32_t offset) -> uint32_t { return offset < id.size() ? id[offset] : 0xFF; }, true)) return -1;
    if (SpiReadRegister(0x35, &config35) != 0) {
        LxMessageBox(nullptr, "Error: Cannot read configuration register.", nullptr, LX_MB_OK);
        return -1;
    }
    if ((config35 & 0x04) && cfi_.regionCount >= 2)
        std::reverse(cfi_.regions, cfi_.regions + cfi_.regionCount);
    if (geometry_.jedecId == kUniformParts && cfi_.regionCount == 1) {
        bool uniform = true;
        if (settings_.spiFamily == 8) {
            uint8_t status2 = 0;
            if (SpiReadRegister(0x07, &status2) == 0) {
                uniform = (status2 & 0x80) != 0;
                if (status2 & 0x40) cfi_.maxBufferBytes = 512;
            }
        }
        if (uniform) cfi_.regions[0] = EraseRegion{static_cast<uint16_t>(256 * 1024 / 256), 63};
    }
    const EraseRegion& unit = UnitRegion();
    geometry_.unitSize = uint32_t(unit.blockSize256) * 256u;
    return 0;
}

// The 0x7E4801 part keeps its second die behind byte address bit 27: its own chip select.
void Engine::SpiRedirect(uint32_t* address) {
    const uint32_t before = base_;
    Redirect(address);
    if (base_ != before) spiBankCache_ = -1;
}

// Runs `work` over the pieces of [address, address + length) that one bank register value covers
// (the whole range at once with four-byte addresses), with the bank set and the address the chip
// takes; stops at the first piece that fails.
int Engine::ForEachBankPiece(uint32_t address, uint32_t length,
                             const std::function<int(uint32_t, uint32_t, uint32_t)>& work) {
    SpiRedirect(&address);
    int r = 0;
    for (uint32_t done = 0; done < length && r == 0;) {
        uint32_t a = address + done;
        uint32_t piece = length - done;
        if (settings_.force4ByteAddress) {
            SpiSelectBank(0);
        } else {
            piece = std::min(piece, kBankBytes - a % kBankBytes);
            SpiSelectBank(a >> 24);
            a &= kBankBytes - 1;
        }
        r = work(a, done, piece);
        done += piece;
    }
    if (base_ != settings_.baseAddress) spiBankCache_ = -1;
    EndRedirect();
    return r;
}

bool Engine::SpiSecurityRegisterPart() const {
    const int code = DeviceCode();
    return code == 3001 || code == 3002 || code == 3003;
}

bool Engine::SpiHasErrorBits() const { return !SpiFamilyIn({5, 6, 7}) && !SpiSecurityRegisterPart(); }

bool Engine::SpiReadsBack() const { return !SpiHasErrorBits() || settings_.userDevice != 0; }

// Reads [address, address + length) of the current space back and compares it with `expected`
// (or, without it, with `fill`): 0 the same, 1 different, -1 the read failed.
int Engine::SpiVerify(uint32_t address, uint32_t length, const uint8_t* expected, uint8_t fill) {
    constexpr uint32_t kPiece = 0x10000;
    std::vector<uint8_t> back(std::min(length, kPiece));
    for (uint32_t done = 0; done < length;) {
        const uint32_t piece = std::min(length - done, kPiece);
        if (SpiNorRead(address + done, piece, back.data()) != 0) return -1;
        for (uint32_t i = 0; i < piece; ++i)
            if (back[i] != (expected ? expected[done + i] : fill)) return 1;
        done += piece;
    }
    return 0;
}

// A program or erase of the array that did not happen: when the block-protection bits or the
// sector's persistent or dynamic bit are set, the code says protection.
int Engine::SpiArrayFailure(uint32_t offset, int32_t code) {
    if (linkFailed_) return Fail(code);
    uint32_t address = offset;
    SpiRedirect(&address);
    uint8_t status = 0, ppb = 0xFF, dyb = 0xFF;
    bool protectedHere = false;
    if (SpiReadRegister(0x05, &status) == 0) {
        protectedHere = (status & 0x1C) != 0;
        if (!protectedHere && SpiRead(0xE2, address, &ppb, 1) == 0 && SpiRead(0xE0, address, &dyb, 1) == 0)
            protectedHere = ppb != 0xFF || dyb != 0xFF;
    }
    EndRedirect();
    return Fail(protectedHere && !linkFailed_ ? ERROR_WRITE_PROTECTED : code);
}

int Engine::SpiNorRead(uint32_t address, uint32_t length, uint8_t* buffer) {
    if (!buffer && length) return Fail(ERROR_INVALID_HANDLE_PARAM);
    if (!SpiRecoverLink()) return -1;
    if (spiSpaceRefused_) return Fail(ERROR_ADDRESS_SPACE);
    if (length == 0) return 0;
    int r = 0;
    switch (spiSpace_) {
    case 0:
        r = ForEachBankPiece(address, length, [&](uint32_t a, uint32_t done, uint32_t piece) {
            return SpiReadData(a, piece, buffer + done);
        });
        break;
    case 2:
        if (settings_.spiFamily == 6) {
            r = SpiRead(0x5A, address, buffer, length);
            break;
        }
        [[fallthrough]];
    case 3: {
        if (uint64_t(address) + length > kMaxIdRead) return -1;
        std::vector<uint8_t> answer(address + length, 0xFF);
        r = SpiReadIdentification(answer.data(), static_cast<uint32_t>(answer.size()));
        if (r == 0) std::memcpy(buffer, answer.data() + address, length);
        break;
    }
    case 4:
    // The security registers have their own read; the OTP areas are read with 0x4B.
    case 20: r = SpiRead(SpiSecurityRegisterPart() ? 0x48 : 0x4B, address, buffer, length); break;
    case 5: r = SpiRead(0x18, address, buffer, length); break;
    case 16: r = SpiRead(0x05, kSpiNoAddress, buffer, length); break;
    case 17: r = SpiRead(0x35, kSpiNoAddress, buffer, length); break;
    case 18: r = SpiRead(0x07, kSpiNoAddress, buffer, length); break;
    case 19: r = SpiRead(0x33, kSpiNoAddress, buffer, length); break;
    case 21: r = SpiRead(0x41, kSpiNoAddress, buffer, length); break;
    default: return -1;
    }
    return r == 0 ? 0 : -1;
}

int Engine::SpiNorProgram(uint32_t address, uint32_t length, const uint8_t* data) {
    if (!data && length) return Fail(ERROR_INVALID_HANDLE_PARAM);
    if (!SpiRecoverLink()) return Fail(ERROR_PROGRAM);
    if (spiSpaceRefused_) return Fail(ERROR_ADDRESS_SPACE);
    if (length == 0) return 0;
    if (spiSpace_ == 2 || spiSpace_ == 3 || spiSpace_ == 5) return Fail(ERROR_ADDRESS_SPACE);
    if (spiSpace_ != 0) return SpiProgramRegisterSpace(address, length, data) == 0 ? 0 : Fail(ERROR_PROGRAM);
    int r = ForEachBankPiece(address, length, [&](uint32_t a, uint32_t done, uint32_t piece) {
        return SpiProgramData(a, data + done, piece);
    });
    if (r != 0) return SpiArrayFailure(address, ERROR_PROGRAM);
    if (!SpiReadsBack()) return 0;
    const int v = SpiVerify(address, length, data, 0);
    return v == 0 ? 0 : v < 0 ? Fail(ERROR_PROGRAM) : SpiArrayFailure(address, ERROR_PROGRAM);
}

int Engine::SpiProgramRegisterSpace(uint32_t address, uint32_t length, const uint8_t* data) {
    const uint8_t v = data[0];
    switch (spiSpace_) {
    case 4:
    case 20: {
        // A locked region or register takes nothing, and a part without error bits still looks
        // done: what is there afterwards decides.
        if (SpiOtpProgram(address, data, length) != 0) return -1;
        return SpiVerify(address, length, data, 0) == 0 ? 0 : -1;
    }
    case 16:
        if (length >= 2) return SpiWriteRegisters(data, 2);
        return settings_.spiFamily == 6 || SpiSecurityRegisterPart() ? SpiWriteStatusSet(v, 1) : SpiWriteRegister1(v);
    case 17: {
        int r = settings_.spiFamily == 6 || SpiSecurityRegisterPart() ? SpiWriteStatusSet(v, 2) : SpiWriteRegisters(&v, 1);
        // Quad reads and programs follow the quad bit both ways: with it cleared the chip would
        // ignore them.
        if (r == 0 && (v & 0x02)) settings_.spiIoMode = 4;
        else if (r == 0 && settings_.spiIoMode == 4) settings_.spiIoMode = 1;
        return r;
    }
    case 18: return SpiFamilyIn({8, 9}) ? SpiWriteStatus2Set(v) : -1;
    case 19: return SpiSecurityRegisterPart() ? SpiWriteStatusSet(v, 3) : -1;
    case 21:
        if (!SpiFamilyIn({8, 9})) return -1;
        // The data learning page writes the value and a marker: 'V' the volatile register.
        if (length >= 2 && data[1] == 'V') return SpiDataLearningWriteVolatile(v);
        return SpiDataLearningProgram(v);
    default: return -1;
    }
}

// Erases one block of the array with `command`; a part without error bits (or one whose bits
// nobody vouches for) is read back, as a refused erase looks done on it.
int Engine::SpiEraseBlockOp(uint8_t command, uint32_t offset, uint32_t size) {
    int r = ForEachBankPiece(offset, 1, [&](uint32_t a, uint32_t, uint32_t) { return SpiEraseOp(command, a); });
    if (r != 0) return SpiArrayFailure(offset, ERROR_ERASE);
    if (!SpiReadsBack()) return 0;
    const int v = SpiVerify(offset, size, nullptr, 0xFF);
    return v == 0 ? 0 : v < 0 ? Fail(ERROR_ERASE) : SpiArrayFailure(offset, ERROR_ERASE);
}

int Engine::SpiNorErase(uint32_t index) {
    if (spiSpaceRefused_) return Fail(ERROR_ADDRESS_SPACE);
    if (!SpiRecoverLink()) return Fail(ERROR_ERASE);
    if (spiSpace_ == 20 && SpiSecurityRegisterPart()) {
        if (index < 1 || index > 3) return Fail(ERROR_INVALID_PARAMETER_INPUT);
        const uint32_t address = index * kSecurityRegisterStep;
        if (SpiEraseOp(0x44, address) != 0) return Fail(ERROR_ERASE);
        // A locked register ignores the erase and the part has no error bits to say so.
        const int v = SpiVerify(address, kSecurityRegisterBytes, nullptr, 0xFF);
        return v == 0 ? 0 : Fail(v < 0 ? ERROR_ERASE : ERROR_WRITE_PROTECTED);
    }
    // Nothing else but the array can be erased: an overlay or register space that answered
    // success here would have the caller report an erase that never happened.
    if (spiSpace_ != 0) return Fail(ERROR_ADDRESS_SPACE);
    const uint32_t size = GetBlockSize(index);
    if (size == 0) return Fail(ERROR_INVALID_PARAMETER_INPUT);
    const uint32_t offset = BlockIndexToOffset(index);
    const bool four = settings_.force4ByteAddress != 0;
    if (size == 4096 && settings_.forceP8E) return SpiEraseWithP8E(offset);
    // The 8 KiB erase of a 32 KiB block takes each of its four pairs.
    if (size == 32768 && settings_.spiFamily != 9) {
        for (uint32_t piece = 0; piece < size; piece += kP8eBytes)
            if (SpiEraseBlockOp(0x40, offset + piece, kP8eBytes) != 0) return -1;
        return 0;
    }
    return SpiEraseBlockOp(size == 4096 ? (four ? 0x21 : 0x20) : (four ? 0xDC : 0xD8), offset, size);
}

// The 8 KiB erase takes the 4 KiB block's neighbour in the aligned pair along: that block's data
// are read first and written back after the erase, so only the block asked for is erased. When
// they cannot be read nothing is erased; when they cannot be written back the erase fails.
int Engine::SpiEraseWithP8E(uint32_t offset) {
    const uint32_t pair = offset & ~(kP8eBytes - 1);
    const uint32_t partner = offset ^ 0x1000u;
    std::vector<uint8_t> kept(0x1000);
    if (SpiNorRead(partner, 0x1000, kept.data()) != 0) return Fail(ERROR_ERASE);
    if (SpiEraseBlockOp(0x40, pair, kP8eBytes) != 0) return -1;
    const uint32_t page = spiWorking_.pageBytes ? spiWorking_.pageBytes : 256;
    for (uint32_t at = 0; at < kept.size(); at += page) {
        const auto first = kept.begin() + at, last = first + page;
        if (std::all_of(first, last, [](uint8_t b) { return b == 0xFF; })) continue;
        if (SpiNorProgram(partner + at, page, &kept[at]) != 0) return Fail(ERROR_ERASE);
    }
    return 0;
}

// Chip erase of the main array, each die of a two-die part in turn, with the chip-erase time-out.
// A chip ignores a chip erase while any block-protection bit is set, and a part without error bits
// then looks ready at once: the bits are looked at first, so that is a failure, not an erase that
// never happened. A protected sector under the persistent or dynamic bits sets the erase error bit.
int Engine::SpiChipErase() {
    if (spiSpace_ != 0) return Fail(ERROR_INVALID_PARAMETER_INPUT);
    if (!SpiRecoverLink()) return Fail(ERROR_ERASE);
    const bool twoDies = static_cast<uint32_t>(settings_.expectedJedecId) == 0x7E4801u;
    for (uint32_t die = 0; die < (twoDies ? 2u : 1u); ++die) {
        uint32_t address = die ? 0x8000000u : 0;
        SpiRedirect(&address);
        uint8_t status1 = 0;
        if (SpiReadRegister(0x05, &status1) != 0 || (status1 & 0x1C)) {
            EndRedirect();
            return Fail(status1 & 0x1C ? ERROR_WRITE_PROTECTED : ERROR_ERASE);
        }
        // So do the persistent and dynamic bits of any sector; a part without error bits would
        // look done at once.
        for (uint32_t index = 0; GetBlockSize(index) != 0; ++index) {
            const uint32_t at = BlockIndexToOffset(index);
            if (at >= 0x8000000u) break;
            uint8_t ppb = 0xFF, dyb = 0xFF;
            if (SpiRead(0xE2, at, &ppb, 1) != 0 || SpiRead(0xE0, at, &dyb, 1) != 0) {
                EndRedirect();
                return Fail(ERROR_ERASE);
            }
            if (ppb != 0xFF || dyb != 0xFF) {
                EndRedirect();
                return Fail(ERROR_WRITE_PROTECTED);
            }
        }
        int state = 0;
        const int r = SpiWriteOp(4, &state, 0xC7, kSpiNoAddress, nullptr, 0);
        EndRedirect();
        if (r != 0 || state != kSpiReady || linkFailed_) return Fail(ERROR_ERASE);
    }
    return 0;
}

int Engine::SpiBlockStatus(uint32_t index, uint16_t* status) {
    if (!SpiRecoverLink()) return -1;
    const uint32_t offset = BlockIndexToOffset(index);
    uint8_t asp = 0, ppb = 0, dyb = 0, lock = 0;
    if (SpiRead(0x2B, kSpiNoAddress, &asp, 1) || SpiRead(0xE2, offset, &ppb, 1) || SpiRead(0xE0, offset, &dyb, 1) ||
        SpiRead(0xA7, kSpiNoAddress, &lock, 1))
        return -1;
    uint16_t s = asp & 0x06;
    s |= ppb < 0xFF ? kStatusPpbSet : kStatusPpbClear;
    s |= dyb < 0xFF ? kStatusDybSet : kStatusDybClear;
    s |= (lock & 1) ? kStatusPpbLockClear : kStatusPpbLockSet;
    *status = s;
    return 0;
}

int Engine::SpiSetBlockStatus(uint32_t argument, uint32_t status) {
    if (!SpiRecoverLink()) return Fail(ERROR_PROGRAM);
    const uint32_t passwordBits = kStatusPasswordProgram | kStatusPasswordUnlock;
    if ((status & passwordBits) == passwordBits) {
        // The read's buffer comes as a 32-bit address: only a buffer the host can vouch for is
        // written, anything else is refused without touching memory.
        if (argument == 0) return Fail(ERROR_INVALID_HANDLE_PARAM);
        if (SpiReadPassword() != 0) return Fail(ERROR_PROGRAM);
        if (!host_.WriteCallerBuffer(argument, spiPassword_, 8)) return Fail(ERROR_INVALID_HANDLE_PARAM);
        return 0;
    }
    int result = 0;
    auto step = [&](int r) {
        if (r != 0) result = -1;
    };
    auto op = [&](uint8_t command, uint32_t address) {
        int state = 0;
        return SpiWriteOp(1, &state, command, address, nullptr, 0) == 0 && state == kSpiReady ? 0 : -1;
    };
    if ((status & 0xFF) == 0) {
        uint32_t offset = 0;
        if (status & (kStatusPpbSet | kStatusDybClear | kStatusDybSet)) {
            if (GetBlockSize(argument) == 0) return Fail(ERROR_INVALID_PARAMETER_INPUT);
            offset = BlockIndexToOffset(argument);
        }
        if (status & kStatusPpbClear) step(op(0xE4, kSpiNoAddress));
        if (status & kStatusPpbSet) step(op(0xE3, offset));
        if (status & kStatusDybClear) step(SpiDybWrite(offset, 0xFF));
        if (status & kStatusDybSet) step(SpiDybWrite(offset, 0x00));
        if (status & kStatusPpbLockSet) step(op(0xA6, kSpiNoAddress));
        if (status & passwordBits) {
            const uint32_t slot = argument & 0xFFFF;
            if (slot < 4) {
                spiPasswordWords_[slot] = static_cast<uint16_t>(argument >> 16);
            } else if (slot == 0xFFFF) {
                for (int i = 0; i < 4; ++i) {
                    spiPassword_[2 * i] = static_cast<uint8_t>(spiPasswordWords_[i]);
                    spiPassword_[2 * i + 1] = static_cast<uint8_t>(spiPasswordWords_[i] >> 8);
                }
                step(status & kStatusPasswordProgram ? SpiPasswordProgram() : SpiPasswordUnlockWait());
            } else {
                return Fail(ERROR_INVALID_PARAMETER_INPUT);
            }
        }
    } else {
        static const struct {
            uint32_t bit;
            uint16_t pattern;
        } kAspBits[] = {{0x02, 0xFFFD}, {0x04, 0xFFFB}};
        for (const auto& b : kAspBits) {
            if (status & b.bit) continue;
            const uint8_t bytes[2] = {static_cast<uint8_t>(b.pattern), static_cast<uint8_t>(b.pattern >> 8)};
            int state = 0;
            step(SpiWriteOp(0, &state, 0x2F, kSpiNoAddress, bytes, 2) == 0 && state == kSpiReady ? 0 : -1);
        }
    }
    if (Failed(Flush()) || linkFailed_) {
        spiLinkLost_ = true;
        result = -1;
    }
    return result < 0 ? Fail(ERROR_PROGRAM) : 0;
}

int Engine::SpiSetAsoMode(uint32_t mode) {
    static const struct {
        uint32_t bit;
        uint32_t space;
        int capability;   // -1: every part has the space
    } kSpaces[] = {{0x4, 2, 0},       {0x8, 3, -1},       {0x10, 4, 4},       {0x10000, 16, 1}, {0x20000, 17, 2},
                   {0x40000, 18, 1},  {0x80000, 19, 1},   {0x100000, 20, 4},  {0x200000, 21, 6}, {0x20, 5, -1}};
    const bool leave = mode & 1;
    for (const auto& s : kSpaces) {
        if (!(mode & s.bit)) continue;
        if (leave) {
            spiSpace_ = 0;
            spiSpaceRefused_ = false;
            return 0;
        }
        if (s.capability >= 0 && !(spiWorking_.capabilities & (1u << s.capability))) {
            spiSpace_ = 0;
            spiSpaceRefused_ = true;
            return Fail(ERROR_ADDRESS_SPACE);
        }
        spiSpace_ = s.space;
        spiSpaceRefused_ = false;
        return 0;
    }
    if (leave) {
        spiSpace_ = 0;
        spiSpaceRefused_ = false;
    }
    return 0;
}

}  // namespace rook
