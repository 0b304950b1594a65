// Helpers for the window tests that run under Wine and Xvfb.
#ifndef LUMIVEX_TESTKIT_H
#define LUMIVEX_TESTKIT_H

#include <windows.h>

#include <string>

// Writes the window's pixels as it stands on the screen into <LX_SCREENSHOT_DIR>/<name>.bmp
// (the test scripts turn them into PNG). Returns false when nothing could be written.
bool LxSaveWindowShot(HWND window, const char* name);

// Handles the messages that are waiting for this thread, so that windows paint and react.
void LxPumpMessages();

// Programs that a test starts and drives from outside, as a user would.
// Starts the command line; the process handle, or null.
HANDLE LxStartProgram(const char* commandLine);
// The program's top-level window of that class and caption once it is there, or null after the
// time-out. Windows of other programs with the same caption (other tests) are not it.
HWND LxWaitForWindow(HANDLE process, const char* className, const char* caption, DWORD timeoutMs);
// The text of a control of any process (up to 64 KiB); empty when it does not answer.
std::string LxControlText(HWND control);
// Waits for the program to end; its exit code, or STILL_ACTIVE when it had to be ended after the
// time-out. Closes the handle.
DWORD LxWaitForExit(HANDLE process, DWORD timeoutMs);

#endif
