// A serial device for tests of what reaches a chip-select position: it notes the bytes of each frame,
// and counts the hardware resets and power cycles it saw. It drives nothing back (every answer 0xFF).
#pragma once

#include <cstdint>
#include <vector>

#include "kitsim/serial.h"

namespace kitsim {

class NotingSerialDevice : public SerialDevice {
public:
    void Select(bool asserted) override {
        if (asserted) frames.emplace_back();
        selected = asserted;
    }
    uint8_t Shift(uint8_t out, unsigned) override {
        if (selected && !frames.empty()) frames.back().push_back(out);
        return 0xFF;
    }
    void HardwareReset() override { ++resets; }
    void PowerCycle() override { ++powerCycles; }

    std::vector<std::vector<uint8_t>> frames;
    bool selected = false;
    int resets = 0, powerCycles = 0;
};

}  // namespace kitsim
