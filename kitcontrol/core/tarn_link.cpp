#include "tarn_link.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "lumivex/kit_protocol.h"
#include "tarn_texts.h"

namespace tarn {

namespace {

// Dumps read the bus one word per USB round trip; past this many words a dump is refused rather than
// left running for hours.
constexpr uint64_t kMaxDumpUnits = 0x100000;
constexpr uint32_t kI2cReadMax = 60;
constexpr uint32_t kI2cWriteMax = 52;
constexpr uint32_t kDrainLimit = 1024;  // reads per endpoint while draining at connect

void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void PutBE16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

uint32_t GetBE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void NewPacket(uint8_t* p, uint8_t code) {
    std::memset(p, 0, kitproto::kPacketSize);
    p[0] = kitproto::kCommandMark;
    p[1] = code;
}

// Burst length in words → register 12 code; -1 when the kit has no such burst.
int BurstCode(uint32_t burstLength) {
    switch (burstLength) {
    case 4: return 0;
    case 8: return 1;
    case 16: return 2;
    case 256: return 3;
    default: return -1;
    }
}

struct Run {
    uint8_t count, value;
};
struct TemplateRow {
    uint8_t division;
    std::vector<Run> runs;
};

std::vector<RampUpParameter> BuildTemplates(const std::vector<TemplateRow>& rows) {
    std::vector<RampUpParameter> out;
    for (const auto& r : rows) {
        RampUpParameter p{};
        p.nDivision = r.division;
        unsigned i = 0;
        for (const auto& run : r.runs)
            for (unsigned k = 0; k < run.count && i < 64; ++k) p.nParameter[i++] = run.value;
        out.push_back(p);
    }
    return out;
}

const std::vector<RampUpParameter>& Templates(bool is33) {
    static const std::vector<Run> kFlat = {{2, 1}, {62, 2}};
    static const std::vector<Run> k18Late = {{2, 1}, {6, 2}, {21, 10}, {1, 30}, {1, 40}, {2, 50}, {1, 80},
                                             {4, 100}, {5, 200}, {21, 250}};
    static const std::vector<Run> k33Late = {{2, 1}, {3, 2}, {1, 20}, {1, 40}, {1, 80}, {1, 180}, {55, 250}};
    static const std::vector<RampUpParameter> t18 = BuildTemplates({
        {3, kFlat},
        {4, kFlat},
        {4, {{46, 10}, {15, 100}, {3, 250}}},
        {5, {{42, 10}, {2, 20}, {2, 30}, {2, 50}, {5, 100}, {7, 200}, {4, 250}}},
        {5, {{34, 10}, {2, 20}, {1, 30}, {2, 50}, {3, 100}, {2, 200}, {20, 250}}},
        {6, {{32, 10}, {2, 20}, {1, 30}, {2, 50}, {3, 100}, {2, 200}, {22, 250}}},
        {7, {{2, 1}, {6, 2}, {23, 10}, {2, 20}, {1, 30}, {2, 50}, {3, 100}, {2, 200}, {23, 250}}},
        {8, k18Late}, {9, k18Late}, {10, k18Late}, {11, k18Late}, {12, k18Late}, {13, k18Late}, {14, k18Late},
        {15, k18Late}, {15, k18Late},
    });
    static const std::vector<RampUpParameter> t33 = BuildTemplates({
        {2, kFlat},
        {3, kFlat},
        {4, kFlat},
        {5, {{2, 1}, {17, 2}, {9, 5}, {36, 15}}},
        {5, {{2, 1}, {17, 2}, {3, 5}, {1, 10}, {41, 100}}},
        {6, {{2, 1}, {14, 2}, {2, 10}, {2, 30}, {44, 100}}},
        {6, {{2, 1}, {9, 2}, {1, 5}, {1, 20}, {2, 40}, {1, 80}, {1, 180}, {47, 250}}},
        {6, {{2, 1}, {6, 2}, {1, 20}, {2, 40}, {1, 80}, {52, 250}}},
        {7, {{2, 1}, {3, 2}, {1, 20}, {2, 40}, {1, 80}, {55, 250}}},
        {8, k33Late}, {9, k33Late}, {10, k33Late}, {11, k33Late}, {12, k33Late}, {13, k33Late}, {14, k33Late},
    });
    return is33 ? t33 : t18;
}

}  // namespace

const RampUpParameter& RampUpTemplate(bool is33Volt, unsigned index) { return Templates(is33Volt)[index & 15]; }

TarnLink::TarnLink() : lastSent_(kLastSentSize, 0) {}

Result TarnLink::Fail(const char* text, HResult hr) {
    lastMessage_ = text;
    return Result{hr, text};
}

// ---------------------------------------------------------------------------------------------
// Connection

void TarnLink::Attach(TarnPipes* pipes) {
    pipes_ = pipes;
    stream_.assign(kStreamBufferSize, 0);
    queueLength_ = 0;
    std::memset(answer_, 0, sizeof answer_);
    std::vector<uint8_t> scratch(65536);
    for (uint8_t ep : {kEpDataIn, kEpCommandIn}) {
        uint32_t saved = pipes_->Timeout(ep);
        pipes_->SetTimeout(ep, 100);
        // A kit that keeps streaming must not hold the connect forever.
        for (uint32_t i = 0; i < kDrainLimit; ++i) {
            uint32_t n = static_cast<uint32_t>(scratch.size());
            if (!pipes_->Transfer(ep, scratch.data(), n) || n == 0) break;
        }
        pipes_->SetTimeout(ep, saved);
    }
    for (uint8_t ep : {kEpDataIn, kEpCommandIn}) {
        pipes_->Abort(ep);
        pipes_->Reset(ep);
    }
}

void TarnLink::Detach() {
    pipes_ = nullptr;
    stream_.clear();
    stream_.shrink_to_fit();
    queueLength_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Transport

bool TarnLink::doEP1_Command(const uint8_t* packet, uint8_t* answer) {
    if (!pipes_) return false;
    uint8_t out[64];
    std::memcpy(out, packet, 64);
    uint32_t n = 64;
    if (!pipes_->Transfer(kEpCommandOut, out, n) || n != 64) {
        std::printf("1.Error doEP1_WRITE\n");
        return false;
    }
    n = 64;
    if (!pipes_->Transfer(kEpCommandIn, answer, n) || n != 64) {
        std::printf("2.Error doEP1_READ\n");
        return false;
    }
    return true;
}

bool TarnLink::SendBusStream(const uint8_t* bytes, uint32_t length) {
    if (!pipes_) return false;
    uint32_t padded = length % 512 ? length + 512 - length % 512 : length;
    std::vector<uint8_t> out(padded, 0);
    if (length) std::memcpy(out.data(), bytes, length);
    uint32_t keep = std::min(padded, kLastSentSize);
    std::memcpy(lastSent_.data(), out.data(), keep);
    // Only what the last transfer left behind needs clearing, not the whole 64 KiB every time.
    if (lastSentUsed_ > keep) std::fill(lastSent_.begin() + keep, lastSent_.begin() + lastSentUsed_, 0);
    lastSentUsed_ = keep;
    uint32_t n = padded;
    return pipes_->Transfer(kEpStreamOut, out.data(), n) && n == padded;
}

bool TarnLink::QueueRegisterWrite(int reg, uint8_t value) {
    uint8_t pair[2] = {value, kitproto::StreamRegister(reg)};
    return SendBusStream(pair, 2);
}

bool TarnLink::QueueAddressCycle(uint32_t address) {
    // Building in the stream buffer would overwrite queued pairs; the callers refuse a non-empty
    // queue first, and this builds its own copy all the same.
    Pairs p;
    for (int r = 0; r < 4; ++r) regs_[r] = 0xFF;
    for (int r = 0; r < 4; ++r) regs_[4 + r] = static_cast<uint8_t>(address >> (24 - 8 * r));
    for (int r = 0; r < 8; ++r) AddRegister(p, r);
    AddPair(p, 3, kitproto::kStreamBusCycle);
    return SendBusStream(p.data(), static_cast<uint32_t>(p.size()));
}

uint32_t TarnLink::BusAddress(uint32_t address) const {
    return (configured_ && (memConfig_ == 2 || memConfig_ == 3)) ? address << 1 : address;
}

bool TarnLink::SetupArrayRead(uint8_t mode, uint32_t address, uint32_t length, uint8_t width, uint8_t* destination,
                              bool convertAddress) {
    uint8_t p[64];
    NewPacket(p, kitproto::kCmdArrayReadSetup);
    p[2] = mode;
    p[3] = static_cast<uint8_t>(width + (configured_ ? 0x80 : 0) + (memType_ == 2 ? 0x40 : 0));
    PutBE32(p + 4, convertAddress ? BusAddress(address) : address);
    PutBE32(p + 8, length);
    std::memset(lastReadSetup_, 0, sizeof lastReadSetup_);
    std::memcpy(lastReadSetup_, p, 12);
    // A read that failed after its set-up (a pulled cable, a time-out) may have left its data
    // waiting on the endpoint, where it would be taken for the next read's.
    if (dataInDirty_) pipes_->Reset(kEpDataIn);
    dataInDirty_ = true;
    if (!doEP1_Command(p, answer_)) return false;
    // The kit refuses a set-up it cannot serve and then sends no data: do not wait for it.
    if (answer_[0] == kitproto::kAnswerMark && answer_[1] == kitproto::kCmdArrayReadSetup && answer_[2] != 0) {
        dataInDirty_ = false;
        return false;
    }
    uint32_t n = length;
    // A short answer is a failed read: the caller's buffer would hold stale bytes.
    bool ok = pipes_->Transfer(kEpDataIn, destination, n) && n == length;
    dataInDirty_ = !ok;
    return ok;
}

bool TarnLink::BurstWriteData(uint32_t burstIndex, const uint8_t* source, uint32_t burstBytes, uint32_t burstCount) {
    uint8_t p[64];
    NewPacket(p, kitproto::kCmdBurstWriteSetup);
    p[2] = 1;
    p[3] = 1;
    uint32_t words = burstBytes * burstCount / 2;
    PutBE16(p + 4, burstBytes / 2);
    PutBE16(p + 6, words & 0xFFFF);
    PutBE16(p + 8, words >> 16);
    PutBE16(p + 10, burstIndex);
    if (!doEP1_Command(p, answer_)) {
        std::printf("Failed to setup Burst Write Mode\n");
        return false;
    }
    bool sent = SendBusStream(source, burstBytes * burstCount);
    if (!sent) std::printf("Error Write Burst data\n");
    NewPacket(p, kitproto::kCmdBurstWriteSetup);
    bool back = doEP1_Command(p, answer_);
    if (!back) std::printf("Failed to setup back to asynchronous mode\n");
    return sent && back;
}

bool TarnLink::Read_I2C_DEVICE(uint8_t device, uint32_t address, uint8_t addressMode, uint32_t length, uint8_t* out) {
    if (length > kI2cReadMax) return false;
    uint8_t p[64];
    NewPacket(p, kitproto::kCmdI2cRead);
    p[3] = device;
    p[4] = 1;
    p[5] = addressMode;
    p[7] = static_cast<uint8_t>(length);
    for (int i = 0; i < 4; ++i) p[8 + i] = static_cast<uint8_t>(address >> (8 * i));
    if (!doEP1_Command(p, answer_)) {
        std::printf("Failed to Read_I2C_DEVICE\n");
        return false;
    }
    if (answer_[2] != 0) {
        std::printf("READ_I2C_DEVICE response error\n");
        return false;
    }
    std::memcpy(out, answer_ + 4, length);
    return true;
}

bool TarnLink::Write_I2C_DEVICE(uint8_t device, uint8_t addressMode, uint32_t length, const uint8_t* data) {
    if (length > kI2cWriteMax) return false;
    uint8_t p[64];
    NewPacket(p, kitproto::kCmdI2cWrite);
    p[3] = device;
    p[4] = 1;
    p[5] = addressMode;
    p[7] = static_cast<uint8_t>(length);
    std::memcpy(p + 12, data, length);
    if (!doEP1_Command(p, answer_)) {
        std::printf("Failed to Write_I2C_DEVICE\n");
        return false;
    }
    if (answer_[2] != 0) {
        std::printf("WRITE_I2C_DEVICE response error\n");
        return false;
    }
    return true;
}

uint32_t TarnLink::ConvertPollingDuration(uint32_t duration) {
    if (duration == 0) return 0;
    double d = std::max<uint32_t>(duration, 10000);
    double count = (d - 35.0) / 11.5 + 0.5;
    uint32_t c = static_cast<uint32_t>(count);
    return c < 1 ? 1 : c;
}

bool TarnLink::SetupPollingTimer(uint32_t enable, uint32_t duration, bool method2) {
    uint8_t p[64];
    NewPacket(p, kitproto::kCmdPollingSetup);
    p[2] = method2 ? 1 : 0;
    p[3] = 1;
    PutBE32(p + 4, enable);
    PutBE32(p + 8, ConvertPollingDuration(duration));
    return doEP1_Command(p, answer_);
}

bool TarnLink::SetupMemoryMode(uint8_t mode, uint8_t value) {
    uint8_t p[64];
    NewPacket(p, kitproto::kCmdMemoryModeSelect);
    p[2] = mode;
    p[3] = value;
    return doEP1_Command(p, answer_) && answer_[0] == kitproto::kAnswerMark && answer_[1] == kitproto::kCmdMemoryModeSelect;
}

// ---------------------------------------------------------------------------------------------
// Queue and direct writes

void TarnLink::LoadAddress(Pairs& p, uint32_t address) {
    uint32_t a = BusAddress(address);
    for (int r = 0; r < 4; ++r) {
        regs_[4 + r] = static_cast<uint8_t>(a >> (24 - 8 * r));
        AddRegister(p, 4 + r);
    }
}

Result TarnLink::Enqueue(const Pairs& p, const char* errorText, const char* incompleteText) {
    if (!pipes_) return Fail(errorText);
    uint32_t before = queueLength_;
    std::memcpy(stream_.data() + queueLength_, p.data(), p.size());
    queueLength_ += static_cast<uint32_t>(p.size());
    if (queueLength_ < kQueueSendThreshold) return {};
    uint32_t send = queueLength_ / 512 * 512;
    if (!SendBusStream(stream_.data(), send)) {
        // Keep the queue inside its buffer: the pairs of this call are not queued.
        queueLength_ = before;
        return Fail(errorText);
    }
    uint32_t rest = queueLength_ - send;
    std::memmove(stream_.data(), stream_.data() + send, rest);
    queueLength_ = rest;
    if (rest) return Fail(incompleteText);
    return {};
}

Result TarnLink::DirectWrite(const Pairs& p, const char* errorText) {
    if (queueLength_) return Fail(text::kQueueNotEmpty);
    return Check(SendBusStream(p.data(), static_cast<uint32_t>(p.size())), errorText);
}

// Data registers of a bus write: 0-3 for 32 bits, 2-3 for 16, 3 for 8; then the address and the cycle.
TarnLink::Pairs TarnLink::WritePairs(uint32_t address, uint32_t value, unsigned width, uint8_t pollingCode) {
    Pairs p;
    for (int r = 4 - static_cast<int>(width); r < 4; ++r) {
        regs_[r] = static_cast<uint8_t>(value >> (8 * (3 - r)));
        AddRegister(p, r);
    }
    LoadAddress(p, address);
    AddPair(p, pollingCode, kitproto::kStreamBusCycle);
    return p;
}

Result TarnLink::Write32(uint32_t address, uint32_t value) {
    return DirectWrite(WritePairs(address, value, 4, 3), text::kWrite32);
}

Result TarnLink::Write16(uint32_t address, uint16_t value) {
    return DirectWrite(WritePairs(address, value, 2, 3), text::kWrite16);
}

Result TarnLink::Write8(uint32_t address, uint8_t value) {
    return DirectWrite(WritePairs(address, value, 1, 3), text::kWrite8);
}

Result TarnLink::Qwrite32(uint32_t address, uint32_t value, uint8_t pollingCode) {
    return Enqueue(WritePairs(address, value, 4, pollingCode), text::kQwrite32, text::kQwrite32Incomplete);
}

Result TarnLink::Qwrite16(uint32_t address, uint16_t value, uint8_t pollingCode) {
    return Enqueue(WritePairs(address, value, 2, pollingCode), text::kQwrite16, text::kQwrite16Incomplete);
}

Result TarnLink::Qwrite8(uint32_t address, uint8_t value, uint8_t pollingCode) {
    return Enqueue(WritePairs(address, value, 1, pollingCode), text::kQwrite8, text::kQwrite8Incomplete);
}

Result TarnLink::QwriteBurstData(uint16_t data) {
    Pairs p{static_cast<uint8_t>(data), static_cast<uint8_t>(data >> 8)};
    return Enqueue(p, text::kQwriteBurstData, text::kQwriteBurstDataIncomplete);
}

Result TarnLink::QwriteBufCmd0029_0029(uint8_t pollingCode) {
    Pairs p;
    AddPair(p, pollingCode, kitproto::kStreamBufferConfirm);
    return Enqueue(p, text::kProgramWriteBuffer, text::kProgramWriteBufferIncomplete);
}

Result TarnLink::Qflush() {
    if (queueLength_ == 0) return {};
    uint32_t size = queueLength_ / 512 * 512 + 512;
    std::fill(stream_.begin() + queueLength_, stream_.begin() + size, 0);
    if (!SendBusStream(stream_.data(), size)) return Fail(text::kQflush);
    queueLength_ = 0;
    return {};
}

// ---------------------------------------------------------------------------------------------
// Status and configuration

Result TarnLink::StatusCommand(uint8_t* answer, const char* text) {
    uint8_t p[64];
    NewPacket(p, kitproto::kCmdStatus);
    return Check(doEP1_Command(p, answer), text);
}

Result TarnLink::GetFIRMWARE_ID(uint32_t* id) {
    Result r = StatusCommand(answer_, text::kReadFirmwareId);
    if (r.Ok()) *id = GetBE32(answer_ + 16);
    return r;
}

Result TarnLink::GetCPLD_ID(uint32_t* id) {
    Result r = StatusCommand(answer_, text::kReadCpldId);
    if (r.Ok()) *id = GetBE32(answer_ + 12);
    return r;
}

Result TarnLink::GetUSB_HighSpeedFlag(uint8_t* flag) {
    Result r = StatusCommand(answer_, text::kHighSpeedFlag);
    if (r.Ok()) *flag = answer_[3] >> 7;
    return r;
}

Result TarnLink::TarnConfiguration(uint8_t memType, uint8_t memConfig, uint8_t chipSel) {
    static const struct {
        uint8_t reg10Bits, width, reg11;
    } kConfig[4] = {{0x00, 1, 0x1C}, {0x20, 2, 0x2C}, {0x40, 4, 0x3C}, {0x60, 4, 0x3C}};
    // Validate before anything changes, so a refused configuration leaves the last good one.
    if (memConfig > 3) return Fail(text::kInvalidMemConfig);
    configured_ = true;
    memType_ = memType;
    memConfig_ = memConfig;
    busWidth_ = kConfig[memConfig].width;
    regs_[10] = static_cast<uint8_t>((regs_[10] & ~0x70) | kConfig[memConfig].reg10Bits | 0x04);
    if (memType == 2) regs_[10] |= 0x80;
    if (memType == 3) regs_[10] |= 0x01;
    for (int r = 0; r < 4; ++r) regs_[r] = 0;
    regs_[8] = static_cast<uint8_t>((regs_[8] & ~0x30) | ((chipSel << 4) & 0x30));
    regs_[9] |= 0x04;
    uint8_t address = 0;
    if (memType == 1) {
        SetupMemoryMode(1, 0);
        regs_[10] |= 0x08;
        regs_[9] &= ~0x80;
    } else {
        // Every other memory type is on the parallel bus: a kit left on the serial interface by
        // an SPI device before would not pass a single cycle to it.
        SetupMemoryMode(0, 0);
        regs_[10] &= ~0x08;
        if (memType == 4) {
            regs_[8] &= ~0x08;
            regs_[9] |= 0x80;
            address = 0xFF;
        } else if (memType == 5 || memType == 6) {
            regs_[8] |= 0x08;
            regs_[9] |= 0x80;
            address = 0xFF;
        } else {
            regs_[9] &= ~0x80;
        }
    }
    for (int r = 4; r < 8; ++r) regs_[r] = address;
    regs_[12] = static_cast<uint8_t>((regs_[12] & ~0x04) | (memType == 6 ? 0x04 : 0));
    regs_[11] = kConfig[memConfig].reg11;
    Pairs p;
    for (int r = 0; r < 16; ++r) AddRegister(p, r);
    return Check(SendBusStream(p.data(), static_cast<uint32_t>(p.size())), text::kWriteError);
}

Result TarnLink::ResetMemory(uint8_t socketType, uint8_t memType) {
    (void)memType;
    if (socketType == 1) {
        static const uint8_t kReset[4] = {0x00, 0x00, 0x00, 0x11};
        Write_I2C_DEVICE(kitproto::kI2cPowerSwitch, 0, 4, kReset);
        return {};
    }
    bool ok = true;
    for (bool high : {true, false, true}) {
        regs_[11] = static_cast<uint8_t>(high ? regs_[11] | 0x04 : regs_[11] & ~0x04);
        ok = QueueRegisterWrite(11, regs_[11]) && ok;
    }
    uint8_t p[64];
    NewPacket(p, kitproto::kCmdMemoryReset);
    ok = doEP1_Command(p, answer_) && ok;
    return Check(ok, text::kResetMemory);
}

Result TarnLink::MemControlMode(uint8_t chipSel, uint8_t accessMode, uint32_t burstLength) {
    uint8_t r8 = static_cast<uint8_t>((regs_[8] & ~0x34) | ((chipSel & 3) << 4));
    uint8_t r12 = regs_[12] & ~0x07;
    if (accessMode == 3) r8 |= 0x04;
    if (accessMode == 2) {
        int code = BurstCode(burstLength);
        if (code < 0) return Fail(text::kInvalidBurstLength);
        r12 = static_cast<uint8_t>(r12 | code);
        r8 |= 0x02;
    }
    regs_[8] = r8;
    regs_[12] = r12;
    Pairs p;
    AddRegister(p, 8);
    AddRegister(p, 12);
    return Check(SendBusStream(p.data(), static_cast<uint32_t>(p.size())), text::kMemControl);
}

Result TarnLink::ConfigTarnPollingMethod(uint8_t pollingCode, uint32_t duration) {
    pollingCode_ = pollingCode;
    bool ok;
    if (pollingCode == 2) ok = SetupPollingTimer(1, duration, true);
    else if (pollingCode == 3) ok = SetupPollingTimer(0, 0, false);
    else ok = SetupPollingTimer(1, duration, false);
    if (pipes_) {
        if (pollingCode == 3) {
            pipes_->SetTimeout(kEpStreamOut, 10000);
        } else {
            // Saturate rather than wrap: a duration just below 2^32 must not become "infinite" or a
            // few milliseconds.
            uint32_t ms = (duration == 0 || duration == kInfinite) ? kInfinite
                          : duration > kInfinite - 1 - 1000 ? kInfinite - 1
                                                            : duration + 1000;
            for (uint8_t ep : {kEpStreamOut, kEpDataIn, kEpCommandOut, kEpCommandIn}) pipes_->SetTimeout(ep, ms);
        }
    }
    return Check(ok, text::kPollingTimer);
}

Result TarnLink::GetTarnPollingStatus(uint8_t* status) {
    uint8_t p[64];
    NewPacket(p, kitproto::kCmdPollingStatus);
    if (!doEP1_Command(p, answer_)) return Fail(text::kPollingStatus);
    *status = answer_[3];
    return {};
}

// Register 11 carries both socket voltage controls; settings 0, 1 and 3 are the only ones wired.
Result TarnLink::VoltageControl(uint8_t setting, uint8_t mask, uint8_t bits1, const char* invalidText,
                                const char* errorText) {
    if (setting != 0 && setting != 1 && setting != 3) return Fail(invalidText);
    uint8_t bits = setting == 0 ? 0 : setting == 1 ? bits1 : mask;
    regs_[11] = static_cast<uint8_t>((regs_[11] & ~mask) | bits);
    return Check(QueueRegisterWrite(11, regs_[11]), errorText);
}

Result TarnLink::TarnACCVoltageCtrl(uint8_t setting) {
    return VoltageControl(setting, 0x09, 0x08, text::kInvalidAcc, text::kAccControl);
}

Result TarnLink::TarnProtectVoltageCtrl(uint8_t setting) {
    return VoltageControl(setting, 0x06, 0x04, text::kInvalidProtect, text::kProtectControl);
}

Result TarnLink::PowerControl(uint8_t on) {
    regs_[12] = static_cast<uint8_t>(on ? regs_[12] | 0x08 : regs_[12] & ~0x08);
    return Check(QueueRegisterWrite(12, regs_[12]), text::kPowerControl);
}

Result TarnLink::SetRampUpParameter(uint8_t is33Volt, const RampUpParameter& parameter) {
    const uint8_t target = is33Volt ? 16 : 17;
    Pairs p;
    AddPair(p, regs_[12] & ~0x10, kitproto::StreamRegister(12));
    regs_[12] |= 0x10;
    AddPair(p, regs_[12], kitproto::StreamRegister(12));
    AddPair(p, parameter.nDivision, kitproto::StreamRegister(target));
    for (uint8_t b : parameter.nParameter) AddPair(p, b, kitproto::StreamRegister(target));
    return Check(SendBusStream(p.data(), static_cast<uint32_t>(p.size())), text::kSetRampUpParameter);
}

Result TarnLink::SetRampUpTemplate(int32_t index18, int32_t index33) {
    if (index18 < 0 || index18 > 15) return Fail(text::kInvalidRampUpTemplate);
    Result r = SetRampUpParameter(0, RampUpTemplate(false, static_cast<unsigned>(index18)));
    if (!r.Ok()) return r;
    if (index33 < 0 || index33 > 15) return Fail(text::kInvalidRampUpTemplate);
    return SetRampUpParameter(1, RampUpTemplate(true, static_cast<unsigned>(index33)));
}

Result TarnLink::SetInitialAccessCycle(uint8_t cycles) {
    if (cycles < 1 || cycles > 20) return Fail(text::kAccessCycleRange);
    regs_[18] = static_cast<uint8_t>((regs_[18] & 0xE0) | cycles);
    return Check(QueueRegisterWrite(18, regs_[18]), text::kAccessCycle);
}

Result TarnLink::SetVoltage(int32_t source, uint32_t millivolts) {
    // Only the 1.8 V/VIO regulator exists; negative source numbers are no more real than 1.
    if (source != 0) return Fail(text::kNotImplemented, kE_NOTIMPL);
    if (millivolts < 1000 || millivolts > 3500) return Fail(text::kInvalidVoltage, kE_INVALIDARG);
    uint8_t p[64];
    NewPacket(p, kitproto::kCmdSupplyVoltage);
    p[3] = kitproto::kSupplyVio;
    uint32_t step = (millivolts - 1000) / 100;
    for (int i = 0; i < 4; ++i) p[4 + i] = static_cast<uint8_t>(step >> (8 * i));
    if (!doEP1_Command(p, answer_)) return Fail(text::kNoCommunication);
    if (answer_[2] != 0) return Fail(text::kSetupVcc);
    return {};
}

// ---------------------------------------------------------------------------------------------
// Reads

Result TarnLink::SingleRead(uint32_t address, unsigned width, void* value, const char* text) {
    uint8_t bytes[4] = {};
    if (!SetupArrayRead(0, address, width, static_cast<uint8_t>(width), bytes)) return Fail(text);
    std::memcpy(value, bytes, width);  // host byte order, as the kit sends low byte first
    return {};
}

Result TarnLink::Read32(uint32_t address, uint32_t* value) {
    uint8_t b[4];
    Result r = SingleRead(address, 4, b, text::kRead32);
    if (r.Ok()) *value = b[0] | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    return r;
}

Result TarnLink::Read16(uint32_t address, uint16_t* value) {
    uint8_t b[2];
    Result r = SingleRead(address, 2, b, text::kRead16);
    if (r.Ok()) *value = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return r;
}

Result TarnLink::Read8(uint32_t address, uint8_t* value) { return SingleRead(address, 1, value, text::kRead8); }

Result TarnLink::ChunkedRead(uint32_t address, uint32_t length, uint8_t width, uint8_t* buffer, uint8_t mode,
                             bool advance) {
    if (width != 1 && width != 2 && width != 4) return Fail(text::kInvalidBusWidth);
    uint32_t done = 0;
    do {
        uint32_t chunk = std::min(length - done, kReadChunk);
        if (!SetupArrayRead(mode, address, chunk, width, buffer + done)) return Fail(text::kArrayRead);
        done += chunk;
        // The address counts bus words of the width, so it moves by words, not bytes.
        if (advance) address += chunk / width;
    } while (done < length);
    return {};
}

Result TarnLink::AsyncArrayRead(uint32_t address, uint32_t length, uint8_t width, uint8_t* buffer) {
    return ChunkedRead(address, length, width, buffer, 0, true);
}

Result TarnLink::NORArrayRead(uint32_t address, uint32_t length, uint8_t width, uint8_t* buffer) {
    return ChunkedRead(address, length, width, buffer, 0, true);
}

Result TarnLink::BurstRead(uint32_t address, uint32_t length, uint8_t* buffer, unsigned width, uint32_t limit,
                           const char* text) {
    if (length == 0) return Fail(text);
    regs_[12] = static_cast<uint8_t>((regs_[12] & ~0x03) | 0x02);
    bool ok = QueueRegisterWrite(12, regs_[12]);
    uint32_t n = limit ? std::min(length, limit) : length;
    ok = ok && SetupArrayRead(2, address, n, static_cast<uint8_t>(width), buffer);
    regs_[12] &= ~0x03;
    ok = QueueRegisterWrite(12, regs_[12]) && ok;
    return Check(ok, text);
}

Result TarnLink::BurstRead8(uint32_t a, uint32_t n, uint8_t* b) { return BurstRead(a, n, b, 1, 256, text::kBurstRead8); }
Result TarnLink::BurstRead16(uint32_t a, uint32_t n, uint8_t* b) { return BurstRead(a, n, b, 2, 0, text::kBurstRead16); }
Result TarnLink::BurstRead32(uint32_t a, uint32_t n, uint8_t* b) { return BurstRead(a, n, b, 4, 1024, text::kBurstRead32); }

Result TarnLink::PageRead(uint32_t address, uint32_t length, uint8_t* buffer, unsigned width, const char* text) {
    if (length == 0) return Fail(text);
    const uint8_t saved9 = regs_[9];
    regs_[12] = static_cast<uint8_t>((regs_[12] & ~0x03) | 0x01);
    regs_[9] = 0x40;
    Pairs p;
    AddRegister(p, 9);
    AddRegister(p, 12);
    bool ok = SendBusStream(p.data(), static_cast<uint32_t>(p.size()));
    ok = ok && SetupArrayRead(1, address, length, static_cast<uint8_t>(width), buffer);
    regs_[12] &= ~0x03;
    regs_[9] = saved9;
    p.clear();
    AddRegister(p, 9);
    AddRegister(p, 12);
    ok = SendBusStream(p.data(), static_cast<uint32_t>(p.size())) && ok;
    return Check(ok, text);
}

Result TarnLink::PageRead8(uint32_t a, uint32_t n, uint8_t* b) { return PageRead(a, n, b, 1, text::kPageRead8); }
Result TarnLink::PageRead16(uint32_t a, uint32_t n, uint8_t* b) { return PageRead(a, n, b, 2, text::kPageRead16); }
Result TarnLink::PageRead32(uint32_t a, uint32_t n, uint8_t* b) { return PageRead(a, n, b, 4, text::kPageRead32); }

Result TarnLink::BurstArrayRead(uint32_t address, uint32_t length, uint8_t width, uint8_t* buffer,
                                uint32_t burstLength) {
    if (width != 1 && width != 2 && width != 4) return Fail(text::kInvalidBusWidth);
    if (BurstCode(burstLength) < 0) return Fail(text::kInvalidReadBurstLength);
    const uint32_t burstBytes = burstLength * width;
    while (length > 0) {
        Pairs p;
        for (int r = 0; r < 4; ++r) {
            regs_[4 + r] = static_cast<uint8_t>(address >> (24 - 8 * r));
            AddRegister(p, 4 + r);
        }
        if (!SendBusStream(p.data(), static_cast<uint32_t>(p.size()))) return Fail(text::kMemoryController);
        // The burst index counts bursts of this width inside the kit's 512-burst window.
        uint32_t d = (address / burstBytes) % 512;
        uint64_t room = uint64_t(512 - d) * burstBytes;
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(length, room));
        if (chunk > 32767) chunk = 32768;
        if (!SetupArrayRead(2, d, chunk, width, buffer, false)) return Fail(text::kBurstRead);
        address += chunk;
        buffer += chunk;
        length -= chunk;
    }
    return {};
}

Result TarnLink::BurstArrayWrite(uint32_t address, uint32_t length, uint8_t width, const uint8_t* buffer,
                                 uint32_t burstLength) {
    if (width != 1 && width != 2 && width != 4) return Fail(text::kInvalidBusWidth);
    if (BurstCode(burstLength) < 0) return Fail(text::kInvalidBurstLength);
    const uint32_t burstBytes = burstLength * width;
    if (length % burstBytes) return Fail(text::kBurstNotMultiple);
    if (queueLength_) return Fail(text::kQueueNotEmpty);
    while (length > 0) {
        uint32_t d = (address / burstBytes) % 512;
        uint64_t room = uint64_t(512 - d) * burstBytes;
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(length, room));
        if (chunk > 32767) chunk = 32768;
        if (!QueueAddressCycle(address)) return Fail(text::kBurstWriteAddress);
        if (!BurstWriteData(d, buffer, burstBytes, chunk / burstBytes)) return Fail(text::kBurstWrite);
        address += chunk;
        buffer += chunk;
        length -= chunk;
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// NAND interface

bool TarnLink::NandRegMode(uint8_t regMode) {
    switch (regMode) {
    case 0: regs_[9] &= ~0x18; regs_[4] = 0; regs_[6] = 0; return true;
    case 1: regs_[9] = static_cast<uint8_t>((regs_[9] & ~0x18) | 0x08); regs_[4] = 0x08; regs_[6] = 0x20; return true;
    case 2: regs_[9] = static_cast<uint8_t>((regs_[9] & ~0x18) | 0x10); regs_[4] = 0x10; regs_[6] = 0x10; return true;
    default: return false;
    }
}

void TarnLink::NandWritePairs(Pairs& p, bool wide, uint16_t value) {
    if (wide) {
        regs_[0] = regs_[2] = static_cast<uint8_t>(value >> 8);
        regs_[1] = regs_[3] = static_cast<uint8_t>(value);
        for (int r = 0; r < 4; ++r) AddRegister(p, r);
    } else {
        regs_[1] = regs_[3] = static_cast<uint8_t>(value);
        AddRegister(p, 1);
        AddRegister(p, 3);
    }
    AddPair(p, pollingCode_, kitproto::kStreamBusCycle);
}

void TarnLink::AddNandModePairs(Pairs& p) {
    AddRegister(p, 9);
    AddRegister(p, 4);
    AddRegister(p, 6);
}

Result TarnLink::QsetNANDregMode(uint8_t regMode) {
    if (!NandRegMode(regMode)) return Fail(text::kInvalidNandReg);
    Pairs p;
    AddNandModePairs(p);
    return Enqueue(p, text::kQsetNandRegMode, text::kQsetNandRegModeIncomplete);
}

Result TarnLink::QwriteNAND16(uint16_t value) {
    Pairs p;
    NandWritePairs(p, true, value);
    return Enqueue(p, text::kQwriteNand16, text::kQwriteNand16Incomplete);
}

Result TarnLink::QwriteNAND8(uint8_t value) {
    Pairs p;
    NandWritePairs(p, false, value);
    return Enqueue(p, text::kQwriteNand8, text::kQwriteNand8Incomplete);
}

Result TarnLink::WriteNand(uint8_t regMode, bool wide, uint16_t value, const char* errorText) {
    if (queueLength_) return Fail(text::kQueueNotEmpty);
    if (!NandRegMode(regMode)) return Fail(text::kInvalidNandReg);
    Pairs p;
    AddNandModePairs(p);
    NandWritePairs(p, wide, value);
    return DirectWrite(p, errorText);
}

Result TarnLink::WriteNAND16(uint8_t regMode, uint16_t value) { return WriteNand(regMode, true, value, text::kWriteNand16); }

Result TarnLink::WriteNAND8(uint8_t regMode, uint8_t value) { return WriteNand(regMode, false, value, text::kWriteNand8); }

Result TarnLink::NANDArrayRead(uint32_t length, uint8_t width, uint8_t* buffer) {
    if (width != 1 && width != 2) return Fail(text::kInvalidBusWidth);
    if (queueLength_) return Fail(text::kQueueNotEmpty);
    if ((regs_[9] & 0x18) || regs_[4] || regs_[6]) {
        NandRegMode(0);
        Pairs p;
        AddNandModePairs(p);
        if (!SendBusStream(p.data(), static_cast<uint32_t>(p.size()))) return Fail(text::kWriteNand8);
    }
    return ChunkedRead(0, length, width, buffer, 0, false);
}

// ---------------------------------------------------------------------------------------------
// SPI, EEPROM

Result TarnLink::QwriteSPI(uint8_t value) {
    Pairs p;
    AddPair(p, value, kitproto::StreamRegister(15));
    return Enqueue(p, text::kQwriteSpi, text::kQwriteSpiIncomplete);
}

Result TarnLink::WriteSPI(uint8_t value) {
    Pairs p;
    AddPair(p, value, kitproto::StreamRegister(15));
    return DirectWrite(p, text::kWriteSpi);
}

Result TarnLink::SPI_ChipEnableCtrl(uint8_t on) {
    regs_[10] = static_cast<uint8_t>(on ? regs_[10] | 0x08 : regs_[10] & ~0x08);
    QueueRegisterWrite(10, regs_[10]);
    return {};
}

Result TarnLink::ReadEeprom(uint8_t device, uint8_t mode, uint32_t address, uint8_t length, uint8_t* data) {
    // One packet carries at most 60 bytes; longer reads go out as several.
    for (uint32_t done = 0; done < length;) {
        uint32_t n = std::min<uint32_t>(length - done, kI2cReadMax);
        if (!Read_I2C_DEVICE(device, address + done, mode, n, data + done)) return Fail(text::kEepromRead);
        done += n;
    }
    return {};
}

Result TarnLink::ReadTarn_SocketEEPROM(uint32_t address, uint8_t length, uint8_t* data) {
    return ReadEeprom(kitproto::kI2cSocketEeprom, 1, address, length, data);
}

Result TarnLink::ReadTarn_ControllerEEPROM(uint32_t address, uint8_t length, uint8_t* data) {
    return ReadEeprom(kitproto::kI2cControllerEeprom, 0, address, length, data);
}

// ---------------------------------------------------------------------------------------------
// Dumps

std::string TarnLink::HexDump(const uint8_t* bytes, uint32_t count) {
    std::string s;
    char cell[8];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(cell, sizeof cell, " %02X", bytes[i]);
        s += cell;
        if ((i + 1) % 16 == 0) s += "\r\n";
    }
    s += "\r\n";
    return s;
}

std::string TarnLink::GetWriteCommandPacket(uint32_t maxSize) const {
    return HexDump(lastSent_.data(), std::min(maxSize, kLastSentSize));
}

std::string TarnLink::GetReadCommandPacket(uint32_t maxSize) const {
    return HexDump(lastReadSetup_, std::min<uint32_t>(maxSize, 64));
}

Result TarnLink::DumpNORMemoryToString(uint32_t start, uint32_t end, std::string* out) {
    out->clear();
    uint64_t first = start + uint64_t(start & 1);
    if (end >= first && uint64_t(end) - first >= kMaxDumpUnits) return Fail(text::kInvalidRange, kE_INVALIDARG);
    out->append(3 * (first % 16), ' ');
    char cell[16];
    for (uint64_t a = first; a <= end; ++a) {
        uint16_t v = 0;
        Read16(static_cast<uint32_t>(a), &v);
        std::snprintf(cell, sizeof cell, " %02X %02X", v & 0xFF, v >> 8);
        *out += cell;
        if (a % 16 == 14) *out += "\r\n";
    }
    *out += "\r\n";
    return {};
}

Result TarnLink::DumpNANDMemoryToString(uint32_t address, uint32_t addressBytes, uint32_t dataBytes,
                                        std::string* out) {
    out->clear();
    if (addressBytes > 8 || dataBytes > kMaxDumpUnits) return Fail(text::kInvalidRange, kE_INVALIDARG);
    WriteNAND8(1, 0x00);
    for (uint32_t i = 0; i < addressBytes; ++i) {
        uint32_t byteIndex = addressBytes - 1 - i;
        // Address bytes past the fourth are zero: a 32-bit address has no more.
        uint8_t b = byteIndex < 4 ? static_cast<uint8_t>(address >> (8 * byteIndex)) : 0;
        WriteNAND8(2, b);
    }
    WriteNAND8(1, 0x30);
    QsetNANDregMode(0);
    Qflush();
    std::vector<uint8_t> bytes(dataBytes);
    for (uint32_t j = 0; j < dataBytes; ++j) Read8(j, &bytes[j]);
    *out = HexDump(bytes.data(), dataBytes);
    return {};
}

}  // namespace tarn
