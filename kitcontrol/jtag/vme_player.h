// Player of slim VME byte code: an algorithm image (instructions after an "_SVME1.x" header) and
// a data image (scan data, optionally run-length compressed), played as JTAG stream commands.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "jtag_link.h"

namespace lx {
namespace jtag {

enum VmeResult {
  VME_OK = 0,
  VME_VERIFY_FAIL = -1,  // TDO differs from the expected data, or no TDO answer
  VME_BAD_HEADER = -4,
  VME_BAD_CODE = -5,     // unknown opcode or descriptor, or a value out of bounds
  VME_BAD_DATA = -6,     // missing end-of-data marker
  VME_EXTRA_DATA = -7,   // data left over after the program ended
};
const char* VmeErrorText(int rc);

// VME JTAG states.
enum VmeState { VS_RESET = 0, VS_IDLE, VS_IRPAUSE, VS_DRPAUSE, VS_IRSHIFT, VS_DRSHIFT, VS_DRCAPTURE };

struct VmeLimits {
  int64_t budget = 2000000000;  // opcodes, clocks and shifted bits a run may take
  int maxNesting = 16;          // nested repeat blocks
};

// True when the image begins with one of the algorithm headers the player runs.
bool IsVmeAlgorithm(const uint8_t* image, size_t size);

class VmePlayer {
 public:
  VmePlayer(JtagLink& link, const uint8_t* algorithm, size_t algorithmSize, const uint8_t* data,
            size_t dataSize, const VmeLimits& limits = VmeLimits());

  int CheckHeader();
  int Run();
  // Plays the whole program without touching the link: VME_OK when the algorithm and the data
  // are complete and consistent. The player is then ready for Run as after CheckHeader.
  int Validate();
  // TMS pattern and count for a move; false when the pair has no table entry and no path.
  static bool MovePattern(int from, int to, bool force, uint8_t* count, uint8_t* pattern);
  int Move(int to, bool force = false);
  unsigned Progress() const;
  int State() const { return state_; }

 private:
  uint8_t AlgByte();
  uint8_t DataByte();     // raw data byte
  uint8_t ScanDataByte(); // data byte of a scan, expanding compressed runs
  int Number(uint32_t* out);
  int Instruction(int opcode);
  int Block(int nesting, uint8_t endOpcode);
  int Scan(bool ir);
  int Padding(uint32_t bits, bool before);
  int Charge(int64_t n);

  JtagLink& link_;
  std::vector<uint8_t> alg_, data_;
  size_t algPos_ = 0, dataPos_ = 0;
  VmeLimits limits_;
  int64_t spent_ = 0;
  int state_ = VS_RESET;
  int endDr_ = VS_IDLE, endIr_ = VS_IDLE;
  uint32_t hir_ = 0, tir_ = 0, hdr_ = 0, tdr_ = 0;
  bool compressed_ = false;     // data image compressed
  bool scanCompressed_ = false; // this scan's data compressed
  uint32_t run_ = 0;            // 0xFF bytes still to deliver
  uint32_t repeatCount_ = 0;
  int loopState_ = VS_IDLE;
  uint32_t loopTck_ = 0, loopDelay_ = 0;
  int nesting_ = 0;
  size_t savedData_ = 0;
  bool haveSaved_ = false;
  bool dry_ = false;  // Validate's run: nothing goes to the link, every compare passes
};

}  // namespace jtag
}  // namespace lx
