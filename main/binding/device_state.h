// Whether the device is open, and which volumes are mounted, process-wide. The main frame
// mirrors this state through a listener; the open-device dialog and the scripts build on it.
#pragma once
#include <atomic>
#include <cstdint>

namespace lx {

enum DeviceStateValue : int32_t { kDeviceOpen = 0, kDeviceClosed = 1, kDeviceFailed = 2 };

extern uint32_t VolumeMountMask;  // bit v: volume v mounted through gfslMount
extern uint32_t BdtlMountMask;    // bit v: volume v mounted through gfslBDTLMount

int32_t GetDeviceState();
// Stores the state; closed or failed also forget every mounted volume. The listener hears it.
int32_t SetDeviceState(const char* path, int32_t state);
// gfslInit(1): 0 makes the state closed, anything else failed.
int32_t DeviceClose(const char* path);

typedef void (*DeviceStateListener)(int32_t state);
void SetDeviceStateListener(DeviceStateListener listener);

// Command and script threads count themselves here, so that nothing unbinds the device
// module while one of them may still call through the table.
void WorkerThreadBegin();
void WorkerThreadEnd();
int WorkerThreadCount();

}  // namespace lx
