// Firmware images: on-the-fly FPGA images and USB-controller boot images.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "firmware_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lx::fw::OnTheFlyImage img;
  if (lx::fw::ParseOnTheFly(data, size, &img) == lx::fw::FW_OK) {
    if (img.payloadOffset + img.payloadLength != size || img.payloadLength < 512) __builtin_trap();
    int cmp;
    if (!img.version.empty() &&
        (!lx::fw::CompareVersions(img.version, "2.0.0", &cmp) || cmp > 0))
      __builtin_trap();
  }
  std::vector<lx::fw::BootRecord> recs;
  if (lx::fw::ParseBootImage(data, size, &recs) == lx::fw::FW_OK)
    for (const auto& r : recs)
      if (r.offset + r.length > size - 5 || r.offset < 12) __builtin_trap();
  std::string a(reinterpret_cast<const char*>(data), size / 2), b(reinterpret_cast<const char*>(data) + size / 2,
                                                                   size - size / 2);
  int cmp;
  lx::fw::CompareVersions(a, b, &cmp);
  return 0;
}
