// Start-up, the line interpreter, the output buffer and the variables.
#include <gtest/gtest.h>

#include <algorithm>

#include "lld_internal.h"
#include "lld_rig.h"

using namespace lldtest;

namespace {

const char kStartText[] =
    " Device ID = 0x007E1001\n"
    " Keldorn\n LLD Command Line Tool\n Version 1.0\n\n"
    " Device BaseAddress    : 0x80000000\n"
    " 64K scratchpad address: 0x00100000\n";

int Lines(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

TEST(LldInit, StartsTheKitAndReportsTheAddressSpace) {
  Rig r;
  EXPECT_EQ(r.startResult, 0);
  EXPECT_EQ(r.startText, kStartText);
  EXPECT_EQ(r.base, 0x80000000u);
  EXPECT_EQ(r.window, 0x7FFFFFFFu);
  EXPECT_EQ(r.scratchpad, 0x00100000u);
  EXPECT_EQ(r.host.out, "CPLDVersion : 263\r\n");
  EXPECT_EQ(r.host.err, "");
}

TEST(LldInit, NoKitIsAFailureThatWritesNothing) {
  Rig r(nullptr, kitsim::DefaultNorPart(), false);
  r.host.createResult = rook::HResult(0x80004004u);
  r.base = r.window = r.scratchpad = 0xAAAAAAAAu;
  r.Start();
  EXPECT_EQ(uint32_t(r.startResult), 0x80004004u);
  EXPECT_EQ(r.base, 0xAAAAAAAAu);
  EXPECT_EQ(r.window, 0xAAAAAAAAu);
  EXPECT_EQ(r.scratchpad, 0xAAAAAAAAu);
  EXPECT_EQ(r.host.err, "Tarn initialization failed!");
  EXPECT_EQ(r.startText,
            "Tarn initialization failed!\nThe kit control (TarnControl) could not be created (0x80004004). Is "
            "TarnControl.dll installed and registered?\n");
}

// The console shows the buffer, never the standard streams: a start that fails says why there.
TEST(LldInit, AFailedStartSaysWhyInTheBuffer) {
  struct Case {
    const char* what;
    uint32_t cpld;
    uint32_t connect, fpga;
    const char* said;
  } cases[] = {
      {"no image", 0x8000, 0, 0x80004003u,
       "Tarn initialization failed!\nThe kit's FPGA image file is missing or cannot be read:\n"
       "C:\\Lumivex\\External FS Module\\Tarn_Rook.cpu\nIt comes with the kit: copy the kit's Tarn_Rook.cpu into "
       "that folder.\n"},
      {"kit taken", 0x107, 0x80070005u, 0,
       "Tarn initialization failed!\nThe kit is in use by another program or by the device opened with Open "
       "Device (close it first). Let it go there, then try again.\n"},
      {"no kit", 0x107, 0x80004004u, 0, "Tarn initialization failed!\nNo Tarn kit was found. Is it plugged in?\n"},
  };
  for (const Case& c : cases) {
    auto bus = std::make_unique<TableBus>();
    bus->cpld = c.cpld;
    bus->connectResult = rook::HResult(c.connect);
    bus->fpgaResult = rook::HResult(c.fpga);
    Rig r(std::move(bus), kitsim::DefaultNorPart(), false);
    r.Start();
    EXPECT_LT(r.startResult, 0) << c.what;
    EXPECT_EQ(r.startText, c.said) << c.what;
    EXPECT_FALSE(r.host.table->connected) << c.what << ": a failed start keeps no claim on the kit";
  }
}

// Between commands the console holds no claim on the kit, so the device can be opened; a command
// takes the kit back for its own accesses, and says once when it cannot have it.
TEST(LldInit, TheConsoleLendsTheKitBetweenCommands) {
  Rig r(std::make_unique<TableBus>());
  ASSERT_EQ(r.startResult, 0);
  TableBus& bus = *r.host.table;
  EXPECT_FALSE(bus.connected);
  bus.words[0x10] = 0x1234;
  bus.words[0x11] = 0x5678;
  Line("interface macro");
  EXPECT_EQ(Line("d16 80000010 2"), "80000020   1234 5678 \n");
  EXPECT_FALSE(bus.connected);
  const int connects = bus.connects;
  EXPECT_EQ(Line("help").empty(), false);
  EXPECT_EQ(bus.connects, connects) << "a command without a bus access leaves the kit alone";
  bus.connectResult = rook::HResult(0x80070005u);
  const std::string taken = Line("d16 80000010 2");
  EXPECT_EQ(taken.rfind("Error: The kit is in use by another program or by the device opened with Open Device", 0), 0u)
      << taken;
  EXPECT_EQ(taken.find("Error:", 1), std::string::npos) << "said once: " << taken;
  bus.connectResult = 0;
  EXPECT_EQ(Line("d16 80000010 2"), "80000020   1234 5678 \n");
  EXPECT_FALSE(bus.connected);
}

TEST(LldInit, FirmwareIsLoadedFromTheCpldThresholdOn) {
  struct Case {
    uint32_t cpld;
    bool loads;
  } cases[] = {{0x7FFF, false}, {0x8000, true}};
  for (const Case& c : cases) {
    auto bus = std::make_unique<TableBus>();
    bus->cpld = c.cpld;
    Rig r(std::move(bus), kitsim::DefaultNorPart(), false);
    r.Start();
    EXPECT_EQ(r.startResult, 0);
    bool loaded = r.host.out.find("Please wait for firmware downloading.\r\n") != std::string::npos;
    EXPECT_EQ(loaded, c.loads) << std::hex << c.cpld;
    // The power-up wait, and the two seconds after a load.
    EXPECT_GE(r.host.tableClockUs, c.loads ? 3000000u : 1000000u);
  }
}

// The folder read from the registry and the image's name are joined within 512 characters.
TEST(LldInit, AnInstallFolderTooLongForThePathIsRefused) {
  auto bus = std::make_unique<TableBus>();
  bus->cpld = 0x8000;
  Rig r(std::move(bus), kitsim::DefaultNorPart(), false);
  r.host.folder = "C:\\" + std::string(600, 'a');
  r.Start();
  EXPECT_EQ(uint32_t(r.startResult), 0x800700CEu);
  EXPECT_EQ(r.host.out.find("Please wait"), std::string::npos);
  EXPECT_EQ(r.host.err, "Tarn initialization failed!");
}

// A second start-up in the same process keeps one command table, one set of variables and one
// scratchpad, and reuses the kit control.
TEST(LldInit, ASecondStartUpBuildsNothingTwice) {
  Rig r;
  ASSERT_EQ(Line("w32 100000 12345678"), "");
  std::string help = Line("help");
  r.Start();
  EXPECT_EQ(r.startResult, 0);
  EXPECT_EQ(r.startText, kStartText);
  EXPECT_EQ(r.host.creates, 1);
  EXPECT_EQ(Line("help"), help);
  EXPECT_EQ(Line("r32 100000"), "12345678\n");
  EXPECT_EQ(lld::S().autoCount, 24);
  EXPECT_EQ(lld::S().userCount, 0);
}

TEST(LldInterpreter, HelpListsTheTableWithTheNorSetSorted) {
  Rig r;
  std::string help = Line("help");
  EXPECT_EQ(Lines(help), 91);
  const std::string head =
            "exit \nquit \nSetBaseAddress base_addr\nSetWindowSize length\nhelp \n? \nSuperUser \n"
            "AutoselectEntryCmd [base_addr]\nAutoselectExitCmd [base_addr]\nCfiEntryCmd [base_addr]\n"
            "CfiExitCmd [base_addr]\nChipEras";
  EXPECT_EQ(help.substr(0, head.size()), head);
  EXPECT_NE(help.find("\nWriteToBufferCmd [base_addr] offset\nLockRegEntryCmd [base_addr]\n"),
            std::string::npos);
  EXPECT_NE(help.find("PpbProgramOp [base_addr] offset\nd8 addr [size]\n"), std::string::npos);
  const std::string tail = "\ninterface raw/macro\nResetTrace \nrt \nDisplayTrace \ndt \n";
  EXPECT_EQ(help.substr(help.size() - tail.size()), tail);
}

TEST(LldInterpreter, LinesAndTheirMessages) {
  Rig r;
  r.chip->Array()[0x20] = 0x10;
  r.chip->Array()[0x21] = 0x00;
  struct Case {
    const char* line;
    const char* printed;
  } cases[] = {
      {"readop 80000000 10", "00000010\n"},
      {"ReadOpX 80000000 10", "Error: Command not found\n"},
      {"ReadOp 10", "00000010\n"},
      {"ReadOp 80000000 $ReadOp", "00000010\n"},
      {"ReadOp 80000000 $nothing", "Error: Invalid environment variable name!\n\ncommand: ReadOp [base_addr] offset\n"},
      {"ChipEraseCmd 80000000 0",
       "Error: Expected 1 parameters\ncommand: ChipEraseCmd [base_addr]\n"},
      {"d8 100000 1 2", "Error: Expected 1 to 2 parameters\ncommand: d8 addr [size]\n"},
      {"d8 1000", "Error: User-supplied address is invalid!\n\ncommand: d8 addr [size]\n"},
      {"ReadOp 80000001 10", "Error: User-supplied base address is invalid!\n\ncommand: ReadOp [base_addr] offset\n"},
      {"ReadOp 7FFFFFFE 10", "Error: User-supplied base address is invalid!\n\ncommand: ReadOp [base_addr] offset\n"},
      {"", "Error: Command not found\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Line(c.line), c.printed) << c.line;
  // The base address supplied for a missing first parameter.
  Line("rt");
  Line("ChipEraseCmd");
  EXPECT_TRUE(r.chip->Busy());
}

TEST(LldInterpreter, SuperUserBypassesTheAddressChecks) {
  Rig r;
  EXPECT_EQ(Line("SuperUser"), "\nEntering Super User mode.  Bypassing all parameter checks.\n");
  EXPECT_EQ(Line("ReadOp 1 0"), "0000FFFF\n");
}

TEST(LldInterpreter, WindowSizeZeroIsRefused) {
  Rig r;
  EXPECT_EQ(Line("SetWindowSize 0"), "Error: The window size cannot be 0!\n\n");
  EXPECT_EQ(Call(cmd_var32, "window_size = 0"), "Error: The window size cannot be 0!\n\n");
  EXPECT_EQ(Line("ReadOp 80000000 0"), "0000FFFF\n");
}

TEST(LldBuffer, APrintThatDoesNotFitEndsWithOneNote) {
  Rig r;
  const std::string note = "\n*** output truncated ***\n";
  g_ulBufferIndex = kLldBufferSize - note.size() - 1 - 5;
  lld_Print("0123456789");
  lld_Print("more");
  EXPECT_EQ(g_ulBufferIndex, kLldBufferSize - 1);
  EXPECT_EQ(g_ucBuffer[kLldBufferSize - 1], 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(g_ucBuffer) + kLldBufferSize - 1 - note.size() - 5), "01234" + note);
  EXPECT_TRUE(lld::OutputFull());
  // An index the host left past the end is pulled back to the last byte; nothing is written.
  g_ulBufferIndex = 0xFFFFFFF0u;
  lld_Print("x");
  EXPECT_EQ(g_ulBufferIndex, kLldBufferSize - 1);
  Take();
  // Long loops stop at the note: a full trace of 512 records printed with almost no room left.
  for (int i = 0; i < 600; ++i) Line("ReadOp 0");
  g_ulBufferIndex = kLldBufferSize - 2000;
  lld_ExecuteCommandLine("dt");
  EXPECT_EQ(g_ulBufferIndex, kLldBufferSize - 1);
  EXPECT_EQ(g_ucBuffer[kLldBufferSize - 1], 0);
  Take();
}

TEST(LldBuffer, LongLinesAndLongTexts) {
  Rig r;
  std::string words = "ReadOp 80000000 " + std::string(10000, '1');
  EXPECT_EQ(Line(words), "Error: Invalid offset for ReadOp!\n\n");
  std::string many = "ReadOp 80000000 0" + std::string(5000, ' ') + "x";
  EXPECT_EQ(Line(many), "Error: Expected 2 parameters\ncommand: ReadOp [base_addr] offset\n");
  // A text longer than 256 characters arrives whole.
  std::string text(3000, 'd');
  EXPECT_EQ(Call(cmd_disp, text), text + "\n");
  // Each reference grows the line by its value; thousands of them are fine.
  std::string refs = "ReadOp 80000000 0";
  for (int i = 0; i < 2000; ++i) refs += " $Status";
  EXPECT_EQ(Line(refs), "Error: Expected 2 parameters\ncommand: ReadOp [base_addr] offset\n");
  EXPECT_EQ(Line("ReadOp 80000000 $$$$$$$$Status"),
            "Error: Invalid environment variable name!\n\ncommand: ReadOp [base_addr] offset\n");
}

TEST(LldVariables, CreateAssignAndCheck) {
  Rig r;
  struct Case {
    LldHandler handler;
    const char* params;
    const char* printed;
  } cases[] = {
      {cmd_var16, "x", ""},
      {cmd_var8, "x = 1", "Invalid environment variable for data size 1 byte(s)!\n"},
      {cmd_var16, "x = 10 < 4", ""},
      {cmd_var16, "x", "There already exists an environment variable with the name x\n"},
      {cmd_var16, "a$b", "Variable names cannot contain the character $\n"},
      {cmd_var32, "y = 1", "The environment variable y must be created before assigning a value!\n"},
      {cmd_var16, "x 1", "Invalid syntax!\ncommand: var varname [= value [op value]]   where op is one of: + - * / < > & |\n"},
      {cmd_var16, "x = 1 +", "Invalid number of parameters!\ncommand: var varname [= value [op value]]   where op is one of: + - * / < > & |\n"},
      {cmd_var16, "x = 1 ++ 2", "Operator must be a single character\ncommand: var varname [= value [op value]]   where op is one of: + - * / < > & |\n"},
      {cmd_var16, "x = 1 % 2", "Invalid operator %\ncommand: var varname [= value [op value]]   where op is one of: + - * / < > & |\n"},
      {cmd_var32, "scratchpad = 0", "The environment variable scratchpad cannot be assigned!\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Call(c.handler, c.params), c.printed) << c.params;
  EXPECT_EQ(Call(cmd_var8, std::string(79, 'n')), "");
  EXPECT_EQ(Call(cmd_var8, std::string(80, 'm')), "Variable names cannot be longer than 79 characters\n");
  // x = 0x10 << 4; a division by zero is refused and leaves it.
  EXPECT_EQ(Call(cmd_var16, "x = 5 / 0"),
            "Division by zero!\ncommand: var varname [= value [op value]]   where op is one of: + - * / < > & |\n");
  lld::Variable* x = lld::FindVariable("x", 1);
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(*static_cast<uint16_t*>(x->value), 0x100);
  // The 20th user variable is the last.
  for (int i = 0; i < 18; ++i) Call(cmd_var8, "v" + std::to_string(i));
  EXPECT_EQ(Call(cmd_var8, "w"), "The maximum number of user environment variables already exist!\n");
}
