// STAPL programs shared by the player and loader tests: everything made here for the simulated
// target, nothing taken from any product. The kit's images come from kit_images.h.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "jam_player.h"
#include "kit_images.h"

namespace lxtest {

// Checks the IDCODE, erases, programs rows 0 and 1 and verifies them. WAIT_HERE marks where the
// wait after the first row goes.
inline const char* kProgramAndVerify =
    "NOTE \"CREATOR\" \"test\";\n"
    "ACTION PROGRAM = CHECK_ID, DO_PROGRAM RECOMMENDED, DO_VERIFY RECOMMENDED;\n"
    "DATA IMAGE;\nBOOLEAN ROW0[16] = $12F0;\nBOOLEAN ROW1[16] = $ABCD;\nENDDATA;\n"
    "PROCEDURE CHECK_ID;\nBOOLEAN ID_OK;\nIRSCAN 8, $01;\n"
    "DRSCAN 32, $00000000, COMPARE $1A6A50C3, $FFFFFFFF, ID_OK;\n"
    "IF !ID_OK THEN EXIT 2;\nENDPROC;\n"
    "PROCEDURE DO_PROGRAM USES IMAGE;\n"
    "IRSCAN 8, $23;\nDRSCAN 1, #1;\nWAIT 80 CYCLES;\n"
    "IRSCAN 8, $20;\nDRSCAN 8, $00;\nIRSCAN 8, $21;\nDRSCAN 16, ROW0[15..0];\nWAIT_HERE\n"
    "IRSCAN 8, $20;\nDRSCAN 8, $01;\nIRSCAN 8, $21;\nDRSCAN 16, ROW1[15..0];\nWAIT 30 CYCLES;\n"
    "ENDPROC;\n"
    "PROCEDURE DO_VERIFY USES IMAGE;\nBOOLEAN OK;\n"
    "IRSCAN 8, $20;\nDRSCAN 8, $00;\nIRSCAN 8, $22;\nDRSCAN 16, $0000, COMPARE ROW0[15..0], $FFFF, OK;\n"
    "IF !OK THEN EXIT 11;\n"
    "IRSCAN 8, $20;\nDRSCAN 8, $01;\nIRSCAN 8, $22;\nDRSCAN 16, $0000, COMPARE ROW1[15..0], $FFFF, OK;\n"
    "IF !OK THEN EXIT 11;\nENDPROC;\n";

inline std::string WithCrc(std::string body) {
  uint16_t crc = lx::jam::ComputeCrc(reinterpret_cast<const uint8_t*>(body.data()), body.size());
  char buf[16];
  std::snprintf(buf, sizeof buf, "CRC %04X;\n", crc);
  return body + buf;
}

inline std::string Program(bool waitAfterFirstRow) {
  std::string p = kProgramAndVerify;
  p.replace(p.find("WAIT_HERE"), 9, waitAfterFirstRow ? "WAIT 30 CYCLES;" : "");
  return WithCrc(p);
}

}  // namespace lxtest
