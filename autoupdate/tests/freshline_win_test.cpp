// Freshline's dialog as a real window under Wine and Xvfb, against the stand-in update server on a
// loopback port of its own: a whole update, a server that misbehaves in every way we know of, names
// that would lead out of the installation folder, the self-update, and the buttons that end it.
// Each test installs into a folder of its own and checks the files on disk afterwards.
#include "update_server.h"  // Winsock before the Windows headers

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "freshline_dlg.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "resource.h"
#include "test_support.h"

using lxtest::ServedFile;
using lxtest::ServedProduct;
using lxtest::UpdateServer;

namespace {

CWinApp g_app("Freshline tests");

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string WinPath(const std::string& unixPath) {
  std::string p = "Z:" + unixPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

std::string Fixture(const char* name) { return WinPath(std::string(LX_UPDATE_FIXTURES) + "/" + name); }

using lxtest::ReadBytes;

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + "\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
      else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

// Every file below a folder with its bytes: the state of an installation.
using Snapshot = std::map<std::string, std::vector<uint8_t>>;
void Take(const std::string& dir, const std::string& rel, Snapshot* out) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Take(dir + "\\" + name, rel + name + "\\", out);
    else (*out)[rel + name] = ReadBytes(dir + "\\" + name);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}
Snapshot SnapshotOf(const std::string& dir) {
  Snapshot s;
  Take(dir, "", &s);
  return s;
}

class TestDlg : public CFreshlineDlg {
 public:
  std::vector<int> ended;
  void EndProcess(int code) override { ended.push_back(code); }
  void Click(int id) { ::SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  std::string Log() const {
    std::wstring w = LogText();
    std::string s;
    for (wchar_t c : w) s += c < 0x80 ? static_cast<char>(c) : '?';
    return s;
  }
};

// A work folder per test: "root" holds "install" (the installation, with a sub-folder as the kit
// module has one) and "download" (the client's own download folder).
class Freshline : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadLibraryA("riched20.dll");  // as the program does at start
    LxPromptTestBegin();
    CreateDirectoryA(WinPath(LX_UPDATE_WORK).c_str(), nullptr);
    root = WinPath(std::string(LX_UPDATE_WORK) + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    RemoveTree(root);
    CreateDirectoryA(root.c_str(), nullptr);
    install = root + "\\install";
    download = root + "\\download";
    CreateDirectoryA(install.c_str(), nullptr);
    CreateDirectoryA((install + "\\External FS Module").c_str(), nullptr);
    // A: 1.9.255.300, offered 2.0.0.1. B: 3.0.0.0, offered 2.9 (older). C: no version information.
    // D: 1.9.255.300 in the sub-folder, offered 1.10 (newer part by part, older as text).
    oldDll = ReadBytes(Fixture("update_component_1_9_255_300.dll"));
    newDll = ReadBytes(Fixture("update_component_2_0_0_1.dll"));
    ASSERT_FALSE(oldDll.empty());
    ASSERT_FALSE(newDll.empty());
    WriteFileBytes(install + "\\CompA.dll", oldDll);
    WriteFileBytes(install + "\\CompB.dll", ReadBytes(Fixture("update_component_3_0_0_0.dll")));
    WriteFileBytes(install + "\\readme.txt", {'n', 'o', ' ', 'v', 'e', 'r', 's', 'i', 'o', 'n'});
    WriteFileBytes(install + "\\External FS Module\\CompD.dll", oldDll);
    for (int i = 0; i < 1500; ++i) helpText.push_back(static_cast<uint8_t>('a' + i % 26));
  }
  void TearDown() override { LxPromptTestEnd(); }

  // The catalogue of a normal server: two components with newer versions (A with one file, D with
  // a second file that is started after copying), two that must stay as they are.
  void Catalogue(UpdateServer& server) {
    server.products = {
        {u"10", u"CompA.dll", u"2.0.0.1", u"", u"Faster reads", {{u"100", u"CompA.dll", u"0", u"", newDll}}},
        {u"20", u"CompB.dll", u"2.9", u"", u"Older than installed", {{u"200", u"CompB.dll", u"0", u"", newDll}}},
        {u"30", u"readme.txt", u"9.0.0.0", u"", u"No version installed", {{u"300", u"readme.txt", u"0", u"", helpText}}},
        {u"40", u"CompD.dll", u"1.10", u"\\External FS Module", u"Module",
         {{u"400", u"CompD.dll", u"0", u"\\External FS Module", newDll},
          {u"401", u"marker.exe", u"1", u"\\External FS Module", ReadBytes(Fixture("update_run_marker.exe"))}}},
    };
  }

  void Open(TestDlg& dlg, UpdateServer& server) {
    dlg.m_strServer = "127.0.0.1";
    dlg.m_nPort = server.Port();
    dlg.m_installFolder = Wide(install);
    dlg.m_downloadFolder = Wide(download);
    dlg.m_idleTimeoutMs = 1500;
    ASSERT_TRUE(dlg.Create(IDD_FRESHLINE_DIALOG));
  }

  std::string root, install, download;
  std::vector<uint8_t> oldDll, newDll, helpText;
};

TEST_F(Freshline, UpdatesTwoComponentsEndToEnd) {
  UpdateServer server;
  Catalogue(server);
  // Somebody else's file in the download folder is none of the client's business.
  CreateDirectoryA(download.c_str(), nullptr);
  WriteFileBytes(download + "\\notes.txt", {'m', 'i', 'n', 'e'});
  TestDlg dlg;
  Open(dlg, server);
  dlg.Click(IDC_START_UPDATE);
  std::string log = dlg.Log();
  LxSaveWindowShot(dlg.m_hWnd, "freshline_update");

  EXPECT_NE(log.find("Connection has accomplished."), std::string::npos) << log;
  EXPECT_NE(log.find("Found an update for CompA.dll (v2.0.0.1).\n : Faster reads"), std::string::npos) << log;
  EXPECT_NE(log.find("Found an update for CompD.dll (v1.10)."), std::string::npos) << log;
  EXPECT_EQ(log.find("CompB.dll (v"), std::string::npos) << log;
  EXPECT_EQ(log.find("readme.txt (v"), std::string::npos) << log;
  EXPECT_NE(log.find("Download marker.exe... (3 of 3)... Finished"), std::string::npos) << log;
  EXPECT_NE(log.find("Update CompA.dll... (1 of 3)"), std::string::npos) << log;
  EXPECT_NE(log.find("Update has been finished successfully."), std::string::npos) << log;
  EXPECT_NE(log.find("Connection has closed."), std::string::npos) << log;
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"Please make sure that Lumivex is closed.",
                                                 "Download has finished. Continue to install updates?"}));
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{"Request:Category:Lumivex", "Request:Version:10",
                                                          "Request:Version:40", "Request:Data:401",
                                                          "Request:Data:400", "Request:Data:100"}));

  EXPECT_EQ(ReadBytes(install + "\\CompA.dll"), newDll);
  EXPECT_EQ(ReadBytes(install + "\\External FS Module\\CompD.dll"), newDll);
  EXPECT_EQ(ReadBytes(install + "\\CompB.dll"), ReadBytes(Fixture("update_component_3_0_0_0.dll")));
  EXPECT_EQ(ReadBytes(install + "\\readme.txt").size(), 10u);
  std::vector<uint8_t> ran = ReadBytes(install + "\\External FS Module\\ran.txt");
  EXPECT_EQ(std::string(ran.begin(), ran.end()), "\"" + install + "\\External FS Module\\marker.exe\"");
  // Our downloads are gone, the other file stays.
  EXPECT_EQ(SnapshotOf(download), (Snapshot{{"notes.txt", {'m', 'i', 'n', 'e'}}}));
  EXPECT_TRUE(dlg.ended.empty());

  // A second run finds everything up to date.
  TestDlg again;
  Open(again, server);
  again.Click(IDC_START_UPDATE);
  EXPECT_NE(again.Log().find("There is no update at the moment."), std::string::npos) << again.Log();
  EXPECT_EQ(ReadBytes(install + "\\CompA.dll"), newDll);
}

TEST_F(Freshline, ServersThatMisbehave) {
  struct Case {
    const char* what;
    std::function<void(lxtest::Misbehaviour&)> set;
    std::vector<int> answers;  // for the Retry/Cancel box
    bool installs;
    const char* logged;
  };
  const Case cases[] = {
      {"odd pieces", [](lxtest::Misbehaviour& b) { b.piece = 3; }, {}, true, "Update has been finished successfully."},
      {"one byte at a time", [](lxtest::Misbehaviour& b) { b.piece = 1; }, {}, true, "finished successfully"},
      {"split header", [](lxtest::Misbehaviour& b) { b.splitHeader = true; }, {}, true, "finished successfully"},
      {"bytes beyond the length", [](lxtest::Misbehaviour& b) { b.extraBytes = 7; }, {}, true, "finished successfully"},
      {"two wrong checksums", [](lxtest::Misbehaviour& b) { b.wrongChecksums = 2; }, {}, true,
       "Download has failed - retry to download.\nDownload has failed - retry to download.\n"},
      {"five wrong checksums, then Retry", [](lxtest::Misbehaviour& b) { b.wrongChecksums = 5; }, {IDRETRY}, true,
       "Download has failed - check sum error.\nDownload has failed - retry to download.\n"},
      {"wrong checksums, then Cancel", [](lxtest::Misbehaviour& b) { b.wrongChecksums = 100; }, {IDCANCEL}, false,
       "cancelled after repeated checksum errors"},
      {"short file", [](lxtest::Misbehaviour& b) { b.shortBy = 10; }, {}, false,
       "The connection was closed before the reply was complete."},
      {"data stalls", [](lxtest::Misbehaviour& b) { b.stallData = true; }, {}, false,
       "The update server has not answered for 2 seconds."},
      {"text stalls", [](lxtest::Misbehaviour& b) { b.stallText = true; }, {}, false, "has not answered"},
      {"line without separator", [](lxtest::Misbehaviour& b) { b.malformedLine = true; }, {}, false,
       "reply cannot be read: a line without ':'"},
      {"record cut short", [](lxtest::Misbehaviour& b) { b.partialRecord = true; }, {}, false,
       "reply cannot be read: a record of 2 lines where 5 belong"},
      // Whether the close is seen before the next request goes out or after it is up to the network.
      {"closed after the list", [](lxtest::Misbehaviour& b) { b.closeAfterCategory = true; }, {}, false,
       "The connection"},
  };
  for (const Case& c : cases) {
    SetUp();
    Snapshot before = SnapshotOf(install);
    UpdateServer server;
    Catalogue(server);
    c.set(server.bad);
    if (!c.answers.empty()) LxPromptQueueAnswer(IDOK);  // "Please make sure that Lumivex is closed."
    for (int a : c.answers) LxPromptQueueAnswer(a);
    TestDlg dlg;
    Open(dlg, server);
    dlg.Click(IDC_START_UPDATE);
    std::string log = dlg.Log();
    EXPECT_NE(log.find(c.logged), std::string::npos) << c.what << "\n" << log;
    if (c.installs) {
      EXPECT_EQ(ReadBytes(install + "\\CompA.dll"), newDll) << c.what;
      EXPECT_EQ(ReadBytes(install + "\\External FS Module\\CompD.dll"), newDll) << c.what;
    } else {
      EXPECT_EQ(SnapshotOf(install), before) << c.what;  // not a byte changed
      EXPECT_NE(log.find("Nothing was installed."), std::string::npos) << c.what << "\n" << log;
      EXPECT_EQ(log.find("Update has been finished"), std::string::npos) << c.what;
    }
    EXPECT_FALSE(Exists(download)) << c.what;
    bool cancelled = !c.answers.empty() && c.answers[0] == IDCANCEL;
    EXPECT_EQ(dlg.ended, cancelled ? std::vector<int>{0} : std::vector<int>{}) << c.what;
    dlg.DestroyWindow();
  }
}

TEST_F(Freshline, NamesLeadingOutOfTheInstallationAreRefused) {
  struct Case {
    std::u16string name, folder;
  };
  const Case cases[] = {
      {u"..\\..\\x", u""},     {u"..", u""},           {u"C:\\evil.dll", u""}, {u"D:evil.dll", u""},
      {u"\\\\host\\s\\x", u""}, {u"/etc/evil", u""},   {u"x.dll", u"..\\.."},  {u"x.dll", u"\\..\\..\\out"},
      {u"x.dll", u"C:\\Windows"}, {u"x.dll", u"Z:\\tmp"}, {u"CON", u""},        {u"x.dll:stream", u""},
  };
  for (const Case& c : cases) {
    SetUp();
    Snapshot before = SnapshotOf(install);
    Snapshot rootBefore = SnapshotOf(root);
    UpdateServer server;
    Catalogue(server);
    server.products[0].files.push_back({u"666", c.name, u"1", c.folder, {'e', 'v', 'i', 'l'}});
    TestDlg dlg;
    Open(dlg, server);
    dlg.Click(IDC_START_UPDATE);
    std::string log = dlg.Log();
    std::string what = lx::update::Narrow(c.folder) + " | " + lx::update::Narrow(c.name);
    EXPECT_NE(log.find("named a file outside the installation folder"), std::string::npos) << what << "\n" << log;
    EXPECT_EQ(SnapshotOf(install), before) << what;
    EXPECT_EQ(SnapshotOf(root), rootBefore) << what;  // nothing beside the installation either
    for (const auto& r : server.Requests()) EXPECT_EQ(r.find("Request:Data"), std::string::npos) << what;
    EXPECT_FALSE(Exists(root + "\\x")) << what;
    EXPECT_FALSE(Exists(root + "\\out")) << what;
    dlg.DestroyWindow();
  }
  // A component whose installed path would lead out is not even looked at.
  SetUp();
  UpdateServer server;
  Catalogue(server);
  server.products[0].folder = u"..\\..";
  TestDlg dlg;
  Open(dlg, server);
  dlg.Click(IDC_START_UPDATE);
  EXPECT_NE(dlg.Log().find("named a component outside the installation folder"), std::string::npos) << dlg.Log();
  EXPECT_EQ(ReadBytes(install + "\\CompA.dll"), oldDll);
}

TEST_F(Freshline, SelfUpdateNeedsBothFilesAndRestartsThroughTheBatch) {
  const std::string marker = root + "\\restarted.txt";
  std::string batchText = "@echo off\r\necho restarted> \"" + marker + "\"\r\n";
  std::vector<uint8_t> batch(batchText.begin(), batchText.end());
  std::vector<uint8_t> exe = ReadBytes(Fixture("update_run_marker.exe"));
  {
    // Only the program, without its batch file: left out, the other component is installed.
    UpdateServer server;
    Catalogue(server);
    server.products[0].files.push_back({u"900", u"Freshline_new.exe", u"0", u"", exe});
    TestDlg dlg;
    Open(dlg, server);
    dlg.Click(IDC_START_UPDATE);
    EXPECT_NE(dlg.Log().find("come only together: the one sent alone is left out."), std::string::npos) << dlg.Log();
    EXPECT_FALSE(Exists(install + "\\Freshline_new.exe"));
    EXPECT_EQ(ReadBytes(install + "\\CompA.dll"), newDll);
    EXPECT_TRUE(dlg.ended.empty());
    dlg.DestroyWindow();
  }
  SetUp();
  LxPromptTestBegin();
  UpdateServer server;
  Catalogue(server);
  server.products[0].files.push_back({u"900", u"Freshline_new.exe", u"0", u"", exe});
  server.products[0].files.push_back({u"901", u"Freshline_new.bat", u"0", u"", batch});
  TestDlg dlg;
  Open(dlg, server);
  dlg.Click(IDC_START_UPDATE);
  std::string log = dlg.Log();
  EXPECT_EQ(ReadBytes(install + "\\Freshline_new.exe"), exe);
  EXPECT_EQ(ReadBytes(install + "\\Freshline_new.bat"), batch);
  EXPECT_EQ(ReadBytes(install + "\\CompA.dll"), oldDll);  // only the self-update this time
  std::vector<std::string> prompts = Prompts();
  ASSERT_EQ(prompts.size(), 3u);
  EXPECT_EQ(prompts[2], "Auto Update application has been updated.\nIt will restart automatically in order to apply "
                        "the change.");
  EXPECT_EQ(dlg.ended, std::vector<int>{0});
  for (int i = 0; i < 200 && !Exists(marker); ++i) Sleep(50);
  EXPECT_TRUE(Exists(marker)) << log;
  wchar_t cwd[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, cwd);
  EXPECT_EQ(std::wstring(cwd), Wide(install));
}

TEST_F(Freshline, AFailedInstallationKeepsTheDownloads) {
  UpdateServer server;
  Catalogue(server);
  server.products[0].files.push_back({u"101", u"CompA.ini", u"0", u"\\Missing Folder", {'x'}});
  TestDlg dlg;
  Open(dlg, server);
  dlg.Click(IDC_START_UPDATE);
  std::string log = dlg.Log();
  EXPECT_NE(log.find("Update has failed.\nThe downloaded files are kept in " + download + "."), std::string::npos)
      << log;
  // Each record's download in a folder of its own, numbered by its place in the list.
  EXPECT_EQ(ReadBytes(download + "\\1\\CompA.dll"), newDll);
  EXPECT_EQ(ReadBytes(download + "\\2\\CompA.ini"), std::vector<uint8_t>{'x'});
  EXPECT_EQ(log.find("finished successfully"), std::string::npos);
}

TEST_F(Freshline, FilesOfOneNameFromTwoComponentsKeepTheirOwnContent) {
  UpdateServer server;
  Catalogue(server);
  server.products[0].files.push_back({u"102", u"settings.ini", u"0", u"", {'a', '=', '1'}});
  server.products[3].files.push_back({u"402", u"Settings.INI", u"0", u"\\External FS Module", {'d', '=', '4'}});
  TestDlg dlg;
  Open(dlg, server);
  dlg.Click(IDC_START_UPDATE);
  EXPECT_NE(dlg.Log().find("Update has been finished successfully."), std::string::npos) << dlg.Log();
  EXPECT_EQ(ReadBytes(install + "\\settings.ini"), (std::vector<uint8_t>{'a', '=', '1'}));
  EXPECT_EQ(ReadBytes(install + "\\External FS Module\\Settings.INI"), (std::vector<uint8_t>{'d', '=', '4'}));
  EXPECT_FALSE(Exists(download));
}

// Records whose downloads a renaming scheme could mix up: one name for two folders, and a third
// record whose real name is what a renamed download might be called. Every installed file holds
// its own record's bytes.
TEST_F(Freshline, DownloadsOfCollidingNamesKeepTheirOwnBytes) {
  using Layout = std::vector<std::pair<std::u16string, std::u16string>>;  // name, folder
  const Layout layouts[] = {
      {{u"x.dll", u""}, {u"x.dll", u"\\External FS Module"}, {u"2-x.dll", u""}},
      {{u"1-y.dll", u""}, {u"y.dll", u""}, {u"y.dll", u"\\External FS Module"}},
      {{u"z.txt", u""}, {u"Z.TXT", u"\\External FS Module"}, {u"3-z.txt", u""}, {u"1-Z.TXT", u"\\External FS Module"},
       {u"2-z.txt", u""}},
      {{u"1", u""}, {u"2", u"\\External FS Module"}, {u"1", u"\\External FS Module"}},
  };
  for (const Layout& layout : layouts) {
    SetUp();
    UpdateServer server;
    ServedProduct product{u"10", u"CompA.dll", u"2.0.0.1", u"", u"Files", {}};
    std::vector<std::pair<std::string, std::vector<uint8_t>>> expected;
    for (size_t i = 0; i < layout.size(); ++i) {
      std::vector<uint8_t> bytes(100 + i * 37);
      for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k * (i + 3) + i);
      product.files.push_back({u"9" + std::u16string(1, static_cast<char16_t>(u'0' + i)), layout[i].first, u"0",
                               layout[i].second, bytes});
      expected.push_back({install + lx::update::Narrow(layout[i].second) + "\\" + lx::update::Narrow(layout[i].first), bytes});
    }
    server.products = {product};
    TestDlg dlg;
    Open(dlg, server);
    dlg.Click(IDC_START_UPDATE);
    std::string log = dlg.Log();
    EXPECT_NE(log.find("Update has been finished successfully."), std::string::npos) << log;
    for (const auto& e : expected) EXPECT_EQ(ReadBytes(e.first), e.second) << e.first;
    EXPECT_FALSE(Exists(download)) << "every download and its folder removed";
  }
}

// Text of any length from the server: the log shows it cut, the run ends as it would with short
// text, and the log stays bounded.
TEST_F(Freshline, LongServerTextIsCutInTheLog) {
  // 500,000 characters are 1 MB on the wire, which a reply may be; twice that is more than any reply may be.
  const std::u16string note200k(200000, u'n'), version100k(100000, u'9'), note1m(500000, u'm'), note2m(1000000, u'w');
  struct Case {
    const char* what;
    std::vector<ServedProduct> products;
    const char* logged;
  } cases[] = {
      {"a note of 200,000 characters", {{u"10", u"CompA.dll", u"2.0.0.1", u"", note200k, {}}},
       "n... (199800 more characters not shown)\n"},
      {"a version of 100,000 characters", {{u"10", u"CompA.dll", version100k, u"", u"Faster", {}}},
       "9... (99800 more characters not shown)\" of CompA.dll cannot be read."},
      {"a note of 1 MB", {{u"10", u"CompA.dll", u"2.0.0.1", u"", note1m, {}}}, "... (499800 more characters not shown)\n"},
      {"a note of 2 MB", {{u"10", u"CompA.dll", u"2.0.0.1", u"", note2m, {}}},
       "The update server's reply cannot be read: the reply is longer than 1048576 bytes."},
  };
  for (const Case& c : cases) {
    SetUp();
    UpdateServer server;
    server.products = c.products;
    TestDlg dlg;
    Open(dlg, server);
    dlg.Click(IDC_START_UPDATE);
    std::string log = dlg.Log();
    EXPECT_NE(log.find(c.logged), std::string::npos) << c.what << "\n" << log.substr(0, 2000);
    EXPECT_NE(log.find("Connection has closed."), std::string::npos) << c.what;
    EXPECT_LT(log.size(), 5000u) << c.what;

  }
}

// A server that offers thousands of products keeps the run busy for long: Exit ends it at once, and
// the log stays bounded meanwhile.
TEST_F(Freshline, ExitStopsALongRunAtOnce) {
  UpdateServer server;
  for (int i = 0; i < 3000; ++i) {
    std::string id = std::to_string(1000 + i);
    server.products.push_back({std::u16string(id.begin(), id.end()), u"CompA.dll", u"2.0.0.1", u"",
                               u"Note " + std::u16string(id.begin(), id.end()), {}});
  }
  TestDlg dlg;
  Open(dlg, server);
  std::atomic<DWORD> exitAt{0};
  std::thread user([&] {
    // Exit once the run has gone through some of the products.
    for (int i = 0; i < 600 && server.Requests().size() < 50; ++i) Sleep(50);
    exitAt = GetTickCount();
    ::PostMessageA(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  dlg.Click(IDC_START_UPDATE);
  DWORD returned = GetTickCount();
  user.join();
  std::string log = dlg.Log();
  EXPECT_EQ(dlg.ended, std::vector<int>{0});
  EXPECT_NE(log.find("The update was stopped."), std::string::npos) << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
  EXPECT_LT(server.Requests().size(), 3001u) << "the run went on after Exit";
  EXPECT_LT(returned - exitAt, 3000u) << "Exit was honoured " << (returned - exitAt) << " ms late";
  EXPECT_LT(log.size(), 70000u);
  EXPECT_EQ(ReadBytes(install + "\\CompA.dll"), oldDll);
}

// A download that announces more than any file of the product may be is refused before a byte of
// it reaches the disk.
TEST_F(Freshline, AnOversizedDownloadIsRefused) {
  Snapshot before = SnapshotOf(install);
  UpdateServer server;
  Catalogue(server);
  server.bad.declaredLength = 300u << 20;
  TestDlg dlg;
  Open(dlg, server);
  dlg.Click(IDC_START_UPDATE);
  std::string log = dlg.Log();
  EXPECT_NE(log.find("The update server announced 314572800 bytes for marker.exe, more than the 128 MiB a download may "
                     "take: refused.\nNothing was installed."),
            std::string::npos)
      << log;
  EXPECT_EQ(SnapshotOf(install), before);
  EXPECT_FALSE(Exists(download));
}

TEST_F(Freshline, ADownloadThatCannotBeWrittenEndsTheRun) {
  WriteFileBytes(download, {'x'});  // a file where the download folder should be
  Snapshot before = SnapshotOf(install);
  UpdateServer server;
  Catalogue(server);
  TestDlg dlg;
  Open(dlg, server);
  dlg.Click(IDC_START_UPDATE);
  std::string log = dlg.Log();
  EXPECT_NE(log.find("Download marker.exe... (3 of 3)... Failed\nThe download file " + download +
                     "\\3\\marker.exe cannot be written.\nNothing was installed."),
            std::string::npos)
      << log;
  EXPECT_EQ(SnapshotOf(install), before);
  for (const auto& r : server.Requests()) EXPECT_EQ(r.find("Request:Data"), std::string::npos);
}

TEST_F(Freshline, UnaskedTextIsShownAndExitEndsTheProgram) {
  UpdateServer server;
  server.bad.greeting = u"Maintenance tonight \u00fcber alles\n";
  TestDlg dlg;
  Open(dlg, server);
  dlg.Click(IDC_CONNECT);
  for (int i = 0; i < 100 && dlg.Log().find("Maintenance") == std::string::npos; ++i) {
    LxPumpMessages();
    Sleep(20);
  }
  std::wstring log = dlg.LogText();
  EXPECT_NE(log.find(L"Maintenance tonight \u00fcber alles\n"), std::wstring::npos);
  dlg.Click(IDC_DISCONNECT);
  EXPECT_NE(dlg.Log().find("Connection has closed."), std::string::npos);
  LxSaveWindowShot(dlg.m_hWnd, "freshline_greeting");
  ::SendMessageA(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  ::SendMessageA(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(dlg.ended, (std::vector<int>{0, 0}));

  // Nothing listens: the connection fails at once and the run ends there.
  TestDlg lone;
  Open(lone, server);
  lone.m_nPort = 1;
  lone.Click(IDC_START_UPDATE);
  EXPECT_NE(lone.Log().find("Connection has failed."), std::string::npos) << lone.Log();
}

// Freshline.exe itself, as a user runs it: started as a program, "Start Update" pressed, the log read
// from the window, "Exit" pressed; the server, folders and time-out come from its environment.
TEST_F(Freshline, TheProgramUpdatesAndEndsOnExit) {
  UpdateServer server;
  Catalogue(server);
  char port[16];
  std::snprintf(port, sizeof port, "%u", static_cast<unsigned>(server.Port()));
  SetEnvironmentVariableA("LX_UPDATE_SERVER", (std::string("127.0.0.1:") + port).c_str());
  SetEnvironmentVariableA("LX_UPDATE_FOLDER", install.c_str());
  SetEnvironmentVariableA("LX_UPDATE_IDLE_MS", "5000");
  char prompts[MAX_PATH];
  if (!GetEnvironmentVariableA("LX_PROMPT_LOG", prompts, MAX_PATH))  // its boxes answered, never shown
    SetEnvironmentVariableA("LX_PROMPT_LOG", (root + "\\prompts.log").c_str());
  std::string command = "\"" + WinPath(LX_FRESHLINE_EXE) + "\"";
  HANDLE process = LxStartProgram(command.c_str());
  for (const char* name : {"LX_UPDATE_SERVER", "LX_UPDATE_FOLDER", "LX_UPDATE_IDLE_MS"}) SetEnvironmentVariableA(name, nullptr);
  ASSERT_TRUE(process);
  HWND window = LxWaitForWindow(process, "#32770", "Keldorn Auto Update... (Lumivex, Tarn-Rook Type I & II)", 20000);
  if (!window) LxWaitForExit(process, 0);  // never leave it running
  ASSERT_TRUE(window);
  ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_START_UPDATE, BN_CLICKED), 0);
  std::string log;
  for (int i = 0; i < 600 && log.find("Connection has closed.") == std::string::npos; ++i) {
    Sleep(50);
    log = LxControlText(GetDlgItem(window, IDC_LOG));
  }
  EXPECT_NE(log.find("Update has been finished successfully."), std::string::npos) << log;
  EXPECT_EQ(ReadBytes(install + "\\CompA.dll"), newDll);
  EXPECT_EQ(ReadBytes(install + "\\External FS Module\\CompD.dll"), newDll);
  ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_EQ(LxWaitForExit(process, 20000), 0u);
}

}  // namespace
