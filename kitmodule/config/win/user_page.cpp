// The " User-defined List" page: the user's own NOR and SPI devices, kept sorted by name in
// "Rook User Devices.txt", added, edited, deleted and taken over into the settings record.
#include <cstdio>

#include "lumivex/prompt.h"
#include "rook_sheet.h"
#include "sheet_resource.h"

namespace rook {

namespace {

// The factor combos in the order of the file's fields 4 to 10, with their option lists.
struct Factor {
    int id;
    const OptionList* list;
};
const Factor kFactors[7] = {{IDC_UD_SIZE, &kDeviceSizes},  {IDC_UD_COMMAND, &kCommandTypes},   {IDC_UD_BUS, &kBusWidths},
                            {IDC_UD_INTERLEAVE, &kInterleaves}, {IDC_UD_HOST, &kHostInterfaces}, {IDC_UD_SOCKET, &kSocketTypes},
                            {IDC_UD_SPI, &kSpiInterfaces}};
// What each factor asks for when nothing is chosen, in file order from the group on.
const char* const kMissing[8] = {"Select Device Group", "Select Device Size", "Select Command Type", "Select Device Bus Width",
                                 "Select Device Interleaved", "Select Host Interleaved", "Select Socket Type",
                                 "Select SPI Interface"};

struct Help {
    int label, control;
    const char* text;
};
const Help kHelp[10] = {
    {IDC_UD_LABEL_GROUP, IDC_UD_GROUP, " NOR : (Oska / Brae / Cald / Dorn/ Fenn / Mure), SPI : (Ivor) supported"},
    {IDC_UD_LABEL_NAME, IDC_UD_NAME, "Device name should not be duplicated"},
    {IDC_UD_LABEL_ID, IDC_UD_ID, "Enter device ID in hex format (e.g 7E2301)"},
    {IDC_UD_LABEL_SIZE, IDC_UD_SIZE, "Determine the size of device (e.g Cald512: 64MB (512Mb))"},
    {IDC_UD_LABEL_COMMAND, IDC_UD_COMMAND, "Determine command type. Especially for NOR"},
    {IDC_UD_LABEL_BUS, IDC_UD_BUS, "Determine Data buswidth for device (e.g x8: 8bit)"},
    {IDC_UD_LABEL_INTERLEAVE, IDC_UD_INTERLEAVE, "Determine how many devices are interleaved (e.g 1x: single device)"},
    {IDC_UD_LABEL_HOST, IDC_UD_HOST, "Determine interface mode to Host. SPI have just ADP"},
    {IDC_UD_LABEL_SOCKET, IDC_UD_SOCKET, "Determine which socket type is used. PISMO or Wend"},
    {IDC_UD_LABEL_SPI, IDC_UD_SPI, "Determine SPI IO read mode just for SPI device (e.g SIO: single mode)"},
};

void FillList(HWND combo, const OptionList& list) {
    ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < list.count; ++i) ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(list.entries[i]));
}

const char* const kFileTypeWords[3] = {"NOR", "Veltan", "SPI"};

}  // namespace

bool UserDeviceFilePath(std::string* path) {
    char folder[2048];
    DWORD size = sizeof folder, type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Keldorn\\Lumivex\\User Area", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    LONG r = RegQueryValueExA(key, "Full Path", nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_SZ || size == 0) return false;
    folder[size < sizeof folder ? size : sizeof folder - 1] = '\0';
    std::string dir = std::string(folder) + "\\User Data\\";
    if (!CreateDirectoryA(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    *path = dir + kUserDeviceFileName;
    return true;
}

CConfigUserDeviceDlg::CConfigUserDeviceDlg(DeviceSettings& s) : CPropertyPage(IDD_USER_DEVICE_PAGE), s_(s) {}

int CConfigUserDeviceDlg::Say(const std::string& text, UINT type) { return LxMessageBox(m_hWnd, text.c_str(), "Tarn-Rook", type); }

std::string CConfigUserDeviceDlg::Text(int id) const {
    CString text;
    GetDlgItemText(id, text);
    return text.str();
}

std::string CConfigUserDeviceDlg::ComboText(int id) const { return ComboSelectionText(::GetDlgItem(m_hWnd, id)); }

// Selects the entry equal to `text` (the whole entry, without regard to case); none when there is none.
void CConfigUserDeviceDlg::SelectExact(int id, const std::string& text) {
    HWND combo = ::GetDlgItem(m_hWnd, id);
    int count = static_cast<int>(::SendMessageA(combo, CB_GETCOUNT, 0, 0)), select = -1;
    for (int i = 0; i < count && select < 0; ++i) {
        char entry[256] = "";
        if (::SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < static_cast<LRESULT>(sizeof entry))
            ::SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
        if (EqualNoCase(entry, text)) select = i;
    }
    ::SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(select), 0);
}

BOOL CConfigUserDeviceDlg::OnInitDialog() {
    mode_ = 0;
    modified_ = false;
    shown = false;
    std::string failure;
    ready_ = InitUserDevicePage(&failure);
    if (!ready_) {
        if (!failure.empty()) Say(failure);
        Say("Failed to Initialize User Device Page\n");
    } else {
        tips_.Create(this);
        tips_.Add(::GetDlgItem(m_hWnd, IDC_UD_ADD), "Add a new device");
        tips_.Add(::GetDlgItem(m_hWnd, IDC_UD_EDIT), "Edit selected device");
        tips_.Add(::GetDlgItem(m_hWnd, IDC_UD_DELETE), "Delete selected device");
    }
    SetDlgItemText(IDC_UD_HELP, "Help message for device factors. Click text if you want know");
    return TRUE;
}

bool CConfigUserDeviceDlg::InitUserDevicePage(std::string* failure) {
    HWND type = ::GetDlgItem(m_hWnd, IDC_UD_TYPE);
    FillList(type, kDeviceTypes);
    ::SendMessageA(type, CB_SETCURSEL, 0, 0);
    typeText_ = "NOR";
    typeIndex_ = 0;
    FillGroupLists(0);
    for (int f = 0; f < 6; ++f) FillList(::GetDlgItem(m_hWnd, kFactors[f].id), *kFactors[f].list);
    if (!UserDeviceFilePath(&path_)) {
        *failure = "Failed to Initialize User Device Data File\n";
        return false;
    }
    std::string error;
    if (!EnsureUserDeviceFile(path_, &error)) {
        Say(error);
        return false;
    }
    parser_.SetCommentChar('#');
    parser_.SetSeparator(',');
    if (!parser_.SetFile(path_)) {
        *failure = "Failed to open User Device Data File\n";
        return false;
    }
    {
        // A list saved as UTF-16 (as some editors do) cannot be read here, and rewriting it would ruin it.
        std::string data;
        if (ReadFileBytes(path_, data, kMaxParsedFile) && IsWideText(data)) {
            *failure = path_ + " is not 8-bit text (it looks like UTF-16); the list is left as it is.\n"
                       "Save it as ANSI text to use it here.\n";
            return false;
        }
    }
    // Lines the list cannot take are named by their place in the file as the user wrote it (before the
    // sort), so the user knows why a device is missing.
    std::vector<UserDevice> devices;
    std::vector<RefusedUserLine> refused;
    if (ReadUserDevices(path_, devices, refused) && !refused.empty()) {
        std::string text = "Some lines of " + path_ + " were not taken:\n";
        for (const RefusedUserLine& r : refused) text += "line " + std::to_string(r.fileLine) + ": " + r.reason + "\n";
        Say(text);
    }
    if (!parser_.SortByField(2)) {
        *failure = "Failed to sort User Device Data File\n";
        return false;
    }
    UpdateControlStates();
    FillDeviceNameList();
    EnableEditDelete();
    return true;
}

void CConfigUserDeviceDlg::FillGroupLists(int type) {
    HWND group = ::GetDlgItem(m_hWnd, IDC_UD_GROUP), spi = ::GetDlgItem(m_hWnd, IDC_UD_SPI);
    if (type == 0) {
        FillList(group, kNorGroups);
        ::SendMessageA(spi, CB_RESETCONTENT, 0, 0);
    } else if (type == 2) {
        FillList(group, kSpiGroups);
        FillList(spi, kSpiInterfaces);
    }
    ::EnableWindow(spi, type == 2 && mode_ != 0);
}

void CConfigUserDeviceDlg::FillDeviceNameList() {
    HWND names = ::GetDlgItem(m_hWnd, IDC_UD_DEVICES);
    ::SendMessageA(names, CB_RESETCONTENT, 0, 0);
    if (!ready_) return;
    // The file's type word of a line is its type: "Veltan" for the NAND choice. Only lines that read as
    // devices are offered.
    const std::string word = kFileTypeWords[typeIndex_ >= 0 && typeIndex_ <= 2 ? typeIndex_ : 0];
    parser_.SetFilter(0, word);
    int select = 0;
    std::vector<UserDevice> devices;
    std::vector<RefusedUserLine> refused;
    ReadUserDevices(path_, devices, refused);
    for (const UserDevice& d : devices)
        if (EqualNoCase(d.field[kUdType], word))
            ::SendMessageA(names, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(d.field[kUdName].c_str()));
    // The list is sorted by the file; the entry to select is found by its text.
    int count = static_cast<int>(::SendMessageA(names, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char entry[256] = "";
        if (::SendMessageA(names, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < static_cast<LRESULT>(sizeof entry))
            ::SendMessageA(names, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
        if (selectedName_ == entry) select = i;
    }
    ::SendMessageA(names, CB_SETCURSEL, static_cast<WPARAM>(count ? select : -1), 0);
    selectedName_ = ComboText(IDC_UD_DEVICES);
    if (!selectedName_.empty()) LoadDeviceFields(selectedName_);
    else if (mode_ == 0) ClearDeviceFields();
}

void CConfigUserDeviceDlg::LoadDeviceFields(const std::string& name) {
    int line = parser_.FindField(kUdName, name);
    if (line < 0) return;
    updating_ = true;
    const std::string group = parser_.GetField(line, kUdGroup);
    HWND groups = ::GetDlgItem(m_hWnd, IDC_UD_GROUP);
    int count = static_cast<int>(::SendMessageA(groups, CB_GETCOUNT, 0, 0)), select = -1;
    for (int i = 0; i < count && select < 0; ++i) {
        char entry[64] = "";
        if (::SendMessageA(groups, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < static_cast<LRESULT>(sizeof entry))
            ::SendMessageA(groups, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
        std::string e = entry;
        if (e.size() >= group.size() && EqualNoCase(e.substr(0, group.size()), group) && !(group.empty() && !e.empty()))
            select = i;
    }
    ::SendMessageA(groups, CB_SETCURSEL, static_cast<WPARAM>(select), 0);
    SetDlgItemText(IDC_UD_NAME, parser_.GetField(line, kUdName).c_str());
    SetDlgItemText(IDC_UD_ID, parser_.GetField(line, kUdId).c_str());
    for (int f = 0; f < 7; ++f) SelectExact(kFactors[f].id, parser_.GetField(line, kUdSize + f));
    previousName_ = name;
    updating_ = false;
}

// A disabled edit asks for the static colours, which on a themed page are the page's own white: the
// name and ID boxes then look ready for typing while nothing is being edited. They take the face
// colour of any disabled box instead.
BOOL CConfigUserDeviceDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    if (msg == WM_CTLCOLORSTATIC) {
        HWND control = reinterpret_cast<HWND>(lp);
        const int id = ::GetDlgCtrlID(control);
        if ((id == IDC_UD_NAME || id == IDC_UD_ID) && !::IsWindowEnabled(control)) {
            HDC dc = reinterpret_cast<HDC>(wp);
            ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
            ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
            *result = reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
            return TRUE;
        }
    }
    return CPropertyPage::OnMessage(msg, wp, lp, result);
}

void CConfigUserDeviceDlg::UpdateControlStates() {
    const bool editing = mode_ != 0;
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_UD_DEVICES), !editing || mode_ == 2);
    for (int id : {IDC_UD_GROUP, IDC_UD_NAME, IDC_UD_ID, IDC_UD_SIZE, IDC_UD_COMMAND, IDC_UD_BUS, IDC_UD_INTERLEAVE, IDC_UD_HOST,
                   IDC_UD_SOCKET})
        ::EnableWindow(::GetDlgItem(m_hWnd, id), editing);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_UD_SPI), editing && typeIndex_ == 2);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_UD_SAVE), FALSE);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_UD_CANCEL), editing);
}

void CConfigUserDeviceDlg::ClearDeviceFields() {
    updating_ = true;
    ::SendMessageA(::GetDlgItem(m_hWnd, IDC_UD_GROUP), CB_SETCURSEL, 0, 0);
    for (const Factor& f : kFactors) ::SendMessageA(::GetDlgItem(m_hWnd, f.id), CB_SETCURSEL, 0, 0);
    SetDlgItemText(IDC_UD_NAME, "");
    SetDlgItemText(IDC_UD_ID, "");
    updating_ = false;
}

void CConfigUserDeviceDlg::EnableEditDelete() {
    const bool any = ::SendMessageA(::GetDlgItem(m_hWnd, IDC_UD_DEVICES), CB_GETCOUNT, 0, 0) > 0;
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_UD_EDIT), any);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_UD_DELETE), any);
}

void CConfigUserDeviceDlg::SaveUserDevice() {
    const std::string name = Text(IDC_UD_NAME);
    if (name.empty()) {
        Say("Please enter device name to use");
        return;
    }
    const std::string word = kFileTypeWords[typeIndex_ >= 0 && typeIndex_ <= 2 ? typeIndex_ : 0];
    if (mode_ == 1 || (mode_ == 2 && !EqualNoCase(name, previousName_))) {
        parser_.ClearFilter();
        int hit = parser_.FindField(kUdName, name);
        parser_.SetFilter(0, word);
        if (hit >= 0) {
            Say("Same device name was found in Device List.\nPlease use other device name.");
            return;
        }
    }
    int previousLine = mode_ == 2 ? parser_.FindField(kUdName, previousName_) : -1;

    UserDevice d;
    d.field[kUdType] = word;
    if (::SendMessageA(::GetDlgItem(m_hWnd, IDC_UD_GROUP), CB_GETCURSEL, 0, 0) < 0) return void(Say(kMissing[0]));
    d.field[kUdGroup] = ComboText(IDC_UD_GROUP);
    d.field[kUdName] = name;
    d.field[kUdId] = Text(IDC_UD_ID);
    if (d.field[kUdId].empty()) return void(Say("Please enter device ID"));
    for (int f = 0; f < 7; ++f) {
        HWND combo = ::GetDlgItem(m_hWnd, kFactors[f].id);
        // The SPI interface of a NOR device is an empty field: its list is empty.
        if (kFactors[f].id == IDC_UD_SPI && typeIndex_ != 2) continue;
        if (::SendMessageA(combo, CB_GETCURSEL, 0, 0) < 0) return void(Say(kMissing[1 + f]));
        d.field[kUdSize + f] = ComboText(kFactors[f].id);
    }
    const std::string line = FormatUserDeviceLine(d);
    std::string message;
    char text[512];
    if (mode_ == 2) {
        std::snprintf(text, sizeof text, "%s device is updated.", previousName_.c_str());
    } else {
        std::snprintf(text, sizeof text, "%s device is added.", name.c_str());
        previousName_ = name;
    }
    message = text;
    bool saved = !line.empty();
    if (saved && mode_ == 2 && !parser_.DeleteLine(previousLine)) saved = false;
    if (saved && !parser_.AppendLine(line)) saved = false;
    if (!saved) message += "\nFailed to Save to file.";
    else if (!parser_.SortByField(2)) message += "\nFailed to Sort file.";
    Say(message);
    selectedName_ = name;
    mode_ = 0;
    FillDeviceNameList();
    UpdateControlStates();
    EnableEditDelete();
    modified_ = false;
}

void CConfigUserDeviceDlg::DeleteUserDevice() {
    if (selectedName_.empty()) {
        Say("There is no device to remove");
        return;
    }
    int line = parser_.FindField(kUdName, selectedName_);
    if (line < 0) {
        Say("No valid device is selected to remove.");
        return;
    }
    char text[512];
    std::snprintf(text, sizeof text, "Do you want to remove %s in list?", selectedName_.c_str());
    if (Say(text, MB_YESNO) == IDYES) {
        if (!parser_.DeleteLine(line)) Say(std::string(text) + "\nFailed to Save to file.");
        else selectedName_.clear();
    }
    UpdateControlStates();
    FillDeviceNameList();
    EnableEditDelete();
}

void CConfigUserDeviceDlg::OnTypeChanged() {
    HWND type = ::GetDlgItem(m_hWnd, IDC_UD_TYPE);
    int index = static_cast<int>(::SendMessageA(type, CB_GETCURSEL, 0, 0));
    if (index < 0) {
        Say("Invalid Device Class is selected!");
        return;
    }
    if (index == 1) {
        Say("NAND device not supported");
        ::SendMessageA(type, CB_SETCURSEL, static_cast<WPARAM>(typeIndex_ == 2 ? 2 : 0), 0);
        return;
    }
    typeIndex_ = index;
    typeText_ = kDeviceTypes.entries[index];
    modified_ = false;
    FillGroupLists(index);
    selectedName_.clear();
    FillDeviceNameList();
    EnableEditDelete();
    UpdateControlStates();
}

void CConfigUserDeviceDlg::ShowHelp(int id) {
    for (const Help& h : kHelp)
        if (h.label == id || h.control == id) SetDlgItemText(IDC_UD_HELP, h.text);
}

BOOL CConfigUserDeviceDlg::OnCommand(WPARAM wp, LPARAM lp) {
    const int id = LOWORD(wp), code = HIWORD(wp);
    if (code == BN_CLICKED) {
        switch (id) {
        case IDC_UD_ADD:
            mode_ = 1;
            ClearDeviceFields();
            UpdateControlStates();
            return TRUE;
        case IDC_UD_EDIT:
            if (!selectedName_.empty()) {
                mode_ = 2;
                UpdateControlStates();
                LoadDeviceFields(selectedName_);
            }
            return TRUE;
        case IDC_UD_DELETE: DeleteUserDevice(); return TRUE;
        case IDC_UD_SAVE: SaveUserDevice(); return TRUE;
        case IDC_UD_CANCEL:
            mode_ = 0;
            modified_ = false;
            OnTypeChanged();
            return TRUE;
        default: break;
        }
    }
    if (code == STN_CLICKED || code == CBN_SETFOCUS || code == EN_SETFOCUS) ShowHelp(id);
    if (code == CBN_SELCHANGE) {
        if (id == IDC_UD_TYPE) {
            OnTypeChanged();
        } else if (id == IDC_UD_DEVICES) {
            if (::SendMessageA(::GetDlgItem(m_hWnd, id), CB_GETCURSEL, 0, 0) < 0) {
                Say("Invalid Device is selected!");
            } else {
                selectedName_ = ComboText(id);
                UpdateControlStates();
                LoadDeviceFields(selectedName_);
            }
        } else if (!updating_) {
            modified_ = true;
            ::EnableWindow(::GetDlgItem(m_hWnd, IDC_UD_SAVE), TRUE);
            ::EnableWindow(::GetDlgItem(m_hWnd, IDC_UD_CANCEL), TRUE);
        }
        return TRUE;
    }
    if (code == EN_CHANGE && (id == IDC_UD_NAME || id == IDC_UD_ID) && !updating_) {
        modified_ = true;
        std::string text = Text(id);
        if (text.find(',') != std::string::npos) {
            Say("Comma should not be allowed");
            std::string clean;
            for (char c : text)
                if (c != ',') clean += c;
            updating_ = true;
            SetDlgItemText(id, clean.c_str());
            updating_ = false;
        }
        if (mode_ != 0) {
            ::EnableWindow(::GetDlgItem(m_hWnd, IDC_UD_SAVE), TRUE);
            ::EnableWindow(::GetDlgItem(m_hWnd, IDC_UD_CANCEL), TRUE);
        }
        return TRUE;
    }
    return CPropertyPage::OnCommand(wp, lp);
}

BOOL CConfigUserDeviceDlg::OnSetActive() {
    shown = true;
    EnableEditDelete();
    EnableSheetOk(this, true);
    return TRUE;
}

int CConfigUserDeviceDlg::ApplyUserDevice() {
    if (!ready_) return -1;
    if (modified_ && mode_ != 0) SaveUserDevice();
    int line = parser_.FindField(kUdName, selectedName_);
    if (selectedName_.empty() || line < 0) return -1;
    UserDevice d;
    for (int f = 0; f < kUserDeviceFields; ++f) d.field[f] = parser_.GetField(line, f);
    uint32_t bytes = 0;
    return rook::ApplyUserDevice(d, s_, bytes);
}

BOOL CConfigUserDeviceDlg::OnApply() {
    if ((s_.deviceClass & 0xFF) == 0 &&
        Say("One of User Devices is selected.\n        Device Class is not selected to UserDevice in Configuration Page!\n"
            "        Do you want to go without it?",
            MB_YESNO) != IDYES)
        return FALSE;
    return TRUE;
}

}  // namespace rook
