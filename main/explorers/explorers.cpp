#include "explorers.h"

#include <string>

#include "app.h"
#include "device_api.h"
#include "device_ops.h"
#include "explorer_core.h"

namespace {

CVeltanExplorerDlg* g_veltan = nullptr;
CNorExplorerDlg* g_nor = nullptr;
CNorResetDlg* g_reset = nullptr;

constexpr uint32_t kVeltanPageBytes = 2048;

}  // namespace

CVeltanExplorerDlg* GetVeltanExplorer() { return g_veltan; }
CNorExplorerDlg* GetNorExplorer() { return g_nor; }
CNorResetDlg* GetNorResetDialog() { return g_reset; }

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

// ---- NOR explorer -----------------------------------------------------------------------------
void CNorExplorerDlg::Forget() {
  if (g_nor == this) g_nor = nullptr;
}

BOOL CNorExplorerDlg::OnInitDialog() {
  SendDlgItemMessageA(m_hWnd, IDC_LX_ADDRESS_SPACE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Main array"));
  return CHexExplorerDlg::OnInitDialog();
}

BOOL CNorExplorerDlg::OnCommand(WPARAM wp, LPARAM lp) {
  if (LOWORD(wp) == IDC_LX_ADDRESS_SPACE && HIWORD(wp) == CBN_SELCHANGE) {
    ApplyAsoMode();
    return TRUE;
  }
  return CHexExplorerDlg::OnCommand(wp, lp);
}

void CNorExplorerDlg::ApplyAsoMode() {
  int selected = static_cast<int>(SendDlgItemMessageA(m_hWnd, IDC_LX_ADDRESS_SPACE, CB_GETCURSEL, 0, 0));
  m_AddressSpace = selected < 0 ? 0 : selected;
}

uint32_t CNorExplorerDlg::GetWindowSize() const {
  CBrambApp* app = GetBrambApp();
  return lx::NorWindowSize(app ? app->m_Options.WindowSizeIndex : 0);
}

uint64_t CNorExplorerDlg::DeviceBytes() const {
  uint64_t total = 0;
  for (uint32_t k = 0; k < lx::kMaxEraseBlocks; ++k) {
    uint32_t size = DeviceApiTable.gfslNORGetBlockSize("/a", k);
    if (size == 0 || size == 0xFFFFFFFFu) break;
    total += size;
  }
  return total;
}

uint32_t CNorExplorerDlg::ShownAddress() const {
  return static_cast<uint32_t>(static_cast<uint64_t>(m_WindowIndex) * GetWindowSize());
}

void CNorExplorerDlg::ShowFirstWindow() {
  m_WindowIndex = 0;
  UpdateData(FALSE);
  Refresh();
}

void CNorExplorerDlg::Refresh() {
  if (!UpdateData(TRUE)) return;
  uint32_t size = GetWindowSize();
  uint64_t windows = (DeviceBytes() + size - 1) / size;
  m_WindowIndex = lx::ClampShownIndex(m_WindowIndex, windows);
  UpdateData(FALSE);
  bytes_.assign(size, 0xFF);
  uint64_t address = static_cast<uint64_t>(m_WindowIndex) * size;
  CString title;
  if (address > 0xFFFFFFFFull ||
      DeviceApiTable.gfslNORReadData(0, static_cast<uint32_t>(address), size, bytes_.data()) != 0) {
    title.Format("NOR Device Explorer - read error at window %u", m_WindowIndex);
    bytes_.clear();
  } else {
    title.Format("NOR Device Explorer - window %u", m_WindowIndex);
  }
  SetWindowText(title);
  Show();
}

// ---- reset window -----------------------------------------------------------------------------
void CNorResetDlg::OnCancel() { DestroyWindow(); }

BOOL CNorResetDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_CLOSE) {
    DestroyWindow();
    *result = 0;
    return TRUE;
  }
  return CDialog::OnMessage(msg, wp, lp, result);
}

void CNorResetDlg::PostNcDestroy() {
  if (g_reset == this) g_reset = nullptr;
  delete this;
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
  if (g_nor) {
    g_nor->DestroyWindow();
    return;
  }
  auto* explorer = new CNorExplorerDlg(frame, static_cast<uint32_t>(lx::FrameDevice().DeviceCode));
  if (!explorer->Create(IDD_LX_NOR_EXPLORER, nullptr)) {
    delete explorer;
    return;
  }
  g_nor = explorer;
  explorer->ShowWindow(SW_SHOW);
  ::SetFocus(::GetDlgItem(explorer->m_hWnd, IDC_LX_WINDOW_NUMBER));
  SendDlgItemMessageA(explorer->m_hWnd, IDC_LX_ADDRESS_SPACE, CB_SETCURSEL, 0, 0);
  explorer->ApplyAsoMode();
  explorer->ShowFirstWindow();
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

void ShowNorResetDialog(CWnd* frame) {
  if (!g_reset) {
    auto* dialog = new CNorResetDlg(frame);
    if (!dialog->Create(IDD_LX_NOR_RESET, frame)) {
      delete dialog;
      return;
    }
    g_reset = dialog;
  }
  ::SetWindowPos(g_reset->m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

void CloseNorResetDialog() {
  if (g_reset && g_reset->m_hWnd) g_reset->SendMessage(WM_CLOSE);
}

void DestroyExplorers(CWnd*) {
  CloseNorResetDialog();
  if (g_veltan) g_veltan->DestroyWindow();
  if (g_nor) g_nor->DestroyWindow();
}
