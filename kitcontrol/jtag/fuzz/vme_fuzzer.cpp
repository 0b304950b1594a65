// VME algorithm and data image pairs played through the kit's JTAG stream into the simulated
// firmware and target (which parses the stream the player produces).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../tests/sim_link.h"
#include "vme_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t split = (static_cast<size_t>(data[0]) << 8 | data[1]) % (size - 1);
  std::vector<uint8_t> alg = {'_', 'S', 'V', 'M', 'E', '1', '.', '2'};
  alg.insert(alg.end(), data + 2, data + 2 + (split > size - 2 ? size - 2 : split));
  std::vector<uint8_t> dat(data + 2 + (split > size - 2 ? size - 2 : split), data + size);
  lxtest::SimJtag sim(2);
  sim.fpga.KeepLog(false);
  lx::jtag::VmeLimits limits;
  limits.budget = 200000;
  lx::jtag::VmePlayer p(sim.link, alg.data(), alg.size(), dat.data(), dat.size(), limits);
  if (p.CheckHeader() == 0) p.Run();
  unsigned pct = p.Progress();
  if (pct < 1 || pct > 100) __builtin_trap();
  sim.Finish();
  return 0;
}
