#include "kitsim/kit.h"

#include <algorithm>
#include <cstring>

namespace kitsim {

namespace {

constexpr uint64_t kPacketCostNs = 125000;   // one USB microframe per command packet
constexpr uint64_t kCycleCostNs = 1000;      // one bus cycle
constexpr uint64_t kReadByteCostNs = 50;
constexpr uint64_t kPollLimitNs = 60ull * 1000 * 1000 * 1000;
constexpr uint32_t kMaxArrayRead = 16u * 1024 * 1024;

uint16_t GetBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

uint32_t LaneMask(unsigned width, uint32_t bit) {
    if (width == 1) return bit;
    if (width == 2) return bit;
    return bit | (bit << 16);
}

}  // namespace

void Kit::PutBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

uint32_t Kit::GetBE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint32_t Kit::GetLE32(const uint8_t* p) {
    return (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

Kit::Kit(KitIdentity id) : id_(id) {
    eeprom50_.assign(16 * 1024, 0xFF);
    eeprom57_.assign(256, 0xFF);
    for (auto* e : {&eeprom50_, &eeprom57_}) {
        std::fill_n(e->begin(), 16, 0);
        std::memcpy(e->data(), "TARNKIT", 7);
        (*e)[8] = static_cast<uint8_t>(id_.productId);
        (*e)[9] = static_cast<uint8_t>(id_.productId >> 8);
        for (int i = 0; i < 4; ++i) (*e)[10 + i] = static_cast<uint8_t>(id_.serial >> (8 * i));
    }
    powerSwitch_.assign(4, 0);
    InstallBuiltinCommands();
}

void Kit::InstallBuiltinCommands() {
    SetCommand(kitproto::kCmdMemoryReset, [](Kit& k, const uint8_t*, uint8_t*) {
        k.ResetSocket();
        k.pollStatus_ = kPollDone;
    });
    SetCommand(kitproto::kCmdSupplyVoltage, [](Kit& k, const uint8_t* p, uint8_t* a) {
        uint32_t step = GetLE32(p + 4);
        if (p[3] != kitproto::kSupplyVio || step > 25) {
            a[2] = kStatusBadParameter;
            return;
        }
        k.voltageStep_ = step;
    });
    SetCommand(kitproto::kCmdStatus, [](Kit& k, const uint8_t*, uint8_t* a) {
        a[3] = k.id_.highSpeed ? 0x80 : 0x00;
        PutBE32(a + 12, k.id_.cpldId);
        PutBE32(a + 16, k.id_.firmwareId);
    });
    SetCommand(kitproto::kCmdPollingSetup, [](Kit& k, const uint8_t* p, uint8_t*) {
        k.pollMethod2_ = p[2] != 0;
        k.pollEnable_ = GetBE32(p + 4) != 0;
        k.pollCount_ = GetBE32(p + 8);
    });
    SetCommand(kitproto::kCmdArrayReadSetup, [](Kit& k, const uint8_t* p, uint8_t* a) {
        unsigned width = p[3] & 7;
        uint32_t length = GetBE32(p + 8);
        if ((width != 1 && width != 2 && width != 4) || length > kMaxArrayRead) {
            a[2] = kStatusBadParameter;
            return;
        }
        k.ArrayRead(p[2], p[3], GetBE32(p + 4), length);
    });
    SetCommand(kitproto::kCmdPollingStatus, [](Kit& k, const uint8_t*, uint8_t* a) { a[3] = k.pollStatus_; });
    SetCommand(kitproto::kCmdI2cWrite, [](Kit& k, const uint8_t* p, uint8_t* a) {
        size_t length = p[7];
        if (length > 52) {
            a[2] = kStatusBadParameter;
            return;
        }
        if (!k.I2cWrite(p[3], p + 12, length)) a[2] = kStatusNoDevice;
    });
    SetCommand(kitproto::kCmdI2cRead, [](Kit& k, const uint8_t* p, uint8_t* a) {
        size_t length = p[7];
        if (length > 60) {
            a[2] = kStatusBadParameter;
            return;
        }
        if (!k.I2cRead(p[3], GetLE32(p + 8), a + 4, length)) a[2] = kStatusNoDevice;
    });
    SetCommand(kitproto::kCmdBurstWriteSetup, [](Kit& k, const uint8_t* p, uint8_t* a) {
        if (p[2] == 0 && p[3] == 0) {
            k.burstActive_ = false;
            k.burstWords_ = 0;
            k.burstHaveLow_ = false;
            return;
        }
        uint32_t size = GetBE16(p + 4);
        uint32_t total = GetBE16(p + 6) | (uint32_t(GetBE16(p + 8)) << 16);
        uint32_t index = GetBE16(p + 10);
        if (size == 0 || index > 511) {
            a[2] = kStatusBadParameter;
            return;
        }
        k.burstActive_ = true;
        k.burstSizeWords_ = size;
        k.burstWords_ = total;
        k.burstHaveLow_ = false;
        uint32_t burstBytes = size * 2;
        k.burstNextWord_ = (k.WindowStart(burstBytes) + index * burstBytes) / 2;
    });
    SetCommand(kitproto::kCmdMemoryModeSelect, [](Kit& k, const uint8_t* p, uint8_t*) { k.serialMode_ = p[2] == 1; });
}

void Kit::SetRegister(int n, uint8_t value) {
    if (n < 0 || n >= kRegisterCount) return;
    uint8_t old = regs_[n];
    regs_[n] = value;
    if (n == 11) {
        bool line = (value & 0x04) != 0;
        // The reset line is active low: a high-low-high pulse resets the socket.
        if (!line && (old & 0x04)) resetLine_ = true;
        if (line && !(old & 0x04) && resetLine_) {
            resetLine_ = false;
            ResetSocket();
        }
        bool acc = (value & 0x09) == 0x09;
        if (acc != ((old & 0x09) == 0x09))
            for (auto* d : socket_)
                if (d) d->SetAcceleration(acc);
    } else if (n == 12) {
        if ((value & 0x08) && !(old & 0x08)) {
            for (auto* d : socket_)
                if (d) d->PowerCycle();
            SerialReset(true);
        }
        if ((value & 0x10) && !(old & 0x10)) rampRestart_[0] = rampRestart_[1] = true;
    } else if (n == 16 || n == 17) {
        if (regs_[12] & 0x10) {
            // The first byte after a new strobe starts that table again.
            auto& table = n == 16 ? ramp33_ : ramp18_;
            if (rampRestart_[n - 16]) table.clear();
            rampRestart_[n - 16] = false;
            table.push_back(value);
        }
    } else if (n == 15) {
        SerialShiftOut(value, 1);
    }
}

unsigned Kit::BusWidth() const {
    switch ((regs_[10] >> 5) & 3) {
    case 0: return 1;
    case 1: return 2;
    default: return 4;
    }
}

void Kit::ResetSocket() {
    ++resetPulses_;
    for (auto* d : socket_)
        if (d) d->HardwareReset();
    SerialReset(false);
}

void Kit::CommandOut(const uint8_t* data, size_t length) {
    while (length > 0) {
        clock_.AdvanceNs(kPacketCostNs);
        uint8_t answer[kPacketSize] = {kitproto::kAnswerMark, 0x00, kStatusMalformed};
        if (length >= kPacketSize && data[0] == kitproto::kCommandMark) {
            answer[1] = data[1];
            answer[2] = kStatusOk;
            auto it = commands_.find(data[1]);
            if (it != commands_.end()) it->second(*this, data, answer);
            else answer[2] = kStatusUnknownCommand;
        }
        in81_.clear();  // a new packet replaces an answer nobody read
        in81_.insert(in81_.end(), answer, answer + kPacketSize);
        size_t used = std::min(length, kPacketSize);
        data += used;
        length -= used;
    }
}

void Kit::StreamOut(const uint8_t* data, size_t length) {
    streamBytes_ += length;
    if (streamConsumer_ && streamConsumer_(*this, data, length)) return;
    if (burstActive_) {
        BurstWriteBytes(data, length);
        return;
    }
    for (size_t i = 0; i + 1 < length; i += 2) HandlePair(data[i], data[i + 1]);
}

void Kit::HandlePair(uint8_t value, uint8_t opcode) {
    if (opcode == kitproto::kStreamPad) return;
    if (opcode >= kitproto::kStreamRegister && opcode < kitproto::StreamRegister(kRegisterCount)) {
        SetRegister(opcode - kitproto::kStreamRegister, value);
        return;
    }
    if (opcode == kitproto::kStreamBusCycle || opcode == kitproto::kStreamBufferConfirm) {
        unsigned width = BusWidth();
        uint32_t address = GetBE32(&regs_[4]);
        uint32_t data;
        if (width == 1) data = regs_[3];
        else if (width == 2) data = (uint32_t(regs_[2]) << 8) | regs_[3];
        else data = GetBE32(&regs_[0]);
        if (opcode == kitproto::kStreamBufferConfirm) {
            // The confirm cycle writes 0x29, but the buffer's last word (still in the data
            // registers) is what data polling waits for.
            BusCycle(address, width == 1 ? 0x29 : width == 2 ? 0x0029 : 0x00290029, width, value, data);
        } else {
            BusCycle(address, data, width, value, data);
        }
        return;
    }
    ++ignoredPairs_;
}

void Kit::BusCycle(uint32_t address, uint32_t data, unsigned width, uint8_t pollingCode, uint32_t pollData) {
    clock_.AdvanceNs(kCycleCostNs);
    if (!(regs_[12] & 0x08)) return;  // socket unpowered
    if (SerialInterface()) return SerialCycle(address, static_cast<uint8_t>(data));
    SocketDevice* dev = socket_[(regs_[8] >> 4) & 3];
    if (!dev) return;
    if (NandMode()) {
        NandCycle(*dev, data, width);
        return;
    }
    address &= 0x0FFFFFFF;
    uint32_t devAddress = width == 4 ? address >> 1 : address;
    dev->BusWrite(devAddress, data, width);
    if (pollingCode == 1 || pollingCode == 2) Poll(address, pollData, width, pollingCode);
}

uint32_t Kit::BusReadWord(uint32_t address, unsigned width) {
    uint32_t ones = width == 1 ? 0xFF : width == 2 ? 0xFFFF : 0xFFFFFFFF;
    if (!(regs_[12] & 0x08)) return ones;
    SocketDevice* dev = socket_[(regs_[8] >> 4) & 3];
    if (!dev) return ones;
    if (NandMode()) return dev->NandRead(width) & ones;
    address &= 0x0FFFFFFF;
    return dev->BusRead(width == 4 ? address >> 1 : address, width) & ones;
}

void Kit::Poll(uint32_t address, uint32_t data, unsigned width, uint8_t code) {
    const uint64_t start = clock_.NowNs();
    const uint64_t limit = (pollEnable_ && pollCount_) ? 35000ull + pollCount_ * 11500ull : kPollLimitNs;
    const uint32_t dq7 = LaneMask(width, 0x80), dq6 = LaneMask(width, 0x40), dq5 = LaneMask(width, 0x20);
    uint64_t step = kCycleCostNs;
    for (;;) {
        bool done, failed = false;
        if (code == 1) {
            uint32_t v = BusReadWord(address, width);
            done = ((v ^ data) & dq7) == 0;
            if (!done && (v & dq5)) {
                v = BusReadWord(address, width);
                done = ((v ^ data) & dq7) == 0;
                failed = !done;
            }
        } else {
            uint32_t a = BusReadWord(address, width), b = BusReadWord(address, width);
            done = ((a ^ b) & dq6) == 0;
            if (!done && (b & dq5)) {
                a = BusReadWord(address, width);
                b = BusReadWord(address, width);
                done = ((a ^ b) & dq6) == 0;
                failed = !done;
            }
        }
        if (done) {
            pollStatus_ = kPollDone;
            return;
        }
        if (failed) {
            pollStatus_ = kPollDeviceError;
            return;
        }
        if (clock_.NowNs() - start >= limit) {
            pollStatus_ = kPollTimeout;
            return;
        }
        // Real polling is continuous; the model only needs to sample often enough to see the
        // end, so the interval grows with the time already waited.
        clock_.AdvanceNs(std::min(step, limit - (clock_.NowNs() - start)));
        step = std::max<uint64_t>(kCycleCostNs, (clock_.NowNs() - start) / 16);
    }
}

uint32_t Kit::WindowStart(unsigned burstBytes) const {
    uint64_t window = 512ull * burstBytes;
    uint32_t base = GetBE32(&regs_[4]);
    return static_cast<uint32_t>((base / window) * window);
}

void Kit::ArrayRead(uint8_t mode, uint8_t flags, uint32_t address, uint32_t length) {
    clock_.AdvanceNs(kReadByteCostNs * length);
    const unsigned width = flags & 7;
    if (serialMode_ || SerialInterface()) return SerialArrayRead(address, length);
    uint32_t unit = address;
    if (mode == 2 && (regs_[8] & 0x02)) {
        static const unsigned kBurst[4] = {4, 8, 16, 256};
        unsigned burstBytes = kBurst[regs_[12] & 3] * width;
        uint32_t byteStart = WindowStart(burstBytes) + (address % 512) * burstBytes;
        unit = width == 1 ? byteStart : byteStart / 2;
    }
    const uint32_t step = width == 4 ? 2 : 1;
    uint32_t remaining = length;
    while (remaining > 0) {
        uint32_t v = BusReadWord(unit, width);
        for (unsigned i = 0; i < width && remaining > 0; ++i, --remaining)
            in86_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        unit += step;
    }
}

void Kit::BurstWriteBytes(const uint8_t* data, size_t length) {
    const unsigned width = BusWidth();
    for (size_t i = 0; i < length && burstWords_ > 0; ++i) {
        if (!burstHaveLow_) {
            burstLow_ = data[i];
            burstHaveLow_ = true;
            continue;
        }
        uint16_t word = static_cast<uint16_t>(burstLow_ | (data[i] << 8));
        burstHaveLow_ = false;
        --burstWords_;
        if (width == 1) {
            BusCycle(burstNextWord_ * 2, word & 0xFF, 1, 3, 0);
            BusCycle(burstNextWord_ * 2 + 1, word >> 8, 1, 3, 0);
        } else {
            // 16-bit words on a 16-bit bus; on a 32-bit bus they go to the low lane.
            BusCycle(width == 2 ? burstNextWord_ : burstNextWord_ & ~1u, word, width == 2 ? 2 : 4, 3, 0);
        }
        ++burstNextWord_;
    }
}

bool Kit::I2cWrite(uint8_t device, const uint8_t* data, size_t length) {
    if (device == kitproto::kI2cPowerSwitch) {
        for (size_t i = 0; i < length && i < powerSwitch_.size(); ++i) powerSwitch_[i] = data[i];
        if (length == 4 && data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 0x11) ResetSocket();
        return true;
    }
    std::vector<uint8_t>* e = device == kitproto::kI2cControllerEeprom ? &eeprom50_ : device == kitproto::kI2cSocketEeprom ? &eeprom57_ : nullptr;
    if (!e) return false;
    if (length < 2) return true;
    uint32_t address = data[0] | (uint32_t(data[1]) << 8);
    for (size_t i = 2; i < length; ++i) (*e)[(address + i - 2) % e->size()] = data[i];
    return true;
}

bool Kit::I2cRead(uint8_t device, uint32_t address, uint8_t* out, size_t length) {
    std::vector<uint8_t>* e = device == kitproto::kI2cControllerEeprom ? &eeprom50_ : device == kitproto::kI2cSocketEeprom ? &eeprom57_ : nullptr;
    if (!e) return false;
    for (size_t i = 0; i < length; ++i) out[i] = (*e)[(address + i) % e->size()];
    return true;
}

size_t Kit::InWaiting(uint8_t endpoint) const {
    if (endpoint == kitproto::kEpCommandIn) return in81_.size();
    if (endpoint == kitproto::kEpDataIn) return in86_.size();
    return 0;
}

size_t Kit::InRead(uint8_t endpoint, uint8_t* out, size_t max) {
    std::deque<uint8_t>* q = endpoint == kitproto::kEpCommandIn ? &in81_ : endpoint == kitproto::kEpDataIn ? &in86_ : nullptr;
    if (!q) return 0;
    size_t n = std::min(max, q->size());
    std::copy_n(q->begin(), n, out);
    q->erase(q->begin(), q->begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

void Kit::InDiscard(uint8_t endpoint) {
    if (endpoint == kitproto::kEpCommandIn) in81_.clear();
    if (endpoint == kitproto::kEpDataIn) in86_.clear();
}

void Kit::InPush(uint8_t endpoint, const uint8_t* data, size_t length) {
    std::deque<uint8_t>* q = endpoint == kitproto::kEpCommandIn ? &in81_ : endpoint == kitproto::kEpDataIn ? &in86_ : nullptr;
    if (q) q->insert(q->end(), data, data + length);
}

bool Kit::ControlTransfer(const UsbSetup& setup, uint8_t* data, uint32_t& length) {
    auto it = vendor_.find(setup.request);
    if (it == vendor_.end() || ((setup.requestType >> 5) & 3) != 2) return false;
    return it->second(*this, setup, data, length);
}

// ---- NAND register mode (PROTOCOL.md section 13) ----------------------------------------------

bool Kit::NandMode() const { return (regs_[9] & 0x80) && !(regs_[10] & 0x08) && !serialMode_; }

void Kit::NandCycle(SocketDevice& dev, uint32_t data, unsigned width) {
    if (regs_[9] & 0x08) dev.NandWrite(NandLatch::Command, regs_[3], width);
    else if (regs_[9] & 0x10) dev.NandWrite(NandLatch::Address, regs_[3], width);
    else dev.NandWrite(NandLatch::Data, static_cast<uint16_t>(data), width);
}

}  // namespace kitsim
