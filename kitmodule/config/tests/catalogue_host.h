// The configuration step of a native test as the sheet runs it with nothing but a family and a
// part chosen: the Predefined List page takes the catalogue's options and applies.
#pragma once

#include <string>
#include <vector>

#include "catalogue.h"
#include "rook_ini.h"
#include "sheet_core.h"
#include "sim_host.h"

namespace rook {

inline std::string CatalogueTestFolder() { return SimInstallFolder(); }

class CatalogueHost : public SimHost {
public:
    CatalogueHost(kitsim::Kit& kit, const char* family, const char* name, int32_t deviceClass)
        : SimHost(kit, CatalogueTestFolder()), family_(family), name_(name), class_(deviceClass) {}
    CatalogueHost(kitsim::Kit& kit, const NorCatalogueRow& row) : CatalogueHost(kit, row.family, row.name, kClassNor) {}
    int Configure(DeviceSettings& s) override {
        PageChoices page;
        page.family = family_;
        s.deviceClass = class_;
        RookIni ini;
        LookupPredefinedDevice(name_, page, s);
        CatalogueOptionsView view = CatalogueOptions(page, 0, 1800, ini);
        DevicePageSelection sel;
        sel.deviceType = class_ - 1;
        sel.group = family_;
        sel.name = name_;
        sel.busWidth = view.bus.selected;
        sel.interleave = view.interleave.selected;
        sel.chipSelect = view.chipSelect.selected;
        sel.hostInterface = view.host.selected;
        sel.spiInterface = view.spi.selected;
        sel.socket = view.socket;
        sel.vccMv = view.vccMv;
        messages.clear();
        if (SetupDevice(sel, page, s, ini, messages) != 0) return -1;
        // The Operation Setup page applies after the device page.
        std::string error;
        return ApplyOperationSetup(operation, s, &error) ? 0 : -1;
    }
    std::vector<std::string> messages;
    OperationSetupValues operation;

private:
    const char* family_;
    const char* name_;
    int32_t class_;
};

}  // namespace rook
