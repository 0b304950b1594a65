// The two modules loaded by fixed name. The program never frees them, so each test unloads
// what it loaded and the next one finds its own variant.
#include <gtest/gtest.h>

#include <cstring>

#include "module_loader.h"
#include "test_support.h"

namespace {

class FixedNameModules : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* name : {"extgfslmodule.dll", "exteccmodule.dll"})
      while (HMODULE module = GetModuleHandleA(name)) FreeLibrary(module);
    SetDllDirectoryA(nullptr);
  }
  PromptScope prompts;
};

template <class Fn>
Fn Export(const char* module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), name)));
}

TEST_F(FixedNameModules, RunsInitRunExitWithTheTableCopy) {
  SetDllDirectoryA(FixturePath("egm_all").c_str());
  CDeviceApiBinder binder;
  binder.ResetDeviceApi();
  StartExtGfslModuleService();
  auto calls = Export<int (*)()>("extgfslmodule.dll", "fixtureEgmCalls");
  ASSERT_NE(calls, nullptr);
  EXPECT_EQ(calls(), 123);
  EXPECT_EQ(LxPromptRecordCount(), 0);

  CExtGfslModule module;
  ASSERT_EQ(module.LoadExtGfslModule(), 0);
  EXPECT_EQ(module.FillGfslApiRecord(), 0);
  auto record = Export<void* (*)()>("extgfslmodule.dll", "fixtureEgmRecord")();
  EXPECT_EQ(record, &module.m_record);
  // Nothing bound: the entries are the device table's stubs, slot 0 to 64.
  EXPECT_EQ(module.m_record.entries[0], reinterpret_cast<void*>(DeviceApiTable.gfslInit));
  EXPECT_EQ(module.m_record.entries[64], reinterpret_cast<void*>(DeviceApiTable.gfslCustomCallback8));
  EXPECT_EQ(module.LoadExtGfslModule(), 0);  // already loaded
}

TEST_F(FixedNameModules, WithoutInitNothingElseRuns) {
  SetDllDirectoryA(FixturePath("egm_noinit").c_str());
  StartExtGfslModuleService();
  EXPECT_EQ(LastPromptText(), "egmInit is not supported.");
  EXPECT_EQ(LxPromptRecordCount(), 1);
  EXPECT_EQ(Export<int (*)()>("extgfslmodule.dll", "fixtureEgmCalls")(), 0);
}

TEST_F(FixedNameModules, MissingLibrary) {
  CExtGfslModule module;
  EXPECT_EQ(module.LoadExtGfslModule(), -1);
  EXPECT_EQ(LastPromptText(), "External GFSL Module service is not available.");
}

TEST_F(FixedNameModules, GuardedCallsBeforeLoad) {
  CExtEccModule ecc;
  uint8_t sector[512] = {1};
  uint8_t code[4] = {9, 9, 9, 9};
  EXPECT_EQ(ecc.CorrectECC(sector, code, code, 1), -1);
  EXPECT_EQ(ecc.CorrectBCH(sector, nullptr, nullptr), -1);
  ecc.CalculateECC(sector, code);
  ecc.CalculateBCH(sector);
  EXPECT_EQ(code[0], 9);
  EXPECT_EQ(sector[0], 1);
  EXPECT_EQ(LxPromptRecordCount(), 0);
  EXPECT_EQ(ecc.Init(), -1);
  EXPECT_EQ(LastPromptText(), "External ECC Module initialization has failed.");
  EXPECT_EQ(ecc.Load(), -1);
  EXPECT_EQ(LastPromptText(), "External ECC Module service is not available.");
}

TEST_F(FixedNameModules, LoadedTwiceAndUsed) {
  SetDllDirectoryA(FixturePath("eem").c_str());
  CExtEccModule ecc;
  ASSERT_EQ(ecc.Load(), 0);
  EXPECT_EQ(LxPromptRecordCount(), 0);
  EXPECT_EQ(ecc.Load(), 0);
  EXPECT_EQ(LastPromptText(), "External ECC Module service is enabled already.");
  EXPECT_EQ(ecc.Init(), 0);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(ecc.m_context)[15], 0xC5);
  uint8_t sector[512];
  std::memset(sector, 0, sizeof sector);
  sector[3] = 0x5A;
  uint8_t stored[3] = {}, computed[3] = {};
  ecc.CalculateECC(sector, computed);
  EXPECT_EQ(computed[0], 0x5A);
  EXPECT_EQ(computed[1], 0xEC);
  stored[0] = 0x5A;
  EXPECT_EQ(ecc.CorrectECC(sector, stored, computed, 1), 1);
  stored[0] = 0;
  EXPECT_EQ(ecc.CorrectECC(sector, stored, computed, 0xFF), 100 + 0xFF);  // the flag widened, not sign-extended
  ecc.CalculateBCH(sector);
  EXPECT_EQ(sector[0], 0xBC);
  EXPECT_EQ(ecc.CorrectBCH(sector, nullptr, nullptr), 5);
}

}  // namespace
