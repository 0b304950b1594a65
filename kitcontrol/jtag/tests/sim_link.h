// Test wiring: the host's JTAG stream straight into the simulated kit firmware and its targets.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "jam_link_host.h"
#include "jtag_link.h"
#include "kitsim/jtag_engine.h"

namespace lxtest {

class EnginePipe : public lx::jtag::KitPipe {
 public:
  explicit EnginePipe(kitsim::JtagEngine& e) : engine(e) {}
  bool BulkOut(const uint8_t* data, uint32_t length, unsigned) override {
    ++outs;
    if (failOuts > 0) return --failOuts, false;
    engine.Packet(data, length);
    return true;
  }
  bool BulkIn(uint8_t* data, uint32_t* length, unsigned) override {
    std::vector<uint8_t> msg;
    if (!engine.TakeMessage(&msg)) return false;
    uint32_t n = msg.size() < *length ? static_cast<uint32_t>(msg.size()) : *length;
    std::memcpy(data, msg.data(), n);
    *length = n;
    if (n && data[0] == 'R') ++answers;
    return true;
  }
  void Sleep(unsigned ms) override { slept += ms; }
  kitsim::JtagEngine& engine;
  int outs = 0, failOuts = 0, answers = 0;
  unsigned slept = 0;
};

struct SimJtag {
  explicit SimJtag(int mode = 3, kitsim::JtagTarget::Config cpldConfig = {})
      : cpld(cpldConfig), pipe(engine), link(pipe) {
    engine.Begin(mode);
    link.SetMode(mode);
  }
  kitsim::JtagTarget fpga, cpld;
  kitsim::JtagEngine engine{&fpga, &cpld};
  EnginePipe pipe;
  lx::jtag::JtagLink link;
  kitsim::JtagTarget& Target() { return engine.Mode() == 2 ? fpga : cpld; }
  // Sends what is buffered and ends the job, so that every command has reached the target.
  void Finish() {
    if (link.Fill()) link.Send();
    engine.End();
  }
};

}  // namespace lxtest
