// The simulated USB driver: the kits of this process as device interfaces with paths, handles, and
// the driver's I/O control requests with the 38-byte transfer header. Requests that cannot finish at
// once (an IN transfer with no data waiting) stay pending until data arrives, the pipe is aborted or
// reset, or the handle is closed; the caller learns of the end through its completion object.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kitsim/kit.h"
#include "kitsim/nor_chip.h"
#include "kitsim/spi_chip.h"
#include "cy_ioctl.h"

namespace kitsim {

using namespace cyioctl;  // the driver's codes and header layout

enum : uint32_t {
    kNtSuccess = 0,
    kNtCancelled = 0xC0000120,
    kNtInvalidParameter = 0xC000000D,
    kNtUnsuccessful = 0xC0000001,
    kUsbdCancelled = 0xC0010000,
    kUsbdInvalidEndpoint = 0x80000300,
    kUsbdStall = 0xC0000004,
};

// Win32 error codes the driver answers with (same values on every platform).
enum : uint32_t {
    kErrInvalidFunction = 1,
    kErrInvalidHandle = 6,
    kErrGenFailure = 31,
    kErrInvalidParameter = 87,
    kErrDeviceNotConnected = 1167,
};

const char* const kDriverGuidText = "{ae18aa60-7f6a-11d4-97dd-00010229b959}";

class SimCompletion {
public:
    virtual ~SimCompletion() = default;
    // `count` is what the driver reports as transferred (data offset + bytes moved).
    virtual void Complete(uint32_t count, uint32_t ntStatus) = 0;
};

struct IoOutcome {
    enum Kind { Done, Pending, Failed } kind;
    uint32_t count;   // Done: bytes reported
    uint32_t error;   // Failed: Win32 error code
};

class SimUsbDevice {
public:
    SimUsbDevice(const KitIdentity& id, const NorPart& part);
    Kit& KitRef() { return kit_; }
    NorChip& Chip() { return chip_; }
    // The SPI chip behind the serial controller (chip-select position 0), and the upper die that
    // frames addressed with bit 27 reach when the kit holds a two-die part.
    SpiChip& Spi() { return *spi_; }
    SpiChip* SpiUpperDie() { return spiUpper_.get(); }
    void SetSpiPart(const SpiPart& part, bool twoDies = false);
    const std::string& Path() const { return path_; }
    std::vector<uint8_t>& DeviceDescriptor() { return deviceDesc_; }
    std::vector<uint8_t>& ConfigDescriptor() { return configDesc_; }
    bool HasEndpoint(uint8_t address) const;
    // A pulled cable: every request on the kit's handles fails until it is plugged in again.
    void SetUnplugged(bool unplugged) { unplugged_ = unplugged; }
    bool Unplugged() const { return unplugged_; }

private:
    friend class SimUsbDriver;
    Kit kit_;
    NorChip chip_;
    std::unique_ptr<SpiChip> spi_, spiUpper_;
    std::string path_;
    std::vector<uint8_t> deviceDesc_;
    std::vector<uint8_t> configDesc_;
    bool unplugged_ = false;
};

class SimUsbDriver {
public:
    // Kits from the LX_KITSIM syntax: "1", or a comma-separated list of "I", "II", "VVVV:PPPP".
    // Kit n (from 1) gets serial number serialBase + n. Returns null for an empty selection, "0", or a
    // selection it cannot read (then *error says why).
    static constexpr uint32_t kDefaultSerialBase = 0x4C580000;
    static std::unique_ptr<SimUsbDriver> FromSelection(const std::string& selection, std::string* error = nullptr,
                                                  uint32_t serialBase = kDefaultSerialBase);
    SimUsbDriver() = default;
    ~SimUsbDriver();

    void AddKit(const KitIdentity& id, const NorPart& part = DefaultNorPart());
    size_t Count() const { return devices_.size(); }
    SimUsbDevice& Device(size_t i) { return *devices_[i]; }
    std::mutex& Lock() { return mutex_; }

    // Returns a handle (> 0) or 0 when no device has this path.
    uint32_t Open(const std::string& path);
    bool Close(uint32_t handle);
    // `in`/`out` as DeviceIoControl gets them; they may be the same buffer. Pending requests keep
    // the pointers until they complete.
    IoOutcome Ioctl(uint32_t handle, uint32_t code, uint8_t* in, uint32_t inLength, uint8_t* out,
                    uint32_t outLength, SimCompletion* completion);
    size_t PendingCount() const;

private:
    struct Pending {
        uint32_t handle;
        SimUsbDevice* device;
        uint8_t endpoint;
        uint8_t* header;    // where the statuses go
        uint8_t* data;      // where the data goes
        uint32_t length;
        uint32_t offset;    // reported in the count
        SimCompletion* completion;
    };
    SimUsbDevice* DeviceOf(uint32_t handle);
    IoOutcome Control(SimUsbDevice& dev, uint8_t* buffer, uint32_t inLength, uint32_t outLength);
    IoOutcome Transfer(uint32_t handle, SimUsbDevice& dev, uint8_t* header, uint8_t* data, uint32_t length,
                       uint32_t offset, SimCompletion* completion);
    void ServicePending(SimUsbDevice& dev);
    void CancelWhere(SimUsbDevice* dev, int endpoint, uint32_t handle);

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<SimUsbDevice>> devices_;
    std::vector<std::pair<uint32_t, SimUsbDevice*>> handles_;
    std::vector<Pending> pending_;
    uint32_t nextHandle_ = 1;
};

}  // namespace kitsim
