#include "kitsim/spi_chip.h"

#include <algorithm>

namespace kitsim {

namespace {

constexpr uint8_t kWip = 0x01, kWel = 0x02, kEErr = 0x20, kPErr = 0x40;
constexpr uint8_t kQuadEnable = 0x02;     // configuration bit 1
constexpr uint8_t kParamsOnTop = 0x04;    // configuration bit 2
constexpr uint8_t kBottomProtect = 0x20;  // configuration bit 5 (status bit 5 on parts without error bits)
constexpr uint8_t kSecurityLocks = 0x38;  // configuration bits 3-5: security registers 1-3 locked
constexpr uint16_t kAspPasswordMode = 0x04;

uint8_t Log2(uint64_t v) {
    uint8_t n = 0;
    while ((1ull << n) < v && n < 63) ++n;
    return n;
}

void Put16(std::vector<uint8_t>& t, size_t at, uint32_t v) {
    t[at] = static_cast<uint8_t>(v);
    t[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& t, size_t at, uint32_t v) {
    Put16(t, at, v & 0xFFFF);
    Put16(t, at + 2, v >> 16);
}

bool IsQuad(uint8_t opcode) {
    return opcode == 0x6B || opcode == 0x6C || opcode == 0xEB || opcode == 0xEC || opcode == 0x32 || opcode == 0x34;
}

bool IsArrayRead(uint8_t opcode) {
    switch (opcode) {
    case 0x03: case 0x13: case 0x0B: case 0x0C: case 0x3B: case 0x3C:
    case 0x6B: case 0x6C: case 0xBB: case 0xBC: case 0xEB: case 0xEC: return true;
    default: return false;
    }
}

}  // namespace

SpiPart BessaSpiPart() {
    SpiPart p;
    p.name = "sim-spi-256m-bessa";
    p.id = {0x01, 0x02, 0x19, 0x4D, 0x01};
    p.cfiInId = true;
    p.sizeBytes = 32u << 20;
    p.parameterBytes = 128 * 1024;
    p.statusRegister2 = true;
    p.thirdWriteRegister = 2;
    p.otpBase = 0;
    p.otpBytes = 1024;
    for (uint32_t r = 0; r < 32; ++r) p.otpRegions.push_back({32 * r, 32, 0x10 + r / 8, static_cast<uint8_t>(r % 8)});
    return p;
}

SpiPart MarroSpiPart() {
    SpiPart p;
    p.name = "sim-spi-128m-marro";
    p.id = {0xEF, 0x40, 0x18};
    p.electronicSignature = 0x17;
    p.sfdp = true;
    p.sizeBytes = 16u << 20;
    p.p8eBytes = 0;
    p.errorBits = false;
    p.statusRegister3 = true;
    p.thirdWriteRegister = 3;
    p.bankRegister = false;
    p.asp = false;
    p.dataLearning = false;
    p.securityRegisters = 3;
    return p;
}

SpiPart PirelSpiPart() {
    SpiPart p;
    p.name = "sim-spi-64m-pirel";
    p.id = {0x01, 0x02, 0x16, 0x4D, 0x00};
    p.electronicSignature = 0x16;
    p.cfiInId = true;
    p.sizeBytes = 8u << 20;
    p.bankRegister = false;
    p.asp = false;
    p.dataLearning = false;
    p.otpBase = 0x100;
    p.otpBytes = 0x200;
    p.otpRegions = {{0x102, 8, 0x100, 0}, {0x10A, 8, 0x100, 1}};
    for (uint32_t r = 0; r < 16; ++r) p.otpRegions.push_back({0x114 + 16 * r, 16, 0x112 + r / 8, static_cast<uint8_t>(r % 8)});
    for (uint32_t r = 0; r < 14; ++r) p.otpRegions.push_back({0x216 + 16 * r, 16, 0x214 + r / 8, static_cast<uint8_t>(r % 8)});
    p.otpRegions.push_back({0x2F6, 10, 0x215, 6});
    return p;
}

bool SpiPartByName(const std::string& name, SpiPart* part) {
    if (name == "bessa") *part = BessaSpiPart();
    else if (name == "marro") *part = MarroSpiPart();
    else if (name == "pirel") *part = PirelSpiPart();
    else return false;
    return true;
}

std::vector<uint8_t> SpiChip::CfiTable(const SpiPart& part) {
    // Offsets below are those of the query (0x10 = 'Q'); the vector starts at 0x10.
    std::vector<uint8_t> t(0x70, 0x00);
    auto at = [&](size_t offset) -> size_t { return offset - 0x10; };
    t[at(0x10)] = 'Q';
    t[at(0x11)] = 'R';
    t[at(0x12)] = 'Y';
    Put16(t, at(0x13), 0x0002);
    Put16(t, at(0x15), 0x0051);
    t[at(0x1B)] = 0x27;
    t[at(0x1C)] = 0x36;
    t[at(0x1F)] = 0x06;
    t[at(0x20)] = 0x08;
    t[at(0x21)] = 0x08;
    t[at(0x22)] = 0x0F;
    t[at(0x23)] = 0x02;
    t[at(0x24)] = 0x02;
    t[at(0x25)] = 0x03;
    t[at(0x26)] = 0x03;
    t[at(0x27)] = Log2(part.sizeBytes);
    Put16(t, at(0x28), 0x0102);
    Put16(t, at(0x2A), Log2(part.pageBytes));
    size_t region = at(0x2D);
    uint8_t regions = 0;
    uint32_t rest = part.sizeBytes;
    if (part.parameterBytes && part.smallSectorBytes) {
        Put16(t, region, part.parameterBytes / part.smallSectorBytes - 1);
        Put16(t, region + 2, part.smallSectorBytes / 256);
        region += 4;
        ++regions;
        rest -= part.parameterBytes;
    }
    Put16(t, region, rest / part.sectorBytes - 1);
    Put16(t, region + 2, part.sectorBytes / 256);
    ++regions;
    t[at(0x2C)] = regions;
    const size_t pri = at(0x51);
    t[pri] = 'P';
    t[pri + 1] = 'R';
    t[pri + 2] = 'I';
    t[pri + 3] = '1';
    t[pri + 4] = '3';
    t[pri + 6] = 0x02;                                   // erase suspend
    t[pri + 0x0F] = part.parameterBytes ? 0x02 : 0x00;   // parameter sectors at the bottom
    t[pri + 0x10] = 0x01;                                // program suspend
    return t;
}

std::vector<uint8_t> SpiChip::SfdpTable(const SpiPart& part) {
    std::vector<uint8_t> t(0xA4, 0xFF);
    t[0] = 'S';
    t[1] = 'F';
    t[2] = 'D';
    t[3] = 'P';
    t[4] = 0x00;   // revision 1.0
    t[5] = 0x01;
    t[6] = 0x00;   // one parameter header
    // The basic flash parameter table: 9 double words at 0x80.
    t[8] = 0x00;
    t[9] = 0x00;
    t[10] = 0x01;
    t[11] = 9;
    t[12] = 0x80;
    t[13] = 0x00;
    t[14] = 0x00;
    uint32_t dw1 = 0x01 | 0x04 | (uint32_t(0x20) << 8) | (1u << 16) | (1u << 20) | (1u << 21) | (1u << 22);
    Put32(t, 0x80, dw1);
    Put32(t, 0x84, part.sizeBytes * 8u - 1);
    Put32(t, 0x88, 0x6B08EB44);
    Put32(t, 0x8C, 0xBB423B08);
    Put32(t, 0x90, 0xFFFFFFEE);
    Put32(t, 0x94, 0xFF00FFFF);
    Put32(t, 0x98, 0xFF00FFFF);
    Put32(t, 0x9C, 0x520F200C);
    Put32(t, 0xA0, 0x0000D810);
    return t;
}

SpiChip::SpiChip(SpiPart part, SimClock& clock) : part_(std::move(part)), clock_(clock) {
    array_.assign(part_.sizeBytes, 0xFF);
    otp_.assign(part_.otpBytes, 0xFF);
    security_.assign(part_.securityRegisters, std::vector<uint8_t>(256, 0xFF));
    const uint32_t sectors = part_.sizeBytes / part_.sectorBytes;
    ppb_.assign(sectors, 0xFF);
    dyb_.assign(sectors, 0xFF);
    if (part_.cfiInId) cfi_ = CfiTable(part_);
    if (part_.sfdp) sfdp_ = SfdpTable(part_);
    PowerOnState();
}

void SpiChip::PowerOnState() {
    wel_ = false;
    op_ = Op::None;
    opStuck_ = false;
    bank_ = 0;
    std::fill(dyb_.begin(), dyb_.end(), 0xFF);
    // In password mode the persistent bits stay frozen until the password is given.
    ppbLock_ = (asp_ & kAspPasswordMode) ? 1 : 0;
    vdlr_ = nvdlr_;
    if (part_.errorBits) status1_ &= static_cast<uint8_t>(~(kEErr | kPErr));
    selected_ = false;
}

void SpiChip::HardwareReset() { PowerOnState(); }
void SpiChip::PowerCycle() { PowerOnState(); }

bool SpiChip::Busy() {
    if (op_ == Op::None) return false;
    if (opStuck_) return true;
    if (clock_.NowNs() < opEndNs_) return true;
    op_ = Op::None;
    return false;
}

uint8_t SpiChip::Status1() {
    bool busy = Busy();
    return static_cast<uint8_t>(status1_ | (wel_ ? kWel : 0) | (busy ? kWip : 0));
}

bool SpiChip::Protected(uint32_t address) const {
    const uint32_t size = part_.sizeBytes;
    const uint8_t bp = (status1_ >> 2) & 7;
    if (bp) {
        const uint32_t span = bp == 7 ? size : size >> (7 - bp);
        const bool bottom = part_.errorBits ? (config_ & kBottomProtect) != 0 : (status1_ & kBottomProtect) != 0;
        if (bottom ? address < span : address >= size - span) return true;
    }
    if (part_.asp) {
        const uint32_t s = SectorOf(address);
        if (ppb_[s] == 0 || dyb_[s] == 0) return true;
    }
    return false;
}

SpiChip::Layout SpiChip::LayoutOf(uint8_t opcode) const {
    constexpr uint8_t kByMode = 0xFF;
    switch (opcode) {
    case 0x03: case 0x02: case 0x32: case 0x20: case 0xD8: return {kByMode, 0};
    case 0x0B: case 0x3B: case 0x6B: case 0xBB: return {kByMode, 1};
    case 0xEB: return {kByMode, 3};
    case 0x13: case 0x12: case 0x34: case 0x21: case 0xDC: case 0xE0: case 0xE1: case 0xE2: case 0xE3: return {4, 0};
    case 0x0C: case 0x3C: case 0x6C: case 0xBC: case 0x18: return {4, 1};
    case 0xEC: return {4, 3};
    case 0x40: case 0x44: case 0x42: case 0x90: return {3, 0};
    case 0x4B: case 0x48: case 0x5A: return {3, 1};
    case 0xAB: return {0, 3};
    default: return {0, 0};
    }
}

void SpiChip::Select(bool asserted) {
    if (asserted) {
        selected_ = true;
        frameIgnored_ = false;
        byteIndex_ = 0;
        in_.clear();
        ++frames_;
        return;
    }
    if (selected_ && byteIndex_ > 0 && !frameIgnored_) Execute();
    selected_ = false;
}

uint8_t SpiChip::Shift(uint8_t out, unsigned lanes) {
    (void)lanes;
    ++busBytes_;
    if (!selected_) return 0xFF;
    if (byteIndex_++ == 0) {
        opcode_ = out;
        layout_ = LayoutOf(out);
        addressBytes_ = layout_.addressBytes == 0xFF ? ((bank_ & 0x80) ? 4 : 3) : layout_.addressBytes;
        address_ = 0;
        dataIndex_ = 0;
        // A busy chip answers its status and takes clear status and reset; it ignores the rest.
        const bool allowed = out == 0x05 || out == 0x07 || out == 0x35 || out == 0x33 || out == 0x30 || out == 0xF0;
        if (Busy() && !allowed) frameIgnored_ = true;
        if (IsQuad(out) && !(config_ & kQuadEnable)) frameIgnored_ = true;
        return 0xFF;
    }
    uint32_t pos = byteIndex_ - 2;
    if (pos < addressBytes_) {
        address_ = (address_ << 8) | out;
        return 0xFF;
    }
    pos -= addressBytes_;
    if (pos < layout_.dummyBytes) return 0xFF;
    if (frameIgnored_) return 0xFF;
    in_.push_back(out);
    uint8_t r = ReadByte();
    ++dataIndex_;
    return r;
}

uint32_t SpiChip::ArrayAddress() const {
    uint32_t a = addressBytes_ == 4 ? address_ : ((uint32_t(bank_ & 0x7F) << 24) | address_);
    return a % part_.sizeBytes;
}

uint8_t SpiChip::ReadByte() {
    const uint32_t i = dataIndex_;
    if (IsArrayRead(opcode_)) return array_[(ArrayAddress() + i) % part_.sizeBytes];
    switch (opcode_) {
    case 0x05: return Status1();
    case 0x07: return part_.statusRegister2 ? status2_ : 0xFF;
    case 0x35: return config_;
    case 0x33: return part_.statusRegister3 ? status3_ : 0xFF;
    case 0x16: return part_.bankRegister ? bank_ : 0xFF;
    case 0x9F: {
        if (i < part_.id.size()) return part_.id[i];
        if (part_.cfiInId && i >= 0x10 && i - 0x10 < cfi_.size()) return cfi_[i - 0x10];
        return 0x00;
    }
    case 0xAB: return part_.electronicSignature;
    case 0x90: return ((address_ & 1) ^ (i & 1)) ? part_.electronicSignature : part_.id[0];
    case 0x5A: {
        uint32_t a = address_ + i;
        return a < sfdp_.size() ? sfdp_[a] : 0xFF;
    }
    case 0x4B: {
        uint32_t a = address_ + i;
        return a >= part_.otpBase && a - part_.otpBase < part_.otpBytes ? otp_[a - part_.otpBase] : 0xFF;
    }
    case 0x48: {
        uint32_t n = address_ >> 12;
        if (n < 1 || n > part_.securityRegisters) return 0xFF;
        return security_[n - 1][(address_ + i) & 0xFF];
    }
    case 0x41: return part_.dataLearning ? vdlr_ : 0xFF;
    case 0x2B: return part_.asp ? static_cast<uint8_t>(asp_ >> (8 * (i & 1))) : 0xFF;
    case 0xA7: return part_.asp ? ppbLock_ : 0xFF;
    case 0xE2: return part_.asp ? ppb_[SectorOf(ArrayAddress())] : 0xFF;
    case 0xE0: return part_.asp ? dyb_[SectorOf(ArrayAddress())] : 0xFF;
    case 0xE7:
        // Once the password mode is chosen the password cannot be read back.
        if (!part_.asp || !(asp_ & kAspPasswordMode)) return 0xFF;
        return static_cast<uint8_t>(password_ >> (8 * (i & 7)));
    case 0x18: return 0x00;
    default: return 0xFF;
    }
}

bool SpiChip::WriteCommand(uint8_t opcode) const {
    switch (opcode) {
    case 0x01: case 0x02: case 0x12: case 0x32: case 0x34: case 0x20: case 0x21: case 0x40: case 0xD8: case 0xDC:
    case 0x60: case 0xC7: case 0x42: case 0x44: case 0x43: case 0x4A: case 0x2F: case 0xE3: case 0xE4: case 0xA6:
    case 0xE1: case 0xE8: return true;
    default: return false;
    }
}

void SpiChip::StartOp(Op op, uint32_t us) {
    op_ = op;
    opEndNs_ = clock_.NowNs() + uint64_t(us) * 1000u;
    if ((op == Op::Program || op == Op::Erase || op == Op::Protection) && faults_.stuckBusy) opStuck_ = true;
}

void SpiChip::Refuse(Op op) {
    if (part_.errorBits) status1_ |= op == Op::Erase ? kEErr : kPErr;
}

void SpiChip::EraseRange(uint32_t start, uint32_t bytes, uint32_t us) {
    for (uint32_t a = start; a < start + bytes; a += part_.sectorBytes < bytes ? part_.sectorBytes : bytes)
        if (Protected(a)) return Refuse(Op::Erase);
    if (faults_.failErase) return Refuse(Op::Erase);
    std::fill_n(array_.begin() + start, bytes, 0xFF);
    StartOp(Op::Erase, us);
}

void SpiChip::Program() {
    const uint32_t start = ArrayAddress();
    if (Protected(start) || faults_.failProgram) return Refuse(Op::Program);
    const uint32_t page = start / part_.pageBytes * part_.pageBytes;
    // More bytes than a page: the last page's worth is what the chip keeps.
    const size_t n = in_.size(), from = n > part_.pageBytes ? n - part_.pageBytes : 0;
    for (size_t i = from; i < n; ++i) array_[page + (start - page + i) % part_.pageBytes] &= in_[i];
    StartOp(Op::Program, part_.pageProgramUs);
}

bool SpiChip::OtpLocked(uint32_t address) const {
    for (const SpiOtpRegion& r : part_.otpRegions)
        if (address >= r.start && address < r.start + r.bytes)
            return !(otp_[r.lockAddress - part_.otpBase] & (1u << r.lockBit));
    return false;
}

void SpiChip::ProgramOtp() {
    if (part_.securityRegisters) {
        const uint32_t n = address_ >> 12;
        if (n < 1 || n > part_.securityRegisters || (config_ & (0x04 << n))) return Refuse(Op::Program);
        for (size_t i = 0; i < in_.size(); ++i) security_[n - 1][(address_ + i) & 0xFF] &= in_[i];
        return StartOp(Op::Otp, part_.otpProgramUs * static_cast<uint32_t>(in_.size()));
    }
    for (size_t i = 0; i < in_.size(); ++i) {
        const uint32_t a = address_ + static_cast<uint32_t>(i);
        if (a < part_.otpBase || a - part_.otpBase >= part_.otpBytes || OtpLocked(a)) return Refuse(Op::Program);
    }
    for (size_t i = 0; i < in_.size(); ++i) otp_[address_ + i - part_.otpBase] &= in_[i];
    StartOp(Op::Otp, part_.otpProgramUs * static_cast<uint32_t>(in_.size()));
}

void SpiChip::WriteRegisters() {
    if (in_.empty()) return;
    const uint8_t status1Bits = part_.errorBits ? 0x9C : 0xFC;
    status1_ = static_cast<uint8_t>((status1_ & ~status1Bits) | (in_[0] & status1Bits));
    if (in_.size() >= 2) {
        // Security register locks are one-time bits: they can be set, never cleared.
        const uint8_t locks = part_.securityRegisters ? kSecurityLocks : 0;
        config_ = static_cast<uint8_t>((in_[1] & ~locks) | ((config_ | in_[1]) & locks));
    }
    if (in_.size() >= 3) {
        if (part_.thirdWriteRegister == 2) status2_ = in_[2];
        if (part_.thirdWriteRegister == 3) status3_ = in_[2];
    }
    StartOp(Op::Register, part_.registerWriteUs);
}

void SpiChip::Execute() {
    switch (opcode_) {
    case 0x06: wel_ = true; return;
    case 0x04: wel_ = false; return;
    case 0x30:
        if (part_.errorBits) status1_ &= static_cast<uint8_t>(~(kEErr | kPErr));
        return;
    case 0xF0: PowerOnState(); return;
    case 0x17:
        if (part_.bankRegister && !in_.empty()) bank_ = in_[0] & static_cast<uint8_t>(0x80 | ((part_.sizeBytes - 1) >> 24));
        return;
    case 0xE9: {
        if (!part_.asp || in_.size() < 8) return;
        uint64_t given = 0;
        for (int i = 7; i >= 0; --i) given = (given << 8) | in_[static_cast<size_t>(i)];
        if (given == password_) ppbLock_ = 1;
        else status1_ |= kPErr;
        StartOp(Op::Protection, part_.protectionUs);
        return;
    }
    default: break;
    }
    if (!WriteCommand(opcode_)) return;
    if (!wel_) {
        ++refusedWithoutWren_;
        return;
    }
    wel_ = false;
    const uint32_t size = part_.sizeBytes;
    switch (opcode_) {
    case 0x01: WriteRegisters(); break;
    case 0x02: case 0x12: case 0x32: case 0x34: Program(); break;
    case 0x20: case 0x21: {
        const uint32_t unit = part_.smallSectorBytes;
        if (!unit) break;
        const uint32_t a = ArrayAddress() / unit * unit;
        const bool top = (config_ & kParamsOnTop) != 0;
        if (part_.parameterBytes && (top ? a < size - part_.parameterBytes : a >= part_.parameterBytes)) {
            Refuse(Op::Erase);
            break;
        }
        EraseRange(a, unit, part_.smallEraseUs);
        break;
    }
    case 0x40:
        if (part_.p8eBytes) EraseRange(ArrayAddress() / part_.p8eBytes * part_.p8eBytes, part_.p8eBytes, part_.smallEraseUs);
        break;
    case 0xD8: case 0xDC: {
        const uint32_t a = ArrayAddress() / part_.sectorBytes * part_.sectorBytes;
        EraseRange(a, part_.sectorBytes, part_.sectorEraseUs);
        break;
    }
    case 0x60: case 0xC7: {
        bool any = ((status1_ >> 2) & 7) != 0;
        for (uint32_t a = 0; a < size && !any; a += part_.sectorBytes) any = Protected(a);
        if (any || faults_.failErase) {
            Refuse(Op::Erase);
            break;
        }
        std::fill(array_.begin(), array_.end(), 0xFF);
        StartOp(Op::Erase, part_.chipEraseUs);
        break;
    }
    case 0x42:
        if (part_.securityRegisters || part_.otpBytes) ProgramOtp();
        break;
    case 0x44: {
        const uint32_t n = address_ >> 12;
        if (!part_.securityRegisters || n < 1 || n > part_.securityRegisters) break;
        if (config_ & (0x04 << n)) {
            Refuse(Op::Erase);
            break;
        }
        std::fill(security_[n - 1].begin(), security_[n - 1].end(), 0xFF);
        StartOp(Op::Erase, part_.smallEraseUs);
        break;
    }
    case 0x43:
        if (part_.dataLearning && !in_.empty()) {
            nvdlr_ &= in_[0];
            vdlr_ = nvdlr_;
            StartOp(Op::Otp, part_.otpProgramUs);
        }
        break;
    case 0x4A:
        if (part_.dataLearning && !in_.empty()) vdlr_ = in_[0];
        break;
    case 0x2F:
        if (part_.asp && in_.size() >= 2) {
            asp_ &= static_cast<uint16_t>(in_[0] | (in_[1] << 8));
            StartOp(Op::Protection, part_.protectionUs);
        }
        break;
    case 0xE3:
        if (!part_.asp) break;
        if (!(ppbLock_ & 1)) {
            Refuse(Op::Program);
            break;
        }
        ppb_[SectorOf(ArrayAddress())] = 0x00;
        StartOp(Op::Protection, part_.protectionUs);
        break;
    case 0xE4:
        if (!part_.asp) break;
        if (!(ppbLock_ & 1)) {
            Refuse(Op::Erase);
            break;
        }
        std::fill(ppb_.begin(), ppb_.end(), 0xFF);
        StartOp(Op::Protection, part_.protectionUs);
        break;
    case 0xA6:
        if (part_.asp) ppbLock_ = 0;
        break;
    case 0xE1:
        if (part_.asp && !in_.empty()) dyb_[SectorOf(ArrayAddress())] = in_[0] == 0xFF ? 0xFF : 0x00;
        break;
    case 0xE8: {
        if (!part_.asp || in_.size() < 8) break;
        if (!(asp_ & kAspPasswordMode)) {
            Refuse(Op::Program);
            break;
        }
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | in_[static_cast<size_t>(i)];
        password_ &= v;
        StartOp(Op::Protection, part_.protectionUs);
        break;
    }
    default: break;
    }
}

}  // namespace kitsim
