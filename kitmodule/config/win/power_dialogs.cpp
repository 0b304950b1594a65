// The Predefined List page's two dialogs: power control of the socket while the sheet is open, and the
// chip-select map.
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "lumivex/prompt.h"
#include "rook_sheet.h"
#include "sheet_resource.h"

namespace rook {

namespace {

// The page's choices can change while the dialog stays open beside it.
constexpr UINT_PTR kPageTimer = 1;
constexpr UINT kPageTimerMs = 250;

bool Ok(HResult hr) { return hr >= 0; }

}  // namespace

uint8_t& CPowerControlDlg::PowerFlag() {
    static uint8_t on = 1;
    return on;
}

CPowerControlDlg::CPowerControlDlg(int vccMv, Host& host, std::function<DevicePageSelection()> page, CWnd* parent)
    : CDialog(IDD_POWER_CONTROL, parent), vccMv_(vccMv), host_(host), page_(std::move(page)) {}

BOOL CPowerControlDlg::OnInitDialog() {
    HWND spin = ::GetDlgItem(m_hWnd, IDC_PWR_SPIN);
    ::SendMessageA(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(::GetDlgItem(m_hWnd, IDC_PWR_VCC)), 0);
    UDACCEL accel[4] = {{0, 1}, {2, 2}, {4, 10}, {8, 100}};
    ::SendMessageA(spin, UDM_SETACCEL, 4, reinterpret_cast<LPARAM>(accel));
    ::SendMessageA(spin, UDM_SETBASE, 10, 0);
    ::SendMessageA(spin, UDM_SETRANGE32, kMinVccMv, kMaxVccMv);
    ::SendMessageA(spin, UDM_SETPOS32, 0, vccMv_);
    char text[16];
    std::snprintf(text, sizeof text, "%d", vccMv_);
    SetDlgItemText(IDC_PWR_VCC, text);
    SetDlgItemText(IDC_PWR_TOGGLE, PowerFlag() ? "Power off" : "Power on");
    ShowKitState("The kit is connected when a button needs it.");
    EnableDeepPowerDown();
    SetTimer(kPageTimer, kPageTimerMs);
    return TRUE;
}

// The deep power-down commands reach only an SPI chip behind the serial controller.
void CPowerControlDlg::EnableDeepPowerDown() {
    const BOOL on = PageTakesDeepPowerDown(page_()) ? TRUE : FALSE;
    for (int id : {IDC_PWR_ENTER_DPD, IDC_PWR_RELEASE_DPD}) {
        HWND button = ::GetDlgItem(m_hWnd, id);
        if (::IsWindowEnabled(button) != on) ::EnableWindow(button, on);
    }
}

BOOL CPowerControlDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    if (msg == WM_TIMER && wp == kPageTimer) {
        EnableDeepPowerDown();
        *result = 0;
        return TRUE;
    }
    if (msg == WM_ACTIVATE || msg == WM_SHOWWINDOW) EnableDeepPowerDown();
    return CDialog::OnMessage(msg, wp, lp, result);
}

void CPowerControlDlg::ShowKitState(const char* text) { SetDlgItemText(IDC_PWR_KIT, text); }

// No device is open while the sheet runs, so the engine holds no kit control: the dialog connects one
// of its own at the first button that needs the kit, and gives it back when the sheet ends.
KitBus* CPowerControlDlg::Kit() {
    if (kit_) return kit_.get();
    HResult hr = 0;
    kit_ = host_.CreateKit(&hr);
    if (kit_ && Ok(kit_->SelectTarnType(1)) && Ok(hr = kit_->ConnectTarn())) {
        ShowKitState("Connected to the kit.");
        return kit_.get();
    }
    kit_.reset();
    host_.KitReleased();
    char text[128];
    std::snprintf(text, sizeof text, "No kit answers (0x%08lX): nothing was sent.", static_cast<unsigned long>(hr));
    ShowKitState(text);
    return nullptr;
}

void CPowerControlDlg::ReleaseKit() {
    if (!kit_) return;
    kit_->CloseTarn();
    kit_.reset();
    host_.KitReleased();
    if (m_hWnd) ShowKitState("The kit is connected when a button needs it.");
}

BOOL CPowerControlDlg::OnCommand(WPARAM wp, LPARAM lp) {
    if (HIWORD(wp) != BN_CLICKED) return CDialog::OnCommand(wp, lp);
    switch (LOWORD(wp)) {
    case IDC_PWR_SET: {
        CString text;
        GetDlgItemText(IDC_PWR_VCC, text);
        char* end = nullptr;
        long mv = std::strtol(text, &end, 10);
        if (text.IsEmpty() || (end && *end) || mv < kMinVccMv || mv > kMaxVccMv) {
            char message[96];
            std::snprintf(message, sizeof message, "Please enter an integer between %d and %d.", kMinVccMv, kMaxVccMv);
            LxMessageBox(m_hWnd, message, "Power Control", MB_OK | MB_ICONEXCLAMATION);
            return TRUE;
        }
        vccMv_ = static_cast<int>(mv);
        if (KitBus* k = Kit()) k->SetVoltage(0, static_cast<uint32_t>(mv));
        return TRUE;
    }
    case IDC_PWR_POR:
        if (KitBus* k = Kit()) {
            k->PowerControl(0);
            Sleep(100);
            k->PowerControl(1);
        }
        return TRUE;
    case IDC_PWR_TOGGLE:
        if (KitBus* k = Kit()) {
            PowerFlag() = PowerFlag() ? 0 : 1;
            k->PowerControl(PowerFlag());
            SetDlgItemText(IDC_PWR_TOGGLE, PowerFlag() ? "Power off" : "Power on");
        }
        return TRUE;
    case IDC_PWR_HW_RESET:
        // The memory type of the socket and device the page has chosen, which the open's kit start will
        // configure, not that of an empty record.
        if (KitBus* k = Kit()) ResetPageMemory(*k, page_());
        return TRUE;
    case IDC_PWR_ENTER_DPD:
    case IDC_PWR_RELEASE_DPD: {
        const DevicePageSelection sel = page_();
        if (!PageTakesDeepPowerDown(sel)) {
            EnableDeepPowerDown();
            ShowKitState("Deep power-down needs an SPI device on the PISMO1 socket: nothing was sent.");
            return TRUE;
        }
        if (KitBus* k = Kit()) {
            const bool enter = LOWORD(wp) == IDC_PWR_ENTER_DPD;
            const HResult hr = SendPageDeepPowerDown(*k, sel, enter);
            char text[128];
            if (Ok(hr))
                std::snprintf(text, sizeof text, "%s", enter ? "Sent Enter DPD (0xB9)." : "Sent Release DPD (0xAB).");
            else
                std::snprintf(text, sizeof text, "The kit refused the command (0x%08lX).", static_cast<unsigned long>(hr));
            ShowKitState(text);
        }
        return TRUE;
    }
    default: return CDialog::OnCommand(wp, lp);
    }
}

void CPowerControlDlg::OnCancel() {
    if (LxMessageBox(m_hWnd, "Do you want to close Power Control dialog box?", "Power Control", MB_YESNO) == IDYES)
        ShowWindow(SW_HIDE);
}

CCSMappingDlg::CCSMappingDlg(DeviceSettings& s, CWnd* parent) : CDialog(IDD_CS_MAPPING, parent), s_(s) {}

BOOL CCSMappingDlg::OnInitDialog() {
    RookIni ini;
    ini.Load(kRookIniFileName, nullptr);
    ReadChipSelectMap(ini, s_.chipSelectMap);
    for (int d = 0; d < 4; ++d) {
        HWND position = ::GetDlgItem(m_hWnd, IDC_CS_POSITION0 + d), size = ::GetDlgItem(m_hWnd, IDC_CS_SIZE0 + d);
        for (const char* e : kCsPositionEntries) ::SendMessageA(position, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e));
        for (const char* e : kCsSizeEntries) ::SendMessageA(size, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e));
        ::SendMessageA(position, CB_SETCURSEL, static_cast<WPARAM>(s_.chipSelectMap[d].positionCode), 0);
        ::SendMessageA(size, CB_SETCURSEL, static_cast<WPARAM>(s_.chipSelectMap[d].sizeCode), 0);
    }
    return TRUE;
}

void CCSMappingDlg::OnOK() {
    for (int d = 0; d < 4; ++d) {
        int position = static_cast<int>(::SendMessageA(::GetDlgItem(m_hWnd, IDC_CS_POSITION0 + d), CB_GETCURSEL, 0, 0));
        int size = static_cast<int>(::SendMessageA(::GetDlgItem(m_hWnd, IDC_CS_SIZE0 + d), CB_GETCURSEL, 0, 0));
        s_.chipSelectMap[d].positionCode = position < 0 ? 0 : position;
        s_.chipSelectMap[d].sizeCode = size < 0 ? 0 : size;
    }
    RookIni ini;
    ini.Load(kRookIniFileName, nullptr);
    WriteChipSelectMap(ini, s_.chipSelectMap);
    ini.Save(kRookIniFileName);
    EndDialog(IDOK);
}

}  // namespace rook
