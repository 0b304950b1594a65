// Installs the kit's firmware-loading and JTAG features on a simulated kit: the boot loader's
// vendor requests, the JTAG job request (0xE0) and the JTAG stream on the bus-stream endpoint.
#pragma once
#include "kitsim/boot_loader.h"
#include "kitsim/jtag_engine.h"
#include "kitsim/jtag_target.h"
#include "kitsim/kit.h"

namespace kitsim {

struct KitJtagFeatures {
    JtagTarget fpga;
    JtagTarget cpld;
    JtagEngine engine{&fpga, &cpld};
    BootLoader boot;
};

void InstallJtagFeatures(Kit& kit, KitJtagFeatures& features);

}  // namespace kitsim
