// Profiler CSV import on arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<std::string> names = {"FP_gfslInit", "FP_gfslMount", "", "A"};
  if (size > lx::kProfilerImportLimit) size = lx::kProfilerImportLimit;
  auto rows = lx::ParseProfilerCsv(reinterpret_cast<const char*>(data), size, names);
  for (const auto& row : rows) {
    if (row.index < 0 || row.index >= static_cast<int>(names.size()) || names[row.index].empty()) __builtin_trap();
  }
  return 0;
}
