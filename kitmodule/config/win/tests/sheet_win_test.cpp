// Tarn-Rook's configuration sheet under Wine and Xvfb, as a user meets it: gfslInit shows the sheet on
// the calling thread; a second thread plays the user (picks a family and a part, visits the pages, the
// chip-select map and the power control, presses OK or Cancel) and the open that follows runs against
// the simulated kit, with the chip model made from the same catalogue row as judge.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "catalogue_sim.h"
#include "kit_images.h"
#include "kitsim/kit.h"
#include "kitsim/noting_serial.h"
#include "kitsim/spi_chip.h"
#include "rook_api.h"
#include "lumivex/testkit.h"
#include "sheet_resource.h"
#include "test_support.h"

namespace {

std::string& BinFolder() {
    static std::string folder;
    return folder;
}

RookApi& Rook() {
    static RookApi api = [] {
        char cwd[MAX_PATH];
        GetCurrentDirectoryA(sizeof cwd, cwd);
        BinFolder() = cwd;
        return BindRook((BinFolder() + "\\Tarn-Rook.dll").c_str());
    }();
    return api;
}

kitsim::Kit* SimKit() {
    auto get = SimExport<void* (*)(int)>("LxKitSimKit");
    return get ? static_cast<kitsim::Kit*>(get(0)) : nullptr;
}

// Pulls (true) or plugs back the simulated kit's cable.
void Unplug(bool pulled) {
    auto f = SimExport<int (*)(int, int)>("LxKitSimUnplug");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f(0, pulled ? 1 : 0), 0);
}

using kitsim::NotingSerialDevice;

const rook::NorCatalogueRow* Row(const char* name) {
    for (const rook::NorCatalogueRow& r : rook::NorCatalogue())
        if (std::strcmp(r.name, name) == 0) return &r;
    return nullptr;
}

std::string RegistryPath(const char* key) {
    char value[1024] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, key, "Full Path", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return "";
    return value;
}

void SetRegistryPath(const char* key, const std::string& value) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
    RegSetValueExA(k, "Full Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
    RegCloseKey(k);
}

using lxtest::ReadFile;

// ----- playing the user, from the second thread -------------------------------------------------

HWND WaitTop(const char* caption, DWORD ms = 20000) {
    HWND w = LxWaitForWindow(GetCurrentProcess(), "#32770", caption, ms);
    if (w) Sleep(200);  // let it paint
    return w;
}

bool WaitGone(HWND hwnd, DWORD ms = 20000) {
    for (DWORD waited = 0; waited < ms; waited += 50) {
        if (!IsWindow(hwnd) || !IsWindowVisible(hwnd)) return true;
        Sleep(50);
    }
    return false;
}

HWND Page(HWND sheet, int index) {
    SendMessageA(sheet, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
    Sleep(150);
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

std::string ComboText(HWND page, int id) {
    HWND combo = GetDlgItem(page, id);
    int i = static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
    if (i < 0) return "";
    char text[256] = "";
    SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    return text;
}

int ComboCount(HWND page, int id) { return static_cast<int>(SendMessageA(GetDlgItem(page, id), CB_GETCOUNT, 0, 0)); }

// Picks the entry as a user does: the selection changes and the page hears of it.
bool Choose(HWND page, int id, const char* text) {
    HWND combo = GetDlgItem(page, id);
    LRESULT i = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
    if (i == CB_ERR) return false;
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    return true;
}

void Click(HWND page, int id) { SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, id))); }
// For a button whose answer is a modal window: the click must not wait for it.
void ClickLater(HWND page, int id) { PostMessageA(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, id))); }
void Press(HWND page, int id) {
    SendMessageA(GetDlgItem(page, id), BM_SETCHECK, BST_CHECKED, 0);
    Click(page, id);
}
bool Checked(HWND page, int id) { return SendMessageA(GetDlgItem(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }
std::string Text(HWND page, int id) {
    char text[256] = "";
    GetWindowTextA(GetDlgItem(page, id), text, sizeof text);
    return text;
}
void Type(HWND page, int id, const char* text) { SetWindowTextA(GetDlgItem(page, id), text); }
// The window as it stands once its thread has painted it.
void Shot(HWND window, const char* name) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(400);
    LxSaveWindowShot(window, name);
}

const char* kSheetCaption = "Tarn-Rook : 1. 6. 28. 4";

// An SPI chip without error bits and with CFI in its ID answer, in the kit's serial socket while it lives.
struct SpiChipInSocket {
    static kitsim::SpiPart Part(const std::vector<uint8_t>& id) {
        kitsim::SpiPart part = kitsim::MarroSpiPart();
        part.id = id;
        part.cfiInId = true;
        part.sfdp = false;
        return part;
    }
    SpiChipInSocket(kitsim::Kit* k, const std::vector<uint8_t>& id) : kit(k), chip(Part(id), k->Clock()) {
        kit->AttachSerial(0, &chip);
    }
    ~SpiChipInSocket() { kit->AttachSerial(0, nullptr); }
    kitsim::Kit* kit;
    kitsim::SpiChip chip;
};

class RookSheet : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Rook().module, nullptr) << GetLastError();
        Rook().fpCreateFunctionProfiler();
        SetEnvironmentVariableA("LX_TARNROOK_PRESET", nullptr);
        _putenv("LX_TARNROOK_PRESET=");
        // Each test in a folder of its own: "Tarn-Rook.ini" lies in the working folder, the user devices
        // below the user area.
        folder_ = BinFolder() + "\\sheet_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(folder_.c_str(), nullptr);
        DeleteFileA((folder_ + "\\Tarn-Rook.ini").c_str());
        CreateDirectoryA((folder_ + "\\User Data").c_str(), nullptr);
        DeleteFileA((folder_ + "\\User Data\\Rook User Devices.txt").c_str());
        ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
        // An installation folder of its own with the FPGA image every kit start loads (the sheet leaves
        // the load on); the one other tests use is put back afterwards.
        mainApp_ = RegistryPath("Software\\Keldorn\\Lumivex\\Main App");
        const std::string install = BinFolder() + "\\sheet_install";
        CreateDirectoryA(install.c_str(), nullptr);
        CreateDirectoryA((install + "\\External FS Module").c_str(), nullptr);
        {
            std::vector<uint8_t> payload(1500);
            for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i);
            std::vector<uint8_t> image = lxtest::MakeOnTheFly(payload, "2.0.0", true);
            std::ofstream(install + "\\External FS Module\\Tarn_Rook.cpu", std::ios::binary)
                .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        }
        SetRegistryPath("Software\\Keldorn\\Lumivex\\Main App", install);
        SetRegistryPath("Software\\Keldorn\\Lumivex\\User Area", folder_);
        const char* log = std::getenv("LX_PROMPT_LOG");
        promptLog_ = log ? log : "";
        if (promptLog_.size() > 2 && promptLog_[1] == ':' && promptLog_[0] == 'Z') promptLog_ = "Z:" + promptLog_.substr(2);
        DeleteFileA(promptLog_.c_str());
        kit_ = SimKit();
        ASSERT_NE(kit_, nullptr);
    }
    void TearDown() override {
        Rook().gfslInit(1);
        SetCurrentDirectoryA(BinFolder().c_str());
        if (!mainApp_.empty()) SetRegistryPath("Software\\Keldorn\\Lumivex\\Main App", mainApp_);
    }
    // Runs the open on this thread while `user` plays the sheet from another.
    int OpenWith(const std::function<void()>& user) {
        std::atomic<bool> done{false};
        std::thread t([&user, &done] {
            struct Done {
                std::atomic<bool>& d;
                ~Done() { d = true; }
            } mark{done};
            user();
            // A user that stopped half-way (a failed expectation) must not leave the open waiting forever.
            for (int i = 0; i < 100; ++i) {
                HWND sheet = LxWaitForWindow(GetCurrentProcess(), "#32770", kSheetCaption, 0);
                if (!sheet) return;
                if (i == 60) PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                Sleep(100);
            }
        });
        int r = Rook().gfslInit(0);
        // The user's thread may still talk to windows of this one.
        while (!done) {
            LxPumpMessages();
            Sleep(20);
        }
        t.join();
        return r;
    }
    // Opens the 16 MiB SPI part "Mine" of a user list that holds only it, with the ID as typed, as a
    // user picks it on the user page; `played` says the user got that far.
    int OpenUserSpiDevice(const std::string& typedId, bool& played) {
        std::ofstream(folder_ + "\\User Data\\Rook User Devices.txt", std::ios::binary)
            << "# Rook User Devices\n# header\n# header\n# header\n"
               "SPI,Corvo,Mine," << typedId << ",16MB (128Mbit),SPI,8bit,x1,ADP,PISMO1,SIO,\n";
        played = false;
        return OpenWith([&] {
            HWND sheet = WaitTop(kSheetCaption);
            ASSERT_NE(sheet, nullptr);
            HWND user = Page(sheet, 2);
            ASSERT_TRUE(Choose(user, IDC_UD_TYPE, "SPI"));
            ASSERT_TRUE(Choose(user, IDC_UD_DEVICES, "Mine"));
            played = true;
            PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        });
    }
    std::string Prompts() { return ReadFile(promptLog_); }
    std::string Ini() { return ReadFile(folder_ + "\\Tarn-Rook.ini"); }

    std::string folder_, promptLog_, mainApp_;
    kitsim::Kit* kit_ = nullptr;
};

}  // namespace

TEST_F(RookSheet, PicksACataloguePartAndOpensItAgainstItsModel) {
    const rook::NorCatalogueRow* row = Row("TE064CTI");
    ASSERT_NE(row, nullptr);
    rook::CataloguePart part(*row, *kit_);
    bool played = false;
    int result = OpenWith([&] {
        HWND sheet = WaitTop(kSheetCaption);
        ASSERT_NE(sheet, nullptr);
        HWND page = Page(sheet, 0);
        // With no file: NOR, its first family and part, the PISMO1 socket at 1800 mV.
        EXPECT_TRUE(Checked(page, IDC_TYPE_NOR));
        EXPECT_EQ(ComboCount(page, IDC_GROUP), 10);
        EXPECT_EQ(ComboText(page, IDC_GROUP), "Oska");
        EXPECT_EQ(ComboCount(page, IDC_NAME), 58);
        EXPECT_TRUE(Checked(page, IDC_PISMO));
        EXPECT_EQ(Text(page, IDC_VCC), "1800");
        EXPECT_FALSE(Enabled(page, IDC_POWER_CONTROL));
        EXPECT_FALSE(GetDlgItem(sheet, 0x3021) && IsWindowVisible(GetDlgItem(sheet, 0x3021))) << "no Apply button";
        Shot(sheet, "rook_sheet_predefined_start");

        ASSERT_TRUE(Choose(page, IDC_GROUP, "Tesk"));
        EXPECT_EQ(ComboCount(page, IDC_NAME), 21);
        ASSERT_TRUE(Choose(page, IDC_NAME, "TE064CTI"));
        // The part decides the bus, chip select and interface; the interleave is left to the user.
        EXPECT_TRUE(Checked(page, IDC_BUS_X16));
        EXPECT_FALSE(Enabled(page, IDC_BUS_X8));
        EXPECT_FALSE(Enabled(page, IDC_BUS_X32));
        EXPECT_TRUE(Checked(page, IDC_CS0));
        EXPECT_FALSE(Enabled(page, IDC_CS1));
        EXPECT_TRUE(Checked(page, IDC_ADP));
        EXPECT_FALSE(Enabled(page, IDC_ADM));
        EXPECT_TRUE(Checked(page, IDC_IL_X1));
        EXPECT_TRUE(Enabled(page, IDC_IL_X2));
        EXPECT_FALSE(Enabled(page, IDC_IL_X4));
        EXPECT_FALSE(Enabled(page, IDC_SPI_GROUPBOX));
        EXPECT_NE(Ini().find("NOR Device Group = Tesk"), std::string::npos) << Ini();
        EXPECT_NE(Ini().find("NOR Device Name = TE064CTI"), std::string::npos);
        Shot(sheet, "rook_sheet_predefined_part");

        HWND operation = Page(sheet, 1);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, IDOK))) << "OK is greyed on Operation Setup";
        EXPECT_EQ(ComboText(operation, IDC_PROGRAM_TIMEOUT), "Infinite");
        EXPECT_EQ(ComboText(operation, IDC_WRITE_BUFFER), "Default");
        EXPECT_FALSE(Enabled(operation, IDC_CFI_FIRST));
        Shot(sheet, "rook_sheet_operation_setup");
        Page(sheet, 2);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, IDOK)));
        Shot(sheet, "rook_sheet_user_devices");
        page = Page(sheet, 0);

        // The chip-select map: modal over the page, its eight lists from the file.
        ClickLater(page, IDC_CS_SETTING);
        HWND map = WaitTop("CS# Mapping Dialog Box");
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(ComboText(map, IDC_CS_POSITION0), "N/A");
        EXPECT_EQ(ComboCount(map, IDC_CS_SIZE0), 13);
        Shot(map, "rook_cs_mapping");
        PostMessageA(map, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitGone(map));
        Sleep(100);
        EXPECT_FALSE(Enabled(page, IDC_CS0));
        EXPECT_NE(Ini().find("CS0 Position ="), std::string::npos);

        // The Wend socket opens the supply controls and the power control dialog, which reaches the kit.
        Press(page, IDC_WEND);
        EXPECT_TRUE(Enabled(page, IDC_POWER_CONTROL));
        EXPECT_TRUE(Enabled(page, IDC_VCC));
        Press(page, IDC_V33);
        EXPECT_EQ(Text(page, IDC_VCC), "3300");
        Click(page, IDC_POWER_CONTROL);
        HWND power = WaitTop("Power Control");
        ASSERT_NE(power, nullptr);
        EXPECT_EQ(Text(power, IDC_PWR_VCC), "3300");
        EXPECT_EQ(Text(power, IDC_PWR_TOGGLE), "Power off");
        Click(power, IDC_PWR_TOGGLE);
        EXPECT_EQ(Text(power, IDC_PWR_TOGGLE), "Power on");
        EXPECT_EQ(kit_->Register(12) & 0x08, 0) << "the socket's supply is off";
        EXPECT_EQ(Text(power, IDC_PWR_KIT), "Connected to the kit.");
        Shot(power, "rook_power_control");
        Click(power, IDC_PWR_TOGGLE);
        EXPECT_EQ(Text(power, IDC_PWR_TOGGLE), "Power off");
        EXPECT_EQ(kit_->Register(12) & 0x08, 0x08);
        // "Set" sends nothing outside 1200..3500.
        const uint32_t step = kit_->VoltageStep();
        Type(power, IDC_PWR_VCC, "3600");
        Click(power, IDC_PWR_SET);
        EXPECT_EQ(kit_->VoltageStep(), step);
        Type(power, IDC_PWR_VCC, "2500");
        Click(power, IDC_PWR_SET);
        EXPECT_NE(kit_->VoltageStep(), step);
        PostMessageA(power, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitGone(power));

        Press(page, IDC_PISMO);
        EXPECT_FALSE(Enabled(page, IDC_POWER_CONTROL));
        played = true;
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    ASSERT_TRUE(played);
    ASSERT_EQ(result, 0) << Prompts();
    EXPECT_EQ(Rook().gfslInit(3), 9);
    char text[512] = "";
    Rook().gfslGetDeviceTextInfo("/a", text);
    char id[32];
    std::snprintf(id, sizeof id, "[JEDEC ID:%06X]", row->id);
    EXPECT_EQ(std::string(text).rfind(id, 0), 0u) << text;
    EXPECT_NE(std::string(text).find("-Chip Size: 8388608 Bytes"), std::string::npos) << text;
    EXPECT_EQ(Rook().gfslGetNumberOfBytesPerDevice("/a"), 8ull << 20);
    // Top boot: 127 blocks of 64 KiB, then eight of 8 KiB, as the model has them.
    EXPECT_EQ(Rook().gfslNORGetBlockSize("/a", 0), 64u * 1024);
    EXPECT_EQ(Rook().gfslNORGetBlockSize("/a", 127), 8u * 1024);
    EXPECT_EQ(Rook().gfslNORGetBlockSize("/a", 134), 8u * 1024);
    EXPECT_LT(static_cast<int32_t>(Rook().gfslNORGetBlockSize("/a", 135)), 1);
    const uint8_t data[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    const uint32_t last = (8u << 20) - 8u * 1024;
    ASSERT_EQ(Rook().gfslNOREraseBlock(0, 134), 0);
    ASSERT_EQ(Rook().gfslNORProgramRawData(0, last, 4, data), 0);
    EXPECT_EQ(0, std::memcmp(part.Die(0).Array().data() + last, data, 4));
    EXPECT_EQ(Prompts().find("Configuration"), std::string::npos) << Prompts();
}

TEST_F(RookSheet, CancelSaysSoAndOpensNothing) {
    int result = OpenWith([&] {
        HWND sheet = WaitTop(kSheetCaption);
        ASSERT_NE(sheet, nullptr);
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    EXPECT_EQ(result, -1);
    EXPECT_NE(Prompts().find("Configuration Dialog canceled. Please exit."), std::string::npos) << Prompts();
    EXPECT_EQ(Rook().gfslInit(2), 1);
}

// What Operation Setup holds reaches the open device: the user's CFI replaces the chip's geometry, and
// the data swap changes what a raw program writes. A CFI the record cannot hold keeps the sheet open.
TEST_F(RookSheet, OperationSetupReachesTheModule) {
    const rook::NorCatalogueRow* row = Row("OS064NUI");
    ASSERT_NE(row, nullptr);
    rook::CataloguePart part(*row, *kit_);
    bool refusedOnce = false;
    int result = OpenWith([&] {
        HWND sheet = WaitTop(kSheetCaption);
        ASSERT_NE(sheet, nullptr);
        HWND page = Page(sheet, 0);
        ASSERT_TRUE(Choose(page, IDC_NAME, "OS064NUI"));
        HWND operation = Page(sheet, 1);
        ASSERT_TRUE(Choose(operation, IDC_DATA_SWAP, "2-Byte Swap"));
        ASSERT_TRUE(Choose(operation, IDC_PROGRAM_TIMEOUT, "10000"));
        Press(operation, IDC_USER_CFI);
        EXPECT_TRUE(Enabled(operation, IDC_CFI_FIRST));
        EXPECT_EQ(Text(operation, IDC_CFI_FIRST), "0x");
        const char* cfi[9] = {"2", "40", "5", "1", "0x0200003f", "0", "0", "0", "0"};
        for (int i = 0; i < 9; ++i) Type(operation, IDC_CFI_FIRST + i, cfi[i]);
        Shot(sheet, "rook_sheet_operation_user_cfi");
        Page(sheet, 0);
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        Sleep(1500);
        // 2^40 bytes cannot be a device size: the page says so and the sheet stays.
        refusedOnce = IsWindow(sheet) && IsWindowVisible(sheet);
        operation = Page(sheet, 1);
        Type(operation, IDC_CFI_FIRST + 1, "0x17");
        Page(sheet, 0);
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    EXPECT_TRUE(refusedOnce);
    EXPECT_NE(Prompts().find("Device Size \"40\" is out of range"), std::string::npos) << Prompts();
    ASSERT_EQ(result, 0) << Prompts();
    // The user's regions: 64 blocks of 128 KiB where the chip has 128 of 64 KiB.
    EXPECT_EQ(Rook().gfslNORGetBlockSize("/a", 0), 128u * 1024);
    EXPECT_EQ(Rook().gfslNORGetBlockSize("/a", 63), 128u * 1024);
    EXPECT_LT(static_cast<int32_t>(Rook().gfslNORGetBlockSize("/a", 64)), 1);
    EXPECT_EQ(Rook().gfslGetNumberOfBytesPerDevice("/a"), 8ull << 20);
    const uint8_t data[4] = {0x01, 0x02, 0x03, 0x04};
    ASSERT_EQ(Rook().gfslNOREraseBlock(0, 1), 0);
    ASSERT_EQ(Rook().gfslNORProgramRawData(0, 128 * 1024, 4, data), 0);
    const uint8_t swapped[4] = {0x02, 0x01, 0x04, 0x03};
    EXPECT_EQ(0, std::memcmp(part.Die(0).Array().data() + 128 * 1024, swapped, 4));
    const std::string ini = Ini();
    EXPECT_NE(ini.find("Data Swap = 2"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Programming Timeout = 10000"), std::string::npos) << ini;
    EXPECT_NE(ini.find("User CFI = 1"), std::string::npos);
    EXPECT_NE(ini.find("Device Size Bytes = 0x17"), std::string::npos);
}

// A user device defined on the third page, saved into the list and opened; a list with a bad line says
// which line it did not take and keeps the rest.
TEST_F(RookSheet, UserDeviceDefinedSavedAndOpened) {
    const std::string list = folder_ + "\\User Data\\Rook User Devices.txt";
    {
        std::ofstream out(list, std::ios::binary);
        out << "# Rook User Devices\n# header\n# header\n# header\n"
               "SPI,Corvo,zeta,EF4017,8MB (64Mbit),SPI,8bit,x1,ADP,PISMO1,SIO,\n"
               "NOR,Oska,broken line\n";
    }
    bool played = false;
    int result = OpenWith([&] {
        HWND sheet = WaitTop(kSheetCaption);
        ASSERT_NE(sheet, nullptr);
        HWND user = Page(sheet, 2);
        EXPECT_EQ(ComboCount(user, IDC_UD_DEVICES), 0) << "no NOR device yet";
        EXPECT_FALSE(Enabled(user, IDC_UD_EDIT));
        Click(user, IDC_UD_ADD);
        EXPECT_TRUE(Enabled(user, IDC_UD_NAME));
        EXPECT_FALSE(Enabled(user, IDC_UD_SPI));
        Type(user, IDC_UD_NAME, "My,Oska");
        EXPECT_EQ(Text(user, IDC_UD_NAME), "MyOska") << "commas are taken out";
        Type(user, IDC_UD_ID, "7E1001");
        ASSERT_TRUE(Choose(user, IDC_UD_GROUP, "Oska"));
        ASSERT_TRUE(Choose(user, IDC_UD_SIZE, "8MB (64Mbit)"));
        ASSERT_TRUE(Choose(user, IDC_UD_COMMAND, "Legacy NOR"));
        ASSERT_TRUE(Choose(user, IDC_UD_BUS, "16bit"));
        ASSERT_TRUE(Choose(user, IDC_UD_INTERLEAVE, "x1"));
        ASSERT_TRUE(Choose(user, IDC_UD_HOST, "ADP"));
        ASSERT_TRUE(Choose(user, IDC_UD_SOCKET, "PISMO1"));
        EXPECT_TRUE(Enabled(user, IDC_UD_SAVE));
        Shot(sheet, "rook_sheet_user_device_edit");
        Click(user, IDC_UD_SAVE);
        EXPECT_EQ(ComboText(user, IDC_UD_DEVICES), "MyOska");
        EXPECT_TRUE(Enabled(user, IDC_UD_EDIT));
        EXPECT_FALSE(Enabled(user, IDC_UD_NAME));

        // A name any line already uses, in any field and of any type, is refused.
        Click(user, IDC_UD_ADD);
        Type(user, IDC_UD_NAME, "ZETA");
        Type(user, IDC_UD_ID, "123456");
        Click(user, IDC_UD_SAVE);
        Click(user, IDC_UD_CANCEL);
        // Renamed in other case: the same device, updated in place.
        Click(user, IDC_UD_EDIT);
        EXPECT_EQ(Text(user, IDC_UD_ID), "7E1001");
        EXPECT_EQ(ComboText(user, IDC_UD_SIZE), "8MB (64Mbit)");
        Type(user, IDC_UD_NAME, "MYOSKA");
        Click(user, IDC_UD_SAVE);
        EXPECT_EQ(ComboCount(user, IDC_UD_DEVICES), 1);
        EXPECT_EQ(ComboText(user, IDC_UD_DEVICES), "MYOSKA");
        // A second device added and deleted again.
        Click(user, IDC_UD_ADD);
        Type(user, IDC_UD_NAME, "Spare");
        Type(user, IDC_UD_ID, "123456");
        for (int id : {IDC_UD_GROUP, IDC_UD_SIZE, IDC_UD_COMMAND, IDC_UD_BUS, IDC_UD_INTERLEAVE, IDC_UD_HOST, IDC_UD_SOCKET})
            SendMessageA(GetDlgItem(user, id), CB_SETCURSEL, 1, 0);
        Click(user, IDC_UD_SAVE);
        EXPECT_EQ(ComboCount(user, IDC_UD_DEVICES), 2);
        ASSERT_TRUE(Choose(user, IDC_UD_DEVICES, "Spare"));
        Click(user, IDC_UD_DELETE);
        EXPECT_EQ(ComboCount(user, IDC_UD_DEVICES), 1);
        ASSERT_TRUE(Choose(user, IDC_UD_DEVICES, "MYOSKA"));
        // The page's tab stays in front: OK takes the user device.
        played = true;
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    ASSERT_TRUE(played);
    const std::string prompts = Prompts();
    EXPECT_NE(prompts.find("line 6: it does not have eleven fields"), std::string::npos) << prompts;
    EXPECT_NE(prompts.find("Comma should not be allowed"), std::string::npos);
    EXPECT_NE(prompts.find("MyOska device is added."), std::string::npos);
    EXPECT_NE(prompts.find("Same device name was found in Device List."), std::string::npos);
    EXPECT_NE(prompts.find("MyOska device is updated."), std::string::npos);
    EXPECT_NE(prompts.find("Do you want to remove Spare in list?"), std::string::npos);
    EXPECT_NE(prompts.find("User Device is selected. Do you want to go with it?"), std::string::npos);
    ASSERT_EQ(result, 0) << prompts;
    // The kit's own chip answers the ID the user gave.
    char text[512] = "";
    Rook().gfslGetDeviceTextInfo("/a", text);
    EXPECT_EQ(std::string(text).rfind("[JEDEC ID:7E1001]", 0), 0u) << text;
    std::string file;
    for (char c : ReadFile(list))
        if (c != '\r') file += c;  // lines end as the platform's text files do
    EXPECT_NE(file.find("NOR,Oska,MYOSKA,7E1001,8MB (64Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\n"), std::string::npos) << file;
    EXPECT_EQ(file.find("MyOska"), std::string::npos) << "renamed, not copied";
    EXPECT_EQ(file.find("Spare"), std::string::npos);
    EXPECT_NE(file.find("NOR,Oska,broken line"), std::string::npos) << "the refused line is kept";
    EXPECT_LT(file.find("MYOSKA"), file.find("zeta")) << "sorted by name, upper case first";
}

// An SPI part of the user's own list, picked on its page: the module cannot know whether the chip's
// status register reports a refused program or erase, so what the chip holds afterwards decides.
// The chip here has no error bits and an ID no catalogue row has; with BP2-0 = 111 it refuses both.
TEST_F(RookSheet, UserSpiDeviceWithoutErrorBitsAnswersARefusal) {
    SpiChipInSocket socket(kit_, {0x20, 0x40, 0x18});
    kitsim::SpiChip& chip = socket.chip;
    bool played = false;
    int result = OpenUserSpiDevice("204018", played);
    ASSERT_TRUE(played);
    const std::string prompts = Prompts();
    EXPECT_NE(prompts.find("User Device is selected. Do you want to go with it?"), std::string::npos) << prompts;
    ASSERT_EQ(result, 0) << prompts;
    ASSERT_EQ(Rook().gfslGetNumberOfBytesPerDevice("/a"), 16ull << 20);
    const uint32_t size = Rook().gfslNORGetBlockSize("/a", 2), block = 2 * size;
    ASSERT_GT(size, 0u);
    auto& a = chip.Array();
    std::fill(a.begin() + block, a.begin() + block + size, 0x00);
    const uint8_t data[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    ASSERT_EQ(Rook().gfslNOREraseBlock(0, 2), 0);
    EXPECT_EQ(a[block], 0xFF);
    ASSERT_EQ(Rook().gfslNORProgramData(0, block, 4, data), 0);
    EXPECT_EQ(a[block + 3], 0xEF);
    // BP2-0 = 111 through the status register's address space, as the register page writes it.
    const uint8_t bp = 0x1C;
    ASSERT_EQ(Rook().gfslNORSetASOMode(0, 0x10000), 0);
    ASSERT_EQ(Rook().gfslNORProgramData(0, 0, 1, &bp), 0);
    ASSERT_EQ(Rook().gfslNORSetASOMode(0, 0x10001), 0);
    ASSERT_EQ(chip.Status1() & 0x1C, 0x1C);
    EXPECT_EQ(Rook().gfslNOREraseBlock(0, 2), -1);
    EXPECT_EQ(a[block], 0xDE) << "nothing erased";
    EXPECT_EQ(Rook().gfslNORProgramData(0, block + 0x100, 4, data), -1);
    EXPECT_EQ(a[block + 0x100], 0xFF) << "nothing programmed";
    Rook().gfslInit(1);
}

// An SPI part of the user's list whose ID begins with a byte of 0x80 or more: the chip with that ID
// opens without asking about its identity, as one below 0x80 does, and a chip with another ID is still
// asked about (Yes goes on).
TEST_F(RookSheet, UserSpiDeviceIdMatchesTheChipThatHasIt) {
    struct Case {
        const char* typed;
        uint8_t chip[3];
        bool asked;
    } const kCases[] = {
        {"204018", {0x20, 0x40, 0x18}, false},
        {"EF4018", {0xEF, 0x40, 0x18}, false},
        {"EF4018", {0xEF, 0x40, 0x17}, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.typed) + (c.asked ? " against another chip" : " against its chip"));
        SpiChipInSocket socket(kit_, {c.chip[0], c.chip[1], c.chip[2]});
        DeleteFileA(promptLog_.c_str());
        bool played = false;
        int result = OpenUserSpiDevice(c.typed, played);
        ASSERT_TRUE(played);
        const std::string prompts = Prompts();
        ASSERT_NE(prompts.find("User Device is selected. Do you want to go with it?"), std::string::npos) << prompts;
        EXPECT_EQ(result, 0) << prompts;
        EXPECT_EQ(prompts.find("incorrect device ID") != std::string::npos, c.asked) << prompts;
        EXPECT_EQ(Rook().gfslGetNumberOfBytesPerDevice("/a"), 16ull << 20);
        Rook().gfslInit(1);
    }
}

// A "Tarn-Rook.ini" that is not whole says which line it does not understand, and the sheet starts from
// the defaults of what it lacks.
TEST_F(RookSheet, GarbledIniSaysSoAndStartsFromDefaults) {
    std::ofstream(folder_ + "\\Tarn-Rook.ini", std::ios::binary) << "[Predefined List]\nActive Device Type=SPI\nthis is no key\n";
    std::string group;
    bool spi = false;
    int result = OpenWith([&] {
        HWND sheet = WaitTop(kSheetCaption);
        ASSERT_NE(sheet, nullptr);
        HWND page = Page(sheet, 0);
        spi = Checked(page, IDC_TYPE_SPI);
        group = ComboText(page, IDC_GROUP);
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(spi) << "the good lines still count";
    EXPECT_EQ(group, "Ivor");
    EXPECT_NE(Prompts().find("line 3 is not understood"), std::string::npos) << Prompts();
}

// The power control dialog's buttons as the kit receives them: the power-on reset cycles the socket's
// supply, the hardware reset pulses the reset line, and the deep power-down buttons, greyed while the page
// shows no SPI device on a socket that reaches the serial controller, configure the dialog's own kit
// connection for the page's device and send their one-byte commands each in a frame of its own. Without
// a kit every button says that nothing was sent.
TEST_F(RookSheet, PowerControlButtonsReachTheKit) {
    // The page's chip select is CS0.
    NotingSerialDevice part;
    kit_->AttachSerial(0, &part);
    struct Seen {
        std::string noKit, afterNoKit, connected, afterEnter, dpdWithoutKit;
        uint32_t pulsesBefore = 0, pulsesAfter = 0;
        int cyclesAfterPor = 0, resetsAfterReset = 0, cyclesAfterReset = 0;
        bool powered = false, dpdOnWend = true, dpdOnPismoSpi = false, dpdOnPismoNor = true;
        std::vector<std::vector<uint8_t>> framesWithoutKit, framesAfterEnter, framesAfterRelease;
        int cyclesWithoutKit = 0, resetsWithoutKit = 0;
    } seen;
    int result = OpenWith([&] {
        HWND sheet = WaitTop(kSheetCaption);
        ASSERT_NE(sheet, nullptr);
        HWND page = Page(sheet, 0);
        // A click on a radio button clears the others of its group.
        auto choose = [&](int first, int count, int id) {
            for (int i = 0; i < count; ++i) SendMessageA(GetDlgItem(page, first + i), BM_SETCHECK, BST_UNCHECKED, 0);
            Press(page, id);
        };
        choose(IDC_TYPE_NOR, 3, IDC_TYPE_SPI);
        choose(IDC_PISMO, 2, IDC_WEND);
        Click(page, IDC_POWER_CONTROL);
        HWND power = WaitTop("Power Control");
        ASSERT_NE(power, nullptr);
        seen.dpdOnWend = Enabled(power, IDC_PWR_ENTER_DPD) || Enabled(power, IDC_PWR_RELEASE_DPD);
        seen.pulsesBefore = kit_->ResetPulses();

        Unplug(true);
        for (int id : {IDC_PWR_POR, IDC_PWR_HW_RESET}) {
            Click(power, id);
            if (id == IDC_PWR_POR) seen.noKit = Text(power, IDC_PWR_KIT);
        }
        seen.afterNoKit = Text(power, IDC_PWR_KIT);
        seen.cyclesWithoutKit = part.powerCycles;
        seen.resetsWithoutKit = part.resets;
        Shot(power, "rook_power_control_no_kit");
        Unplug(false);

        Click(power, IDC_PWR_POR);
        seen.connected = Text(power, IDC_PWR_KIT);
        seen.cyclesAfterPor = part.powerCycles;
        seen.powered = (kit_->Register(12) & 0x08) != 0;
        Click(power, IDC_PWR_HW_RESET);
        seen.pulsesAfter = kit_->ResetPulses();
        seen.resetsAfterReset = part.resets;
        seen.cyclesAfterReset = part.powerCycles;

        // The dialog stays open while the page changes: PISMO1 with an NOR device, then an SPI one.
        choose(IDC_PISMO, 2, IDC_PISMO);
        choose(IDC_TYPE_NOR, 3, IDC_TYPE_NOR);
        Sleep(600);
        seen.dpdOnPismoNor = Enabled(power, IDC_PWR_ENTER_DPD);
        choose(IDC_TYPE_NOR, 3, IDC_TYPE_SPI);
        Sleep(600);
        seen.dpdOnPismoSpi = Enabled(power, IDC_PWR_ENTER_DPD) && Enabled(power, IDC_PWR_RELEASE_DPD);
        Shot(power, "rook_power_control_spi");
        Unplug(true);
        Click(power, IDC_PWR_ENTER_DPD);
        seen.dpdWithoutKit = Text(power, IDC_PWR_KIT);
        seen.framesWithoutKit = part.frames;
        Unplug(false);
        Click(power, IDC_PWR_ENTER_DPD);
        seen.afterEnter = Text(power, IDC_PWR_KIT);
        seen.framesAfterEnter = part.frames;
        Click(power, IDC_PWR_RELEASE_DPD);
        seen.framesAfterRelease = part.frames;
        PostMessageA(power, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitGone(power));
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    Unplug(false);
    // The socket position gets the simulator's own serial chip back.
    auto spiChip = SimExport<void* (*)(int, int)>("LxKitSimSpiChip");
    kit_->AttachSerial(0, spiChip ? static_cast<kitsim::SerialDevice*>(spiChip(0, 0)) : nullptr,
                       spiChip ? static_cast<kitsim::SerialDevice*>(spiChip(0, 1)) : nullptr);
    EXPECT_EQ(result, -1);

    EXPECT_FALSE(seen.dpdOnWend) << "the Wend socket does not reach the serial controller";
    EXPECT_FALSE(seen.dpdOnPismoNor);
    EXPECT_TRUE(seen.dpdOnPismoSpi);
    EXPECT_EQ(seen.noKit.rfind("No kit answers (0x", 0), 0u) << seen.noKit;
    EXPECT_NE(seen.noKit.find("): nothing was sent."), std::string::npos) << seen.noKit;
    EXPECT_EQ(seen.afterNoKit.rfind("No kit answers", 0), 0u) << seen.afterNoKit;
    EXPECT_EQ(seen.cyclesWithoutKit, 0);
    EXPECT_EQ(seen.resetsWithoutKit, 0);
    EXPECT_TRUE(seen.framesWithoutKit.empty());
    EXPECT_EQ(seen.dpdWithoutKit.rfind("The kit refused the command (0x", 0), 0u) << seen.dpdWithoutKit;

    EXPECT_EQ(seen.connected, "Connected to the kit.");
    EXPECT_EQ(seen.cyclesAfterPor, 1) << "supply off, 100 ms, on again";
    EXPECT_TRUE(seen.powered);
    EXPECT_GT(seen.pulsesAfter, seen.pulsesBefore);
    EXPECT_EQ(seen.resetsAfterReset, static_cast<int>(seen.pulsesAfter - seen.pulsesBefore)) << "the part saw each reset";
    EXPECT_EQ(seen.cyclesAfterReset, 1) << "a reset leaves the supply alone";
    EXPECT_EQ(seen.afterEnter, "Sent Enter DPD (0xB9).");
    const std::vector<std::vector<uint8_t>> enter = {{0xB9}}, both = {{0xB9}, {0xAB}};
    EXPECT_EQ(seen.framesAfterEnter, enter);
    EXPECT_EQ(seen.framesAfterRelease, both);
}

// A chip-select map set in its dialog and taken at OK places the device: with CS0 in the second half of
// a 4 MiB window pair, the open reads the chip from 4 MiB on and finds no chip select below.
TEST_F(RookSheet, ChipSelectMapPlacesTheDevice) {
    const rook::NorCatalogueRow* row = Row("TE064CTI");
    ASSERT_NE(row, nullptr);
    rook::CataloguePart part(*row, *kit_);
    std::vector<uint8_t>& array = part.Die(0).Array();
    const uint32_t at = 5u << 20;
    for (uint32_t i = 0; i < 16; ++i) array[at + i] = static_cast<uint8_t>(0xA0 + i);
    std::string iniAfterMap;
    bool played = false;
    int result = OpenWith([&] {
        HWND sheet = WaitTop(kSheetCaption);
        ASSERT_NE(sheet, nullptr);
        HWND page = Page(sheet, 0);
        ASSERT_TRUE(Choose(page, IDC_GROUP, "Tesk"));
        ASSERT_TRUE(Choose(page, IDC_NAME, "TE064CTI"));
        ClickLater(page, IDC_CS_SETTING);
        HWND map = WaitTop("CS# Mapping Dialog Box");
        ASSERT_NE(map, nullptr);
        ASSERT_TRUE(Choose(map, IDC_CS_POSITION0, "2nd half"));
        ASSERT_TRUE(Choose(map, IDC_CS_SIZE0, "32Mbit"));
        Shot(map, "rook_cs_mapping_set");
        PostMessageA(map, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitGone(map));
        Sleep(100);
        EXPECT_FALSE(Enabled(page, IDC_CS0));
        iniAfterMap = Ini();
        played = true;
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    ASSERT_TRUE(played);
    EXPECT_NE(iniAfterMap.find("CS0 Position = 2nd Half"), std::string::npos) << iniAfterMap;
    EXPECT_NE(iniAfterMap.find("CS0 Size = 32Mbit"), std::string::npos) << iniAfterMap;
    EXPECT_NE(iniAfterMap.find("CS1 Position ="), std::string::npos) << "every chip select is written";
    EXPECT_NE(Prompts().find("CS Map is selected. Do you want to go with it?"), std::string::npos) << Prompts();
    ASSERT_EQ(result, 0) << Prompts();
    uint8_t buffer[16] = {};
    EXPECT_EQ(Rook().gfslNORReadData(0, at, sizeof buffer, buffer), 0);
    EXPECT_EQ(0, std::memcmp(buffer, array.data() + at, sizeof buffer));
    EXPECT_LT(Rook().gfslNORReadData(0, 0, sizeof buffer, buffer), 0) << "no chip select below 4 MiB";
    EXPECT_LT(Rook().gfslNORReadData(0, (4u << 20) - 4, 8, buffer), 0) << "a read that starts outside the window";
}

// A rewrite of the user device list whose last step, putting the new file in place of the old, fails:
// the old list stays as it was and the page says it could not sort it. Once the list itself is held open
// by another program; once the new file is (as a virus scanner does) while the old one could be deleted.
TEST_F(RookSheet, UserListKeptWhenTheRewriteCannotTakeItsPlace) {
    const std::string list = folder_ + "\\User Data\\Rook User Devices.txt";
    const std::string temp = list + "~";
    const std::string text = "# Rook User Devices\n# header\n# header\n# header\n"
                             "NOR,Oska,zeta,7E1001,8MB (64Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\n"
                             "NOR,Oska,alpha,7E1002,8MB (64Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\n";
    for (const std::string* heldFile : {&list, &temp}) {
        SCOPED_TRACE(*heldFile);
        DeleteFileA(promptLog_.c_str());
        DeleteFileA(temp.c_str());
        std::ofstream(list, std::ios::binary) << text;
        // Reading and writing shared, deleting not: the file cannot be moved or replaced while it is open.
        HANDLE held = CreateFileA(heldFile->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        int result = OpenWith([&] {
            HWND sheet = WaitTop(kSheetCaption);
            ASSERT_NE(sheet, nullptr);
            Page(sheet, 2);
            PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
        CloseHandle(held);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(ReadFile(list), text) << "the old list, byte for byte";
        EXPECT_NE(Prompts().find("Failed to sort User Device Data File"), std::string::npos) << Prompts();
        if (heldFile == &list) {
            EXPECT_EQ(GetFileAttributesA(temp.c_str()), INVALID_FILE_ATTRIBUTES) << "no new file left behind";
        }
        DeleteFileA(temp.c_str());
    }
}

// The user device page deletes and edits the device chosen by its name, even where another device
// has that text in another field: a type "NOR", an interleave "x1", an ID "CAFE".
TEST_F(RookSheet, UserDevicesAreFoundByTheirNameOnly) {
    const std::string list = folder_ + "\\User Data\\Rook User Devices.txt";
    std::ofstream(list, std::ios::binary) << "# Rook User Devices\n# header\n# header\n# header\n";
    struct Seen {
        int afterDelete = -1, afterAll = -1;
        std::string left;
    } seen;
    bool played = false;
    OpenWith([&] {
        HWND sheet = WaitTop(kSheetCaption);
        ASSERT_NE(sheet, nullptr);
        HWND user = Page(sheet, 2);
        auto add = [&](const char* name, const char* id, const char* interleave) {
            Click(user, IDC_UD_ADD);
            Type(user, IDC_UD_NAME, name);
            Type(user, IDC_UD_ID, id);
            for (int c : {IDC_UD_GROUP, IDC_UD_SIZE, IDC_UD_COMMAND, IDC_UD_BUS, IDC_UD_HOST, IDC_UD_SOCKET})
                SendMessageA(GetDlgItem(user, c), CB_SETCURSEL, 1, 0);
            EXPECT_TRUE(Choose(user, IDC_UD_INTERLEAVE, interleave)) << name;
            Click(user, IDC_UD_SAVE);
        };
        add("nor", "7E0001", "x1");
        add("Alpha", "CAFE", "x1");
        ASSERT_TRUE(Choose(user, IDC_UD_DEVICES, "nor"));
        Click(user, IDC_UD_DELETE);
        seen.afterDelete = ComboCount(user, IDC_UD_DEVICES);
        seen.left = ComboText(user, IDC_UD_DEVICES);
        add("x1", "7E0002", "x2");
        add("CAFE", "7E0003", "x2");
        ASSERT_TRUE(Choose(user, IDC_UD_DEVICES, "x1"));
        Click(user, IDC_UD_EDIT);
        EXPECT_EQ(Text(user, IDC_UD_ID), "7E0002") << "the fields of x1, not of the device with interleave x1";
        Type(user, IDC_UD_ID, "7E0099");
        Click(user, IDC_UD_SAVE);
        ASSERT_TRUE(Choose(user, IDC_UD_DEVICES, "CAFE"));
        Click(user, IDC_UD_DELETE);
        seen.afterAll = ComboCount(user, IDC_UD_DEVICES);
        played = true;
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    ASSERT_TRUE(played);
    const std::string prompts = Prompts();
    EXPECT_NE(prompts.find("Do you want to remove nor in list?"), std::string::npos) << prompts;
    EXPECT_NE(prompts.find("x1 device is updated."), std::string::npos) << prompts;
    EXPECT_NE(prompts.find("Do you want to remove CAFE in list?"), std::string::npos) << prompts;
    EXPECT_EQ(prompts.find("Same device name was found"), std::string::npos) << prompts;
    EXPECT_EQ(seen.afterDelete, 1);
    EXPECT_EQ(seen.left, "Alpha");
    EXPECT_EQ(seen.afterAll, 2);
    const std::string file = ReadFile(list);
    EXPECT_NE(file.find(",Alpha,CAFE,"), std::string::npos) << file;
    EXPECT_NE(file.find(",x1,7E0099,"), std::string::npos) << file;
    for (const char* gone : {",nor,", ",x1,7E0002,", ",CAFE,7E0003,"}) EXPECT_EQ(file.find(gone), std::string::npos) << gone << "\n" << file;
}

// A "Tarn-Rook.ini" with a NUL, one over 1 MiB and one in UTF-16: the sheet says what is wrong with
// it and where the file as it was is kept; the next save keeps every key of the good lines.
TEST_F(RookSheet, AnIniItCannotReadWholeIsKeptAndItsGoodKeysStay) {
    const std::string good = "[Predefined List]\r\nActive Device Type = NOR\r\n";
    const std::string rest = "NOR Device Group = Oska\r\nNOR Device Name = OS064NUI\r\nKept Key = yes\r\n\r\n"
                             "[Operation Setup]\r\nProgramming Timeout = 10000\r\nData Swap = 0\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : good + rest) utf16 += std::string(1, c) + '\0';
    struct Case {
        const char* what;
        std::string bytes;
        const char* said;
        bool keysKept;
    } cases[] = {
        {"a NUL on line 3", good + std::string(1, '\0') + "\r\n" + rest, "line 3 is not understood", true},
        {"over 1 MiB", good + rest + std::string(1u << 20, ';') + "\r\n", "larger than 1 MiB", false},
        {"UTF-16", utf16, "UTF-16", false},
    };
    const std::string ini = folder_ + "\\Tarn-Rook.ini";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileA(promptLog_.c_str());
        DeleteFileA((ini + ".bad").c_str());
        std::ofstream(ini, std::ios::binary) << c.bytes;
        bool played = false;
        int result = OpenWith([&] {
            HWND sheet = WaitTop(kSheetCaption);
            ASSERT_NE(sheet, nullptr);
            ASSERT_TRUE(Choose(Page(sheet, 0), IDC_NAME, "OS064NUI"));
            HWND operation = Page(sheet, 1);
            ASSERT_TRUE(Choose(operation, IDC_DATA_SWAP, "2-Byte Swap"));
            Page(sheet, 0);
            played = true;
            PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        });
        ASSERT_TRUE(played);
        EXPECT_EQ(result, 0) << Prompts();
        const std::string prompts = Prompts();
        EXPECT_NE(prompts.find(c.said), std::string::npos) << prompts;
        std::string where;  // the prompt log doubles each backslash
        for (char ch : folder_ + "\\Tarn-Rook.ini.bad.") where += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
        EXPECT_NE(prompts.find("kept as " + where), std::string::npos) << prompts;
        EXPECT_TRUE(ReadFile(ini + ".bad") == c.bytes) << "the file as it was";
        const std::string now = Ini();
        EXPECT_NE(now.find("Data Swap = 2"), std::string::npos) << now;
        if (c.keysKept) {
            for (const char* key : {"Active Device Type = NOR", "NOR Device Group = Oska", "NOR Device Name = OS064NUI",
                                    "Kept Key = yes", "Programming Timeout = 10000"})
                EXPECT_NE(now.find(key), std::string::npos) << key << "\n" << now;
        }
    }
}

// A user device list the page cannot rewrite as it found it stays byte for byte: one saved in UTF-16,
// and the refused lines (a NUL, a lone line end) of an 8-bit one while the page sorts the rest.
TEST_F(RookSheet, UserListLinesAreKeptByteForByte) {
    const std::string list = folder_ + "\\User Data\\Rook User Devices.txt";
    const std::string text = "# Rook User Devices\r\n# header\r\n# header\r\n# header\r\n"
                             "NOR,Oska,zeta,7E1001,8MB (64Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\r\n"
                             "NOR,Oska,alpha,7E1002,8MB (64Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : text) utf16 += std::string(1, c) + '\0';
    const std::string refused = std::string("NOR,Oska,b") + '\0' + "d,7E1003,\n";
    const std::string* const kinds[] = {&utf16, &text};
    for (const std::string* bytes : kinds) {
        SCOPED_TRACE(bytes == &utf16 ? "UTF-16" : "8-bit");
        DeleteFileA(promptLog_.c_str());
        std::ofstream(list, std::ios::binary) << (bytes == &utf16 ? utf16 : text + refused);
        OpenWith([&] {
            HWND sheet = WaitTop(kSheetCaption);
            ASSERT_NE(sheet, nullptr);
            Page(sheet, 2);
            PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
        const std::string now = ReadFile(list);
        if (bytes == &utf16) {
            EXPECT_TRUE(now == utf16) << "not rewritten at all";
            EXPECT_NE(Prompts().find("is not 8-bit text (it looks like UTF-16)"), std::string::npos) << Prompts();
        } else {
            EXPECT_EQ(now, "# Rook User Devices\r\n# header\r\n# header\r\n# header\r\n" + refused +
                               "NOR,Oska,alpha,7E1002,8MB (64Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\r\n"
                               "NOR,Oska,zeta,7E1001,8MB (64Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\r\n");
        }
    }
}
