// The "Operation Setup" page: status-polling time-outs, write buffer, data swap, option flags and the
// user's own CFI values.
#include <cstdio>
#include <cstdlib>

#include "lumivex/prompt.h"
#include "rook_sheet.h"
#include "sheet_resource.h"

namespace rook {

namespace {

const int kChecks[6] = {IDC_NO_WRITE_BUFFER, IDC_CHECK_PROTECTION, IDC_FORCE_P8E, IDC_FORCE_4BYTE, IDC_FORCE_80MHZ, IDC_USER_CFI};
const int kWriteBuffers[6] = {0, 32, 64, 128, 256, 512};

// Fills a list with "Infinite" and then `first`, `first + step`, .. `last`; selects the entry whose text
// is `stored`, else "Infinite".
void FillTimeouts(HWND list, int first, int step, int last, int stored) {
    ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
    ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Infinite"));
    int select = 0, index = 1;
    char text[16];
    for (int v = first; v <= last; v += step, ++index) {
        std::snprintf(text, sizeof text, "%d", v);
        ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (v == stored) select = index;
    }
    ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(select), 0);
}

void Fill(HWND list, std::initializer_list<const char*> entries, int select) {
    ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
    for (const char* e : entries) ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e));
    ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(select), 0);
}

int Selected(HWND list) { return static_cast<int>(::SendMessageA(list, CB_GETCURSEL, 0, 0)); }

}  // namespace

CConfigDevice2Dlg::CConfigDevice2Dlg(DeviceSettings& s) : CPropertyPage(IDD_OPERATION_PAGE), s_(s) {}

BOOL CConfigDevice2Dlg::OnInitDialog() {
    ini_.Load(kRookIniFileName, nullptr);
    OperationSetupValues v;
    ReadOperationSetup(ini_, v);
    FillTimeouts(::GetDlgItem(m_hWnd, IDC_PROGRAM_TIMEOUT), 10, 10, 10000, v.programTimeoutMs);
    FillTimeouts(::GetDlgItem(m_hWnd, IDC_ERASE_TIMEOUT), 100, 50, 10000, v.eraseTimeoutMs);
    FillTimeouts(::GetDlgItem(m_hWnd, IDC_CHIP_ERASE_TIMEOUT), 1, 1, 200, v.chipEraseTimeoutMin);
    int buffer = 0;
    for (int i = 0; i < 6; ++i)
        if (kWriteBuffers[i] == v.writeBufferBytes) buffer = i;
    Fill(::GetDlgItem(m_hWnd, IDC_WRITE_BUFFER), {"Default", "32 Bytes", "64 Bytes", "128 Bytes", "256 Bytes", "512 Bytes"}, buffer);
    Fill(::GetDlgItem(m_hWnd, IDC_DATA_SWAP), {"None", "2-Byte Swap", "4-Byte Swap"}, v.dataSwap / 2);
    const bool flags[6] = {v.noWriteBuffer, v.checkSectorProtection, v.forceP8E, v.force4ByteAddress, v.force80MHzSck, v.userCfi};
    for (int i = 0; i < 6; ++i) CheckDlgButton(kChecks[i], flags[i] ? BST_CHECKED : BST_UNCHECKED);
    s_.noWriteBuffer = v.noWriteBuffer;
    s_.checkSectorProtection = v.checkSectorProtection;
    s_.forceP8E = v.forceP8E;
    s_.force4ByteAddress = v.force4ByteAddress;
    s_.force80MHzSck = v.force80MHzSck;
    s_.useUserCfi = v.userCfi;
    for (int i = 0; i < 9; ++i) SetDlgItemText(IDC_CFI_FIRST + i, v.cfi[i].c_str());
    OnUserCfi();

    tips_.Create(this, 20000);
    static const char* const kOffsets[9] = {
        "[Offset 0x13 to 0x14: 2 Bytes (Little Endian)]", "[Offset 0x27: 1 Byte]",
        "[Offset 0x2A to 0x2B: 2 Bytes (Little Endian)]", "[Offset 0x2C: 1 Byte]",
        "[Offset 0x2D to 0x30: 4 Bytes (Little Endian)]", "[Offset 0x31 to 0x34: 4 Bytes (Little Endian)]",
        "[Offset 0x35 to 0x38: 4 Bytes (Little Endian)]", "[Offset 0x39 to 0x3C: 4 Bytes (Little Endian)]",
        "[Offset 0x0F from Primary Vendor-Specific Extended Query Table: 1 Byte]"};
    ::SendMessageA(tips_.Handle(), TTM_SETTITLEA, TTI_INFO, reinterpret_cast<LPARAM>("Offset and Length"));
    for (int i = 0; i < 9; ++i) tips_.Add(::GetDlgItem(m_hWnd, IDC_CFI_FIRST + i), kOffsets[i]);
    return TRUE;
}

void CConfigDevice2Dlg::OnUserCfi() {
    const bool on = IsDlgButtonChecked(IDC_USER_CFI) == BST_CHECKED;
    s_.useUserCfi = on;
    for (int i = 0; i < 9; ++i) {
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_CFI_FIRST + i), on);
        if (on) {
            std::string text = ini_.Get(kOperationSection, kUserCfiKeys[i]);
            SetDlgItemText(IDC_CFI_FIRST + i, text.empty() ? "0x" : text.c_str());
        }
    }
}

BOOL CConfigDevice2Dlg::OnCommand(WPARAM wp, LPARAM lp) {
    if (LOWORD(wp) == IDC_USER_CFI && HIWORD(wp) == BN_CLICKED) {
        OnUserCfi();
        return TRUE;
    }
    return CPropertyPage::OnCommand(wp, lp);
}

BOOL CConfigDevice2Dlg::OnSetActive() {
    // The sheet's OK is for the pages that choose the device.
    EnableSheetOk(this, false);
    return TRUE;
}

OperationSetupValues CConfigDevice2Dlg::FromControls() {
    OperationSetupValues v;
    int k = Selected(::GetDlgItem(m_hWnd, IDC_PROGRAM_TIMEOUT));
    v.programTimeoutMs = k < 0 ? 10 : k == 0 ? -1 : 10 * k;
    k = Selected(::GetDlgItem(m_hWnd, IDC_ERASE_TIMEOUT));
    v.eraseTimeoutMs = k < 0 ? 100 : k == 0 ? -1 : 50 * (k + 1);
    k = Selected(::GetDlgItem(m_hWnd, IDC_CHIP_ERASE_TIMEOUT));
    v.chipEraseTimeoutMin = k < 0 ? 1 : k == 0 ? -1 : k;
    k = Selected(::GetDlgItem(m_hWnd, IDC_WRITE_BUFFER));
    v.writeBufferBytes = k > 0 && k < 6 ? kWriteBuffers[k] : 0;
    k = Selected(::GetDlgItem(m_hWnd, IDC_DATA_SWAP));
    v.dataSwap = k == 1 ? 2 : k == 2 ? 4 : 0;
    bool* flags[6] = {&v.noWriteBuffer, &v.checkSectorProtection, &v.forceP8E, &v.force4ByteAddress, &v.force80MHzSck, &v.userCfi};
    for (int i = 0; i < 6; ++i) *flags[i] = IsDlgButtonChecked(kChecks[i]) == BST_CHECKED;
    for (int i = 0; i < 9; ++i) {
        CString text;
        GetDlgItemText(IDC_CFI_FIRST + i, text);
        v.cfi[i] = text.str();
    }
    return v;
}

BOOL CConfigDevice2Dlg::OnApply() {
    OperationSetupValues v = FromControls();
    std::string error;
    if (!ApplyOperationSetup(v, s_, &error)) {
        LxMessageBox(m_hWnd, error.c_str(), "Tarn-Rook", MB_OK);
        return FALSE;
    }
    ini_.Load(kRookIniFileName, nullptr);
    WriteOperationSetup(ini_, v);
    ini_.Save(kRookIniFileName);
    return TRUE;
}

}  // namespace rook
