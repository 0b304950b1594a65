// A STAPL host that drives nothing: for fuzzing the player's parsing and evaluation.
#pragma once
#include "jam_player.h"

class NullJamHost : public lx::jam::JamHost {
 public:
  void Message(const char*) override {}
  void Delay(int32_t) override {}
  int JtagIo(int, int, int) override { return 0; }
  int ScanIR(int, int32_t, const uint8_t*, uint8_t*) override { return 0; }
  int ScanDR(int, int32_t, const uint8_t*, uint8_t*) override { return 0; }
  void Output(int, const char*) override {}
};
