// The sector tools as real windows on the virtual device under Wine and Xvfb: a master volume
// file saved and restored byte for byte, the offers to format and erase, the sector explorer's
// view, edits, writes and addressings, the find window, import and export, and the analyzer
// dialog with a fixture module that reads the volume through the record's entry points.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "explorers.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "info_resource.h"
#include "module_loader.h"
#include "sectortools.h"
#include "test_support.h"

namespace {

CBrambApp g_app;
std::string g_folder;
std::string g_image;
constexpr uint32_t kPartitionOffset = 1u << 20;
constexpr uint32_t kPartitionBytes = (24u << 20) + 3 * 512;  // the device: 51,203 sectors, 3 past a step of 4

using lxtest::ReadFile;

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Sector(uint32_t sector, int addressing = 0) {
  std::string bytes(512, '\0');
  EXPECT_EQ(DeviceApiTable.gfslReadSectors(0, sector, 1, &bytes[0], addressing), 0) << sector;
  return bytes;
}

void PutSector(uint32_t sector, const std::string& bytes, int addressing = 0) {
  ASSERT_EQ(bytes.size(), 512u);
  ASSERT_EQ(DeviceApiTable.gfslWriteSectors(0, sector, 1, bytes.data(), addressing), 0) << sector;
}

void WriteVolumeFile(const char* path, const std::string& bytes) {
  int handle = DeviceApiTable.gfslfopen(path, "w");
  ASSERT_GE(handle, 0) << path;
  EXPECT_EQ(DeviceApiTable.gfslfwrite(bytes.data(), 1, static_cast<uint32_t>(bytes.size()), handle), bytes.size());
  EXPECT_EQ(DeviceApiTable.gfslfclose(handle), 0);
}

std::string ReadVolumeFile(const char* path) {
  int handle = DeviceApiTable.gfslfopen(path, "r");
  if (handle < 0) return "<missing>";
  std::string bytes(1 << 20, '\0');
  uint32_t got = DeviceApiTable.gfslfread(&bytes[0], 1, static_cast<uint32_t>(bytes.size()), handle);
  DeviceApiTable.gfslfclose(handle);
  bytes.resize(got == 0xFFFFFFFFu ? 0 : got);
  return bytes;
}

// A fresh FAT16 volume on the whole layout, mounted.
void FreshVolume() {
  lx::VolumeReleaseForRewrite(0);
  ASSERT_EQ(DeviceApiTable.gfslLowLevelFormat("/a", kPartitionOffset, kPartitionBytes), 0);
  ASSERT_EQ(DeviceApiTable.gfslFormat("/a", "FAT16", "WINDOWS", 0), 0);
  ASSERT_EQ(lx::VolumeMount(0), 0);
}

uint32_t PartitionStart() {
  std::string mbr = Sector(0);
  const auto* e = reinterpret_cast<const uint8_t*>(mbr.data()) + 446;
  return e[8] | (e[9] << 8) | (e[10] << 16) | (static_cast<uint32_t>(e[11]) << 24);
}

void Shot(HWND window, const char* name) {
  LxPumpMessages();
  LxSaveWindowShot(window, name);
}

class SectorToolsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char keep[MAX_PATH] = "";
    if (GetEnvironmentVariableA("LX_SECTORTOOLS_KEEP_AREA", keep, sizeof keep) > 0) {
      g_folder = keep;
      CreateDirectoryA(keep, nullptr);
    } else {
      g_folder = MakeTempFolder("lxsector");
    }
    CreateDirectoryA((g_folder + "\\User Data").c_str(), nullptr);
    CreateDirectoryA((g_folder + "\\User Data\\External Vyr Module").c_str(), nullptr);
    CreateDirectoryA((g_folder + "\\User Data\\External Vyr Module\\Results").c_str(), nullptr);
    // The module reads the C runtime's copy of the environment.
    SetEnvironmentVariableA("LX_USER_AREA", g_folder.c_str());
    _putenv_s("LX_USER_AREA", g_folder.c_str());
    g_app.m_InstallFolder = g_folder.c_str();
    g_app.m_UserAreaFolder = g_folder.c_str();
    g_app.m_Options.ConfirmOperations = 0;
    g_image = g_folder + "\\User Data\\Pallix.img";
    CDeviceApiBinder binder;
    HMODULE module = binder.LoadDeviceLibrary("Pallix-VirtualDevice.dll");
    ASSERT_NE(module, nullptr);
    binder.LoadDeviceApi(module);
    ASSERT_EQ(lx::DeviceOpen("/a"), 0);
    FreshVolume();
  }
  static void TearDownTestSuite() {
    DestroySectorTools();
    DeviceApiTable.gfslfcloseall();
    lx::VolumeReleaseForRewrite(0);
    lx::DeviceClose("/a");
  }
  void SetUp() override {
    LxPromptTestBegin();
    g_app.m_Options.ConfirmOperations = 0;
  }
  void TearDown() override { LxPromptTestEnd(); }
};

// ---- volume duplicate ---------------------------------------------------------------------------
struct DuplicateWindow {
  CVolumeDuplicateDlg dialog;
  DuplicateWindow() {
    EXPECT_TRUE(dialog.Create(IDD_LX_VOLUME_DUPLICATE, nullptr));
    dialog.ShowWindow(SW_SHOW);
  }
  ~DuplicateWindow() { dialog.DestroyWindow(); }
  void Path(const std::string& path) { dialog.SetDlgItemText(IDC_VD_PATH, path.c_str()); }
};

TEST_F(SectorToolsTest, AMasterVolumeFileIsSavedAndRestoredByteForByteOntoAFreshlyErasedDevice) {
  DuplicateWindow window;
  CVolumeDuplicateDlg& d = window.dialog;
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d.m_hWnd, IDC_VD_FORMAT)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d.m_hWnd, IDC_VD_LOW_LEVEL_FORMAT)));

  // The format offer on the mounted volume: unmount, ask, format, tell.
  d.OnFormatVolume();
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"Now the volume will be unmounted.",
                                                 "Format a device.\nThis operation will take several minutes.",
                                                 "Format finished."}));
  EXPECT_EQ(lx::FrameDevice().FrameMountMask, 0u);
  EXPECT_EQ(lx::VolumeMountMask & 1u, 0u);  // a later mount reaches the module again
  ASSERT_EQ(lx::VolumeMount(0), 0);
  std::string contents;
  for (int i = 0; i < 3000; ++i) contents += "line " + std::to_string(i) + " of the duplicated file\r\n";
  WriteVolumeFile("/a/master.txt", contents);

  const int32_t n = DeviceApiTable.gfslGetNumberOfSectors(0, 0);
  ASSERT_EQ(n, static_cast<int32_t>((kPartitionOffset + kPartitionBytes) / 512));
  ASSERT_EQ(n % 4, 3);
  const std::string master = g_folder + "\\User Data\\device.vol";
  window.Path(master);
  LxPromptTestBegin();
  d.OnCreateMasterVolumeFile();
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Master volume file is created."});
  const std::string saved = ReadFile(master);
  const std::string image = ReadFile(g_image);
  ASSERT_EQ(saved.size(), static_cast<size_t>(n) * 512);
  EXPECT_TRUE(saved == image.substr(0, saved.size()));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d.m_hWnd, IDC_VD_FORMAT)));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d.m_hWnd, IDC_VD_LOW_LEVEL_FORMAT)));
  Shot(d.m_hWnd, "volume_duplicate");

  // The erase offer; a format that fails afterwards says so and nothing else.
  LxPromptTestBegin();
  d.OnLowLevelFormat();
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"Now the volume will be unmounted.",
                                                 "Erase a device.\nThis operation will take several minutes.",
                                                 "Erase finished."}));
  LxPromptTestBegin();
  d.OnFormatVolume();  // the erased layout has no room for a volume
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"Format a device.\nThis operation will take several minutes.",
                                                 "Format failed."}));

  // A freshly laid out, empty device; the master restores it whole.
  ASSERT_EQ(DeviceApiTable.gfslLowLevelFormat("/a", kPartitionOffset, kPartitionBytes), 0);
  EXPECT_FALSE(ReadFile(g_image) == image);
  EXPECT_NE(lx::VolumeMount(0), 0);  // the cleared volume does not mount
  LxPromptTestBegin();
  d.OnCreateDuplicateVolume();
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Duplicate volume is created."});
  EXPECT_TRUE(ReadFile(g_image) == image);
  // The end-to-end run lets fsck.fat judge the restored volume.
  if (GetEnvironmentVariableA("LX_SECTORTOOLS_KEEP_AREA", nullptr, 0) > 0)
    CopyFileA(g_image.c_str(), (g_folder + "\\restored.img").c_str(), FALSE);
  ASSERT_EQ(lx::VolumeMount(0), 0);
  EXPECT_TRUE(ReadVolumeFile("/a/master.txt") == contents);
}

TEST_F(SectorToolsTest, BadMasterFilesAreRefusedAndNothingIsWritten) {
  DuplicateWindow window;
  CVolumeDuplicateDlg& d = window.dialog;
  const int32_t n = DeviceApiTable.gfslGetNumberOfSectors(0, 0);
  const std::string file = g_folder + "\\User Data\\bad.vol";
  struct Case {
    const char* name;
    long long bytes;  // -1: no file
    const char* message;
  } cases[] = {
      {"no file", -1, "Failed to create a duplicate volume."},
      {"empty", 0, "is not a master volume file"},
      {"1,000 bytes", 1000, "is not a master volume file"},
      {"a sector and a half", 768, "is not a master volume file"},
      {"four sectors more than the device", (static_cast<long long>(n) + 4) * 512, "more than the 51203 sectors"},
  };
  const std::string before = ReadFile(g_image);
  for (const Case& c : cases) {
    DeleteFileA(file.c_str());
    if (c.bytes >= 0) WriteAll(file, std::string(static_cast<size_t>(c.bytes), '\x5A'));
    window.Path(file);
    ASSERT_EQ(lx::VolumeMount(0), 0);
    LxPromptTestBegin();
    d.OnCreateDuplicateVolume();
    ASSERT_EQ(LxPromptRecordCount(), 2) << c.name;
    EXPECT_NE(std::string(LxPromptRecordText(1)).find(c.message), std::string::npos) << c.name << ": " << LxPromptRecordText(1);
    EXPECT_TRUE(ReadFile(g_image) == before) << c.name;
  }

  // A module that reports no sectors: both copies say so and touch nothing.
  {
    ASSERT_EQ(lx::VolumeMount(0), 0);
    const DeviceApiTableCells saved = DeviceApiTable;
    DeviceApiTable.gfslGetNumberOfSectors = [](int, int) { return -1; };
    WriteAll(file, "kept");
    LxPromptTestBegin();
    d.OnCreateMasterVolumeFile();
    d.OnCreateDuplicateVolume();
    DeviceApiTable = saved;
    EXPECT_EQ(Prompts(), (std::vector<std::string>{"The device has no sectors to copy.", "Now the volume will be unmounted.",
                                                   "The device has no sectors to copy."}));
    EXPECT_EQ(ReadFile(file), "kept");
  }

  // The capacity check counts whole sectors.
  ASSERT_EQ(lx::VolumeMount(0), 0);
  WriteAll(file, std::string(static_cast<size_t>(n + 1) * 512, '\0'));
  LxPromptTestBegin();
  d.OnCheckDuplicateVolume();
  WriteAll(file, std::string(1000, '\0'));
  d.OnCheckDuplicateVolume();
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"The duplicate volume doesn't have enough space.",
                                                 "The duplicate volume has enough space."}));

  // An existing file is replaced only when the user says so.
  LxPromptTestBegin();
  LxPromptQueueAnswer(LX_IDNO);
  d.OnCreateMasterVolumeFile();
  EXPECT_EQ(ReadFile(file), std::string(1000, '\0'));
  ASSERT_EQ(LxPromptRecordCount(), 1);
  EXPECT_NE(std::string(LxPromptRecordText(0)).find("exists"), std::string::npos);

  // Esc during a copy, answered Yes: the copy ends and says it was stopped.
  LxPromptTestBegin();
  d.PostMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  d.OnCreateMasterVolumeFile();
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"The file " + file + " exists.\nDo you want to replace it?",
                                                 "Do you want to stop the operation?",
                                                 "Stopped: the master volume file holds 0 of the 51203 sectors."}));

  // A master of fewer sectors writes those and leaves the rest of the device alone.
  const std::string tail = Sector(static_cast<uint32_t>(n - 1));
  std::string shorter = before.substr(0, static_cast<size_t>(n - 3) * 512);
  WriteAll(file, shorter);
  PutSector(static_cast<uint32_t>(n - 5), std::string(512, '\x11'));
  LxPromptTestBegin();
  d.OnCreateDuplicateVolume();
  EXPECT_NE(LastPromptText().find("from a master volume file of 51200 sectors; the device's other 3 sectors"),
            std::string::npos)
      << LastPromptText();
  EXPECT_TRUE(Sector(static_cast<uint32_t>(n - 5)) == before.substr(static_cast<size_t>(n - 5) * 512, 512));
  EXPECT_TRUE(Sector(static_cast<uint32_t>(n - 1)) == tail);
  ASSERT_EQ(lx::VolumeMount(0), 0);
  DeleteFileA(file.c_str());
}

// ---- sector explorer ------------------------------------------------------------------------------
CSectorExplorerDlg* OpenExplorer() {
  static CWnd frame;
  CSectorExplorerDlg* e = GetSectorExplorer();
  if (!e || !e->IsWindowVisible()) ToggleSectorExplorer(&frame);
  e = GetSectorExplorer();
  EXPECT_NE(e, nullptr);
  return e;
}

void Goto(CSectorExplorerDlg* e, const char* number) {
  e->SetDlgItemText(IDC_SE_NUMBER, number);
  e->Move();
}

TEST_F(SectorToolsTest, TheExplorerShowsNavigatesAndAgreesWithThePartitionTable) {
  CSectorExplorerDlg* e = OpenExplorer();
  ASSERT_NE(e, nullptr);
  const int32_t n = DeviceApiTable.gfslGetNumberOfSectors(0, 0);
  EXPECT_EQ(e->GetWindowTextString(), "Sector explorer: sector#0/" + std::to_string(n - 1));
  EXPECT_EQ(e->m_Grid.GetTextMatrix(0, 1), "00");
  EXPECT_EQ(e->m_Grid.GetTextMatrix(32, 0), "0x1F0");
  EXPECT_EQ(e->m_Grid.GetTextMatrix(32, 15), "55");  // the partition table's signature
  EXPECT_EQ(e->m_Grid.GetTextMatrix(32, 16), "AA");
  EXPECT_TRUE(std::string(e->m_Buffer.begin(), e->m_Buffer.end()) == Sector(0));

  struct Step {
    const char* typed;
    int32_t shown;
  } steps[] = {{"250", 250}, {"-5", 0}, {"99999999", n - 1}, {"12", 12}};
  for (const Step& s : steps) {
    Goto(e, s.typed);
    EXPECT_EQ(e->m_SectorNumber, s.shown) << s.typed;
  }
  Goto(e, "abc");
  EXPECT_EQ(LastPromptText(), "Please enter an integer.");
  EXPECT_EQ(e->m_SectorNumber, 12);
  e->ShowNextSector();
  EXPECT_EQ(e->m_SectorNumber, 13);
  e->ShowPreviousSector();
  e->ShowPreviousSector();
  EXPECT_EQ(e->m_SectorNumber, 11);
  e->ShowLastSector();
  EXPECT_EQ(e->m_SectorNumber, n - 1);
  e->ShowNextSector();
  EXPECT_EQ(e->m_SectorNumber, n - 1);
  e->ShowFirstSector();
  e->ShowPreviousSector();
  EXPECT_EQ(e->m_SectorNumber, 0);

  // Logical sector 0 is the partition's first sector, where the table says it starts.
  const uint32_t start = PartitionStart();
  ASSERT_GT(start, 0u);
  e->SetAddressing(1);
  Goto(e, "0");
  EXPECT_TRUE(std::string(e->m_Buffer.begin(), e->m_Buffer.end()) == Sector(start));
  EXPECT_EQ(e->m_Grid.GetTextMatrix(32, 15), "55");  // a boot sector
  Goto(e, "7");
  EXPECT_TRUE(std::string(e->m_Buffer.begin(), e->m_Buffer.end()) == Sector(start + 7));
  e->SetAddressing(0);

  // Marking 0x1F5 paints the labels of row 0x1F0 and column 05; the next show restores them.
  const COLORREF plain = e->m_Grid.GetBackColorFixed();
  e->MarkByte(0x1F5);
  auto colour = [e](long row, long col) {
    e->m_Grid.SetRow(row);
    e->m_Grid.SetCol(col);
    return e->m_Grid.GetCellBackColor();
  };
  EXPECT_EQ(colour(32, 0), 0x0000C0FFu);
  EXPECT_EQ(colour(0, 6), 0x0000C0FFu);
  EXPECT_EQ(colour(31, 0), plain);
  Shot(e->m_hWnd, "sector_explorer_marked");
  e->ShowFirstSector();
  EXPECT_EQ(colour(32, 0), plain);
  EXPECT_EQ(colour(0, 6), plain);
}

TEST_F(SectorToolsTest, EditedCellsAreWrittenToTheShownSectorAndReadBack) {
  CSectorExplorerDlg* e = OpenExplorer();
  ASSERT_NE(e, nullptr);
  e->SetAddressing(1);
  const int32_t sector = 300;  // inside the data area of the partition, unused
  Goto(e, "300");
  const std::string before = Sector(sector, 1);
  HWND editor = GetDlgItem(e->m_hWnd, IDC_SE_EDITOR);

  // Row 2, column 3 is byte 18.
  ASSERT_TRUE(e->OpenEditor(2, 3));
  EXPECT_TRUE(IsWindowVisible(editor));
  SetWindowTextA(editor, "7e");
  e->HideEditor();
  EXPECT_EQ(e->m_Buffer[18], 0x7E);
  EXPECT_EQ(e->m_Grid.GetTextMatrix(2, 3), "7e");
  EXPECT_EQ(e->m_Grid.GetTextMatrix(2, 17).substr(2, 1), "~");
  // A text that is no byte is refused and changes nothing.
  ASSERT_TRUE(e->OpenEditor(1, 1));
  SetWindowTextA(editor, "zz");
  e->HideEditor();
  EXPECT_NE(LastPromptText().find("'zz' is not a byte"), std::string::npos);
  EXPECT_EQ(e->m_Buffer[0], static_cast<uint8_t>(before[0]));
  char first[4];
  std::snprintf(first, sizeof first, "%02X", static_cast<uint8_t>(before[0]));
  EXPECT_EQ(e->m_Grid.GetTextMatrix(1, 1), first);
  EXPECT_FALSE(e->OpenEditor(1, 17));  // only byte cells

  // A number typed but not moved to does not decide where the buffer goes.
  const std::string other = Sector(310, 1);
  e->SetDlgItemText(IDC_SE_NUMBER, "310");
  LxPromptTestBegin();
  e->WriteSector();
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Program finished."});
  std::string expected = before;
  expected[18] = '\x7E';
  EXPECT_TRUE(Sector(sector, 1) == expected);
  EXPECT_TRUE(Sector(310, 1) == other);
  EXPECT_EQ(e->m_SectorNumber, sector);
  EXPECT_EQ(e->m_Grid.GetTextMatrix(2, 3), "7E");  // read back

  // The addressing list changed after the read: the buffer still goes where it came from.
  ASSERT_TRUE(e->OpenEditor(2, 4));
  SetWindowTextA(editor, "5c");
  e->HideEditor();
  const std::string physical300 = Sector(static_cast<uint32_t>(sector));
  e->SetAddressing(0);
  LxPromptTestBegin();
  e->WriteSector();
  expected[19] = '\x5C';
  EXPECT_TRUE(Sector(sector, 1) == expected);
  EXPECT_TRUE(Sector(static_cast<uint32_t>(sector)) == physical300);
  e->SetAddressing(1);

  // A write the module refuses is told, not passed over.
  const DeviceApiTableCells saved = DeviceApiTable;
  DeviceApiTable.gfslWriteSectors = [](int, uint32_t, uint32_t, const void*, int) { return -1; };
  LxPromptTestBegin();
  e->WriteSector();
  DeviceApiTable = saved;
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Failed to write sector 300."});

  // With the refresh timer an unwritten edit is gone at the next tick.
  ASSERT_TRUE(e->OpenEditor(3, 1));
  SetWindowTextA(editor, "ab");
  e->HideEditor();
  EXPECT_EQ(e->m_Buffer[32], 0xAB);
  e->SetAutoUpdate(1);
  for (int i = 0; i < 100 && e->m_Buffer[32] == 0xAB; ++i) {
    LxPumpMessages();
    Sleep(10);
  }
  e->SetAutoUpdate(0);
  EXPECT_EQ(e->m_Buffer[32], static_cast<uint8_t>(expected[32]));
  PutSector(sector, before, 1);

  // Past the partition the logical read fails: the title says so and nothing can be written.
  e->ShowLastSector();
  EXPECT_NE(e->GetWindowTextString().str().find(" - READ ERROR"), std::string::npos) << e->GetWindowTextString();
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(e->m_hWnd, IDC_SE_WRITE)));
  LxPromptTestBegin();
  e->WriteSector();
  EXPECT_EQ(Prompts(), std::vector<std::string>{"The shown sector could not be read; there is nothing to write."});
  e->SetAddressing(0);
  e->ShowFirstSector();
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(e->m_hWnd, IDC_SE_WRITE)));
}

// The jump to the latest sector access, with a module that answers it and has a NOR layout.
int LatestSector(uint32_t* first, uint32_t* address, uint32_t* page, uint32_t* sectorInPage) {
  *first = 7;
  *address = 0x12345;
  *page = 3;
  *sectorInPage = 2;
  return 0;
}
uint32_t NorBlockSize(const char*, uint32_t block) { return block < 8 ? 0x10000u : 0; }
uint64_t NorBytes(const char*) { return 8 * 0x10000u; }
int NorRead(int, uint32_t, uint32_t count, uint8_t* buffer) {
  std::memset(buffer, 0xFF, count);
  return 0;
}

TEST_F(SectorToolsTest, JumpShowsTheLatestSectorAccessInTheNorExplorer) {
  CSectorExplorerDlg* e = OpenExplorer();
  ASSERT_NE(e, nullptr);
  const DeviceApiTableCells saved = DeviceApiTable;
  g_app.m_Options.DeviceKind = 1;
  e->JumpToLatestSector();  // the virtual device has no latest access: nothing happens
  EXPECT_EQ(GetNorExplorer(), nullptr);
  DeviceApiTable.gfslGetLatestSectorInfo = LatestSector;
  DeviceApiTable.gfslNORGetBlockSize = NorBlockSize;
  DeviceApiTable.gfslNORReadRawData = NorRead;
  DeviceApiTable.gfslGetNumberOfBytesPerDevice = NorBytes;
  e->JumpToLatestSector();
  CNorExplorerDlg* nor = GetNorExplorer();
  ASSERT_NE(nor, nullptr);
  const uint32_t size = nor->GetWindowSize();
  EXPECT_EQ(nor->m_WindowIndex, int32_t(0x12345u / size));
  // The row of the sector's first byte is marked (its label coloured) and scrolled to the top.
  const long row = long((0x12345u % size) / 16 + 1);
  char label[16];
  std::snprintf(label, sizeof label, "0x%08X", static_cast<unsigned>(nor->m_WindowIndex * size + (row - 1) * 16));
  EXPECT_EQ(nor->m_Grid.GetTextMatrix(row, 0), label);
  nor->m_Grid.SetRow(row);
  nor->m_Grid.SetCol(0);
  EXPECT_EQ(nor->m_Grid.GetCellBackColor(), COLORREF(0x0000C0FF));
  nor->DestroyWindow();
  DeviceApiTable = saved;
  g_app.m_Options.DeviceKind = 0;
}

// ---- find -----------------------------------------------------------------------------------------
CSectorFindDlg* OpenFind(CSectorExplorerDlg* e) {
  if (!e->m_pFindDlg || !e->m_pFindDlg->IsWindowVisible()) e->ToggleFind();
  return e->m_pFindDlg;
}

void Search(CSectorFindDlg* f, const char* pattern, int kind, int scope, bool difference = false) {
  f->SetDlgItemText(IDC_SF_PATTERN, pattern);
  f->CheckRadioButton(IDC_SF_ASCII, IDC_SF_HEX, kind == 0 ? IDC_SF_ASCII : IDC_SF_HEX);
  f->CheckRadioButton(IDC_SF_CURRENT, IDC_SF_FROM, scope == 0 ? IDC_SF_CURRENT : IDC_SF_FROM);
  f->CheckDlgButton(IDC_SF_DIFFERENCE, difference ? BST_CHECKED : BST_UNCHECKED);
  f->FindNext();
}

TEST_F(SectorToolsTest, FindReachesTheFirstAndLastByteCrossesSectorsAndMarksTheHit) {
  CSectorExplorerDlg* e = OpenExplorer();
  ASSERT_NE(e, nullptr);
  e->SetAddressing(0);
  e->ShowFirstSector();
  const uint32_t last = static_cast<uint32_t>(DeviceApiTable.gfslGetNumberOfSectors(0, 0) - 1);
  std::string first = Sector(0), end(512, '\0'), middle = Sector(5000), next = Sector(5001);
  PutSector(last - 1, std::string(512, '\0'));
  std::string mbr = first;
  first.replace(0, 4, "\xDE\xAD\xBE\xEF", 4);
  end.replace(508, 4, "\xC0\xFF\xEE\x99", 4);
  middle.replace(510, 2, "Lu", 2);
  next.replace(0, 5, "mivex", 5);
  PutSector(0, first);
  PutSector(last, end);
  PutSector(5000, middle);
  PutSector(5001, next);

  CSectorFindDlg* f = OpenFind(e);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->m_EndSector, static_cast<int>(last));
  Search(f, "de ad be ef", 1, 1);
  EXPECT_EQ(e->m_SectorNumber, 0);
  EXPECT_EQ(f->m_BytePosition, 1);
  Search(f, "Lumivex", 0, 1);  // across sectors 5000 and 5001
  EXPECT_EQ(e->m_SectorNumber, 5000);
  EXPECT_EQ(f->m_BytePosition, 511);
  EXPECT_EQ(e->m_Grid.GetTextMatrix(32, 15), "4C");
  e->m_Grid.SetRow(32);
  e->m_Grid.SetCol(0);
  EXPECT_EQ(e->m_Grid.GetCellBackColor(), 0x0000C0FFu);  // the hit's row label
  Shot(f->m_hWnd, "sector_find");
  Search(f, "C0FFEE99", 1, 1);  // ends at the device's last byte
  EXPECT_EQ(e->m_SectorNumber, static_cast<int32_t>(last));
  EXPECT_EQ(f->m_BytePosition, 509);
  EXPECT_EQ(Prompts(), std::vector<std::string>{});
  Search(f, "C0FFEE99", 1, 1);  // nothing after it
  EXPECT_EQ(LastPromptText(), "String not found.");
  f->m_SearchSector = 4990;
  Search(f, "lumivex", 0, 1);  // the case matters
  EXPECT_EQ(LastPromptText(), "String not found.");

  // The difference search from the sector before the last: the first block that is not 00.
  f->m_SearchSector = static_cast<int32_t>(last - 1);
  f->m_BytePosition = 0;
  LxPromptTestBegin();
  Search(f, "00 00", 1, 1, true);
  EXPECT_EQ(e->m_SectorNumber, static_cast<int32_t>(last));
  EXPECT_EQ(f->m_BytePosition, 509);  // the pair at 508
  EXPECT_EQ(Prompts(), std::vector<std::string>{});

  // Patterns that cannot be searched for are refused before anything is read.
  struct Bad {
    const char* pattern;
    int kind;
    const char* message;
  } bad[] = {{"", 0, "Type a string to find."},
             {"   ", 1, "Type a string to find."},
             {"12 zz", 1, "no hexadecimal digit"},
             {nullptr, 0, "longer than 511 bytes"},
             {nullptr, 1, "longer than 511 bytes"}};
  const std::string ascii600(600, 'a');
  std::string hex600;
  for (int i = 0; i < 600; ++i) hex600 += "a5 ";
  for (const Bad& b : bad) {
    LxPromptTestBegin();
    const char* pattern = b.pattern ? b.pattern : (b.kind == 0 ? ascii600.c_str() : hex600.c_str());
    Search(f, pattern, b.kind, 1);
    EXPECT_NE(LastPromptText().find(b.message), std::string::npos) << LastPromptText();
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(f->m_hWnd, IDC_SF_FIND_NEXT)));
  }

  // A sector that cannot be read ends the search with a message (logical reads past the
  // partition fail on this device).
  e->SetAddressing(1);
  const int32_t count = e->CountSectors();
  f->m_SectorCount = count;
  f->m_SearchSector = f->m_StartSector = count - 200;
  f->m_BytePosition = 0;
  f->SetDlgItemText(IDC_SF_END, std::to_string(count - 1).c_str());
  LxPromptTestBegin();
  Search(f, "absent pattern", 0, 1);
  EXPECT_NE(LastPromptText().find("The search stops there."), std::string::npos) << LastPromptText();
  e->SetAddressing(0);
  f->Close();
  EXPECT_FALSE(f->IsWindowVisible());
  PutSector(0, mbr);
}

// ---- import and export ------------------------------------------------------------------------------
struct TransferWindow {
  CSectorTransferDlg dialog;
  TransferWindow(bool import, int first, int addressing) : dialog(import, first, addressing, nullptr) {
    EXPECT_TRUE(dialog.Create(import ? IDD_LX_SECTOR_IMPORT : IDD_LX_SECTOR_EXPORT, nullptr));
    dialog.ShowWindow(SW_SHOW);
  }
  ~TransferWindow() { dialog.DestroyWindow(); }
  void Fields(const std::string& file, int first, int number) {
    dialog.SetDlgItemText(IDC_SX_FILE, file.c_str());
    dialog.SetDlgItemText(IDC_SX_FIRST, std::to_string(first).c_str());
    dialog.SetDlgItemText(IDC_SX_NUMBER, std::to_string(number).c_str());
  }
};

TEST_F(SectorToolsTest, ImportAndExportMoveSectorsByteForByteInTheExplorersAddressing) {
  const std::string file = g_folder + "\\User Data\\sectors.bin";
  std::string source;
  for (int i = 0; i < 10 * 512; ++i) source += static_cast<char>((i * 7 + i / 512) & 0xFF);
  WriteAll(file, source);
  {
    TransferWindow window(true, 20000, 0);
    CString shown;
    window.dialog.GetDlgItemText(IDC_SX_FIRST, shown);
    EXPECT_EQ(shown, "20000");  // the explorer's sector
    window.Fields(file, 20000, 10);
    window.dialog.Run();
    EXPECT_EQ(LastPromptText(), "Import finished.");
    Shot(window.dialog.m_hWnd, "sector_import");
  }
  std::string read;
  for (uint32_t s = 20000; s < 20010; ++s) read += Sector(s);
  EXPECT_TRUE(read == source);

  const std::string out = g_folder + "\\User Data\\exported.bin";
  DeleteFileA(out.c_str());
  {
    TransferWindow window(false, 20000, 0);
    window.Fields(out, 20000, 10);
    window.dialog.Run();
    EXPECT_EQ(LastPromptText(), "Export finished.");
    Shot(window.dialog.m_hWnd, "sector_export");
  }
  EXPECT_TRUE(ReadFile(out) == source);

  // In logical addressing sector 0 is the partition's first sector.
  {
    TransferWindow window(false, 0, 1);
    window.Fields(out, 0, 1);
    window.dialog.Run();  // replaces the file: the default answer is Yes
  }
  EXPECT_TRUE(ReadFile(out) == Sector(PartitionStart()));
  {
    const uint32_t logical = 20010 - PartitionStart();
    TransferWindow window(true, 0, 1);
    WriteAll(file, source.substr(0, 512));
    window.Fields(file, static_cast<int>(logical), 1);
    window.dialog.Run();
    EXPECT_TRUE(Sector(20010) == source.substr(0, 512));
  }
}

TEST_F(SectorToolsTest, ImportAndExportRefuseBadRangesShortFilesAndUnwantedOverwrites) {
  const int32_t n = DeviceApiTable.gfslGetNumberOfSectors(0, 0);
  const std::string file = g_folder + "\\User Data\\short.bin";
  WriteAll(file, std::string(1000, '\x42'));
  const std::string image = ReadFile(g_image);
  struct Case {
    const char* name;
    bool import;
    int first, number;
    const char* message;
  } cases[] = {
      {"import past the end", true, n, 1, "are not all on the partition"},
      {"import running past the end", true, n - 1, 2, "are not all on the partition"},
      {"export past the end", false, n + 5, 1, "are not all on the partition"},
      {"import of two sectors from 1,000 bytes", true, 100, 2, "Error: File length is shorter than programming request."},
  };
  for (const Case& c : cases) {
    // Typed into the shown dialog, a first sector past the end becomes the last one; set while
    // the fields are not watched, the range is still checked before anything moves.
    TransferWindow window(c.import, 0, 0);
    window.dialog.ShowWindow(SW_HIDE);
    window.Fields(file, c.first, c.number);
    LxPromptTestBegin();
    window.dialog.Run();
    EXPECT_NE(LastPromptText().find(c.message), std::string::npos) << c.name << ": " << LastPromptText();
  }
  EXPECT_TRUE(ReadFile(g_image) == image);
  EXPECT_EQ(ReadFile(file), std::string(1000, '\x42'));
  {
    TransferWindow window(true, 0, 0);
    window.Fields(file, 100, 1);  // one sector from 1,000 bytes: its first 512
    window.dialog.Run();
    EXPECT_EQ(Sector(100), std::string(512, '\x42'));
  }
  {
    TransferWindow window(false, 0, 0);
    window.Fields(file, 100, 1);
    LxPromptTestBegin();
    LxPromptQueueAnswer(LX_IDNO);
    window.dialog.Run();
    EXPECT_EQ(Prompts(), std::vector<std::string>{"The file " + file + " exists.\nDo you want to replace it?"});
    EXPECT_EQ(ReadFile(file), std::string(1000, '\x42'));
  }
  PutSector(100, image.substr(100 * 512, 512));
  {
    // Logical sectors past the partition cannot be read or written: a transfer across its end
    // says where it stopped and what it did before.
    const std::string mbr = Sector(0);
    const auto* entry = reinterpret_cast<const uint8_t*>(mbr.data()) + 446;
    const uint32_t partition = entry[12] | (entry[13] << 8) | (entry[14] << 16) | (static_cast<uint32_t>(entry[15]) << 24);
    const std::string out = g_folder + "\\User Data\\across.bin";
    DeleteFileA(out.c_str());
    TransferWindow exporter(false, 0, 1);
    exporter.Fields(out, static_cast<int>(partition - 2), 4);
    LxPromptTestBegin();
    exporter.dialog.Run();
    EXPECT_EQ(LastPromptText(), "Failed to read sector " + std::to_string(partition) + ". The file holds the 2 sectors before it.");
    EXPECT_TRUE(ReadFile(out) == Sector(partition - 2, 1) + Sector(partition - 1, 1));
    const std::string tail = ReadFile(out);
    WriteAll(out, std::string(4 * 512, '\x33'));
    TransferWindow importer(true, 0, 1);
    importer.Fields(out, static_cast<int>(partition - 2), 4);
    LxPromptTestBegin();
    importer.dialog.Run();
    EXPECT_EQ(LastPromptText(), "Failed to write sector " + std::to_string(partition) + ". The 2 sectors before it were written.");
    EXPECT_EQ(Sector(partition - 1, 1), std::string(512, '\x33'));
    PutSector(partition - 2, tail.substr(0, 512), 1);
    PutSector(partition - 1, tail.substr(512), 1);
  }
  {
    // The fields keep inside the partition while they are typed.
    TransferWindow window(true, 0, 0);
    window.dialog.SetDlgItemText(IDC_SX_FIRST, std::to_string(n + 50).c_str());
    CString shown;
    window.dialog.GetDlgItemText(IDC_SX_FIRST, shown);
    EXPECT_EQ(shown.str(), std::to_string(n - 1));
    window.dialog.SetDlgItemText(IDC_SX_FIRST, std::to_string(n - 10).c_str());
    window.dialog.SetDlgItemText(IDC_SX_NUMBER, "20");
    window.dialog.GetDlgItemText(IDC_SX_NUMBER, shown);
    EXPECT_EQ(shown, "10");
  }
}

// ---- analyzer ---------------------------------------------------------------------------------------
std::string g_infoText;
std::vector<std::string> g_opened;

VOID CALLBACK CloseInfo(HWND, UINT, UINT_PTR id, DWORD) {
  HWND info = FindOwnWindow("Vyr");
  if (!info) return;
  KillTimer(nullptr, id);
  char text[512] = "";
  GetDlgItemTextA(info, IDC_INFO_BODY, text, sizeof text);
  g_infoText = text;
  LxSaveWindowShot(info, "vyr_result");
  SendMessageA(info, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void RecordOpen(HWND, const char* path) { g_opened.push_back(path); }

// A copy of a fixture module (and its viewer) in a folder of its own, so that the test can
// delete it afterwards; the options name it.
std::string UseModule(const char* module, const char* folderName) {
  const std::string folder = g_folder + "\\" + folderName;
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string dll = folder + "\\" + module + ".dll";
  EXPECT_TRUE(CopyFileA((ExeFolder() + "\\" + module + ".dll").c_str(), dll.c_str(), FALSE));
  CopyFileA((ExeFolder() + "\\" + module + ".ifv").c_str(), (folder + "\\" + module + ".ifv").c_str(), FALSE);
  std::memset(g_app.m_Options.VyrModulePath, 0, sizeof g_app.m_Options.VyrModulePath);
  std::strncpy(g_app.m_Options.VyrModulePath, dll.c_str(), sizeof g_app.m_Options.VyrModulePath - 1);
  return dll;
}

// Pumps until the dialog stops polling, closing the result window when it comes.
bool WaitForRun(COpenVyrDlg& d) {
  g_infoText.clear();
  UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseInfo);
  bool ended = false;
  for (int i = 0; i < 1500 && !ended; ++i) {
    LxPumpMessages();
    ended = !d.m_bPolling;
    Sleep(10);
  }
  KillTimer(nullptr, timer);
  LxPumpMessages();
  return ended;
}

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct VyrWindow {
  COpenVyrDlg dialog;
  VyrWindow() {
    EXPECT_TRUE(dialog.Create(IDD_LX_OPEN_VYR, nullptr));
    dialog.ShowWindow(SW_SHOW);
  }
  ~VyrWindow() { dialog.DestroyWindow(); }
  bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(dialog.m_hWnd, id)) != FALSE; }
};

TEST_F(SectorToolsTest, TheAnalyzerCountsUsedClustersThroughTheRecordAndIsUnloadedOnClose) {
  FreshVolume();
  const std::string boot = Sector(0, 1);
  const uint32_t clusterBytes = static_cast<uint8_t>(boot[13]) * 512u;
  WriteVolumeFile("/a/four.bin", std::string(3 * clusterBytes + 1, 'x'));
  WriteVolumeFile("/a/one.bin", "y");
  const std::string dll = UseModule("LxFixtureVyr", "vyr");
  SetReportOpenerForTests(RecordOpen);
  g_opened.clear();
  {
    VyrWindow window;
    COpenVyrDlg& d = window.dialog;
    EXPECT_EQ(d.m_ModuleName, "LxFixtureVyr.dll");
    CString information;
    d.GetDlgItemText(IDC_VYR_INFORMATION, information);
    EXPECT_EQ(information, "The information is not available.");
    ASSERT_NE(d.m_hVyr, nullptr);
    EXPECT_TRUE(d.m_bViewerBound);
    EXPECT_FALSE(window.Enabled(IDC_VYR_START_FS));
    EXPECT_FALSE(window.Enabled(IDC_VYR_REPORT));

    d.StartBDAnalysis();
    EXPECT_TRUE(d.m_bPolling);
    EXPECT_FALSE(window.Enabled(IDC_VYR_START_BD));  // one run at a time
    const lx::VyrAnalysisRecord& r = d.m_Record;
    EXPECT_EQ(r.deviceApi[27], reinterpret_cast<void*>(DeviceApiTable.gfslReadSectors));
    EXPECT_EQ(r.deviceApi[26], reinterpret_cast<void*>(DeviceApiTable.gfslGetNumberOfSectors));
    EXPECT_EQ(r.deviceBytes, static_cast<uint32_t>(DeviceApiTable.gfslGetNumberOfBytesPerDevice("/a")));
    EXPECT_EQ(r.interleave, 1u);
    EXPECT_EQ(r.outputFolder, r.outputFolderText);
    EXPECT_EQ(r.auxInputPath, nullptr);
    const std::string folder = r.outputFolderText;
    EXPECT_EQ(folder.rfind(g_folder + "\\User Data\\External Vyr Module\\Results\\", 0), 0u) << folder;
    ASSERT_TRUE(WaitForRun(d));
    EXPECT_EQ(Prompts(), (std::vector<std::string>{"Analysis report will be created on the following folder:\n" + folder,
                                                   "Analysis finished."}));
    EXPECT_EQ(g_infoText.rfind("Used clusters: 5 of ", 0), 0u) << g_infoText;
    EXPECT_EQ(d.GetWindowTextString().str().rfind("BD analysis: reading FAT sector ", 0), 0u) << d.GetWindowTextString();
    EXPECT_GE(d.m_Polls, 1);
    EXPECT_EQ(d.m_Information, "Lumivex test analyzer 1.0");
    EXPECT_TRUE(window.Enabled(IDC_VYR_REPORT));
    EXPECT_TRUE(window.Enabled(IDC_VYR_START_BD));

    LxPromptTestBegin();
    d.GetAnalysisReport();
    EXPECT_EQ(Prompts(), std::vector<std::string>{"Analysis Result is not ready to open!"});
    EXPECT_EQ(g_opened, std::vector<std::string>{folder + "\\report.txt"});
    EXPECT_EQ(ReadFile(folder + "\\report.txt").rfind("Used clusters: 5 of ", 0), 0u);
    auto runs = Export<int (*)()>(d.m_hViewer, "fixtureViewerRuns");
    ASSERT_NE(runs, nullptr);
    EXPECT_EQ(runs(), 1);
    Shot(d.m_hWnd, "vyr_dialog");

    d.CloseModule();
    EXPECT_EQ(GetModuleHandleA(dll.c_str()), nullptr);
  }
  EXPECT_TRUE(DeleteFileA(dll.c_str()));
  SetReportOpenerForTests(nullptr);
}

TEST_F(SectorToolsTest, AnalyzerRunsStartOnlyWhenSetUpAndEndWithoutStrayBoxes) {
  // No module chosen yet: the start says what to do first and calls no stub.
  std::memset(g_app.m_Options.VyrModulePath, 0, sizeof g_app.m_Options.VyrModulePath);
  {
    VyrWindow window;
    LxPromptTestBegin();
    window.dialog.StartBDAnalysis();
    EXPECT_EQ(Prompts(), std::vector<std::string>{
                             "No analyzer module is chosen.\nChoose one with Change... first, then start the analysis."});
    EXPECT_FALSE(window.dialog.m_bPolling);
  }
  LxPromptTestBegin();
  const std::string dll = UseModule("LxFixtureVyr", "vyr_runs");
  {
    VyrWindow window;
    COpenVyrDlg& d = window.dialog;
    auto opens = Export<int (*)()>(d.m_hVyr, "fixtureVyrOpens");
    ASSERT_NE(opens, nullptr);
    const int before = opens();
    // Auxiliary mode: a cancelled input file starts nothing.
    d.CheckDlgButton(IDC_VYR_AUXILIARY, BST_CHECKED);
    d.AuxiliaryChanged();
    EXPECT_FALSE(window.Enabled(IDC_VYR_OUTPUT));
    EXPECT_FALSE(window.Enabled(IDC_VYR_TARGET));
    CFileDialog::QueueTestAnswer(nullptr);
    d.StartBDAnalysis();
    EXPECT_EQ(opens(), before);
    EXPECT_FALSE(d.m_bPolling);
    EXPECT_EQ(Prompts(), std::vector<std::string>{});

    // Answered, it hands the module the auxiliary paths instead of the device.
    const std::string input = g_folder + "\\User Data\\aux.bin";
    WriteAll(input, "aux");
    CFileDialog::QueueTestAnswer(input.c_str());
    QueueFolderAnswerForTests(g_folder.c_str());
    LxPromptQueueAnswer(LX_IDNO);
    d.StartBDAnalysis();
    EXPECT_EQ(opens(), before + 1);
    EXPECT_EQ(d.m_Record.deviceBytes, 0u);
    EXPECT_EQ(d.m_Record.outputFolder, nullptr);
    EXPECT_STREQ(d.m_Record.auxInputPath, input.c_str());
    EXPECT_STREQ(d.m_Record.auxOutputFolder, g_folder.c_str());
    EXPECT_EQ(d.m_Record.auxLittleEndian, 0u);
    ASSERT_GE(LxPromptRecordCount(), 2);
    EXPECT_STREQ(LxPromptRecordText(0), "Is the Auxiliary input stream a Little Endian?");
    EXPECT_STREQ(LxPromptRecordCaption(0), "Vyr");
    EXPECT_EQ(std::string(LxPromptRecordText(1)), "Analysis report will be created on the following folder:\n" + g_folder);
    ASSERT_TRUE(WaitForRun(d));

    // Close while a run goes on: the poll ends with it, and no tick reaches the freed module.
    d.CheckDlgButton(IDC_VYR_AUXILIARY, BST_UNCHECKED);
    d.AuxiliaryChanged();
    SetEnvironmentVariableA("LX_FIXTURE_VYR_STEP_MS", "20");
    LxPromptTestBegin();
    d.StartBDAnalysis();
    for (int i = 0; i < 30; ++i) {
      LxPumpMessages();
      Sleep(10);
    }
    EXPECT_TRUE(d.m_bPolling);
    d.CloseModule();
    SetEnvironmentVariableA("LX_FIXTURE_VYR_STEP_MS", nullptr);
    for (int i = 0; i < 60; ++i) {
      LxPumpMessages();
      Sleep(10);
    }
    EXPECT_EQ(LxPromptRecordCount(), 1) << LastPromptText();  // the folder, nothing after it
  }
  EXPECT_TRUE(DeleteFileA(dll.c_str()));

  // A module without vyrGetStatus: its stub speaks once, and the poll ends.
  const std::string nostatus = UseModule("LxFixtureVyrNoStatus", "vyr_nostatus");
  {
    VyrWindow window;
    COpenVyrDlg& d = window.dialog;
    LxPromptTestBegin();
    d.StartBDAnalysis();
    for (int i = 0; i < 120; ++i) {
      LxPumpMessages();
      Sleep(10);
    }
    int stubBoxes = 0;
    for (const std::string& text : Prompts()) stubBoxes += text == "vyrGetStatus is not supported." ? 1 : 0;
    EXPECT_EQ(stubBoxes, 1);
    EXPECT_FALSE(d.m_bPolling);
    EXPECT_TRUE(window.Enabled(IDC_VYR_START_BD));
    d.CloseModule();
  }
  EXPECT_TRUE(DeleteFileA(nostatus.c_str()));
}

// Last, so that the end-to-end run finds the edit in the image it leaves: a byte of a file
// changed in the explorer is what the file system and other tools read afterwards.
TEST_F(SectorToolsTest, ZAnEditWrittenInTheExplorerIsWhatTheFileHolds) {
  WriteVolumeFile("/a/edit.txt", "hello world\r\n");
  CSectorExplorerDlg* e = OpenExplorer();
  ASSERT_NE(e, nullptr);
  e->SetAddressing(1);
  e->ShowFirstSector();
  CSectorFindDlg* f = OpenFind(e);
  ASSERT_NE(f, nullptr);
  Search(f, "hello world", 0, 1);
  ASSERT_EQ(Prompts(), std::vector<std::string>{});
  const int32_t sector = e->m_SectorNumber;
  const int position = f->m_BytePosition - 1;
  ASSERT_GT(sector, 0);
  Shot(f->m_hWnd, "sector_find");
  ASSERT_TRUE(e->OpenEditor(position / 16 + 1, position % 16 + 1));
  SetWindowTextA(GetDlgItem(e->m_hWnd, IDC_SE_EDITOR), "48");
  e->HideEditor();
  e->WriteSector();
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Program finished."});
  EXPECT_EQ(ReadVolumeFile("/a/edit.txt"), "Hello world\r\n");
  e->MarkByte(position);
  Shot(e->m_hWnd, "sector_explorer");
  f->Close();
  e->SetAddressing(0);
}

}  // namespace
