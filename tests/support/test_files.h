// Files a test reads back whole, as bytes or as text, with no translation of line ends. A file
// that cannot be opened reads as empty: the test's expectation on the content then says so.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lxtest {

std::string ReadFile(const std::string& path);
std::vector<uint8_t> ReadBytes(const std::string& path);

}  // namespace lxtest
