// Scratch files of the cores' tests: paths in the temporary folder named after the running test,
// paths that cannot serve, and whole files written (they are read back with lxtest::ReadBytes).
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace lx {
namespace testing {

inline std::string TempPath(const std::string& name) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/lx_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
         "_" + name;
}

// A path whose folder does not exist: neither read nor written.
constexpr const char kNowherePath[] = "/nonexistent-folder/x/file.bin";

// The host's full device: opening and writing a few bytes succeed (the library holds them), and
// the close that would carry them to the disk fails, as on a disk that filled up meanwhile.
constexpr const char kFullDiskPath[] = "/dev/full";
// True where kFullDiskPath behaves so; elsewhere the tests that need it skip.
inline bool FullDiskHere() {
  std::FILE* f = std::fopen(kFullDiskPath, "wb");
  if (!f) return false;
  const bool taken = std::fputc('x', f) != EOF;
  return std::fclose(f) != 0 && taken;
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
}

}  // namespace testing
}  // namespace lx
