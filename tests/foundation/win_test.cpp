// Windows-side foundation checks under Wine: binding the slot list by name, and the prompt seam
// answering for the code that asks.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "lumivex/deviceapi.h"
#include "lumivex/procaddress.h"
#include "lumivex/prompt.h"

namespace {

#define LX_SLOT_NAME(slot, name, ret, params, args, group, stub, k, v) #name,
const char* const kNames[] = {LX_DEVICE_API_SLOTS(LX_SLOT_NAME)};
#undef LX_SLOT_NAME

TEST(SlotFixture, EveryNameBindsAndCdeclCallsReturnTheSlot) {
    HMODULE m = LoadLibraryA("LxSlotFixture.dll");
    ASSERT_NE(m, nullptr) << GetLastError();
    for (int i = 0; i < LX_DEVICE_API_SLOT_COUNT; ++i)
        EXPECT_NE(GetProcAddress(m, kNames[i]), nullptr) << kNames[i];

    auto init = LxGetProc<gfslInit_fn>(m, "gfslInit");
    auto open = LxGetProc<gfslfopen_fn>(m, "gfslfopen");
    auto setp = LxGetProc<fpSetFunctionProfiler_fn>(m, "fpSetFunctionProfiler");
    auto acc = LxGetProc<fpGetFunctionProfilerAccumulated_fn>(m, "fpGetFunctionProfilerAccumulated");
    auto name = LxGetProc<fpGetFunctionProfilerName_fn>(m, "fpGetFunctionProfilerName");
    ASSERT_TRUE(init && open && setp && acc && name);
    // Many calls in a row: a callee that pops its own arguments would wreck the stack here.
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(init(1), 0);
        ASSERT_EQ(open("/a/x", "rw"), 29);
        ASSERT_EQ(setp(3, 0x100000002ull, 0x300000004ull), 70);
        ASSERT_EQ(acc(1), 75u);
        ASSERT_EQ(reinterpret_cast<uintptr_t>(name(0)), 73u);
    }
    FreeLibrary(m);
}

// Code in the shape of every destructive operation: ask first, act only on yes.
bool EraseAfterConfirmation(int* erased) {
    if (LxMessageBox(nullptr, "Are you sure?", "Lumivex", MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
    ++*erased;
    LxMessageBox(nullptr, "Erase finished.", "Lumivex", MB_OK);
    return true;
}

TEST(PromptSeam, ScriptedAnswersReachTheCodeAndTheTextIsRecorded) {
    LxPromptTestBegin();
    int erased = 0;
    LxPromptQueueAnswer(IDNO);
    EXPECT_FALSE(EraseAfterConfirmation(&erased));
    EXPECT_EQ(erased, 0);
    ASSERT_EQ(LxPromptRecordCount(), 1);
    EXPECT_STREQ(LxPromptRecordText(0), "Are you sure?");
    EXPECT_STREQ(LxPromptRecordCaption(0), "Lumivex");

    LxPromptQueueAnswer(IDYES);
    EXPECT_TRUE(EraseAfterConfirmation(&erased));
    EXPECT_EQ(erased, 1);
    ASSERT_EQ(LxPromptRecordCount(), 3);
    EXPECT_STREQ(LxPromptRecordText(2), "Erase finished.");
    LxPromptTestEnd();
}

TEST(PromptSeam, WideBoxesAreRecordedAsUtf8AndLoggedForOtherProcesses) {
    char logPath[MAX_PATH];
    GetTempPathA(MAX_PATH, logPath);
    strcat(logPath, "lx-prompt-test.log");
    DeleteFileA(logPath);
    SetEnvironmentVariableA("LX_PROMPT_LOG", logPath);
    _putenv_s("LX_PROMPT_LOG", logPath);
    ASSERT_TRUE(LxPromptTestActive());
    const wchar_t text[] = L"Gr\u00fc\u00dfe\nline two";
    int answer = LxMessageBoxW(nullptr, reinterpret_cast<const unsigned short*>(text),
                               reinterpret_cast<const unsigned short*>(L"Update"), MB_RETRYCANCEL | MB_DEFBUTTON2);
    EXPECT_EQ(answer, IDCANCEL);
    std::ifstream log(logPath);
    std::string line;
    ASSERT_TRUE(std::getline(log, line));
    EXPECT_EQ(line, "Update\tGr\xc3\xbc\xc3\x9f" "e\\nline two\t261\t2");
}

std::vector<std::string> g_reports;
void Collect(const char* caption, const char* text) { g_reports.push_back(std::string(caption) + "|" + text); }

struct BoxCall {
    unsigned type;
    bool wide;
    int answer;
};

DWORD WINAPI AskBox(void* p) {
    auto* call = static_cast<BoxCall*>(p);
    call->answer = call->wide ? LxMessageBoxW(nullptr, reinterpret_cast<const unsigned short*>(L"Nobody sees this."),
                                              reinterpret_cast<const unsigned short*>(L"Lumivex"), call->type)
                              : LxMessageBox(nullptr, "Nobody sees this.", "Lumivex", call->type);
    return 0;
}

BOOL CALLBACK PressRefusal(HWND w, LPARAM answer) {
    PostMessageA(w, WM_COMMAND, static_cast<WPARAM>(answer), 0);
    return TRUE;
}

// Outside test mode, with nobody to answer: no box waits; each is answered at once with the
// button that agrees to nothing, and its text goes to the report.
TEST(PromptSeam, UnattendedBoxesWaitForNobodyAndGoToTheReport) {
    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("LX_PROMPT_LOG", saved, sizeof saved);
    SetEnvironmentVariableA("LX_PROMPT_LOG", nullptr);
    _putenv_s("LX_PROMPT_LOG", "");
    LxPromptTestEnd();
    ASSERT_FALSE(LxPromptTestActive());
    LxPromptSetUnattended(Collect);
    const struct {
        unsigned type;
        int refusal;
    } cases[] = {
        {MB_OK, IDOK},           {MB_OKCANCEL, IDCANCEL},        {MB_YESNO | MB_DEFBUTTON1, IDNO},
        {MB_YESNOCANCEL, IDCANCEL}, {MB_ABORTRETRYIGNORE, IDABORT}, {MB_RETRYCANCEL, IDCANCEL},
        {MB_CANCELTRYCONTINUE | MB_DEFBUTTON3, IDCANCEL},
    };
    for (const auto& c : cases) {
        for (bool wide : {false, true}) {
            g_reports.clear();
            BoxCall call{c.type, wide, 0};
            DWORD id = 0;
            HANDLE thread = CreateThread(nullptr, 0, AskBox, &call, 0, &id);
            ASSERT_NE(thread, nullptr);
            bool waited = WaitForSingleObject(thread, 5000) == WAIT_TIMEOUT;
            if (waited) {
                // A box is up after all: answer it so that the test ends.
                EnumThreadWindows(id, PressRefusal, c.refusal);
                WaitForSingleObject(thread, 10000);
            }
            CloseHandle(thread);
            EXPECT_FALSE(waited) << "a box waited, type " << c.type << (wide ? " (wide)" : "");
            EXPECT_EQ(call.answer, c.refusal) << c.type;
            EXPECT_EQ(g_reports, std::vector<std::string>{"Lumivex|Nobody sees this."}) << c.type;
        }
    }
    LxPromptSetUnattended(nullptr);
    EXPECT_EQ(LxPromptUnattended(), nullptr);
    if (*saved) {
        SetEnvironmentVariableA("LX_PROMPT_LOG", saved);
        _putenv_s("LX_PROMPT_LOG", saved);
    }
}

} // namespace
