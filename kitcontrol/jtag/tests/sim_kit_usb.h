// Test wiring: the loader's USB device as the simulated kit with its JTAG features installed.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "kitsim/kit.h"
#include "kitsim/kit_jtag.h"
#include "tarn_download.h"

namespace lxtest {

struct ControlLog {
  bool in;
  uint8_t request;
  uint16_t value, index;
  uint32_t length;
};

class SimKitUsb : public lx::jtag::KitUsb {
 public:
  SimKitUsb() { kitsim::InstallJtagFeatures(kit, features); }
  bool Control(bool in, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
               uint32_t* length, unsigned) override {
    controls.push_back({in, request, value, index, *length});
    if (in && request == 0xA9 && silentProbe) return true;  // answers, but with nothing
    kitsim::UsbSetup s{static_cast<uint8_t>(in ? 0xC0 : 0x40), request, value, index,
                       static_cast<uint16_t>(*length)};
    return kit.ControlTransfer(s, data, *length);
  }
  bool BulkOut(const uint8_t* data, uint32_t length, unsigned) override {
    if (failOutsAfter >= 0 && outs >= failOutsAfter) return false;
    ++outs;
    kit.StreamOut(data, length);
    return true;
  }
  bool BulkIn(uint8_t* data, uint32_t* length, unsigned) override {
    if (!kit.InWaiting(0x86)) return false;  // would time out
    *length = static_cast<uint32_t>(kit.InRead(0x86, data, *length));
    return true;
  }
  void Sleep(unsigned ms) override { slept += ms; }
  bool ResetPipes() override {
    ++pipeResets;
    kit.InDiscard(0x86);
    return true;
  }
  bool CyclePort() override {
    ++cycles;
    features.boot.CyclePort();
    return true;
  }
  int Requests(uint8_t request) const {
    int n = 0;
    for (const ControlLog& c : controls) n += c.request == request;
    return n;
  }

  kitsim::Kit kit;
  kitsim::KitJtagFeatures features;
  std::vector<ControlLog> controls;
  int outs = 0, failOutsAfter = -1, pipeResets = 0, cycles = 0;
  unsigned slept = 0;
  bool silentProbe = false;
};

struct EventLog : lx::jtag::DownloadEvents {
  void Progress(int event, unsigned percent) override { progress.emplace_back(event, percent); }
  void Message(const std::string& text) override { messages.push_back(text); }
  std::vector<std::pair<int, unsigned>> progress;
  std::vector<std::string> messages;
};

}  // namespace lxtest
