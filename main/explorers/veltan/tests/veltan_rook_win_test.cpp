// The NAND explorer on Tarn-Rook.dll over TarnControl and the simulated kit's NAND parts (x8 and
// x16, 64- and 128-byte spare areas, factory bad blocks and blocks that go bad in use), under
// Wine and Xvfb, with the chip model as the judge.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "kitsim/nand_chip.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "module_loader.h"
#include "rook_session.h"
#include "test_support.h"
#include "veltan_dialogs.h"
#include "veltan_explorer.h"
#include "veltan_presets.h"
#include "veltan_win_support.h"

namespace {

using lxtest::ReadFile;

CBrambApp g_app;

struct Part {
  const char* name;
  unsigned bus, spare;
};
const Part kParts[] = {{"x8-64", 8, 64}, {"x16-64", 16, 64}, {"x8-128", 8, 128}, {"x16-128", 16, 128}};

class VeltanRook : public ::testing::Test {
 protected:
  void SetUp() override {
    LxPromptTestBegin();
    folder_ = session_.UseArea(g_app, "lx_veltan_rook_");
    std::memset(&g_app.m_Options, 0, sizeof g_app.m_Options);
    // Each part brings its own preset (Use).
    ASSERT_TRUE(session_.Load(g_app, folder_, nullptr));
  }
  void TearDown() override {
    DestroyVeltanExplorer();
    SetVeltanEccModuleSource(nullptr);
    CFileDialog::ClearTestAnswers();
    session_.Unload();
    if (auto set = SimExport<int (*)(int, const char*)>("LxKitSimSetNandPart")) set(0, "");
    LxPromptTestEnd();
  }
  // The part in the kit's socket, the device opened, the chip model returned.
  kitsim::NandChip* Use(const Part& part) {
    if (lx::GetDeviceState() == lx::kDeviceOpen) lx::DeviceClose("/a");
    auto set = SimExport<int (*)(int, const char*)>("LxKitSimSetNandPart");
    auto get = SimExport<void* (*)(int)>("LxKitSimNandChip");
    if (!set || !get || set(0, part.name) != 0) return nullptr;
    SetEnvironmentVariableA("LX_TARNROOK_PRESET", rook::VeltanPreset(part.bus, part.spare).c_str());
    if (lx::DeviceOpen("/a") != 0) return nullptr;
    lx::FrameDevice().VeltanSpareSize = part.spare;
    return static_cast<kitsim::NandChip*>(get(0));
  }
  CVeltanExplorerDlg* Explorer(std::initializer_list<int> answers) {
    DestroyVeltanExplorer();
    for (int answer : answers) LxPromptQueueAnswer(answer);
    ToggleVeltanExplorer(nullptr);
    if (GetVeltanExplorer()) LxPumpMessages();
    return GetVeltanExplorer();
  }
  std::string UserData() const { return folder_ + "\\User Data\\"; }

  RookSession session_;
  std::string folder_;
};

TEST_F(VeltanRook, EveryPartSteppedEditedAndWrittenBack) {
  for (const Part& part : kParts) {
    SCOPED_TRACE(part.name);
    kitsim::NandChip* chip = Use(part);
    ASSERT_NE(chip, nullptr) << (LxPromptRecordCount() ? LxPromptRecordText(0) : "");
    const uint32_t stride = 2048 + part.spare, page = 64 * 7 + 2;
    std::vector<uint8_t> before(stride);
    for (uint32_t i = 0; i < stride; ++i) before[i] = static_cast<uint8_t>(i * 5 + 3);
    chip->SetPage(page, before);
    chip->SetPage(page + 1, std::vector<uint8_t>(stride, 0x3C));
    CVeltanExplorerDlg* explorer = Explorer({IDNO, IDNO, IDNO});
    ASSERT_NE(explorer, nullptr);
    EXPECT_EQ(explorer->GetBusWidth(), part.bus);
    EXPECT_EQ(explorer->m_Grid.GetRows(), static_cast<long>(part.spare / 16 + 129));
    EXPECT_EQ(explorer->m_Grid.GetCols(), part.bus == 16 ? 10 : 18);
    EXPECT_TRUE(explorer->m_pBlockTable->IsBad(5));
    EXPECT_TRUE(explorer->m_pBlockTable->IsBad(100));
    EXPECT_FALSE(explorer->m_pBlockTable->IsBad(7));
    explorer->GoToPage(page + 1);
    explorer->ShowPreviousPage();
    ASSERT_EQ(explorer->m_CurrentPage, page);
    EXPECT_EQ(explorer->m_Grid.GetTextMatrix(1, 1), lx::VeltanCellText(before.data(), 1, 1, part.bus));
    // One data cell, one spare cell.
    ASSERT_TRUE(TypeIntoCell(explorer, 3, 4, part.bus == 16 ? "BEEF" : "EE"));
    ASSERT_TRUE(TypeIntoCell(explorer, 129 + part.spare / 16 - 1, 2, part.bus == 16 ? "0000" : "00"));
    std::vector<uint8_t> expected = before;
    const size_t data = 2 * 16 + (part.bus == 16 ? 6 : 3), spare = 2048 + part.spare - 16 + (part.bus == 16 ? 2 : 1);
    if (part.bus == 16) {
      expected[data] = 0xEF;  // the low byte of the word first
      expected[data + 1] = 0xBE;
      expected[spare + 1] = 0;
    } else {
      expected[data] = 0xEE;
    }
    expected[spare] = 0;
    EXPECT_EQ(chip->Page(page), before);  // nothing written yet
    if (part.bus == 16 && part.spare == 128) {
      LxPumpMessages();
      ASSERT_TRUE(LxSaveWindowShot(explorer->m_hWnd, "veltan_rook_x16_128"));
    }
    explorer->OnProgramPage();
    EXPECT_TRUE(Told("Program finished.")) << testing::PrintToString(Prompts());
    EXPECT_EQ(chip->Page(page), expected);
    EXPECT_EQ(chip->Page(page + 1), std::vector<uint8_t>(stride, 0x3C));
    EXPECT_EQ(explorer->GetWindowTextString(), part.spare == 128 ? "Device Explorer: page#450/131071"
                                                                : "Device Explorer: page#450/65535");
    LxPromptTestBegin();
  }
}

TEST_F(VeltanRook, BlockTableFromTheDeviceSavedReloadedAndAGrownBadBlock) {
  kitsim::NandChip* chip = Use(kParts[0]);
  ASSERT_NE(chip, nullptr);
  // The factory marks saved; bad blocks skipped without a prompt.
  CVeltanExplorerDlg* explorer = Explorer({IDYES, IDYES});
  ASSERT_NE(explorer, nullptr);
  EXPECT_EQ(Prompts().at(0), "Found 3 bad block(s).\nDo you want to create a new bad block table file?");
  EXPECT_TRUE(Told("Bad block table file is created."));
  std::string file = ReadFile(UserData() + "__bbt__.txt");
  ASSERT_EQ(file.size(), 1024u * 9);
  EXPECT_EQ(file.substr(5 * 9, 9), "0005:00\r\n");
  EXPECT_EQ(file.substr(6 * 9, 9), "0006:ff\r\n");
  EXPECT_EQ(file.substr(1000 * 9, 9), "1000:00\r\n");
  // Reloaded from the file, with one more block marked in it.
  file.replace(300 * 9 + 5, 2, "00");
  std::ofstream(UserData() + "mine.txt", std::ios::binary) << file;
  CFileDialog::QueueTestAnswer((UserData() + "mine.txt").c_str());
  explorer = Explorer({IDNO, IDYES, IDNO});
  ASSERT_NE(explorer, nullptr);
  for (uint32_t block : {5u, 100u, 300u, 1000u}) EXPECT_TRUE(explorer->m_pBlockTable->IsBad(block)) << block;
  EXPECT_FALSE(explorer->m_pBlockTable->IsBad(301));
  // A block goes bad in the chip; the next write back finds it.
  chip->InjectGrownBadBlock(9);
  explorer->GoToPage(64 * 9 + 4);
  explorer->m_PageBuffer[7] = 0x00;
  LxPromptTestBegin();
  explorer->OnProgramPage();
  EXPECT_TRUE(explorer->m_pBlockTable->IsBad(9));
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Error: Erase failed at block #9.\nThe block is marked as a bad block.\n"
                                                "Its pages, with your edit, are kept in " + UserData() + "__block_9__.bin."});
  LxPromptTestBegin();
  explorer->OnProgramPage();
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Bad block notification: block #9 is a bad block"});
}

// "Program page" and "Program ECC" on page 202 (block 3) while the chip fails one page program
// after the erase, before, after and at the edited page: every other page of the block is
// programmed, the explorer keeps the edit, and the block as meant is kept in a file of its own
// that the next rewrite leaves alone. The chip model and the kept file are compared byte for byte.
TEST_F(VeltanRook, AFailedPageProgramInARewriteLosesOnlyThatPage) {
  EccSetupFn setup = UseTestEccModule();
  ASSERT_NE(setup, nullptr);
  setup(1, 8, 4);
  struct Case {
    const Part& part;
    uint32_t failing;
    bool ecc;
  } cases[] = {{kParts[0], 197, false}, {kParts[1], 207, true}, {kParts[2], 197, true}, {kParts[3], 207, false},
               {kParts[2], 202, true}};
  const uint32_t edited = 202, first = 192;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.part.name << " failing " << c.failing << (c.ecc ? " ECC" : ""));
    kitsim::NandChip* chip = Use(c.part);
    ASSERT_NE(chip, nullptr);
    const uint32_t stride = 2048 + c.part.spare;
    std::vector<uint8_t> meant;
    for (uint32_t p = first; p < first + 64; ++p) {
      std::vector<uint8_t> bytes(stride);
      for (uint32_t i = 0; i < stride; ++i) bytes[i] = static_cast<uint8_t>(i * 3 + p * 7 + 1);
      bytes[2048] = bytes[2049] = 0xFF;  // the block stays good
      chip->SetPage(p, bytes);
      meant.insert(meant.end(), bytes.begin(), bytes.end());
    }
    const std::string kept = UserData() + "__block_3__.bin";
    DeleteFileA(kept.c_str());
    CVeltanExplorerDlg* explorer = Explorer({IDNO, IDNO, IDYES});
    ASSERT_NE(explorer, nullptr);
    explorer->GoToPage(edited);
    ASSERT_TRUE(TypeIntoCell(explorer, 3, 4, c.part.bus == 16 ? "0000" : "00"));
    chip->Faults().failProgramPage = c.failing;
    LxPromptTestBegin();
    if (c.ecc)
      explorer->OnProgramEcc();
    else
      explorer->OnProgramPage();
    chip->Faults().failProgramPage = -1;
    EXPECT_EQ(Prompts(), std::vector<std::string>{"Error: Program failed at page #" + std::to_string(c.failing) +
                                                  ".\n63 of 64 page(s) of block #3 were programmed; the block is marked "
                                                  "as a bad block.\nIts pages, with your edit, are kept in " + kept + "."});
    // The edit (and the codes) stay in the explorer's buffer and make the block as meant.
    const std::vector<uint8_t>& buffer = explorer->m_PageBuffer;
    ASSERT_EQ(buffer.size(), stride);
    EXPECT_EQ(buffer[2 * 16 + (c.part.bus == 16 ? 6 : 3)], 0x00);
    if (c.ecc) {
      EXPECT_FALSE(std::equal(buffer.begin() + 2048, buffer.end(), meant.begin() + (edited - first) * stride + 2048))
          << "no codes in the spare area";
    }
    std::copy(buffer.begin(), buffer.end(), meant.begin() + (edited - first) * stride);
    for (uint32_t p = first; p < first + 64; ++p) {
      const std::vector<uint8_t> want =
          p == c.failing ? std::vector<uint8_t>(stride, 0xFF)
                         : std::vector<uint8_t>(meant.begin() + (p - first) * stride, meant.begin() + (p - first + 1) * stride);
      EXPECT_TRUE(chip->Page(p) == want) << p;
    }
    EXPECT_TRUE(ReadFile(kept) == std::string(meant.begin(), meant.end()));
    EXPECT_TRUE(explorer->m_pBlockTable->IsBad(3));
    // The next rewrite, of block 4, leaves the kept file alone.
    explorer->GoToPage(64 * 4 + 1);
    LxPromptTestBegin();
    explorer->OnProgramPage();
    EXPECT_EQ(LastPromptText(), "Program finished.");
    EXPECT_TRUE(ReadFile(kept) == std::string(meant.begin(), meant.end()));
    LxPromptTestBegin();
  }
}

// The dialogs' cores at the edges: an import that begins inside the factory bad block 5, and an
// export of a range that runs past the device's end over an existing file.
TEST_F(VeltanRook, ImportFromInsideABadBlockAndExportPastTheEnd) {
  for (const Part& part : {kParts[1], kParts[2]}) {
    SCOPED_TRACE(part.name);
    kitsim::NandChip* chip = Use(part);
    ASSERT_NE(chip, nullptr);
    const uint32_t stride = 2048 + part.spare;
    CVeltanExplorerDlg* explorer = Explorer({IDNO, IDNO, IDYES});
    ASSERT_NE(explorer, nullptr);
    const std::string in = UserData() + "seventy.bin";
    std::string records;
    for (uint32_t r = 0; r < 70; ++r)
      for (uint32_t i = 0; i < stride; ++i) records += static_cast<char>(r * 5 + i * 3 + (i >> 8));
    std::ofstream(in, std::ios::binary) << records;
    struct Policy {
      int policy;
      uint32_t firstPage, firstRecord;
    } policies[] = {{0, 394, 0}, {1, 384, 54}};
    for (const Policy& c : policies) {
      SCOPED_TRACE(c.policy);
      ASSERT_EQ(DeviceApiTable.gfslVeltanEraseBlock(0, 6), 0);
      const std::vector<uint8_t> bad = chip->Page(320);
      CVeltanImportDlg importer(330, part.spare, explorer->m_pBlockTable.get(), explorer);
      ASSERT_TRUE(importer.Create(IDD_VX_IMPORT, explorer));
      CFileDialog::QueueTestAnswer(in.c_str());
      importer.OnBrowse();
      importer.SetDlgItemText(IDC_VT_COUNT, "70");
      importer.CheckDlgButton(IDC_VT_SPARE, BST_UNCHECKED);
      ::SendDlgItemMessageA(importer.m_hWnd, IDC_VT_POLICY, CB_SETCURSEL, static_cast<WPARAM>(c.policy), 0);
      LxPromptTestBegin();
      importer.OnImportPages();
      EXPECT_EQ(LastPromptText().rfind("Import finished.", 0), 0u) << LastPromptText();
      for (uint32_t p = 384; p < 400; ++p) {
        const std::vector<uint8_t> page = chip->Page(p);
        if (p < c.firstPage) {
          EXPECT_EQ(page, std::vector<uint8_t>(stride, 0xFF)) << p;
        } else {
          const size_t r = c.firstRecord + (p - c.firstPage);
          EXPECT_TRUE(std::string(page.begin(), page.end()) == records.substr(r * stride, stride)) << p;
        }
      }
      EXPECT_EQ(chip->Page(320), bad);  // the bad block is not touched
      importer.DestroyWindow();
    }

    // Five pages from two before the end: the two that exist are written; a range wholly past
    // the end leaves the file of that name as it was.
    const uint32_t last = chip->Pages() - 1;
    chip->SetPage(last - 1, std::vector<uint8_t>(stride, 0x5A));
    chip->SetPage(last, std::vector<uint8_t>(stride, 0xA5));
    const std::string out = UserData() + "end.bin";
    struct End {
      uint32_t first;
      std::string file, text;
    } ends[] = {
        {last - 1, std::string(stride, '\x5A') + std::string(stride, '\xA5'),
         "Export finished.\n2 of 5 page(s) were exported: pages " + std::to_string(last + 1) + " to " +
             std::to_string(last + 3) + " do not lie on the device (pages 0 to " + std::to_string(last) + ")."},
        {last + 1, "kept", "Pages " + std::to_string(last + 1) + " to " + std::to_string(last + 5) +
                               " do not lie on the device (pages 0 to " + std::to_string(last) + ")."},
    };
    for (const End& e : ends) {
      std::ofstream(out, std::ios::binary | std::ios::trunc) << "kept";
      CVeltanExportDlg exporter(e.first, part.spare, explorer);
      ASSERT_TRUE(exporter.Create(IDD_VX_EXPORT, explorer));
      CFileDialog::QueueTestAnswer(out.c_str());
      exporter.OnBrowse();
      exporter.SetDlgItemText(IDC_VT_COUNT, "5");
      exporter.CheckDlgButton(IDC_VT_SPARE, BST_UNCHECKED);
      LxPromptTestBegin();
      exporter.OnExportPages();
      EXPECT_EQ(Prompts(), std::vector<std::string>{e.text});
      EXPECT_EQ(ReadFile(out), e.file);
      exporter.DestroyWindow();
    }
    LxPromptTestBegin();
  }
}

TEST_F(VeltanRook, FindImportAndExport) {
  for (const Part& part : {kParts[0], kParts[3]}) {
    SCOPED_TRACE(part.name);
    kitsim::NandChip* chip = Use(part);
    ASSERT_NE(chip, nullptr);
    const uint32_t stride = 2048 + part.spare;
    // The last page of the last good block.
    uint32_t lastGood = chip->Part().blocks - 1;
    const std::vector<uint32_t>& bad = chip->Part().factoryBadBlocks;
    while (std::find(bad.begin(), bad.end(), lastGood) != bad.end()) --lastGood;
    const uint32_t lastPage = lastGood * 64 + 63;
    std::vector<uint8_t> bytes(stride, 0xFF);
    std::memcpy(bytes.data() + 1500, "flash engineers", 15);
    chip->SetPage(lastPage, bytes);
    CVeltanExplorerDlg* explorer = Explorer({IDNO, IDNO, IDYES});
    ASSERT_NE(explorer, nullptr);
    explorer->GoToPage(lastPage - 70);
    explorer->OnFind();
    CVeltanFindDlg* find = explorer->m_pFindDlg;
    ASSERT_NE(find, nullptr);
    find->SetDlgItemText(IDC_VF_PATTERN, "flash engineers");
    find->CheckRadioButton(IDC_VF_CURRENT, IDC_VF_FROM, IDC_VF_FROM);
    find->OnFindNext();
    EXPECT_EQ(explorer->m_CurrentPage, lastPage) << testing::PrintToString(Prompts());
    EXPECT_EQ(explorer->m_Grid.GetTextMatrix(1500 / 16 + 1, 0), part.bus == 16 ? "0x2E8" : "0x5D0");
    if (part.bus == 8) {
      LxPumpMessages();
      ASSERT_TRUE(LxSaveWindowShot(explorer->m_hWnd, "veltan_rook_found"));
    }
    find->OnFindNext();
    EXPECT_EQ(LastPromptText(), "String not found.");

    // Export three pages with spare areas, then import them without into block 99 and on, where
    // block 100 is bad: the shift policy programs 99's last two pages and steps over block 100.
    std::vector<uint8_t> pages(3 * stride);
    for (size_t i = 0; i < pages.size(); ++i) pages[i] = static_cast<uint8_t>(i * 7 / 3);
    for (uint32_t p = 0; p < 3; ++p)
      chip->SetPage(64 * 20 + 3 + p, std::vector<uint8_t>(pages.begin() + p * stride, pages.begin() + (p + 1) * stride));
    const std::string out = UserData() + part.name + ".bin";
    CVeltanExportDlg exporter(64 * 20 + 3, part.spare, explorer);
    ASSERT_TRUE(exporter.Create(IDD_VX_EXPORT, explorer));
    CFileDialog::QueueTestAnswer(out.c_str());
    exporter.OnBrowse();
    exporter.SetDlgItemText(IDC_VT_COUNT, "3");
    exporter.CheckDlgButton(IDC_VT_SPARE, BST_UNCHECKED);
    exporter.OnExportPages();
    EXPECT_EQ(LastPromptText(), "Export finished.");
    EXPECT_EQ(ReadFile(out), std::string(pages.begin(), pages.end()));
    // The same file back with its spare areas into block 22.
    {
      CVeltanImportDlg withSpare(64 * 22 + 5, part.spare, explorer->m_pBlockTable.get(), explorer);
      ASSERT_TRUE(withSpare.Create(IDD_VX_IMPORT, explorer));
      CFileDialog::QueueTestAnswer(out.c_str());
      withSpare.OnBrowse();
      withSpare.SetDlgItemText(IDC_VT_COUNT, "3");
      withSpare.CheckDlgButton(IDC_VT_SPARE, BST_UNCHECKED);
      withSpare.OnImportPages();
      EXPECT_EQ(LastPromptText(), "Import finished.");
      for (uint32_t p = 0; p < 3; ++p)
        EXPECT_EQ(chip->Page(64 * 22 + 5 + p),
                  std::vector<uint8_t>(pages.begin() + p * stride, pages.begin() + (p + 1) * stride)) << p;
      withSpare.DestroyWindow();
    }
    exporter.CheckDlgButton(IDC_VT_SPARE, BST_CHECKED);
    exporter.OnExportPages();
    EXPECT_EQ(ReadFile(out).size(), 3u * 2048);
    exporter.DestroyWindow();

    const std::vector<uint8_t> badBefore = chip->Page(64 * 100);
    CVeltanImportDlg importer(64 * 99 + 62, part.spare, explorer->m_pBlockTable.get(), explorer);
    ASSERT_TRUE(importer.Create(IDD_VX_IMPORT, explorer));
    CFileDialog::QueueTestAnswer(out.c_str());
    importer.OnBrowse();
    importer.SetDlgItemText(IDC_VT_COUNT, "3");
    LxPromptTestBegin();
    importer.OnImportPages();
    // No bad-block prompt (the user said so); the third record no longer fits in the range.
    EXPECT_EQ(Prompts(), std::vector<std::string>{"Import finished.\n1 page(s) of file data did not fit in pages 6398 to "
                                                  "6400."});
    const std::string file = ReadFile(out);
    for (uint32_t p = 0; p < 2; ++p) {
      std::vector<uint8_t> model = chip->Page(64 * 99 + 62 + p);
      EXPECT_EQ(std::string(model.begin(), model.begin() + 2048), file.substr(p * 2048, 2048)) << p;
      EXPECT_EQ(model[2048 + 5], 0xFF);  // the spare area stays unprogrammed
    }
    EXPECT_EQ(chip->Page(64 * 100), badBefore);  // the bad block is not touched
    importer.DestroyWindow();
    LxPromptTestBegin();
  }
}

TEST_F(VeltanRook, EccWrittenAndCheckedOnTheChip) {
  EccSetupFn setup = UseTestEccModule();
  ASSERT_NE(setup, nullptr);
  setup(1, 8, 4);
  for (const Part& part : {kParts[1], kParts[2]}) {
    SCOPED_TRACE(part.name);
    kitsim::NandChip* chip = Use(part);
    ASSERT_NE(chip, nullptr);
    const uint32_t page = 64 * 30 + 10, stride = 2048 + part.spare;
    std::vector<uint8_t> bytes(stride, 0xFF);
    for (uint32_t i = 0; i < 2048; ++i) bytes[i] = static_cast<uint8_t>(i * 11 + 1);
    chip->SetPage(page, bytes);
    CVeltanExplorerDlg* explorer = Explorer({IDNO, IDNO, IDYES});
    ASSERT_NE(explorer, nullptr);
    explorer->GoToPage(page);
    LxPromptTestBegin();
    explorer->OnProgramEcc();
    EXPECT_EQ(LastPromptText(), "Program finished.");
    explorer->GoToPage(page);
    LxPromptTestBegin();
    explorer->OnCheckEcc();
    EXPECT_EQ(Prompts().size(), 8u);
    // One bit of chunk 3 flips in the chip: the check names the chunk and the bit.
    std::vector<uint8_t> flipped = chip->Page(page);
    flipped[1536 + 0x1F3] ^= 0x40;
    chip->SetPage(page, flipped);
    explorer->GoToPage(page);
    LxPromptTestBegin();
    explorer->OnCheckEcc();
    std::vector<std::string> told = Prompts();
    ASSERT_EQ(told.size(), 8u) << testing::PrintToString(told);
    EXPECT_EQ(told[6], "Check 512 Bytes data starting at offset 0x600 in Byte.");
    const int now = flipped[1536 + 0x1F3] >> 6 & 1;
    EXPECT_EQ(told[7], "Data at offset 0x1F3 in Byte (bit at offset 0xF9E in bit) is incorrect...\n" +
                           std::to_string(now) + " should be " + std::to_string(1 - now));
    flipped[1536 + 0x10] ^= 0x01;
    chip->SetPage(page, flipped);
    explorer->GoToPage(page);
    LxPromptTestBegin();
    explorer->OnCheckEcc();
    EXPECT_EQ(Prompts().back(), "Uncorrectable error found.");
  }
}

}  // namespace
