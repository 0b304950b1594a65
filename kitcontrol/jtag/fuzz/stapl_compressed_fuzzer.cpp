// Compressed Boolean array data: the fuzz input mapped onto the 64-symbol alphabet.
#include <cstddef>
#include <cstdint>
#include <string>

#include "jam_player.h"
#include "null_host.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_@";
  if (size < 2) return 0;
  std::string lit;
  // Keep the stated length small now and then so that decompression runs to its end.
  for (size_t i = 2; i < size; ++i) lit.push_back(kAlphabet[data[i] & 63]);
  if (data[0] & 1 && lit.size() >= 6) lit.replace(0, 6, std::string(1, kAlphabet[data[1] & 63]) + "00000");
  int bits = (data[0] >> 1) * 8 + 8;
  std::string program = "ACTION PROGRAM = P;\nPROCEDURE P;\nBOOLEAN A[" + std::to_string(bits) + "] = @" +
                        lit + ";\nPRINT INTEGER(A[7..0]);\nENDPROC;\n";
  NullJamHost host;
  lx::jam::JamLimits limits;
  limits.heapLimit = 1 << 20;
  lx::jam::Execute(reinterpret_cast<const uint8_t*>(program.data()), program.size(), "PROGRAM", {},
                   true, host, limits);
  return 0;
}
