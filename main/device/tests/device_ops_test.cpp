// The device state and mount masks against fake device-module cells.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "device_api.h"
#include "device_ops.h"
#include "lumivex/prompt.h"

namespace {

// What the fake module answers and what it was asked.
struct FakeModule {
  std::vector<std::string> calls;
  int initOpen = 0, initClose = 0, code = 9;
  std::map<int, int> mountResult, unmountResult, bdtlMountResult, bdtlUnmountResult;
  uint32_t veltanBlocks = 4;
  std::map<uint32_t, int> veltanEraseResult, norEraseResult;
  uint32_t norSectors = 3;
} g_fake;

void Log(const std::string& call) { g_fake.calls.push_back(call); }

int FakeInit(int mode) {
  Log("gfslInit(" + std::to_string(mode) + ")");
  switch (mode) {
    case 0: return g_fake.initOpen;
    case 1: return g_fake.initClose;
    case 3: return g_fake.code;
    default: return 0;
  }
}
int Result(std::map<int, int>& table, int v) { return table.count(v) ? table[v] : 0; }
int FakeMount(int v) { Log("gfslMount(" + std::to_string(v) + ")"); return Result(g_fake.mountResult, v); }
int FakeUnmount(int v) { Log("gfslUnmount(" + std::to_string(v) + ")"); return Result(g_fake.unmountResult, v); }
int FakeBdtlMount(int v) { Log("gfslBDTLMount(" + std::to_string(v) + ")"); return Result(g_fake.bdtlMountResult, v); }
int FakeBdtlUnmount(int v) {
  Log("gfslBDTLUnmount(" + std::to_string(v) + ")");
  return Result(g_fake.bdtlUnmountResult, v);
}
FunctionProfilerEntry* FakeCreate() { Log("fpCreateFunctionProfiler"); return nullptr; }
int FakeDestroy() { Log("fpDestroyFunctionProfiler"); return -1; }
uint32_t FakeVeltanBlocks(const char*) { return g_fake.veltanBlocks; }
int FakeVeltanErase(int v, uint32_t b) {
  Log("gfslVeltanEraseBlock(" + std::to_string(v) + "," + std::to_string(b) + ")");
  return g_fake.veltanEraseResult.count(b) ? g_fake.veltanEraseResult[b] : 0;
}
uint32_t FakeNorBlockSize(const char*, uint32_t k) { return k < g_fake.norSectors ? 0x10000 : 0; }
int FakeNorErase(int v, uint32_t k) {
  Log("gfslNOREraseBlock(" + std::to_string(v) + "," + std::to_string(k) + ")");
  return g_fake.norEraseResult.count(k) ? g_fake.norEraseResult[k] : 0;
}

struct FrameEvents {
  std::vector<int> kinds;
  int changes = 0;
} g_events;

class DeviceOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LxPromptTestBegin();
    g_fake = FakeModule();
    g_events = FrameEvents();
    lx::ResetDeviceApiCells();
    DeviceApiTable.gfslInit = FakeInit;
    DeviceApiTable.gfslMount = FakeMount;
    DeviceApiTable.gfslUnmount = FakeUnmount;
    DeviceApiTable.gfslBDTLMount = FakeBdtlMount;
    DeviceApiTable.gfslBDTLUnmount = FakeBdtlUnmount;
    DeviceApiTable.fpCreateFunctionProfiler = FakeCreate;
    DeviceApiTable.fpDestroyFunctionProfiler = FakeDestroy;
    DeviceApiTable.gfslVeltanGetNumberOfPhysicalBlocks = FakeVeltanBlocks;
    DeviceApiTable.gfslVeltanEraseBlock = FakeVeltanErase;
    DeviceApiTable.gfslNORGetBlockSize = FakeNorBlockSize;
    DeviceApiTable.gfslNOREraseBlock = FakeNorErase;
    lx::SetDeviceState("/a", lx::kDeviceClosed);
    lx::FrameDevice() = lx::FrameDeviceFields();
    lx::DeviceFrameHooks hooks;
    hooks.SelectDeviceKind = [](int kind, void*) { g_events.kinds.push_back(kind); };
    hooks.Changed = [](void*) { ++g_events.changes; };
    lx::SetDeviceFrameHooks(hooks);
  }
  void TearDown() override {
    lx::SetDeviceFrameHooks(lx::DeviceFrameHooks());
    lx::SetDeviceState("/a", lx::kDeviceClosed);
    lx::ResetDeviceApiCells();
    LxPromptTestEnd();
  }
  void Open() {
    ASSERT_EQ(lx::DeviceOpen("/a"), 0);
    g_fake.calls.clear();
  }
};

TEST_F(DeviceOpsTest, OpenMakesTheProfilerFirstAndMirrorsTheState) {
  EXPECT_EQ(lx::DeviceOpen("/a"), 0);
  EXPECT_EQ(g_fake.calls, (std::vector<std::string>{"fpDestroyFunctionProfiler", "fpCreateFunctionProfiler",
                                                    "gfslInit(0)", "gfslInit(3)"}));
  EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceOpen);
  EXPECT_EQ(lx::FrameDevice().DeviceOpenFlag, 1);
  EXPECT_EQ(lx::FrameDevice().DeviceCode, 9);
  EXPECT_EQ(g_events.kinds, std::vector<int>{1});

  g_fake.calls.clear();
  EXPECT_EQ(lx::DeviceOpen("/a"), 0);  // already open: nothing is called
  EXPECT_TRUE(g_fake.calls.empty());
}

TEST_F(DeviceOpsTest, FailedOpenAndCloseEnterTheFailedState) {
  g_fake.initOpen = -1;
  EXPECT_EQ(lx::DeviceOpen("/a"), lx::kDeviceFailed);
  EXPECT_EQ(lx::FrameDevice().DeviceOpenFlag, 0);
  EXPECT_TRUE(g_events.kinds.empty());

  g_fake.initOpen = 0;
  EXPECT_EQ(lx::DeviceOpen("/a"), 0);  // a failed state tries again
  g_fake.initClose = 5;
  EXPECT_EQ(lx::DeviceClose("/a"), lx::kDeviceFailed);
  EXPECT_EQ(lx::FrameDevice().DeviceOpenFlag, 0);
  g_fake.initClose = 0;
  g_fake.calls.clear();
  EXPECT_EQ(lx::DeviceClose("/a"), lx::kDeviceClosed);  // closing when not open still calls the module
  EXPECT_EQ(g_fake.calls, std::vector<std::string>{"gfslInit(1)"});
}

TEST_F(DeviceOpsTest, DeviceCodeSelectsTheKind) {
  struct Case {
    int32_t code;
    int kind;           // -1: the selector is not touched
    uint32_t spare;     // VeltanSpareSize afterwards
  } cases[] = {
      {8, 0, 64},  {1000, 0, 64}, {1001, 0, 128}, {9, 1, 128},   {2000, 1, 128}, {10, 2, 128},
      {3000, 2, 128}, {3003, 2, 128}, {3006, 2, 128}, {3007, -1, 128}, {7, -1, 128}, {1000, 0, 64},
  };
  // One run through the table: the spare size stays from the last Veltan code that set it.
  for (const Case& c : cases) {
    g_events.kinds.clear();
    g_fake.code = c.code;
    ASSERT_EQ(lx::DeviceClose("/a"), lx::kDeviceClosed);
    EXPECT_EQ(lx::DeviceOpen("/a"), 0) << c.code;
    EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceOpen) << c.code;  // an unknown code still counts as open
    EXPECT_EQ(g_events.kinds, c.kind < 0 ? std::vector<int>{} : std::vector<int>{c.kind}) << c.code;
    EXPECT_EQ(lx::FrameDevice().VeltanSpareSize, c.spare) << c.code;
    EXPECT_EQ(lx::FrameDevice().DeviceCode, c.code);
  }
}

TEST_F(DeviceOpsTest, MountMasksCallTheModuleOnlyOnChangeAndFrameFollows) {
  Open();
  struct Step {
    int32_t (*op)(int);
    int volume;
    int32_t result;
    const char* call;  // "" when the module must not be called
    uint32_t mount, bdtl;
  } steps[] = {
      {lx::VolumeMount, 0, 0, "gfslMount(0)", 0x1, 0x0},
      {lx::VolumeMount, 0, 0, "", 0x1, 0x0},  // already mounted
      {lx::VolumeMount, 3, 0, "gfslMount(3)", 0x9, 0x0},
      {lx::VolumeBDTLMount, 2, 0, "gfslBDTLMount(2)", 0x9, 0x4},
      {lx::VolumeBDTLMount, 2, 0, "", 0x9, 0x4},
      {lx::VolumeUnmount, 1, 0, "", 0x9, 0x4},  // not mounted
      {lx::VolumeUnmount, 0, 0, "gfslUnmount(0)", 0x8, 0x4},
      {lx::VolumeBDTLUnmount, 2, 0, "gfslBDTLUnmount(2)", 0x8, 0x0},
      {lx::VolumeMount, 4, -1, "", 0x8, 0x0},  // no such volume
      {lx::VolumeMount, -1, -1, "", 0x8, 0x0},
      {lx::VolumeUnmount, 32, -1, "", 0x8, 0x0},
  };
  for (const Step& s : steps) {
    g_fake.calls.clear();
    EXPECT_EQ(s.op(s.volume), s.result) << s.call << " " << s.volume;
    EXPECT_EQ(g_fake.calls, *s.call ? std::vector<std::string>{s.call} : std::vector<std::string>{}) << s.volume;
    EXPECT_EQ(lx::VolumeMountMask, s.mount) << s.call;
    EXPECT_EQ(lx::BdtlMountMask, s.bdtl) << s.call;
    EXPECT_EQ(lx::FrameDevice().FrameMountMask, s.mount) << s.call;
    EXPECT_EQ(lx::FrameDevice().FrameBdtlMask, s.bdtl) << s.call;
  }
}

TEST_F(DeviceOpsTest, FailedMountAndUnmountLeaveTheMasks) {
  Open();
  g_fake.mountResult[1] = -7;
  EXPECT_EQ(lx::VolumeMount(1), -1);
  EXPECT_EQ(lx::VolumeMountMask, 0u);
  ASSERT_EQ(lx::VolumeMount(2), 0);
  g_fake.unmountResult[2] = 3;
  EXPECT_EQ(lx::VolumeUnmount(2), -1);
  EXPECT_EQ(lx::VolumeMountMask, 0x4u);
  EXPECT_EQ(lx::FrameDevice().FrameMountMask, 0x4u);
}

TEST_F(DeviceOpsTest, ClosingForgetsEveryMountWithoutUnmounting) {
  Open();
  ASSERT_EQ(lx::VolumeMount(0), 0);
  ASSERT_EQ(lx::VolumeBDTLMount(1), 0);
  g_fake.calls.clear();
  EXPECT_EQ(lx::DeviceClose("/a"), lx::kDeviceClosed);
  EXPECT_EQ(g_fake.calls, std::vector<std::string>{"gfslInit(1)"});
  EXPECT_EQ(lx::VolumeMountMask | lx::BdtlMountMask, 0u);
  EXPECT_EQ(lx::FrameDevice().FrameMountMask | lx::FrameDevice().FrameBdtlMask, 0u);
  EXPECT_EQ(lx::FrameDevice().DeviceOpenFlag, 0);
  EXPECT_GT(g_events.changes, 0);
}

TEST_F(DeviceOpsTest, ReleaseForRewriteUnmountsBothMasksFileSystemFirst) {
  Open();
  ASSERT_EQ(lx::VolumeBDTLMount(1), 0);
  ASSERT_EQ(lx::VolumeMount(1), 0);
  ASSERT_EQ(lx::VolumeMount(2), 0);
  g_fake.calls.clear();
  EXPECT_EQ(lx::VolumeReleaseForRewrite(1), 0);
  EXPECT_EQ(g_fake.calls, (std::vector<std::string>{"gfslUnmount(1)", "gfslBDTLUnmount(1)"}));
  EXPECT_EQ(lx::VolumeMountMask, 0x4u);
  EXPECT_EQ(lx::BdtlMountMask, 0u);
  EXPECT_EQ(lx::VolumeReleaseForRewrite(3), 0);  // nothing mounted: nothing called

  // A file system that will not let go keeps its block layer too.
  ASSERT_EQ(lx::VolumeBDTLMount(2), 0);
  g_fake.unmountResult[2] = -1;
  g_fake.calls.clear();
  EXPECT_EQ(lx::VolumeReleaseForRewrite(2), -1);
  EXPECT_EQ(g_fake.calls, std::vector<std::string>{"gfslUnmount(2)"});
  EXPECT_EQ(lx::BdtlMountMask, 0x4u);
  EXPECT_EQ(lx::VolumeReleaseForRewrite(9), -1);
}

TEST(LowLevelNumbers, ParseAndShow) {
  struct Case {
    const char* text;
    uint32_t value;
  } cases[] = {
      {"010", 10},       {"0x10", 16},  {"0X1f", 31},   {"", 0},        {"abc", 0},
      {"12kb", 12},      {"0x", 0},     {"0xg1", 0},    {"4294967295", 0xFFFFFFFFu},
      {"4294967296", 0xFFFFFFFFu},     {"0x123456789", 0xFFFFFFFFu},     {"-5", 0}, {" 7", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(lx::ParseLowLevelNumber(c.text), c.value) << c.text;
  EXPECT_EQ(lx::ParseLowLevelNumber(nullptr), 0u);
  EXPECT_EQ(lx::ApproximateKBytes(1536), "Approximately 1.5 KBytes");
  EXPECT_EQ(lx::ApproximateKBytes(0), "Approximately 0.0 KBytes");
  EXPECT_EQ(lx::ApproximateKBytes(0xFFFFFFFFu), "Approximately 4194304.0 KBytes");
}

TEST(LowLevelNumbers, LayoutMustLieInsideTheDevice) {
  EXPECT_TRUE(lx::LowLevelLayoutFits(0, 0x100000, 0x100000));
  EXPECT_TRUE(lx::LowLevelLayoutFits(0x80000, 0x80000, 0x100000));
  EXPECT_FALSE(lx::LowLevelLayoutFits(0x80000, 0x80001, 0x100000));
  EXPECT_FALSE(lx::LowLevelLayoutFits(0xFFFFFFFFu, 0xFFFFFFFFu, 0x100000000ull));  // no 32-bit wrap
  EXPECT_FALSE(lx::LowLevelLayoutFits(0, 0, UINT64_MAX));  // the size of a module that cannot tell
  // An image not laid out yet takes any layout its partition record can describe.
  EXPECT_TRUE(lx::LowLevelLayoutFits(0x100000, 0x3000000, 0));
  EXPECT_TRUE(lx::LowLevelLayoutFits(0, 0xFFFFFFFFu, 0));
  EXPECT_FALSE(lx::LowLevelLayoutFits(1, 0xFFFFFFFFu, 0));
}

struct EraseLog {
  int steps = 0;
  std::vector<std::string> reports;
};

lx::EraseCallbacks Callbacks(EraseLog& log) {
  lx::EraseCallbacks c;
  c.step = [](void* p) { ++static_cast<EraseLog*>(p)->steps; };
  c.report = [](const char* text, void* p) { static_cast<EraseLog*>(p)->reports.push_back(text); };
  c.context = &log;
  return c;
}

TEST_F(DeviceOpsTest, VeltanEraseRefusesBadCountsAndReportsFailingBlocks) {
  for (uint32_t bad : {0u, 0xFFFFFFFFu, lx::kMaxEraseBlocks + 1}) {
    EraseLog log;
    g_fake.veltanBlocks = bad;
    g_fake.calls.clear();
    EXPECT_EQ(lx::EraseVeltanVolume(1, Callbacks(log)), -1) << bad;
    EXPECT_TRUE(g_fake.calls.empty()) << bad;  // nothing erased
    ASSERT_EQ(log.reports.size(), 1u);
    EXPECT_EQ(log.reports[0], "Erase volume /b has failed: the device reports " + std::to_string(bad) +
                                  " erase blocks.");
  }
  EraseLog ok;
  g_fake.veltanBlocks = 3;
  g_fake.calls.clear();
  EXPECT_EQ(lx::EraseVeltanVolume(2, Callbacks(ok)), 0);
  EXPECT_EQ(g_fake.calls, (std::vector<std::string>{"gfslVeltanEraseBlock(2,0)", "gfslVeltanEraseBlock(2,1)",
                                                    "gfslVeltanEraseBlock(2,2)"}));
  EXPECT_EQ(ok.steps, 3);
  EXPECT_TRUE(ok.reports.empty());

  EraseLog bad;
  g_fake.veltanBlocks = 5;
  g_fake.veltanEraseResult[1] = -1;
  g_fake.veltanEraseResult[3] = 2;
  g_fake.calls.clear();
  EXPECT_EQ(lx::EraseVeltanVolume(0, Callbacks(bad)), -1);
  EXPECT_EQ(g_fake.calls.size(), 5u);  // goes on through every block
  EXPECT_EQ(bad.reports, std::vector<std::string>{"Error: Erase failed at 2 of 5 erase blocks (first at erase block #1)"});
}

TEST_F(DeviceOpsTest, NorEraseWalksTheSectorTableAndReportsEachFailure) {
  EraseLog log;
  g_fake.norSectors = 4;
  g_fake.norEraseResult[2] = -1;
  EXPECT_EQ(lx::EraseNorVolume(3, Callbacks(log)), -1);
  EXPECT_EQ(g_fake.calls.size(), 4u);
  EXPECT_EQ(g_fake.calls.back(), "gfslNOREraseBlock(3,3)");
  EXPECT_EQ(log.steps, 4);
  EXPECT_EQ(log.reports, std::vector<std::string>{"Error: Erase failed at erase sector #2"});

  EraseLog none;
  g_fake.norSectors = 0;
  EXPECT_EQ(lx::EraseNorVolume(0, Callbacks(none)), -1);
  EXPECT_EQ(none.reports, std::vector<std::string>{"Erase volume /a has failed: the device reports no erase sectors."});

  // A module that never ends its block list is not walked for ever.
  DeviceApiTable.gfslNORGetBlockSize = [](const char*, uint32_t) -> uint32_t { return 0x1000; };
  EXPECT_EQ(lx::CountNorEraseSectors("/a"), -1);
  g_fake.calls.clear();
  EraseLog endless;
  EXPECT_EQ(lx::EraseNorVolume(0, Callbacks(endless)), -1);
  EXPECT_TRUE(g_fake.calls.empty());
}

TEST_F(DeviceOpsTest, MissingEntryPointsFailThroughTheirStubs) {
  lx::ResetDeviceApiCells();
  EXPECT_EQ(lx::DeviceOpen("/a"), lx::kDeviceFailed);
  EXPECT_EQ(lx::SetDeviceState("/a", lx::kDeviceOpen), lx::kDeviceOpen);
  EXPECT_EQ(lx::VolumeMount(0), -1);
  EXPECT_EQ(lx::VolumeMountMask, 0u);
  EraseLog log;
  EXPECT_EQ(lx::EraseVeltanVolume(0, Callbacks(log)), -1);  // the stub's count is all ones
  EXPECT_EQ(std::string(LxPromptRecordText(LxPromptRecordCount() - 1)),
            "gfslVeltanGetNumberOfPhysicalBlocks is not supported.");
}

}  // namespace
