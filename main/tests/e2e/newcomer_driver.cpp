// Drives a running Lumivex from outside the way a user's keyboard and mouse do: keys and clicks
// are posted as input messages to its windows (the program's own message loop, accelerators
// first, handles them as it handles a person's), menus are opened with Alt and the arrow keys,
// dialog buttons are clicked, text is typed a character at a time. One step per run; exit code 0
// when the step did what it says, 1 when a window it needs did not come, 2 for a bad step.
//   menu <letter> <downs>            Alt+<letter> opens a popup of the menu bar; <downs> times the
//                                    Down key, then Enter
//   click <title> <button text>      clicks a button (or check box) of the program's window <title>
//   type <title> <nth edit> <text>   types the text into the nth edit (0 first) of that window,
//                                    after selecting what it held (a combo box's edit counts)
//   key <title> <vk> [<vk>...]       posts the keys (hex virtual-key codes) to the focus of that
//                                    window's thread: the window itself, or "tree" for the volume tree
//   tree-click <path> [right]        clicks (or right-clicks) the volume tree's item of that path
//   tree-items                       prints the volume tree's item paths, one a line
//   tree-selected <path>             waits until the tree's selected item is the one of that path
//   wait <title> / gone <title>      waits until the window is there / is gone
//   wait-text <title> <text>         waits until a static text of that window reads <text>
//   wait-output <text>               waits until a window of the main window (a thread window's
//                                    view) shows the text; prints its line from the text on
//   opened <text>                    waits until a window of any program has the text in its title
//                                    (a document opened with the program registered for it)
//   shot <title> <name>              takes the window's picture (the main window: "Lumivex")
//   close                            closes the main window
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lumivex/testkit.h"

namespace {

constexpr int kWaitSteps = 300;  // of 100 ms: 30 seconds

HWND g_frame = nullptr;
DWORD g_process = 0;

HWND Frame() {
  for (int i = 0; i < kWaitSteps; ++i, Sleep(100))
    if (HWND w = FindWindowA("LumivexMainFrame", nullptr)) return w;
  return nullptr;
}

std::string Text(HWND w) { return LxControlText(w); }

HANDLE g_processHandle = nullptr;

// A visible dialog of the program with exactly this title ("Lumivex": the main window).
HWND FindTitled(const char* title) {
  if (std::strcmp(title, "Lumivex") == 0) return g_frame;
  HWND found = LxWaitForWindow(g_processHandle, "#32770", title, 0);
  return found && IsWindowVisible(found) ? found : nullptr;
}

HWND WaitTitled(const char* title) {
  for (int i = 0; i < kWaitSteps; ++i, Sleep(100))
    if (HWND w = FindTitled(title)) return w;
  std::fprintf(stderr, "newcomer_driver: no window \"%s\"\n", title);
  return nullptr;
}

struct ChildSearch {
  const char* cls;
  const char* text;  // null: any text
  int nth;
  HWND found;
};

BOOL CALLBACK VisitChild(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<ChildSearch*>(p);
  char cls[64] = "";
  GetClassNameA(w, cls, sizeof cls);
  if (lstrcmpiA(cls, s->cls) != 0 || !IsWindowVisible(w)) return TRUE;
  if (s->text && Text(w) != s->text) return TRUE;
  if (s->nth-- > 0) return TRUE;
  s->found = w;
  return FALSE;
}

HWND Child(HWND parent, const char* cls, const char* text, int nth = 0) {
  ChildSearch s{cls, text, nth, nullptr};
  EnumChildWindows(parent, VisitChild, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// A click as the mouse gives it: button down and up at the control's middle, posted.
void PostClick(HWND w, int x, int y, bool right = false) {
  LPARAM at = MAKELPARAM(x, y);
  PostMessageA(w, WM_MOUSEMOVE, 0, at);
  PostMessageA(w, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, at);
  PostMessageA(w, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, at);
}

void PostKey(HWND w, UINT vk, bool alt = false) {
  UINT scan = MapVirtualKeyA(vk, MAPVK_VK_TO_VSC);
  LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16) | (alt ? 1 << 29 : 0);
  LPARAM up = down | (1u << 30) | (1u << 31);
  PostMessageA(w, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, down);
  PostMessageA(w, alt ? WM_SYSKEYUP : WM_KEYUP, vk, up);
}

// The volume tree: the one tree view of the main window.
HWND Tree() { return Child(g_frame, WC_TREEVIEWA, nullptr); }

// Tree items live in the program: their texts and places are read through memory of its own.
class Remote {
 public:
  Remote() {
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, g_process);
    if (process_) memory_ = VirtualAllocEx(process_, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
  }
  ~Remote() {
    if (memory_) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  bool ok() const { return memory_ != nullptr; }
  std::string ItemText(HWND tree, HTREEITEM item) {
    TVITEMA tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = static_cast<char*>(memory_) + 512;
    tv.cchTextMax = 512;
    char text[513] = "";
    SIZE_T done = 0;
    if (!WriteProcessMemory(process_, memory_, &tv, sizeof tv, &done)) return "";
    DWORD_PTR r = 0;
    SendMessageTimeoutA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(memory_), SMTO_ABORTIFHUNG, 5000, &r);
    ReadProcessMemory(process_, static_cast<char*>(memory_) + 512, text, 512, &done);
    return text;
  }
  bool ItemRect(HWND tree, HTREEITEM item, RECT* rect) {
    SIZE_T done = 0;
    if (!WriteProcessMemory(process_, memory_, &item, sizeof item, &done)) return false;
    DWORD_PTR r = 0;
    SendMessageTimeoutA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(memory_), SMTO_ABORTIFHUNG, 5000, &r);
    return r && ReadProcessMemory(process_, memory_, rect, sizeof *rect, &done);
  }

 private:
  HANDLE process_ = nullptr;
  void* memory_ = nullptr;
};

HTREEITEM Next(HWND tree, UINT how, HTREEITEM item) {
  DWORD_PTR r = 0;
  SendMessageTimeoutA(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item), SMTO_ABORTIFHUNG, 5000, &r);
  return reinterpret_cast<HTREEITEM>(r);
}

void Walk(Remote& remote, HWND tree, HTREEITEM first, const std::string& parent,
          std::vector<std::pair<std::string, HTREEITEM>>& out) {
  for (HTREEITEM item = first; item; item = Next(tree, TVGN_NEXT, item)) {
    std::string text = remote.ItemText(tree, item);
    std::string path = parent.empty() ? text : parent + "/" + text;
    out.push_back({path, item});
    Walk(remote, tree, Next(tree, TVGN_CHILD, item), path, out);
  }
}

std::vector<std::pair<std::string, HTREEITEM>> TreeItems(HWND tree) {
  std::vector<std::pair<std::string, HTREEITEM>> items;
  Remote remote;
  if (remote.ok()) Walk(remote, tree, Next(tree, TVGN_ROOT, nullptr), "", items);
  return items;
}

int TreeClick(const std::string& path, bool right) {
  HWND tree = Tree();
  if (!tree) return 1;
  for (int i = 0; i < kWaitSteps; ++i, Sleep(100)) {
    for (auto& item : TreeItems(tree)) {
      if (item.first != path) continue;
      Remote remote;
      RECT r;
      if (!remote.ItemRect(tree, item.second, &r)) {
        std::fprintf(stderr, "newcomer_driver: tree item %s is not in view (its folder is closed)\n", path.c_str());
        return 1;
      }
      PostClick(tree, (r.left + r.right) / 2, (r.top + r.bottom) / 2, right);
      return 0;
    }
  }
  std::fprintf(stderr, "newcomer_driver: no tree item %s\n", path.c_str());
  return 1;
}

struct OutputSearch {
  const char* needle;
  std::string found;  // the text from the needle on
};

BOOL CALLBACK VisitOutput(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<OutputSearch*>(p);
  char cls[64] = "";
  GetClassNameA(w, cls, sizeof cls);
  if (!strstr(cls, "Edit") && !strstr(cls, "EDIT")) return TRUE;
  std::string text = Text(w);
  size_t at = text.find(s->needle);
  if (at == std::string::npos) return TRUE;
  s->found = text.substr(at);
  return FALSE;
}

struct AnyTitleSearch {
  const char* part;
  bool found;
};

BOOL CALLBACK VisitAnyTitle(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<AnyTitleSearch*>(p);
  char title[512] = "";
  GetWindowTextA(w, title, sizeof title);
  if (!IsWindowVisible(w) || !std::strstr(title, s->part)) return TRUE;
  s->found = true;
  return FALSE;
}

UINT Hex(const char* text) { return static_cast<UINT>(std::strtoul(text, nullptr, 16)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string step = argv[1];
  g_frame = Frame();
  if (!g_frame) {
    std::fprintf(stderr, "newcomer_driver: no main window\n");
    return 1;
  }
  GetWindowThreadProcessId(g_frame, &g_process);
  g_processHandle = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, g_process);

  if (step == "menu" && argc == 4) {
    PostKey(g_frame, static_cast<UINT>(toupper(static_cast<unsigned char>(argv[2][0]))), true);
    for (int i = std::atoi(argv[3]); i > 0; --i) PostKey(g_frame, VK_DOWN);
    PostKey(g_frame, VK_RETURN);
    return 0;
  }
  if (step == "click" && argc == 4) {
    HWND window = WaitTitled(argv[2]);
    if (!window) return 1;
    HWND button = nullptr;
    for (int i = 0; i < kWaitSteps && !button; ++i, Sleep(100)) button = Child(window, "Button", argv[3]);
    if (!button || !IsWindowEnabled(button)) {
      std::fprintf(stderr, "newcomer_driver: no button \"%s\" to click\n", argv[3]);
      return 1;
    }
    RECT r;
    GetClientRect(button, &r);
    PostClick(button, r.right / 2, r.bottom / 2);
    return 0;
  }
  if (step == "type" && argc == 5) {
    HWND window = WaitTitled(argv[2]);
    if (!window) return 1;
    HWND edit = Child(window, "Edit", nullptr, std::atoi(argv[3]));
    if (!edit) return 1;
    PostMessageA(edit, EM_SETSEL, 0, -1);
    for (const char* c = argv[4]; *c; ++c) PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(*c), 1);
    return 0;
  }
  if (step == "key" && argc >= 4) {
    HWND target = std::strcmp(argv[2], "tree") == 0 ? Tree() : WaitTitled(argv[2]);
    if (!target) return 1;
    for (int i = 3; i < argc; ++i) PostKey(target, Hex(argv[i]));
    return 0;
  }
  if (step == "tree-click" && (argc == 3 || argc == 4)) return TreeClick(argv[2], argc == 4);
  if (step == "tree-selected" && argc == 3) {
    HWND tree = Tree();
    for (int i = 0; tree && i < kWaitSteps; ++i, Sleep(100)) {
      HTREEITEM selected = Next(tree, TVGN_CARET, nullptr);
      for (auto& item : TreeItems(tree))
        if (item.second == selected && item.first == argv[2]) return 0;
    }
    return 1;
  }
  if (step == "tree-items") {
    HWND tree = Tree();
    if (!tree) return 1;
    for (auto& item : TreeItems(tree)) std::printf("%s\n", item.first.c_str());
    return 0;
  }
  if (step == "wait" && argc == 3) return WaitTitled(argv[2]) ? 0 : 1;
  if (step == "wait-text" && argc == 4) {
    HWND window = WaitTitled(argv[2]);
    for (int i = 0; window && i < kWaitSteps; ++i, Sleep(100))
      if (Child(window, "Static", argv[3])) return 0;
    return 1;
  }
  if (step == "wait-output" && argc == 3) {
    for (int i = 0; i < kWaitSteps; ++i, Sleep(100)) {
      OutputSearch search{argv[2], ""};
      EnumChildWindows(g_frame, VisitOutput, reinterpret_cast<LPARAM>(&search));
      if (!search.found.empty()) {
        std::printf("%s\n", search.found.substr(0, search.found.find('\n')).c_str());
        return 0;
      }
    }
    return 1;
  }
  if (step == "gone" && argc == 3) {
    for (int i = 0; i < kWaitSteps; ++i, Sleep(100))
      if (!FindTitled(argv[2])) return 0;
    return 1;
  }
  if (step == "opened" && argc == 3) {
    for (int i = 0; i < kWaitSteps; ++i, Sleep(100)) {
      AnyTitleSearch search{argv[2], false};
      EnumWindows(VisitAnyTitle, reinterpret_cast<LPARAM>(&search));
      if (search.found) return 0;
    }
    return 1;
  }
  if (step == "shot" && argc == 4) {
    HWND window = WaitTitled(argv[2]);
    if (!window) return 1;
    Sleep(300);  // let it paint
    return LxSaveWindowShot(window, argv[3]) ? 0 : 1;
  }
  if (step == "close") {
    PostMessageA(g_frame, WM_CLOSE, 0, 0);
    for (int i = 0; i < kWaitSteps; ++i, Sleep(100))
      if (!IsWindow(g_frame)) return 0;
    return 1;
  }
  return 2;
}
