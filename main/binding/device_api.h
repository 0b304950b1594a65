// The process-wide table of the device module's 76 entry points. Every cell always holds
// something callable: the module's export or a stub that reports "<name> is not supported."
// and returns the slot's failure value.
#pragma once
#include "bind_core.h"
#include "lumivex/deviceapi.h"

struct DeviceApiTableCells {
#define LX_DEVICE_API_CELL(slot, name, ret, params, args, group, stub, k, v) name##_fn name;
  LX_DEVICE_API_SLOTS(LX_DEVICE_API_CELL)
#undef LX_DEVICE_API_CELL
};

extern DeviceApiTableCells DeviceApiTable;

namespace lx {

// Binds every slot from a module, in table order; a missing name gets its stub and sets
// its group bit (LX_GROUP_DEVICE 0x1, LX_GROUP_FS 0x4, LX_GROUP_PROFILER 0x8).
unsigned BindDeviceApi(SymbolLookup lookup, void* module);

// Every cell back to its stub.
void ResetDeviceApiCells();

// Name, group bit and stub of a slot (0..75), for code that walks the table.
const char* DeviceApiSlotName(int slot);
unsigned DeviceApiSlotGroup(int slot);
bool DeviceApiCellIsStub(int slot);

// The table as the copy that outside modules receive: slot i at index i.
void CopyDeviceApiCells(void** out, int count);

}  // namespace lx
