// The volume tree in the frame's tree bar under Wine and Xvfb, with the PC drive t: that the
// run script gives the prefix (a folder of its own, never the host's home or /) beside the
// virtual device's volume /a. The script then judges the volume with fsck.fat and mtools.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "command_ids.h"
#include "device_api.h"
#include "device_ops.h"
#include "frame_test_support.h"
#include "info_resource.h"
#include "lumivex/testkit.h"
#include "options_record.h"
#include "sectortools_resource.h"
#include "test_files.h"
#include "test_support.h"
#include "tool_wait.h"
#include "tree_core.h"
#include "tree_ctrl.h"
#include "tree_dialogs.h"
#include "tree_resource.h"

using namespace lx::voltree;

namespace {

CBrambApp g_app;
CMainFrame* g_frame = nullptr;
std::string g_area;      // the user area (Windows path)
std::string g_handler;   // the open handler program
const char kDrive[] = "t:";

CVolumeTreeCtrl& Tree() { return g_frame->m_wndVolumeTree; }

std::string Env(const char* name) {
  char value[MAX_PATH * 2] = "";
  return GetEnvironmentVariableA(name, value, sizeof value) > 0 ? value : "";
}


bool WriteAny(const std::string& path, const std::string& data) {
  if (IsVolumePath(path)) {
    int h = DeviceApiTable.gfslfopen(path.c_str(), "w");
    if (h < 0) return false;
    uint32_t n = DeviceApiTable.gfslfwrite(data.data(), 1, static_cast<uint32_t>(data.size()), h);
    return DeviceApiTable.gfslfclose(h) == 0 && n == data.size();
  }
  FILE* f = HostOpen(path, true);
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

std::string ReadAny(const std::string& path) {
  std::string out;
  std::vector<char> buf(65536);
  if (IsVolumePath(path)) {
    int h = DeviceApiTable.gfslfopen(path.c_str(), "r");
    if (h < 0) return "<missing>";
    for (uint32_t n; (n = DeviceApiTable.gfslfread(buf.data(), 1, static_cast<uint32_t>(buf.size()), h)) > 0 &&
                     n != kDeviceReadError;)
      out.append(buf.data(), n);
    DeviceApiTable.gfslfclose(h);
    return out;
  }
  FILE* f = HostOpen(path, false);
  if (!f) return "<missing>";
  for (size_t n; (n = std::fread(buf.data(), 1, buf.size(), f)) > 0;) out.append(buf.data(), n);
  std::fclose(f);
  return out;
}

// Relative path -> contents ("" for folders and empty files).
std::map<std::string, std::string> Snapshot(const std::string& root, const std::string& rel = "") {
  std::map<std::string, std::string> out;
  std::vector<TreeEntry> entries;
  if (!ListFolder(rel.empty() ? root : root + "/" + rel, entries)) return out;
  for (const TreeEntry& e : entries) {
    std::string r = rel.empty() ? e.name : rel + "/" + e.name;
    if (e.folder) {
      out[r] = "";
      for (auto& kv : Snapshot(root, r)) out.insert(kv);
    } else {
      out[r] = ReadAny(root + "/" + r);
    }
  }
  return out;
}

// A folder tree with long, mixed-case and non-ASCII names ("" marks a folder).
const std::vector<std::pair<std::string, std::string>>& Sample() {
  static const std::vector<std::pair<std::string, std::string>> tree = {
      {"Quarterly Summary of Flash Endurance Measurements 2026.txt", lxtest::NoiseBytes(70000, 1)},
      {"MiXeD CaSe.BIN", lxtest::NoiseBytes(131072, 2)},
      {"\xC3\x9C" "bersicht", ""},
      {"\xC3\x9C" "bersicht/gr\xC3\xB6\xC3\x9F" "e \xC3\x84\xC3\x96\xC3\x9C.dat", lxtest::NoiseBytes(300001, 3)},
      {"\xC3\x9C" "bersicht/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", lxtest::NoiseBytes(17, 4)},
      {"empty folder", ""},
      {"a.b.c.d", lxtest::NoiseBytes(512, 5)},
  };
  return tree;
}

std::map<std::string, std::string> SampleMap() {
  std::map<std::string, std::string> m(Sample().begin(), Sample().end());
  return m;
}

void MakeSample(const std::string& root) {
  ASSERT_TRUE(MakeFolder(root)) << root;
  for (auto& kv : Sample()) {
    std::string path = root + "/" + kv.first;
    if (kv.second.empty()) ASSERT_TRUE(MakeFolder(path)) << path;
    else ASSERT_TRUE(WriteAny(path, kv.second)) << path;
  }
}

::testing::AssertionResult SameTree(const std::map<std::string, std::string>& expected,
                                    const std::map<std::string, std::string>& actual) {
  std::string diff;
  for (auto& kv : expected) {
    auto it = actual.find(kv.first);
    if (it == actual.end()) diff += " missing " + kv.first + ";";
    else if (it->second != kv.second) diff += " differs " + kv.first + ";";
  }
  for (auto& kv : actual)
    if (!expected.count(kv.first)) diff += " extra " + kv.first + ";";
  if (diff.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << diff;
}

// ---- driving the tree ----

struct ItemInfo {
  std::string text;
  LPARAM data = 0;
  int image = -1, selectedImage = -1;
  bool bold = false;
};

ItemInfo Info(HTREEITEM item) {
  char text[1024] = "";
  TVITEMA tv = {};
  tv.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
  tv.stateMask = TVIS_BOLD;
  tv.hItem = item;
  tv.pszText = text;
  tv.cchTextMax = sizeof text;
  ::SendMessageA(Tree().m_hWnd, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
  return {text, tv.lParam, tv.iImage, tv.iSelectedImage, (tv.state & TVIS_BOLD) != 0};
}

// The item of a path, selecting (and so listing) each level on the way.
HTREEITEM Reach(const std::string& path) {
  HTREEITEM item = Tree().FindItem(path);
  if (item) {
    TreeView_SelectItem(Tree().m_hWnd, item);
    return item;
  }
  std::string parent = ParentPath(path);
  if (parent.empty() || parent == path) return nullptr;
  HTREEITEM up = Reach(parent);
  if (!up) return nullptr;
  TreeView_SelectItem(Tree().m_hWnd, nullptr);
  TreeView_SelectItem(Tree().m_hWnd, up);  // lists it afresh
  item = Tree().FindItem(path);
  if (item) TreeView_SelectItem(Tree().m_hWnd, item);
  return item;
}

void Cmd(UINT id) { Tree().SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0); }

// Selects `from`, records it with `how`, selects `to` and pastes.
void CopyPaste(const std::string& from, UINT how, const std::string& to) {
  ASSERT_NE(nullptr, Reach(from)) << from;
  Cmd(how);
  ASSERT_NE(nullptr, Reach(to)) << to;
  Cmd(ID_TREE_PASTE);
}

// ---- timers that answer or watch windows while a command runs ----

std::string g_inputAnswer;
VOID CALLBACK AnswerInput(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindOwnWindow("Volume Tree");
  if (!dialog) return;
  KillTimer(nullptr, id);
  SetDlgItemTextA(dialog, IDC_INPUT_TEXT, g_inputAnswer.c_str());
  LxSaveWindowShot(dialog, "volume_tree_new_folder");
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

struct ProgressWatch {
  int cancelAtFile = -1;        // presses Cancel once the caption counts this file
  bool shot = false;
  std::vector<std::string> captions;
  bool deleteRefused = false;   // a Delete command sent to the tree in the middle of the copy
  bool frameStayed = false;     // closing the frame and rebuilding the tree in the middle of it
};
ProgressWatch g_watch;

BOOL CALLBACK MatchProgress(HWND w, LPARAM p) {
  char text[128] = "";
  GetWindowTextA(w, text, sizeof text);
  if (std::strncmp(text, "In progress...", 14) != 0 || !IsWindowVisible(w)) return TRUE;
  *reinterpret_cast<HWND*>(p) = w;
  return FALSE;
}

HWND FindProgress() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), MatchProgress, reinterpret_cast<LPARAM>(&found));
  return found;
}

VOID CALLBACK WatchProgress(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = FindProgress();
  if (!dialog) return;
  char text[128] = "";
  GetWindowTextA(dialog, text, sizeof text);
  if (g_watch.captions.empty() || g_watch.captions.back() != text) g_watch.captions.push_back(text);
  if (!g_watch.shot) {
    g_watch.shot = true;
    LxSaveWindowShot(dialog, "volume_tree_progress");
    // The copy pumps messages: a tree command arriving now must not run inside it.
    int before = LxPromptRecordCount();
    Cmd(ID_TREE_DELETE);
    g_watch.deleteRefused = LxPromptRecordCount() == before && Tree().IsCopyRunning();
    // Nor may the frame go, or the menu rebuild the tree, under the copy's feet.
    g_frame->SendMessage(WM_CLOSE);
    g_frame->SendMessage(WM_COMMAND, MAKEWPARAM(ID_VOLUME_TREE, 0), 0);
    g_watch.frameStayed = IsWindow(g_frame->m_hWnd) && Tree().FindItem("/a") != nullptr &&
                          Tree().FindItem("t:/Reports") != nullptr;
  }
  int file = 0;
  if (g_watch.cancelAtFile > 0 && std::sscanf(text, "In progress... (%d/", &file) == 1 && file >= g_watch.cancelAtFile) {
    g_watch.cancelAtFile = -1;
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
}

class VolumeTreeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_area = Env("LX_TREE_AREA");
    if (g_area.empty()) g_area = MakeTempFolder("lxtree");
    g_handler = Env("LX_TREE_OPEN_HANDLER");
    lx::OptionsRecord options;
    std::memset(&options, 0, sizeof options);
    lx::SetOptionsPath(options.FsLibraryPath, "Pallix-VirtualDevice.dll");
    UseTestArea(g_app, g_area, options);
    LxPromptTestBegin();
    g_frame = CreateTestFrame(g_app);
    ASSERT_NE(g_frame, nullptr);
    ASSERT_EQ(0, lx::DeviceOpen("/a"));
    ASSERT_EQ(0, DeviceApiTable.gfslLowLevelFormat("/a", 1u << 20, 24u << 20));
    ASSERT_EQ(0, DeviceApiTable.gfslFormat("/a", "FAT16", "WINDOWS", 0));
    ASSERT_EQ(0, lx::VolumeMount(0));
  }
  static void TearDownTestSuite() {
    lx::VolumeUnmount(0);
    lx::DeviceClose("/a");
    if (g_frame) g_frame->DestroyWindow();
    LxPumpMessages();
    LxPromptTestEnd();
  }
  void SetUp() override { LxPromptTestBegin(); }
};

}  // namespace

// The roots: the test drive (readable through its raw device) and the volume, side by side;
// listing both with the right images; a name without an ANSI form is bold and raw.
TEST_F(VolumeTreeTest, ShowsTheTestDriveAndTheVolumeSideBySide) {
  ASSERT_TRUE(IsFolder("t:/")) << "the run script maps t: to a folder of its own";
  MakeSample("t:/Reports");
  MakeSample("/a/Notes");
  g_frame->SendMessage(WM_COMMAND, MAKEWPARAM(ID_VOLUME_TREE, 0), 0);
  ASSERT_TRUE(Tree().m_bTreeBuilt);
  std::vector<std::string> roots;
  for (HTREEITEM r = TreeView_GetRoot(Tree().m_hWnd); r; r = TreeView_GetNextSibling(Tree().m_hWnd, r)) {
    roots.push_back(Info(r).text);
    EXPECT_EQ(0, Info(r).image);
    EXPECT_EQ(1, Info(r).selectedImage);
  }
  EXPECT_EQ((std::vector<std::string>{kDrive, "/a"}), roots);

  HTREEITEM reports = Reach("t:/Reports");
  ASSERT_NE(nullptr, reports);
  HTREEITEM notes = Reach("/a/Notes");
  ASSERT_NE(nullptr, notes);
  HTREEITEM uber = Reach("/a/Notes/\xC3\x9C" "bersicht");
  ASSERT_NE(nullptr, uber);
  HTREEITEM folderOnPc = Reach("t:/Reports/\xC3\x9C" "bersicht");
  ASSERT_NE(nullptr, folderOnPc);
  struct Case {
    std::string path;
    int image, selected;
    bool bold;
  } cases[] = {
      {"t:/Reports/MiXeD CaSe.BIN", 4, 5, false},
      {"t:/Reports/empty folder", 2, 3, false},
      {"/a/Notes/\xC3\x9C" "bersicht", 2, 3, false},
      {"/a/Notes/\xC3\x9C" "bersicht/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", 4, 5, true},
      {"t:/Reports/\xC3\x9C" "bersicht/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", 4, 5, true},
  };
  for (const Case& c : cases) {
    HTREEITEM item = Tree().FindItem(c.path);
    ASSERT_NE(nullptr, item) << c.path;
    ItemInfo info = Info(item);
    EXPECT_EQ(c.image, info.image) << c.path;
    EXPECT_EQ(c.selected, info.selectedImage) << c.path;
    EXPECT_EQ(c.bold, info.bold) << c.path;
    EXPECT_EQ(c.bold ? 0 : kAnsiItemData, info.data) << c.path;
    if (c.bold) {
      EXPECT_EQ("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", info.text);  // the raw UTF-8 bytes
    }
  }
  // "Übersicht" has an ANSI form: the tree shows it converted, the path is the true name.
  EXPECT_EQ("\xDC" "bersicht", Info(uber).text);
  TreeView_Expand(Tree().m_hWnd, reports, TVE_EXPAND);
  TreeView_Expand(Tree().m_hWnd, folderOnPc, TVE_EXPAND);
  TreeView_Expand(Tree().m_hWnd, notes, TVE_EXPAND);
  TreeView_Expand(Tree().m_hWnd, uber, TVE_EXPAND);
  TreeView_SelectItem(Tree().m_hWnd, uber);
  LxPumpMessages();
  LxSaveWindowShot(g_frame->m_hWnd, "volume_tree_side_by_side");
  EXPECT_TRUE(Prompts().empty());
}

// Copy and move of a folder tree in all four directions through the tree's own commands, with
// the progress window; a tree command sent during the copy is refused.
TEST_F(VolumeTreeTest, CopiesAndMovesAFolderTreeInAllFourDirections) {
  ASSERT_TRUE(MakeFolder("t:/back"));
  ASSERT_TRUE(MakeFolder("t:/again"));
  ASSERT_TRUE(MakeFolder("t:/Reports/many"));
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(WriteAny("t:/Reports/many/part" + std::to_string(i) + ".bin", lxtest::NoiseBytes(4096, 100 + i)));
  std::map<std::string, std::string> expected = SampleMap();
  for (auto& kv : Snapshot("t:/Reports")) expected[kv.first] = kv.second;

  // PC -> volume, watching the progress window.
  g_watch = ProgressWatch();
  UINT_PTR timer = SetTimer(nullptr, 0, 1, WatchProgress);
  CopyPaste("t:/Reports", ID_TREE_COPY, "/a");
  KillTimer(nullptr, timer);
  EXPECT_EQ(std::vector<std::string>{"Copy finished."}, Prompts());
  EXPECT_TRUE(SameTree(expected, Snapshot("/a/Reports")));
  EXPECT_TRUE(g_watch.shot);
  EXPECT_TRUE(g_watch.deleteRefused);
  EXPECT_TRUE(g_watch.frameStayed);
  ASSERT_FALSE(g_watch.captions.empty());
  EXPECT_NE(std::string::npos, g_watch.captions.back().find("/65)")) << g_watch.captions.back();
  EXPECT_NE(nullptr, Tree().FindItem("/a/Reports"));  // the destination was listed again

  // volume -> volume into a new folder made with the tree's New Folder.
  ASSERT_NE(nullptr, Reach("/a"));
  g_inputAnswer = "Kopie";
  SetTimer(nullptr, 0, 20, AnswerInput);
  Cmd(ID_TREE_NEW_FOLDER);
  TreeView_EndEditLabelNow(Tree().m_hWnd, TRUE);
  EXPECT_TRUE(IsFolder("/a/Kopie"));
  LxPromptTestBegin();
  CopyPaste("/a/Reports", ID_TREE_COPY, "/a/Kopie");
  EXPECT_EQ(std::vector<std::string>{"Copy finished."}, Prompts());
  EXPECT_TRUE(SameTree(expected, Snapshot("/a/Kopie/Reports")));

  // volume -> PC, moved: the source goes, the destination holds everything.
  LxPromptTestBegin();
  CopyPaste("/a/Kopie/Reports", ID_TREE_CUT, "t:/back");
  EXPECT_EQ(std::vector<std::string>{"Copy finished."}, Prompts());
  EXPECT_TRUE(SameTree(expected, Snapshot("t:/back/Reports")));
  EXPECT_FALSE(IsFolder("/a/Kopie/Reports"));
  EXPECT_EQ(nullptr, Tree().FindItem("/a/Kopie/Reports"));
  EXPECT_TRUE(Tree().m_sourcePathUtf8.empty());  // the record is cleared after a move

  // PC -> PC.
  LxPromptTestBegin();
  CopyPaste("t:/back/Reports", ID_TREE_COPY, "t:/again");
  EXPECT_EQ(std::vector<std::string>{"Copy finished."}, Prompts());
  EXPECT_TRUE(SameTree(expected, Snapshot("t:/again/Reports")));

  // A folder pasted into its own sub-folder is refused and nothing is made.
  LxPromptTestBegin();
  CopyPaste("/a/Reports", ID_TREE_COPY, "/a/Reports/empty folder");
  EXPECT_EQ(std::vector<std::string>{"Copy failed: the destination folder is inside the source folder."}, Prompts());
  EXPECT_FALSE(IsFolder("/a/Reports/empty folder/Reports"));
  LxSaveWindowShot(g_frame->m_hWnd, "volume_tree_after_copies");
}

// Cancel in the progress window stops between files and says what was copied.
TEST_F(VolumeTreeTest, CancelStopsBetweenFilesAndSaysWhatWasCopied) {
  g_watch = ProgressWatch();
  g_watch.cancelAtFile = 10;
  UINT_PTR timer = SetTimer(nullptr, 0, 1, WatchProgress);
  CopyPaste("t:/Reports/many", ID_TREE_CUT, "/a/Kopie");
  KillTimer(nullptr, timer);
  std::vector<std::string> said = Prompts();
  ASSERT_EQ(1u, said.size());
  int copied = 0, total = 0;
  ASSERT_EQ(2, std::sscanf(said[0].c_str(), "Copy canceled: %d of %d files copied.", &copied, &total)) << said[0];
  EXPECT_EQ(60, total);
  EXPECT_GE(copied, 9);
  EXPECT_LT(copied, 60);
  EXPECT_EQ(static_cast<size_t>(copied), Snapshot("/a/Kopie/many").size());
  EXPECT_EQ(60u, Snapshot("t:/Reports/many").size());  // a cancelled move removes nothing
}

// A move into a full volume copies what fits, says so, and keeps every source.
TEST_F(VolumeTreeTest, AMoveIntoAFullVolumeIsPartialAndKeepsEverySource) {
  ASSERT_TRUE(MakeFolder("/a/fill"));
  int fills = 0;
  while (WriteAny("/a/fill/f" + std::to_string(fills), lxtest::NoiseBytes(1 << 20, fills))) ++fills;
  ASSERT_GT(fills, 3);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(0, DeviceApiTable.gfslunlink(("/a/fill/f" + std::to_string(i)).c_str()));
  ASSERT_TRUE(MakeFolder("t:/big"));
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(WriteAny("t:/big/b" + std::to_string(i) + ".bin", lxtest::NoiseBytes(1 << 20, 50 + i)));
  CopyPaste("t:/big", ID_TREE_CUT, "/a");
  std::vector<std::string> said = Prompts();
  ASSERT_EQ(1u, said.size());
  int copied = 0, total = 0;
  ASSERT_EQ(2, std::sscanf(said[0].c_str(), "Copy failed: %d of %d files copied.", &copied, &total)) << said[0];
  EXPECT_EQ(6, total);
  EXPECT_GE(copied, 1);
  EXPECT_LT(copied, 6);
  EXPECT_NE(std::string::npos, said[0].find("Nothing was removed from the source."));
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(ReadAny("t:/big/b" + std::to_string(i) + ".bin") == lxtest::NoiseBytes(1 << 20, 50 + i)) << i;
  std::map<std::string, std::string> onVolume = Snapshot("/a/big");
  EXPECT_EQ(static_cast<size_t>(copied), onVolume.size());  // no cut-off file stays behind
  for (auto& kv : onVolume) EXPECT_TRUE(kv.second == ReadAny("t:/big/" + kv.first)) << kv.first;
  // Room again for the other tests.
  ASSERT_NE(nullptr, Reach("/a/fill"));
  Cmd(ID_TREE_DELETE);
  EXPECT_FALSE(IsFolder("/a/fill"));
}

// Rename, new folder, delete (never a root), refresh.
TEST_F(VolumeTreeTest, RenamesCreatesDeletesAndRefreshes) {
  ASSERT_TRUE(WriteAny("/a/old name.txt", "text"));
  HTREEITEM item = Reach("/a/old name.txt");
  ASSERT_NE(nullptr, item);
  struct Rename {
    std::string text;
    std::string expectPath;
    std::vector<std::string> said;
  } renames[] = {
      {"old name.txt", "/a/old name.txt", {}},                // unchanged: no call
      {"New \xC4rger.txt", "/a/New \xC3\x84rger.txt", {}},   // ANSI text, converted once
      {"bad/name", "/a/New \xC3\x84rger.txt", {"Rename failed."}},
  };
  std::string current = "/a/old name.txt";
  for (const Rename& r : renames) {
    LxPromptTestBegin();
    item = Reach(current);
    ASSERT_NE(nullptr, item) << r.text;
    HWND edit = TreeView_EditLabel(Tree().m_hWnd, item);
    ASSERT_NE(nullptr, edit);
    SetWindowTextA(edit, r.text.c_str());
    TreeView_EndEditLabelNow(Tree().m_hWnd, FALSE);
    EXPECT_EQ(r.said, Prompts()) << r.text;
    EXPECT_EQ("text", ReadAny(r.expectPath)) << r.text;
    EXPECT_NE(nullptr, Tree().FindItem(r.expectPath)) << r.text;
    current = r.expectPath;
  }
  // Roots: no rename, no delete, no cut.
  HTREEITEM root = Reach("/a");
  LxPromptTestBegin();
  HWND edit = TreeView_EditLabel(Tree().m_hWnd, root);
  SetWindowTextA(edit, "/b");
  TreeView_EndEditLabelNow(Tree().m_hWnd, FALSE);
  Cmd(ID_TREE_DELETE);
  Cmd(ID_TREE_CUT);
  EXPECT_EQ((std::vector<std::string>{"Rename failed.", "A drive or volume root can't be deleted or moved.",
                                      "A drive or volume root can't be deleted or moved."}),
            Prompts());
  EXPECT_TRUE(IsFolder("/a/Reports"));
  EXPECT_EQ("/a", Info(root).text);

  // New folder under a file fails and the item goes again.
  LxPromptTestBegin();
  Reach("/a/New \xC3\x84rger.txt");
  g_inputAnswer = "sub";
  SetTimer(nullptr, 0, 20, AnswerInput);
  Cmd(ID_TREE_NEW_FOLDER);
  EXPECT_EQ(std::vector<std::string>{"Add a new folder failed."}, Prompts());
  EXPECT_EQ(nullptr, Tree().FindItem("/a/New \xC3\x84rger.txt/sub"));

  // Delete: a file, a non-empty volume folder, a non-empty PC folder (refused by the PC).
  struct Delete {
    std::string path;
    const char* said;
    bool gone;
  } deletes[] = {
      {"/a/New \xC3\x84rger.txt", "Delete finished.", true},
      {"/a/Kopie", "Delete finished.", true},
      {"t:/again/Reports", "Delete failed.", false},
  };
  for (const Delete& d : deletes) {
    LxPromptTestBegin();
    ASSERT_NE(nullptr, Reach(d.path)) << d.path;
    Cmd(ID_TREE_DELETE);
    EXPECT_EQ(std::vector<std::string>{d.said}, Prompts()) << d.path;
    bool exists = false;
    ItemAttributes(d.path, &exists);
    EXPECT_EQ(d.gone, !exists) << d.path;
    EXPECT_EQ(d.gone, Tree().FindItem(d.path) == nullptr) << d.path;
  }

  // Refresh lists what appeared behind the tree's back.
  ASSERT_NE(nullptr, Reach("/a/Reports"));
  ASSERT_TRUE(WriteAny("/a/Reports/late.txt", "late"));
  EXPECT_EQ(nullptr, Tree().FindItem("/a/Reports/late.txt"));
  Cmd(ID_TREE_REFRESH);
  EXPECT_NE(nullptr, Tree().FindItem("/a/Reports/late.txt"));
}

// Drag and drop moves the dragged item onto the folder under the cursor; a root does not drag.
TEST_F(VolumeTreeTest, DragAndDropMovesAnItem) {
  ASSERT_TRUE(WriteAny("t:/dragged.txt", "dragged"));
  Reach("t:/dragged.txt");
  HTREEITEM source = Reach("t:/dragged.txt");
  HTREEITEM target = Reach("/a/Reports");
  ASSERT_NE(nullptr, source);
  ASSERT_NE(nullptr, target);
  RECT at;
  TreeView_GetItemRect(Tree().m_hWnd, source, &at, TRUE);
  RECT to;
  TreeView_GetItemRect(Tree().m_hWnd, target, &to, TRUE);
  NMTREEVIEWA begin = {};
  begin.hdr.hwndFrom = Tree().m_hWnd;
  begin.hdr.code = TVN_BEGINDRAGA;
  begin.itemNew.hItem = source;
  begin.ptDrag = {at.left + 4, (at.top + at.bottom) / 2};
  ::SendMessageA(g_frame->m_wndVolumeTreeBar.m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&begin));
  ASSERT_NE(nullptr, Tree().m_pDragImage);
  EXPECT_TRUE(Tree().m_bCutMode);
  LPARAM over = MAKELPARAM(to.left + 4, (to.top + to.bottom) / 2);
  Tree().SendMessage(WM_MOUSEMOVE, 0, over);
  EXPECT_EQ(target, TreeView_GetDropHilight(Tree().m_hWnd));
  LxSaveWindowShot(g_frame->m_hWnd, "volume_tree_drag");
  Tree().SendMessage(WM_LBUTTONUP, 0, over);
  EXPECT_EQ(nullptr, Tree().m_pDragImage);
  EXPECT_EQ(std::vector<std::string>{"Copy finished."}, Prompts());
  EXPECT_EQ("dragged", ReadAny("/a/Reports/dragged.txt"));
  EXPECT_FALSE(HostStat("t:/dragged.txt").exists);
  EXPECT_NE(nullptr, Tree().FindItem("/a/Reports/dragged.txt"));

  // A root is no drag source.
  begin.itemNew.hItem = TreeView_GetRoot(Tree().m_hWnd);
  ::SendMessageA(g_frame->m_wndVolumeTreeBar.m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&begin));
  EXPECT_EQ(nullptr, Tree().m_pDragImage);
}

// Properties of a file and a folder; the run script compares them with mtools.
TEST_F(VolumeTreeTest, ShowsPropertiesOfAFileAndAFolder) {
  HTREEITEM file = Reach("/a/Reports/MiXeD CaSe.BIN");
  ASSERT_NE(nullptr, file);
  Cmd(ID_TREE_PROPERTIES);
  ASSERT_NE(nullptr, Tree().m_pPropertiesDlg);
  HWND dialog = Tree().m_pPropertiesDlg->m_hWnd;
  ASSERT_TRUE(IsWindowVisible(dialog));
  auto text = [&](int id) {
    char value[512] = "";
    GetDlgItemTextA(dialog, id, value, sizeof value);
    return std::string(value);
  };
  EXPECT_EQ("MiXeD CaSe.BIN", text(IDC_PROP_NAME));
  EXPECT_EQ("User Editor", text(IDC_PROP_OPEN_WITH));
  EXPECT_EQ("/a/Reports/MiXeD CaSe.BIN", text(IDC_PROP_LOCATION));
  EXPECT_EQ("131072 Bytes", text(IDC_PROP_SIZE));
  EXPECT_FALSE(text(IDC_PROP_MODIFIED).empty());
  EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog, IDC_PROP_ARCHIVE));
  EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dialog, IDC_PROP_DIRECTORY));
  LxSaveWindowShot(dialog, "volume_tree_properties_file");
  std::ofstream props(g_area + "\\props.txt", std::ios::binary);
  props << "FILE|/Reports/MiXeD CaSe.BIN|" << text(IDC_PROP_SIZE) << "|" << text(IDC_PROP_MODIFIED) << "\n";

  // It follows the selection while visible.
  Reach("/a/Reports");
  EXPECT_EQ("/a/Reports", text(IDC_PROP_LOCATION));
  EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog, IDC_PROP_DIRECTORY));
  EXPECT_NE(std::string::npos, text(IDC_PROP_SIZE).find(" Files, ")) << text(IDC_PROP_SIZE);
  props << "FOLDER|/Reports|" << text(IDC_PROP_SIZE) << "\n";
  LxSaveWindowShot(dialog, "volume_tree_properties_folder");
  // A root carries no item data: "(UTF-8) " before its text.
  Reach("/a");
  EXPECT_EQ("(UTF-8) /a", text(IDC_PROP_NAME));
  // The second Properties hides it, the third shows the current selection again.
  Cmd(ID_TREE_PROPERTIES);
  EXPECT_FALSE(IsWindowVisible(dialog));
  Reach("t:/Reports/a.b.c.d");
  Cmd(ID_TREE_PROPERTIES);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ("512 Bytes", text(IDC_PROP_SIZE));
  Cmd(ID_TREE_PROPERTIES);
}

// Open: a volume file goes to "User Data\temp" and to the application registered for its type.
TEST_F(VolumeTreeTest, OpensAVolumeFileWithTheRegisteredApplication) {
  ASSERT_FALSE(g_handler.empty()) << "the run script names the open handler";
  std::string received = g_area + "\\received.bin";
  DeleteFileA(received.c_str());
  std::string command = "\"" + g_handler + "\" \"%1\" \"" + received + "\"";
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, ".lxtreetest", &key));
  RegSetValueA(key, nullptr, REG_SZ, "LxTreeTest.File", 0);
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, "LxTreeTest.File\\shell\\open\\command", &key));
  RegSetValueA(key, nullptr, REG_SZ, command.c_str(), 0);
  RegCloseKey(key);

  const std::string data = lxtest::NoiseBytes(300000, 77);
  ASSERT_TRUE(MakeFolder("/a/opened"));  // beside the folder whose properties the script checks
  ASSERT_TRUE(WriteAny("/a/opened/report.lxtreetest", data));
  ASSERT_NE(nullptr, Reach("/a/opened/report.lxtreetest"));
  NMHDR dbl = {Tree().m_hWnd, 0, static_cast<UINT>(NM_DBLCLK)};
  ::SendMessageA(g_frame->m_wndVolumeTreeBar.m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&dbl));
  EXPECT_TRUE(Prompts().empty());
  std::string copy = Tree().m_lastOpenedCopy;
  EXPECT_EQ(0u, copy.find(g_area + "\\User Data\\temp\\~")) << copy;
  EXPECT_EQ(".lxtreetest", copy.substr(copy.size() - 11));
  EXPECT_TRUE(ReadAny(copy) == data);
  std::string got;
  for (int i = 0; i < 400 && (got = ReadAny(received)) != data; ++i) Sleep(25);
  EXPECT_TRUE(got == data) << "the handler received " << got.size() << " bytes";
  // A PC file goes to its application as it is.
  DeleteFileA(received.c_str());
  ASSERT_TRUE(WriteAny("t:/pc.lxtreetest", "from the PC"));
  ASSERT_NE(nullptr, Reach("t:/pc.lxtreetest"));
  Cmd(ID_TREE_OPEN);
  for (int i = 0; i < 400 && (got = ReadAny(received)) != "from the PC"; ++i) Sleep(25);
  EXPECT_EQ("from the PC", got);
  // A folder opens nothing.
  Reach("/a/opened");
  std::string before = Tree().m_lastOpenedCopy;
  Cmd(ID_TREE_OPEN);
  EXPECT_EQ(before, Tree().m_lastOpenedCopy);
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "LxTreeTest.File\\shell\\open\\command");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "LxTreeTest.File\\shell\\open");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "LxTreeTest.File\\shell");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "LxTreeTest.File");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, ".lxtreetest");
  LxSaveWindowShot(g_frame->m_hWnd, "volume_tree_final");
}

// The context menu of a right click, as the user sees it; Escape closes it and nothing runs.
VOID CALLBACK ShootMenu(HWND, UINT, UINT_PTR id, DWORD) {
  HWND menu = FindWindowA("#32768", nullptr);
  if (!menu || !IsWindowVisible(menu)) return;
  KillTimer(nullptr, id);
  RECT r;
  GetWindowRect(menu, &r);
  LxSaveWindowShot(g_frame->m_hWnd, "volume_tree_context_menu");
  EndMenu();
}

TEST_F(VolumeTreeTest, ARightClickShowsTheContextMenu) {
  HTREEITEM item = Reach("/a/Reports/MiXeD CaSe.BIN");
  ASSERT_NE(nullptr, item);
  RECT at;
  TreeView_GetItemRect(Tree().m_hWnd, item, &at, TRUE);
  LPARAM point = MAKELPARAM(at.left + 6, (at.top + at.bottom) / 2);
  UINT_PTR timer = SetTimer(nullptr, 0, 50, ShootMenu);
  // The control's own right-button handling waits for the button to come up.
  Tree().PostMessage(WM_RBUTTONUP, 0, point);
  Tree().SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, point);
  KillTimer(nullptr, timer);
  EXPECT_EQ(item, TreeView_GetSelection(Tree().m_hWnd));
  EXPECT_TRUE(Prompts().empty());
  EXPECT_EQ("/a/Reports/MiXeD CaSe.BIN", Tree().GetItemPathUtf8(TreeView_GetSelection(Tree().m_hWnd)));
}

namespace {

// The Volume Duplicate dialog, answered from a timer while the frame's menu command runs it:
// the master file's path typed in, one of its buttons pressed, then closed.
std::string g_masterPath;
int g_duplicateButton = 0;
bool g_duplicatePressed = false;
VOID CALLBACK DriveDuplicate(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindOwnWindow("Volume Duplicate");
  if (!dialog) return;
  KillTimer(nullptr, id);
  SetDlgItemTextA(dialog, IDC_VD_PATH, g_masterPath.c_str());
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(g_duplicateButton, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, g_duplicateButton)));
  g_duplicatePressed = true;
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);  // it closes through OK only
}

void RunDuplicate(int button) {
  g_duplicateButton = button;
  g_duplicatePressed = false;
  SetTimer(nullptr, 0, 20, DriveDuplicate);
  g_frame->SendMessage(WM_COMMAND, MAKEWPARAM(ID_VOLUME_DUPLICATE, 0), 0);
  ASSERT_TRUE(g_duplicatePressed);
}

// The roots, when no test before this one built them (a test run alone).
void BuildTreeOnce() {
  if (!Tree().FindItem("/a")) g_frame->SendMessage(WM_COMMAND, MAKEWPARAM(ID_VOLUME_TREE, 0), 0);
}

RECT FrameClientOnScreen() {
  RECT client;
  GetClientRect(g_frame->m_hWnd, &client);
  MapWindowPoints(g_frame->m_hWnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
  return client;
}

}  // namespace

// The Delete key in the focused tree, as the program's own message loop delivers it (the frame's
// accelerators see every key first), and the boxes of delete and copy under the program's name.
TEST_F(VolumeTreeTest, TheDeleteKeyDeletesAndTheBoxesCarryTheProgramsName) {
  BuildTreeOnce();
  ASSERT_TRUE(WriteAny("/a/by key.txt", "key"));
  ASSERT_TRUE(MakeFolder("/a/keyed"));
  CopyPaste("/a/by key.txt", ID_TREE_COPY, "/a/keyed");
  ASSERT_EQ(LxPromptRecordCount(), 1);
  EXPECT_STREQ(LxPromptRecordText(0), "Copy finished.");
  EXPECT_STREQ(LxPromptRecordCaption(0), "Lumivex");
  for (const char* path : {"/a/by key.txt", "/a/keyed/by key.txt"}) {
    LxPromptTestBegin();
    ASSERT_NE(nullptr, Reach(path)) << path;
    ::SetFocus(Tree().m_hWnd);
    ASSERT_EQ(::GetFocus(), Tree().m_hWnd);
    PostMessageA(Tree().m_hWnd, WM_KEYDOWN, VK_DELETE, 0x01530001);  // Delete's scan code, extended key
    PostMessageA(Tree().m_hWnd, WM_KEYUP, VK_DELETE, 0xC1530001);
    lx::PumpMessages(256);
    ASSERT_EQ(LxPromptRecordCount(), 1) << path;
    EXPECT_STREQ(LxPromptRecordText(0), "Delete finished.") << path;
    EXPECT_STREQ(LxPromptRecordCaption(0), "Lumivex") << path;
    EXPECT_EQ("<missing>", ReadAny(path)) << path;
    EXPECT_EQ(nullptr, Tree().FindItem(path)) << path;
  }
}

// The properties window, made without a parent, opens inside the frame's client area, not over
// its menu bar at the screen's corner.
TEST_F(VolumeTreeTest, ThePropertiesWindowOpensInsideTheFrame) {
  BuildTreeOnce();
  ASSERT_NE(nullptr, Reach("/a"));
  if (!Tree().m_pPropertiesDlg || !IsWindowVisible(Tree().m_pPropertiesDlg->m_hWnd)) Cmd(ID_TREE_PROPERTIES);
  ASSERT_NE(nullptr, Tree().m_pPropertiesDlg);
  RECT own, client = FrameClientOnScreen();
  GetWindowRect(Tree().m_pPropertiesDlg->m_hWnd, &own);
  EXPECT_GE(own.top, client.top);
  EXPECT_GE(own.left, client.left);
  LxSaveWindowShot(g_frame->m_hWnd, "volume_tree_properties_placed");
  Cmd(ID_TREE_PROPERTIES);
}

// A volume duplicate restore rewrites the volume under the tree: the tree lists it again, so a
// file made after the master copy is not shown once the restore is done.
TEST_F(VolumeTreeTest, ARestoreFromAMasterFileListsTheVolumeAgain) {
  BuildTreeOnce();
  g_masterPath = g_area + "\\restore.vol";
  ASSERT_EQ(0, lx::VolumeBDTLMount(0));  // the Volume menu's tools want the block layer
  DeleteFileA(g_masterPath.c_str());
  ASSERT_TRUE(WriteAny("/a/before the master.txt", "earlier"));
  ASSERT_NO_FATAL_FAILURE(RunDuplicate(IDC_VD_CREATE_MASTER));
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(g_masterPath.c_str())) << ::testing::PrintToString(Prompts());
  ASSERT_TRUE(WriteAny("/a/after the master.txt", "later"));
  ASSERT_NE(nullptr, Reach("/a/after the master.txt"));
  LxPromptTestBegin();
  ASSERT_NO_FATAL_FAILURE(RunDuplicate(IDC_VD_CREATE_DUPLICATE));
  EXPECT_EQ(nullptr, Tree().FindItem("/a/after the master.txt")) << ::testing::PrintToString(Prompts());
  ASSERT_EQ(0, lx::VolumeMount(0));
  EXPECT_EQ("<missing>", ReadAny("/a/after the master.txt"));
  ASSERT_NE(nullptr, Reach("/a"));
  Cmd(ID_TREE_REFRESH);  // mounted again: what the restore brought back is listed
  EXPECT_NE(nullptr, Tree().FindItem("/a/before the master.txt"));
  EXPECT_EQ("earlier", ReadAny("/a/before the master.txt"));
  EXPECT_EQ(nullptr, Tree().FindItem("/a/after the master.txt"));
}
