// The preset text comes from the environment of a test run or a file: any bytes must be refused
// cleanly or applied.
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rook::DeviceSettings s;
    std::string error;
    rook::ApplyPreset(std::string(reinterpret_cast<const char*>(data), size), s, &error);
    return 0;
}
