// The NAND explorer: one page of the device (2,048 data bytes and the spare area) as a hex grid
// with a text column, stepped, edited in place and written back; the hub of the find, import
// and export dialogs, the ECC check and programming, and the edit sheet. It owns the device's
// block table. The frame reaches it through the functions at the end.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "hex_explorer.h"
#include "lumivex/grid.h"
#include "lxmfc.h"
#include "veltan_core.h"
#include "veltan_resource.h"
#include "window_tool_host.h"

class CExtEccModule;
class CVeltanFindDlg;

class CVeltanExplorerDlg : public CHexExplorerWithFind<CVeltanFindDlg> {
 public:
  CVeltanExplorerDlg(CWnd* frame, uint32_t spareSize);
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  // "Close" (and Esc): auto update off, the explorer gone; refused while an operation of its own runs.
  void OnOK() override { Close(); }
  void OnCancel() override { Close(); }
  void PostNcDestroy() override;

  // Navigation: the page set as named, read and shown.
  void ShowFirstPage();
  void ShowPreviousPage();
  void ShowNextPage();
  void ShowLastPage();
  // The typed page number, clamped to the device.
  void GoToPage();
  // The same for a page chosen by another tool.
  void GoToPage(uint32_t page);
  void Refresh() override { GoToPage(); }
  void OnReadModeChange(int mode);
  void OnAutoUpdateChange(int index) { SetAutoUpdate(index); }

  // The operations the other dialogs use.
  int ReadPage(uint32_t page);
  void ShowTitle(int status);
  void ShowPage(const uint8_t* buffer, bool headersOnly);
  void HighlightFound(uint32_t offset, uint32_t length, bool clear);
  uint8_t GetBusWidth();
  uint32_t GetTotalPages();

  void OnProgramPage();
  void OnProgramEcc();
  void OnCheckEcc();
  void OnFind() { ToggleFind(); }
  void OnEditPage();
  void OpenEditSheet(int sheetPage);

  // The in-place editor over a hex cell, by the names the NAND tools know.
  bool BeginCellEdit(long row, long col) { return OpenEditor(row, col); }
  void HideCellEditor() { HideEditor(); }

  uint32_t m_CurrentPage = 0;
  uint32_t m_TotalPages = 0;
  uint32_t m_SpareSize;
  uint8_t m_BusWidth = 8;
  uint8_t m_LayoutFlag = 0;
  std::vector<uint8_t> m_PageBuffer;
  std::unique_ptr<lx::CVeltanBlockTable> m_pBlockTable;
  RECT m_InitialRect = {};
  int m_ReadMode = 0;
  // The last read failed: the buffer is no page of the device and is not programmed.
  bool m_bReadFailed = true;

 protected:
  bool EditableCell(long row, long col) const override;
  int CellDigits() const override { return m_BusWidth == 16 ? 4 : 2; }
  long DataRows() const override;
  std::string StoreCell(long row, long col, const std::string& typed) override;
  bool MayTransfer(bool import) override;
  std::unique_ptr<CDialog> MakeTransferDialog(bool import) override;

 private:
  // Both "Program" buttons: the checks before the block is touched, then the rewrite.
  void ProgramBack(bool withEcc);
  // The edit sheet on one of its pages (or why there is none), then the page shown again.
  void RunEditSheet(int sheetPage, const char* caption);
  void RebuildLayout();
  void FillRows();
  void ClearRows();
  void LayoutGrid();
  CWnd* frame_;
  uint8_t builtWidth_ = 0;
  bool highlighted_ = false;
  long markFirst_ = 0, markLast_ = 0;
  int gridMarginBottom_ = 0;
};

// The find window: a pattern searched in the current page or in a range of pages.
class CVeltanFindDlg : public CHexFindDlg {
 public:
  explicit CVeltanFindDlg(CHexExplorer* explorer)
      : CHexFindDlg(IDD_VX_FIND, explorer, {IDC_VF_FIND_NEXT, IDC_VF_STOP, IDOK, IDC_VF_PROGRESS}) {}
  // "Close" has the id IDOK.
  void DoDataExchange(CDataExchange* dx) override;
  void FindNext() override;
  void OnFindNext() { FindNext(); }
  void StartAtTheExplorer() override;

  lx::VeltanFind m_Search;
  uint32_t m_StartPage = 0;
  CString m_Pattern;
  int m_LastPage = 0;
  int m_Kind = 0;   // 0 ASCII, 1 hexadecimal
  int m_Range = 0;  // 0 the current page, 1 from the current position
  int m_Difference = 0;

 private:
  CVeltanExplorerDlg* Explorer() const { return static_cast<CVeltanExplorerDlg*>(m_pExplorer); }
};

// The Windows side of what the core asks of its caller: boxes owned by a window, message pumping,
// the wait cursor with the frame's animation, and the block table file dialog.
class VeltanWinHost : public CWindowToolHostOf<lx::VeltanHost> {
 public:
  explicit VeltanWinHost(CWnd* owner);
  bool ChooseTableFile(std::string* path) override;
  std::string ScratchFolder() override;
};

// "<user area>\User Data" when the installation folder is known, else empty (file dialogs then
// start where Windows likes).
CString VeltanUserDataFolder();

// ---- hooks ---------------------------------------------------------------------------------------------
// Where the ECC module comes from: the frame names the document of its active command window.
// Without a source (or a null answer) no module is loaded.
void SetVeltanEccModuleSource(CExtEccModule* (*source)());
// The edit sheet ("Edit Veltan" on its first page from "Edit page...", "Edit Data" on pages 1..5
// from the five operation buttons), with the explorer's block table; modal. Until a sheet is
// hooked in, the buttons say that it is not available.
typedef void (*VeltanEditSheetOpener)(CVeltanExplorerDlg* explorer, int sheetPage, const char* caption);
void SetVeltanEditSheetOpener(VeltanEditSheetOpener opener);

// ---- the frame's command -------------------------------------------------------------------------------
// Device Explorer for the NAND kind: destroys the explorer when it exists, else creates it with
// the frame's spare size, shows it with "Move" focused and page 0 shown.
void ToggleVeltanExplorer(CWnd* frame);
CVeltanExplorerDlg* GetVeltanExplorer();
// Closes it as the frame does when it goes (CHexExplorer::CloseWithTheFrame).
void DestroyVeltanExplorer();
