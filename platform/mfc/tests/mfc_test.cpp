#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lumivex/prompt.h"
#include "lxmfc.h"

namespace {

std::string TempFile(const char* name) {
  char base[MAX_PATH] = "";
  GetTempPathA(sizeof base, base);
  return std::string(base) + name + std::to_string(GetCurrentProcessId());
}

TEST(CString, FormatFindAndPieces) {
  CString s;
  s.Format("Error Code: %ld (0x%08X)", -1L, 0xFFFFFFFFu);
  EXPECT_EQ(s, "Error Code: -1 (0xFFFFFFFF)");
  std::string big(5000, 'x');
  s.Format("%s!", big.c_str());
  EXPECT_EQ(s.GetLength(), 5001);  // no fixed buffer behind it
  CString path = "C:\\a\\b\\file.dll";
  EXPECT_EQ(path.ReverseFind('\\'), 6);
  EXPECT_EQ(path.Left(6), "C:\\a\\b");
  EXPECT_EQ(path.Mid(7), "file.dll");
  EXPECT_EQ(path.Right(3), "dll");
  EXPECT_EQ(path.Right(99), path);
  EXPECT_EQ(path.Mid(99), "");
  EXPECT_EQ(path.Find("b\\"), 5);
  EXPECT_EQ(path.Find('z'), -1);
  char* buffer = s.GetBuffer(10);
  std::strcpy(buffer, "short");
  s.ReleaseBuffer();
  EXPECT_EQ(s, "short");
}

struct Info : CCommandLineInfo {
  std::vector<std::string> seen;
  void ParseParam(const char* param, BOOL flag, BOOL last) override {
    seen.push_back(std::string(flag ? "flag:" : "word:") + param + (last ? ":last" : ""));
    CCommandLineInfo::ParseParam(param, flag, last);
  }
};

TEST(CommandLine, FlagsWordsAndShellCommands) {
  struct Case {
    std::vector<const char*> argv;
    int shell;
    const char* file;
    std::vector<std::string> seen;
  } cases[] = {
      {{"p"}, CCommandLineInfo::FileNew, "", {}},
      {{"p", "beginner"}, CCommandLineInfo::FileOpen, "beginner", {"word:beginner:last"}},
      {{"p", "/Register"}, CCommandLineInfo::AppRegister, "", {"flag:Register:last"}},
      {{"p", "-unregserver"}, CCommandLineInfo::AppUnregister, "", {"flag:unregserver:last"}},
      {{"p", "extlibtest", "/L:F", "x.dll"},
       CCommandLineInfo::FileOpen,
       "extlibtest",
       {"word:extlibtest", "flag:L:F", "word:x.dll:last"}},
  };
  for (auto& c : cases) {
    Info info;
    std::vector<char*> argv;
    for (const char* a : c.argv) argv.push_back(const_cast<char*>(a));
    CWinApp::ParseArguments(info, static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(info.m_nShellCommand, c.shell) << c.argv.size();
    EXPECT_EQ(info.m_strFileName, c.file);
    EXPECT_EQ(info.seen, c.seen);
  }
}

TEST(Profile, StringsAndNumbersUnderTheCompanyKey) {
  CWinApp app("LxMfcTestApp");
  app.SetRegistryKey("LxMfcTestCompany");
  EXPECT_EQ(app.GetAppRegistryPath(), "Software\\LxMfcTestCompany\\LxMfcTestApp");
  EXPECT_EQ(app.GetProfileString("Main App", "Full Path", "none"), "none");
  EXPECT_TRUE(app.WriteProfileString("Main App", "Full Path", "C:\\install"));
  EXPECT_EQ(app.GetProfileString("Main App", "Full Path"), "C:\\install");
  EXPECT_TRUE(app.WriteProfileInt("Main App", "Count", 42));
  EXPECT_EQ(app.GetProfileInt("Main App", "Count", 0), 42u);
  EXPECT_EQ(app.GetProfileInt("Main App", "Full Path", 7), 7u);  // not a number
  EXPECT_TRUE(app.WriteProfileString("Main App", "Full Path", nullptr));
  EXPECT_EQ(app.GetProfileString("Main App", "Full Path", "gone"), "gone");
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\LxMfcTestCompany");
  EXPECT_EQ(AfxGetApp(), &app);
}

TEST(CFile, CreateModesAndErrors) {
  std::string path = TempFile("lxmfc_file");
  DeleteFileA(path.c_str());
  {
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary));
    EXPECT_TRUE(file.Write("abcdef", 6));
    EXPECT_EQ(file.GetLength(), 6u);
  }
  {
    // Creating without truncation keeps the bytes: the options file is never cut by a read.
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead | CFile::modeCreate | CFile::modeNoTruncate));
    char buffer[16] = "";
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 6u);
    EXPECT_STREQ(buffer, "abcdef");
    EXPECT_NE(file.GetFilePath().Find("lxmfc_file"), -1);
  }
  {
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
    EXPECT_EQ(file.GetLength(), 0u);  // plain create truncates
  }
  CFile missing;
  CFileException error;
  std::string nowhere = TempFile("lxmfc_no_such_folder") + "\\x.bin";
  EXPECT_FALSE(missing.Open(nowhere.c_str(), CFile::modeRead, &error));
  EXPECT_EQ(error.m_cause, CFileException::badPath);
  char text[1024];
  EXPECT_TRUE(error.GetErrorMessage(text, sizeof text));
  EXPECT_NE(std::string(text).find("x.bin"), std::string::npos);
  char tiny[8];
  error.GetErrorMessage(tiny, sizeof tiny);
  EXPECT_LT(std::strlen(tiny), sizeof tiny);
  DeleteFileA(path.c_str());
}

TEST(CFileDialog, QueuedAnswersStandForTheUser) {
  CFileDialog::QueueTestAnswer("C:\\data\\image.bin");
  CFileDialog::QueueTestAnswer(nullptr);
  CFileDialog open(TRUE, "bin", "*.bin", 0, "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||");
  ASSERT_EQ(open.DoModal(), IDOK);
  EXPECT_EQ(open.GetPathName(), "C:\\data\\image.bin");
  EXPECT_EQ(open.GetFileName(), "image.bin");
  EXPECT_EQ(open.GetFileTitle(), "image");
  CFileDialog save(FALSE);
  EXPECT_EQ(save.DoModal(), IDCANCEL);
}

}  // namespace

// A box without a window of its own belongs to the window the user is working in (an explorer, a
// sheet): owned by the main window behind it, it left that window usable under the box and raised
// the main window over it when it went.
TEST(AfxMessageBox, BelongsToTheActiveWindow) {
  CWinApp app("Lumivex");
  CWnd frame, tool;
  frame.m_hWnd = CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                 nullptr, nullptr, nullptr);
  tool.m_hWnd = CreateWindowExA(0, "STATIC", "explorer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 200, 100, nullptr,
                                nullptr, nullptr, nullptr);
  app.m_pMainWnd = &frame;
  LxPromptTestBegin();
  SetActiveWindow(tool.m_hWnd);
  ASSERT_EQ(GetActiveWindow(), tool.m_hWnd);
  AfxMessageBox("Are you sure?", MB_YESNO);
  ASSERT_EQ(LxPromptRecordCount(), 1);
  EXPECT_EQ(LxPromptRecordOwner(0), static_cast<void*>(tool.m_hWnd));
  EXPECT_STREQ(LxPromptRecordCaption(0), "Lumivex");
  LxPromptTestEnd();
  app.m_pMainWnd = nullptr;
  DestroyWindow(tool.m_hWnd);
  DestroyWindow(frame.m_hWnd);
  tool.m_hWnd = frame.m_hWnd = nullptr;
}
