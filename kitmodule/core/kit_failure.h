// Why the kit did not come up, in words a user can act on: the step that failed and its HRESULT.
// The device module and the NOR console's driver both start the kit, and both say it the same way;
// only who else may hold the kit differs between them.
#pragma once
#include <cstdio>
#include <string>

#include "kit_bus.h"

namespace rook {

enum class KitStep { Create, Connect, FpgaImage, PowerUp };

constexpr HResult kKitNotFound = static_cast<HResult>(0x80004004u);   // E_ABORT: no kit on the bus
constexpr HResult kKitInUse = static_cast<HResult>(0x80070005u);      // E_ACCESSDENIED: claimed elsewhere
constexpr HResult kImageUnreadable = static_cast<HResult>(0x80004003u);  // E_POINTER: no image bytes

// `otherUser` names who else in this program may hold the kit; `imagePath` is the FPGA image asked for.
inline std::string KitFailureText(KitStep step, HResult hr, const std::string& imagePath, const char* otherUser) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    switch (step) {
    case KitStep::Create:
        return std::string("The kit control (TarnControl) could not be created (") + code +
               "). Is TarnControl.dll installed and registered?";
    case KitStep::Connect:
        if (hr == kKitInUse)
            return std::string("The kit is in use by another program or by ") + otherUser +
                   ". Let it go there, then try again.";
        if (hr == kKitNotFound) return "No Tarn kit was found. Is it plugged in?";
        return std::string("The kit did not answer (") + code + ").";
    case KitStep::FpgaImage:
        if (hr == kImageUnreadable)
            return "The kit's FPGA image file is missing or cannot be read:\n" + imagePath +
                   "\nIt comes with the kit: copy the kit's Tarn_Rook.cpu into that folder.";
        return "Loading the kit's FPGA image " + imagePath + " failed (" + code + ").";
    case KitStep::PowerUp:
    default:
        return std::string("The kit did not take its power and timing set-up (") + code + ").";
    }
}

}  // namespace rook
