// The volume tree of the frame's tree bar: the PC drives that can be read and the first volume
// of the open device side by side; browse, rename, new folder, delete, open with the registered
// application, copy, cut and paste in any direction, drag and drop, properties.
//
// Each item shows its name in the ANSI code page when the name has an exact ANSI form; otherwise
// it shows the raw UTF-8 bytes, drawn bold, with item data 0. Paths are built from the items'
// true (UTF-8) names, one conversion per name, so both kinds of item reach the device and the
// PC's wide file functions unchanged.
#pragma once
#include <string>

#include "lxmfc.h"
#include "tree_core.h"

class CProgressDlg;
class CPropertiesDlg;

// The item data of an item whose text is ANSI.
constexpr LPARAM kAnsiItemData = static_cast<LPARAM>(0xFFFFFFFFu);

class CVolumeTreeCtrl : public CWnd {
 public:
  CVolumeTreeCtrl();
  ~CVolumeTreeCtrl() override;

  // Creates the tree-view control: drag and drop and label editing on, single-expand off.
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
  BOOL DestroyWindow() override;
  // The document's "Volume tree" command: image list (first time), then the readable drives a
  // to x and "/a" as roots.
  void BuildRoots();

  // The item's path as shown (texts joined with '/', root first) and as it really is (UTF-8).
  CString GetItemPath(HTREEITEM item) const;
  std::string GetItemPathUtf8(HTREEITEM item) const;
  // The item of a path among the listed items, or null.
  HTREEITEM FindItem(const std::string& pathUtf8) const;
  // Lists the children of the selected item again.
  void ListChildren();
  // Lists the volume root again: after a tool rewrote the volume behind the tree's back.
  void RelistVolume();
  // Fills the properties window from the selection.
  int UpdateProperties();
  // True while a copy runs: the tree then refuses its commands.
  bool IsCopyRunning() const { return m_bCopyRunning; }

  // Commands (the context menu's, also called by the keys and by drag and drop).
  void OnRefresh();
  void OnOpenItem();
  void OnCutItem();
  void OnCopyItem();
  void OnPasteItem();
  void OnDeleteItem();
  void OnNewFolder();
  void OnRenameItem();
  void OnProperties();
  void OnCopyFileUtf8();
  void OnPasteFileUtf8();
  void OnDeleteFileUtf8();

  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

  HIMAGELIST m_imageList = nullptr;
  HIMAGELIST m_pDragImage = nullptr;
  bool m_bTreeBuilt = false;
  bool m_bCutMode = false;
  HTREEITEM m_hSourceItem = nullptr;
  CString m_strSourceName;
  CString m_strSourcePath;
  bool m_bRawUtf8 = false;
  CPropertiesDlg* m_pPropertiesDlg = nullptr;
  CProgressDlg* m_pProgressDlg = nullptr;
  bool m_bCancel = false;
  // The recorded source as it really is: the paste works from these, never from a handle.
  std::string m_sourcePathUtf8;
  std::string m_sourceNameUtf8;
  // Where "Open" puts its temporary copies: <user area>\User Data\temp.
  std::string m_lastOpenedCopy;

 private:
  void ListChildrenOf(HTREEITEM item);
  LRESULT OnNotify(NMHDR* hdr);
  void OnCommand(UINT id);
  void RecordSource(bool cut);
  BOOL OnEndLabelEdit(HTREEITEM item, const char* text);
  void OnBeginDrag(HTREEITEM item, POINT point);
  void OnMouseMove(POINT point);
  void OnLButtonUp(POINT point);
  void OnRButtonDown(POINT point);
  void OnDblClk();
  HTREEITEM InsertChild(HTREEITEM parent, const std::string& nameUtf8, bool folder);
  HTREEITEM HitItem(POINT point) const;
  void SetWait(bool on);
  int Tell(const std::string& utf8Text, UINT type = MB_OK);

  bool m_bCopyRunning = false;
  // The item whose label is being edited: one edit ends once, however often the control says so.
  HTREEITEM m_editItem = nullptr;
  HCURSOR m_oldCursor = nullptr;
  friend class TreeUi;
};
