// The sector tools of the main program: the volume duplicate, the sector explorer with its
// find window and its import and export dialogs, and the analyzer module dialog. The frame
// reaches them only through the four functions at the end.
#pragma once
#include <cstdint>
#include <vector>

#include "hex_explorer.h"
#include "hex_grid_tools.h"
#include "lumivex/grid.h"
#include "lxmfc.h"
#include "sector_core.h"
#include "sectortools_resource.h"

// The device API table's sectors of partition 0 through the given addressing.
class VolumeSectors : public lx::SectorDevice {
 public:
  explicit VolumeSectors(int addressing) : addressing_(addressing) {}
  int Read(uint32_t first, uint32_t count, uint8_t* buffer) override;
  int Write(uint32_t first, uint32_t count, const uint8_t* data) override;

 private:
  int addressing_;
};

// ---- volume duplicate ------------------------------------------------------------------------
class CVolumeDuplicateDlg : public CDialog {
 public:
  explicit CVolumeDuplicateDlg(CWnd* parent = nullptr) : CDialog(IDD_LX_VOLUME_DUPLICATE, parent) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, IDC_VD_PATH, m_strMasterPath); }
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void OnCancel() override;

  void OnBrowse();
  void OnCreateMasterVolumeFile();
  void OnCheckDuplicateVolume();
  void OnFormatVolume() { FormatOrErase(false); }
  void OnLowLevelFormat() { FormatOrErase(true); }
  void OnCreateDuplicateVolume();
  void EnableControls(bool enable);

  CString m_strMasterPath;
  bool m_bStopRequested = false;
  bool m_bRunning = false;

 private:
  void FormatOrErase(bool erase);
  // Unmounts volume 0 when a volume is mounted; false (after its message) when that failed.
  bool UnmountFirst();
  lx::SectorLoopResult Copy(bool toFile, uint32_t total);
  void SetProgress(int percent);
  void EndRun();
  int shownPercent_ = -1;
};

// ---- sector explorer -------------------------------------------------------------------------
class CSectorFindDlg;

class CSectorExplorerDlg : public CHexExplorerWithFind<CSectorFindDlg> {
 public:
  explicit CSectorExplorerDlg(CWnd* frame);
  void PostNcDestroy() override;
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void OnOK() override {}
  void OnCancel() override { ShowWindow(SW_HIDE); }

  // The operations the find window uses.
  int ReadSector(int32_t sector, uint8_t* buffer);
  int32_t CountSectors();
  void Refresh() override { Move(); }
  void MarkByte(int offset);
  void RestoreHighlight();

  // "|<", "<", ">", ">|", Move (the number box decides), and the sector read and shown.
  void ShowFirstSector();
  void ShowPreviousSector();
  void ShowNextSector();
  void ShowLastSector();
  void Move();
  void ShowSector();
  void SetSectorNumber(int32_t sector);
  void SetAddressing(int addressing);
  void WriteSector();
  void JumpToLatestSector();

  int32_t m_SectorNumber = 0;
  int32_t m_SectorCount = 0;
  int m_Addressing = 0;
  // The sector the buffer holds, or -1 after a failed read: what Write sector stores.
  int32_t m_ShownSector = -1;
  int m_ShownAddressing = 0;
  std::vector<uint8_t> m_Buffer = std::vector<uint8_t>(lx::kSectorSize, 0);

 protected:
  bool EditableCell(long row, long col) const override;
  long DataRows() const override;
  std::string StoreCell(long row, long col, const std::string& typed) override;
  bool MayTransfer(bool import) override;
  std::unique_ptr<CDialog> MakeTransferDialog(bool import) override;

 private:
  void FillGrid();
  bool ReadNumberBox(int32_t* number);
  CWnd* frame_;
  COLORREF savedHeader_ = 0;
  bool headerPlain_ = true;
};

// ---- sector find -----------------------------------------------------------------------------
class CSectorFindDlg : public CHexFindDlg {
 public:
  explicit CSectorFindDlg(CHexExplorer* explorer)
      : CHexFindDlg(IDD_LX_SECTOR_FIND, explorer, {IDC_SF_FIND_NEXT, IDC_SF_STOP, IDCANCEL, IDC_SF_PROGRESS}) {}
  void DoDataExchange(CDataExchange* dx) override;
  void FindNext() override;
  void StartAtTheExplorer() override;

  int32_t m_SearchSector = 0;
  int32_t m_StartSector = 0;
  int32_t m_BytePosition = 0;
  int32_t m_SectorCount = 0;
  int m_EndSector = 0;
  int m_Kind = 0;    // 0 ASCII, 1 hexadecimal
  int m_Scope = 0;   // 0 the current sector, 1 from the current position
  int m_Difference = 0;
  CString m_Pattern;

 private:
  CSectorExplorerDlg* Explorer() const { return static_cast<CSectorExplorerDlg*>(m_pExplorer); }
};

// ---- sector import and export ------------------------------------------------------------------
class CSectorTransferDlg : public CDialog {
 public:
  CSectorTransferDlg(bool import, int32_t first, int addressing, CWnd* parent)
      : CDialog(import ? IDD_LX_SECTOR_IMPORT : IDD_LX_SECTOR_EXPORT, parent), m_bImport(import),
        m_FirstSector(first), m_Addressing(addressing) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void OnOK() override { Run(); }
  void OnCancel() override;
  void Browse();
  void Run();
  void Import();
  void Export();
  void Transfer();
  // The two fields' limits after a change of one of them.
  void FieldsChanged(bool firstChanged);

  bool m_bImport;
  int32_t m_SectorCount = 0;
  CString m_FileName;
  CString m_FileInfo;
  int m_FirstSector;
  int m_NumberOfSectors = 1;
  int m_Addressing;
  bool m_bRunning = false;
  bool m_bStopRequested = false;

 private:
  bool adjusting_ = false;
};

// ---- analyzer module dialog ------------------------------------------------------------------
class COpenVyrDlg : public CDialog {
 public:
  explicit COpenVyrDlg(CWnd* parent = nullptr) : CDialog(IDD_LX_OPEN_VYR, parent) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  void OnOK() override { CloseModule(); }
  void OnCancel() override { CloseModule(); }

  void LoadModule();
  void ChangeModule();
  void ChangeOutputFolder();
  void AuxiliaryChanged();
  // Fills the record; false when the user cancelled a question of the auxiliary set-up.
  bool BuildRecord();
  void StartBDAnalysis();
  void StartFSAnalysis();
  void OnPollTimer();
  void BeginPolling();
  void EnableStarts(bool idle);
  void GetAnalysisReport();
  // "Close": vyrClose, the libraries freed, the dialog closed.
  void CloseModule();
  void CloseAndFree();
  void FreeLibraries();

  lx::VyrAnalysisRecord m_Record = {};
  CString m_ModuleName;
  CString m_OutputFolder;
  CString m_Information;
  int m_BdLevel = 1, m_FsLevel = 1, m_Target = 0, m_DeviceType = 0, m_Interleave = 0;
  int m_Auxiliary = 0;
  HMODULE m_hVyr = nullptr;
  HMODULE m_hViewer = nullptr;
  bool m_bViewerBound = false;
  bool m_bAnalysisStarted = false;
  bool m_bPolling = false;
  bool m_bFsNext = false;  // a BD run of level 3 or more may be followed by an FS run
  int m_Polls = 0;
};

// A folder chooser; false on Cancel. Tests queue answers instead (null for Cancel), as they do
// for file dialogs.
bool BrowseForFolder(HWND owner, const char* title, const char* initial, CString* chosen);
void QueueFolderAnswerForTests(const char* folder);
// Tests see the report files the analyzer dialog opens instead of starting their programs.
void SetReportOpenerForTests(void (*opener)(HWND, const char*));

// ---- the frame's commands ----------------------------------------------------------------------
// Sector Explorer: made on first use, then shown on sector 0 or hidden.
void ToggleSectorExplorer(CWnd* frame);
CSectorExplorerDlg* GetSectorExplorer();
// Volume Duplicate and the analyzer: modal.
void RunVolumeDuplicate(CWnd* frame);
void RunVyrAnalyzer(CWnd* frame);
// When the frame goes away: the explorer goes, or, while one of its operations runs, hides and goes
// when the operation returns.
void DestroySectorTools();
