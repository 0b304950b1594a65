// The kit firmware's JTAG job: executes the host's 512-byte JTAG stream packets against a target
// and produces the ready and TDO answer messages. Mode 1 (FPGA on the fly) only collects the
// configuration bytes. See the JTAG section of kitsim/PROTOCOL.md.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "kitsim/jtag_target.h"

namespace kitsim {

constexpr std::size_t kJtagPacketSize = 512;
constexpr std::size_t kJtagReadySize = 10;
// Shift counts whose second byte could be read as a command byte are refused (see PROTOCOL.md).
constexpr uint32_t kJtagMaxShiftBits = 0x00430000u - 1u;

class JtagEngine {
public:
    JtagEngine(JtagTarget* fpga, JtagTarget* cpld) : fpga_(fpga), cpld_(cpld) {}

    bool Begin(int mode);  // 1 on the fly, 2 FPGA burn, 3 CPLD burn
    bool End();
    bool Active() const { return mode_ != 0; }
    int Mode() const { return mode_; }
    // One transfer on the stream endpoint while a job runs.
    void Packet(const uint8_t* data, std::size_t length);
    // Messages for the host, oldest first.
    bool TakeMessage(std::vector<uint8_t>* out);
    std::size_t QueuedMessages() const { return out_.size(); }

    const std::vector<uint8_t>& FpgaBytes() const { return fpgaBytes_; }
    uint32_t Jobs() const { return jobs_; }
    uint32_t Packets() const { return packets_; }
    uint32_t ProtocolErrors() const { return errors_; }
    uint64_t WaitedMicros() const { return waited_; }
    // Faults for tests: the next n ready messages or TDO answers are not sent, or sent short.
    void DropReady(int n) { dropReady_ = n; }
    void DropAnswers(int n) { dropAnswers_ = n; }
    void ShortAnswers(int n) { shortAnswers_ = n; }

private:
    JtagTarget* Target() const { return mode_ == 2 ? fpga_ : cpld_; }
    void Byte(uint8_t b);
    void Command(uint8_t b);
    void Clock();
    void FinishOperand();
    void Answer(const std::vector<uint8_t>& payload);
    void Flush();

    JtagTarget* fpga_;
    JtagTarget* cpld_;
    int mode_ = 0;
    int tms_ = 0, tdi_ = 1;

    // Parser of the stream: the command being read and its operand bytes.
    uint8_t cmd_ = 0;
    std::vector<uint8_t> opnd_;
    uint32_t count_ = 0;       // bits of a shift or capture
    uint32_t dataBytes_ = 0;   // data bytes still expected
    uint32_t bitIndex_ = 0;
    bool extended_ = false;    // capture carrying TDI data
    std::vector<uint8_t> tdo_;
    bool answered_ = false;

    std::deque<std::vector<uint8_t>> out_;
    std::vector<uint8_t> fpgaBytes_;
    uint32_t jobs_ = 0, packets_ = 0, errors_ = 0;
    uint64_t waited_ = 0;
    int dropReady_ = 0, dropAnswers_ = 0, shortAnswers_ = 0;
};

}  // namespace kitsim
