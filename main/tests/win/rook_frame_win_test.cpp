// Lumivex's own windows on Tarn-Rook.dll over TarnControl and the simulated kit, under Wine and Xvfb:
// the open-device dialog opens the kit and shows the part's text, the device API table reads,
// programs and erases through the module, and the profiler and the trace viewer show this
// module's own records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "explorers.h"
#include "kitsim/nand_chip.h"
#include "kitsim/nor_chip.h"
#include "kitsim/spi_chip.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "module_loader.h"
#include "open_device.h"
#include "rook_session.h"
#include "test_support.h"
#include "veltan_presets.h"
#include "viewers.h"

namespace {

CBrambApp g_app;

kitsim::NorChip* Chip() {
    auto get = SimExport<void* (*)(int)>("LxKitSimNorChip");
    return get ? static_cast<kitsim::NorChip*>(get(0)) : nullptr;
}

std::string ItemText(HWND w, int id) {
    char text[2048] = "";
    GetDlgItemTextA(w, id, text, sizeof text);
    return text;
}

class RookFrame : public ::testing::Test {
protected:
    void SetUp() override {
        LxPromptTestBegin();
        folder_ = MakeTempFolder("lxrook");
        g_app.m_OptionsFilePath = (folder_ + "\\setup.ini").c_str();
        std::memset(&g_app.m_Options, 0, sizeof g_app.m_Options);
        ASSERT_TRUE(session_.Load(
            g_app, folder_, "class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001;forceFpga=0"));
    }
    void TearDown() override {
        DestroyProfilerDialog();
        if (dialog_.m_hWnd) dialog_.DestroyWindow();
        session_.Unload();
        g_app.m_bDeviceModuleLoaded = false;
        LxPromptTestEnd();
    }

    COpenDeviceDlg dialog_;
    RookSession session_;
    std::string folder_;
};

TEST_F(RookFrame, OpenDeviceDataPathProfilerAndTrace) {
    InstallDeviceKindHook();
    ASSERT_TRUE(dialog_.Create(IDD_LX_OPEN_DEVICE, nullptr));
    dialog_.ShowWindow(SW_SHOW);
    LxPumpMessages();
    ASSERT_EQ(lx::GetDeviceState(), lx::kDeviceOpen) << (LxPromptRecordCount() ? LxPromptRecordText(0) : "");
    EXPECT_EQ(lx::FrameDevice().DeviceCode, 9);
    EXPECT_EQ(g_app.m_Options.DeviceKind, 1);
    std::string info = ItemText(dialog_.m_hWnd, IDC_LX_DEVICE_INFO);
    EXPECT_NE(info.find("[JEDEC ID:7E1001]"), std::string::npos) << info;
    EXPECT_NE(info.find("-Chip Size: 8388608 Bytes"), std::string::npos) << info;
    LxSaveWindowShot(dialog_.m_hWnd, "tarnrook_open_device");

    // Through the frame's device API table, as the explorers and consoles call it.
    kitsim::NorChip* chip = Chip();
    ASSERT_NE(chip, nullptr);
    std::vector<uint8_t> data(4096);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i ^ 0xA5);
    ASSERT_EQ(DeviceApiTable.gfslNOREraseBlock(0, 4), 0);
    ASSERT_EQ(DeviceApiTable.gfslNORProgramData(0, 4 * 65536, 4096, data.data()), 0);
    EXPECT_EQ(0, std::memcmp(chip->Array().data() + 4 * 65536, data.data(), data.size()));
    std::vector<uint8_t> back(4096);
    ASSERT_EQ(DeviceApiTable.gfslNORReadData(0, 4 * 65536, 4096, back.data()), 0);
    EXPECT_EQ(back, data);

    // The profiler counts this module's calls.
    CFProfilerDlg* profiler = ToggleProfilerDialog(nullptr);
    ASSERT_NE(profiler, nullptr);
    profiler->RewriteCounts();
    LxPumpMessages();
    CLxGrid& counts = profiler->Grid();
    EXPECT_EQ(counts.GetTextMatrix(19 + 1, 0), "FP_gfslNORProgramData");
    EXPECT_EQ(counts.GetTextMatrix(19 + 1, 1), "1");
    EXPECT_EQ(counts.GetTextMatrix(18 + 1, 1), "1");
    EXPECT_EQ(counts.GetTextMatrix(22 + 1, 1), "1");
    LxSaveWindowShot(profiler->m_hWnd, "tarnrook_profiler");

    // The trace viewer on the module's live "TraceMap": the newest records are the read just made.
    int answer = DeviceApiTable.gfslInit(19);
    ASSERT_NE(answer, 0);
    const auto* records = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(static_cast<uint32_t>(answer)));
    std::vector<uint8_t> copy(records, records + LX_TRACE_MAP_BYTES);
    LxGridRegisterClass();
    CDebugInfoDlg viewer(copy.data());
    ASSERT_TRUE(viewer.Create(IDD_LX_TRACE_VIEWER, nullptr));
    CLxGrid& grid = viewer.Grid();
    // The records of the open (the probe's writes) and of the read just made (a block read).
    bool sawBlockRead = false, sawWrite = false;
    for (int r = 1; r <= static_cast<int>(LX_TRACE_RECORD_COUNT) && !(sawBlockRead && sawWrite); ++r) {
        std::string op = grid.GetTextMatrix(r, 1);
        sawBlockRead = sawBlockRead || op == "TR_OP_READ_BLOCK_OUT";
        sawWrite = sawWrite || op == "TR_OP_WRITE_IN";
    }
    EXPECT_TRUE(sawWrite);
    EXPECT_TRUE(sawBlockRead);
    EXPECT_EQ(grid.GetTextMatrix(1, 1), "TR_OP_WRITE_IN");
    viewer.ShowWindow(SW_SHOW);
    LxPumpMessages();
    LxSaveWindowShot(viewer.m_hWnd, "tarnrook_trace_viewer");
    viewer.DestroyWindow();
}

// The kit with a Veltan part in its socket (the NOR chip goes back at the end).
class RookNandFrame : public RookFrame {
protected:
    void SetUp() override {
        set_ = SimExport<int (*)(int, const char*)>("LxKitSimSetNandPart");
        RookFrame::SetUp();
    }
    void TearDown() override {
        if (GetVeltanExplorer()) GetVeltanExplorer()->DestroyWindow();
        RookFrame::TearDown();
        if (set_) set_(0, "");
        if (timer_) KillTimer(nullptr, timer_);
    }
    kitsim::NandChip* Use(const char* part) {
        if (!set_ || set_(0, part) != 0) return nullptr;
        auto get = SimExport<void* (*)(int)>("LxKitSimNandChip");
        return get ? static_cast<kitsim::NandChip*>(get(0)) : nullptr;
    }
    int (*set_)(int, const char*) = nullptr;
    UINT_PTR timer_ = 0;
};

// Answers this thread's "Select Volume" dialog with volume a, once it shows.
VOID CALLBACK ChooseVolumeA(HWND, UINT, UINT_PTR, DWORD) {
    for (HWND w = FindWindowExA(nullptr, nullptr, "#32770", "Select Volume"); w;
         w = FindWindowExA(nullptr, w, "#32770", "Select Volume")) {
        if (GetWindowThreadProcessId(w, nullptr) != GetCurrentThreadId() || !IsWindowVisible(w)) continue;
        for (int v = 0; v < 4; ++v)
            SendDlgItemMessageA(w, IDC_LX_VOLUME_A + v, BM_SETCHECK, v == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
        SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

TEST_F(RookNandFrame, OpenDeviceExplorerPageAndEraseVeltan) {
    kitsim::NandChip* chip = Use("x16-128");
    ASSERT_NE(chip, nullptr);
    SetEnvironmentVariableA("LX_TARNROOK_PRESET", rook::VeltanPreset(16, 128).c_str());
    InstallDeviceKindHook();
    ASSERT_TRUE(dialog_.Create(IDD_LX_OPEN_DEVICE, nullptr));
    dialog_.ShowWindow(SW_SHOW);
    LxPumpMessages();
    ASSERT_EQ(lx::GetDeviceState(), lx::kDeviceOpen) << (LxPromptRecordCount() ? LxPromptRecordText(0) : "");
    EXPECT_EQ(lx::FrameDevice().DeviceCode, 1001);
    EXPECT_EQ(lx::FrameDevice().VeltanSpareSize, 128u);
    EXPECT_EQ(g_app.m_Options.DeviceKind, 0);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog_.m_hWnd, IDC_LX_ERASE_DEVICE)));
    std::string info = ItemText(dialog_.m_hWnd, IDC_LX_DEVICE_INFO);
    EXPECT_NE(info.find("[JEDEC ID:0001CA]"), std::string::npos) << info;
    EXPECT_NE(info.find("-Type: NAND"), std::string::npos) << info;
    LxSaveWindowShot(dialog_.m_hWnd, "tarnrook_nand_open_device");

    // A page with its spare area through the frame's table, then shown by the explorer.
    std::vector<uint8_t> page(2048 + 128);
    for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i < 2048 ? i * 3 : 0xF0 | (i & 0x0F));
    ASSERT_EQ(DeviceApiTable.gfslVeltanProgramRawPage(0, 0, 1, page.data()), 0);
    EXPECT_EQ(chip->Page(0), page);
    CWnd frame;
    for (int answer : {IDNO, IDNO, IDNO}) LxPromptQueueAnswer(answer);  // no bad block table file
    ToggleDeviceExplorer(&frame);
    CVeltanExplorerDlg* explorer = GetVeltanExplorer();
    ASSERT_NE(explorer, nullptr);
    LxPumpMessages();
    // 16-bit words, low byte first; the spare area follows the data.
    EXPECT_EQ(explorer->m_Grid.GetTextMatrix(1, 1), "0300");
    EXPECT_EQ(explorer->m_Grid.GetTextMatrix(1, 2), "0906");
    EXPECT_EQ(explorer->m_Grid.GetTextMatrix(129, 1), "F1F0");
    LxSaveWindowShot(explorer->m_hWnd, "tarnrook_nand_explorer");
    ToggleDeviceExplorer(&frame);

    // Erase Veltan from the dialog: every block; the factory bad blocks refuse and are reported.
    timer_ = SetTimer(nullptr, 0, 30, ChooseVolumeA);
    int before = LxPromptRecordCount();
    dialog_.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LX_ERASE_DEVICE, BN_CLICKED), 0);
    LxPumpMessages();
    std::vector<std::string> prompts;
    for (int i = before; i < LxPromptRecordCount(); ++i) prompts.push_back(LxPromptRecordText(i));
    EXPECT_EQ(prompts, (std::vector<std::string>{"Format device /a.\nThis operation will take several minutes.",
                                                 "Error: Erase failed at 3 of 2048 erase blocks (first at erase block #5)"}));
    EXPECT_EQ(chip->Page(0), std::vector<uint8_t>(2048 + 128, 0xFF));
    EXPECT_EQ(chip->Page(100 * 64)[2048], 0);  // a bad block keeps its mark
    EXPECT_EQ(DeviceApiTable.fpGetFunctionProfilerCount(17), 2048u);
    LxSaveWindowShot(dialog_.m_hWnd, "tarnrook_nand_after_erase");
}

// The kit's SPI chip behind its serial controller, opened as an SPI device and shown by the NOR
// explorer, which serves SPI devices too.
class RookSpiFrame : public RookFrame {
protected:
    void TearDown() override {
        if (GetNorExplorer()) DestroyNorExplorer();
        RookFrame::TearDown();
    }
    kitsim::SpiChip* Spi() {
        auto get = SimExport<void* (*)(int, int)>("LxKitSimSpiChip");
        return get ? static_cast<kitsim::SpiChip*>(get(0, 0)) : nullptr;
    }
};

TEST_F(RookSpiFrame, OpenDeviceAndAHexWindowOfTheSpiChip) {
    kitsim::SpiChip* chip = Spi();
    ASSERT_NE(chip, nullptr);
    SetEnvironmentVariableA("LX_TARNROOK_PRESET",
                            "class=3;type=4;bus=8;interleave=1;cs=1;socket=1;vcc=3300;spiIo=1;forceFpga=0;programTimeout=60000;"
                            "jedec=0x010219;spiFamily=8;spiExtendedIdBytes=2;spiRegisters=0x5F");
    InstallDeviceKindHook();
    ASSERT_TRUE(dialog_.Create(IDD_LX_OPEN_DEVICE, nullptr));
    dialog_.ShowWindow(SW_SHOW);
    LxPumpMessages();
    ASSERT_EQ(lx::GetDeviceState(), lx::kDeviceOpen) << (LxPromptRecordCount() ? LxPromptRecordText(0) : "");
    EXPECT_EQ(lx::FrameDevice().DeviceCode, 3006);
    EXPECT_EQ(g_app.m_Options.DeviceKind, 2);
    std::string info = ItemText(dialog_.m_hWnd, IDC_LX_DEVICE_INFO);
    EXPECT_NE(info.find("[JEDEC ID:010219]"), std::string::npos) << info;
    EXPECT_NE(info.find("-Type: SPI"), std::string::npos) << info;
    EXPECT_NE(info.find("-Chip Size: 33554432 Bytes"), std::string::npos) << info;
    LxSaveWindowShot(dialog_.m_hWnd, "tarnrook_spi_open_device");

    // Bytes across a page boundary through the frame's table, then the explorer's first window.
    std::vector<uint8_t> data(64);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xC0 + i);
    ASSERT_EQ(DeviceApiTable.gfslNOREraseBlock(0, 0), 0);
    ASSERT_EQ(DeviceApiTable.gfslNORProgramData(0, 0xE0, 64, data.data()), 0);
    EXPECT_EQ(0, std::memcmp(chip->Array().data() + 0xE0, data.data(), data.size()));
    g_app.m_Options.WindowSizeIndex = 0;
    CWnd frame;
    ToggleDeviceExplorer(&frame);
    CNorExplorerDlg* explorer = GetNorExplorer();
    ASSERT_NE(explorer, nullptr);
    LxPumpMessages();
    // Rows of 16 bytes under a header row: 0xE0 is row 15, 0x100 (the next page) row 17.
    EXPECT_EQ(explorer->m_Grid.GetTextMatrix(15, 0), "0x000000E0");
    EXPECT_EQ(explorer->m_Grid.GetTextMatrix(15, 1), "C0");
    EXPECT_EQ(explorer->m_Grid.GetTextMatrix(17, 1), "E0");
    EXPECT_EQ(explorer->m_Grid.GetTextMatrix(18, 16), "FF");
    LxSaveWindowShot(explorer->m_hWnd, "tarnrook_spi_explorer");
}

}  // namespace
