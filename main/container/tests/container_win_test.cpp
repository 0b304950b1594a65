// The container commands on a real rich edit under Wine and Xvfb. Wine offers the Insert Object
// dialog (with "Package" and a media player listed) but makes no object: the command says so.
#include <gtest/gtest.h>
#include <windows.h>

#include <richedit.h>

#include <cstring>
#include <fstream>
#include <string>

#include "lumivex/testkit.h"
#include "rich_container.h"
#include "test_support.h"

namespace {

namespace lc = lx::container;

// What the timer does with the Insert Object dialog once it shows.
enum class Answer { kCancel, kFromFile, kNewPackage };
Answer g_answer;
std::string g_file;
std::string g_seen;  // the dialog's caption, once seen

HWND ChildWithText(HWND parent, const char* cls, const char* text) {
  for (HWND c = ::FindWindowExA(parent, nullptr, cls, nullptr); c; c = ::FindWindowExA(parent, c, cls, nullptr)) {
    char t[128] = "";
    ::GetWindowTextA(c, t, sizeof t);
    if (!text || std::strcmp(t, text) == 0) return c;
  }
  return nullptr;
}

VOID CALLBACK AnswerInsertObject(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindOwnWindow("Insert Object");
  if (!dialog) return;
  KillTimer(nullptr, id);
  g_seen = "Insert Object";
  if (g_answer == Answer::kCancel) {
    LxSaveWindowShot(dialog, "container_insert_object");
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return;
  }
  if (g_answer == Answer::kNewPackage) {
    HWND list = ChildWithText(dialog, "ListBox", nullptr);
    ASSERT_NE(list, nullptr);
    int at = static_cast<int>(::SendMessageA(list, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>("Package")));
    ASSERT_GE(at, 0);
    ::SendMessageA(list, LB_SETCURSEL, at, 0);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(list), LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    LxSaveWindowShot(dialog, "container_insert_package");
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return;
  }
  HWND fromFile = ChildWithText(dialog, "Button", "Create From File");
  ASSERT_NE(fromFile, nullptr);
  ::SendMessageA(fromFile, BM_CLICK, 0, 0);
  HWND edit = ChildWithText(dialog, "Edit", nullptr);
  ASSERT_NE(edit, nullptr);
  ::SetWindowTextA(edit, g_file.c_str());
  LxSaveWindowShot(dialog, "container_insert_from_file");
  ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

class ContainerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ASSERT_NE(LoadLibraryA("riched20.dll"), nullptr);
    window_ = CreateWindowExA(0, "STATIC", "Thread #1", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 520, 300, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
    view_ = CreateWindowExA(0, RICHEDIT_CLASSA, "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY, 0, 0, 500,
                            260, window_, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(view_, nullptr);
    ::SetWindowTextA(view_, "* init LXLLD had entered.\r\n");
    ASSERT_TRUE(lc::Attach(view_));
  }
  static void TearDownTestSuite() {
    DestroyWindow(window_);
    OleUninitialize();
  }
  void SetUp() override { LxPromptTestBegin(); }
  void TearDown() override { LxPromptTestEnd(); }

  static std::string ViewText() {
    char text[512] = "";
    ::GetWindowTextA(view_, text, sizeof text);
    return text;
  }
  static HWND window_;
  static HWND view_;
};
HWND ContainerTest::window_ = nullptr;
HWND ContainerTest::view_ = nullptr;

TEST_F(ContainerTest, TheCommandsAreTheInsertAndTheSixteenVerbs) {
  EXPECT_TRUE(lc::IsCommand(57857));
  EXPECT_TRUE(lc::IsCommand(57872));
  EXPECT_TRUE(lc::IsCommand(57887));
  EXPECT_FALSE(lc::IsCommand(57888));
  EXPECT_FALSE(lc::IsCommand(57871));
  EXPECT_TRUE(lc::IsEnabled(view_, lc::kInsertNewObject));
  // No object is selected: no verb can run.
  for (UINT id = lc::kFirstVerb; id <= lc::kLastVerb; ++id) EXPECT_FALSE(lc::IsEnabled(view_, id)) << id;
}

TEST_F(ContainerTest, AVerbWithoutASelectedObjectSaysSo) {
  lc::Run(window_, view_, lc::kFirstVerb);
  EXPECT_EQ(LastPromptText(), "No object is selected.");
}

TEST_F(ContainerTest, InsertShowsTheInsertObjectDialogAndCancelChangesNothing) {
  g_answer = Answer::kCancel;
  g_seen.clear();
  std::string before = ViewText();
  SetTimer(nullptr, 0, 50, AnswerInsertObject);
  lc::Run(window_, view_, lc::kInsertNewObject);
  EXPECT_EQ(g_seen, "Insert Object");
  EXPECT_EQ(LxPromptRecordCount(), 0);
  EXPECT_EQ(ViewText(), before);
}

// Under Wine no object can be made: its packager refuses to make one, and a file's kind has no
// program. Each way through the dialog's OK ends in a message with the system's reason, and the
// window keeps its text.
TEST_F(ContainerTest, AnObjectThatCannotBeMadeIsReportedNotPassedOver) {
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  g_file = std::string(temp) + "container_object.txt";
  std::ofstream(g_file) << "an object's data\n";
  struct Case {
    Answer answer;
    const char* message;
  } cases[] = {
      {Answer::kNewPackage,
       "The object could not be created (error 0x80004001).\n"
       "The program registered for that kind of object cannot make one."},
      {Answer::kFromFile,
       "The object could not be created (error 0x800401E6).\n"
       "No program on this system serves that kind of object."},
  };
  for (const Case& c : cases) {
    LxPromptTestBegin();
    g_answer = c.answer;
    g_seen.clear();
    std::string before = ViewText();
    SetTimer(nullptr, 0, 50, AnswerInsertObject);
    lc::Run(window_, view_, lc::kInsertNewObject);
    EXPECT_EQ(g_seen, "Insert Object");
    EXPECT_EQ(LxPromptRecordCount(), 1);
    EXPECT_EQ(LastPromptText(), c.message);
    EXPECT_EQ(ViewText(), before);
    for (UINT id = lc::kFirstVerb; id <= lc::kLastVerb; ++id) EXPECT_FALSE(lc::IsEnabled(view_, id)) << id;
  }
  DeleteFileA(g_file.c_str());
}

TEST_F(ContainerTest, AWindowThatIsNoContainerRefusesWithAMessage) {
  HWND plain = CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 10, 10, window_, nullptr, GetModuleHandleA(nullptr),
                               nullptr);
  EXPECT_FALSE(lc::IsEnabled(plain, lc::kInsertNewObject));
  lc::Run(window_, plain, lc::kInsertNewObject);
  EXPECT_EQ(LastPromptText(), "This window cannot hold objects.");
  DestroyWindow(plain);
}

}  // namespace
