// A real dialog from its resource template under Wine and Xvfb, driven by messages the way a user
// drives it: text typed into the edit box, a button clicked.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "dialog_ids.h"
#include "lumivex/testkit.h"

namespace {

INT_PTR CALLBACK GreetingProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_APPLY) {
            char name[64] = {};
            GetDlgItemTextA(dlg, IDC_NAME, name, sizeof(name));
            std::string text = name[0] ? std::string("Hello, ") + name + "." : "Please, enter a name.";
            SetDlgItemTextA(dlg, IDC_RESULT, text.c_str());
            return TRUE;
        }
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            DestroyWindow(dlg);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

std::string ItemText(HWND dlg, int id) {
    char buf[128] = {};
    GetDlgItemTextA(dlg, id, buf, sizeof(buf));
    return buf;
}

TEST(DialogFromTemplate, TypedTextAndClicksReachTheDialog) {
    HWND dlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_GREETING), nullptr, GreetingProc, 0);
    ASSERT_NE(dlg, nullptr) << GetLastError();
    ShowWindow(dlg, SW_SHOW);
    LxPumpMessages();

    HWND apply = GetDlgItem(dlg, IDC_APPLY);
    SendMessageA(apply, BM_CLICK, 0, 0);
    LxPumpMessages();
    EXPECT_EQ(ItemText(dlg, IDC_RESULT), "Please, enter a name.");

    SendMessageA(GetDlgItem(dlg, IDC_NAME), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Flash"));
    SendMessageA(apply, BM_CLICK, 0, 0);
    LxPumpMessages();
    EXPECT_EQ(ItemText(dlg, IDC_RESULT), "Hello, Flash.");
    EXPECT_TRUE(LxSaveWindowShot(dlg, "foundation-greeting"));

    SendMessageA(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
    LxPumpMessages();
    EXPECT_FALSE(IsWindow(dlg));
}

} // namespace
