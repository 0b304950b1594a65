// What the configuration sheet decides, apart from its windows: how the Predefined List page's choices
// become the settings record (SetupDevice), which buttons a catalogue part leaves selectable
// (CatalogueOptions), how the Operation Setup page's values reach the record, and the chip-select map
// as "Tarn-Rook.ini" keeps it. The pages gather their controls into these records and show the
// messages; everything here is portable and tested natively.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "catalogue.h"
#include "kit_bus.h"
#include "rook_ini.h"
#include "settings.h"

namespace rook {

// The Predefined List page's radio choices (-1: no button chosen), Vcc, group and part name.
struct DevicePageSelection {
    int deviceType = 0;       // 0 NOR, 1 NAND, 2 SPI
    int busWidth = 1;         // 0 x8, 1 x16, 2 x32
    int interleave = 0;       // 0 x1, 1 x2, 2 x4
    int chipSelect = 0;       // 0..3
    int hostInterface = 0;    // 0 ADP, 1 ADM, 2 AADM
    int spiInterface = -1;    // 0 single, 1 dual, 2 quad
    int socket = 0;           // 0 PISMO1, 1 Wend
    int vccMv = 1800;
    std::string group;
    std::string name;
};

constexpr int kMinVccMv = 1200;
constexpr int kMaxVccMv = 3500;

// Fills the record from the page's choices and the catalogue lookup; the messages for every invalid
// choice are appended in order. Answers 0, or -1 when any choice was invalid or the catalogue does not
// list the part (a Vcc of the Wend socket outside 1200..3500 ends it at once). Writes the "Interleaved",
// "SPI Interface" and "Voltage" keys into `ini`; the caller saves it unless the result came from the
// Vcc check.
int SetupDevice(DevicePageSelection& sel, PageChoices& page, DeviceSettings& s, RookIni& ini,
                std::vector<std::string>& messages, bool* vccRefused = nullptr);

// One group of radio buttons: the chosen one (-1 none) and which may be pressed.
struct RadioGroup {
    int selected = -1;
    bool enabled[4] = {false, false, false, false};
};

// The page after a catalogue lookup: the part's options, with the file's "Interleaved", "SPI Interface"
// and "Voltage" where the part leaves a choice.
struct CatalogueOptionsView {
    RadioGroup bus, chipSelect, host, interleave, spi;
    bool spiGroupEnabled = false;
    bool wendControlsEnabled = false;  // Vcc edit, spin, voltage buttons, "Dynamic power control"
    int socket = 0;
    int vccMv = 1800;
    int voltageButton = 0;             // 0 1.8 V, 1 2.5 V, 2 3.3 V, -1 none
};
CatalogueOptionsView CatalogueOptions(const PageChoices& page, int socket, int vccMv, const RookIni& ini);

// The voltage button of a Vcc: 0 for 1800, 1 for 2500, 2 for 3300, else -1.
int VoltageButtonOf(int vccMv);

// The Operation Setup page's values into the record. With the user's CFI on, its texts must parse
// (ParseUserCfi); otherwise false with the message and the record's CFI as it was.
bool ApplyOperationSetup(const OperationSetupValues& v, DeviceSettings& s, std::string* error);

// The chip-select map's lists and file values (index = code).
extern const char* const kCsPositionEntries[7];
extern const char* const kCsPositionFileValues[7];
extern const char* const kCsSizeEntries[13];
void ReadChipSelectMap(const RookIni& ini, ChipSelectMapEntry map[4]);
void WriteChipSelectMap(RookIni& ini, const ChipSelectMapEntry map[4]);
bool ChipSelectMapSelected(const ChipSelectMapEntry map[4]);
// The apply's word on the map: with a position set, `userAccepts` decides whether the map is used (false
// refuses the apply); a map with no position set is no map, so an earlier Yes does not outlive it.
bool ApplyChipSelectMap(DeviceSettings& s, const std::function<bool()>& userAccepts);

// The kit's memory type for the page's socket and device type, as the kit start of an open with these
// choices configures it; -1 when the page has no socket or device type chosen.
int PageMemoryType(const DevicePageSelection& sel);
// The power control dialog's "H/W reset": pulses the memory's reset line with the memory type of the
// page's current choices. Sends nothing, and answers E_INVALIDARG, when the page gives no memory type.
HResult ResetPageMemory(KitBus& kit, const DevicePageSelection& sel);
// Whether the page's choices put an SPI device on a socket that reaches the kit's serial controller:
// only then can the power control dialog's deep power-down buttons reach the chip.
bool PageTakesDeepPowerDown(const DevicePageSelection& sel);
// "Enter DPD" (0xB9) or "Release DPD" (0xAB) for the page's device: the kit is configured first for the
// page's socket, device and chip select as an open's kit start does it. Sends nothing, and answers
// E_INVALIDARG, when PageTakesDeepPowerDown is false.
HResult SendPageDeepPowerDown(KitBus& kit, const DevicePageSelection& sel, bool enter);

}  // namespace rook
