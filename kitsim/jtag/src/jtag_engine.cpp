#include "kitsim/jtag_engine.h"

namespace kitsim {
namespace {

bool IsCommandByte(uint8_t b) {
    return b == 'C' || b == 'D' || b == 'I' || b == 'M' || b == 'O' || b == 'o' || b == 'i' || b == 0xFF;
}

uint32_t BE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

bool JtagEngine::Begin(int mode) {
    if (mode < 1 || mode > 3) return false;
    if ((mode == 2 && !fpga_) || (mode == 3 && !cpld_)) return false;
    mode_ = mode;
    cmd_ = 0;
    opnd_.clear();
    tms_ = 0;
    tdi_ = 1;
    out_.clear();
    if (mode == 1) fpgaBytes_.clear();
    ++jobs_;
    return true;
}

bool JtagEngine::End() {
    if (!mode_) return false;
    Flush();
    mode_ = 0;
    return true;
}

// A set-level command still waiting for the byte that tells its form: at the end of the job it
// can only have been the one-byte form.
void JtagEngine::Flush() {
    if ((cmd_ == 'I' || cmd_ == 'M') && opnd_.size() == 1 && opnd_[0] <= 1) {
        (cmd_ == 'I' ? tdi_ : tms_) = opnd_[0];
    } else if (cmd_ != 0) {
        ++errors_;
    }
    cmd_ = 0;
    opnd_.clear();
}

bool JtagEngine::TakeMessage(std::vector<uint8_t>* out) {
    if (out_.empty()) return false;
    *out = std::move(out_.front());
    out_.pop_front();
    return true;
}

void JtagEngine::Packet(const uint8_t* data, std::size_t length) {
    if (!mode_) return;
    ++packets_;
    if (mode_ == 1) {
        fpgaBytes_.insert(fpgaBytes_.end(), data, data + length);
        return;
    }
    answered_ = false;
    for (std::size_t i = 0; i < length; ++i) Byte(data[i]);
    if (dropReady_ > 0) {
        --dropReady_;
        return;
    }
    std::vector<uint8_t> ready(kJtagReadySize, 0);
    ready[0] = 'I';
    out_.push_back(std::move(ready));
}

void JtagEngine::Clock() {
    Target()->Clock(tms_, tdi_);
}

void JtagEngine::Answer(const std::vector<uint8_t>& payload) {
    answered_ = true;
    if (dropAnswers_ > 0) {
        --dropAnswers_;
        return;
    }
    std::vector<uint8_t> msg(kJtagPacketSize, 0);
    msg[0] = 'R';
    for (std::size_t i = 0; i < payload.size() && i + 1 < msg.size(); ++i) msg[i + 1] = payload[i];
    if (shortAnswers_ > 0) {
        --shortAnswers_;
        msg.resize(8);
    }
    out_.push_back(std::move(msg));
}

void JtagEngine::Command(uint8_t b) {
    switch (b) {
    case 0xFF: return;  // padding after the last command of a packet
    case 'C': Clock(); return;
    case 'D': case 'I': case 'M': case 'O': case 'o': case 'i':
        cmd_ = b;
        opnd_.clear();
        dataBytes_ = 0;
        return;
    default: ++errors_; return;
    }
}

void JtagEngine::Byte(uint8_t b) {
    if (cmd_ == 0) {
        Command(b);
        return;
    }
    if (dataBytes_ > 0) {
        // Data of a shift or capture: packed bits, or one byte per bit for 'o' / 'i'.
        JtagTarget* t = Target();
        if (cmd_ == 'o' || cmd_ == 'i') {
            tdi_ = b & 1;
            tms_ = bitIndex_ + 1 == count_;
            tdo_[bitIndex_] = static_cast<uint8_t>(t->Tdo());
            Clock();
            ++bitIndex_;
        } else {
            for (int k = 0; k < 8 && bitIndex_ < count_; ++k, ++bitIndex_) {
                tdi_ = (b >> k) & 1;
                if (cmd_ == 'O')
                    tdo_[bitIndex_ >> 3] |= static_cast<uint8_t>(t->Tdo() << (bitIndex_ & 7));
                tms_ = 0;
                // The last bit stays on TDI: the next clock (a 'C' or the first TMS clock of a
                // move) shifts it, so that the exit from the shift state carries it.
                if (bitIndex_ + 1 < count_) Clock();
            }
        }
        if (--dataBytes_ == 0) {
            if (cmd_ != 'I') Answer(tdo_);
            cmd_ = 0;
        }
        return;
    }
    opnd_.push_back(b);
    switch (cmd_) {
    case 'D':
        if (opnd_.size() == 4) {
            uint32_t us = BE32(opnd_.data());
            waited_ += us;
            Target()->Wait(us);
            cmd_ = 0;
        }
        return;
    case 'I':
    case 'M':
        if (opnd_.size() == 2 && opnd_[0] <= 1 && IsCommandByte(opnd_[1])) {
            (cmd_ == 'I' ? tdi_ : tms_) = opnd_[0];
            cmd_ = 0;
            Command(opnd_[1]);
            return;
        }
        if (cmd_ == 'M' && opnd_.size() == 2) {
            int n = opnd_[0];
            if (n > 8) {
                ++errors_;
                n = 8;
            }
            for (int i = n - 1; i >= 0; --i) {
                tms_ = (opnd_[1] >> i) & 1;
                Clock();
            }
            cmd_ = 0;
            return;
        }
        if (cmd_ == 'I' && opnd_.size() == 4) {
            count_ = BE32(opnd_.data());
            if (count_ > kJtagMaxShiftBits) ++errors_;
            bitIndex_ = 0;
            dataBytes_ = (count_ + 7) / 8;
            if (!dataBytes_) cmd_ = 0;
        }
        return;
    case 'O':
    case 'o':
    case 'i':
        if (opnd_.size() == 4) {
            uint32_t raw = BE32(opnd_.data());
            extended_ = cmd_ == 'O' && (raw & 0x80000000u);
            count_ = raw & 0x7FFFFFFFu;
            bitIndex_ = 0;
            std::size_t payloadBits = (cmd_ == 'O') ? 8 * (kJtagPacketSize - 1) : kJtagPacketSize - 1;
            if (count_ == 0 || count_ > payloadBits) {
                ++errors_;  // no answer: the host gives up after its reads
                cmd_ = 0;
                return;
            }
            tdo_.assign(cmd_ == 'O' ? (count_ + 7) / 8 : count_, 0);
            if (cmd_ == 'O' && !extended_) {
                // Plain capture: sample and clock each bit with the current levels.
                for (uint32_t i = 0; i < count_; ++i) {
                    tdo_[i >> 3] |= static_cast<uint8_t>(Target()->Tdo() << (i & 7));
                    Clock();
                }
                Answer(tdo_);
                cmd_ = 0;
                return;
            }
            dataBytes_ = cmd_ == 'O' ? (count_ + 7) / 8 : count_;
        }
        return;
    default:
        cmd_ = 0;
        return;
    }
}

}  // namespace kitsim
