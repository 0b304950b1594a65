#include "device_ops.h"

#include <cinttypes>
#include <cstdio>
#include <mutex>

#include "device_api.h"

namespace lx {

namespace {

constexpr int kLastErrorSlot = 55;  // gfslGetLastError in the device API table
FrameDeviceFields g_frame;
DeviceFrameHooks g_hooks;
// The masks are read, changed and written back by the GUI thread and by command and script
// threads. The lock covers only those updates, never a call into the module or the frame: a
// command thread inside the module may wait for the GUI thread (a message box owned by the
// frame, a log line), which must then not be waiting here.
std::mutex g_lock;

DeviceFrameHooks Hooks() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_hooks;
}

void NotifyFrame() {
  DeviceFrameHooks hooks = Hooks();
  if (hooks.Changed) hooks.Changed(hooks.context);
}

// Entering closed or failed forgets every mount; open raises the frame's flag.
void MirrorDeviceState(int32_t state) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (state == kDeviceOpen) {
      g_frame.DeviceOpenFlag = 1;
    } else {
      g_frame.DeviceOpenFlag = 0;
      g_frame.FrameMountMask = 0;
      g_frame.FrameBdtlMask = 0;
    }
  }
  NotifyFrame();
}

const bool g_listening = (SetDeviceStateListener(MirrorDeviceState), true);

bool ValidVolume(int volume) { return volume >= 0 && volume <= 3; }

// One body for the four mask operations: the mask, the module's call and whether the bit is set
// or cleared on success. Two threads that race on one volume both reach the module, which
// refuses the second; the mask only ever records what the module did.
int32_t ChangeMount(uint32_t& mask, int volume, bool mount, int (*call)(int)) {
  (void)g_listening;
  if (!ValidVolume(volume)) return -1;
  const uint32_t bit = 1u << volume;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (((mask & bit) != 0) == mount) return 0;
  }
  if (call(volume) != 0) return -1;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (mount)
      mask |= bit;
    else
      mask &= ~bit;
    g_frame.FrameMountMask = VolumeMountMask;
    g_frame.FrameBdtlMask = BdtlMountMask;
  }
  NotifyFrame();
  return 0;
}

int CallMount(int v) { return DeviceApiTable.gfslMount(v); }
int CallUnmount(int v) { return DeviceApiTable.gfslUnmount(v); }
int CallBdtlMount(int v) { return DeviceApiTable.gfslBDTLMount(v); }
int CallBdtlUnmount(int v) { return DeviceApiTable.gfslBDTLUnmount(v); }

void Report(const EraseCallbacks& callbacks, const char* text) {
  if (callbacks.report) callbacks.report(text, callbacks.context);
}

void Step(const EraseCallbacks& callbacks) {
  if (callbacks.step) callbacks.step(callbacks.context);
}

}  // namespace

FrameDeviceFields& FrameDevice() { return g_frame; }

void SetDeviceFrameHooks(const DeviceFrameHooks& hooks) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_hooks = hooks;
}

DeviceFrameHooks GetDeviceFrameHooks() { return Hooks(); }

int DeviceKindFromCode(int32_t code, uint32_t* spareSize) {
  switch (code) {
    case 8:
    case 1000:
      if (spareSize) *spareSize = 64;
      return 0;
    case 1001:
      if (spareSize) *spareSize = 128;
      return 0;
    case 9:
    case 2000:
      return 1;
    case 10:
      return 2;
    default:
      return code >= 3000 && code <= 3006 ? 2 : -1;
  }
}

int32_t DeviceOpen(const char* path) {
  if (GetDeviceState() == kDeviceOpen) return 0;
  // The module counts every call in its profiler without checking that one exists.
  DeviceApiTable.fpDestroyFunctionProfiler();
  DeviceApiTable.fpCreateFunctionProfiler();
  if (DeviceApiTable.gfslInit(0) != 0) return SetDeviceState(path, kDeviceFailed);
  g_frame.DeviceCode = DeviceApiTable.gfslInit(3);
  int kind = DeviceKindFromCode(g_frame.DeviceCode, &g_frame.VeltanSpareSize);
  DeviceFrameHooks hooks = Hooks();
  if (kind >= 0 && hooks.SelectDeviceKind) hooks.SelectDeviceKind(kind, hooks.context);
  SetDeviceState(path, kDeviceOpen);
  return 0;
}

int32_t DeviceQueryClosed() { return DeviceApiTable.gfslInit(2); }

int32_t DeviceFormat(const char* path, const char* fsType, const char* name, int32_t reserved) {
  return DeviceApiTable.gfslFormat(path, fsType, name, reserved);
}

int32_t VolumeMount(int volume) { return ChangeMount(VolumeMountMask, volume, true, CallMount); }
int32_t VolumeUnmount(int volume) { return ChangeMount(VolumeMountMask, volume, false, CallUnmount); }
int32_t VolumeBDTLMount(int volume) { return ChangeMount(BdtlMountMask, volume, true, CallBdtlMount); }
int32_t VolumeBDTLUnmount(int volume) { return ChangeMount(BdtlMountMask, volume, false, CallBdtlUnmount); }

int32_t VolumeReleaseForRewrite(int volume) {
  if (!ValidVolume(volume)) return -1;
  // The file system goes first; the block layer under a still-mounted file system stays.
  if (VolumeUnmount(volume) != 0) return -1;
  return VolumeBDTLUnmount(volume);
}

std::string VolumePath(int volume) {
  char path[3] = {'/', static_cast<char>('a' + (ValidVolume(volume) ? volume : 0)), 0};
  return path;
}

uint32_t ParseLowLevelNumber(const char* text) {
  if (!text) return 0;
  unsigned base = 10;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text += 2;
  }
  uint64_t value = 0;
  for (;; ++text) {
    unsigned digit;
    char c = *text;
    if (c >= '0' && c <= '9')
      digit = unsigned(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = unsigned(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = unsigned(c - 'A' + 10);
    else
      break;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  }
  return static_cast<uint32_t>(value);
}

std::string ApproximateKBytes(uint32_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "Approximately %.1f KBytes", bytes / 1024.0);
  return text;
}

std::string DeviceFailureReason() {
  // A stub would answer with a box of its own ("... is not supported.").
  if (DeviceApiCellIsStub(kLastErrorSlot)) return "";
  char text[512 + 1] = "";
  DeviceApiTable.gfslGetLastError(text, 512);
  text[512] = 0;
  return text;
}

std::string WithDeviceReason(const std::string& failure, int slot) {
  if (DeviceApiCellIsStub(slot)) return failure;
  const std::string reason = DeviceFailureReason();
  return reason.empty() ? failure : failure + "\n" + reason;
}

bool LowLevelLayoutFits(uint32_t offset, uint32_t length, uint64_t deviceBytes) {
  const uint64_t end = uint64_t(offset) + length;
  if (deviceBytes == UINT64_MAX || end > 0xFFFFFFFFull) return false;
  return deviceBytes == 0 || end <= deviceBytes;
}

int32_t EraseVeltanVolume(int volume, const EraseCallbacks& callbacks) {
  if (!ValidVolume(volume)) return -1;
  const std::string path = VolumePath(volume);
  char text[160];
  uint32_t blocks = DeviceApiTable.gfslVeltanGetNumberOfPhysicalBlocks(path.c_str());
  // 0xFFFFFFFF is the answer of a module without the entry point, not a block count.
  if (blocks == 0 || blocks == 0xFFFFFFFFu || blocks > kMaxEraseBlocks) {
    std::snprintf(text, sizeof text, "Erase volume %s has failed: the device reports %" PRIu32 " erase blocks.",
                  path.c_str(), blocks);
    Report(callbacks, text);
    return -1;
  }
  uint32_t failed = 0, first = 0;
  for (uint32_t b = 0; b < blocks; ++b) {
    Step(callbacks);
    if (DeviceApiTable.gfslVeltanEraseBlock(volume, b) != 0 && failed++ == 0) first = b;
  }
  if (failed == 0) return 0;
  std::snprintf(text, sizeof text,
                "Error: Erase failed at %" PRIu32 " of %" PRIu32 " erase blocks (first at erase block #%" PRIu32 ")",
                failed, blocks, first);
  Report(callbacks, text);
  return -1;
}

int64_t CountNorEraseSectors(const char* path) {
  for (uint32_t k = 0; k <= kMaxEraseBlocks; ++k) {
    if (static_cast<int32_t>(DeviceApiTable.gfslNORGetBlockSize(path, k)) <= 0) return k;
  }
  return -1;
}

int32_t EraseNorVolume(int volume, const EraseCallbacks& callbacks) {
  if (!ValidVolume(volume)) return -1;
  const std::string path = VolumePath(volume);
  char text[160];
  int64_t sectors = CountNorEraseSectors(path.c_str());
  if (sectors <= 0) {
    std::snprintf(text, sizeof text, "Erase volume %s has failed: the device reports no erase sectors.", path.c_str());
    Report(callbacks, text);
    return -1;
  }
  int32_t result = 0;
  for (int64_t k = 0; k < sectors; ++k) {
    Step(callbacks);
    if (DeviceApiTable.gfslNOREraseBlock(volume, static_cast<uint32_t>(k)) != 0) {
      std::snprintf(text, sizeof text, "Error: Erase failed at erase sector #%d", static_cast<int>(k));
      Report(callbacks, text);
      result = -1;
    }
  }
  return result;
}

}  // namespace lx
