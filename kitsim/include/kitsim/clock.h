// Simulated time shared by a kit and the devices in its socket. Nothing here sleeps: the kit
// advances the clock by what each USB packet and bus cycle would cost on real hardware, and device
// models compare it against their busy deadlines.
#pragma once
#include <cstdint>

namespace kitsim {

class SimClock {
public:
    uint64_t NowNs() const { return now_; }
    void AdvanceNs(uint64_t ns) { now_ += ns; }
    void AdvanceUs(uint64_t us) { now_ += us * 1000u; }

private:
    uint64_t now_ = 0;
};

}  // namespace kitsim
