// The simple device test and NAND test pages with their method dialogs.
#include <algorithm>

#include "lumivex/prompt.h"
#include "programming.h"

namespace {

const char kCaption[] = "Simple device test";
const char kBinFilter[] = "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||";

}  // namespace

// ---- method dialog ------------------------------------------------------------------------------
CTestMethodDlg::CTestMethodDlg(bool nand, CWnd* owner)
    : CDialog(nand ? IDD_LX_NAND_TEST_METHODS : IDD_LX_DEVICE_TEST_METHODS, owner), m_Nand(nand) {
  m_Methods.selected.assign(nand ? lx::prog::NandMethodCount() : lx::prog::NorMethodCount(), false);
}

BOOL CTestMethodDlg::OnInitDialog() {
  shown_ = m_Methods;
  return CDialog::OnInitDialog();
}

void CTestMethodDlg::DoDataExchange(CDataExchange* dx) {
  for (size_t i = 0; i < shown_.selected.size(); ++i) {
    int on = shown_.selected[i] ? 1 : 0;
    DDX_Check(dx, FirstBox() + static_cast<int>(i), on);
    shown_.selected[i] = on != 0;
  }
  CString inc = shown_.incrementText.c_str(), dec = shown_.decrementText.c_str();
  DDX_Text(dx, IDC_TM_INC_TEXT, inc);
  DDX_Text(dx, IDC_TM_DEC_TEXT, dec);
  int reads = shown_.readCount;
  DDX_Text(dx, IDC_TM_READ_COUNT, reads);
  shown_.incrementText = inc.str();
  shown_.decrementText = dec.str();
  shown_.readCount = reads;
}

BOOL CTestMethodDlg::OnCommand(WPARAM wp, LPARAM lp) {
  if (HIWORD(wp) == BN_CLICKED && (LOWORD(wp) == IDC_TM_PROGRAM_BROWSE || LOWORD(wp) == IDC_TM_READ_BROWSE)) {
    Browse(LOWORD(wp) == IDC_TM_PROGRAM_BROWSE);
    return TRUE;
  }
  return CDialog::OnCommand(wp, lp);
}

void CTestMethodDlg::Browse(bool programFile) {
  const char* padding = programFile || !m_Nand ? "'0xFFFF'" : "'0xFF...'";
  std::string text = std::string("External file size should be equal to or bigger than test area.\nIf not, series of ") +
                     padding + " will be padded after the end of file reached.";
  LxMessageBox(m_hWnd, text.c_str(), kCaption, LX_MB_OK);
  CString path;
  if (!BrowseToolFile(true, "bin", kBinFilter, &path)) return;
  (programFile ? shown_.programFile : shown_.readFile) = path.str();
}

void CTestMethodDlg::OnOK() {
  UpdateData(TRUE);
  if (const char* error = lx::prog::CheckTestMethods(shown_, m_Nand)) {
    LxMessageBox(m_hWnd, error, kCaption, LX_MB_OK);
    return;
  }
  m_Methods = shown_;
  EndDialog(IDOK);
}

// ---- the page -----------------------------------------------------------------------------------
BOOL CTestPage::OnInitDialog() {
  const uint32_t units = Units();
  m_Count = units;
  CToolPage::OnInitDialog();
  SetupSpin(IDC_TP_FIRST_SPIN, 0, units ? units - 1 : 0, 0, true);
  SetupSpin(IDC_TP_COUNT_SPIN, 1, units, units, true);
  SetupSpin(IDC_TP_PASSES_SPIN, 1, 1000000, 1, true);
  SetupSpin(IDC_TP_WAIT_SPIN, 0, 1000000, 0, true);
  UpdateSummary();
  return TRUE;
}

void CTestPage::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_TP_FIRST, m_First);
  DDX_Text(dx, IDC_TP_COUNT, m_Count);
  DDX_Radio(dx, IDC_TP_ONCE, m_Repetition);
  DDX_Text(dx, IDC_TP_PASSES, m_Passes);
  DDX_Text(dx, IDC_TP_WAIT, m_Wait);
  DDX_Radio(dx, IDC_TP_WAIT_BEFORE, m_WaitMode);
}

BOOL CTestPage::OnCommand(WPARAM wp, LPARAM lp) {
  const int id = LOWORD(wp);
  if (HIWORD(wp) == EN_CHANGE && (id == IDC_TP_FIRST || id == IDC_TP_COUNT) && !adjusting_) {
    if (id == IDC_TP_FIRST) OnStartChange();
    else OnCountChange();
    return TRUE;
  }
  return CToolPage::OnCommand(wp, lp);
}

bool CTestPage::OnButton(int id) {
  switch (id) {
    case IDC_TP_SELECT: OnSelectMethods(); return true;
    case IDC_TP_START: OnStartStop(); return true;
    case IDC_TP_DUMP: OnDumpToFile(); return true;
    default: return false;
  }
}

void CTestPage::OnStartChange() {
  const uint32_t units = Units();
  BOOL ok = FALSE;
  UINT first = ::GetDlgItemInt(m_hWnd, IDC_TP_FIRST, &ok, FALSE);
  if (!ok) return;
  adjusting_ = true;
  if (units && first >= units) {
    first = units - 1;
    ::SetDlgItemInt(m_hWnd, IDC_TP_FIRST, first, FALSE);
  }
  m_First = first;
  adjusting_ = false;
  OnCountChange();
}

void CTestPage::OnCountChange() {
  const uint32_t units = Units();
  BOOL ok = FALSE;
  UINT first = ::GetDlgItemInt(m_hWnd, IDC_TP_FIRST, &ok, FALSE);
  UINT count = ::GetDlgItemInt(m_hWnd, IDC_TP_COUNT, nullptr, FALSE);
  if (!ok) return;
  const uint32_t room = units > first ? units - first : 1;
  adjusting_ = true;
  if (static_cast<uint64_t>(first) + count > units) {
    count = room;
    ::SetDlgItemInt(m_hWnd, IDC_TP_COUNT, count, FALSE);
  }
  ::SendDlgItemMessageA(m_hWnd, IDC_TP_COUNT_SPIN, UDM_SETRANGE32, 1, static_cast<LPARAM>(room));
  adjusting_ = false;
  m_First = first;
  m_Count = count;
}

void CTestPage::UpdateSummary() {
  const int n = m_MethodDlg.m_Methods.Count();
  char text[96];
  if (n) std::snprintf(text, sizeof text, "%d test method is(are) selected...", n);
  SetDlgItemText(IDC_TP_SUMMARY, n ? text : "Please select the test method...");
}

void CTestPage::OnSelectMethods() {
  m_MethodDlg.DoModal();
  UpdateSummary();
}

void CTestPage::OnStartStop() {
  if (running_) {
    running_ = false;
    Status(1, "Test stopped by user...");
    SetDlgItemText(IDC_TP_START, ">> Start test");
    return;
  }
  UpdateData(TRUE);
  lx::prog::TestRunSettings settings;
  settings.first = m_First;
  settings.count = m_Count;
  settings.passes = m_Repetition == 0 ? 1 : m_Repetition == 2 ? 0 : static_cast<int32_t>(std::max<UINT>(m_Passes, 1));
  settings.waitMs = m_Wait;
  settings.waitAfter = m_WaitMode == 1;
  m_MethodDlg.m_Methods.seed = GetTickCount();
  BeginRun(IDC_TP_START, ">> Stop test");
  m_LastResult = RunTest(settings);
  EndRun(IDC_TP_START, ">> Start test");
  // The test's verdict comes under the test's name; a stop by the user is a plain message.
  if (!m_LastResult.empty())
    Tell(m_LastResult, m_LastResult.compare(0, 20, "Test stopped by user") == 0 ? nullptr : kCaption);
}

// ---- NOR ----------------------------------------------------------------------------------------
std::string CDeviceTest::RunTest(const lx::prog::TestRunSettings& settings) {
  lx::prog::NorTestRunner runner(*this, *sectors_);
  if (!CheckSectors(*sectors_, settings.first, settings.count)) return std::string();
  if (m_MethodDlg.m_Methods.Count() == 0) {
    Ask("Please select the test method...", kCaption, LX_MB_OK);
    return std::string();
  }
  return runner.Run(m_MethodDlg.m_Methods, settings);
}

void CDeviceTest::OnDumpToFile() {
  DumpNorSectors(*sectors_, &m_First, &m_Count);
}

// ---- NAND ---------------------------------------------------------------------------------------
BOOL CNANDTest::OnInitDialog() {
  for (int id : {IDC_TP_DATA_BITS, IDC_TP_SPARE_BITS}) {
    for (const char* item : {"0", "1", "2", "3", "4"})
      ::SendDlgItemMessageA(m_hWnd, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  return CTestPage::OnInitDialog();
}

void CNANDTest::DoDataExchange(CDataExchange* dx) {
  CTestPage::DoDataExchange(dx);
  DDX_CBIndex(dx, IDC_TP_DATA_BITS, m_DataBits);
  DDX_CBIndex(dx, IDC_TP_SPARE_BITS, m_SpareBits);
}

std::string CNANDTest::RunTest(const lx::prog::TestRunSettings& settings) {
  const lx::prog::VeltanGeometry g = lx::prog::ReadVeltanGeometry();
  if (settings.count == 0 || settings.first >= table_->status.size() ||
      settings.count > table_->status.size() - settings.first || g.pagesPerBlock == 0) {
    char text[160];
    std::snprintf(text, sizeof text, "Error: Blocks %u to %u lie beyond the device's %u blocks.", settings.first,
                  settings.first + settings.count - (settings.count ? 1 : 0), static_cast<unsigned>(table_->status.size()));
    return text;
  }
  if (m_MethodDlg.m_Methods.Count() == 0) {
    Ask("Please select the test method...", kCaption, LX_MB_OK);
    return std::string();
  }
  lx::prog::NandTestRunner runner(*this, *table_, g.pagesPerBlock, static_cast<uint32_t>(m_DataBits),
                                  static_cast<uint32_t>(m_SpareBits));
  return runner.Run(m_MethodDlg.m_Methods, settings);
}

void CNANDTest::OnDumpToFile() {
  CString path;
  if (!ChooseDumpFile(&path)) return;
  UpdateData(TRUE);
  DumpVeltanBlocks(path, *table_, m_First, m_Count, "Failed to create a temporary file.");
}
