// Lumivex's NOR console with the real driver: the frame under Xvfb runs "init LXLLD", which loads
// LXLLD_Tarn.dll, starts the simulated kit through TarnControl and hands every later line to the
// driver's exports. The transcripts below are what the driver must print; the chip model in the
// simulated kit is asked afterwards whether each writing command reached it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "document.h"
#include "driver_names.h"
#include "explorers.h"
#include "frame_test_support.h"
#include "kitsim/nor_chip.h"
#include "lumivex/testkit.h"
#include "main_frame.h"
#include "options_record.h"
#include "resource.h"
#include "test_support.h"

namespace {

CBrambApp g_app;
CMainFrame* g_frame = nullptr;
std::string g_folder;

kitsim::NorChip* Chip() {
  auto get = SimExport<void* (*)(int)>("LxKitSimNorChip");
  return get ? static_cast<kitsim::NorChip*>(get(0)) : nullptr;
}

std::string Entered(const std::string& line) { return "* " + line + " had entered.\n"; }

// The driver reads the lines of EditJob from the process's standard input: give it these.
void FeedStandardInput(const std::string& text) {
  int fds[2];
  ASSERT_EQ(_pipe(fds, 65536, _O_BINARY), 0);
  ASSERT_EQ(_write(fds[1], text.data(), unsigned(text.size())), int(text.size()));
  _close(fds[1]);
  ASSERT_EQ(_dup2(fds[0], 0), 0);
  _close(fds[0]);
  clearerr(stdin);
}

class LldConsoleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_folder = MakeTempFolder("lxlldcon");
    lx::OptionsRecord options;
    std::memset(&options, 0, sizeof options);
    lx::SetOptionsPath(options.NorDriverPath, "LXLLD_Tarn.dll");
    UseTestArea(g_app, g_folder, options);
    LxPromptTestBegin();
    g_app.SetRegistryKey("Keldorn LLD Console Test");
    g_frame = CreateTestFrame(g_app);
    ASSERT_NE(g_frame, nullptr);
    std::string init = RunLine(g_frame, "init LXLLD");
    ASSERT_NE(init.find(" Device ID = 0x007E1001\n"
                        " Keldorn\n LLD Command Line Tool\n Version 1.0\n\n"
                        " Device BaseAddress    : 0x80000000\n"
                        " 64K scratchpad address: 0x00100000\n"),
              std::string::npos)
        << init;
    ASSERT_NE(init.find(Entered("init LXLLD")), std::string::npos) << init;
    ASSERT_NE(Chip(), nullptr);
  }
  static void TearDownTestSuite() {
    if (g_frame) g_frame->DestroyWindow();
    LxPumpMessages();
    LxPromptTestEnd();
  }
};

struct Step {
  const char* line;
  const char* printed;  // the driver's text for the line
};

void RunSteps(const std::vector<Step>& steps) {
  for (const Step& s : steps) EXPECT_EQ(RunLine(g_frame, s.line), s.printed + Entered(s.line)) << s.line;
}

}  // namespace

TEST_F(LldConsoleTest, CfiAutoselectOperationsMemoryVariablesAndAJob) {
  kitsim::NorChip& chip = *Chip();
  RunSteps({
      {"VendorCommandSet", "AMD, Fujitsu (0x02)\n"},
      {"DeviceSize", "8MB (0x00800000)\n"},
      {"NumberOfEraseBlockRegions", "0x00000001\n"},
      {"GetEraseBlockRegionInfo", "Region 0, 0128 sectors of size 064KB\n"},
      {"MaxBytesPerMultiByteWrite", "0x00000040\n"},
      {"GetDeviceId", "007E1001\n"},
      {"AutoselectEntryCmd", ""},
      {"ReadOp 80000000 0", "00000001\n"},
      {"AutoselectExitCmd", ""},
      {"ProgramOp 10 1234", "status = DEV_NOT_BUSY\n"},
      {"ReadOp 10", "00001234\n"},
      {"ProgramOp 80000000 10 4321", "status = DEV_VERIFY_ERROR\n"},
  });
  EXPECT_EQ(chip.ArrayWord(0x10), 0x0220);
  RunSteps({
      {"SectorEraseOp 10", "status = DEV_NOT_BUSY\n"},
      {"Poll 80000000 10 FFFF LLD_P_POLL_SEC_ERS", "status = DEV_NOT_BUSY, act_data = 0x0000FFFF\n"},
      {"f8 100000 10001F 0 +", ""},
      {"d8 100000 20",
       "00100000   00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n"
       "00100010   10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F \n"},
      {"Memcpy 80000000 1E 10 100000", "status = DEV_NOT_BUSY\n"},
      {"interface macro", ""},
      // Word offset 0x1E (the copy's target) is shown at its byte address.
      {"d16 8000001E 3", "8000003C   0100 0302 0504 \n"},
      {"interface raw", ""},
      {"r32 10FFFD", "Invalid Address 0010FFFD : Please use \"interface macro\"\n"},
      {"var16 x", ""},
      {"var16 x = 10 < 4", ""},
      {"var8 x = 1", "Invalid environment variable for data size 1 byte(s)!\n"},
      {"var32 scratchpad = 0", "The environment variable scratchpad cannot be assigned!\n"},
      {"var16 x = 1 / 0",
       "Division by zero!\ncommand: var varname [= value [op value]]   where op is one of: + - * / < > & |\n"},
  });
  for (uint32_t i = 0; i < 0x10; ++i) EXPECT_EQ(chip.ArrayWord(0x1E + i), uint16_t((2 * i + 1) << 8 | 2 * i)) << i;

  // A job written through EditJob, with a label line passed over, and the end of the input ending the edit.
  FeedStandardInput("w8 100000 AB\nlabel again\nw8 100001 CD\nd8 100000 2\n");
  RunSteps({
      {"EditJob", "Line 0:>Line 1:>Line 2:>Line 3:>Line 4:>"},
      {"ListJob", "w8 100000 AB\nlabel again\nw8 100001 CD\nd8 100000 2\n"},
      {"job", "00100000   AB CD \n"},
      {"f8 100000 100001 0", ""},
      {"goto again", ""},
      {"job", "00100000   00 CD \n"},
      {"job", "00100000   AB CD \n"},
      {"DeleteJob", ""},
      {"job", "Nothing to execute at line 0\n"},
  });
  CChildFrame* child = g_frame->GetActiveChild();
  ASSERT_NE(child, nullptr);
  LxSaveWindowShot(g_frame->m_hWnd, "lld_console");
}

// Every command export of the driver is reached by a line of the console; the chip model agrees
// with each line that writes.
TEST_F(LldConsoleTest, EveryExportIsReachedByAConsoleLine) {
  kitsim::NorChip& chip = *Chip();
  struct Row {
    const char* export_;
    const char* line;
    std::function<bool()> chipAgrees;
  };
  const std::vector<Row> rows = {
      {"exit", "exit", nullptr},
      {"SetBaseAddress", "SetBaseAddress 80000000", nullptr},
      {"SetWindowSize", "SetWindowSize 7FFFFFFF", nullptr},
      {"help", "help", nullptr},
      {"VendorCommandSet", "VendorCommandSet", nullptr},
      {"PrimaryExtendedTableOffset", "PrimaryExtendedTableOffset", nullptr},
      {"DeviceSize", "DeviceSize", nullptr},
      {"MaxBytesPerMultiByteWrite", "MaxBytesPerMultiByteWrite", nullptr},
      {"NumberOfEraseBlockRegions", "NumberOfEraseBlockRegions", nullptr},
      {"GetEraseBlockRegionInfo", "GetEraseBlockRegionInfo", nullptr},
      {"GetVersion", "GetVersion", nullptr},
      {"AddressSensitiveUnlock", "AddressSensitiveUnlock", nullptr},
      {"ProcessTechnology", "ProcessTechnology", nullptr},
      {"EraseSuspendCapability", "EraseSuspendCapability", nullptr},
      {"SectorProtectionScheme", "SectorProtectionScheme", nullptr},
      {"SectorProtection", "SectorProtection", nullptr},
      {"SectorTemporaryUnprotect", "SectorTemporaryUnprotect", nullptr},
      {"SimultaneousOperation", "SimultaneousOperation", nullptr},
      {"BurstModeType", "BurstModeType", nullptr},
      {"PageModeType", "PageModeType", nullptr},
      {"BootSectorFlag", "BootSectorFlag", nullptr},
      {"ProgramSuspend", "ProgramSuspend", nullptr},
      {"memory_write8", "w8 100000 11", nullptr},
      {"memory_write16", "w16 100002 2233", nullptr},
      {"memory_write32", "w32 100004 44556677", nullptr},
      {"memory_fill8", "f8 100008 10000B 88", nullptr},
      {"memory_fill16", "f16 10000C 10000F 9999", nullptr},
      {"memory_fill32", "f32 100010 100017 AAAAAAAA -", nullptr},
      {"memory_read8", "r8 100000", nullptr},
      {"memory_read16", "r16 100002", nullptr},
      {"memory_read32", "r32 100004", nullptr},
      {"memory_dump8", "d8 100000 4", nullptr},
      {"memory_dump16", "d16 100000 4", nullptr},
      {"memory_dump32", "d32 100000 4", nullptr},
      {"memory_search8", "s8 100000 10000F 88", nullptr},
      {"memory_search16", "s16 100000 10000F !9999", nullptr},
      {"memory_search32", "s32 100010 100017 AAAAAAAA -", nullptr},
      {"memory_interface", "interface", nullptr},
      {"ResetCmd", "ResetCmd", nullptr},
      {"ChipEraseCmd", "ChipEraseCmd", [&] { return chip.Busy(); }},
      {"StatusGet", "StatusGet 0", nullptr},
      {"ChipEraseOp", "ChipEraseOp", [&] { return !chip.Busy() && chip.ArrayWord(0) == 0xFFFF; }},
      {"ProgramCmd", "ProgramCmd 20 0F0F", nullptr},
      {"Poll", "Poll 80000000 20 0F0F LLD_P_POLL_PGM", [&] { return chip.ArrayWord(0x20) == 0x0F0F; }},
      {"SectorEraseCmd", "SectorEraseCmd 20", [&] { return chip.Busy(); }},
      {"EraseSuspendCmd", "EraseSuspendCmd 20", nullptr},
      {"EraseResumeCmd", "EraseResumeCmd 20", nullptr},
      {"SectorEraseOp", "SectorEraseOp 20", [&] { return chip.ArrayWord(0x20) == 0xFFFF; }},
      {"ProgramOp", "ProgramOp 21 1234", [&] { return chip.ArrayWord(0x21) == 0x1234; }},
      {"ProgramSuspendCmd", "ProgramSuspendCmd 21", nullptr},
      {"ProgramResumeCmd", "ProgramResumeCmd 21", nullptr},
      {"ReadOp", "ReadOp 21", nullptr},
      {"GetDeviceId", "GetDeviceId", nullptr},
      {"WriteBufferProgramOp", "WriteBufferProgramOp 80000000 40 4 100000",
       [&] { return chip.ArrayWord(0x41) == 0x2233; }},
      {"memcpy", "Memcpy 80000000 50 2 100004", [&] { return chip.ArrayWord(0x51) == 0x4455; }},
      // A load given no count and no words ends in the abort state, which only the abort reset leaves.
      {"WriteToBufferCmd", "WriteToBufferCmd 60", nullptr},
      {"ProgramBufferToFlashCmd", "WriteBufferToFlashCmd 60", nullptr},
      {"WriteBufferAbortResetCmd", "WriteBufferAbortResetCmd", nullptr},
      {"WriteBufferAbortResetCmd", "WriteBufferAbortResetCmd", nullptr},
      {"StatusGet", "StatusGet 60", [&] { return chip.ArrayWord(0x60) == 0xFFFF && !chip.Busy(); }},
      {"DelayMilliseconds", "DelayMilliseconds 1", nullptr},
      {"DelayMicroseconds", "DelayMicroseconds 10", nullptr},
      {"ReadCfiWord", "ReadCfiWord 10", nullptr},
      {"CfiEntryCmd", "CfiEntryCmd", nullptr},
      {"CfiExitCmd", "CfiExitCmd", nullptr},
      {"SetConfigRegCmd", "ConfigRegSetCmd 0", nullptr},
      {"ReadConfigRegCmd", "ConfigRegReadCmd", nullptr},
      {"ResetCmd", "ResetCmd", nullptr},
      {"SecSiSectorEntryCmd", "SecSiSectorEntryCmd", nullptr},
      {"SecSiSectorExitCmd", "SecSiSectorExitCmd", nullptr},
      {"UnlockBypassEntryCmd", "UnlockBypassEntryCmd", nullptr},
      {"UnlockBypassProgramCmd", "UnlockBypassProgramCmd 70 00FF", nullptr},
      {"StatusGet", "StatusGet 70", nullptr},
      {"UnlockBypassResetCmd", "UnlockBypassResetCmd", [&] { return chip.ArrayWord(0x70) == 0x00FF; }},
      {"AutoselectEntryCmd", "AutoselectEntryCmd", nullptr},
      {"AutoselectExitCmd", "AutoselectExitCmd", nullptr},
      {"LockRegEntryCmd", "LockRegEntryCmd", nullptr},
      {"LockRegBitsReadCmd", "LockRegBitsReadCmd", nullptr},
      {"LockRegBitsProgramCmd", "LockRegBitsProgramCmd FFFF", nullptr},
      {"StatusGet", "StatusGet 0", nullptr},
      {"LockRegExitCmd", "LockRegExitCmd", nullptr},
      {"LockRegBitsReadOp", "LockRegBitsReadOp", nullptr},
      {"LockRegBitsProgramOp", "LockRegBitsProgramOp FFFF", [&] { return chip.LockRegister() == 0xFFFF; }},
      {"PasswordProtectionEntryCmd", "PasswordProtectionEntryCmd", nullptr},
      {"PasswordProtectionReadCmd", "PasswordProtectionReadCmd", nullptr},
      {"PasswordProtectionProgramCmd", "PasswordProtectionProgramCmd 0 FFFF", nullptr},
      {"StatusGet", "StatusGet 0", nullptr},
      {"PasswordProtectionExitCmd", "PasswordProtectionExitCmd", nullptr},
      {"PasswordProtectionUnlockCmd", "PasswordProtectionUnlockCmd FFFF FFFF FFFF FFFF", nullptr},
      {"ResetCmd", "ResetCmd", nullptr},
      {"DybEntryCmd", "DybEntryCmd", nullptr},
      {"DybSetCmd", "DybSetCmd 8000", nullptr},
      {"DybReadCmd", "DybReadCmd 8000", nullptr},
      {"DybExitCmd", "DybExitCmd", [&] { return chip.Dyb(1); }},
      {"DybEntryCmd", "DybEntryCmd", nullptr},
      {"DybClrCmd", "DybClrCmd 8000", nullptr},
      {"DybExitCmd", "DybExitCmd", [&] { return !chip.Dyb(1); }},
      {"PpbEntryCmd", "PpbEntryCmd 10000", nullptr},
      {"PpbProgramCmd", "PpbProgramCmd 10000", nullptr},
      {"PpbStatusReadCmd", "PpbStatusReadCmd 10000", nullptr},
      {"PpbExitCmd", "PpbExitCmd", [&] { return chip.Ppb(2); }},
      {"PpbEntryCmd", "PpbEntryCmd 0", nullptr},
      {"PpbAllEraseCmd", "PpbAllEraseCmd", nullptr},
      {"Poll", "Poll 80000000 0 1 LLD_P_POLL_SEC_ERS", nullptr},
      {"PpbExitCmd", "PpbExitCmd", nullptr},
      {"PpbStatusReadOp", "PpbStatusReadOp 10000", [&] { return !chip.Ppb(2); }},
      {"PpbProgramOp", "PpbProgramOp 18000", [&] { return chip.Ppb(3); }},
      {"PpbAllEraseOp", "PpbAllEraseOp", [&] { return !chip.Ppb(3); }},
      {"PpbLockBitEntryCmd", "PpbLockBitEntryCmd", nullptr},
      {"PpbLockBitReadCmd", "PpbLockBitReadCmd", nullptr},
      {"PpbLockBitExitCmd", "PpbLockBitExitCmd", nullptr},
      {"PpbLockBitReadOp", "PpbLockBitReadOp", nullptr},
      {"PpbLockBitSetOp", "PpbLockBitSetOp", [&] { return chip.PpbLocked(); }},
      {"PpbLockBitEntryCmd", "PpbLockBitEntryCmd", nullptr},
      {"PpbLockBitSetCmd", "PpbLockBitSetCmd", [&] { return chip.PpbLocked(); }},
      {"PpbLockBitExitCmd", "PpbLockBitExitCmd", nullptr},
      {"ResetTrace", "rt", nullptr},
      {"DisplayTrace", "dt", nullptr},
      {"var", "var y", nullptr},
      {"var8", "var8 y8", nullptr},
      {"var16", "var16 y16", nullptr},
      {"var32", "var32 y32 ", nullptr},
      {"edit_job", "EditJob", nullptr},
      {"label", "label here", nullptr},
      {"goto", "goto here", nullptr},
      {"if", "if 0 goto here", nullptr},
      {"disp", "disp every export", nullptr},
      {"list_job", "ListJob", nullptr},
      {"delete_line", "DeleteLine 0", nullptr},
      {"job", "job", nullptr},
      {"delete_job", "DeleteJob", nullptr},
      {"SuperUser", "SuperUser", nullptr},
  };
  ASSERT_NO_FATAL_FAILURE(FeedStandardInput("label here\n"));
  std::set<std::string> reached;
  for (const Row& r : rows) {
    std::string out = RunLine(g_frame, r.line);
    EXPECT_NE(out.find(Entered(r.line)), std::string::npos) << r.line << ": " << out;
    EXPECT_EQ(out.find("failed!"), std::string::npos) << r.line << ": " << out;
    EXPECT_EQ(out.find("Invalid"), std::string::npos) << r.line << ": " << out;
    EXPECT_EQ(out.find("Not Successful"), std::string::npos) << r.line << ": " << out;
    if (r.chipAgrees) {
      EXPECT_TRUE(r.chipAgrees()) << r.line << ": " << out;
    }
    reached.insert(r.export_);
  }
  std::set<std::string> all;
#define LLD_TEST_EXPORT(suffix) all.insert(#suffix);
  LX_NOR_DRIVER_COMMANDS(LLD_TEST_EXPORT)
#undef LLD_TEST_EXPORT
  EXPECT_EQ(all.size(), 118u);
  EXPECT_EQ(reached, all);
  // The command-set exits, resets and var16 are names of one function each, reached through their own words.
  for (const char* word : {"CfiExitCmd", "AutoselectExitCmd", "LockRegExitCmd", "PasswordProtectionExitCmd",
                           "PpbExitCmd", "PpbLockBitExitCmd", "DybExitCmd", "var16"})
    EXPECT_TRUE(reached.count(word)) << word;
}

// Hostile lines typed into the console: each is refused with its reason (or runs within its
// bounds), the window says how the line ended, and the console answers the next line as before.
TEST_F(LldConsoleTest, HostileLinesAreRefusedWithinTheBounds) {
  std::string manyWords = "disp";
  for (int i = 0; i < 31; ++i) manyWords += " w";
  const std::string tooLongForUtf8 = "disp " + std::string(10000, 'a');
  const std::string tooLongForConsole = "disp " + std::string(295, 'b');
  struct Case {
    std::string line;
    std::string window;  // all the window receives for the line
  } cases[] = {
      // The line's UTF-8 form does not fit the command thread's buffer: refused whole, never cut.
      {tooLongForUtf8, "* " + tooLongForUtf8 + " failed!\n"},
      {tooLongForConsole, "Command line is too long (at most 255 characters)\n" + Entered(tooLongForConsole)},
      {"disp \"unterminated quote", "\"unterminated quote\n" + Entered("disp \"unterminated quote")},
      {"r8 FFFFFFFFFFFFFFFFFFFFFFFF", "User-supplied address is invalid!\n" + Entered("r8 FFFFFFFFFFFFFFFFFFFFFFFF")},
      {"d8 100000 FFFFFFFFFFFFFFFFFFFF",
       "Invalid Address 00100000 : Please use \"interface macro\"\n" + Entered("d8 100000 FFFFFFFFFFFFFFFFFFFF")},
      {"w32 10FFFE 12345678",
       "Invalid Address 0010FFFE : Please use \"interface macro\"\n" + Entered("w32 10FFFE 12345678")},
      {manyWords, "Expected 1 to 30 parameters\n" + Entered(manyWords)},
      {"disp $base_addr", "Unknown variable $base_addr\n" + Entered("disp $base_addr")},
      {"READOP 0", "* READOP 0 failed!\n"},  // the console matches by case: the driver never sees it
      {"r8 100000", "00\n" + Entered("r8 100000")},
  };
  RunLine(g_frame, "w8 100000 0");
  for (const Case& c : cases) EXPECT_EQ(RunLine(g_frame, c.line), c.window) << c.line.substr(0, 60);
}
