// The programming tools' windows: the NOR and Veltan edit sheets with their program, copy,
// erase and test pages, and the two device duplicate dialogs. The frame and the explorers reach
// them only through the functions at the end; the work itself is the portable core
// (prog_core.h, dup_core.h, test_core.h).
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "dup_core.h"
#include "lxmfc.h"
#include "prog_core.h"
#include "programming_resource.h"
#include "test_core.h"

// A page whose long operations pump messages, show progress and ask through the prompt seam.
class CToolPage : public CPropertyPage, public lx::prog::Host {
 public:
  explicit CToolPage(UINT templateId) : CPropertyPage(templateId) {}
  BOOL OnInitDialog() override;
  BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override;
  // Button clicks go to OnButton.
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  virtual bool OnButton(int) { return false; }
  void Pump() override;
  bool StopRequested() override;
  void Progress(uint64_t position, uint64_t range) override;
  void Status(int line, const std::string& text) override;
  int Ask(const std::string& text, const char* caption, unsigned type) override;
  bool IsRunning() const { return running_; }

 protected:
  // Base 10 and the accelerations of the tools' spins; `fast` is the test pages' set.
  void SetupSpin(int spin, uint32_t low, uint32_t high, uint32_t position, bool fast = false);
  // Starts and ends a run: the button's texts, the sheet's Close button, wait cursor, animation.
  void BeginRun(int button, const char* stopText);
  void EndRun(int button, const char* idleText);
  // Shows a closing text unless it is empty.
  void Finish(const std::string& text);
  // The dumps: confirmation and a save dialog (false when either is refused), then the run.
  bool ChooseDumpFile(CString* path);
  void DumpNorRange(const CString& path, uint32_t start, uint64_t length, const char* createFailure, const char* success);
  void DumpVeltanBlocks(const CString& path, const lx::prog::VeltanTable& table, uint32_t first, uint32_t count,
                        const char* createFailure);
  // The sectors of the page's fields (read after the save dialog) into a file.
  void DumpNorSectors(const std::vector<lx::prog::NorSector>& sectors, const UINT* first, const UINT* count);
  // True when first .. first + count - 1 are sectors; else tells why not.
  bool CheckSectors(const std::vector<lx::prog::NorSector>& sectors, uint32_t first, uint32_t count);
  bool running_ = false;

 private:
  HCURSOR cursor_ = nullptr;
};

// The open-file or save-file dialog of the tools ("*.bin"), starting in the user area's
// "User Data" folder when the installation is known. False on Cancel.
bool BrowseToolFile(bool open, const char* extension, const char* filter, CString* path);

// ---- NOR pages ----------------------------------------------------------------------------------
class CProgramPartWindow : public CToolPage {
 public:
  explicit CProgramPartWindow(int mode) : CToolPage(IDD_LX_PROGRAM_PART_WINDOW), m_Mode(mode) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  bool OnButton(int id) override;
  void OnBrowse();
  void OnProgram();
  void OnRead();
  void OnVerify();
  CString m_Path, m_Info = "File information:", m_Start = "0x00000000", m_Length;
  int m_Verify = 0;
  int m_Mode;
};

class CProgramRawWindow : public CToolPage {
 public:
  CProgramRawWindow() : CToolPage(IDD_LX_PROGRAM_RAW_WINDOW) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  bool OnButton(int id) override;
  void OnBrowse();
  void OnProgram();
  CString m_Path, m_Info = "File information:";
  UINT m_StartWindow = 0, m_Windows = 0;
  int m_Verify = 0;
  uint32_t m_DeviceWindows = 0;
};

class CCopyWindow : public CToolPage {
 public:
  CCopyWindow() : CToolPage(IDD_LX_COPY_WINDOWS) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  bool OnButton(int id) override;
  void OnCopy();
  void OnDump();
  UINT m_Source = 0, m_Count = 1, m_Target = 0;
  int m_Verify = 0;
  uint32_t m_DeviceWindows = 0;
};

class CEraseSector : public CToolPage {
 public:
  explicit CEraseSector(const std::vector<lx::prog::NorSector>* sectors) : CToolPage(IDD_LX_ERASE_SECTORS), sectors_(sectors) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  bool OnButton(int id) override;
  void OnErase();
  void OnDump();
  UINT m_First = 0, m_Count = 0;
  int m_Verify = 0;

 private:
  const std::vector<lx::prog::NorSector>* sectors_;
};

// ---- Veltan pages -------------------------------------------------------------------------------
class CProgramPartPage : public CToolPage {
 public:
  explicit CProgramPartPage(const lx::prog::VeltanTable* table) : CToolPage(IDD_LX_PROGRAM_PART_PAGE), table_(table) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  bool OnButton(int id) override;
  void OnBrowse();
  void OnProgram();
  CString m_Path, m_Info = "File information:";
  UINT m_Page = 0;
  int m_Area = 0;

 private:
  const lx::prog::VeltanTable* table_;
};

class CProgramRawPage : public CToolPage {
 public:
  explicit CProgramRawPage(const lx::prog::VeltanTable* table) : CToolPage(IDD_LX_PROGRAM_RAW_PAGE), table_(table) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  bool OnButton(int id) override;
  void OnBrowse();
  void OnProgram();
  CString m_Path, m_Info = "File information:";
  UINT m_Start = 0, m_Count = 0;
  int m_LeaveSpare = 1, m_Policy = 0;

 private:
  const lx::prog::VeltanTable* table_;
};

class CCopyPage : public CToolPage {
 public:
  explicit CCopyPage(const lx::prog::VeltanTable* table) : CToolPage(IDD_LX_COPY_PAGES), table_(table) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  bool OnButton(int id) override;
  void OnCopy();
  void OnDump();
  UINT m_Source = 0, m_Count = 1, m_Target = 0;
  int m_LeaveSpare = 1;

 private:
  const lx::prog::VeltanTable* table_;
};

class CEraseBlock : public CToolPage {
 public:
  explicit CEraseBlock(const lx::prog::VeltanTable* table) : CToolPage(IDD_LX_ERASE_BLOCKS), table_(table) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  bool OnButton(int id) override;
  void OnErase();
  void OnDump();
  UINT m_First = 0, m_Count = 0;

 private:
  const lx::prog::VeltanTable* table_;
};

// ---- test pages ---------------------------------------------------------------------------------
// The method dialog of either test (the NAND one has one method less).
class CTestMethodDlg : public CDialog {
 public:
  explicit CTestMethodDlg(bool nand, CWnd* owner = nullptr);
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void OnOK() override;
  lx::prog::TestMethods m_Methods;
  bool m_Nand;

 private:
  int FirstBox() const { return m_Nand ? IDC_TM_FIRST_NAND_BOX : IDC_TM_FIRST_NOR_BOX; }
  void Browse(bool programFile);
  lx::prog::TestMethods shown_;
};

class CTestPage : public CToolPage {
 public:
  // The method dialog belongs to the page, and so to its sheet: while it is up the sheet takes no
  // clicks, and when it goes the sheet, not the main window, comes back to the front.
  CTestPage(UINT templateId, bool nand) : CToolPage(templateId), m_MethodDlg(nand, this) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  bool OnButton(int id) override;
  void OnSelectMethods();
  void OnStartStop();
  void OnStartChange();
  void OnCountChange();
  virtual void OnDumpToFile() = 0;
  // "%d test method is(are) selected..." or the request to select one.
  void UpdateSummary();
  CTestMethodDlg m_MethodDlg;
  UINT m_First = 0, m_Count = 0, m_Passes = 1, m_Wait = 0;
  int m_Repetition = 0, m_WaitMode = 0;
  std::string m_LastResult;

 protected:
  virtual uint32_t Units() const = 0;
  virtual std::string RunTest(const lx::prog::TestRunSettings& settings) = 0;

 private:
  bool adjusting_ = false;
};

class CDeviceTest : public CTestPage {
 public:
  explicit CDeviceTest(const std::vector<lx::prog::NorSector>* sectors)
      : CTestPage(IDD_LX_DEVICE_TEST, false), sectors_(sectors) {}
  void OnDumpToFile() override;

 protected:
  uint32_t Units() const override { return static_cast<uint32_t>(sectors_->size()); }
  std::string RunTest(const lx::prog::TestRunSettings& settings) override;

 private:
  const std::vector<lx::prog::NorSector>* sectors_;
};

class CNANDTest : public CTestPage {
 public:
  explicit CNANDTest(const lx::prog::VeltanTable* table) : CTestPage(IDD_LX_NAND_TEST, true), table_(table) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnDumpToFile() override;
  int m_DataBits = 0, m_SpareBits = 0;

 protected:
  uint32_t Units() const override { return static_cast<uint32_t>(table_->status.size()); }
  std::string RunTest(const lx::prog::TestRunSettings& settings) override;

 private:
  const lx::prog::VeltanTable* table_;
};

// ---- sheets -------------------------------------------------------------------------------------
// Page number 0: all five pages; 1 to 5: that page alone.
class CEditNorSheet : public CPropertySheet {
 public:
  CEditNorSheet(const char* caption, std::vector<lx::prog::NorSector> sectors, CWnd* parent, UINT page, int programTarget);
  std::vector<lx::prog::NorSector> m_Sectors;
  std::vector<std::unique_ptr<CToolPage>> m_Pages;
};

class CEditVeltanSheet : public CPropertySheet {
 public:
  CEditVeltanSheet(const char* caption, lx::prog::VeltanTable table, CWnd* parent, UINT page);
  lx::prog::VeltanTable m_Table;
  std::vector<std::unique_ptr<CToolPage>> m_Pages;
};

// ---- device duplicate ---------------------------------------------------------------------------
class CDuplicateDlg : public CDialog, public lx::prog::Host {
 public:
  CDuplicateDlg(UINT templateId, const char* name, CWnd* parent) : CDialog(templateId, parent), name_(name) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, IDC_DD_PATH, m_Path); }
  void OnCancel() override;
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  void Pump() override;
  bool StopRequested() override;
  void Progress(uint64_t position, uint64_t range) override;
  int Ask(const std::string& text, const char* caption, unsigned type) override;
  void OnBrowse();
  CString m_Path;
  bool m_Stop = true;
  bool m_Running = false;
  lx::prog::Report m_LastReport;

 protected:
  // Refuses (with its message) when no device is open.
  bool DeviceOpen();
  // Unmounts whatever is mounted; false (after "Unmount failed.") when that failed.
  bool UnmountFirst();
  void BeginRun();
  void EndRun();
  void ShowReport(const lx::prog::Report& report);
  lx::prog::RemainingTime time_;

 private:
  const char* name_;
  HCURSOR cursor_ = nullptr;
};

class CNorDuplicateDlg : public CDuplicateDlg {
 public:
  CNorDuplicateDlg(CWnd* parent, int deviceKind);
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void OnCreateMaster();
  void OnErase();
  void OnCreateDuplicate();
  uint32_t m_Chunk;
  std::vector<lx::prog::NorSector> m_Sectors;
};

class CVeltanDuplicateDlg : public CDuplicateDlg {
 public:
  CVeltanDuplicateDlg(CWnd* parent, uint32_t spare);
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void OnCreateList();
  void OnCreateMaster();
  void OnScan();
  void OnCompare();
  void OnErase();
  void OnCreateDuplicate();
  uint32_t m_Spare;
  int m_UseList = 1;
  bool m_CompareResult = false;
};

// ---- what the frame and the explorers call ------------------------------------------------------
// Hooks the edit sheets into the explorers (the frame calls it once at creation).
void InstallProgrammingTools();
// Device Duplicate: the NAND dialog for device kind 0, the NOR one for kinds 1 to 3.
void RunDeviceDuplicate(CWnd* frame);
// The explorers' edit sheets, modal. The NOR sheet reads the device's sectors itself.
INT_PTR ShowEditNorSheet(CWnd* parent, const char* caption, UINT page, int programTarget);
INT_PTR ShowEditVeltanSheet(CWnd* parent, const char* caption, const lx::prog::VeltanTable& table, UINT page);
