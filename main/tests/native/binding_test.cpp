#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "device_api.h"
#include "driver_tables.h"
#include "lumivex/prompt.h"
#include "outside_modules.h"

namespace {

// Distinct fake addresses: the tests compare cells, never call through a fake.
char g_fakeExports[512];

struct FakeModule {
  std::function<bool(const char*)> has;
};

void* FakeLookup(void* module, const char* name) {
  auto* m = static_cast<FakeModule*>(module);
  if (!m->has(name)) return nullptr;
  return &g_fakeExports[std::hash<std::string>()(name) % sizeof g_fakeExports];
}

class PromptRecorder : public ::testing::Test {
 protected:
  void SetUp() override {
    LxPromptTestBegin();
    // Every table back to its stubs: binding with no module finds no name.
    lx::ResetDeviceApiCells();
    lx::BindNorDriverApi(nullptr, nullptr);
    lx::BindVeltanDriverApi(nullptr, nullptr);
    lx::BindVyrApi(nullptr, nullptr);
    lx::BindVyrViewerApi(nullptr, nullptr);
    lx::BindExtGfslApi(nullptr, nullptr);
    lx::BindExtEccApi(nullptr, nullptr);
  }
  void TearDown() override { LxPromptTestEnd(); }
  std::string LastText() {
    int n = LxPromptRecordCount();
    return n ? LxPromptRecordText(n - 1) : "";
  }
};

template <class R, class... A>
R CallWithZeros(R (*f)(A...)) {
  return f(A{}...);
}

// Calls a cell with zero arguments and checks the stub's failure value for its result type.
template <class R, class... A>
void ExpectStubResult(R (*f)(A...), const char* name) {
  if constexpr (std::is_void_v<R>) {
    CallWithZeros(f);
  } else if constexpr (std::is_pointer_v<R>) {
    EXPECT_EQ(CallWithZeros(f), nullptr) << name;
  } else {
    R r = CallWithZeros(f);
    EXPECT_EQ(r, static_cast<R>(~static_cast<std::make_unsigned_t<R>>(0))) << name;  // all ones
  }
}

TEST_F(PromptRecorder, EveryStubNamesItsOwnSlotAndFails) {
  std::set<std::string> texts;
  int slot = 0;
#define CHECK_STUB(s, name, ret, params, args, group, stub, k, v)                          \
  {                                                                                        \
    EXPECT_EQ(slot++, s);                                                                  \
    int before = LxPromptRecordCount();                                                    \
    ExpectStubResult(DeviceApiTable.name, #name);                                          \
    ASSERT_EQ(LxPromptRecordCount(), before + 1) << #name;                                 \
    EXPECT_EQ(LastText(), std::string(#name) + " is not supported.");                      \
    EXPECT_STREQ(LxPromptRecordCaption(before), "Lumivex");                                \
    EXPECT_EQ(LxPromptRecordType(before), (unsigned)LX_MB_OK);                             \
    texts.insert(LastText());                                                              \
  }
  LX_DEVICE_API_SLOTS(CHECK_STUB)
#undef CHECK_STUB
  EXPECT_EQ(texts.size(), 76u);
}

TEST_F(PromptRecorder, StubResultsOfTheSpecialSlots) {
  // 64-bit results are all ones in both words; pointer results are null; rewinddir is void.
  EXPECT_EQ(DeviceApiTable.gfslGetNumberOfBytesPerDevice("/a"), 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(DeviceApiTable.fpGetFunctionProfilerCount(0), 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(DeviceApiTable.fpGetFunctionProfilerAccumulated(0), 0xFFFFFFFFFFFFFFFFull);
  char buf[8];
  EXPECT_EQ(DeviceApiTable.gfslgetcwd(buf, 8), nullptr);
  EXPECT_EQ(DeviceApiTable.gfslopendir("/a"), nullptr);
  EXPECT_EQ(DeviceApiTable.gfslfdopendir(1), nullptr);
  EXPECT_EQ(DeviceApiTable.gfslreaddir(nullptr), nullptr);
  EXPECT_EQ(DeviceApiTable.fpCreateFunctionProfiler(), nullptr);
  EXPECT_EQ(DeviceApiTable.fpGetFunctionProfilerName(0), nullptr);
  static_assert(std::is_same_v<decltype(DeviceApiTable.gfslrewinddir(nullptr)), void>, "rewinddir returns nothing");
  EXPECT_EQ(DeviceApiTable.gfslfread(buf, 1, 1, 0), 0xFFFFFFFFu);  // unsigned counts fail as 0xFFFFFFFF
  EXPECT_EQ(DeviceApiTable.gfslDoSelfTest(nullptr), -1);
}

TEST_F(PromptRecorder, MissingGroupMaskByWhatTheModuleExports) {
  struct Case {
    const char* what;
    std::function<bool(const char*)> has;
    unsigned mask;
  } cases[] = {
      {"nothing", [](const char*) { return false; }, 0xD},
      {"everything", [](const char*) { return true; }, 0x0},
      {"device group only",
       [](const char* n) {
         for (int s = 0; s < 76; ++s)
           if (!std::strcmp(lx::DeviceApiSlotName(s), n)) return lx::DeviceApiSlotGroup(s) == LX_GROUP_DEVICE;
         return false;
       },
       0xC},
      {"file-system group missing",
       [](const char* n) {
         for (int s = 0; s < 76; ++s)
           if (!std::strcmp(lx::DeviceApiSlotName(s), n)) return lx::DeviceApiSlotGroup(s) != LX_GROUP_FS;
         return false;
       },
       0x4},
      {"profiler missing", [](const char* n) { return std::strncmp(n, "fp", 2) != 0; }, 0x8},
      {"one device name missing", [](const char* n) { return std::strcmp(n, "gfslDoSelfTest") != 0; }, 0x1},
  };
  for (auto& c : cases) {
    FakeModule m{c.has};
    EXPECT_EQ(lx::BindDeviceApi(FakeLookup, &m), c.mask) << c.what;
    for (int s = 0; s < 76; ++s)
      EXPECT_EQ(lx::DeviceApiCellIsStub(s), !c.has(lx::DeviceApiSlotName(s))) << c.what << " slot " << s;
  }
  EXPECT_EQ(LxPromptRecordCount(), 0);  // binding itself shows nothing
}

TEST_F(PromptRecorder, KitAndVirtualDeviceExportSetsGiveTheirMasks) {
  std::set<std::string> kit, virt;
#define COLLECT(s, name, ret, params, args, group, stub, k, v) \
  if (k) kit.insert(#name);                                    \
  if (v) virt.insert(#name);
  LX_DEVICE_API_SLOTS(COLLECT)
#undef COLLECT
  FakeModule kitModule{[&](const char* n) { return kit.count(n) > 0; }};
  FakeModule virtModule{[&](const char* n) { return virt.count(n) > 0; }};
  EXPECT_EQ(lx::BindDeviceApi(FakeLookup, &kitModule), 0x5u);
  EXPECT_EQ(lx::BindDeviceApi(FakeLookup, &virtModule), 0x1u);
}

TEST_F(PromptRecorder, RebindingLeavesNoCellOfTheOldModule) {
  FakeModule all{[](const char*) { return true; }};
  lx::BindDeviceApi(FakeLookup, &all);
  FakeModule none{[](const char*) { return false; }};
  lx::BindDeviceApi(FakeLookup, &none);
  for (int s = 0; s < 76; ++s) EXPECT_TRUE(lx::DeviceApiCellIsStub(s)) << s;
  lx::BindDeviceApi(FakeLookup, &all);
  lx::ResetDeviceApiCells();
  for (int s = 0; s < 76; ++s) EXPECT_TRUE(lx::DeviceApiCellIsStub(s)) << s;
}

TEST_F(PromptRecorder, DriverStubTextsDifferByTable) {
  EXPECT_EQ(lx::NorDriverCommand(lx::kNorCell_cmd_exit)(0, nullptr), -1);
  EXPECT_EQ(LastText(), "cmd_LLD_exit is not supported.");
  lx::NorDriverCommand(lx::kNorCell_cmd_PpbProgramOp)(0, nullptr);
  EXPECT_EQ(LastText(), "cmd_LLD_PpbProgramOp is not supported.");
  lx::VeltanDriverCommand(lx::kVeltanCell_cmd_exit)(0, nullptr);
  EXPECT_EQ(LastText(), "cmd_exit is not supported.");
  lx::VeltanDriverCommand(lx::kVeltanCell_ouv_all_LPN)(0, nullptr);
  EXPECT_EQ(LastText(), "ouv_all_LPN is not supported.");
  uint32_t a = 7, b = 7, c = 7;
  EXPECT_EQ(lx::NorDriverApiTable.LXLLD_Init(&a, &b, &c), -1);
  EXPECT_EQ(LastText(), "LXLLD_Init is not supported.");
  EXPECT_EQ(a, 7u);
  EXPECT_EQ(lx::NorDriverCellName(0), std::string("LXLLD_Init"));
  EXPECT_EQ(lx::NorDriverCellName(118), std::string("cmd_PpbProgramOp"));
  EXPECT_EQ(lx::VeltanDriverCellName(92), std::string("cmd_DisplayTrace"));
  EXPECT_EQ(lx::NorDriverCommand(0), nullptr);
  EXPECT_EQ(lx::NorDriverCommand(119), nullptr);
}

TEST_F(PromptRecorder, EveryDriverStubNamesItsCell) {
  for (int cell = 1; cell < lx::kNorCellCount; ++cell) {
    std::string name = lx::NorDriverCellName(cell);
    ASSERT_EQ(name.rfind("cmd_", 0), 0u) << name;
    EXPECT_EQ(lx::NorDriverCommand(cell)(0, nullptr), -1);
    EXPECT_EQ(LastText(), "cmd_LLD_" + name.substr(4) + " is not supported.");
  }
  for (int cell = 1; cell < lx::kVeltanCellCount; ++cell) {
    std::string name = lx::VeltanDriverCellName(cell);
    EXPECT_EQ(lx::VeltanDriverCommand(cell)(0, nullptr), -1);
    EXPECT_EQ(LastText(), name + " is not supported.");
  }
  EXPECT_EQ(LxPromptRecordCount(), 118 + 92);
  EXPECT_EQ(lx::VeltanDriverApiTable.g_ucBuffer, nullptr);
}

TEST_F(PromptRecorder, DriverBindingResults) {
  FakeModule all{[](const char*) { return true; }};
  EXPECT_EQ(lx::BindNorDriverApi(FakeLookup, &all), 0);
  EXPECT_NE(lx::NorDriverApiTable.g_ucBuffer, nullptr);

  FakeModule noBuffer{[](const char* n) { return std::strcmp(n, "g_ucBuffer") != 0; }};
  EXPECT_EQ(lx::BindNorDriverApi(FakeLookup, &noBuffer), 1);
  EXPECT_EQ(lx::NorDriverApiTable.g_ucBuffer, nullptr);
  EXPECT_NE(lx::NorDriverApiTable.g_ulBufferIndex, nullptr);

  // A Veltan driver with the generic commands only: NAND and verification cells stay stubs.
  FakeModule generic{[](const char* n) {
    return std::strncmp(n, "cmd_Nand", 8) != 0 && std::strncmp(n, "ouv_", 4) != 0;
  }};
  EXPECT_EQ(lx::BindVeltanDriverApi(FakeLookup, &generic), 1);
  lx::VeltanDriverCommand(lx::kVeltanCell_cmd_NandResetCmd)(0, nullptr);
  EXPECT_EQ(LastText(), "cmd_NandResetCmd is not supported.");
  EXPECT_EQ(LxPromptRecordCount(), 1);
  EXPECT_EQ(lx::VeltanDriverCommand(lx::kVeltanCell_cmd_exit),
            reinterpret_cast<CommandHandler>(FakeLookup(&all, "cmd_exit")));
}

TEST_F(PromptRecorder, OutsideModuleStubs) {
  EXPECT_EQ(VyrViewerApiTable.vyrOpenViewer(), -1);
  EXPECT_EQ(LastText(), "vyrOpenViewer is not supported.");
  EXPECT_EQ(VyrApiTable.vyrGetVersion(nullptr), nullptr);
  EXPECT_EQ(VyrApiTable.vyrGetResult(nullptr), 0);
  EXPECT_EQ(VyrApiTable.vyrStartFSAnalysis(0), -1);
  EXPECT_EQ(LastText(), "vyrStartFSAnalysis is not supported.");
  EXPECT_EQ(ExtGfslApiTable.egmInit(nullptr), -1);
  EXPECT_EQ(LastText(), "egmInit is not supported.");
  uint8_t ecc[4] = {1, 2, 3, 4};
  ExtEccApiTable.eemCalculateECC(nullptr, ecc);
  EXPECT_EQ(LastText(), "eemCalculateECC is not supported.");
  EXPECT_EQ(ecc[0], 1);
  EXPECT_EQ(ExtEccApiTable.eemCorrectBCH(nullptr, nullptr, nullptr), -1);

  FakeModule onlyOpen{[](const char* n) { return std::strcmp(n, "vyrOpen") == 0; }};
  EXPECT_EQ(lx::BindVyrApi(FakeLookup, &onlyOpen), 1);
  FakeModule all{[](const char*) { return true; }};
  EXPECT_EQ(lx::BindVyrViewerApi(FakeLookup, &all), 0);
  EXPECT_EQ(lx::BindExtEccApi(FakeLookup, &all), 0);
  EXPECT_EQ(lx::BindExtGfslApi(FakeLookup, &onlyOpen), 1);
  lx::ResetVyrViewerApiCells();
  EXPECT_EQ(VyrViewerApiTable.vyrRunViewer(), -1);
}

TEST_F(PromptRecorder, GfslRecordCopiesSlotsUpToCustomCallback8) {
  FakeModule all{[](const char*) { return true; }};
  lx::BindDeviceApi(FakeLookup, &all);
  GfslApiRecord rec;
  std::memset(&rec, 0, sizeof rec);
  lx::FillGfslApiRecordCells(rec);
  EXPECT_EQ(rec.entries[0], FakeLookup(&all, "gfslInit"));
  EXPECT_EQ(rec.entries[64], FakeLookup(&all, "gfslCustomCallback8"));
  static_assert(sizeof(rec.entries) / sizeof(rec.entries[0]) == 65, "65 entries");
}

}  // namespace

// ----- Architecture of a module file ---------------------------------------------------------
#include "module_arch.h"

namespace {
std::vector<uint8_t> PeImage(uint16_t machine, uint32_t peOffset = 0x80, size_t size = 0x200) {
  std::vector<uint8_t> b(size, 0);
  b[0] = 'M';
  b[1] = 'Z';
  for (int i = 0; i < 4; ++i) b[0x3C + i] = static_cast<uint8_t>(peOffset >> (8 * i));
  if (peOffset + 6 <= size) {
    std::memcpy(&b[peOffset], "PE\0\0", 4);
    b[peOffset + 4] = static_cast<uint8_t>(machine);
    b[peOffset + 5] = static_cast<uint8_t>(machine >> 8);
  }
  return b;
}
std::vector<uint8_t> Cut(std::vector<uint8_t> b, size_t size) {
  b.resize(size);
  return b;
}
}  // namespace

TEST(ModuleArchitecture, PeMachineReadsWholeHeadersOnly) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    uint16_t machine;
  } cases[] = {
      {"32-bit", PeImage(lx::kMachineI386), lx::kMachineI386},
      {"64-bit", PeImage(lx::kMachineAmd64), lx::kMachineAmd64},
      {"other machine", PeImage(0x01C4), 0x01C4},
      {"PE header ends the file exactly", PeImage(lx::kMachineAmd64, 0x1FA), lx::kMachineAmd64},
      {"PE header cut short", PeImage(lx::kMachineAmd64, 0x1FB), 0},
      {"PE offset far beyond the file", PeImage(lx::kMachineAmd64, 0xFFFFFFF0u), 0},
      {"DOS header only", Cut(PeImage(lx::kMachineI386), 0x3F), 0},
      {"no MZ", std::vector<uint8_t>(0x200, 0), 0},
  };
  for (auto& c : cases) EXPECT_EQ(lx::PeMachine(c.bytes.data(), c.bytes.size()), c.machine) << c.what;
  auto bad = PeImage(lx::kMachineAmd64);
  bad[0x81] = 'X';  // "PX\0\0"
  EXPECT_EQ(lx::PeMachine(bad.data(), bad.size()), 0);
  EXPECT_EQ(lx::PeMachine(nullptr, 0), 0);
}

TEST(ModuleArchitecture, OnlyTheOtherKnownArchitectureIsRefusedByName) {
  EXPECT_EQ(lx::WrongArchitectureText("a.dll", lx::kMachineI386, lx::kMachineI386), "");
  EXPECT_EQ(lx::WrongArchitectureText("a.dll", lx::kMachineAmd64, lx::kMachineAmd64), "");
  EXPECT_EQ(lx::WrongArchitectureText("a.dll", 0, lx::kMachineAmd64), "");  // the loader says why
  EXPECT_EQ(lx::WrongArchitectureText("Pallix-VirtualDevice.dll", lx::kMachineI386, lx::kMachineAmd64),
            "Pallix-VirtualDevice.dll is a 32-bit module; this Lumivex is a 64-bit program and loads only "
            "64-bit modules.");
  EXPECT_EQ(lx::WrongArchitectureText("x.dll", lx::kMachineAmd64, lx::kMachineI386),
            "x.dll is a 64-bit module; this Lumivex is a 32-bit program and loads only 32-bit modules.");
  EXPECT_EQ(lx::OwnMachine(), sizeof(void*) == 8 ? lx::kMachineAmd64 : lx::kMachineI386);
}
