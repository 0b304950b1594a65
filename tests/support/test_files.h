// Files a test reads back whole, as bytes or as text, with no translation of line ends. A file
// that cannot be opened reads as empty: the test's expectation on the content then says so.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lxtest {

std::string ReadFile(const std::string& path);
std::vector<uint8_t> ReadBytes(const std::string& path);
// n bytes of a fixed pseudo-random stream per seed: file contents no two seeds share, so a
// copy that took the wrong file or lost a piece does not read back the same.
std::string NoiseBytes(size_t n, int seed);

}  // namespace lxtest
