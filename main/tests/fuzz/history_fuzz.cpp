// Any history file parses, and what the frame writes back parses to the same entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "frame_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> entries = lx::ParseHistory(bytes);
  for (const std::string& entry : entries) {
    if (entry.empty() || entry.find('\r') != std::string::npos) std::abort();
  }
  if (lx::ParseHistory(lx::HistoryText(entries)) != entries) std::abort();
  return 0;
}
