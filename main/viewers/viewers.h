// The profiler and trace viewers, and the two document commands around the trace dump.
//
// Entry points for the main frame:
//   ToggleProfilerDialog(frame)         "Function Profiler": the modeless profiler window, made
//                                       once; shown after the frame in the z-order when hidden,
//                                       hidden when shown. Returns the window.
//   DestroyProfilerDialog()             when the frame goes away.
//   DumpDebugInformation(owner)         "Dump Debug Information": the module's bus trace to a
//                                       ".bin" file.
//   ShowDebugInformationViewer(owner)   "Debug Information Viewer": a ".bin" dump shown in
//                                       CDebugInfoDlg.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lumivex/deviceapi.h"
#include "lumivex/grid.h"
#include "lxmfc.h"
#include "viewers_resource.h"

class CFProfilerDlg;

CFProfilerDlg* ToggleProfilerDialog(CWnd* frame);
void DestroyProfilerDialog();
void DumpDebugInformation(CWnd* owner);
void ShowDebugInformationViewer(CWnd* owner);

// True when every byte of address..address+bytes is committed memory this process may read.
bool TraceBufferReadable(const void* address, size_t bytes);

// "Flash block device driver profiler": the call counts of the bound device module.
class CFProfilerDlg : public CDialog {
 public:
  explicit CFProfilerDlg(CWnd* parent = nullptr) : CDialog(IDD_LX_PROFILER, parent) {}
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

  void OnReset();
  void OnBeginEnd();
  void OnTimerRefresh();
  void OnExport();
  void OnImport();
  // Fills the count and accumulated cells of every row from the module.
  void RewriteCounts();

  bool IsRunning() const { return m_bRunning != 0; }
  CLxGrid& Grid() { return grid_; }
  int RowCount() const { return static_cast<int>(m_LastShown.size()); }

 private:
  void OnWheel(short delta);
  void Layout();
  void WriteRow(int index);

  CLxGrid grid_;
  std::vector<uint32_t> m_LastShown;
  uint8_t m_bRunning = 0;
  RECT m_InitialRect = {0, 0, 0, 0};
  // Where the controls sat in the first client area: the grid keeps its margins, the buttons
  // their distance from the bottom.
  struct Anchor {
    HWND window;
    RECT rect;
    bool grows;
  };
  std::vector<Anchor> anchors_;
  SIZE initialClient_ = {0, 0};
};

// The trace viewer: 50,000 records of a caller's buffer, which must outlive the dialog.
class CDebugInfoDlg : public CDialog {
 public:
  CDebugInfoDlg(const uint8_t* records, CWnd* parent = nullptr)
      : CDialog(IDD_LX_TRACE_VIEWER, parent), records_(records) {}
  BOOL OnInitDialog() override;
  BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override;
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  CLxGrid& Grid() { return grid_; }

 private:
  const uint8_t* records_;
  CLxGrid grid_;
};
