// STAPL programs with TDO taken from the fuzz input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "jam_player.h"

namespace {

class FuzzHost : public lx::jam::JamHost {
 public:
  FuzzHost(const uint8_t* tdo, size_t n) : tdo_(tdo), n_(n) {}
  void Message(const char*) override {}
  void Delay(int32_t) override {}
  int JtagIo(int, int, int readTdo) override { return readTdo ? Next() & 1 : 0; }
  int ScanIR(int start, int32_t count, const uint8_t*, uint8_t* capture) override { return Scan(start, count, capture); }
  int ScanDR(int start, int32_t count, const uint8_t*, uint8_t* capture) override { return Scan(start, count, capture); }
  void Output(int, const char*) override {}

 private:
  int Scan(int start, int32_t count, uint8_t* capture) {
    if (start < 0 || start > 2 || count < 0) __builtin_trap();
    // The player's budget does not bound a loop that keeps scanning: a kit that stops answering
    // after a while ends such a run here.
    if (++scans_ > 20000) return 1;
    if (capture)
      for (int32_t i = 0; i < (count + 7) / 8; ++i) capture[i] = Next();
    return Next() == 0xEE;  // now and then a failed scan
  }
  uint8_t Next() { return n_ ? tdo_[pos_++ % n_] : 0; }
  const uint8_t* tdo_;
  size_t n_, pos_ = 0;
  int scans_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t tdoLen = data[0] % 32;
  if (tdoLen + 1 > size) tdoLen = size - 1;
  FuzzHost host(data + 1, tdoLen);
  lx::jam::JamLimits limits;
  limits.stepBudget = 100000;
  limits.heapLimit = 1 << 20;
  const uint8_t* program = data + 1 + tdoLen;
  size_t n = size - 1 - tdoLen;
  int exitCode;
  lx::jam::RunJamProgram(host, program, n, &exitCode, limits);
  lx::jam::Execute(program, n, "VERIFY", {"DO_VERIFY=1"}, true, host, limits);
  return 0;
}
