// TarnRookUpdate's dialog as a real window under Wine and Xvfb, with TarnControl over the simulated
// kit: the whole re-flash (the simulator then holds the new controller firmware and FPGA rows, and
// the kit has re-enumerated), failures that must change nothing, no kit at all, closing during an
// update, and the event sink's edges. The images are made here for the simulated parts.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "kit_images.h"
#include "kitsim/kit_jtag.h"
#include "lumivex/procaddress.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "pass_through_tarn.h"
#include "resource.h"
#include "test_support.h"
#include "update_dlg.h"
#include "vme_asm.h"

namespace {

CWinApp g_app("TarnRookUpdate tests");

const char kGoodVme[] =
    "ENDDR IDLE\nENDIR IDLE\nSTATE IDLE\nSIR 8 TDI(01)\nSDR 32 TDI(0) TDO(1A6A50C3)\n"
    "SIR 8 TDI(20)\nSDR 8 DTDI(09)\nSIR 8 TDI(21)\nSDR 16 DTDI(0FF0)\nRUNTEST 200\n"
    "SIR 8 TDI(22)\nSDR 16 TDI(0) DTDO(0FF0)\nTCK 1500\nEND\n";
// The part answers another identity than the program expects before it programs anything.
const char kMismatchVme[] =
    "ENDDR IDLE\nENDIR IDLE\nSTATE IDLE\nSIR 8 TDI(01)\nSDR 32 TDI(0) TDO(12345678)\n"
    "SIR 8 TDI(20)\nSDR 8 DTDI(0A)\nSIR 8 TDI(21)\nSDR 16 DTDI(1234)\nRUNTEST 200\nEND\n";

std::vector<uint8_t> BootImage(uint8_t seed) {
  std::vector<uint8_t> code(2000);
  for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<uint8_t>(i * 7 + seed);
  return lxtest::MakeBootImage({{0x0000, code}});
}

void Write(const char* name, const std::vector<uint8_t>& bytes) {
  std::ofstream f(name, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

kitsim::KitJtagFeatures* Kit() {
  // The control loads the simulator too; loading it first only counts one more reference.
  static HMODULE sim = LoadLibraryA("LxKitSim.dll");
  auto fn = LxGetProc<void* (*)(int)>(sim, "LxKitSimJtag");
  return fn ? static_cast<kitsim::KitJtagFeatures*>(fn(0)) : nullptr;
}

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += c < 0x80 ? static_cast<char>(c) : '?';
  return s;
}

class TestDlg : public CTarnRookUpdateDlg {
 public:
  void Click(int id) { ::SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  std::string Log() const { return Narrow(LogText()); }
  bool Enabled(int id) const { return ::IsWindowEnabled(::GetDlgItem(m_hWnd, id)) != FALSE; }
  int BarPosition() const { return static_cast<int>(::SendDlgItemMessageA(m_hWnd, IDC_PROGRESS, PBM_GETPOS, 0, 0)); }
  // Runs "START UPDATE" and waits until the worker has finished too.
  void RunUpdate() {
    Click(IDC_START_UPDATE);
    for (int i = 0; i < 1200 && Updating(); ++i) {
      LxPumpMessages();
      Sleep(25);
    }
    LxPumpMessages();
  }
};

class TarnRookUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    LxPromptTestBegin();
    GetCurrentDirectoryA(MAX_PATH, previous_);
    std::string dir = std::string(LX_FWUPDATE_WORK);
    CreateDirectoryA(dir.c_str(), nullptr);
    dir += std::string("\\") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(dir.c_str(), nullptr);
    SetCurrentDirectoryA(dir.c_str());  // the updater names its images relative to it
    Write("Tarn_Rook.iic", BootImage(1));
    lxtest::VmeImages vme = lxtest::AssembleVme(kGoodVme, true);
    ASSERT_EQ(vme.error, "");
    Write("Tarn_Rook_ALGORITHM.vme", vme.algorithm);
    Write("Tarn_Rook_DATA.vme", vme.data);
  }
  void TearDown() override {
    SetCurrentDirectoryA(previous_);
    LxPromptTestEnd();
    CoUninitialize();
  }
  char previous_[MAX_PATH] = "";
};

TEST_F(TarnRookUpdate, ReflashesTheKitsControllerAndFpga) {
  TestDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_TARNROOKUPDATE_DIALOG));
  ASSERT_TRUE(Kit());
  uint32_t enumerations = Kit()->boot.Enumerations();
  dlg.RunUpdate();
  std::string log = dlg.Log();
  LxSaveWindowShot(dlg.m_hWnd, "tarnrookupdate_done");

  EXPECT_EQ(log.rfind("Disconnect...\r\nDisconnected Tarn\r\nSucceeded\r\nConnect...\r\nConnected Tarn\r\nSucceeded\r\n"
                      "GetFIRMWARE_ID: Succeeded (",
                      0),
            0u)
      << log;
  EXPECT_NE(log.find("TarnUSBBurn 'Tarn_Rook.iic'...\r\nDisconnected Tarn\r\nBegin Tarn USB Burn\r\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("Finish Tarn USB Burn\r\nSucceeded\r\nConnect...\r\nConnected Tarn\r\nSucceeded\r\nGetCPLD_ID: "
                     "Succeeded ("),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("TarnFPGABurn 'Tarn_Rook_ALGORITHM.vme', 'Tarn_Rook_DATA.vme'...\r\nDisconnected Tarn\r\n"
                     "Begin Tarn FPGA Burn\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("TarnFPGABurn : 100 %\r\nFinish Tarn FPGA Burn\r\nSucceeded\r\nDisconnect...\r\n"), std::string::npos)
      << log;
  EXPECT_EQ(Prompts(), (std::vector<std::string>{
                           "Please DO NOT UNPLUG Tarn-Rook USB CABLE while processing a firmware update.",
                           "Update has been completed successfully. Please unplug Tarn-Rook USB cable."}));
  // Five steps before the FPGA burn, then one per progress event of the burn.
  size_t progressEvents = 0;
  for (size_t p = log.find("TarnFPGABurn : "); p != std::string::npos; p = log.find("TarnFPGABurn : ", p + 1))
    ++progressEvents;
  EXPECT_GE(progressEvents, 1u);
  EXPECT_EQ(dlg.ProgressCounter(), 5 + static_cast<int>(progressEvents));
  EXPECT_EQ(dlg.BarPosition(), dlg.ProgressCounter());
  EXPECT_TRUE(dlg.Enabled(IDOK));
  EXPECT_TRUE(dlg.Enabled(IDC_START_UPDATE));

  std::vector<uint8_t> image = BootImage(1);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), Kit()->boot.Eeprom().begin()));
  EXPECT_TRUE(Kit()->boot.BootedFromEeprom());
  EXPECT_GT(Kit()->boot.Enumerations(), enumerations);  // the kit came back with its new firmware
  EXPECT_EQ(Kit()->fpga.Row(9), 0x0FF0u);
  EXPECT_FALSE(Kit()->engine.Active());
  dlg.DestroyWindow();
}

TEST_F(TarnRookUpdate, FailuresChangeNothing) {
  struct Case {
    const char* what;
    std::function<void()> prepare;
    bool usbFails;  // else the FPGA step fails
    bool fakeUsbSuccess;
    const char* said = nullptr;  // in the log: why the file was refused
  };
  lxtest::VmeImages mismatch = lxtest::AssembleVme(kMismatchVme, true);
  ASSERT_EQ(mismatch.error, "");
  lxtest::VmeImages good = lxtest::AssembleVme(kGoodVme, true);
  ASSERT_EQ(good.error, "");
  auto cutAlgorithm = [&good](size_t percent) {
    return [&good, percent] {
      Write("Tarn_Rook_ALGORITHM.vme", std::vector<uint8_t>(good.algorithm.begin(),
                                                             good.algorithm.begin() + static_cast<std::ptrdiff_t>(
                                                                                          good.algorithm.size() * percent / 100)));
    };
  };
  auto controller = [](std::vector<uint8_t> bytes) { return [bytes] { Write("Tarn_Rook.iic", bytes); }; };
  std::vector<uint8_t> first13 = BootImage(4);
  first13.resize(13);
  std::vector<uint8_t> notC2 = BootImage(4);
  notC2[0] = 0xC0;
  std::vector<uint8_t> code(3000, 0x5A);
  std::vector<uint8_t> twoRecords = lxtest::MakeBootImage({{0x0000, code}, {0x2000, code}});
  const Case cases[] = {
      {"truncated controller image", [] { std::vector<uint8_t> b = BootImage(2); b.resize(b.size() - 100); Write("Tarn_Rook.iic", b); },
       true, false},
      {"missing controller image", [] { DeleteFileA("Tarn_Rook.iic"); }, true, false},
      {"a burn that answers S_OK without a kit", [] { Write("Tarn_Rook.iic", BootImage(3)); }, true, true},
      {"FPGA read-back mismatch",
       [&] {
         Write("Tarn_Rook_ALGORITHM.vme", mismatch.algorithm);
         Write("Tarn_Rook_DATA.vme", mismatch.data);
       },
       false, false},
      {"missing FPGA data", [] { DeleteFileA("Tarn_Rook_DATA.vme"); }, false, false},
      // Files that are not what they are named: refused before anything goes to the kit.
      {"a 1-byte controller image", controller({0xC2}), true, false, "The USB controller image is refused (image is truncated)"},
      {"9 zero bytes", controller(std::vector<uint8_t>(9, 0)), true, false, "image is truncated"},
      {"a header whose first byte is not 0xC2", controller(notC2), true, false, "first byte 0xC2"},
      {"the first 13 bytes of a good image", controller(first13), true, false, "does not end with the record"},
      // The kit takes the image's first record and stalls at its second: the EEPROM is written last.
      {"a RAM load the kit refuses",
       [&] {
         Write("Tarn_Rook.iic", twoRecords);
         Kit()->boot.StallRamLoadsAt(0x2000);
       },
       true, false},
      {"FPGA algorithm cut at 30%", cutAlgorithm(30), false, false, "The FPGA image is refused (the algorithm file is cut short"},
      {"FPGA algorithm cut at 60%", cutAlgorithm(60), false, false, "The FPGA image is refused (the algorithm file is cut short"},
      {"FPGA data cut in half",
       [&] {
         Write("Tarn_Rook_DATA.vme",
               std::vector<uint8_t>(good.data.begin(), good.data.begin() + static_cast<std::ptrdiff_t>(good.data.size() / 2)));
       },
       false, false, "The FPGA image is refused (the data file is cut short"},
  };
  for (const Case& c : cases) {
    SetUp();
    c.prepare();
    TestDlg dlg;
    if (c.fakeUsbSuccess) {
      ITarn* real = nullptr;
      ASSERT_EQ(CoCreateInstance(CLSID_Tarn, nullptr, CLSCTX_INPROC_SERVER, IID_ITarn, reinterpret_cast<void**>(&real)),
                S_OK);
      auto* fake = new PassThroughTarn(real);
      real->Release();
      fake->usbBurn = [](VARIANT*) { return S_OK; };  // no kit to load into: nothing fired, nothing done
      dlg.m_pTarn = fake;
    }
    ASSERT_TRUE(dlg.Create(IDD_TARNROOKUPDATE_DIALOG)) << c.what;
    ASSERT_TRUE(Kit()) << c.what;
    Kit()->fpga.SetRow(9, 0xFFFFFFFFu);  // erased: a row the program reached would show
    std::vector<uint8_t> eeprom = Kit()->boot.Eeprom();
    uint32_t rows[16];
    for (int r = 0; r < 16; ++r) rows[r] = Kit()->fpga.Row(r);
    uint32_t jobs = Kit()->engine.Jobs();
    dlg.RunUpdate();
    Kit()->boot.StallRamLoadsAt(-1);
    std::string log = dlg.Log();
    if (c.said) {
      EXPECT_NE(log.find(c.said), std::string::npos) << c.what << "\n" << log;
      if (!c.usbFails) {
        EXPECT_EQ(Kit()->engine.Jobs(), jobs) << c.what << ": the JTAG job never began";
      }
    }
    std::vector<std::string> prompts = Prompts();
    ASSERT_EQ(prompts.size(), 2u) << c.what << "\n" << log;
    if (c.usbFails) {
      EXPECT_EQ(prompts[1], "Failed to update Tarn-Rook USB firmware") << c.what;
      EXPECT_NE(log.find("Failed to update USB firmaware\r\nDisconnect...\r\n"), std::string::npos) << c.what << "\n"
                                                                                                   << log;
      EXPECT_EQ(log.find("GetCPLD_ID"), std::string::npos) << c.what;
      EXPECT_EQ(Kit()->boot.Eeprom(), eeprom) << c.what;
    } else {
      EXPECT_EQ(prompts[1], "Failed to update Tarn-Rook FPGA firmware") << c.what;
      EXPECT_NE(log.find("Failed to update FPGA firmaware\r\nDisconnect...\r\n"), std::string::npos) << c.what << "\n"
                                                                                                    << log;
    }
    for (int r = 0; r < 16; ++r) EXPECT_EQ(Kit()->fpga.Row(r), rows[r]) << c.what << " row " << r;
    EXPECT_EQ(log.find("Update has been completed"), std::string::npos) << c.what;
    EXPECT_TRUE(dlg.Enabled(IDC_START_UPDATE)) << c.what;
    EXPECT_FALSE(Kit()->engine.Active()) << c.what;
    dlg.DestroyWindow();
  }
}

// Controller images with records in the scratch RAM, one of them running on past it as the
// controller maker's converter writes them: the host and the kit take both, and the kit keeps
// the bytes that land in its RAM.
TEST_F(TarnRookUpdate, ReflashesImagesWithScratchRecords) {
  std::vector<uint8_t> scratch(0x200);
  for (size_t i = 0; i < scratch.size(); ++i) scratch[i] = static_cast<uint8_t>(0xA5 ^ i);
  std::vector<uint8_t> code(1500, 0x3C);
  lxtest::LongRecordBoot longRecord = lxtest::MakeLongRecordBoot();
  struct Case {
    const char* what;
    std::vector<uint8_t> image, scratch;
  } cases[] = {
      {"the whole scratch RAM", lxtest::MakeBootImage({{0x0000, code}, {0xE000, scratch}}), scratch},
      {"a record past the scratch RAM", longRecord.image, longRecord.scratch},
  };
  for (const Case& c : cases) {
    SetUp();
    Write("Tarn_Rook.iic", c.image);
    TestDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_TARNROOKUPDATE_DIALOG)) << c.what;
    ASSERT_TRUE(Kit()) << c.what;
    dlg.RunUpdate();
    EXPECT_EQ(Prompts().back(), "Update has been completed successfully. Please unplug Tarn-Rook USB cable.")
        << c.what << "\n" << dlg.Log();
    EXPECT_TRUE(std::equal(c.image.begin(), c.image.end(), Kit()->boot.Eeprom().begin())) << c.what;
    EXPECT_TRUE(Kit()->boot.BootedFromEeprom()) << c.what;
    EXPECT_EQ(Kit()->boot.Scratch(), c.scratch) << c.what;
    dlg.DestroyWindow();
  }
}

TEST_F(TarnRookUpdate, ClosingIsRefusedWhileAnUpdateRuns) {
  TestDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_TARNROOKUPDATE_DIALOG));
  // Handled while the update waits for the kit to come back: the window must stay.
  ::PostMessageA(dlg.m_hWnd, WM_CLOSE, 0, 0);
  ::PostMessageA(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  ::PostMessageA(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  dlg.RunUpdate();
  std::vector<std::string> prompts = Prompts();
  ASSERT_EQ(prompts.size(), 5u);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(prompts[i], "Please wait until the update is completed.");
  EXPECT_TRUE(IsWindowVisible(dlg.m_hWnd));
  EXPECT_NE(dlg.Log().find("Finish Tarn FPGA Burn\r\nSucceeded\r\n"), std::string::npos) << dlg.Log();
  dlg.Click(IDOK);  // after the update it closes
  EXPECT_FALSE(IsWindowVisible(dlg.m_hWnd));
  dlg.DestroyWindow();
}

TEST_F(TarnRookUpdate, TheSinkShowsWhatItShouldAndKeepsWhatIsNotItsOwn) {
  TestDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_TARNROOKUPDATE_DIALOG));
  ITarnEvents* sink = &dlg;
  std::string before = dlg.Log();
  sink->OnTarnEvent(static_cast<TarnEvent_t>(17), 5);
  sink->OnTarnEvent(static_cast<TarnEvent_t>(99), 5);
  sink->OnTarnError(static_cast<TarnErrorCause_t>(2));
  EXPECT_EQ(dlg.Log(), before);
  sink->OnTarnEvent(TarnEvent_OnProgressTarnUSBBurn, 42);
  sink->OnTarnError(TarnErrorCause_FileNotFound);

  // A message far longer than a line buffer of 256 characters comes whole.
  std::wstring longText(600, L'x');
  longText += L"END";
  BSTR message = SysAllocString(longText.c_str());
  sink->OnTarnMessage(message);
  // The string is still the caller's: had the sink freed it, the next one of its size would
  // take its place.
  BSTR next = SysAllocString(longText.c_str());
  EXPECT_NE(next, message);
  EXPECT_EQ(std::wstring(message, SysStringLen(message)), longText);
  SysFreeString(next);
  SysFreeString(message);
  EXPECT_EQ(dlg.Log(), before + "TarnUSBBurn : 42 %\r\nError : File not found.\r\n" + Narrow(longText) + "\r\n");

  void* object = nullptr;
  EXPECT_EQ(sink->QueryInterface(IID_ITarnEvents, &object), S_OK);
  EXPECT_EQ(object, static_cast<void*>(sink));
  EXPECT_EQ(sink->QueryInterface(IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  for (int i = 0; i < 10; ++i) sink->Release();
  EXPECT_EQ(sink->AddRef(), 1u);  // never below 0
  LxSaveWindowShot(dlg.m_hWnd, "tarnrookupdate_log");
  dlg.DestroyWindow();
}

// Run with no kit on the bus (LX_KITSIM=0).
TEST_F(TarnRookUpdate, NoKitFailsAtConnect) {
  TestDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_TARNROOKUPDATE_DIALOG));
  dlg.RunUpdate();
  EXPECT_EQ(Prompts(), (std::vector<std::string>{
                           "Please DO NOT UNPLUG Tarn-Rook USB CABLE while processing a firmware update.",
                           "Failed to connect Tarn-Rook"}));
  EXPECT_NE(dlg.Log().find("Connect...\r\nFailed to connect\r\n"), std::string::npos) << dlg.Log();
  EXPECT_EQ(dlg.Log().find("TarnUSBBurn"), std::string::npos);
  EXPECT_EQ(dlg.ProgressCounter(), 2);
  EXPECT_TRUE(dlg.Enabled(IDC_START_UPDATE));
  dlg.DestroyWindow();
}

// TarnRookUpdate.exe itself, as a user runs it, in the folder with the images: started as a program
// with a simulated kit of its own, "START UPDATE" pressed, the log read from the window, "Close"
// pressed.
TEST_F(TarnRookUpdate, TheProgramReflashesAndEndsOnClose) {
  char prompts[MAX_PATH];
  if (!GetEnvironmentVariableA("LX_PROMPT_LOG", prompts, MAX_PATH))  // its boxes answered, never shown
    SetEnvironmentVariableA("LX_PROMPT_LOG", "prompts.log");
  // The program's kits are not this test's: serials of their own, inside this run's block.
  char ownSerial[32] = "";
  GetEnvironmentVariableA("LX_KITSIM_SERIAL", ownSerial, sizeof ownSerial);
  char programSerial[32];
  std::snprintf(programSerial, sizeof programSerial, "%08lX",
                static_cast<unsigned long>(std::strtoul(ownSerial, nullptr, 16) + 0x80));
  SetEnvironmentVariableA("LX_KITSIM_SERIAL", programSerial);
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string command = exe;
  command = "\"" + command.substr(0, command.rfind('\\') + 1) + "TarnRookUpdate.exe\"";
  HANDLE process = LxStartProgram(command.c_str());
  ASSERT_TRUE(process);
  HWND window = LxWaitForWindow(process, "#32770", "Tarn-Rook Firmware Update V1.0", 20000);
  if (!window) LxWaitForExit(process, 0);  // never leave it running
  ASSERT_TRUE(window);
  ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_START_UPDATE, BN_CLICKED), 0);
  std::string log;
  for (int i = 0; i < 1200; ++i) {
    Sleep(50);
    log = LxControlText(GetDlgItem(window, IDC_LOG));
    if (log.find("Disconnect...", log.find("Finish Tarn FPGA Burn")) != std::string::npos &&
        IsWindowEnabled(GetDlgItem(window, IDC_START_UPDATE)))
      break;
  }
  EXPECT_NE(log.find("Finish Tarn USB Burn\r\nSucceeded\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Finish Tarn FPGA Burn\r\nSucceeded\r\nDisconnect...\r\n"), std::string::npos) << log;
  ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(LxWaitForExit(process, 30000), 0u);
  SetEnvironmentVariableA("LX_KITSIM_SERIAL", *ownSerial ? ownSerial : nullptr);
}

}  // namespace
