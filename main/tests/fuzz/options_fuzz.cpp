// setup.ini is a file anyone can edit: whatever its bytes, the record that comes out must be
// safe to use as C strings and table indices.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "options_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lx::OptionsRecord rec;
  lx::ReadOptionsBytes(rec, data, size);
  lx::ApplyToolDefaults(rec, "C:\\windows");
  for (const char* path : {rec.FsLibraryPath, rec.NorDriverPath, rec.VeltanDriverPath, rec.VyrModulePath,
                           rec.ExplorerPath, rec.EditorPath})
    if (std::strlen(path) >= lx::kOptionsPathSize) __builtin_trap();
  if (rec.DeviceKind < 0 || rec.DeviceKind > 3) __builtin_trap();
  if (rec.WindowSizeIndex >= lx::WindowSizeChoiceCount(rec.DeviceKind)) __builtin_trap();
  bool enabled = false;
  lx::WindowSizeChoices(rec.DeviceKind, &enabled).at(rec.WindowSizeIndex);
  return 0;
}
