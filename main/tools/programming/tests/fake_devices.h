// Small flash devices behind DeviceApiTable for the core's tests. Both behave as flash does:
// programming only clears bits, erasing sets a whole sector or block to 0xFF. Faults: a bit stuck
// at 0, failing calls, bad blocks and blocks that go bad.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "prog_core.h"

namespace fake {

struct Nor {
  std::vector<uint32_t> sizes;  // sector sizes in address order
  std::vector<uint8_t> array;
  uint32_t stuckAddress = 0xFFFFFFFF;  // a bit that reads 0 whatever is written
  uint8_t stuckMask = 0;
  std::set<uint32_t> failErase;      // sectors whose erase fails
  uint32_t failProgramAt = 0xFFFFFFFF;  // a program touching this address fails (and programs nothing)
  uint32_t failReadAt = 0xFFFFFFFF;     // a read touching this address fails (and leaves the buffer alone)
  uint32_t programs = 0, reads = 0, erases = 0;
  uint64_t bytesProgrammed = 0, bytesRead = 0;
  uint32_t Start(uint32_t sector) const;
};

struct Nand {
  uint32_t blocks = 0, pages = 0, spare = 64;
  std::map<uint64_t, std::vector<uint8_t>> written;  // page -> its bytes (absent: erased)
  std::vector<uint8_t> bbt;                          // per block; 0xFF good
  std::set<uint32_t> failErase;                      // blocks that go bad on erase
  std::set<uint64_t> failProgram;                    // pages whose program fails (the call ends there)
  std::set<uint64_t> failRead;                       // pages whose read fails (the buffer is left alone)
  std::vector<uint32_t> programCalls;                // first page of every raw program
  std::vector<uint32_t> readCalls;                   // first page of every raw read
  // Every partial page program with the spare it was handed: the whole spare area with a whole
  // page, else the column area's share (spare / 4 bytes); empty when no spare was handed.
  struct PartCall {
    uint32_t column, page, length;
    std::vector<uint8_t> spare;
  };
  std::vector<PartCall> partCalls;
  uint32_t erases = 0;
  uint32_t PageBytes() const { return 2048 + spare; }
  std::vector<uint8_t> Page(uint64_t page) const;
  bool BlockErased(uint32_t block) const;
};

// Binds the table's NOR, Veltan and size cells to the device (and forgets the other one).
void Bind(Nor& nor);
void Bind(Nand& nand);
void Unbind();

// A host that answers from a queue (then the default answer), counts what it was asked and
// told, and stops when told to.
class Host : public lx::prog::Host {
 public:
  void Pump() override { ++steps; }
  bool StopRequested() override { return steps > stopAfterSteps; }
  int Ask(const std::string& text, const char* caption, unsigned type) override;
  void SleepSlice(uint32_t ms) override { slept += ms; }
  void Status(int line, const std::string& text) override { status[line] = text; }
  std::vector<int> answers;
  std::vector<std::string> asked;
  std::map<int, std::string> status;
  uint32_t steps = 0;
  uint32_t stopAfterSteps = 0xFFFFFFFF;  // Step answers false from then on
  uint64_t slept = 0;
  bool Asked(const std::string& part) const;
};

std::string TempPath(const std::string& name);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace fake
