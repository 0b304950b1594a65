// What the kit's serial (SPI) controller sees of a device: a chip select and bytes clocked both
// ways. The controller drives one frame at a time; a device answers every byte clocked in the frame.
#pragma once
#include <cstdint>

namespace kitsim {

class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    // Chip select asserted (a frame starts) or released (the frame ends and takes effect).
    virtual void Select(bool asserted) = 0;
    // One byte clocked on 1, 2 or 4 lines: `out` goes to the device, the answer is what it drove.
    virtual uint8_t Shift(uint8_t out, unsigned lanes) = 0;
    virtual void HardwareReset() = 0;
    virtual void PowerCycle() = 0;
};

}  // namespace kitsim
