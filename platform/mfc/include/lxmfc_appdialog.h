// What a program whose main window is a dialog adds to it: the program's icon, an about item on the
// system menu that opens the about box, and the icon drawn while the window is minimised.
#pragma once
#include <windows.h>

// Sets the icon and adds the about item (the text of string aboutString) under command aboutCommand;
// answers the icon.
HICON LxSetUpAppDialog(HWND dialog, UINT iconId, UINT aboutString, UINT aboutCommand);
// WM_SYSCOMMAND of the about item (shows the about template modally), WM_PAINT while minimised and
// WM_QUERYDRAGICON; true when the message was one of them.
BOOL LxAppDialogMessage(HWND dialog, HICON icon, UINT aboutCommand, UINT aboutTemplate, UINT msg, WPARAM wp,
                        LRESULT* result);
