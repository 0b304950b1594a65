// What the kit sees of a device in one of its socket positions. Parallel NOR is the first model;
// SPI and NAND devices plug into the same positions.
#pragma once
#include <cstdint>

namespace kitsim {

// What a cycle of the kit's NAND register mode latches (kit register 9 bits 3 and 4).
enum class NandLatch { Command, Address, Data };

class SocketDevice {
public:
    virtual ~SocketDevice() = default;
    // One bus cycle. `width` is the bus width in bytes (1, 2 or 4); `address` counts bus words of
    // that width (bytes for width 1).
    virtual void BusWrite(uint32_t address, uint32_t data, unsigned width) = 0;
    virtual uint32_t BusRead(uint32_t address, unsigned width) = 0;
    // The socket's reset line was pulsed.
    virtual void HardwareReset() = 0;
    // Socket power went off and on again: volatile state is lost.
    virtual void PowerCycle() = 0;
    // ACC/WP# raised to the accelerate voltage (true) or back to logic level.
    virtual void SetAcceleration(bool on) { (void)on; }
    // NAND register mode: one latched write, and one data-out cycle. A device without a NAND
    // interface ignores the writes and its data-out reads as all ones.
    virtual void NandWrite(NandLatch latch, uint16_t value, unsigned width) {
        (void)latch;
        (void)value;
        (void)width;
    }
    virtual uint16_t NandRead(unsigned width) {
        (void)width;
        return 0xFFFF;
    }
};

// Two 16-bit devices side by side on a 32-bit bus: data bits 0-15 go to lane 0, 16-31 to lane 1.
class DualLaneDevice : public SocketDevice {
public:
    DualLaneDevice(SocketDevice* low, SocketDevice* high) : lanes_{low, high} {}
    void BusWrite(uint32_t address, uint32_t data, unsigned width) override;
    uint32_t BusRead(uint32_t address, unsigned width) override;
    void HardwareReset() override;
    void PowerCycle() override;
    void SetAcceleration(bool on) override;

private:
    SocketDevice* lanes_[2];
};

// Two dies in one package: an address with `selectBit` set goes to the upper die (without the
// bit), any other to the lower one. Both see the reset line and the power.
class TwoDieDevice : public SocketDevice {
public:
    TwoDieDevice(SocketDevice* lower, SocketDevice* upper, uint32_t selectBit) : dies_{lower, upper}, bit_(selectBit) {}
    void BusWrite(uint32_t address, uint32_t data, unsigned width) override {
        dies_[(address & bit_) ? 1 : 0]->BusWrite(address & ~bit_, data, width);
    }
    uint32_t BusRead(uint32_t address, unsigned width) override {
        return dies_[(address & bit_) ? 1 : 0]->BusRead(address & ~bit_, width);
    }
    void HardwareReset() override {
        dies_[0]->HardwareReset();
        dies_[1]->HardwareReset();
    }
    void PowerCycle() override {
        dies_[0]->PowerCycle();
        dies_[1]->PowerCycle();
    }

private:
    SocketDevice* dies_[2];
    uint32_t bit_;
};

}  // namespace kitsim
