// The kit link of one control object: register shadow, command queue, command packets, bus stream and
// array reads, and every ITarn operation that talks to an open kit. It is portable: the USB endpoints
// come in through TarnPipes, so the same code runs against the real driver and against the simulated
// kit in native tests.
//
// Each control object owns its own link. Two clients in one process (the kit module and the NOR driver
// each create an object) therefore never run over each other's queue or endpoints.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "lumivex/kit_protocol.h"

namespace tarn {

using HResult = int32_t;
constexpr HResult kS_OK = 0;
constexpr HResult kE_TARN = static_cast<HResult>(0x80000000);
constexpr HResult kE_NOTIMPL = static_cast<HResult>(0x80004001);
constexpr HResult kE_POINTER = static_cast<HResult>(0x80004003);
constexpr HResult kE_ABORT = static_cast<HResult>(0x80004004);
constexpr HResult kE_ACCESSDENIED = static_cast<HResult>(0x80070005);
constexpr HResult kE_INVALIDARG = static_cast<HResult>(0x80070057);

constexpr uint8_t kEpCommandOut = kitproto::kEpCommandOut;
constexpr uint8_t kEpCommandIn = kitproto::kEpCommandIn;
constexpr uint8_t kEpStreamOut = kitproto::kEpStreamOut;
constexpr uint8_t kEpDataIn = kitproto::kEpDataIn;
constexpr uint32_t kInfinite = 0xFFFFFFFF;

constexpr uint32_t kStreamBufferSize = 66048;
constexpr uint32_t kQueueSendThreshold = 65536;
constexpr uint32_t kReadChunk = 32768;
constexpr uint32_t kLastSentSize = 65536;

// Result of an operation: the HRESULT and, for failures, the text that goes into COM error info.
struct Result {
    HResult hr = kS_OK;
    const char* text = nullptr;
    bool Ok() const { return hr >= 0; }
};

class TarnPipes {
public:
    virtual ~TarnPipes() = default;
    // One complete transfer; `length` in: bytes asked, out: bytes moved. False on any failure.
    virtual bool Transfer(uint8_t endpoint, uint8_t* buffer, uint32_t& length) = 0;
    virtual uint32_t Timeout(uint8_t endpoint) const = 0;
    virtual void SetTimeout(uint8_t endpoint, uint32_t ms) = 0;
    virtual void Abort(uint8_t endpoint) = 0;
    virtual void Reset(uint8_t endpoint) = 0;
};

struct RampUpParameter {
    uint8_t nDivision;
    uint8_t nParameter[64];
};

// The built-in ramp-up templates: [0] 1.8 V, [1] 3.3 V, 16 each.
const RampUpParameter& RampUpTemplate(bool is33Volt, unsigned index);

class TarnLink {
public:
    TarnLink();

    // Connection: the caller has opened the device and found its endpoints. Attach allocates the
    // buffers and drains stale input; Detach drops them (queued pairs are discarded).
    void Attach(TarnPipes* pipes);
    void Detach();
    bool Attached() const { return pipes_ != nullptr; }

    // ITarn operations, in the interface's order.
    Result GetFIRMWARE_ID(uint32_t* id);
    Result GetCPLD_ID(uint32_t* id);
    Result TarnConfiguration(uint8_t memType, uint8_t memConfig, uint8_t chipSel);
    Result Write32(uint32_t address, uint32_t value);
    Result Write16(uint32_t address, uint16_t value);
    Result Write8(uint32_t address, uint8_t value);
    Result Read32(uint32_t address, uint32_t* value);
    Result Read16(uint32_t address, uint16_t* value);
    Result Read8(uint32_t address, uint8_t* value);
    Result Qwrite32(uint32_t address, uint32_t value, uint8_t pollingCode);
    Result Qwrite16(uint32_t address, uint16_t value, uint8_t pollingCode);
    Result Qwrite8(uint32_t address, uint8_t value, uint8_t pollingCode);
    Result QwriteBurstData(uint16_t data);
    Result Qflush();
    Result ResetMemory(uint8_t socketType, uint8_t memType);
    Result AsyncArrayRead(uint32_t address, uint32_t length, uint8_t width, uint8_t* buffer);
    Result BurstArrayRead(uint32_t address, uint32_t length, uint8_t width, uint8_t* buffer, uint32_t burstLength);
    Result BurstArrayWrite(uint32_t address, uint32_t length, uint8_t width, const uint8_t* buffer,
                           uint32_t burstLength);
    Result MemControlMode(uint8_t chipSel, uint8_t accessMode, uint32_t burstLength);
    Result GetUSB_HighSpeedFlag(uint8_t* flag);
    Result QwriteBufCmd0029_0029(uint8_t pollingCode);
    Result QsetNANDregMode(uint8_t regMode);
    Result QwriteNAND16(uint16_t value);
    Result QwriteNAND8(uint8_t value);
    Result NANDArrayRead(uint32_t length, uint8_t width, uint8_t* buffer);
    Result WriteNAND16(uint8_t regMode, uint16_t value);
    Result WriteNAND8(uint8_t regMode, uint8_t value);
    Result ConfigTarnPollingMethod(uint8_t pollingCode, uint32_t duration);
    Result GetTarnPollingStatus(uint8_t* status);
    Result TarnACCVoltageCtrl(uint8_t setting);
    Result TarnProtectVoltageCtrl(uint8_t setting);
    Result ReadTarn_SocketEEPROM(uint32_t address, uint8_t length, uint8_t* data);
    Result ReadTarn_ControllerEEPROM(uint32_t address, uint8_t length, uint8_t* data);
    Result QwriteSPI(uint8_t value);
    Result WriteSPI(uint8_t value);
    Result SPI_ChipEnableCtrl(uint8_t on);
    std::string GetWriteCommandPacket(uint32_t maxSize) const;
    std::string GetReadCommandPacket(uint32_t maxSize) const;
    Result DumpNORMemoryToString(uint32_t start, uint32_t end, std::string* out);
    Result DumpNANDMemoryToString(uint32_t address, uint32_t addressBytes, uint32_t dataBytes, std::string* out);
    Result BurstRead8(uint32_t address, uint32_t length, uint8_t* buffer);
    Result BurstRead16(uint32_t address, uint32_t length, uint8_t* buffer);
    Result BurstRead32(uint32_t address, uint32_t length, uint8_t* buffer);
    Result PageRead8(uint32_t address, uint32_t length, uint8_t* buffer);
    Result PageRead16(uint32_t address, uint32_t length, uint8_t* buffer);
    Result PageRead32(uint32_t address, uint32_t length, uint8_t* buffer);
    Result NORArrayRead(uint32_t address, uint32_t length, uint8_t width, uint8_t* buffer);
    Result PowerControl(uint8_t on);
    Result SetRampUpParameter(uint8_t is33Volt, const RampUpParameter& parameter);
    Result SetRampUpTemplate(int32_t index18, int32_t index33);
    Result SetInitialAccessCycle(uint8_t cycles);
    Result SetVoltage(int32_t source, uint32_t millivolts);

    // Transport.
    bool doEP1_Command(const uint8_t* packet, uint8_t* answer);
    bool SendBusStream(const uint8_t* bytes, uint32_t length);
    bool QueueRegisterWrite(int reg, uint8_t value);
    bool QueueAddressCycle(uint32_t address);
    bool SetupArrayRead(uint8_t mode, uint32_t address, uint32_t length, uint8_t width, uint8_t* destination,
                        bool convertAddress = true);
    bool BurstWriteData(uint32_t burstIndex, const uint8_t* source, uint32_t burstBytes, uint32_t burstCount);
    bool Read_I2C_DEVICE(uint8_t device, uint32_t address, uint8_t addressMode, uint32_t length, uint8_t* out);
    bool Write_I2C_DEVICE(uint8_t device, uint8_t addressMode, uint32_t length, const uint8_t* data);
    bool SetupPollingTimer(uint32_t enable, uint32_t duration, bool method2);
    static uint32_t ConvertPollingDuration(uint32_t duration);
    bool SetupMemoryMode(uint8_t mode, uint8_t value);

    // State, for the shell and for tests.
    uint8_t Register(int n) const { return regs_[n]; }
    uint32_t QueueLength() const { return queueLength_; }
    bool Configured() const { return configured_; }
    uint8_t BusWidth() const { return busWidth_; }
    const char* LastMessage() const { return lastMessage_; }

private:
    using Pairs = std::vector<uint8_t>;
    Result Fail(const char* text, HResult hr = kE_TARN);
    Result Check(bool ok, const char* text) { return ok ? Result{} : Fail(text); }
    void AddPair(Pairs& p, uint8_t value, uint8_t opcode) { p.push_back(value); p.push_back(opcode); }
    void AddRegister(Pairs& p, int reg) { AddPair(p, regs_[reg], kitproto::StreamRegister(reg)); }
    void LoadAddress(Pairs& p, uint32_t address);
    uint32_t BusAddress(uint32_t address) const;
    Result Enqueue(const Pairs& p, const char* errorText, const char* incompleteText);
    Result DirectWrite(const Pairs& p, const char* errorText);
    Result SingleRead(uint32_t address, unsigned width, void* value, const char* text);
    Result ChunkedRead(uint32_t address, uint32_t length, uint8_t width, uint8_t* buffer, uint8_t mode,
                       bool advance);
    Result BurstRead(uint32_t address, uint32_t length, uint8_t* buffer, unsigned width, uint32_t limit,
                     const char* text);
    Result PageRead(uint32_t address, uint32_t length, uint8_t* buffer, unsigned width, const char* text);
    bool NandRegMode(uint8_t regMode);
    void AddNandModePairs(Pairs& p);
    Result WriteNand(uint8_t regMode, bool wide, uint16_t value, const char* errorText);
    Pairs WritePairs(uint32_t address, uint32_t value, unsigned width, uint8_t pollingCode);
    Result VoltageControl(uint8_t setting, uint8_t mask, uint8_t bits1, const char* invalidText, const char* errorText);
    void NandWritePairs(Pairs& p, bool wide, uint16_t value);
    Result StatusCommand(uint8_t* answer, const char* text);
    Result ReadEeprom(uint8_t device, uint8_t mode, uint32_t address, uint8_t length, uint8_t* data);
    static std::string HexDump(const uint8_t* bytes, uint32_t count);

    TarnPipes* pipes_ = nullptr;
    uint8_t regs_[19] = {};
    std::vector<uint8_t> stream_;        // the queue lives at its start
    uint32_t queueLength_ = 0;
    std::vector<uint8_t> lastSent_;
    uint32_t lastSentUsed_ = 0;  // bytes of lastSent_ that may be non-zero
    uint8_t lastReadSetup_[64] = {};
    bool dataInDirty_ = false;  // a read may have left its data on endpoint 0x86
    uint8_t answer_[64] = {};
    uint8_t memType_ = 0;
    uint8_t memConfig_ = 0;
    uint8_t busWidth_ = 1;
    bool configured_ = false;
    uint8_t pollingCode_ = 0;
    const char* lastMessage_ = nullptr;
};

}  // namespace tarn
