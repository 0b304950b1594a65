// The NOR explorer of parallel NOR and SPI devices: one window of bytes at a time as a hex and
// ASCII grid, stepped, edited in place and written back with or without a sector erase, the
// device's overlay address spaces, and the dialogs around it (find, import, export, reset, move to
// address). The frame reaches it only through the functions at the end; the geometry sheet is in
// nor_sheet.h and the edit sheet of the programming tools through nor_hooks.h.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "hex_explorer.h"
#include "hex_grid_tools.h"
#include "lumivex/grid.h"
#include "lxmfc.h"
#include "nor_core.h"
#include "nor_resource.h"

class CNorFindDlg;

// The device API table as the sector table's source (device 0, volume "/a").
class DeviceBlockSource : public lx::NorBlockSource {
 public:
  uint32_t BlockSize(uint32_t index) override;
  int BlockStatus(uint32_t index, uint16_t* status) override;
};

// The device API table as the explorer's loops reach the device (device 0).
class DeviceNorIo : public lx::NorDeviceIo {
 public:
  int Read(uint32_t address, uint32_t length, uint8_t* buffer) override;
  int Program(uint32_t address, uint32_t length, const uint8_t* data) override;
  int EraseSector(uint32_t sector) override;
};

class CNorExplorerDlg : public CHexExplorerWithFind<CNorFindDlg> {
 public:
  CNorExplorerDlg(CWnd* parent, int deviceCode);
  ~CNorExplorerDlg() override;
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override;
  void OnOK() override {}
  void OnCancel() override { Close(); }
  void PostNcDestroy() override;

  uint32_t GetWindowSize() const;
  int32_t CountWindows();
  int ReadWindow(int device, uint32_t address, uint32_t length, uint8_t* buffer);
  void SetTitle(bool readError);
  void ShowWindowData(const uint8_t* buffer, bool labelsOnly);

  void ShowFirstWindow();
  void ShowPreviousWindow();
  void ShowNextWindow();
  void ShowLastWindow();
  // The typed window number, kept inside the device, read and shown.
  void GoToWindow();
  void Refresh() override { GoToWindow(); }
  // The window that holds the byte address.
  void MoveToAddress(uint32_t address);
  void HighlightFound(int32_t offset, int32_t length, bool clear);

  // Address spaces: the read-mode list's entry applied to the device (leaving the last one).
  void ApplyAsoMode();
  int GetReadMode() const;
  void SetReadMode(int index);

  void ProgramWithoutErase();
  void ProgramWithErase();
  void RunEditSheet(int startPage, int mode);
  void RunGeometrySheet(int startPage);
  void RunMoveToAddress();

  int RowsPerWindow() const { return lx::NorRowsPerWindow(static_cast<uint32_t>(m_WindowBuffer.size())); }
  // Where the scratch file of "Program w/ erase" lies.
  static std::string TempFilePath();

  int32_t m_WindowIndex = 0;
  int32_t m_WindowCount = 0;
  bool m_bFirstLayout = true;
  std::vector<uint8_t> m_WindowBuffer;
  int m_PreviousAso = 0;
  lx::CNorSectorTable* m_pSectorTable = nullptr;
  int m_DeviceCode;

 protected:
  bool EditableCell(long row, long col) const override;
  long DataRows() const override { return RowsPerWindow(); }
  std::string StoreCell(long row, long col, const std::string& typed) override;
  void Tell(const char* text) override;
  bool SearchRefusesClose() const override { return true; }
  bool MayTransfer(bool import) override;
  std::unique_ptr<CDialog> MakeTransferDialog(bool import) override;

 private:
  bool RefusedOutsideReadMode();
  void ReadAndShow();
  CWnd* parent_;
};

// ---- find ---------------------------------------------------------------------------------------
class CNorFindDlg : public CHexFindDlg {
 public:
  explicit CNorFindDlg(CHexExplorer* explorer)
      : CHexFindDlg(IDD_LX_NOR_FIND, explorer, {IDC_NF_FIND_NEXT, IDC_NF_STOP, IDCANCEL, IDC_NF_PROGRESS}) {}
  void DoDataExchange(CDataExchange* dx) override;
  void FindNext() override;
  void StartAtTheExplorer() override;

  int32_t m_CurrentWindow = 0;
  int32_t m_StartWindow = 0;
  int32_t m_Position = 0;
  int32_t m_WindowCount = 0;
  int m_ToWindow = 0;
  CString m_FindText;
  int m_TextKind = 0;  // 0 ASCII, 1 hexadecimal
  int m_Scope = 0;     // 0 the current data, 1 from the current position
  int m_Different = 0;

 private:
  CNorExplorerDlg* Explorer() const { return static_cast<CNorExplorerDlg*>(m_pExplorer); }
};

// ---- import and export --------------------------------------------------------------------------
class CNorTransferDlg : public CDialog {
 public:
  CNorTransferDlg(bool import, int32_t startWindow, CWnd* parent)
      : CDialog(import ? IDD_LX_NOR_IMPORT : IDD_LX_NOR_EXPORT, parent), m_bImport(import), m_StartWindow(startWindow) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void OnOK() override { Run(); }
  void OnCancel() override;
  void Browse();
  void Run();
  void Import();
  void Export();
  // The windows the fields name, of the window size of the options.
  lx::NorWindowRange Range() const;
  void FieldsChanged(bool startChanged);

  bool m_bImport;
  CString m_FileName;
  int m_StartWindow;
  int m_NumberOfWindows = 1;
  int32_t m_TotalWindows = 0;
  bool m_bRunning = false;

 private:
  bool adjusting_ = false;
};

class CNorImportDlg : public CNorTransferDlg {
 public:
  CNorImportDlg(int32_t startWindow, CWnd* parent) : CNorTransferDlg(true, startWindow, parent) {}
};

class CNorExportDlg : public CNorTransferDlg {
 public:
  CNorExportDlg(int32_t startWindow, CWnd* parent) : CNorTransferDlg(false, startWindow, parent) {}
};

// ---- reset and move to address ------------------------------------------------------------------
class CNorResetDlg : public CDialog {
 public:
  explicit CNorResetDlg(CWnd* parent) : CDialog(IDD_LX_NOR_RESET, parent) {}
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void OnCancel() override { ShowWindow(SW_HIDE); }
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  void PostNcDestroy() override;
  // Sends gfslInit with 16, 17 or 18 and tells the result.
  void SendReset(int mode);
};

class CMoveToAddressDlg : public CDialog {
 public:
  explicit CMoveToAddressDlg(CWnd* parent) : CDialog(IDD_LX_MOVE_TO_ADDRESS, parent) {}
  void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, IDC_MA_ADDRESS, m_AddressText); }
  void OnOK() override;
  CString m_AddressText = "0x";
  uint32_t m_Address = 0;
};

// Irreversible writes (one-time-programmable bits, lock bits): a Yes/No question whose default is
// No, asked whatever the confirmation option says.
bool ConfirmIrreversible(CWnd* owner, const char* text, const char* caption);
// A plain message box owned by a window, default caption.
void NorMessage(CWnd* owner, const char* text);

// ---- the frame's side -----------------------------------------------------------------------------
// Creates and shows the explorer on window 0 in "Read mode"; false when it could not be made.
bool CreateNorExplorer(CWnd* frame, int deviceCode);
// Destroys it; false (after a message) while one of its operations runs.
bool DestroyNorExplorer();
CNorExplorerDlg* GetNorExplorer();
void ShowNorResetDialog(CWnd* frame);
void CloseNorResetDialog();
CNorResetDlg* GetNorResetDialog();
