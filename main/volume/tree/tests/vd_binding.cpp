// The exports' own prototypes first: the binding header includes the same file without them.
#define LX_DEVICE_MODULE_EXPORTS
#include "lumivex/deviceapi.h"

#include "vd_binding.h"

#include <cstdlib>
#include <cstring>

#include "device_api.h"
#include "vdapi.h"

namespace vdtest {

namespace {

struct Export {
    const char* name;
    void* address;
};

// Only the slots the virtual device carries (the last column of the slot list).
#define LX_VD_EXPORT_1(name) {#name, reinterpret_cast<void*>(&name)},
#define LX_VD_EXPORT_0(name)
#define LX_VD_EXPORT(slot, name, ret, params, args, group, stub, k, v) LX_VD_EXPORT_##v(name)
const Export kExports[] = {LX_DEVICE_API_SLOTS(LX_VD_EXPORT)};
#undef LX_VD_EXPORT

void* Lookup(void*, const char* name) {
    for (const Export& e : kExports)
        if (std::strcmp(e.name, name) == 0) return e.address;
    return nullptr;
}

std::string g_image;

}  // namespace

bool StartVolume(const std::string& area, uint32_t megabytes, const char* fsType) {
    setenv("LX_USER_AREA", area.c_str(), 1);
    lx::BindDeviceApi(Lookup, nullptr);
    if (DeviceApiTable.gfslInit(0) != 0) return false;
    g_image = lxvd::VdImagePath();
    if (DeviceApiTable.gfslLowLevelFormat("/a", 1u << 20, megabytes << 20) != 0) return false;
    if (DeviceApiTable.gfslFormat("/a", fsType, "WINDOWS", 0) != 0) return false;
    return DeviceApiTable.gfslMount(0) == 0;
}

bool Reopen() {
    lx::BindDeviceApi(Lookup, nullptr);
    return DeviceApiTable.gfslInit(0) == 0 && DeviceApiTable.gfslMount(0) == 0;
}

void StopVolume() {
    DeviceApiTable.gfslUnmount(0);
    DeviceApiTable.gfslInit(1);
    lx::ResetDeviceApiCells();
}

std::string ImagePath() { return g_image; }

}  // namespace vdtest
