// The main window: an MDI frame with the menu bar, the toolbar with the device selector, the
// status bar with its progress pane, the docked script editor, script log and volume tree
// panes, tabs of the thread windows, and the command dialog's history.
#pragma once
#include <atomic>
#include <cstdint>

#include "app.h"
#include "log_ctrl.h"
#include "lxmfc.h"
#include "lxtoolkit.h"
#include "tree_ctrl.h"

#define LX_MAIN_FRAME_CLASS "LumivexMainFrame"

class CCommandDlg;
class CChildFrame;

// Messages of the frame to itself.
#define WM_LX_DEVICE_CHANGED (WM_APP + 40)
#define WM_LX_SELECT_KIND (WM_APP + 41)
#define WM_LX_SCRIPT_ENDED (WM_APP + 42)

class CMainFrame : public CWnd, public IMainFrameServices {
 public:
  CMainFrame();
  ~CMainFrame() override;

  // Creates the window (OnCreate builds the bars); false when any step failed.
  BOOL CreateFrame();
  int OnCreate(CREATESTRUCTA* cs) override;
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  BOOL PreTranslateMessage(MSG* msg) override;
  BOOL DestroyWindow() override;
  void PostNcDestroy() override {
    if (autoDelete_) delete this;
  }

  // IMainFrameServices
  void SelectDeviceKind(int kind) override;
  void StartProgress() override;
  void StopProgress() override;
  bool IsDeviceOpen() const override;
  void CloseSplash() override;
  BOOL OpenThreadWindow() override;

  // The device selector's change: the kind into the options (SPI also resets the window
  // size index), then saved.
  void OnDeviceSelChange();
  // Edit commands of accelerators (code 1) for the script page or log with the focus.
  BOOL OnAcceleratorCommand(UINT id);
  // Whether a menu command is available now (the enabling table of the document's commands).
  bool IsCommandEnabled(UINT id) const;
  bool IsCommandChecked(UINT id) const;
  // Runs a menu command; false when the id is none of the frame's.
  bool OnMenuCommand(UINT id);
  void ActivateFrame(int show);

  // Script pages, and the script runs of main/scripting (one at a time, on a thread of their own).
  BOOL AddScriptPage(const char* title, const char* text, bool editable);
  CString GetPageText(int index) const;
  CString GetSelectedPageText() const;
  void SetPageTitle(int index, const char* title);
  CString LoadScriptResource(int index) const;
  void RunScript();
  void InterruptScript();
  void CloseScriptEngine();

  // The command history file (read at creation, written at destruction).
  void LoadHistory();
  void SaveHistory();

  // The thread windows.
  CChildFrame* GetActiveChild() const;
  HWND GetMdiClient() const { return mdiClient_; }
  int ThreadWindowCount() const;
  // Closes every thread window through the MDI client; the frame does this before it goes.
  void CloseThreadWindows();
  void RefreshTabs() { m_wndMdiTabs.Refresh(); }
  // Re-applies the device state to the menus and buttons (also on a posted change).
  void OnDeviceStateChanged();
  // Lays the bars, panes and the MDI client out in the client area.
  void RecalcLayout();

  // The bars and panes the user arranged: kept in the registry under the profile (one
  // layout per user level), read back at creation; the reset puts the first start's back.
  void SaveBarState();
  void LoadBarState();
  void ResetLayout();
  void ShowMenuBar(bool show);
  // The bar toggles' check marks on the toolbar follow the bars.
  void UpdateBarButtons();
  // Print, Print Direct, Print Preview and Print Setup: the log when it has the focus, else
  // the active thread window.
  void OnPrintCommand(UINT id);

  CExtProgressWnd* m_pProgress = nullptr;
  CExtMenuControlBar m_wndMenuBar;
  CExtStatusControlBar m_wndStatusBar;
  CExtToolControlBar m_wndToolBar;
  CExtControlBar m_wndScriptEditorBar;
  CExtControlBar m_wndScriptLogBar;
  CExtControlBar m_wndVolumeTreeBar;
  CVolumeTreeCtrl m_wndVolumeTree;
  CExtTabMdiWnd m_wndMdiTabs;
  CLogCtrl m_wndLog;
  CExtComboBox m_wndDeviceSelector;
  CCommandDlg* m_pCommandDlg = nullptr;
  CString m_HistoryPath;
  CExtTabPageContainerFlatWnd m_wndScriptPages;
  CExtDockSite m_dockSite;
  bool m_bMenuBarVisible = true;
  HWND m_hPrintPreview = nullptr;

  std::atomic<int> m_nRunningThreads{0};
  bool m_bVolumeTreeBuilt = false;
  HACCEL m_hAccel = nullptr;

 private:
  void LoadFrameMenu(UINT id);
  bool autoDelete_ = false;
  HWND mdiClient_ = nullptr;
  std::vector<std::unique_ptr<CWnd>> scriptPages_;
};

// The frame of the running program, or null.
CMainFrame* GetMainFrame();
