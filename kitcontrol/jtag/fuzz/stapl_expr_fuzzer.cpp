// Expressions and Boolean array arguments inside a fixed version-2 program.
#include <cstddef>
#include <cstdint>
#include <string>

#include "jam_player.h"
#include "null_host.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  for (char& c : text)
    if (c == ';' || c == '\'' || c == '"' || c == ':') c = ' ';
  static const char* const kForms[] = {
      "PRINT %s;", "BOOLEAN R = %s;", "INTEGER R = %s;", "DRSCAN 8, %s;",
      "B[7..0] = %s;", "IF %s THEN EXIT 1;", "INTEGER R[%s];", "PREDR 4, %s;",
  };
  std::string form = kForms[size % 8];
  form.replace(form.find("%s"), 2, text);
  std::string program =
      "ACTION PROGRAM = P;\nPROCEDURE P;\nINTEGER I = 5;\nBOOLEAN F = 1;\nBOOLEAN B[8] = $A5;\n"
      "INTEGER V[4] = 1, 2, 3, 4;\n" + form + "\nENDPROC;\n";
  NullJamHost host;
  lx::jam::JamLimits limits;
  limits.stepBudget = 10000;
  limits.heapLimit = 1 << 20;
  lx::jam::Execute(reinterpret_cast<const uint8_t*>(program.data()), program.size(), "PROGRAM", {},
                   true, host, limits);
  return 0;
}
