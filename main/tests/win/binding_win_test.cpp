#include <gtest/gtest.h>

#include "module_loader.h"
#include "test_support.h"

namespace {

class BindingTest : public ::testing::Test {
 protected:
  PromptScope prompts;
  CDeviceApiBinder binder;
  void TearDown() override { binder.ResetDeviceApi(); }
};

TEST_F(BindingTest, MaskByFixtureModule) {
  struct Case {
    const char* dll;
    unsigned mask;
  } cases[] = {
      {"lxfix_device_all.dll", 0x0},
      {"lxfix_device_only.dll", 0xC},
      {"lxfix_device_nofs.dll", 0x4},
      {"lxfix_device_noprof.dll", 0x8},
      {"lxfix_vyr.dll", 0xD},  // a library with none of the names
  };
  for (const auto& c : cases) {
    HMODULE module = binder.LoadDeviceLibrary(FixturePath(c.dll).c_str());
    ASSERT_NE(module, nullptr) << c.dll;
    EXPECT_EQ(binder.LoadDeviceApi(module), c.mask) << c.dll;
  }
  EXPECT_EQ(LxPromptRecordCount(), 0);  // binding shows nothing
}

TEST_F(BindingTest, BoundCellsReachTheModuleAndMissingOnesTheirStubs) {
  HMODULE module = binder.LoadDeviceLibrary(FixturePath("lxfix_device_nofs.dll").c_str());
  ASSERT_NE(module, nullptr);
  ASSERT_EQ(binder.LoadDeviceApi(module), 0x4u);
  EXPECT_EQ(DeviceApiTable.gfslInit(3), 1000);
  EXPECT_EQ(DeviceApiTable.gfslGetNumberOfBytesPerDevice("/a"), 0x100000008ull);
  EXPECT_EQ(DeviceApiTable.fpResetFunctionProfiler(), 1068);
  EXPECT_EQ(LxPromptRecordCount(), 0);

  EXPECT_EQ(DeviceApiTable.gfslMount(0), -1);
  EXPECT_EQ(LastPromptText(), "gfslMount is not supported.");
  EXPECT_STREQ(LxPromptRecordCaption(0), "Lumivex");
  EXPECT_EQ(DeviceApiTable.gfslopendir("/a"), nullptr);
  EXPECT_EQ(LastPromptText(), "gfslopendir is not supported.");
  EXPECT_EQ(DeviceApiTable.gfslfwrite("x", 1, 1, 0), 0xFFFFFFFFu);
  DeviceApiTable.gfslrewinddir(nullptr);
  EXPECT_EQ(LastPromptText(), "gfslrewinddir is not supported.");
  EXPECT_EQ(LxPromptRecordCount(), 4);
}

TEST_F(BindingTest, NullPathAndHandleAreNoAttempts) {
  EXPECT_EQ(binder.LoadDeviceLibrary(nullptr), nullptr);
  EXPECT_EQ(binder.FreeDeviceLibrary(nullptr), FALSE);
  EXPECT_EQ(binder.LoadDeviceLibrary(FixturePath("missing.dll").c_str()), nullptr);
}

TEST_F(BindingTest, ResetAfterFreeLeavesOnlyStubs) {
  HMODULE module = binder.LoadDeviceLibrary(FixturePath("lxfix_device_noprof.dll").c_str());
  ASSERT_EQ(binder.LoadDeviceApi(module), 0x8u);
  EXPECT_EQ(binder.ResetDeviceApi(), 0);
  EXPECT_NE(binder.FreeDeviceLibrary(module), FALSE);
  EXPECT_EQ(DeviceApiTable.gfslInit(0), -1);
  EXPECT_EQ(LastPromptText(), "gfslInit is not supported.");
}

TEST_F(BindingTest, NorDriverTable) {
  CNorDriverBinder nor;
  HMODULE module = nor.LoadNorDriverLibrary(FixturePath("lxfix_nor_all.dll").c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(nor.LoadNorDriverApi(module), 0);
  ASSERT_NE(lx::NorDriverApiTable.g_ucBuffer, nullptr);
  ASSERT_NE(lx::NorDriverApiTable.g_ulBufferIndex, nullptr);
  uint32_t base = 0, window = 0, scratch = 0;
  EXPECT_EQ(lx::NorDriverApiTable.LXLLD_Init(&base, &window, &scratch), 0);
  EXPECT_EQ(base, 0x80000000u);
  *lx::NorDriverApiTable.g_ulBufferIndex = 0;
  lx::NorDriverCommand(lx::kNorCell_cmd_PpbProgramOp)(2, nullptr);
  EXPECT_STREQ(reinterpret_cast<char*>(lx::NorDriverApiTable.g_ucBuffer), "cmd_PpbProgramOp 2\n");
  EXPECT_EQ(LxPromptRecordCount(), 0);

  HMODULE noBuffer = nor.LoadNorDriverLibrary(FixturePath("lxfix_nor_nobuffer.dll").c_str());
  EXPECT_EQ(nor.LoadNorDriverApi(noBuffer), 1);
  EXPECT_EQ(lx::NorDriverApiTable.g_ucBuffer, nullptr);
  EXPECT_NE(lx::NorDriverApiTable.g_ulBufferIndex, nullptr);
}

TEST_F(BindingTest, VeltanDriverTable) {
  CVeltanDriverBinder veltan;
  HMODULE all = veltan.LoadVeltanDriverLibrary(FixturePath("lxfix_veltan_all.dll").c_str());
  EXPECT_EQ(veltan.LoadVeltanDriverApi(all), 0);
  *lx::VeltanDriverApiTable.g_ulBufferIndex = 0;
  lx::VeltanDriverCommand(lx::kVeltanCell_ouv_all_LPN)(1, nullptr);
  EXPECT_STREQ(reinterpret_cast<char*>(lx::VeltanDriverApiTable.g_ucBuffer), "ouv_all_LPN 1\n");

  HMODULE generic = veltan.LoadVeltanDriverLibrary(FixturePath("lxfix_veltan_generic.dll").c_str());
  EXPECT_EQ(veltan.LoadVeltanDriverApi(generic), 1);
  lx::VeltanDriverCommand(lx::kVeltanCell_cmd_NandResetCmd)(0, nullptr);
  EXPECT_EQ(LastPromptText(), "cmd_NandResetCmd is not supported.");
  lx::VeltanDriverCommand(lx::kVeltanCell_cmd_exit)(0, nullptr);
  EXPECT_EQ(LxPromptRecordCount(), 1);  // the generic command is the module's
}

TEST_F(BindingTest, AnalyzerTables) {
  CVyrBinder vyr;
  CVyrViewerBinder viewer;
  EXPECT_EQ(vyr.LoadVyrLibrary(nullptr), nullptr);
  EXPECT_EQ(viewer.FreeVyrViewerLibrary(nullptr), FALSE);
  HMODULE module = vyr.LoadVyrLibrary(FixturePath("lxfix_vyr.dll").c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(vyr.LoadVyrApi(module), 0);
  EXPECT_EQ(viewer.LoadVyrViewerApi(module), 0);
  EXPECT_EQ(VyrViewerApiTable.vyrRunViewer(), 7);
  EXPECT_STREQ(VyrApiTable.vyrGetVersion(nullptr), "fixture 1.0");
  EXPECT_EQ(viewer.ResetVyrViewerApi(), 0);
  EXPECT_EQ(vyr.ResetVyrApi(), 0);
  EXPECT_EQ(VyrViewerApiTable.vyrRunViewer(), -1);
  EXPECT_EQ(LastPromptText(), "vyrRunViewer is not supported.");
  HMODULE device = vyr.LoadVyrLibrary(FixturePath("lxfix_device_all.dll").c_str());
  EXPECT_EQ(vyr.LoadVyrApi(device), 1);
}

}  // namespace
