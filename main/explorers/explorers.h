// The device explorers and programming tools as far as the frame opens them: the Veltan
// explorer shows one page of the device as hex rows, the duplicate windows stand in for their
// tool; the NOR explorer and the reset window live in nor/ (nor_explorer.h).
#pragma once
#include <cstdint>
#include <vector>

#include "explorers_resource.h"
#include "lxmfc.h"
#include "nor_explorer.h"

// What both explorers share: the hex rows of the bytes read last, a marked range, Refresh on
// the button or Enter, and a window that deletes itself when it goes.
class CHexExplorerDlg : public CDialog {
 public:
  CHexExplorerDlg(UINT templateId, CWnd* frame) : CDialog(templateId, nullptr), frame_(frame) {}
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void OnCancel() override { DestroyWindow(); }
  void PostNcDestroy() override;
  virtual void Refresh() = 0;
  // Marks the rows of a byte range of the shown bytes (or clears the mark).
  void Mark(uint32_t offset, uint32_t length, bool clear);
  CString m_Shown;

 protected:
  virtual uint32_t ShownAddress() const { return 0; }
  // Forgets the program's pointer to this window.
  virtual void Forget() = 0;
  void Show();
  CWnd* frame_;
  std::vector<uint8_t> bytes_;

 private:
  uint32_t markOffset_ = 0, markLength_ = 0;
};

class CVeltanExplorerDlg : public CHexExplorerDlg {
 public:
  explicit CVeltanExplorerDlg(CWnd* frame) : CHexExplorerDlg(IDD_LX_VELTAN_EXPLORER, frame) {}
  void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, IDC_LX_PAGE_NUMBER, m_PageNumber); }
  // Reads and shows page 0.
  void ShowFirstPage();
  // The page of the number box, limited to the device, read and shown.
  void Refresh() override;
  uint32_t NumberOfPages() const;
  // Spare bytes per 2,048-byte page (the page layout).
  uint32_t m_DeviceParameter = 64;
  UINT m_PageNumber = 0;

 protected:
  void Forget() override;
};

class CVeltanDuplicateDlg : public CDialog {
 public:
  explicit CVeltanDuplicateDlg(CWnd* parent = nullptr) : CDialog(IDD_LX_VELTAN_DUPLICATE, parent) {}
  uint32_t m_DeviceParameter = 64;
};

class CNorDuplicateDlg : public CDialog {
 public:
  explicit CNorDuplicateDlg(CWnd* parent = nullptr) : CDialog(IDD_LX_NOR_DUPLICATE, parent) {}
};

// The frame's commands. Device Explorer: by the options' device kind, destroys the explorer
// when it exists, else creates and shows it on its first page or window.
void ToggleDeviceExplorer(CWnd* frame);
void RunDeviceDuplicate(CWnd* frame);
// The explorer windows that exist, or null.
CVeltanExplorerDlg* GetVeltanExplorer();
// When the frame goes away.
void DestroyExplorers(CWnd* frame);
