// Helpers for the window tests that run under Wine and Xvfb.
#ifndef LUMIVEX_TESTKIT_H
#define LUMIVEX_TESTKIT_H

#include <windows.h>

// Writes the window's pixels as it stands on the screen into <LX_SCREENSHOT_DIR>/<name>.bmp
// (the test scripts turn them into PNG). Returns false when nothing could be written.
bool LxSaveWindowShot(HWND window, const char* name);

// Handles the messages that are waiting for this thread, so that windows paint and react.
void LxPumpMessages();

#endif
