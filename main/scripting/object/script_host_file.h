// Files of the host for the script's load and store: UTF-8 paths, raw bytes, no sharing.
#pragma once
#include <cstdint>
#include <string>

namespace lx {

// Reads up to `count` bytes; false with a text for the script when the file cannot be opened or read.
bool ReadHostFile(const std::string& utf8Path, uint8_t* into, uint32_t count, uint32_t* got, std::string* error);
// Creates or empties the file and writes `count` bytes; false with a text when that fails.
bool WriteHostFile(const std::string& utf8Path, const uint8_t* from, uint32_t count, std::string* error);

}  // namespace lx
