#include "device_state.h"

#include "device_api.h"

namespace lx {

uint32_t VolumeMountMask = 0;
uint32_t BdtlMountMask = 0;

namespace {
int32_t g_state = kDeviceClosed;
DeviceStateListener g_listener = nullptr;
std::atomic<int> g_workers{0};
}  // namespace

int32_t GetDeviceState() { return g_state; }

int32_t SetDeviceState(const char*, int32_t state) {
  g_state = state;
  if (state != kDeviceOpen) {
    VolumeMountMask = 0;
    BdtlMountMask = 0;
  }
  if (g_listener) g_listener(state);
  return state;
}

int32_t DeviceClose(const char* path) {
  return SetDeviceState(path, DeviceApiTable.gfslInit(1) == 0 ? kDeviceClosed : kDeviceFailed);
}

void SetDeviceStateListener(DeviceStateListener listener) { g_listener = listener; }

void WorkerThreadBegin() { ++g_workers; }
void WorkerThreadEnd() { --g_workers; }
int WorkerThreadCount() { return g_workers.load(); }

}  // namespace lx
