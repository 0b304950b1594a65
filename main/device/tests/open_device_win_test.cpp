// The open-device dialog as a real window under Wine and Xvfb, driven by messages, against the
// kit-like fixture module and the virtual device bound by name. The nested "Select Volume" and
// "Low Level Format" dialogs are answered by a timer that finds them on the screen.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "module_loader.h"
#include "open_device.h"
#include "test_files.h"
#include "test_support.h"

namespace {

CBrambApp g_app;

// ----- Answers for the nested modal dialogs -------------------------------------------------------
struct DialogStep {
  const char* caption;
  std::function<void(HWND)> act;
};
std::deque<DialogStep> g_steps;
std::vector<std::string> g_unexpected;

void Click(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// A visible dialog of this thread with that caption: other test programs share the display, and
// their windows of the same caption are none of this test's business.
struct DialogSearch {
  const char* caption;
  HWND found;
};
BOOL CALLBACK MatchDialog(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<DialogSearch*>(lp);
  char cls[16] = "", text[128] = "";
  GetClassNameA(w, cls, sizeof cls);
  GetWindowTextA(w, text, sizeof text);
  if (std::strcmp(cls, "#32770") == 0 && std::strcmp(text, s->caption) == 0 && IsWindowVisible(w)) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}
HWND FindOwnDialog(const char* caption) {
  DialogSearch search{caption, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

VOID CALLBACK DriveDialogs(HWND, UINT, UINT_PTR, DWORD) {
  // A step that takes a screenshot lets messages through; the timer must not come back in then.
  static bool acting = false;
  if (acting) return;
  struct Acting {
    Acting() { acting = true; }
    ~Acting() { acting = false; }
  } scope;
  if (!g_steps.empty()) {
    HWND window = FindOwnDialog(g_steps.front().caption);
    if (window) {
      DialogStep step = g_steps.front();
      g_steps.pop_front();
      step.act(window);
      return;
    }
  }
  for (const char* caption : {"Select Volume", "Low Level Format", "Options..."}) {
    HWND window = FindOwnDialog(caption);
    if (!window) continue;
    g_unexpected.push_back(caption);  // nobody meant to answer it: cancel, never hang
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return;
  }
}

// Ticks the volumes of the mask and presses OK.
DialogStep SelectVolumes(uint32_t mask, const char* shot = nullptr) {
  return {"Select Volume", [mask, shot](HWND w) {
            for (int v = 0; v < 4; ++v)
              SendDlgItemMessageA(w, IDC_LX_VOLUME_A + v, BM_SETCHECK, (mask >> v & 1) ? BST_CHECKED : BST_UNCHECKED, 0);
            if (shot) LxSaveWindowShot(w, shot);
            Click(w, IDOK);
          }};
}

std::string ItemText(HWND w, int id) {
  char text[256] = "";
  GetDlgItemTextA(w, id, text, sizeof text);
  return text;
}

std::vector<std::string> g_labels;

DialogStep LowLevelLayout(const char* offset, const char* length, const char* shot = nullptr) {
  return {"Low Level Format", [offset, length, shot](HWND w) {
            SetDlgItemTextA(w, IDC_LX_LLF_OFFSET, offset);
            SetDlgItemTextA(w, IDC_LX_LLF_LENGTH, length);
            g_labels = {ItemText(w, IDC_LX_LLF_OFFSET_KB), ItemText(w, IDC_LX_LLF_LENGTH_KB)};
            if (shot) LxSaveWindowShot(w, shot);
            Click(w, IDOK);
          }};
}

class OpenDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LxPromptTestBegin();
    g_steps.clear();
    g_unexpected.clear();
    timer_ = SetTimer(nullptr, 0, 30, DriveDialogs);
    folder_ = MakeTempFolder("lxdev");
    g_app.m_OptionsFilePath = (folder_ + "\\setup.ini").c_str();
    std::memset(&g_app.m_Options, 0, sizeof g_app.m_Options);
    g_app.SetUserLevel(0);
    // The virtual device reads it through the C library's copy of the environment.
    _putenv(("LX_USER_AREA=" + folder_).c_str());
    CreateDirectoryA((folder_ + "\\User Data").c_str(), nullptr);
    SetEnvironmentVariableA("LX_FIXTURE_KIT_DEVICE_CODE", nullptr);
    SetEnvironmentVariableA("LX_FIXTURE_KIT_FAIL", nullptr);
    lx::SetDeviceFrameHooks(lx::DeviceFrameHooks());
    lx::SetDeviceState("/a", lx::kDeviceClosed);
  }
  void TearDown() override {
    if (dialog_.m_hWnd) dialog_.DestroyWindow();
    if (lx::GetDeviceState() == lx::kDeviceOpen) lx::DeviceClose("/a");
    binder_.ResetDeviceApi();
    if (module_) binder_.FreeDeviceLibrary(module_);
    g_app.m_bDeviceModuleLoaded = false;
    KillTimer(nullptr, timer_);
    EXPECT_TRUE(g_steps.empty()) << "dialog answers left over";
    EXPECT_TRUE(g_unexpected.empty()) << "a dialog nobody answered: " << g_unexpected.front();
    LxPromptTestEnd();
  }

  void Bind(const char* dll) {
    module_ = binder_.LoadDeviceLibrary((ExeFolder() + "\\" + dll).c_str());
    ASSERT_NE(module_, nullptr) << dll;
    binder_.LoadDeviceApi(module_);
    g_app.m_bDeviceModuleLoaded = true;
  }

  // The dialog as the user sees it; OnInitDialog opens the device.
  void Show() {
    InstallDeviceKindHook();
    ASSERT_TRUE(dialog_.Create(IDD_LX_OPEN_DEVICE, nullptr));
    dialog_.ShowWindow(SW_SHOW);
    LxPumpMessages();
  }
  void Press(int id) {
    dialog_.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    LxPumpMessages();
  }
  std::string Text(int id) { return ItemText(dialog_.m_hWnd, id); }
  bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(dialog_.m_hWnd, id)) != FALSE; }
  uint64_t Calls(int slot) { return DeviceApiTable.fpGetFunctionProfilerCount(slot); }

  COpenDeviceDlg dialog_;
  CDeviceApiBinder binder_;
  HMODULE module_ = nullptr;
  UINT_PTR timer_ = 0;
  std::string folder_;
};

TEST_F(OpenDeviceTest, OpensTheKitOnShowSelectsItsKindAndToggles) {
  Bind("LxFixtureKit.dll");
  Show();
  EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceOpen);
  EXPECT_EQ(lx::FrameDevice().DeviceOpenFlag, 1);
  EXPECT_EQ(lx::FrameDevice().DeviceCode, 9);
  EXPECT_EQ(Text(IDC_LX_OPEN_DEVICE), "Close Device");
  EXPECT_EQ(Text(IDC_LX_DEVICE_STATUS), "The device is open.");
  EXPECT_EQ(Text(IDC_LX_VOLUME_STATUS), "The volume is currently not mounted.");
  EXPECT_NE(Text(IDC_LX_DEVICE_INFO).find("Fixture kit device"), std::string::npos);
  EXPECT_EQ(g_app.m_Options.DeviceKind, 1);  // code 9 is NOR, stored in the options
  EXPECT_FALSE(Enabled(IDC_LX_ERASE_DEVICE));  // the Veltan erase belongs to the NAND kind
  EXPECT_TRUE(Enabled(IDC_LX_FORMAT_VOLUME));
  EXPECT_TRUE(Prompts().empty());
  LxSaveWindowShot(dialog_.m_hWnd, "open_device_kit");

  Press(IDC_LX_OPEN_DEVICE);
  EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceClosed);
  EXPECT_EQ(Text(IDC_LX_OPEN_DEVICE), "Open Device");
  EXPECT_EQ(Text(IDC_LX_DEVICE_STATUS), "The device is not open.");
  EXPECT_EQ(Text(IDC_LX_DEVICE_INFO), "");
  LxSaveWindowShot(dialog_.m_hWnd, "open_device_closed");
  Press(IDC_LX_REFRESH);
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Device is not open."});

  SetEnvironmentVariableA("LX_FIXTURE_KIT_FAIL", "gfslInit");
  Press(IDC_LX_OPEN_DEVICE);
  EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceFailed);
  EXPECT_EQ(Prompts().back(), "Open Failed");
  EXPECT_EQ(Text(IDC_LX_OPEN_DEVICE), "Open Device");

  SetEnvironmentVariableA("LX_FIXTURE_KIT_FAIL", nullptr);
  SetEnvironmentVariableA("LX_FIXTURE_KIT_DEVICE_CODE", "1001");
  Press(IDC_LX_OPEN_DEVICE);
  EXPECT_EQ(Text(IDC_LX_OPEN_DEVICE), "Close Device");
  EXPECT_EQ(g_app.m_Options.DeviceKind, 0);
  EXPECT_EQ(lx::FrameDevice().VeltanSpareSize, 128u);
  EXPECT_TRUE(Enabled(IDC_LX_ERASE_DEVICE));
}

TEST_F(OpenDeviceTest, WithoutAModuleTheButtonsAreOff) {
  g_app.m_bDeviceModuleLoaded = false;
  g_app.m_OptionsFilePath = (folder_ + "\\missing\\setup.ini").c_str();  // the options load fails too
  LxPromptQueueAnswer(IDNO);  // no set-up now
  Show();
  for (int id : {IDC_LX_REFRESH, IDC_LX_MOUNT_VOLUME, IDC_LX_FORMAT_VOLUME, IDC_LX_LOW_LEVEL_FORMAT, IDC_LX_ERASE_DEVICE})
    EXPECT_FALSE(Enabled(id)) << id;
  auto texts = Prompts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("Welcome to Lumivex!\n", 0), 0u);
  EXPECT_EQ(texts[1], "No External FS Module is loaded.\nPlease check the option for loading External FS Module.");
  EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceClosed);
}

TEST_F(OpenDeviceTest, WelcomeYesOpensTheOptionsOnTheModulePageAndLoadsAgain) {
  g_app.m_bDeviceModuleLoaded = false;
  g_app.m_OptionsFilePath = (folder_ + "\\missing\\setup.ini").c_str();
  LxPromptQueueAnswer(IDYES);
  int page = -1;
  g_steps.push_back({"Options...", [&page](HWND sheet) {
                       HWND current = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
                       page = static_cast<int>(SendMessageA(sheet, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(current), 0));
                       LxSaveWindowShot(sheet, "open_device_welcome_options");
                       SendMessageA(sheet, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                     }});
  Show();
  EXPECT_EQ(page, 1);
  EXPECT_TRUE(g_app.m_bReloadDeviceModule);  // the load after the sheet still found no module
  EXPECT_EQ(Prompts().back(), "No External FS Module is loaded.\nPlease check the option for loading External FS Module.");
  g_app.m_bReloadDeviceModule = false;
}

// Records the commands the main window receives.
class FakeMainWindow : public CWnd {
 public:
  FakeMainWindow() {
    m_hWnd = CreateWindowExA(0, "STATIC", "main", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    SubclassWindow(m_hWnd);
  }
  ~FakeMainWindow() override { ::DestroyWindow(Detach()); }
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_COMMAND) commands.push_back(LOWORD(wp));
    return CWnd::WindowProc(msg, wp, lp);
  }
  std::vector<int> commands;
};

TEST_F(OpenDeviceTest, BeginnersGetNoVolumeButtonsAndTheExplorerAfterOk) {
  Bind("LxFixtureKit.dll");
  SetEnvironmentVariableA("LX_FIXTURE_KIT_DEVICE_CODE", "8");
  g_app.SetUserLevel(2);
  FakeMainWindow main;
  g_app.m_pMainWnd = &main;
  Show();
  EXPECT_TRUE(Enabled(IDC_LX_REFRESH));
  for (int id : {IDC_LX_MOUNT_VOLUME, IDC_LX_FORMAT_VOLUME, IDC_LX_LOW_LEVEL_FORMAT, IDC_LX_ERASE_DEVICE})
    EXPECT_FALSE(Enabled(id)) << id;
  Press(IDCANCEL);
  EXPECT_TRUE(main.IsWindowVisible());
  EXPECT_TRUE(main.commands.empty());
  Press(IDOK);
  EXPECT_EQ(main.commands, std::vector<int>{32780});  // Device Explorer
  g_app.m_pMainWnd = nullptr;
}

TEST_F(OpenDeviceTest, MountThroughTheKitsStubsReportsEachFailure) {
  Bind("LxFixtureKit.dll");
  Show();
  g_steps.push_back(SelectVolumes(0x1, "select_volume"));
  Press(IDC_LX_MOUNT_VOLUME);
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"gfslBDTLMount is not supported.", "DBTLMount failed.",
                                                 "gfslMount is not supported.", "Mount volume /a failed."}));
  EXPECT_EQ(lx::FrameDevice().FrameMountMask, 0u);
  EXPECT_EQ(Text(IDC_LX_MOUNT_VOLUME), "Mount volume...");
  EXPECT_TRUE(Enabled(IDC_LX_MOUNT_VOLUME));  // the handler gave its buttons back
}

TEST_F(OpenDeviceTest, VeltanEraseChecksTheCountAndEveryBlock) {
  Bind("LxFixtureKit.dll");
  SetEnvironmentVariableA("LX_FIXTURE_KIT_DEVICE_CODE", "1001");
  Show();
  g_steps.push_back(SelectVolumes(0x1));
  Press(IDC_LX_ERASE_DEVICE);
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"Format device /a.\nThis operation will take several minutes.",
                                                 "Erase finished."}));
  EXPECT_EQ(Calls(17), 16u);  // every block of the fixture's NAND chip

  struct Case {
    const char* failing;
    const char* report;
    uint64_t erases;
  } cases[] = {
      {"gfslVeltanGetNumberOfPhysicalBlocks", "Erase volume /a has failed: the device reports 4294967295 erase blocks.", 0},
      {"gfslVeltanEraseBlock", "Error: Erase failed at 16 of 16 erase blocks (first at erase block #0)", 16},
  };
  for (const Case& c : cases) {
    SetEnvironmentVariableA("LX_FIXTURE_KIT_FAIL", c.failing);
    lx::DeviceClose("/a");
    ASSERT_EQ(lx::DeviceOpen("/a"), 0);  // the fixture reads its failures at the open
    LxPromptTestBegin();
    g_steps.push_back(SelectVolumes(0x1));
    Press(IDC_LX_ERASE_DEVICE);
    EXPECT_EQ(Prompts().back(), c.report) << c.failing;
    EXPECT_EQ(Calls(17), c.erases) << c.failing;
  }
}

// Records, when its message arrives, whether the dialog's buttons are usable.
struct ButtonProbe {
  HWND dialog = nullptr;
  std::vector<bool> enabled;
};
ButtonProbe g_probe;

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_APP) {
    for (int id : {IDC_LX_ERASE_DEVICE, IDC_LX_MOUNT_VOLUME, IDOK})
      g_probe.enabled.push_back(IsWindowEnabled(GetDlgItem(g_probe.dialog, id)) != FALSE);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

TEST_F(OpenDeviceTest, ALoopThatPumpsCannotBeStartedTwiceNorTheDialogClosedUnderIt) {
  Bind("LxFixtureKit.dll");
  SetEnvironmentVariableA("LX_FIXTURE_KIT_DEVICE_CODE", "1000");
  Show();
  WNDCLASSA cls = {};
  cls.lpfnWndProc = ProbeProc;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = "LxButtonProbe";
  RegisterClassA(&cls);
  HWND probe = CreateWindowA("LxButtonProbe", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr);
  g_probe = ButtonProbe();
  g_probe.dialog = dialog_.m_hWnd;
  HWND dialog = dialog_.m_hWnd;
  // While "Select Volume" is up, the user clicks Erase again, then OK; the erase loop pumps them.
  g_steps.push_back({"Select Volume", [dialog, probe](HWND w) {
                       SendDlgItemMessageA(w, IDC_LX_VOLUME_A, BM_SETCHECK, BST_CHECKED, 0);
                       Click(w, IDOK);
                       PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_LX_ERASE_DEVICE, BN_CLICKED), 0);
                       PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                       PostMessageA(probe, WM_APP, 0, 0);
                     }});
  Press(IDC_LX_ERASE_DEVICE);
  EXPECT_EQ(Calls(17), 16u);  // one pass over the blocks, not two
  EXPECT_EQ(g_probe.enabled, (std::vector<bool>{false, false, false}));
  EXPECT_TRUE(dialog_.IsWindowVisible());  // OK did not close it under the loop
  EXPECT_TRUE(Enabled(IDC_LX_ERASE_DEVICE));
  EXPECT_TRUE(Enabled(IDC_LX_MOUNT_VOLUME));
  EXPECT_EQ(Prompts().back(), "Erase finished.");
  DestroyWindow(probe);
}

TEST_F(OpenDeviceTest, AnSpiCodeStoresItsKindAndResetsTheWindowSize) {
  Bind("LxFixtureKit.dll");
  SetEnvironmentVariableA("LX_FIXTURE_KIT_DEVICE_CODE", "3003");
  g_app.m_Options.WindowSizeIndex = 5;
  Show();
  EXPECT_EQ(g_app.m_Options.DeviceKind, 2);
  EXPECT_EQ(g_app.m_Options.WindowSizeIndex, 0);
  std::string saved = lxtest::ReadFile(folder_ + "\\setup.ini");
  ASSERT_GT(saved.size(), 517u);
  EXPECT_EQ(saved[516], 2);  // the device kind byte of the stored record
  EXPECT_EQ(saved[517], 0);
}

TEST_F(OpenDeviceTest, NorEraseWalksEverySectorAndAConfirmationCanStopIt) {
  Bind("LxFixtureKit.dll");
  Show();
  g_steps.push_back(SelectVolumes(0x2));
  dialog_.OnEraseDevice();  // NOR kinds take this road although the button is for the Veltan kind
  EXPECT_EQ(Prompts().back(), "Erase finished.");
  EXPECT_EQ(Calls(22), 39u);  // eight boot blocks and 31 main blocks

  LxPromptTestBegin();
  g_app.m_Options.ConfirmOperations = 1;
  LxPromptQueueAnswer(IDNO);
  dialog_.OnEraseDevice();
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Are you sure?"});

  LxPromptTestBegin();
  LxPromptQueueAnswer(IDYES);
  LxPromptQueueAnswer(IDCANCEL);  // the volume's own question
  g_steps.push_back(SelectVolumes(0x1));
  dialog_.OnEraseDevice();
  EXPECT_EQ(Prompts().size(), 2u);
  EXPECT_EQ(Calls(22), 39u);

  LxPromptTestBegin();
  g_app.m_Options.ConfirmOperations = 0;
  g_steps.push_back(SelectVolumes(0x0));  // no volume ticked: nothing happens
  dialog_.OnEraseDevice();
  EXPECT_TRUE(Prompts().empty());
}

// The virtual device: mount, then format and low-level format a mounted volume, which is
// unmounted first so that the masks stay true.
TEST_F(OpenDeviceTest, VirtualDeviceMountFormatAndLowLevelFormat) {
  Bind("Pallix-VirtualDevice.dll");
  Show();
  ASSERT_EQ(lx::GetDeviceState(), lx::kDeviceOpen);
  EXPECT_EQ(g_app.m_Options.DeviceKind, 0);  // the virtual device names no device code

  // Before any low-level format there is no image: mount and format fail and say why, with
  // the image's full path and what makes it.
  const std::string reason = "\\User Data\\Pallix.img is missing or cannot be opened.\n"
                             "A low level format creates it: Device > Open Device... > Low level format...";
  struct FirstTry {
    int button;
    std::string failure;
  } firstTries[] = {{IDC_LX_MOUNT_VOLUME, "Mount volume /a failed.\nThe device image "},
                    {IDC_LX_FORMAT_VOLUME, "Format volume /a has failed.\nThe device image "}};
  for (const FirstTry& t : firstTries) {
    LxPromptTestBegin();
    g_steps.push_back(SelectVolumes(0x1));
    Press(t.button);
    ASSERT_FALSE(Prompts().empty());
    const std::string said = Prompts().back();
    EXPECT_EQ(said.rfind(t.failure, 0), 0u) << said;
    EXPECT_NE(said.find(":\\"), std::string::npos) << "a full path: " << said;
    EXPECT_EQ(said.size() - said.rfind(reason), reason.size()) << said;
  }
  EXPECT_EQ(lx::VolumeMountMask, 0u);

  // A fresh image has no size yet: the first layout makes it.
  g_steps.push_back(SelectVolumes(0x1));
  g_steps.push_back(LowLevelLayout("0x100000", "50331648", "low_level_format"));
  Press(IDC_LX_LOW_LEVEL_FORMAT);
  EXPECT_EQ(g_labels, (std::vector<std::string>{"Approximately 1024.0 KBytes", "Approximately 49152.0 KBytes"}));
  EXPECT_EQ(Prompts().back(), "Low level format finished.");
  g_steps.push_back(SelectVolumes(0x1));
  Press(IDC_LX_FORMAT_VOLUME);
  EXPECT_EQ(Prompts().back(), "Format finished.");

  LxPromptTestBegin();
  g_steps.push_back(SelectVolumes(0x1));
  Press(IDC_LX_MOUNT_VOLUME);
  EXPECT_TRUE(Prompts().empty()) << Prompts().front();
  EXPECT_EQ(lx::VolumeMountMask, 0x1u);
  EXPECT_EQ(lx::BdtlMountMask, 0x1u);
  EXPECT_EQ(lx::FrameDevice().FrameMountMask, 0x1u);
  EXPECT_EQ(Text(IDC_LX_MOUNT_VOLUME), "Unmount volume...");
  EXPECT_EQ(Text(IDC_LX_VOLUME_STATUS), "The volume is currently mounted.");
  LxSaveWindowShot(dialog_.m_hWnd, "open_device_virtual_mounted");

  // Formatting the mounted volume unmounts it from both masks first.
  g_steps.push_back(SelectVolumes(0x1));
  Press(IDC_LX_FORMAT_VOLUME);
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"WARNING: Some volume is mounted.",
                                                 "Format volume /a.\nThis operation will take several minutes.",
                                                 "Format finished."}));
  EXPECT_EQ(lx::VolumeMountMask | lx::BdtlMountMask, 0u);
  EXPECT_EQ(lx::FrameDevice().FrameMountMask, 0u);
  EXPECT_EQ(Text(IDC_LX_MOUNT_VOLUME), "Mount volume...");

  // And it mounts again afterwards, through the module (the mask was true).
  g_steps.push_back(SelectVolumes(0x1));
  Press(IDC_LX_MOUNT_VOLUME);
  EXPECT_EQ(lx::VolumeMountMask, 0x1u);

  // A layout past the end of the device is refused before anything is unmounted or written.
  LxPromptTestBegin();
  uint64_t before = Calls(6);
  g_steps.push_back(SelectVolumes(0x1));
  g_steps.push_back(LowLevelLayout("0x100000", "0xFFFFFFFF"));
  Press(IDC_LX_LOW_LEVEL_FORMAT);
  EXPECT_EQ(Prompts().back(),
            "Low level format /a has failed: offset 0x00100000 and length 0xFFFFFFFF do not lie inside the device.");
  EXPECT_EQ(Calls(6), before);
  EXPECT_EQ(lx::VolumeMountMask, 0x1u);

  // A fitting layout unmounts the volume, then rewrites it.
  g_steps.push_back(SelectVolumes(0x1));
  g_steps.push_back(LowLevelLayout("1048576", "0x2000000"));
  Press(IDC_LX_LOW_LEVEL_FORMAT);
  EXPECT_EQ(Prompts().back(), "Low level format finished.");
  EXPECT_EQ(Calls(6), before + 1);
  EXPECT_EQ(lx::VolumeMountMask | lx::BdtlMountMask, 0u);

  // Unmounting: the caption follows the mask after the loop.
  g_steps.push_back(SelectVolumes(0x1));
  Press(IDC_LX_FORMAT_VOLUME);
  g_steps.push_back(SelectVolumes(0x1));
  Press(IDC_LX_MOUNT_VOLUME);
  ASSERT_EQ(lx::VolumeMountMask, 0x1u);
  g_steps.push_back(SelectVolumes(0x3));  // b is not mounted: nothing to do for it
  Press(IDC_LX_MOUNT_VOLUME);
  EXPECT_EQ(lx::VolumeMountMask, 0u);
  EXPECT_EQ(Text(IDC_LX_MOUNT_VOLUME), "Mount volume...");
  EXPECT_EQ(Text(IDC_LX_VOLUME_STATUS), "The volume is currently not mounted.");
}

TEST_F(OpenDeviceTest, FormatFailureStopsBeforeLaterVolumes) {
  Bind("LxFixtureKit.dll");  // no gfslFormat: its stub fails
  Show();
  g_steps.push_back(SelectVolumes(0x3));
  Press(IDC_LX_FORMAT_VOLUME);
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"Format volume /a.\nThis operation will take several minutes.",
                                                 "gfslFormat is not supported.", "Format volume /a has failed."}));
}

}  // namespace
