// Tarn-Rook's configuration sheet: what the module shows when a device is opened. The sheet's pages
// write the settings record the engine then opens the chip with; their decisions are in sheet_core.h,
// catalogue.h and user_devices.h, these classes are the windows around them.
#pragma once
#include "lxmfc.h"

#include <functional>
#include <memory>
#include <string>

#include "catalogue.h"
#include "engine.h"
#include "file_parser.h"
#include "rook_ini.h"
#include "sheet_core.h"
#include "user_devices.h"

namespace rook {

// Shows the sheet modally on the calling thread and answers 0 when the user pressed OK and the
// configuration finished, else -1 after saying why. The power control dialog reaches the kit through
// a kit control of its own, made with `host` while it is shown and given back before this returns,
// so that the engine's own kit start finds the kit free.
int RunConfiguration(DeviceSettings& settings, Host& host);

// The module's instance (its resources); set when the DLL is loaded.
void SetConfigurationModule(HINSTANCE module);

// The hidden control window n (0 owns the sheet's messages, 1 parents the power control dialog).
CWnd* ControlWindow(int n);
// Greys or enables the OK button of the sheet that holds `page`.
void EnableSheetOk(CPropertyPage* page, bool enable);

// The text of a combo box's selected entry; empty without a selection.
std::string ComboSelectionText(HWND combo);

// The folder and file of the user device list: "<User Area>\User Data\Rook User Devices.txt".
bool UserDeviceFilePath(std::string* path);

class CConfigDeviceSheet;
class CConfigDevice2Dlg;
class CConfigUserDeviceDlg;

// A tooltip control of a page: fixed texts per control.
class PageTips {
public:
    void Create(CWnd* page, DWORD popDelayMs = 0);
    void Add(HWND control, const char* text);
    void SetText(HWND control, const char* text);
    HWND Handle() const { return tip_; }

private:
    HWND tip_ = nullptr;
    HWND page_ = nullptr;
};

// "Predefined List": the device type, the catalogue family and part, the bus, chip select, interface
// and socket choices.
class CConfigDeviceDlg : public CPropertyPage {
public:
    CConfigDeviceDlg(DeviceSettings& s, Host& host);
    void Attach(CConfigDevice2Dlg* operation, CConfigUserDeviceDlg* user) {
        operation_ = operation;
        user_ = user;
    }
    BOOL OnInitDialog() override;
    BOOL OnApply() override;
    BOOL OnSetActive() override;
    BOOL OnCommand(WPARAM wp, LPARAM lp) override;
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override;
    BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

    // The page's choices, as its controls show them.
    DevicePageSelection Selection();
    const PageChoices& Choices() const { return choices_; }
    int SetupDevice();
    // The power control dialog, when it was shown; gives its kit back.
    void ReleasePowerKit();
    void DestroyPowerDialog();

private:
    void SelectDeviceType(int type);
    void FillGroups(int type);
    void FillNames();
    void OnDeviceNameSelected();
    void ApplyCatalogueOptions();
    void OnSocket(int socket);
    void OnVoltageButton(int button);
    void OnVccEdited();
    void ShowVcc();
    void EnableWendControls(bool on);
    void LoadIni();
    void SaveIni();
    void Say(const std::string& text, UINT type = MB_OK);
    int Radio(int first, int count) const;
    void SetRadio(int first, int count, int index);
    void EnableRadio(int first, int count, const bool* enabled);
    const char* TypeWord() const;

    DeviceSettings& s_;
    Host& host_;
    CConfigDevice2Dlg* operation_ = nullptr;
    CConfigUserDeviceDlg* user_ = nullptr;
    RookIni ini_;
    PageTips tips_;
    PageChoices choices_;
    int deviceType_ = 0;
    int vccMv_ = 1800;
    bool started_ = false;
    bool filling_ = false;
    class CPowerControlDlg* power_ = nullptr;
};

// "Operation Setup": time-outs, write buffer, data swap, the option flags and the user's CFI.
class CConfigDevice2Dlg : public CPropertyPage {
public:
    explicit CConfigDevice2Dlg(DeviceSettings& s);
    BOOL OnInitDialog() override;
    BOOL OnApply() override;
    BOOL OnSetActive() override;
    BOOL OnCommand(WPARAM wp, LPARAM lp) override;
    bool Started() const { return m_hWnd != nullptr; }

private:
    void OnUserCfi();
    OperationSetupValues FromControls();

    DeviceSettings& s_;
    RookIni ini_;
    PageTips tips_;
};

// " User-defined List": the user's own devices in "Rook User Devices.txt".
class CConfigUserDeviceDlg : public CPropertyPage {
public:
    explicit CConfigUserDeviceDlg(DeviceSettings& s);
    BOOL OnInitDialog() override;
    BOOL OnApply() override;
    BOOL OnSetActive() override;
    BOOL OnCommand(WPARAM wp, LPARAM lp) override;
    BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

    bool shown = false;  // the page was activated since the device page was last shown
    int ApplyUserDevice();
    int Mode() const { return mode_; }

private:
    bool InitUserDevicePage(std::string* failure);
    void FillGroupLists(int type);
    void FillDeviceNameList();
    void LoadDeviceFields(const std::string& name);
    void UpdateControlStates();
    void ClearDeviceFields();
    void SaveUserDevice();
    void DeleteUserDevice();
    void OnTypeChanged();
    void EnableEditDelete();
    void ShowHelp(int id);
    std::string Text(int id) const;
    std::string ComboText(int id) const;
    void SelectExact(int id, const std::string& text);
    int Say(const std::string& text, UINT type = MB_OK);

    DeviceSettings& s_;
    CFileParser parser_;
    PageTips tips_;
    std::string path_;
    std::string typeText_ = "NOR";
    std::string previousName_;
    std::string selectedName_;
    int typeIndex_ = 0;
    int mode_ = 0;
    bool modified_ = false;
    bool ready_ = false;
    bool updating_ = false;
};

class CConfigDeviceSheet : public CPropertySheet {
public:
    CConfigDeviceSheet(const char* caption, DeviceSettings& s, Host& host);
    CConfigDeviceDlg page1;
    CConfigDevice2Dlg page2;
    CConfigUserDeviceDlg page3;
};

// "Power Control": the Wend socket's supply and resets, while the sheet is open. `page` gives the
// Predefined List page's current choices, which decide the memory type of a reset.
class CPowerControlDlg : public CDialog {
public:
    CPowerControlDlg(int vccMv, Host& host, std::function<DevicePageSelection()> page, CWnd* parent);
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wp, LPARAM lp) override;
    BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
    void OnCancel() override;
    void ReleaseKit();
    static uint8_t& PowerFlag();

private:
    KitBus* Kit();
    void ShowKitState(const char* text);
    void EnableDeepPowerDown();

    int vccMv_;
    Host& host_;
    std::function<DevicePageSelection()> page_;
    std::unique_ptr<KitBus> kit_;
};

// "CS# Mapping Dialog Box": each chip select's position and size, kept in "Tarn-Rook.ini".
class CCSMappingDlg : public CDialog {
public:
    CCSMappingDlg(DeviceSettings& s, CWnd* parent);
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    DeviceSettings& s_;
};

}  // namespace rook
