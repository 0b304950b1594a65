// The bad-block table file the user chooses, on arbitrary contents: what is read back either
// lists every block or is refused with a reason, and a table written from it reads the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "veltan_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks the device's block count, small enough to match by chance.
  const uint32_t blocks = data[0] % 24;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<uint8_t> markers;
  std::string why;
  if (!lx::ParseBlockTableFile(text, blocks, &markers, &why)) {
    if (why.empty()) __builtin_trap();
    return 0;
  }
  if (markers.size() != blocks) __builtin_trap();
  std::vector<uint8_t> again;
  if (!lx::ParseBlockTableFile(lx::FormatBlockTableFile(markers.data(), blocks), blocks, &again, &why) ||
      again != markers)
    __builtin_trap();
  return 0;
}
