// The "Device geometry" sheet of the NOR explorer and its pages: sector map, CFI data, sector
// protection (PPB/DYB), lock register and password, SecSi sector, and for SPI parts the register,
// block-protection, OTP, security-register and data-learning pages. Every page reaches the device
// through the device API table; the SPI pages switch the device into a register space and always
// hand it back to the address space the explorer shows.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lumivex/grid.h"
#include "lxmfc.h"
#include "nor_core.h"
#include "nor_resource.h"

class CNorExplorerDlg;

// Each page's initialisation: the sheet shows Close only (OK hidden, Cancel renamed; no Apply).
void PrepareSheetButtons(HWND page);

// Enters an SPI register space for the life of the object and hands the device back to the
// explorer's own address space at its end, whatever happened in between.
class SpiRegisterAccess {
 public:
  explicit SpiRegisterAccess(CNorExplorerDlg* explorer);
  ~SpiRegisterAccess();
  SpiRegisterAccess(const SpiRegisterAccess&) = delete;
  SpiRegisterAccess& operator=(const SpiRegisterAccess&) = delete;
  // gfslNORSetASOMode (0, 1) then (0, space); with leaveFirst false only (0, space).
  void Enter(uint32_t space, bool leaveFirst = true);
  bool ReadByte(uint32_t address, uint8_t* value);
  bool Read(uint32_t address, uint32_t length, uint8_t* buffer);
  bool Program(uint32_t address, uint32_t length, const uint8_t* data);
  bool Erase(uint32_t block);
  // Whether the device took the last space entered.
  bool Entered() const { return entered_; }

 private:
  CNorExplorerDlg* explorer_;
  int savedMode_;
  bool entered_ = true;
};

class CNorGeometrySheet : public CPropertySheet {
 public:
  CNorGeometrySheet(const char* caption, lx::CNorSectorTable* table, CNorExplorerDlg* explorer, int startPage,
                    int deviceCode);
  ~CNorGeometrySheet();
  // OK hidden, Cancel renamed "Close", no Apply button.
  void Prepare();
  INT_PTR DoModal() override;
  BOOL Create(CWnd* parent = nullptr) override;
  const std::vector<lx::NorPage>& Kinds() const { return kinds_; }

 private:
  std::vector<std::unique_ptr<CPropertyPage>> pages_;
  std::vector<lx::NorPage> kinds_;
};

// ---- NOR pages -----------------------------------------------------------------------------------
class CNorListPage : public CPropertyPage {
 public:
  CNorListPage(UINT templateId, lx::CNorSectorTable* table, const char* title = nullptr);
  ~CNorListPage() override;
  BOOL OnInitDialog() override;
  void FillList(const std::vector<std::string>& lines);
  std::vector<std::string> ListLines() const;
  lx::CNorSectorTable* m_pTable;

 protected:
  HFONT font_ = nullptr;
};

class CNorSectorGeometryPage : public CNorListPage {
 public:
  explicit CNorSectorGeometryPage(lx::CNorSectorTable* table) : CNorListPage(IDD_LX_NOR_SECTOR_GEOMETRY, table) {}
  BOOL OnInitDialog() override;
};

class CNorProtectGroupGeometryPage : public CNorListPage {
 public:
  explicit CNorProtectGroupGeometryPage(lx::CNorSectorTable* table) : CNorListPage(IDD_LX_NOR_PROTECT_GROUP, table) {}
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void RebuildList();
  // The chosen action on the selected list lines.
  void Proceed();
};

class CNorLockRegisterPage : public CPropertyPage {
 public:
  CNorLockRegisterPage(lx::CNorSectorTable* table, const char* title);
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void Refresh();
  void ProgramRegister();
  void ProgramPassword(uint32_t code, bool ask);
  void ReadPassword();
  lx::CNorSectorTable* m_pTable;
  int m_Boxes[5] = {};
  CString m_Words[4];
};

class CNorDumpPage : public CPropertyPage {
 public:
  CNorDumpPage(UINT templateId, CNorExplorerDlg* explorer) : CPropertyPage(templateId), m_pExplorer(explorer) {}
  BOOL OnInitDialog() override;
  // Reads 1,024 bytes at the base in the read mode's space and shows their dump.
  void Dump(int readMode, uint32_t base);
  CString DumpText() const;
  CNorExplorerDlg* m_pExplorer;
};

class CNorCFIDataPage : public CNorDumpPage {
 public:
  explicit CNorCFIDataPage(CNorExplorerDlg* explorer) : CNorDumpPage(IDD_LX_NOR_CFI_DATA, explorer) {}
  BOOL OnInitDialog() override;
};

class CNorSecSiSectorGeometryPage : public CNorDumpPage {
 public:
  explicit CNorSecSiSectorGeometryPage(CNorExplorerDlg* explorer) : CNorDumpPage(IDD_LX_NOR_SECSI, explorer) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void RefreshBase();
  void Program();
  CString m_Address, m_Data;
  int m_TopBoot = 0;
  uint32_t m_Base = 0;
};

// ---- SPI register pages --------------------------------------------------------------------------
struct SpiRegisterText {
  const char* title;
  const char* group;
  uint32_t space;
  const char* name;        // "Status Register", ... in the messages
  const char* programmed;  // the success message
  const char* bits[8];
  const char* explanations[8];
  uint8_t readOnly;        // boxes the user cannot change
  uint8_t irreversible;    // bits that cannot be cleared again once programmed to 1
  const char* secondNote;
};

class CSpiRegisterPage : public CPropertyPage {
 public:
  CSpiRegisterPage(CNorExplorerDlg* explorer, const SpiRegisterText& text);
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void RefreshRegister();
  void ProgramRegister();
  uint8_t Boxes() const;
  int m_Bits[8] = {};
  CNorExplorerDlg* m_pExplorer;
  const SpiRegisterText& m_Text;
};

#define LX_SPI_REGISTER_PAGES(X)                   \
  X(CSpiStatusRegisterPage, kSpiStatusText)        \
  X(CSpiConfigurationRegisterPage, kSpiConfigText) \
  X(CSpiStatusRegister1MarroPage, kMarroSr1Text)   \
  X(CSpiStatusRegister2MarroPage, kMarroSr2Text)   \
  X(CSpiStatusRegister3MarroPage, kMarroSr3Text)   \
  X(CSpiStatusRegister2BessaPage, kBessaSr2Text)

#define LX_DECLARE_SPI_REGISTER_PAGE(cls, text)     \
  extern const SpiRegisterText text;                \
  class cls : public CSpiRegisterPage {             \
   public:                                          \
    explicit cls(CNorExplorerDlg* explorer) : CSpiRegisterPage(explorer, text) {} \
  };
LX_SPI_REGISTER_PAGES(LX_DECLARE_SPI_REGISTER_PAGE)
#undef LX_DECLARE_SPI_REGISTER_PAGE

class CSpiProtectGroupGeometryPage : public CPropertyPage {
 public:
  CSpiProtectGroupGeometryPage(CNorExplorerDlg* explorer, int deviceCode);
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void BuildProtectionTable();
  void RefreshProtection();
  void ApplyProtection();
  void ToggleBpVolatility();
  bool BpLayout() const;
  bool SecLayout() const;
  int deviceCode;
  CLxGrid m_Grid;
  CNorExplorerDlg* explorer;

 private:
  void Highlight(int row);
  void FillRows(const std::vector<lx::ProtectRow>& rows, int firstColumn);
  void SetVolatility(uint8_t configuration);
};

class CSpiOtpPage : public CPropertyPage {
 public:
  enum Kind { kPirel, kBessa, kMarro };
  CSpiOtpPage(CNorExplorerDlg* explorer, Kind kind);
  ~CSpiOtpPage() override;
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void FillOtpOffsets();
  void DumpOtp();
  void ProgramOtpByte();
  void LockOtpRegion();
  void EraseSecurityRegister();
  CString DumpText() const;
  CNorExplorerDlg* explorer;
  Kind m_Kind;
  CString m_Data;

 private:
  const char* Caption() const { return m_Kind == kMarro ? "Security Registers" : "OTP regions"; }
  int Selected(int id) const;
  HFONT font_ = nullptr;
};

class CSpiOtpRegionsPage : public CSpiOtpPage {
 public:
  explicit CSpiOtpRegionsPage(CNorExplorerDlg* explorer) : CSpiOtpPage(explorer, kPirel) {}
};
class CSpiOtpRegionsBessaPage : public CSpiOtpPage {
 public:
  explicit CSpiOtpRegionsBessaPage(CNorExplorerDlg* explorer) : CSpiOtpPage(explorer, kBessa) {}
};
class CSpiOtpRegionsMarroPage : public CSpiOtpPage {
 public:
  explicit CSpiOtpRegionsMarroPage(CNorExplorerDlg* explorer) : CSpiOtpPage(explorer, kMarro) {}
};

class CSpiDLRegisterPage : public CPropertyPage {
 public:
  explicit CSpiDLRegisterPage(CNorExplorerDlg* explorer) : CPropertyPage(IDD_LX_SPI_DATA_LEARNING), explorer(explorer) {}
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void ReadDataLearningPattern();
  void WriteDataLearningRegister(bool nonVolatile);
  CNorExplorerDlg* explorer;
  CString m_Pattern, m_NonVolatile, m_Volatile;
};
