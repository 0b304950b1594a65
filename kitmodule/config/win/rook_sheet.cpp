// The configuration sheet around its pages, the module's application object with its two hidden
// control windows, and RunConfiguration, which the engine calls at every open.
#include <cstdio>

#include "lumivex/prompt.h"
#include "rook_sheet.h"
#include "sheet_resource.h"

namespace rook {

namespace {

HINSTANCE g_module = nullptr;

// The hidden control windows: the first owns RunConfiguration's messages, the second is the parent of
// the power control dialog. Closing either of them ends the kept sheet.
class CControlDlg : public CDialog {
public:
    CControlDlg() : CDialog(IDD_CONTROL_DLG) {}
    BOOL OnMessage(UINT msg, WPARAM, LPARAM, LRESULT*) override;
};

class CTarn_RookApp : public CWinApp {
public:
    CTarn_RookApp() : CWinApp("Tarn-Rook") {}
    BOOL InitInstance() override {
        m_hInstance = g_module;
        for (CControlDlg& c : control) c.Create(IDD_CONTROL_DLG, nullptr);
        return TRUE;
    }
    // Both control windows end the sheet when they go; it is deleted once and the pointer cleared, so the
    // second one finds nothing left to delete.
    void DestroySheet() {
        if (!sheet) return;
        sheet->page1.DestroyPowerDialog();
        delete sheet;
        sheet = nullptr;
    }
    CControlDlg control[2];
    CConfigDeviceSheet* sheet = nullptr;
};

CTarn_RookApp& App() {
    static CTarn_RookApp* app = [] {
        auto* a = new CTarn_RookApp;
        a->InitInstance();
        return a;
    }();
    return *app;
}

BOOL CControlDlg::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT*) {
    if (msg == WM_DESTROY) App().DestroySheet();
    return FALSE;
}

}  // namespace

void SetConfigurationModule(HINSTANCE module) { g_module = module; }

CWnd* ControlWindow(int n) { return &App().control[n & 1]; }

void EnableSheetOk(CPropertyPage* page, bool enable) {
    HWND sheet = ::GetParent(page->m_hWnd);
    if (sheet) ::EnableWindow(::GetDlgItem(sheet, IDOK), enable);
}

std::string ComboSelectionText(HWND combo) {
    int i = static_cast<int>(::SendMessageA(combo, CB_GETCURSEL, 0, 0));
    if (i < 0) return std::string();
    int n = static_cast<int>(::SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0));
    std::string text(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
    ::SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return text;
}

void PageTips::Create(CWnd* page, DWORD popDelayMs) {
    page_ = page->m_hWnd;
    tip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, page_, nullptr, g_module, nullptr);
    if (tip_ && popDelayMs) ::SendMessageA(tip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, static_cast<LPARAM>(popDelayMs));
    if (tip_) ::SendMessageA(tip_, TTM_SETMAXTIPWIDTH, 0, 400);
}

void PageTips::Add(HWND control, const char* text) {
    if (!tip_ || !control) return;
    TOOLINFOA info = {};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = page_;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<char*>(text);
    ::SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

void PageTips::SetText(HWND control, const char* text) {
    if (!tip_ || !control) return;
    TOOLINFOA info = {};
    info.cbSize = sizeof info;
    info.hwnd = page_;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<char*>(text ? text : "");
    ::SendMessageA(tip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
}

CConfigDeviceSheet::CConfigDeviceSheet(const char* caption, DeviceSettings& s, Host& host)
    : CPropertySheet(caption), page1(s, host), page2(s), page3(s) {
    AddPage(&page1);
    AddPage(&page2);
    AddPage(&page3);
    page1.Attach(&page2, &page3);
    m_HeaderFlags |= PSH_NOAPPLYNOW;
}

int RunConfiguration(DeviceSettings& settings, Host& host) {
    CTarn_RookApp& app = App();
    if (!app.sheet) {
        CString version;
        version.LoadString(IDS_MODULE_VERSION);
        char caption[128];
        std::snprintf(caption, sizeof caption, "Tarn-Rook : %s", version.GetString());
        static HMODULE richEdit = LoadLibraryA("riched20.dll");
        (void)richEdit;
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_UPDOWN_CLASS};
        InitCommonControlsEx(&controls);
        app.sheet = new CConfigDeviceSheet(caption, settings, host);
    }
    // The sheet has no Apply button: OK applies every started page.
    INT_PTR answer = app.sheet->DoModal();
    if (app.sheet) app.sheet->page1.ReleasePowerKit();
    HWND owner = app.control[0].m_hWnd;
    if (answer != IDOK) {
        LxMessageBox(owner, "Configuration Dialog canceled. Please exit.", "Tarn-Rook", MB_OK);
        return -1;
    }
    if (settings.configured != 1) {
        LxMessageBox(owner, "Configuration doesn't finish.\nPlease press OK button!", "Tarn-Rook", MB_OK);
        return -1;
    }
    return 0;
}

}  // namespace rook
