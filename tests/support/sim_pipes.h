// TarnPipes straight onto a simulated kit, without the USB layer: the kit control's own link code
// drives the kit's side of the protocol in-process. The link's tests record every bus-stream
// transfer and make the next transfer of an endpoint fail or come up short; the kit module's
// tests and benchmarks pull the cable and count what crossed.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "kitsim/kit.h"
#include "tarn_link.h"

namespace lxtest {

struct SimPipes : tarn::TarnPipes {
  explicit SimPipes(kitsim::Kit& k) : kit(k) {}

  bool Transfer(uint8_t endpoint, uint8_t* buffer, uint32_t& length) override;
  // What the link set, or the driver's default of ten seconds; nothing here waits on it.
  uint32_t Timeout(uint8_t endpoint) const override;
  void SetTimeout(uint8_t endpoint, uint32_t ms) override { timeouts[endpoint] = ms; }
  void Abort(uint8_t endpoint) override { ++aborts[endpoint]; }
  void Reset(uint8_t endpoint) override { kit.InDiscard(endpoint); }

  kitsim::Kit& kit;
  // Every transfer fails while set, as with a pulled cable.
  bool unplugged = false;
  // By endpoint: the next so many transfers fail, or (reads) bring one byte less than asked.
  std::map<uint8_t, int> failNext, shortNext;
  std::map<uint8_t, int> aborts;
  std::map<uint8_t, uint32_t> timeouts;
  // By endpoint, every transfer tried.
  std::map<uint8_t, uint64_t> transfers;
  // The bus stream: each transfer's size and the last one's bytes.
  std::vector<uint32_t> streamSizes;
  std::vector<uint8_t> lastStream;
  uint64_t streamBytes = 0;
  // Bytes read from the data endpoint.
  uint64_t readBytes = 0;
};

}  // namespace lxtest
