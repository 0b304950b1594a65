// A small assembler for slim VME test programs. One instruction per line:
//   HEADER 1.2 | ENDDR s | ENDIR s | STATE s | HIR n | TIR n | HDR n | TDR n | RUNTEST us | TCK n
//   WAITSTEP | END | REPEAT n | ENDLOOP | LOOPCOUNT n | LOOPSET [STATE s] [DELAY us] [TCK n]
//   LOOPSDR (the next line must be an SDR) | DREPEAT n SAVE|RESTORE | ENDDREPEAT | BYTE hh
//   SIR|SDR n [TDI(hex)] [TDO(hex)] [MASK(hex)] [DTDI(hex)] [DTDO(hex)]
// States: RESET IDLE IRPAUSE DRPAUSE IRSHIFT DRSHIFT DRCAPTURE. Hex is written most significant
// digit first; DTDI / DTDO put the data into the data image instead of the algorithm.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lxtest {

struct VmeImages {
  std::vector<uint8_t> algorithm, data;
  std::string error;  // empty when the text assembled
};

VmeImages AssembleVme(const std::string& text, bool compressData = false);
std::vector<uint8_t> VmeNumber(uint32_t v);

}  // namespace lxtest
