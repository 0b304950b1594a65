// The "Predefined List" page: device type, catalogue family and part, and the bus, chip-select,
// interface and socket choices the part leaves open.
#include <cstdio>
#include <cstdlib>

#include "lumivex/prompt.h"
#include "rook_sheet.h"
#include "sheet_resource.h"

namespace rook {

namespace {

constexpr UINT kSheetStarted = WM_APP + 1;

const char* const kGroupKeys[3] = {"NOR Device Group", "NAND Device Group", "SPI Device Group"};
const char* const kNameKeys[3] = {"NOR Device Name", "NAND Device Name", "SPI Device Name"};
const char* const kTypeWords[3] = {"NOR", "NAND", "SPI"};

}  // namespace

CConfigDeviceDlg::CConfigDeviceDlg(DeviceSettings& s, Host& host) : CPropertyPage(IDD_PREDEFINED_PAGE), s_(s), host_(host) {}

void CConfigDeviceDlg::Say(const std::string& text, UINT type) { LxMessageBox(m_hWnd, text.c_str(), "Tarn-Rook", type); }

void CConfigDeviceDlg::LoadIni() {
    std::string message;
    IniLoad r = ini_.Load(kRookIniFileName, &message);
    // A first run has no file yet; a file that is there but not whole is worth a word.
    if (!started_ && r != IniLoad::kLoaded && r != IniLoad::kMissing) Say(message);
}

void CConfigDeviceDlg::SaveIni() { ini_.Save(kRookIniFileName); }

int CConfigDeviceDlg::Radio(int first, int count) const {
    for (int i = 0; i < count; ++i)
        if (IsDlgButtonChecked(first + i) == BST_CHECKED) return i;
    return -1;
}

void CConfigDeviceDlg::SetRadio(int first, int count, int index) {
    for (int i = 0; i < count; ++i) CheckDlgButton(first + i, i == index ? BST_CHECKED : BST_UNCHECKED);
}

void CConfigDeviceDlg::EnableRadio(int first, int count, const bool* enabled) {
    for (int i = 0; i < count; ++i) ::EnableWindow(::GetDlgItem(m_hWnd, first + i), enabled[i]);
}

const char* CConfigDeviceDlg::TypeWord() const { return kTypeWords[deviceType_ >= 0 && deviceType_ <= 2 ? deviceType_ : 0]; }

BOOL CConfigDeviceDlg::OnInitDialog() {
    started_ = false;
    filling_ = true;
    choices_ = PageChoices{};
    CString number;
    number.LoadString(IDS_MIN_USB_FIRMWARE);
    s_.minUsbFirmwareVersion = std::atoi(number);

    LoadIni();
    const std::string active = ini_.Get(kPredefinedSection, "Active Device Type");
    deviceType_ = active == "NAND" ? 1 : active == "SPI" ? 2 : 0;
    s_.deviceClass = deviceType_ + 1;
    SetRadio(IDC_TYPE_NOR, 3, deviceType_);

    s_.interleave = 1;
    s_.chipSelect = 1;
    s_.expectedJedecId = -1;
    s_.busWidthBits = 16;
    vccMv_ = 1800;
    SetRadio(IDC_V18, 3, 0);

    HWND spin = ::GetDlgItem(m_hWnd, IDC_VCC_SPIN);
    ::SendMessageA(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(::GetDlgItem(m_hWnd, IDC_VCC)), 0);
    ::SendMessageA(spin, UDM_SETBASE, 10, 0);
    ::SendMessageA(spin, UDM_SETRANGE32, kMinVccMv, kMaxVccMv);
    UDACCEL accel[4] = {{0, 10}, {1, 20}, {2, 50}, {4, 100}};
    ::SendMessageA(spin, UDM_SETACCEL, 4, reinterpret_cast<LPARAM>(accel));

    const std::string socket = ini_.Get(kPredefinedSection, "Socket Type");
    SetRadio(IDC_PISMO, 2, socket == "Wend" ? 1 : 0);
    started_ = true;
    if (vccMv_ < kMinVccMv) vccMv_ = kMinVccMv;
    if (vccMv_ > kMaxVccMv) vccMv_ = kMaxVccMv;
    ShowVcc();

    tips_.Create(this);
    tips_.Add(::GetDlgItem(m_hWnd, IDC_NAME), "Select specific device");
    for (int id = IDC_BUS_X8; id <= IDC_BUS_X32; ++id) tips_.Add(::GetDlgItem(m_hWnd, id), "Bus width is predefined and not selectable");
    for (int id = IDC_ADP; id <= IDC_AADM; ++id) tips_.Add(::GetDlgItem(m_hWnd, id), "Bus interface is predefined and not selectable");
    tips_.Add(::GetDlgItem(m_hWnd, IDC_CS0), "CS is predefined and not selectable");
    tips_.Add(::GetDlgItem(m_hWnd, IDC_SPI_SINGLE), "Single SPI interface");
    tips_.Add(::GetDlgItem(m_hWnd, IDC_SPI_DUAL), "Dual SPI interface");
    tips_.Add(::GetDlgItem(m_hWnd, IDC_SPI_QUAD), "Quad SPI interface");
    tips_.Add(::GetDlgItem(m_hWnd, IDC_PISMO), "PISMO1 Socket");
    tips_.Add(::GetDlgItem(m_hWnd, IDC_WEND), "Wend Socket");
    tips_.Add(::GetDlgItem(m_hWnd, IDC_VCC), "Adjust or edit VCC value for Wend socket");
    tips_.Add(::GetDlgItem(m_hWnd, IDC_GROUP), "");
    tips_.Add(::GetDlgItem(m_hWnd, IDC_IL_X1), "");
    tips_.Add(::GetDlgItem(m_hWnd, IDC_IL_X2), "");

    FillGroups(deviceType_);
    filling_ = false;
    OnDeviceNameSelected();
    // The Operation Setup page starts (and reads the file) before the user sees it, so that its values
    // apply even when it is never shown; the chip-select map is read from the file before any apply.
    PostMessage(kSheetStarted);
    return TRUE;
}

BOOL CConfigDeviceDlg::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT* result) {
    if (msg != kSheetStarted) return FALSE;
    CPropertySheet* sheet = GetSheet();
    if (sheet && sheet->m_hWnd) {
        sheet->SetActivePage(1);
        sheet->SetActivePage(0);
    }
    RookIni ini;
    ini.Load(kRookIniFileName, nullptr);
    ReadChipSelectMap(ini, s_.chipSelectMap);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_CS0), !ChipSelectMapSelected(s_.chipSelectMap));
    *result = 0;
    return TRUE;
}

void CConfigDeviceDlg::FillGroups(int type) {
    HWND groups = ::GetDlgItem(m_hWnd, IDC_GROUP);
    ::SendMessageA(groups, CB_RESETCONTENT, 0, 0);
    LoadIni();
    const char* const* families = FamiliesOf(type + 1);
    const std::string wanted = ini_.Get(kPredefinedSection, kGroupKeys[type]);
    int select = 0;
    for (int i = 0; families && families[i][0]; ++i) {
        ::SendMessageA(groups, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(families[i]));
        if (wanted == families[i]) select = i;
    }
    ::SendMessageA(groups, CB_SETCURSEL, static_cast<WPARAM>(select), 0);
    static const char* const kGroupTips[3] = {"Select a device group for NOR", "Select a device group for Veltan",
                                              "Select a device group for SPI"};
    tips_.SetText(groups, kGroupTips[type]);
    static const char* const kSingle[3] = {nullptr, "Currently only support single device mode (no interleaved) for Veltan",
                                           "Currently only support single device mode (no interleaved) for SPI"};
    tips_.SetText(::GetDlgItem(m_hWnd, IDC_IL_X1), type == 0 ? "No interleaved, single device mode" : kSingle[type]);
    tips_.SetText(::GetDlgItem(m_hWnd, IDC_IL_X2), type == 0 ? "Dual interleaved mode and require 2 same devices" : kSingle[type]);
    choices_.family = ComboSelectionText(groups);
    FillNames();
}

void CConfigDeviceDlg::FillNames() {
    HWND groups = ::GetDlgItem(m_hWnd, IDC_GROUP);
    if (::SendMessageA(groups, CB_GETCURSEL, 0, 0) < 0) {
        Say("Invalid Device Group is selected!");
        ::SendMessageA(groups, CB_SETCURSEL, 0, 0);
    }
    choices_.family = ComboSelectionText(groups);
    HWND names = ::GetDlgItem(m_hWnd, IDC_NAME);
    ::SendMessageA(names, CB_RESETCONTENT, 0, 0);
    LoadIni();
    const std::string wanted = ini_.Get(kPredefinedSection, kNameKeys[deviceType_]);
    int select = 0, i = 0;
    for (const std::string& name : PartNamesOf(deviceType_ + 1, choices_.family)) {
        ::SendMessageA(names, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (wanted == name) select = i;
        ++i;
    }
    ::SendMessageA(names, CB_SETCURSEL, static_cast<WPARAM>(select), 0);
}

void CConfigDeviceDlg::OnDeviceNameSelected() {
    HWND names = ::GetDlgItem(m_hWnd, IDC_NAME);
    if (::SendMessageA(names, CB_GETCURSEL, 0, 0) < 0) {
        Say("Invalid Device is selected!");
        ::SendMessageA(names, CB_SETCURSEL, 0, 0);
    }
    const std::string name = ComboSelectionText(names);
    LoadIni();
    ini_.Set(kPredefinedSection, "Active Device Type", TypeWord());
    ini_.Set(kPredefinedSection, kGroupKeys[deviceType_], choices_.family);
    ini_.Set(kPredefinedSection, kNameKeys[deviceType_], name);
    SaveIni();
    s_.deviceClass = deviceType_ + 1;
    LookupPredefinedDevice(name, choices_, s_);
    if (choices_.found == 0) ApplyCatalogueOptions();
}

void CConfigDeviceDlg::ApplyCatalogueOptions() {
    CatalogueOptionsView v = CatalogueOptions(choices_, Radio(IDC_PISMO, 2), vccMv_, ini_);
    SetRadio(IDC_BUS_X8, 3, v.bus.selected);
    EnableRadio(IDC_BUS_X8, 3, v.bus.enabled);
    SetRadio(IDC_CS0, 4, v.chipSelect.selected);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_CS0), !ChipSelectMapSelected(s_.chipSelectMap));
    for (int i = 1; i < 4; ++i) ::EnableWindow(::GetDlgItem(m_hWnd, IDC_CS0 + i), FALSE);
    SetRadio(IDC_ADP, 3, v.host.selected);
    EnableRadio(IDC_ADP, 3, v.host.enabled);
    SetRadio(IDC_IL_X1, 3, v.interleave.selected);
    EnableRadio(IDC_IL_X1, 3, v.interleave.enabled);
    SetRadio(IDC_SPI_SINGLE, 3, v.spi.selected);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SPI_GROUPBOX), v.spiGroupEnabled);
    const bool none[3] = {false, false, false};
    EnableRadio(IDC_SPI_SINGLE, 3, none);
    SetRadio(IDC_PISMO, 2, v.socket);
    EnableWendControls(v.wendControlsEnabled);
    vccMv_ = v.vccMv;
    ShowVcc();
}

void CConfigDeviceDlg::EnableWendControls(bool on) {
    for (int id : {IDC_VCC_LABEL, IDC_VCC, IDC_VCC_SPIN, IDC_V18, IDC_V25, IDC_V33, IDC_POWER_CONTROL})
        ::EnableWindow(::GetDlgItem(m_hWnd, id), on);
}

void CConfigDeviceDlg::ShowVcc() {
    filling_ = true;
    ::SendMessageA(::GetDlgItem(m_hWnd, IDC_VCC_SPIN), UDM_SETPOS32, 0, vccMv_);
    char text[16];
    std::snprintf(text, sizeof text, "%04d", vccMv_);
    SetDlgItemText(IDC_VCC, text);
    SetRadio(IDC_V18, 3, VoltageButtonOf(vccMv_));
    filling_ = false;
}

void CConfigDeviceDlg::SelectDeviceType(int type) {
    deviceType_ = type;
    SetRadio(IDC_SPI_SINGLE, 3, type == 2 ? 0 : -1);
    SetRadio(IDC_ADP, 3, 0);
    SetRadio(IDC_BUS_X8, 3, type == 0 ? 1 : 0);
    s_.deviceClass = type + 1;
    filling_ = true;
    FillGroups(type);
    filling_ = false;
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_GROUP), TRUE);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_NAME), TRUE);
    OnDeviceNameSelected();
}

void CConfigDeviceDlg::OnSocket(int socket) {
    LoadIni();
    if (socket == 0) {
        vccMv_ = 1800;
        ini_.Set(kPredefinedSection, "Socket Type", "PISMO");
    } else {
        const std::string voltage = ini_.Get(kPredefinedSection, "Voltage");
        vccMv_ = voltage.empty() ? 1800 : std::atoi(voltage.c_str());
        ini_.Set(kPredefinedSection, "Socket Type", "Wend");
    }
    ShowVcc();
    SaveIni();
    EnableWendControls(socket == 1);
}

void CConfigDeviceDlg::OnVoltageButton(int button) {
    static const int kMv[3] = {1800, 2500, 3300};
    vccMv_ = kMv[button];
    ShowVcc();
}

void CConfigDeviceDlg::OnVccEdited() {
    if (filling_) return;
    CString text;
    GetDlgItemText(IDC_VCC, text);
    vccMv_ = std::atoi(text);
    SetRadio(IDC_V18, 3, VoltageButtonOf(vccMv_));
}

BOOL CConfigDeviceDlg::OnCommand(WPARAM wp, LPARAM lp) {
    const int id = LOWORD(wp), code = HIWORD(wp);
    if (code == BN_CLICKED) {
        if (id >= IDC_TYPE_NOR && id <= IDC_TYPE_SPI) {
            SelectDeviceType(id - IDC_TYPE_NOR);
            return TRUE;
        }
        if (id == IDC_PISMO || id == IDC_WEND) {
            OnSocket(id - IDC_PISMO);
            return TRUE;
        }
        if (id >= IDC_V18 && id <= IDC_V33) {
            OnVoltageButton(id - IDC_V18);
            return TRUE;
        }
        if (id == IDC_CS_SETTING) {
            CCSMappingDlg map(s_, this);
            ::EnableWindow(::GetDlgItem(m_hWnd, IDC_CS0), map.DoModal() != IDOK);
            return TRUE;
        }
        if (id == IDC_POWER_CONTROL) {
            if (!power_) {
                power_ = new CPowerControlDlg(vccMv_, host_, [this] { return Selection(); }, ControlWindow(1));
                power_->Create(IDD_POWER_CONTROL, ControlWindow(1));
            }
            ::SetWindowPos(power_->m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
            return TRUE;
        }
    }
    if (code == CBN_SELCHANGE && id == IDC_GROUP) {
        FillNames();
        OnDeviceNameSelected();
        return TRUE;
    }
    if (code == CBN_SELCHANGE && id == IDC_NAME) {
        OnDeviceNameSelected();
        return TRUE;
    }
    if (code == EN_CHANGE && id == IDC_VCC) {
        OnVccEdited();
        return TRUE;
    }
    return CPropertyPage::OnCommand(wp, lp);
}

BOOL CConfigDeviceDlg::OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) {
    EnableSheetOk(this, true);
    return CPropertyPage::OnNotify(wp, lp, result);
}

BOOL CConfigDeviceDlg::OnSetActive() {
    if (user_) user_->shown = false;
    EnableSheetOk(this, true);
    return TRUE;
}

DevicePageSelection CConfigDeviceDlg::Selection() {
    DevicePageSelection sel;
    sel.deviceType = Radio(IDC_TYPE_NOR, 3);
    sel.busWidth = Radio(IDC_BUS_X8, 3);
    sel.interleave = Radio(IDC_IL_X1, 3);
    sel.chipSelect = Radio(IDC_CS0, 4);
    sel.hostInterface = Radio(IDC_ADP, 3);
    sel.spiInterface = Radio(IDC_SPI_SINGLE, 3);
    sel.socket = Radio(IDC_PISMO, 2);
    sel.vccMv = vccMv_;
    sel.group = ComboSelectionText(::GetDlgItem(m_hWnd, IDC_GROUP));
    sel.name = ComboSelectionText(::GetDlgItem(m_hWnd, IDC_NAME));
    return sel;
}

int CConfigDeviceDlg::SetupDevice() {
    LoadIni();
    HWND groups = ::GetDlgItem(m_hWnd, IDC_GROUP), names = ::GetDlgItem(m_hWnd, IDC_NAME);
    if (::SendMessageA(groups, CB_GETCURSEL, 0, 0) < 0) {
        Say("Invalid Device Group is selected!");
        ::SendMessageA(groups, CB_SETCURSEL, 0, 0);
    }
    if (::SendMessageA(names, CB_GETCURSEL, 0, 0) < 0) {
        Say("Invalid Device is selected!");
        ::SendMessageA(names, CB_SETCURSEL, 0, 0);
    }
    DevicePageSelection sel = Selection();
    std::vector<std::string> messages;
    bool vccRefused = false;
    int status = rook::SetupDevice(sel, choices_, s_, ini_, messages, &vccRefused);
    for (const std::string& m : messages) Say(m);
    if (vccRefused) return -1;
    vccMv_ = sel.vccMv;
    SaveIni();
    return status;
}

BOOL CConfigDeviceDlg::OnApply() {
    int result;
    if (user_ && user_->shown) {
        if (LxMessageBox(m_hWnd, "User Device is selected. Do you want to go with it?", "Tarn-Rook", MB_YESNO) != IDYES)
            return FALSE;
        result = user_->ApplyUserDevice();
    } else {
        if (!ApplyChipSelectMap(s_, [this] {
                return LxMessageBox(m_hWnd, "CS Map is selected. Do you want to go with it?", "Tarn-Rook", MB_YESNO) == IDYES;
            }))
            return FALSE;
        result = SetupDevice();
    }
    if (result == 0) return TRUE;
    Say("Failed to configure device.\nSome parameters are not valid to configure.");
    return FALSE;
}

void CConfigDeviceDlg::ReleasePowerKit() {
    if (power_) {
        power_->ShowWindow(SW_HIDE);
        power_->ReleaseKit();
    }
}

void CConfigDeviceDlg::DestroyPowerDialog() {
    if (!power_) return;
    power_->ReleaseKit();
    power_->DestroyWindow();
    delete power_;
    power_ = nullptr;
}

}  // namespace rook
