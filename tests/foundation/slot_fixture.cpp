// A module that exports every name of the device API, each returning its own slot number,
// so a test can see that binding by name reaches the right function with the C calling convention.
#define LX_DEVICE_MODULE_EXPORTS
#include "lumivex/deviceapi.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

extern "C" {
#define LX_SLOT_BODY(slot, name, ret, params, args, group, stub, k, v) \
    ret name params { return (ret)(slot); }
LX_DEVICE_API_SLOTS(LX_SLOT_BODY)
#undef LX_SLOT_BODY
}
