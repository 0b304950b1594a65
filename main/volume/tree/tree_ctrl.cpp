#include "tree_ctrl.h"

#include <shellapi.h>

#include <ctime>
#include <vector>

#include "device_api.h"
#include "info_dialogs.h"
#include "lumivex/prompt.h"
#include "lxtoolkit.h"
#include "program_context.h"
#include "tool_host.h"
#include "tool_wait.h"
#include "window_place_win.h"
#include "tree_dialogs.h"
#include "tree_resource.h"

using namespace lx::voltree;

namespace {

const char kRootRefused[] = "A drive or volume root can't be deleted or moved.";

std::wstring Wide(const std::string& utf8) {
  std::u16string u = Utf8ToUtf16(utf8);
  return std::wstring(u.begin(), u.end());
}

// ANSI text of a UTF-8 name; exact is false when the code page has no form for some character.
std::string Utf8ToAnsiText(const std::string& utf8, bool* exact) {
  std::wstring wide = Wide(utf8);
  if (exact) *exact = true;
  if (wide.empty()) return "";
  BOOL used = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, &used);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()), &out[0], n, nullptr,
                        &used);
  if (exact) *exact = n > 0 && !used;
  return out;
}

std::string AnsiTextToUtf8(const std::string& ansi) {
  if (ansi.empty()) return "";
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), static_cast<int>(ansi.size()), &wide[0], n);
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::string ItemText(HWND tree, HTREEITEM item, LPARAM* data = nullptr) {
  std::vector<char> text(1024, '\0');
  TVITEMA tv = {};
  tv.mask = TVIF_TEXT | TVIF_PARAM;
  tv.hItem = item;
  tv.pszText = text.data();
  tv.cchTextMax = static_cast<int>(text.size());
  ::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
  if (data) *data = tv.lParam;
  return text.data();
}

}  // namespace

// What a copy asks of the window side: questions as boxes owned by the tree, messages pumped
// between files, the progress window and its Cancel.
class TreeUi : public TreeCopyUi {
 public:
  explicit TreeUi(CVolumeTreeCtrl& tree) : tree_(tree) {}
  int Ask(const std::string& text, const char*, unsigned type) override { return tree_.Tell(text, type); }
  void Pump() override { lx::PumpMessages(256); }
  bool StopRequested() override { return tree_.m_bCancel; }
  bool BeginProgress(int total, bool visible) override {
    CProgressDlg* dialog = new CProgressDlg(total, &tree_.m_bCancel);
    if (!dialog->Create(IDD_VOLUME_PROGRESS, nullptr)) {
      delete dialog;
      return false;
    }
    tree_.m_pProgressDlg = dialog;
    if (visible)
      ::SetWindowPos(dialog->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    return true;
  }
  void StepProgress(const std::string& name) override {
    if (tree_.m_pProgressDlg) tree_.m_pProgressDlg->StepProgress(Utf8ToAnsiText(name, nullptr).c_str());
  }
  void EndProgress() override {
    if (!tree_.m_pProgressDlg) return;
    tree_.m_pProgressDlg->DestroyWindow();
    delete tree_.m_pProgressDlg;
    tree_.m_pProgressDlg = nullptr;
  }

 private:
  CVolumeTreeCtrl& tree_;
};

// ---- progress and properties windows ----

CProgressDlg::CProgressDlg(int total, bool* cancelFlag)
    : CDialog(IDD_VOLUME_PROGRESS), m_nTotal(total), m_pCancelFlag(cancelFlag) {
  if (m_pCancelFlag) *m_pCancelFlag = false;
}

BOOL CProgressDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  HWND bar = ::GetDlgItem(m_hWnd, IDC_PROGRESS_BAR);
  ::SendMessageA(bar, PBM_SETRANGE32, 0, m_nTotal - 1);
  ::SendMessageA(bar, PBM_SETSTEP, 1, 0);
  return TRUE;
}

void CProgressDlg::OnCancel() {
  if (m_pCancelFlag) *m_pCancelFlag = true;
  CDialog::OnCancel();
}

int CProgressDlg::StepProgress(const char* name) {
  int position = m_nCurrent++;
  if (!m_hWnd) return 0;
  ::SendDlgItemMessageA(m_hWnd, IDC_PROGRESS_BAR, PBM_SETPOS, position, 0);
  CString caption;
  caption.Format("In progress... (%d/%d)", m_nCurrent, m_nTotal);
  SetWindowText(caption);
  m_strCurrentName = name;
  SetDlgItemText(IDC_PROGRESS_NAME, m_strCurrentName);
  return 0;
}

CPropertiesDlg::CPropertiesDlg() : CDialog(IDD_VOLUME_PROPERTIES) {}

BOOL CPropertiesDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  ::SetFocus(::GetDlgItem(m_hWnd, IDC_PROP_NAME));
  return TRUE;
}

// ---- the tree ----

CVolumeTreeCtrl::CVolumeTreeCtrl() = default;

CVolumeTreeCtrl::~CVolumeTreeCtrl() {
  if (m_pPropertiesDlg) {
    if (m_pPropertiesDlg->m_hWnd) m_pPropertiesDlg->DestroyWindow();
    delete m_pPropertiesDlg;
  }
  if (m_imageList) ImageList_Destroy(m_imageList);
  if (m_pDragImage) ImageList_Destroy(m_pDragImage);
}

BOOL CVolumeTreeCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  style = (style & ~(TVS_DISABLEDRAGDROP | TVS_SINGLEEXPAND)) | TVS_EDITLABELS;
  HWND hwnd = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "", style, rect.left, rect.top, rect.right - rect.left,
                              rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
                              reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), AfxGetInstanceHandle(), nullptr);
  if (!hwnd) return FALSE;
  return SubclassWindow(hwnd);
}

BOOL CVolumeTreeCtrl::DestroyWindow() {
  if (m_pPropertiesDlg && m_pPropertiesDlg->m_hWnd) m_pPropertiesDlg->DestroyWindow();
  return CWnd::DestroyWindow();
}

int CVolumeTreeCtrl::Tell(const std::string& utf8Text, UINT type) {
  // A box without a caption would be titled "Error", also for "Delete finished.".
  return LxMessageBox(m_hWnd, Utf8ToAnsiText(utf8Text, nullptr).c_str(), lx::ToolCaption(nullptr), type);
}

void CVolumeTreeCtrl::SetWait(bool on) {
  if (on) {
    m_oldCursor = ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
    lx::StartProgress();
  } else {
    ::SetCursor(m_oldCursor ? m_oldCursor : ::LoadCursor(nullptr, IDC_ARROW));
    lx::StopProgress();
  }
}

void CVolumeTreeCtrl::BuildRoots() {
  if (!m_hWnd) return;
  if (m_bCopyRunning) {
    // The copy that runs pumps messages; the items it lists afterwards stay until it ends.
    MessageBeep(MB_ICONEXCLAMATION);
    return;
  }
  if (!m_bTreeBuilt && !m_imageList) {
    m_imageList = ImageList_Create(16, 16, ILC_COLOR8 | ILC_MASK, 0, 4);
    HBITMAP strip = static_cast<HBITMAP>(
        LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDB_VOLUME_TREE), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (m_imageList && strip) ImageList_AddMasked(m_imageList, strip, RGB(255, 0, 255));
    if (strip) DeleteObject(strip);
    TreeView_SetImageList(m_hWnd, m_imageList, TVSIL_NORMAL);
  }
  TreeView_DeleteAllItems(m_hWnd);
  auto insertRoot = [&](const char* text) {
    TVINSERTSTRUCTA item = {};
    item.hParent = TVI_ROOT;
    item.hInsertAfter = TVI_LAST;
    item.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    item.item.pszText = const_cast<char*>(text);
    item.item.iImage = 0;
    item.item.iSelectedImage = 1;
    ::SendMessageA(m_hWnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  };
  for (char letter = 'a'; letter <= 'x'; ++letter) {
    char device[16];
    std::snprintf(device, sizeof device, "%s%c:", "\\\\.\\", letter);
    HANDLE handle = CreateFileA(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) continue;
    char sector[512];
    DWORD got = 0;
    bool readable = ReadFile(handle, sector, sizeof sector, &got, nullptr) && got == sizeof sector;
    CloseHandle(handle);
    if (!readable) continue;
    char name[] = "a:";
    name[0] = letter;
    insertRoot(name);
  }
  insertRoot("/a");
  m_bTreeBuilt = true;
}

CString CVolumeTreeCtrl::GetItemPath(HTREEITEM item) const {
  std::string path;
  for (HTREEITEM at = item; at; at = TreeView_GetParent(m_hWnd, at)) {
    std::string text = ItemText(m_hWnd, at);
    path = path.empty() ? text : text + "/" + path;
  }
  return CString(path);
}

std::string CVolumeTreeCtrl::GetItemPathUtf8(HTREEITEM item) const {
  std::string path;
  for (HTREEITEM at = item; at; at = TreeView_GetParent(m_hWnd, at)) {
    LPARAM data = 0;
    std::string text = ItemText(m_hWnd, at, &data);
    // An ANSI text converts once; a raw-name item (and a root) already holds its UTF-8 bytes.
    std::string name = data == kAnsiItemData ? AnsiTextToUtf8(text) : text;
    path = path.empty() ? name : name + "/" + path;
  }
  return path;
}

HTREEITEM CVolumeTreeCtrl::FindItem(const std::string& pathUtf8) const {
  std::vector<HTREEITEM> stack;
  for (HTREEITEM root = TreeView_GetRoot(m_hWnd); root; root = TreeView_GetNextSibling(m_hWnd, root))
    stack.push_back(root);
  while (!stack.empty()) {
    HTREEITEM item = stack.back();
    stack.pop_back();
    std::string path = GetItemPathUtf8(item);
    if (path == pathUtf8) return item;
    if (!PathInside(path, pathUtf8)) continue;
    for (HTREEITEM child = TreeView_GetChild(m_hWnd, item); child; child = TreeView_GetNextSibling(m_hWnd, child))
      stack.push_back(child);
  }
  return nullptr;
}

HTREEITEM CVolumeTreeCtrl::InsertChild(HTREEITEM parent, const std::string& nameUtf8, bool folder) {
  bool exact = true;
  std::string ansi = Utf8ToAnsiText(nameUtf8, &exact);
  std::string text = exact ? ansi : nameUtf8;
  TVINSERTSTRUCTA item = {};
  item.hParent = parent;
  item.hInsertAfter = TVI_LAST;
  item.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_STATE;
  item.item.pszText = const_cast<char*>(text.c_str());
  item.item.iImage = folder ? 2 : 4;
  item.item.iSelectedImage = folder ? 3 : 5;
  item.item.lParam = exact ? kAnsiItemData : 0;
  item.item.stateMask = TVIS_BOLD;
  item.item.state = exact ? 0 : TVIS_BOLD;
  return reinterpret_cast<HTREEITEM>(::SendMessageA(m_hWnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

void CVolumeTreeCtrl::ListChildren() {
  if (!m_bTreeBuilt) return;
  HTREEITEM selected = TreeView_GetSelection(m_hWnd);
  if (!selected) return;
  ListChildrenOf(selected);
}

void CVolumeTreeCtrl::RelistVolume() {
  if (!m_hWnd || !m_bTreeBuilt || m_bCopyRunning) return;
  HTREEITEM volume = FindItem("/a");
  if (!volume) return;
  // Deleting a selected item below the root moves the selection; that lists nothing stale.
  ListChildrenOf(volume);
}

void CVolumeTreeCtrl::ListChildrenOf(HTREEITEM selected) {
  SetWait(true);
  std::string path = GetItemPathUtf8(selected);
  for (HTREEITEM child = TreeView_GetChild(m_hWnd, selected); child;) {
    HTREEITEM next = TreeView_GetNextSibling(m_hWnd, child);
    TreeView_DeleteItem(m_hWnd, child);
    child = next;
  }
  std::vector<TreeEntry> entries;
  // A volume path that is not a folder (or whose status query fails) lists nothing.
  if (!IsVolumePath(path) || IsFolder(path)) ListFolder(path, entries);
  for (const TreeEntry& e : entries) InsertChild(selected, e.name, e.folder);
  SetWait(false);
}

// ---- record, paste, delete ----

void CVolumeTreeCtrl::RecordSource(bool cut) {
  HTREEITEM item = TreeView_GetSelection(m_hWnd);
  if (!item) return;
  bool root = TreeView_GetParent(m_hWnd, item) == nullptr;
  if (cut && root) {
    // Moving a root would empty the whole volume or drive.
    Tell(kRootRefused);
    return;
  }
  m_hSourceItem = item;
  m_strSourceName = ItemText(m_hWnd, item).c_str();
  m_strSourcePath = GetItemPath(item);
  m_sourcePathUtf8 = GetItemPathUtf8(item);
  LPARAM data = 0;
  std::string text = ItemText(m_hWnd, item, &data);
  m_sourceNameUtf8 = PasteName(data == kAnsiItemData ? AnsiTextToUtf8(text) : text, root);
  m_bCutMode = cut;
}

void CVolumeTreeCtrl::OnCopyItem() { RecordSource(false); }
void CVolumeTreeCtrl::OnCutItem() { RecordSource(true); }

void CVolumeTreeCtrl::OnPasteItem() {
  HTREEITEM target = TreeView_GetSelection(m_hWnd);
  if (!target || m_sourcePathUtf8.empty()) return;
  std::string targetPath = GetItemPathUtf8(target);
  std::string folder = PasteFolderOf(targetPath);
  if (folder != targetPath) {
    HTREEITEM parent = TreeView_GetParent(m_hWnd, target);
    if (parent) TreeView_SelectItem(m_hWnd, parent);
  }
  SetWait(true);
  m_bCopyRunning = true;
  ::EnableWindow(m_hWnd, FALSE);
  TreeUi ui(*this);
  PasteOutcome out = Paste(ui, m_sourcePathUtf8, m_sourceNameUtf8, targetPath, m_bCutMode);
  ::EnableWindow(m_hWnd, TRUE);
  m_bCopyRunning = false;
  if (out.sourceRemoved) {
    // The handle of the source may be stale after re-listing: find the item by its path.
    if (HTREEITEM moved = FindItem(m_sourcePathUtf8)) TreeView_DeleteItem(m_hWnd, moved);
    m_hSourceItem = nullptr;
    m_strSourceName.Empty();
    m_strSourcePath.Empty();
    m_sourcePathUtf8.clear();
    m_sourceNameUtf8.clear();
    m_bCutMode = false;
  }
  if (!out.quiet) ListChildren();
  SetWait(false);
}

void CVolumeTreeCtrl::OnDeleteItem() {
  HTREEITEM item = TreeView_GetSelection(m_hWnd);
  if (!item) return;
  if (!TreeView_GetParent(m_hWnd, item)) {
    Tell(kRootRefused);
    return;
  }
  if (!lx::Confirm()) return;
  SetWait(true);
  int r = RemoveItem(GetItemPathUtf8(item));
  SetWait(false);
  if (r != 0) {
    Tell("Delete failed.");
    return;
  }
  TreeView_DeleteItem(m_hWnd, item);
  Tell("Delete finished.");
}

void CVolumeTreeCtrl::OnCopyFileUtf8() {
  m_bRawUtf8 = true;
  OnCopyItem();
  m_bRawUtf8 = false;
}

void CVolumeTreeCtrl::OnPasteFileUtf8() {
  m_bRawUtf8 = true;
  OnPasteItem();
  m_bRawUtf8 = false;
}

void CVolumeTreeCtrl::OnDeleteFileUtf8() {
  m_bRawUtf8 = true;
  OnDeleteItem();
  m_bRawUtf8 = false;
}

void CVolumeTreeCtrl::OnRefresh() { ListChildren(); }

// ---- open ----

void CVolumeTreeCtrl::OnDblClk() {
  HTREEITEM item = TreeView_GetSelection(m_hWnd);
  if (!item) return;
  m_hSourceItem = item;
  m_bCutMode = false;
  std::string path = GetItemPathUtf8(item);
  if (!IsVolumePath(path)) {
    if (IsFolder(path)) return;
    std::string native = path;
    for (char& c : native)
      if (c == '/') c = '\\';
    ShellExecuteW(nullptr, L"open", Wide(native).c_str(), nullptr, nullptr, SW_SHOW);
    return;
  }
  if (IsFolder(path)) return;
  const std::string userData = lx::UserDataFolder();
  if (userData.empty()) return;
  std::string tempDir = AnsiTextToUtf8(userData + "\\temp");
  CreateDirectoryW(Wide(tempDir).c_str(), nullptr);
  LPARAM data = 0;
  std::string text = ItemText(m_hWnd, item, &data);
  std::string name = data == kAnsiItemData ? AnsiTextToUtf8(text) : text;
  std::string tempFile = TempCopyName(tempDir, name, static_cast<uint32_t>(std::time(nullptr)));
  DeleteFileW(Wide(tempFile).c_str());
  SetWait(true);
  m_bCopyRunning = true;
  ::EnableWindow(m_hWnd, FALSE);
  TreeUi ui(*this);
  TreeCopier copier(ui);
  int r = copier.CopyItem(path, tempFile, false, true);
  ::EnableWindow(m_hWnd, TRUE);
  m_bCopyRunning = false;
  SetWait(false);
  if (r == kCopyDone) {
    m_lastOpenedCopy = tempFile;
    ShellExecuteW(nullptr, L"open", Wide(tempFile).c_str(), nullptr, nullptr, SW_SHOW);
  } else {
    Tell(r == kCopyCancelled ? "Copy canceled" : "Copy failed");
  }
}

void CVolumeTreeCtrl::OnOpenItem() { OnDblClk(); }

// ---- new folder, rename ----

void CVolumeTreeCtrl::OnNewFolder() {
  HTREEITEM parent = TreeView_GetSelection(m_hWnd);
  if (!parent) return;
  CGeneralInputDlg dialog("Volume Tree", "Enter the folder name to create");
  dialog.m_Input = "New Folder";
  if (dialog.DoModal() != IDOK || dialog.m_Input.IsEmpty()) return;
  std::string name = AnsiTextToUtf8(dialog.m_Input.str());
  std::string path = JoinPath(GetItemPathUtf8(parent), name);
  HTREEITEM item = InsertChild(parent, name, true);
  if (PathTooLong(path) || !MakeFolder(path)) {
    TreeView_DeleteItem(m_hWnd, item);
    Tell("Add a new folder failed.");
    return;
  }
  ::SetFocus(m_hWnd);
  TreeView_EditLabel(m_hWnd, item);
}

void CVolumeTreeCtrl::OnRenameItem() {
  HTREEITEM item = TreeView_GetSelection(m_hWnd);
  if (!item) return;
  ::SetFocus(m_hWnd);
  TreeView_EditLabel(m_hWnd, item);
}

BOOL CVolumeTreeCtrl::OnEndLabelEdit(HTREEITEM item, const char* text) {
  if (!text || !*text) return FALSE;
  HTREEITEM parent = TreeView_GetParent(m_hWnd, item);
  if (!parent) {
    Tell("Rename failed.");
    return FALSE;
  }
  if (GetItemPath(parent) + "/" + text == GetItemPath(item)) return FALSE;
  std::string oldPath = GetItemPathUtf8(item);
  std::string newPath = JoinPath(GetItemPathUtf8(parent), AnsiTextToUtf8(text));
  bool ok;
  if (IsVolumePath(oldPath))
    ok = !PathTooLong(newPath) && DeviceApiTable.gfslrename(oldPath.c_str(), newPath.c_str()) == 0;
  else
    ok = HostRename(oldPath, newPath);
  if (!ok) {
    Tell("Rename failed.");
    return FALSE;
  }
  // The typed text is ANSI: the item now reads as such.
  TVITEMA tv = {};
  tv.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE;
  tv.hItem = item;
  tv.pszText = const_cast<char*>(text);
  tv.lParam = kAnsiItemData;
  tv.stateMask = TVIS_BOLD;
  tv.state = 0;
  ::SendMessageA(m_hWnd, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
  return FALSE;
}

// ---- properties ----

void CVolumeTreeCtrl::OnProperties() {
  if (!m_pPropertiesDlg) {
    m_pPropertiesDlg = new CPropertiesDlg;
    if (!m_pPropertiesDlg->Create(IDD_VOLUME_PROPERTIES, nullptr)) {
      delete m_pPropertiesDlg;
      m_pPropertiesDlg = nullptr;
      return;
    }
    // Made without a parent, it would open at the screen's corner over the frame's menu bar.
    lx::PlaceInFrameClient(m_pPropertiesDlg->m_hWnd, ::GetAncestor(m_hWnd, GA_ROOT));
    ::SetWindowPos(m_pPropertiesDlg->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    UpdateProperties();
    m_pPropertiesDlg->ShowWindow(SW_SHOW);
    return;
  }
  if (m_pPropertiesDlg->IsWindowVisible()) {
    m_pPropertiesDlg->ShowWindow(SW_HIDE);
    return;
  }
  UpdateProperties();
  m_pPropertiesDlg->ShowWindow(SW_SHOW);
}

int CVolumeTreeCtrl::UpdateProperties() {
  if (!m_bTreeBuilt) return 0;
  HTREEITEM item = TreeView_GetSelection(m_hWnd);
  if (!item) return 0;
  ItemProperties p = ReadProperties(GetItemPathUtf8(item));
  CDialog* d = m_pPropertiesDlg;
  if (!d || !d->m_hWnd) return 0;
  LPARAM data = 0;
  std::string text = ItemText(m_hWnd, item, &data);
  d->SetDlgItemText(IDC_PROP_NAME, ((data != kAnsiItemData ? "(UTF-8) " : "") + text).c_str());
  d->SetDlgItemText(IDC_PROP_OPEN_WITH, p.type.c_str());
  d->SetDlgItemText(IDC_PROP_LOCATION, p.found ? GetItemPath(item).GetString() : "");
  d->SetDlgItemText(IDC_PROP_SIZE, p.size.c_str());
  d->SetDlgItemText(IDC_PROP_CREATED, p.created.c_str());
  d->SetDlgItemText(IDC_PROP_MODIFIED, p.modified.c_str());
  d->SetDlgItemText(IDC_PROP_ACCESSED, p.accessed.c_str());
  struct Box {
    int id;
    uint8_t bit;
  } boxes[] = {{IDC_PROP_READONLY, 0x01}, {IDC_PROP_HIDDEN, 0x02}, {IDC_PROP_NORMAL, 0},
               {IDC_PROP_SYSTEM, 0x04},   {IDC_PROP_DIRECTORY, 0x10}, {IDC_PROP_ARCHIVE, 0x20}};
  for (const Box& b : boxes) d->CheckDlgButton(b.id, (p.attributes & b.bit) ? BST_CHECKED : BST_UNCHECKED);
  return 0;
}

// ---- mouse: context menu, drag and drop ----

HTREEITEM CVolumeTreeCtrl::HitItem(POINT point) const {
  TVHITTESTINFO hit = {};
  hit.pt = point;
  HTREEITEM item = TreeView_HitTest(m_hWnd, &hit);
  return (hit.flags & (TVHT_ONITEM | TVHT_ONITEMSTATEICON)) ? item : nullptr;
}

void CVolumeTreeCtrl::OnRButtonDown(POINT point) {
  if (HTREEITEM item = HitItem(point)) TreeView_SelectItem(m_hWnd, item);
  HMENU menu = LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_VOLUME_TREE_MENU));
  if (!menu) return;
  POINT screen = point;
  ClientToScreen(m_hWnd, &screen);
  TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, screen.x, screen.y, 0, m_hWnd, nullptr);
  DestroyMenu(menu);
}

void CVolumeTreeCtrl::OnBeginDrag(HTREEITEM item, POINT point) {
  // A root does not move: no drag starts on one.
  if (!item || !TreeView_GetParent(m_hWnd, item)) return;
  m_pDragImage = TreeView_CreateDragImage(m_hWnd, item);
  if (!m_pDragImage) return;
  ImageList_BeginDrag(m_pDragImage, 0, 8, 8);
  ImageList_DragEnter(m_hWnd, point.x, point.y);
  SetCapture(m_hWnd);
  TreeView_SelectItem(m_hWnd, item);
  OnCutItem();
}

void CVolumeTreeCtrl::OnMouseMove(POINT point) {
  ImageList_DragMove(point.x, point.y);
  if (HTREEITEM item = HitItem(point)) {
    ImageList_DragShowNolock(FALSE);
    TreeView_SelectDropTarget(m_hWnd, item);
    ImageList_DragShowNolock(TRUE);
  }
}

void CVolumeTreeCtrl::OnLButtonUp(POINT point) {
  ImageList_DragLeave(m_hWnd);
  ImageList_EndDrag();
  ReleaseCapture();
  ImageList_Destroy(m_pDragImage);
  m_pDragImage = nullptr;
  if (HTREEITEM item = HitItem(point)) {
    TreeView_SelectItem(m_hWnd, item);
    OnPasteItem();
  }
  TreeView_SelectDropTarget(m_hWnd, nullptr);
}

// ---- messages ----

void CVolumeTreeCtrl::OnCommand(UINT id) {
  switch (id) {
    case ID_TREE_REFRESH: OnRefresh(); break;
    case ID_TREE_OPEN: OnOpenItem(); break;
    case ID_TREE_CUT: OnCutItem(); break;
    case ID_TREE_COPY: OnCopyItem(); break;
    case ID_TREE_PASTE: OnPasteItem(); break;
    case ID_TREE_DELETE: OnDeleteItem(); break;
    case ID_TREE_NEW_FOLDER: OnNewFolder(); break;
    case ID_TREE_RENAME: OnRenameItem(); break;
    case ID_TREE_PROPERTIES: OnProperties(); break;
    case ID_TREE_COPY_UTF8: OnCopyFileUtf8(); break;
    case ID_TREE_PASTE_UTF8: OnPasteFileUtf8(); break;
    case ID_TREE_DELETE_UTF8: OnDeleteFileUtf8(); break;
    default: break;
  }
}

LRESULT CVolumeTreeCtrl::OnNotify(NMHDR* hdr) {
  switch (hdr->code) {
    case TVN_SELCHANGINGA:
    case TVN_SELCHANGINGW:
      // The copy that runs works in the selected folder.
      return m_bCopyRunning ? TRUE : FALSE;
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
      if (!m_pDragImage && m_pPropertiesDlg && m_pPropertiesDlg->m_hWnd && m_pPropertiesDlg->IsWindowVisible())
        UpdateProperties();
      if (!m_bCopyRunning) ListChildren();
      return 0;
    case TVN_KEYDOWN: {
      if (m_bCopyRunning) return 0;
      WORD key = reinterpret_cast<NMTVKEYDOWN*>(hdr)->wVKey;
      if (key == VK_DELETE) OnDeleteItem();
      if (key == VK_F5) ListChildren();
      return 0;
    }
    case TVN_GETINFOTIPA:
    case TVN_GETINFOTIPW:
      return 0;
    case TVN_BEGINDRAGA:
    case TVN_BEGINDRAGW: {
      if (m_bCopyRunning) return 0;
      auto* tv = reinterpret_cast<NMTREEVIEWA*>(hdr);
      OnBeginDrag(tv->itemNew.hItem, tv->ptDrag);
      return 0;
    }
    case TVN_BEGINLABELEDITA:
    case TVN_BEGINLABELEDITW:
      if (m_bCopyRunning) return TRUE;
      m_editItem = reinterpret_cast<NMTVDISPINFOA*>(hdr)->item.hItem;
      return FALSE;
    case TVN_ENDLABELEDITA: {
      auto* info = reinterpret_cast<NMTVDISPINFOA*>(hdr);
      if (!m_editItem || m_editItem != info->item.hItem) return FALSE;
      m_editItem = nullptr;
      return OnEndLabelEdit(info->item.hItem, info->item.pszText);
    }
    case TVN_ENDLABELEDITW: {
      auto* info = reinterpret_cast<NMTVDISPINFOW*>(hdr);
      if (!m_editItem || m_editItem != info->item.hItem) return FALSE;
      m_editItem = nullptr;
      if (!info->item.pszText) return FALSE;
      std::wstring w(info->item.pszText);
      std::string utf8 = Utf16ToUtf8(std::u16string(w.begin(), w.end()));
      return OnEndLabelEdit(info->item.hItem, Utf8ToAnsiText(utf8, nullptr).c_str());
    }
    case NM_DBLCLK:
      if (!m_bCopyRunning) OnDblClk();
      return 0;
    default:
      return 0;
  }
}

LRESULT CVolumeTreeCtrl::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case LX_WM_REFLECT_NOTIFY:
      return lp ? OnNotify(reinterpret_cast<NMHDR*>(lp)) : 0;
    case WM_COMMAND:
      if (lp == 0 && HIWORD(wp) == 0) {
        // A copy pumps messages: the tree's own commands wait until it has ended.
        if (m_bCopyRunning) {
          MessageBeep(MB_ICONEXCLAMATION);
          return 0;
        }
        OnCommand(LOWORD(wp));
        return 0;
      }
      break;
    case WM_MOUSEMOVE: {
      LRESULT r = CWnd::WindowProc(msg, wp, lp);
      if (m_pDragImage) OnMouseMove({static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      return r;
    }
    case WM_LBUTTONUP: {
      LRESULT r = CWnd::WindowProc(msg, wp, lp);
      if (m_pDragImage) OnLButtonUp({static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      return r;
    }
    case WM_RBUTTONDOWN: {
      LRESULT r = CWnd::WindowProc(msg, wp, lp);
      if (!m_bCopyRunning) OnRButtonDown({static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      return r;
    }
    default:
      break;
  }
  return CWnd::WindowProc(msg, wp, lp);
}
