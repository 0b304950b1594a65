#include "device_api.h"

#include <cstring>

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif

namespace {

// One stub per slot: the text names the slot's own export.
#define LX_DEVICE_API_STUB(slot, name, ret, params, args, group, stub, k, v) \
  ret name##_Stub params {                                                  \
    lx::ReportNotSupported(#name " is not supported.");                     \
    return lx::StubResult<ret>(stub);                                       \
  }
LX_DEVICE_API_SLOTS(LX_DEVICE_API_STUB)
#undef LX_DEVICE_API_STUB

struct SlotInfo {
  const char* name;
  unsigned group;
};

const SlotInfo kSlots[LX_DEVICE_API_SLOT_COUNT] = {
#define LX_DEVICE_API_INFO(slot, name, ret, params, args, group, stub, k, v) {#name, group},
    LX_DEVICE_API_SLOTS(LX_DEVICE_API_INFO)
#undef LX_DEVICE_API_INFO
};

const DeviceApiTableCells kStubCells = {
#define LX_DEVICE_API_STUB_CELL(slot, name, ret, params, args, group, stub, k, v) &name##_Stub,
    LX_DEVICE_API_SLOTS(LX_DEVICE_API_STUB_CELL)
#undef LX_DEVICE_API_STUB_CELL
};

}  // namespace

// Statically initialised: a call through any cell is safe before any binding.
DeviceApiTableCells DeviceApiTable = kStubCells;

namespace lx {

unsigned BindDeviceApi(SymbolLookup lookup, void* module) {
  unsigned missing = 0;
#define LX_DEVICE_API_BIND(slot, name, ret, params, args, group, stub, k, v) \
  if (!BindCell(DeviceApiTable.name, kStubCells.name, lookup, module, #name)) missing |= (group);
  LX_DEVICE_API_SLOTS(LX_DEVICE_API_BIND)
#undef LX_DEVICE_API_BIND
  return missing;
}

void ResetDeviceApiCells() { DeviceApiTable = kStubCells; }

const char* DeviceApiSlotName(int slot) {
  return slot >= 0 && slot < LX_DEVICE_API_SLOT_COUNT ? kSlots[slot].name : nullptr;
}

unsigned DeviceApiSlotGroup(int slot) {
  return slot >= 0 && slot < LX_DEVICE_API_SLOT_COUNT ? kSlots[slot].group : 0;
}

bool DeviceApiCellIsStub(int slot) {
  switch (slot) {
#define LX_DEVICE_API_IS_STUB(slot, name, ret, params, args, group, stub, k, v) \
  case slot:                                                                     \
    return DeviceApiTable.name == kStubCells.name;
    LX_DEVICE_API_SLOTS(LX_DEVICE_API_IS_STUB)
#undef LX_DEVICE_API_IS_STUB
    default:
      return false;
  }
}

void CopyDeviceApiCells(void** out, int count) {
  int i = 0;
#define LX_DEVICE_API_COPY(slot, name, ret, params, args, group, stub, k, v) \
  if (i < count) out[i++] = reinterpret_cast<void*>(DeviceApiTable.name);
  LX_DEVICE_API_SLOTS(LX_DEVICE_API_COPY)
#undef LX_DEVICE_API_COPY
}

}  // namespace lx
