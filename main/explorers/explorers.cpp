#include "explorers.h"

#include <string>

#include "app.h"
#include "device_api.h"
#include "device_ops.h"
#include "explorer_core.h"

namespace {

CVeltanExplorerDlg* g_veltan = nullptr;

constexpr uint32_t kVeltanPageBytes = 2048;

}  // namespace

CVeltanExplorerDlg* GetVeltanExplorer() { return g_veltan; }

// ---- both explorers ---------------------------------------------------------------------------
BOOL CHexExplorerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // Hex rows line up only in a fixed-pitch font.
  SendDlgItemMessageA(m_hWnd, IDC_LX_EXPLORER_DUMP, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)),
                      TRUE);
  UpdateData(FALSE);
  return TRUE;
}

BOOL CHexExplorerDlg::OnCommand(WPARAM wp, LPARAM lp) {
  if (LOWORD(wp) == IDC_LX_EXPLORER_REFRESH || LOWORD(wp) == IDOK) {
    Refresh();
    return TRUE;
  }
  return CDialog::OnCommand(wp, lp);
}

void CHexExplorerDlg::PostNcDestroy() {
  Forget();
  delete this;
}

void CHexExplorerDlg::Mark(uint32_t offset, uint32_t length, bool clear) {
  markOffset_ = clear ? 0 : offset;
  markLength_ = clear ? 0 : length;
  Show();
}

void CHexExplorerDlg::Show() {
  std::string rows = lx::HexRows(bytes_.data(), bytes_.size(), ShownAddress(), markOffset_, markLength_);
  m_Shown = rows.c_str();
  SetDlgItemText(IDC_LX_EXPLORER_DUMP, rows.c_str());
}

// ---- Veltan explorer --------------------------------------------------------------------------
void CVeltanExplorerDlg::Forget() {
  if (g_veltan == this) g_veltan = nullptr;
}

uint32_t CVeltanExplorerDlg::NumberOfPages() const {
  uint64_t blocks = DeviceApiTable.gfslVeltanGetNumberOfPhysicalBlocks("/a");
  uint64_t pages = DeviceApiTable.gfslVeltanGetNumberOfPagesPerBlock("/a");
  // All ones is a module's failure, not a size.
  if (blocks == 0xFFFFFFFFu || pages == 0xFFFFFFFFu) return 0;
  uint64_t total = blocks * pages;
  return total > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(total);
}

void CVeltanExplorerDlg::ShowFirstPage() {
  m_PageNumber = 0;
  UpdateData(FALSE);
  Refresh();
}

void CVeltanExplorerDlg::Refresh() {
  if (!UpdateData(TRUE)) return;
  m_PageNumber = lx::ClampShownIndex(m_PageNumber, NumberOfPages());
  UpdateData(FALSE);
  bytes_.assign(kVeltanPageBytes + m_DeviceParameter, 0xFF);
  CString title;
  if (DeviceApiTable.gfslVeltanReadRawPage(0, m_PageNumber, 1, bytes_.data()) != 0) {
    title.Format("Veltan Device Explorer - read error at page %u", m_PageNumber);
    bytes_.clear();
  } else {
    title.Format("Veltan Device Explorer - page %u", m_PageNumber);
  }
  SetWindowText(title);
  Show();
}

// ---- the frame's commands -----------------------------------------------------------------------
void ToggleDeviceExplorer(CWnd* frame) {
  CBrambApp* app = GetBrambApp();
  int kind = app ? app->m_Options.DeviceKind : 0;
  if (kind == 0) {
    if (g_veltan) {
      g_veltan->DestroyWindow();
      return;
    }
    auto* explorer = new CVeltanExplorerDlg(frame);
    explorer->m_DeviceParameter = lx::FrameDevice().VeltanSpareSize;
    if (!explorer->Create(IDD_LX_VELTAN_EXPLORER, nullptr)) {
      delete explorer;
      return;
    }
    g_veltan = explorer;
    explorer->ShowWindow(SW_SHOW);
    ::SetFocus(::GetDlgItem(explorer->m_hWnd, IDC_LX_PAGE_NUMBER));
    explorer->ShowFirstPage();
    return;
  }
  if (GetNorExplorer()) {
    DestroyNorExplorer();
    return;
  }
  CreateNorExplorer(frame, lx::FrameDevice().DeviceCode);
}

void RunDeviceDuplicate(CWnd*) {
  CBrambApp* app = GetBrambApp();
  if (!app || app->m_Options.DeviceKind == 0) {
    CVeltanDuplicateDlg dialog(nullptr);
    dialog.m_DeviceParameter = lx::FrameDevice().VeltanSpareSize;
    dialog.DoModal();
  } else {
    CNorDuplicateDlg dialog(nullptr);
    dialog.DoModal();
  }
}

void DestroyExplorers(CWnd*) {
  CloseNorResetDialog();
  if (g_veltan) g_veltan->DestroyWindow();
  if (CNorExplorerDlg* nor = GetNorExplorer()) {
    if (nor->m_pFindDlg) nor->m_pFindDlg->Stop();
    nor->m_Busy = 0;
    nor->DestroyWindow();
  }
}
