// Helpers of the window tests that drive the real main frame: the frame as the program makes it,
// a thread window's text, and lines typed into the command dialog as a user types them. The one
// door through which the tools' tests reach the frame and its thread windows (as app_under_test.h
// is for the application object).
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "app_under_test.h"
#include "document.h"
#include "lumivex/testkit.h"
#include "main_frame.h"
#include "options_record.h"
#include "resource.h"

// Makes `folder` the program's installation folder and user area (with its "User Data") and
// writes `options` as its setup.ini.
inline void UseTestArea(CBrambApp& app, const std::string& folder, const lx::OptionsRecord& options) {
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "\\User Data").c_str(), nullptr);
  // The modules read the C runtime's copy of the environment.
  SetEnvironmentVariableA("LX_USER_AREA", folder.c_str());
  _putenv_s("LX_USER_AREA", folder.c_str());
  app.m_InstallFolder = folder.c_str();
  app.m_UserAreaFolder = folder.c_str();
  std::ofstream(folder + "\\setup.ini", std::ios::binary)
      .write(reinterpret_cast<const char*>(&options), sizeof options);
}

// The frame with its first thread window, shown; null when a step failed.
inline CMainFrame* CreateTestFrame(CBrambApp& app) {
  auto* frame = new CMainFrame;
  if (!frame->CreateFrame()) return nullptr;
  app.m_pMainWnd = frame;
  app.m_pFrameServices = frame;
  if (!frame->OpenThreadWindow()) return nullptr;
  frame->ShowWindow(SW_SHOW);
  LxPumpMessages();
  return frame;
}

// A thread window's text with its line ends as "\n" (the rich edit keeps them as CR).
inline std::string ViewText(CChildFrame* child) {
  std::string text = child->m_View.GetText().str(), out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Pumps until the window's command has ended; false when it still runs after `timeoutMs`.
inline bool WaitIdle(CMainFrame* frame, CChildFrame* child, DWORD timeoutMs = 30000) {
  const DWORD start = GetTickCount();
  for (;;) {
    LxPumpMessages();
    if (!child->IsBusy() && frame->m_nRunningThreads.load() == 0) {
      LxPumpMessages();
      return true;
    }
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(5);
  }
}

// Types the line into the command dialog, submits it and waits for its thread; returns what the
// active thread window received for it. A dialog that does not hold the typed line fails the
// test here, rather than as some other line's output later.
inline std::string RunLine(CMainFrame* frame, const std::string& line) {
  CChildFrame* child = frame->GetActiveChild();
  EXPECT_NE(child, nullptr);
  if (!child) return "";
  CCommandDlg* dialog = frame->m_pCommandDlg;
  EXPECT_TRUE(dialog && ::IsWindow(dialog->m_hWnd)) << "the command dialog has no window: " << line;
  if (!dialog || !::IsWindow(dialog->m_hWnd)) return "";
  size_t before = ViewText(child).size();
  ::SetWindowTextA(dialog->Combo(), line.c_str());
  std::string typed(line.size() + 2, '\0');
  typed.resize(static_cast<size_t>(::GetWindowTextA(dialog->Combo(), &typed[0], static_cast<int>(typed.size()))));
  EXPECT_EQ(typed, line) << "the command dialog did not take the line";
  dialog->OnSubmit();
  LxPumpMessages();  // the window's start message
  EXPECT_TRUE(WaitIdle(frame, child)) << line;
  std::string text = ViewText(child);
  return text.size() >= before ? text.substr(before) : text;
}
