// KitBus over TarnControl's ITarn, created through COM.
#pragma once
#include "kit_bus.h"

namespace rook {

// Creates the kit control (CoCreateInstance of CTarn for ITarn); null with the HRESULT on failure.
std::unique_ptr<KitBus> CreateComKitBus(HResult* hr);

}  // namespace rook
