// The frame's toolkit: menu bar, toolbar, status bar with panes, docking panes in a fixed
// layout, tab strips for MDI children and for pages. Thin classes over Win32 controls.
#pragma once
#include "lxdock.h"
#include "lxmfc.h"

#include <string>
#include <vector>

// The signed coordinates of a mouse message's LPARAM.
inline int LxPointX(LPARAM lp) { return static_cast<short>(LOWORD(lp)); }
inline int LxPointY(LPARAM lp) { return static_cast<short>(HIWORD(lp)); }

// Registers a window class of this program once (later calls find it); false on failure.
bool LxRegisterWindowClass(const char* name, WNDPROC proc, int backgroundColour, bool withIcon = false,
                           UINT classStyle = 0);

// The menu bar: the frame's Win32 menu from a resource.
class CExtMenuControlBar : public CWnd {
 public:
  // Loads menu resource menuId and sets it on the frame; the window-list popup is the one whose
  // text equals m_windowPopupText (the MDI client keeps its list of children there).
  BOOL Create(CWnd* frame, UINT menuId, UINT id);
  HMENU GetMenu() const { return menu_; }
  // The popup whose text (without '&') equals the given one, or null.
  HMENU FindPopup(const char* text) const;
  CString m_windowPopupText = "Window";
  UINT m_nId = 0;

 private:
  HMENU menu_ = nullptr;
};

// A toolbar of command buttons with room for child controls (the device selector).
class CExtToolControlBar : public CWnd {
 public:
  // Images of the common controls' small view set are kViewImages + VIEW_...
  static constexpr int kViewImages = 1000;
  struct Button {
    UINT command;    // 0 makes a separator
    int stdImage;    // an image of the common controls' standard small set (STD_...), -1: none
    const char* tip;
    bool check = false;  // a button that stays pressed while its thing is on
  };
  BOOL Create(CWnd* frame, UINT id, DWORD style);
  // Replaces the buttons; a leading gap of `gap` pixels leaves room for child controls.
  BOOL LoadButtons(const std::vector<Button>& buttons, int gap = 0);
  int Height() const;
  BOOL IsButtonEnabled(UINT command) const;
  void EnableButton(UINT command, BOOL enable);
  BOOL IsButtonChecked(UINT command) const;
  void CheckButton(UINT command, BOOL check);
  UINT m_nId = 0;

 private:
  int viewBase_ = 0;
};

// The status bar: panes by id, the first pane for messages.
class CExtStatusControlBar : public CWnd {
 public:
  BOOL Create(CWnd* frame, UINT id, DWORD style);
  BOOL SetIndicators(const UINT* ids, int count);
  // Inserts a pane at the index; false when the index is beyond the panes or the id exists.
  BOOL AddPane(UINT id, int index);
  int CommandToIndex(UINT id) const;
  void SetPaneWidth(int index, int width);
  BOOL SetPaneText(int index, const char* text);
  CString GetPaneText(int index) const;
  // Places a child window over the pane (it follows the pane on every layout).
  void SetPaneControl(int index, HWND child);
  int Height() const;
  // Re-divides the bar after a size change.
  void Layout();
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  UINT m_nId = 0;

 private:
  struct Pane {
    UINT id;
    int width;  // -1: the stretching message pane
    CString text;
    HWND control;
  };
  std::vector<Pane> panes_;
};

class CExtProgressWnd : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
  void SetRange(int low, int high);
  int SetPos(int pos);
  int GetPos() const;
  void SetStep(int step);
  int StepIt();
};

class CExtComboBox : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
  int AddString(const char* text);
  int InsertString(int index, const char* text);
  int DeleteString(int index);
  int GetCount() const;
  int GetCurSel() const;
  int SetCurSel(int index);
  CString GetLBText(int index) const;
  void ResetContent();
};

// A notification of a pane's client handed back to the client itself (the pane's
// m_bReflectNotify): wParam and lParam as in WM_NOTIFY; the answer is the notification's result.
#define LX_WM_REFLECT_NOTIFY (0xBC00 + WM_NOTIFY)

class CExtDockSite;

// A docking pane: a caption strip with the title (and a close button) over one child that
// fills the rest. The frame's dock site places it: docked on a side of the frame, or inside
// a floating window of its own. Dragging the caption moves it, double-clicking floats or
// docks it, its context menu docks, floats or hides it.
class CExtControlBar : public CWnd {
 public:
  BOOL Create(const char* title, CWnd* frame, UINT id, DWORD style);
  void SetInitialSize(int cx, int cy) { initial_ = {cx, cy}; }
  SIZE GetInitialSize() const { return initial_; }
  void SetClient(HWND client);
  HWND GetClient() const { return client_; }
  // No caption strip while floating: the floating window's caption carries the title.
  int CaptionHeight() const;
  void Layout();
  // The frame that the pane's controls report to, docked or floating.
  HWND GetFrame() const { return frame_; }
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  // The client handles its own notifications (a control that acts on them, such as a tree).
  bool m_bReflectNotify = false;
  CString m_title;
  UINT m_nId = 0;
  CExtDockSite* m_pSite = nullptr;
  bool m_bFloating = false;

  // Context menu commands of the caption (they go to the site, not to the frame).
  enum { kCmdDockLeft = 1, kCmdDockTop, kCmdDockRight, kCmdDockBottom, kCmdFloat, kCmdHide };

 private:
  RECT CloseButton() const;
  void TrackDrag(POINT start);
  SIZE initial_ = {100, 100};
  HWND client_ = nullptr;
  HWND frame_ = nullptr;
};

// The frame's docking panes: where they are docked, their splitters, floating windows, and
// their layout as text for the registry. The frame hands it the area between its bars;
// what the docked rows leave is the center (the MDI client and its tabs).
class CExtDockSite {
 public:
  void Attach(CWnd* frame, void (*relayout)(void* context), void* context);
  // A pane with its default place (defaults.id is the bar's id).
  void AddPane(CExtControlBar* bar, const lx::dock::Pane& defaults);
  // Lays the docked panes out in the area (frame client coordinates); returns the center.
  RECT Layout(const RECT& area);
  RECT Center() const { return center_; }

  bool IsPaneVisible(UINT id) const;
  void ShowPane(UINT id, bool show);
  void DockPane(UINT id, lx::dock::Side side);
  void DockPaneBeside(UINT id, UINT target);
  // Floats the pane at the screen rectangle (null: where it last floated, else near its place).
  void FloatPane(UINT id, const RECT* screen = nullptr);
  // Docks a floating pane where it was docked before, floats a docked one.
  void ToggleFloating(UINT id);
  // Caption drag released at a screen point: dock at an edge, beside a pane, or float
  // where the outline was.
  void DropPane(UINT id, POINT screen, const RECT& outline);

  std::string SaveLayout() const;
  // Applies a stored layout; false (and nothing changed) when the text is not one.
  bool LoadLayout(const std::string& text);
  void ResetLayout();
  const std::vector<lx::dock::Pane>& Panes() const { return panes_; }
  const lx::dock::Pane* FindPane(UINT id) const;
  HWND FloatingWindow(UINT id) const;

  // Splitter dragging on the frame: call from the frame's window procedure; true when taken.
  bool OnFrameMessage(UINT msg, WPARAM wp, LPARAM lp);
  void Destroy();

 private:
  int IndexOf(UINT id) const;
  void Apply();  // windows follow the panes' state, then the frame lays itself out again
  void EnsureFloatWindow(size_t index);
  static LRESULT CALLBACK FloatProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  CWnd* frame_ = nullptr;
  void (*relayout_)(void*) = nullptr;
  void* context_ = nullptr;
  std::vector<CExtControlBar*> bars_;
  std::vector<lx::dock::Pane> panes_, defaults_;
  std::vector<HWND> floats_;
  RECT area_ = {0, 0, 0, 0}, center_ = {0, 0, 0, 0};
  lx::dock::Layout layout_;
  int dragging_ = -1;
  POINT dragFrom_ = {0, 0};
  lx::dock::Layout dragLayout_;
  std::vector<lx::dock::Pane> dragPanes_;
};

// Tabs above the MDI client, one per child window; a click activates that child.
class CExtTabMdiWnd : public CWnd {
 public:
  BOOL Create(CWnd* frame, HWND mdiClient, DWORD style);
  // Re-reads the children of the MDI client (titles and the active one).
  void Refresh();
  int Height() const;
  int GetTabCount() const;
  CString GetTabText(int index) const;
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  HWND client_ = nullptr;
  std::vector<HWND> children_;
};

// Tabbed pages: a tab strip over the selected page window.
class CExtTabPageContainerFlatWnd : public CWnd {
 public:
  BOOL Create(CWnd* parent, const RECT& rect, UINT id, DWORD style);
  // The container owns nothing; pages are its children and go with it.
  BOOL PageInsert(HWND page, const char* title, int position, bool select);
  BOOL PageRemove(int index);
  int PageCountGet() const { return static_cast<int>(pages_.size()); }
  int PageSelectionGet() const;
  BOOL PageSelectionSet(int index);
  HWND PageHwndGetSafe(int index) const;
  BOOL PageTextSet(int index, const char* title);
  CString PageTextGet(int index) const;
  void Layout();
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void ShowSelected();
  HWND tabs_ = nullptr;
  std::vector<HWND> pages_;
};
