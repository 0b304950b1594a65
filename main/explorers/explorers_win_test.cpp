// The explorer windows on the kit-like fixture module: the page or window they read, their
// limits, the mark, and the toggle of the frame's command.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "explorers.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "module_loader.h"

namespace {

CBrambApp g_app;

class ExplorerTest : public ::testing::Test {
 protected:
  void Open(const char* code) {
    _putenv_s("LX_FIXTURE_KIT_DEVICE_CODE", code);
    SetEnvironmentVariableA("LX_FIXTURE_KIT_DEVICE_CODE", code);
    CDeviceApiBinder binder;
    HMODULE module = binder.LoadDeviceLibrary("LxFixtureKit.dll");
    ASSERT_NE(module, nullptr);
    binder.LoadDeviceApi(module);
    lx::DeviceClose("/a");
    ASSERT_EQ(lx::DeviceOpen("/a"), 0);
  }
  void SetUp() override { LxPromptTestBegin(); }
  void TearDown() override {
    lx::DeviceClose("/a");
    LxPromptTestEnd();
  }
  CWnd frame_;
};

TEST_F(ExplorerTest, TheFrameCommandTogglesTheNandExplorerWithTheFramesSpareSize) {
  Open("1001");
  g_app.m_Options.DeviceKind = 0;
  LxPromptQueueAnswer(IDNO);  // no bad block table file
  LxPromptQueueAnswer(IDNO);
  ToggleDeviceExplorer(&frame_);
  CVeltanExplorerDlg* explorer = GetVeltanExplorer();
  ASSERT_NE(explorer, nullptr);
  EXPECT_EQ(explorer->m_SpareSize, 128u);  // code 1001: 128 spare bytes per page
  EXPECT_EQ(explorer->GetWindowTextString(), "Device Explorer: page#0/1023");
  EXPECT_EQ(explorer->m_Grid.GetRows(), 137);  // header, 128 data rows, 8 spare rows
  explorer->SetDlgItemText(IDC_VX_PAGE, "5000");
  explorer->GoToPage();
  EXPECT_EQ(explorer->m_CurrentPage, 1023u);  // the last page
  ToggleDeviceExplorer(&frame_);
  EXPECT_EQ(GetVeltanExplorer(), nullptr);
}

TEST_F(ExplorerTest, TheNorExplorerReadsWindowsOfTheOptionsSize) {
  Open("9");
  uint8_t pattern[4] = {0x12, 0x34, 0x56, 0x78};
  ASSERT_EQ(DeviceApiTable.gfslNORProgramData(0, 0x4000 + 0x10, sizeof pattern, pattern), 0);
  g_app.m_Options.DeviceKind = 1;
  g_app.m_Options.WindowSizeIndex = 4;  // 16 KiB windows
  ToggleDeviceExplorer(&frame_);
  CNorExplorerDlg* explorer = GetNorExplorer();
  ASSERT_NE(explorer, nullptr);
  EXPECT_EQ(explorer->GetWindowSize(), 16384u);
  const int32_t windows = (8 * 0x2000 + 31 * 0x10000) / 16384;
  EXPECT_EQ(explorer->CountWindows(), windows);
  EXPECT_EQ(explorer->GetReadMode(), 0);
  EXPECT_EQ(explorer->GetWindowTextString(), "Device Explorer: window#0/" + std::to_string(windows - 1));
  EXPECT_EQ(explorer->m_pSectorTable->count, 8 + 31);

  explorer->SetDlgItemText(IDC_NE_NUMBER, "1");
  explorer->GoToWindow();
  EXPECT_EQ(explorer->m_Grid.GetTextMatrix(2, 0), "0x00004010");
  EXPECT_EQ(explorer->m_Grid.GetTextMatrix(2, 1), "12");
  EXPECT_EQ(explorer->m_Grid.GetTextMatrix(2, 4), "78");
  EXPECT_EQ(explorer->m_Grid.GetTextMatrix(2, 5), "FF");
  explorer->SetDlgItemText(IDC_NE_NUMBER, "99999");
  explorer->GoToWindow();
  EXPECT_EQ(explorer->m_WindowIndex, windows - 1);
  LxPumpMessages();
  LxSaveWindowShot(explorer->m_hWnd, "explorer_nor");
  ToggleDeviceExplorer(&frame_);
  EXPECT_EQ(GetNorExplorer(), nullptr);
  g_app.m_Options.WindowSizeIndex = 0;
}

TEST_F(ExplorerTest, TheResetWindowIsMadeOnceAndClosesWhenAsked) {
  Open("9");
  ShowNorResetDialog(nullptr);
  CNorResetDlg* reset = GetNorResetDialog();
  ASSERT_NE(reset, nullptr);
  ShowNorResetDialog(nullptr);
  EXPECT_EQ(GetNorResetDialog(), reset);
  CloseNorResetDialog();
  EXPECT_EQ(GetNorResetDialog(), nullptr);
}

}  // namespace
