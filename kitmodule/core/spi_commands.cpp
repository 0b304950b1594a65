// The SPI command layer: frames on the kit's serial controller (command, address, dummy and data
// phases on one, two or four lines), the busy wait with its time bound, and the command sequences
// of the SPI engine: reads, page program, erases, register writes, bank, OTP, data learning,
// protection bits and the password.
#include <algorithm>
#include <cstdio>

#include "engine.h"
#include "lumivex/prompt.h"

namespace rook {

namespace {

// Serial controller registers, in bus words from the device base.
constexpr uint32_t kRegSingle = 0, kRegDual = 1, kRegQuad = 2, kRegFrame = 16, kRegReadMode = 32;
constexpr uint32_t kFrameOpen = 0, kFrameClose = 8;

bool FourByteWrite(uint8_t c) { return c == 0x12 || c == 0x21 || c == 0x34 || c == 0xDC || c == 0xE1 || c == 0xE3; }

struct ReadPhases {
    uint8_t addressBytes;   // 3 or 4
    uint32_t addressReg;
    uint8_t dummyBytes;
    uint32_t dummyReg;
    uint32_t dataReg;       // the lane register the data are read from
};

ReadPhases PhasesOf(uint8_t c) {
    switch (c) {
    case 0x0C: return {4, kRegSingle, 1, kRegSingle, kRegSingle};
    case 0x13: case 0xE0: case 0xE2: return {4, kRegSingle, 0, kRegSingle, kRegSingle};
    case 0x18: return {4, kRegSingle, 1, kRegSingle, kRegSingle};
    case 0x3C: return {4, kRegSingle, 1, kRegSingle, kRegDual};
    case 0x6C: return {4, kRegSingle, 1, kRegSingle, kRegQuad};
    case 0x3B: return {3, kRegSingle, 1, kRegSingle, kRegDual};
    case 0x6B: return {3, kRegSingle, 1, kRegSingle, kRegQuad};
    case 0xBB: return {3, kRegDual, 1, kRegDual, kRegDual};
    case 0xBC: return {4, kRegDual, 1, kRegDual, kRegDual};
    case 0xEB: return {3, kRegQuad, 3, kRegQuad, kRegQuad};
    case 0xEC: return {4, kRegQuad, 3, kRegQuad, kRegQuad};
    case 0x0B: case 0x48: case 0x4B: case 0x5A: return {3, kRegSingle, 1, kRegSingle, kRegSingle};
    case 0xAB: return {3, kRegSingle, 3, kRegSingle, kRegSingle};
    default: return {3, kRegSingle, 0, kRegSingle, kRegSingle};
    }
}

}  // namespace

void Engine::FillSpiCommandRecords() {
    // Family 1 (the user's own devices) reads its ID with 0x9F like the others: 0xFF is no command.
    static const uint8_t kCommands[][4] = {
        {0xFF, 0xFF, 0xFF, 0xFF}, {0xAB, 0x9F, 0xFF, 0xFF}, {0xAB, 0x9F, 0xFF, 0xFF}, {0xAB, 0x9F, 0x9F, 0xFF},
        {0xAB, 0x9F, 0x90, 0x9F}, {0xAB, 0x9F, 0x9F, 0x5A},
    };
    int row;
    switch (settings_.spiFamily) {
    case 1: row = 1; break;
    case 2: row = 2; break;
    case 3: case 5: case 7: case 8: case 9: row = 3; break;
    case 4: row = 4; break;
    case 6: row = 5; break;
    default: row = 0; break;
    }
    for (int i = 0; i < 2; ++i) {
        SpiCommandRecord& r = spiRecords_[i];
        r = SpiCommandRecord{};
        r.chips = i + 1;
        r.pageBytes = settings_.spiFamily == 4 ? 512 : 256;
        r.pageMask = r.pageBytes - 1;
        r.extendedIdBytes = std::min<uint32_t>(settings_.spi.extendedIdBytes, 4);
        r.capabilities = settings_.spi.registerMask;
        std::copy(kCommands[row], kCommands[row] + 4, r.commands);
    }
    spiBankCache_ = -1;
    spiSpace_ = 0;
    spiSpaceRefused_ = false;
}

int Engine::SpiCommand(uint8_t command, uint32_t address, const uint8_t* data, uint32_t count) {
    WriteBus(base_, kRegFrame, kFrameOpen);
    WriteBus(base_, kRegSingle, command);
    if (address != kSpiNoAddress)
        for (int shift = FourByteWrite(command) ? 24 : 16; shift >= 0; shift -= 8) WriteBus(base_, kRegSingle, (address >> shift) & 0xFF);
    const uint32_t lane = command == 0x32 || command == 0x34 ? kRegQuad : kRegSingle;
    for (uint32_t i = 0; i < count; ++i) WriteBus(base_, lane, data[i]);
    WriteBus(base_, kRegFrame, kFrameClose);
    return 0;
}

void Engine::SpiSimple(uint8_t command) { SpiCommand(command, kSpiNoAddress, nullptr, 0); }

int Engine::SpiRead(uint8_t command, uint32_t address, uint8_t* buffer, uint32_t count) {
    if (settings_.force80MHzSck) {
        // Plain reads are not specified at the fast clock: they go out as fast reads.
        WriteBus(base_, kRegReadMode, 4);
        if (command == 0x03) command = 0x0B;
        else if (command == 0x13) command = 0x0C;
    } else {
        WriteBus(base_, kRegReadMode, 0);
    }
    const ReadPhases p = PhasesOf(command);
    WriteBus(base_, kRegFrame, kFrameOpen);
    WriteBus(base_, kRegSingle, command);
    if (address != kSpiNoAddress) {
        // The parameter table (0x5A) takes its whole three-byte address like every other read:
        // with only the low byte sent, an offset past 255 would read the table's start again.
        for (int shift = p.addressBytes == 4 ? 24 : 16; shift >= 0; shift -= 8)
            WriteBus(base_, p.addressReg, (address >> shift) & 0xFF);
    }
    for (uint8_t i = 0; i < p.dummyBytes; ++i) WriteBus(base_, p.dummyReg, 0);
    int result = 0;
    if (count) {
        if (p.dataReg == kRegSingle && count == 1) {
            // A register read the kit did not answer holds nothing: taken as the chip's status, a
            // dead link would read as "ready" and every program and erase as done.
            buffer[0] = static_cast<uint8_t>(ReadBus(base_, kRegSingle));
            if (linkFailed_) result = -1;
        } else if (!ReadNorArray(base_, p.dataReg * bytesPerBusWord_, count, buffer)) {
            result = -1;
        }
    }
    WriteBus(base_, kRegFrame, kFrameClose);
    if (linkFailed_) spiLinkLost_ = true;
    return result;
}

int Engine::SpiReadIdentification(uint8_t* buffer, uint32_t count) {
    return SpiRead(spiWorking_.commands[1], kSpiNoAddress, buffer, count) == 0 ? 0 : -1;
}

int Engine::SpiReadData(uint32_t address, uint32_t count, uint8_t* buffer) {
    const bool four = settings_.force4ByteAddress != 0;
    switch (settings_.spiIoMode) {
    case 1: return SpiRead(four ? 0x13 : 0x03, address, buffer, count);
    case 2: return SpiRead(four ? 0x3C : 0x3B, address, buffer, count);
    case 4: return SpiRead(four ? 0x6C : 0x6B, address, buffer, count);
    default: return kSpiFailed;
    }
}

// After the kit was lost, the cycles it still held go out with the next flush and may start a
// program or erase on the chip: before the next operation they are sent, the reset line ends what
// they started, and the bank register is written again. While the kit is still away nothing is
// attempted.
bool Engine::SpiRecoverLink() {
    if (!spiLinkLost_) return true;
    if (!kit_ || Failed(kit_->Qflush())) {
        linkFailed_ = true;
        return false;
    }
    AbortChipOperation();
    spiBankCache_ = -1;
    spiLinkLost_ = linkFailed_;
    return !linkFailed_;
}

bool Engine::SpiFamilyIn(std::initializer_list<int> families) const {
    return std::find(families.begin(), families.end(), settings_.spiFamily) != families.end();
}

int Engine::SpiReadWipState(uint8_t* status, int* state) {
    int r = SpiReadRegister(0x05, status);
    if (r) return r;
    const uint8_t s = *status;
    if (s & 0x01) *state = kSpiBusy;
    else if (!SpiHasErrorBits()) *state = kSpiReady;
    else if (s & 0x20) *state = settings_.spiExtendedId == 0x301 ? kSpiReady : kSpiEraseError;
    else if (s & 0x40) *state = kSpiProgramError;
    else *state = kSpiReady;
    return 0;
}

// Every wait is bounded by time, also those of register writes (mode 0) and those where the chip
// reports a program or erase error: such a chip would otherwise hold the caller forever.
int Engine::SpiWaitWhileBusy(int* state, int mode) {
    *state = 0;
    const UserTimer timer = StartUserTimeout(mode);
    for (;;) {
        int r = SpiReadWipState(&spiLastStatus_, state);
        if (r) return r;
        if (*state == kSpiReady) return 0;
        if (*state == kSpiProgramError || *state == kSpiEraseError) {
            // The chip has finished and refused (a protected area, a locked register): there is
            // nothing to wait for. The error bits stay set until cleared, and left alone they
            // would fail every later wait.
            SpiSimple(0x30);
            Flush();
            return kSpiFailed;
        }
        if (TimedOut(timer)) break;
    }
    ShowFlashStatus("User timeout occurred...", spiLastStatus_);
    // Left running, the chip would drop the next command, and that command's wait would see this
    // operation end and take it for its own success: the reset line ends it (and with it the bank
    // register, which is written again before the next access).
    AbortChipOperation();
    spiBankCache_ = -1;
    return kSpiFailed;
}

int Engine::SpiWriteOp(int mode, int* state, uint8_t command, uint32_t address, const uint8_t* data, uint32_t count) {
    SpiSimple(0x06);
    SpiCommand(command, address, data, count);
    // Frames the kit did not take never reached the chip: no wait can make them a success.
    if (Failed(Flush())) {
        spiLinkLost_ = true;
        return kSpiFailed;
    }
    int r = SpiWaitWhileBusy(state, mode);
    if (r) return r;
    SpiSimple(0x04);
    return linkFailed_ ? kSpiFailed : 0;
}

int Engine::SpiPageProgram(uint8_t command, uint32_t address, const uint8_t* data, uint32_t count, int* state) {
    if (count > spiWorking_.pageBytes) return kSpiFailed;
    return SpiWriteOp(1, state, command, address, data, count);
}

int Engine::SpiProgramData(uint32_t address, const uint8_t* data, uint32_t count) {
    const int width = settings_.spiIoMode;
    if (width != 1 && width != 2 && width != 4) return -1;
    uint8_t command;
    if (settings_.force4ByteAddress) command = width == 4 ? 0x34 : 0x12;
    else command = width == 4 && settings_.spiFamily != 6 ? 0x32 : 0x02;
    const uint32_t page = spiWorking_.pageBytes ? spiWorking_.pageBytes : 256;
    uint32_t chunk = std::min(page - address % page, count);
    int state = kSpiReady;
    while (count > 0) {
        if (SpiPageProgram(command, address, data, chunk, &state) != 0 || state != kSpiReady) {
            SpiSimple(0x04);
            return -1;
        }
        address += chunk;
        data += chunk;
        count -= chunk;
        chunk = std::min(page, count);
    }
    SpiSimple(0x04);
    Flush();
    return state == kSpiReady && !linkFailed_ ? 0 : -1;
}

int Engine::SpiEraseOp(uint8_t command, uint32_t address) {
    int state = 0;
    int r = SpiWriteOp(3, &state, command, address, nullptr, 0);
    return r == 0 && state == kSpiReady ? 0 : -1;
}

int Engine::SpiOtpProgram(uint32_t address, const uint8_t* data, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        int state = 0;
        if (SpiWriteOp(1, &state, 0x42, address + i, data + i, 1) != 0 || state != kSpiReady) return -1;
    }
    return 0;
}

int Engine::SpiWriteRegister1(uint8_t value) {
    int state = 0;
    return SpiWriteOp(0, &state, 0x01, kSpiNoAddress, &value, 1) == 0 && state == kSpiReady ? 0 : -1;
}

int Engine::SpiWriteRegisters(const uint8_t* values, uint32_t count) {
    uint8_t bytes[2];
    if (count == 2) {
        bytes[0] = values[0];
        bytes[1] = values[1];
    } else {
        // The configuration register follows status register 1 in the frame: keep status 1.
        if (SpiReadRegister(0x05, &bytes[0])) return -1;
        bytes[1] = values[0];
    }
    int state = 0;
    return SpiWriteOp(0, &state, 0x01, kSpiNoAddress, bytes, 2) == 0 && state == kSpiReady ? 0 : -1;
}

// Only the parts with a third status register (0x33) take it in the frame: on the others the
// third byte lands in a register of their own (one-time bits among them), and 0x33 reads 0xFF.
int Engine::SpiWriteStatusSet(uint8_t value, int which) {
    const uint32_t count = SpiSecurityRegisterPart() ? 3 : 2;
    if (which > static_cast<int>(count)) return -1;
    uint8_t regs[3];
    if (SpiReadRegister(0x05, &regs[0]) || SpiReadRegister(0x35, &regs[1]) || (count == 3 && SpiReadRegister(0x33, &regs[2])))
        return -1;
    regs[std::max(which - 1, 0)] = value;
    int state = 0;
    int r = SpiWriteOp(0, &state, 0x01, kSpiNoAddress, regs, count);
    if (r) return r;
    return state == kSpiReady ? 0 : -1;
}

int Engine::SpiWriteStatus2Set(uint8_t value) {
    uint8_t regs[3];
    if (SpiReadRegister(0x05, &regs[0]) || SpiReadRegister(0x35, &regs[1]) || SpiReadRegister(0x07, &regs[2])) return -1;
    regs[2] = value;
    int state = 0;
    int r = SpiWriteOp(0, &state, 0x01, kSpiNoAddress, regs, 3);
    if (r) return r;
    return state == kSpiReady ? 0 : -1;
}

int Engine::SpiDataLearningProgram(uint8_t value) {
    SpiSimple(0x06);
    int state = 0;
    return SpiWriteOp(0, &state, 0x43, kSpiNoAddress, &value, 1) == 0 && state == kSpiReady ? 0 : -1;
}

int Engine::SpiDataLearningWriteVolatile(uint8_t value) {
    SpiSimple(0x06);
    SpiSimple(0x06);
    SpiCommand(0x4A, kSpiNoAddress, &value, 1);
    SpiSimple(0x04);
    if (Failed(Flush()) || linkFailed_) spiLinkLost_ = true;
    return spiLinkLost_ ? -1 : 0;
}

int Engine::SpiDybWrite(uint32_t address, uint8_t value) {
    SpiSimple(0x06);
    SpiCommand(0xE1, address, &value, 1);
    SpiSimple(0x04);
    if (Failed(Flush()) || linkFailed_) spiLinkLost_ = true;
    return spiLinkLost_ ? -1 : 0;
}

void Engine::SpiSelectBank(uint32_t bank) {
    if (spiBankCache_ == static_cast<int64_t>(bank)) return;
    spiBankCache_ = bank;
    uint8_t value = settings_.force4ByteAddress ? 0x80 : static_cast<uint8_t>(bank);
    SpiCommand(0x17, kSpiNoAddress, &value, 1);
}

int Engine::SpiReadPassword() { return SpiRead(0xE7, kSpiNoAddress, spiPassword_, 8); }

int Engine::SpiPasswordProgram() {
    int state = 0;
    int r = SpiWriteOp(0, &state, 0xE8, kSpiNoAddress, spiPassword_, 8);
    if (r) return r;
    if (SpiReadPassword() == 0) {
        char text[160];
        const uint8_t* b = spiPassword_;
        std::snprintf(text, sizeof text,
                      "Password Read (PASSRD E7h) shows 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X", b[0], b[1],
                      b[2], b[3], b[4], b[5], b[6], b[7]);
        LxMessageBox(nullptr, text, nullptr, LX_MB_OK);
    }
    return state == kSpiReady ? 0 : -1;
}

// After the unlock frame: the chip compares for a moment, then either frees the persistent bits
// or reports the mismatch in P_ERR. The wait has the program time-out as its bound.
int Engine::SpiPasswordUnlockWait() {
    SpiCommand(0xE9, kSpiNoAddress, spiPassword_, 8);
    Flush();
    const UserTimer timer = StartUserTimeout(1);
    for (;;) {
        uint8_t s = 0;
        if (SpiReadRegister(0x05, &s)) return kSpiFailed;
        if (s & 0x40) {
            if (LxMessageBox(nullptr, "Password given does not match.\nDo you want assert CLSR and RESET command? ", nullptr,
                             LX_MB_YESNO) == LX_IDYES) {
                SpiSimple(0x30);
                SpiSimple(0xF0);
                Flush();
                spiBankCache_ = -1;
            }
            return kSpiFailed;
        }
        if (!(s & 0x01)) break;
        if (TimedOut(timer)) {
            ShowFlashStatus("User timeout occurred...", s);
            return kSpiFailed;
        }
    }
    LxMessageBox(nullptr, "Password unlocked.", nullptr, LX_MB_OK);
    return 0;
}

}  // namespace rook
