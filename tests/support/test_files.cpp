#include "test_files.h"

#include <cstdio>

namespace lxtest {

std::string ReadFile(const std::string& path) {
  std::string text;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return text;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  const std::string text = ReadFile(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::string NoiseBytes(size_t n, int seed) {
  std::string s(n, '\0');
  uint32_t x = 2463534242u + static_cast<uint32_t>(seed);
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

}  // namespace lxtest
