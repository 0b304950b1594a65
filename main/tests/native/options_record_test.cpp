#include "options_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "test_files.h"

namespace {

std::vector<uint8_t> Bytes(const lx::OptionsRecord& rec) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&rec);
  return std::vector<uint8_t>(p, p + sizeof rec);
}

TEST(OptionsRecord, FieldsSitAtTheirFileOffsets) {
  lx::OptionsRecord rec;
  std::memset(&rec, 0, sizeof rec);
  rec.ConfirmOperations = 0x01020304;
  lx::SetOptionsPath(rec.FsLibraryPath, "A");
  rec.DeviceKind = 2;
  rec.WindowSizeIndex = 1;
  lx::SetOptionsPath(rec.NorDriverPath, "N");
  lx::SetOptionsPath(rec.VeltanDriverPath, "V");
  lx::SetOptionsPath(rec.VyrModulePath, "Y");
  rec.VyrWithoutFsLibrary = 1;
  lx::SetOptionsPath(rec.ExplorerPath, "E");
  lx::SetOptionsPath(rec.EditorPath, "D");
  auto b = Bytes(rec);
  ASSERT_EQ(b.size(), 3080u);
  EXPECT_EQ(b[0], 0x04);  // little-endian, no header
  EXPECT_EQ(b[3], 0x01);
  EXPECT_EQ(b[4], 'A');
  EXPECT_EQ(b[516], 2);
  EXPECT_EQ(b[517], 1);
  EXPECT_EQ(b[518], 'N');
  EXPECT_EQ(b[1030], 'V');
  EXPECT_EQ(b[1542], 'Y');
  EXPECT_EQ(b[2054], 1);
  EXPECT_EQ(b[2055], 'E');
  EXPECT_EQ(b[2567], 'D');
  EXPECT_EQ(b[3079], 0);
}

// The record the commands and end-to-end tests write (scripts/options-record) is the one the
// program reads: each setting in its field, every other byte zero.
TEST(OptionsRecord, TheScriptsRecordReadsAsItsSettings) {
  struct Case {
    const char* settings;
    const char* module;
    uint32_t confirm;
    int8_t kind;
  } cases[] = {
      {"", "Pallix-VirtualDevice.dll", 0, lx::kDeviceKindNand},
      {"confirm=1", "Pallix-VirtualDevice.dll", 1, lx::kDeviceKindNand},
      {"kind=nor", "Tarn-Rook.dll", 0, lx::kDeviceKindNor},
      {"kind=ostra2 confirm=1", "C:\\Program Files\\Tarn-Rook.dll", 1, lx::kDeviceKindOstra2},
  };
  const char* tmp = std::getenv("TMPDIR");
  const std::string file = std::string(tmp && *tmp ? tmp : "/tmp") + "/lx_options_record_script.ini";
  for (const Case& c : cases) {
    const std::string command =
        std::string("'" LX_SCRIPTS_DIR "/options-record' '") + file + "' '" + c.module + "' " + c.settings;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<uint8_t> bytes = lxtest::ReadBytes(file);
    ASSERT_EQ(bytes.size(), lx::kOptionsRecordSize) << c.settings;
    lx::OptionsRecord expected;
    std::memset(&expected, 0, sizeof expected);
    expected.ConfirmOperations = c.confirm;
    lx::SetOptionsPath(expected.FsLibraryPath, c.module);
    expected.DeviceKind = c.kind;
    EXPECT_EQ(bytes, Bytes(expected)) << c.settings;
  }
  // A setting it does not know writes nothing.
  std::remove(file.c_str());
  EXPECT_NE(std::system(("'" LX_SCRIPTS_DIR "/options-record' '" + file + "' x.dll kind=flash 2>/dev/null").c_str()), 0);
  EXPECT_TRUE(lxtest::ReadBytes(file).empty());
}

TEST(OptionsRecord, RoundTripsAValidRecordByteForByte) {
  std::vector<uint8_t> file(3080);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>('a' + i % 26);
  // Terminated paths and in-range numbers: a record the program itself would write.
  for (size_t end : {4 + 511, 518 + 511, 1030 + 511, 1542 + 511, 2055 + 511, 2567 + 511}) file[end] = 0;
  file[516] = 1;
  file[517] = 5;
  file[3079] = 0;
  lx::OptionsRecord rec;
  EXPECT_EQ(lx::ReadOptionsBytes(rec, file.data(), file.size()), 3080u);
  EXPECT_EQ(Bytes(rec), file);
}

TEST(OptionsRecord, ShortFileLeavesZerosNotStaleBytes) {
  lx::OptionsRecord rec;
  std::memset(&rec, 0x55, sizeof rec);
  const char text[] = "\x01\x00\x00\x00" "C:\\x.dll";
  EXPECT_EQ(lx::ReadOptionsBytes(rec, text, sizeof text), sizeof text);
  EXPECT_EQ(rec.ConfirmOperations, 1u);
  EXPECT_STREQ(rec.FsLibraryPath, "C:\\x.dll");
  EXPECT_EQ(rec.DeviceKind, 0);
  EXPECT_EQ(rec.NorDriverPath[0], 0);
  EXPECT_EQ(rec.EditorPath[0], 0);
}

TEST(OptionsRecord, LongerFileTakesOnlyTheRecord) {
  std::vector<uint8_t> file(5000, 0);
  file[4] = 'p';
  file[3080] = 0xEE;
  lx::OptionsRecord rec;
  EXPECT_EQ(lx::ReadOptionsBytes(rec, file.data(), file.size()), 3080u);
  EXPECT_STREQ(rec.FsLibraryPath, "p");
}

TEST(OptionsRecord, DamagedFileIsMadeSafe) {
  std::vector<uint8_t> file(3080, 'x');  // no terminator anywhere
  struct Case {
    int8_t kind;
    uint8_t index;
    int8_t wantKind;
    uint8_t wantIndex;
  } cases[] = {
      {1, 5, 1, 5},      // NOR keeps its six sizes
      {2, 5, 2, 2},      // SPI has three
      {0, 9, 0, 2},      // NAND has three
      {3, 200, 3, 5},    // Ostra2 six
      {-7, 1, 0, 1},     // below the range
      {120, 9, 3, 5},    // above the range
  };
  for (const auto& c : cases) {
    file[516] = static_cast<uint8_t>(c.kind);
    file[517] = c.index;
    lx::OptionsRecord rec;
    lx::ReadOptionsBytes(rec, file.data(), file.size());
    EXPECT_EQ(rec.DeviceKind, c.wantKind) << int(c.kind);
    EXPECT_EQ(rec.WindowSizeIndex, c.wantIndex) << int(c.kind) << "/" << int(c.index);
    for (const char* path : {rec.FsLibraryPath, rec.NorDriverPath, rec.VeltanDriverPath, rec.VyrModulePath,
                             rec.ExplorerPath, rec.EditorPath})
      EXPECT_EQ(std::strlen(path), 511u);
  }
}

TEST(OptionsRecord, ToolDefaultsOnlyFillEmptyFields) {
  lx::OptionsRecord rec;
  std::memset(&rec, 0, sizeof rec);
  lx::ApplyToolDefaults(rec, "C:\\windows");
  EXPECT_STREQ(rec.ExplorerPath, "C:\\windows\\explorer.exe");
  EXPECT_STREQ(rec.EditorPath, "C:\\windows\\notepad.exe");
  lx::SetOptionsPath(rec.EditorPath, "D:\\ed.exe");
  rec.ExplorerPath[0] = 0;
  lx::ApplyToolDefaults(rec, "W");
  EXPECT_STREQ(rec.ExplorerPath, "W\\explorer.exe");
  EXPECT_STREQ(rec.EditorPath, "D:\\ed.exe");
}

TEST(OptionsRecord, PathFieldIsClearedAndLimitedTo511) {
  lx::OptionsRecord rec;
  std::memset(&rec, 0x41, sizeof rec);
  std::string longText(700, 'z');
  lx::SetOptionsPath(rec.NorDriverPath, longText.c_str());
  EXPECT_EQ(std::strlen(rec.NorDriverPath), 511u);
  lx::SetOptionsPath(rec.NorDriverPath, "ab");
  for (size_t i = 2; i < 512; ++i) ASSERT_EQ(rec.NorDriverPath[i], 0) << i;
  EXPECT_EQ(rec.VeltanDriverPath[0], 0x41);  // neighbours untouched
}

TEST(OptionsRecord, WindowSizeListsPerKind) {
  bool enabled = true;
  auto nand = lx::WindowSizeChoices(0, &enabled);
  EXPECT_FALSE(enabled);
  EXPECT_EQ(nand, (std::vector<std::string>{"1024 Bytes (N/A)", "2048 Bytes (N/A)", "4096 Bytes (N/A)"}));
  auto nor = lx::WindowSizeChoices(1, &enabled);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(nor.size(), 6u);
  EXPECT_EQ(nor.back(), "32768 Bytes");
  EXPECT_EQ(lx::WindowSizeChoices(2, &enabled), (std::vector<std::string>{"1024 Bytes", "2048 Bytes", "4096 Bytes"}));
  EXPECT_EQ(lx::WindowSizeChoices(3, &enabled).size(), 6u);
}

}  // namespace
