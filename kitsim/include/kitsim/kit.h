// One simulated kit: its command packets, the bus stream into the CPLD, array reads, polling, the
// I2C devices and up to four socket positions. The USB side (descriptors, pipes, pending requests)
// lives in usb_driver.h; this class only sees the bytes that cross each endpoint.
//
// Command codes, vendor requests and the bus-stream consumer are tables so that later features
// (boot loader, JTAG jobs) add their handlers without touching this file.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "kitsim/clock.h"
#include "lumivex/kit_protocol.h"
#include "kitsim/serial.h"
#include "kitsim/socket.h"

namespace kitsim {

constexpr uint16_t kVendorId = 0x1A6A;
constexpr uint16_t kProductTypeI = 0x0100;
constexpr uint16_t kProductTypeII = 0x0103;
constexpr size_t kPacketSize = kitproto::kPacketSize;
constexpr int kRegisterCount = kitproto::kCpldRegisterCount;

enum : uint8_t {
    kStatusOk = 0,
    kStatusBadParameter = 1,
    kStatusNoDevice = 2,
    kStatusMalformed = 0xFE,
    kStatusUnknownCommand = 0xFF,
};

enum : uint8_t { kPollDone = 0, kPollTimeout = 1, kPollDeviceError = 2 };

struct KitIdentity {
    uint16_t vendorId = kVendorId;
    uint16_t productId = kProductTypeII;
    uint32_t serial = 0x4C580001;
    uint32_t firmwareId = 0x00020005;
    uint32_t cpldId = 0x00000107;
    bool highSpeed = true;
};

struct UsbSetup {
    uint8_t requestType;
    uint8_t request;
    uint16_t value;
    uint16_t index;
    uint16_t length;
};

class Kit {
public:
    using CommandHandler = std::function<void(Kit&, const uint8_t* packet, uint8_t* answer)>;
    // Fills or consumes `data` (up to `length` bytes, which it updates); false stalls the request.
    using VendorHandler = std::function<bool(Kit&, const UsbSetup&, uint8_t* data, uint32_t& length)>;
    // Sees every bus-stream transfer first; returning true means it consumed the transfer.
    using StreamConsumer = std::function<bool(Kit&, const uint8_t* data, size_t length)>;

    explicit Kit(KitIdentity id = {});
    Kit(const Kit&) = delete;
    Kit& operator=(const Kit&) = delete;

    const KitIdentity& Identity() const { return id_; }
    KitIdentity& MutableIdentity() { return id_; }
    SimClock& Clock() { return clock_; }

    // Endpoint traffic.
    void CommandOut(const uint8_t* data, size_t length);   // 0x01
    void StreamOut(const uint8_t* data, size_t length);    // 0x02
    size_t InWaiting(uint8_t endpoint) const;              // 0x81, 0x86
    size_t InRead(uint8_t endpoint, uint8_t* out, size_t max);
    void InDiscard(uint8_t endpoint);
    void InPush(uint8_t endpoint, const uint8_t* data, size_t length);
    bool ControlTransfer(const UsbSetup& setup, uint8_t* data, uint32_t& length);

    // Tables.
    void SetCommand(uint8_t code, CommandHandler handler) { commands_[code] = std::move(handler); }
    void SetVendorRequest(uint8_t request, VendorHandler handler) { vendor_[request] = std::move(handler); }
    void SetStreamConsumer(StreamConsumer consumer) { streamConsumer_ = std::move(consumer); }

    // Socket. The kit does not own the devices.
    void Attach(int position, SocketDevice* device) { socket_[position & 3] = device; }
    SocketDevice* Device(int position) const { return socket_[position & 3]; }
    // Serial (SPI) devices behind the serial controller, one per chip-select position; a frame
    // whose register address has bit 27 set goes to the position's upper die (kit_serial.cpp).
    void AttachSerial(int position, SerialDevice* device, SerialDevice* upperDie = nullptr) {
        serial_[position & 3] = {device, upperDie};
    }
    uint8_t SerialReadMode() const { return serialReadMode_; }

    // CPLD and kit state, for tests and extensions.
    uint8_t Register(int n) const { return regs_[n]; }
    void SetRegister(int n, uint8_t value);
    uint8_t PollingStatus() const { return pollStatus_; }
    uint32_t PollingTimerCount() const { return pollCount_; }
    bool PollingEnabled() const { return pollEnable_; }
    uint32_t VoltageStep() const { return voltageStep_; }
    bool MemoryModeSerial() const { return serialMode_; }
    uint32_t IgnoredPairs() const { return ignoredPairs_; }
    uint64_t StreamBytes() const { return streamBytes_; }
    uint32_t ResetPulses() const { return resetPulses_; }
    const std::vector<uint8_t>& RampTable(bool is33) const { return is33 ? ramp33_ : ramp18_; }
    std::vector<uint8_t>& ControllerEeprom() { return eeprom50_; }
    std::vector<uint8_t>& SocketEeprom() { return eeprom57_; }
    const std::vector<uint8_t>& PowerSwitch() const { return powerSwitch_; }
    bool InBurstWrite() const { return burstWords_ > 0 || burstActive_; }

    // Bus access as the kit performs it (address in the units of the configured width).
    void BusCycle(uint32_t address, uint32_t data, unsigned width, uint8_t pollingCode, uint32_t pollData);
    uint32_t BusReadWord(uint32_t address, unsigned width);
    unsigned BusWidth() const;
    // NAND register mode (register 9 bit 7, parallel interface): cycles go to the NAND latches.
    bool NandMode() const;

    static void PutBE32(uint8_t* p, uint32_t v);
    static uint32_t GetBE32(const uint8_t* p);
    static uint32_t GetLE32(const uint8_t* p);

private:
    void InstallBuiltinCommands();
    void HandlePair(uint8_t value, uint8_t opcode);
    void Poll(uint32_t address, uint32_t data, unsigned width, uint8_t code);
    void NandCycle(SocketDevice& dev, uint32_t data, unsigned width);
    void ResetSocket();
    void ArrayRead(uint8_t mode, uint8_t flags, uint32_t address, uint32_t length);
    void BurstWriteBytes(const uint8_t* data, size_t length);
    uint32_t WindowStart(unsigned burstBytes) const;
    bool I2cRead(uint8_t device, uint32_t address, uint8_t* out, size_t length);
    bool I2cWrite(uint8_t device, const uint8_t* data, size_t length);
    bool SerialInterface() const { return (regs_[10] & 0x08) != 0; }
    void SerialCycle(uint32_t address, uint8_t data);
    void SerialShiftOut(uint8_t data, unsigned lanes);
    void SerialArrayRead(uint32_t address, uint32_t length);
    void SerialReset(bool powerCycle);

    KitIdentity id_;
    SimClock clock_;
    std::array<uint8_t, kRegisterCount> regs_{};
    std::array<SocketDevice*, 4> socket_{};
    std::map<uint8_t, CommandHandler> commands_;
    std::map<uint8_t, VendorHandler> vendor_;
    StreamConsumer streamConsumer_;
    std::deque<uint8_t> in81_, in86_;

    bool pollMethod2_ = false;
    bool pollEnable_ = false;
    uint32_t pollCount_ = 0;
    uint8_t pollStatus_ = kPollDone;
    uint32_t voltageStep_ = 0;
    bool serialMode_ = false;
    uint32_t ignoredPairs_ = 0;
    uint64_t streamBytes_ = 0;
    uint32_t resetPulses_ = 0;
    bool resetLine_ = false;  // register 11 bit 2 as last written
    std::vector<uint8_t> ramp18_, ramp33_;
    bool rampRestart_[2] = {false, false};
    std::vector<uint8_t> eeprom50_, eeprom57_;
    std::vector<uint8_t> powerSwitch_;
    std::array<std::array<SerialDevice*, 2>, 4> serial_{};
    SerialDevice* selectedSerial_ = nullptr;  // the device whose chip select is asserted
    uint8_t serialReadMode_ = 0;              // register 32 of the serial controller

    // Burst write state (command 10).
    bool burstActive_ = false;
    uint32_t burstWords_ = 0;       // words still to take from the stream
    uint32_t burstSizeWords_ = 0;
    uint32_t burstNextWord_ = 0;    // next 16-bit word address
    bool burstHaveLow_ = false;
    uint8_t burstLow_ = 0;
};

}  // namespace kitsim
