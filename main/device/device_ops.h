// Open-device and volume-mount operations of the main program, and the main frame's copy of
// the device state. Portable: everything reaches the device through DeviceApiTable.
//
// Every mount and unmount of the program (open-device dialog, shell words, scripts) goes through
// VolumeMount / VolumeUnmount / VolumeBDTLMount / VolumeBDTLUnmount, so the two masks of
// device_state.h and the frame's copies below always tell the truth.
//
// The frame's copy follows the state by itself: this library installs the device-state
// listener of device_state.h (lx::SetDeviceStateListener); a frame that wants to hear changes
// registers DeviceFrameHooks::Changed instead of replacing that listener.
#pragma once
#include <cstdint>
#include <string>

#include "device_state.h"

namespace lx {

// What the main frame shows about the device.
struct FrameDeviceFields {
  uint8_t DeviceOpenFlag = 0;     // 1 while the device is open
  int32_t DeviceCode = 0;         // gfslInit(3) at the last successful open
  uint32_t VeltanSpareSize = 64;  // spare bytes per 2,048-byte page for the Veltan explorer
  uint32_t FrameBdtlMask = 0;     // copy of BdtlMountMask
  uint32_t FrameMountMask = 0;    // copy of VolumeMountMask; non-zero: some volume is mounted
};

// The process-wide copy (read by the frame, the dialogs, the volume tools).
FrameDeviceFields& FrameDevice();

// How the operations reach the main frame. Both hooks may be null; Changed may be called from
// command and script threads (a window should post itself a message, not paint from there).
struct DeviceFrameHooks {
  // The frame's device selector takes the kind (0 NAND, 1 NOR, 2 SPI) and applies it to the
  // options (device kind, window-size index for SPI, save).
  void (*SelectDeviceKind)(int kind, void* context) = nullptr;
  // The state or a mask changed; FrameDevice() holds the new values.
  void (*Changed)(void* context) = nullptr;
  void* context = nullptr;
};
void SetDeviceFrameHooks(const DeviceFrameHooks& hooks);
DeviceFrameHooks GetDeviceFrameHooks();

// The selector index for a device code: 8, 1000, 1001 -> 0; 9, 2000 -> 1; 10, 3000..3006 -> 2;
// -1 for any other code. spareSize (when not null) gets the Veltan spare-area size the code
// implies (128 for 1001, 64 for 8 and 1000) and stays untouched for the other codes.
int DeviceKindFromCode(int32_t code, uint32_t* spareSize);

// Opens the device module's device: already open -> 0 and nothing is called; else the module's
// profiler is made afresh, gfslInit(0); failure -> state 2, returned; success -> the device code
// is read, the kind selected, state 0, returned.
int32_t DeviceOpen(const char* path);
// gfslInit(2) unchanged.
int32_t DeviceQueryClosed();
// gfslFormat with the same arguments.
int32_t DeviceFormat(const char* path, const char* fsType, const char* name, int32_t reserved);

// 0 or -1. A volume whose bit is already in the mask (mount) or not in it (unmount) is not
// passed to the module. A volume outside 0..3 is -1 without a call.
int32_t VolumeMount(int volume);
int32_t VolumeUnmount(int volume);
int32_t VolumeBDTLMount(int volume);
int32_t VolumeBDTLUnmount(int volume);

// Before a volume's contents are rewritten (format, low-level format, erase): unmounts it from
// both masks. 0 when it is unmounted afterwards; -1 when either unmount failed.
int32_t VolumeReleaseForRewrite(int volume);

// "/a".."/d" for 0..3.
std::string VolumePath(int volume);

// A number of the low-level format dialog: "0x"/"0X" then hexadecimal, otherwise decimal,
// reading up to the first character that is no digit of the base; no digits gives 0. Values
// beyond 32 bits give 0xFFFFFFFF (which no device can hold).
uint32_t ParseLowLevelNumber(const char* text);
// "Approximately %.1f KBytes" of a byte count.
std::string ApproximateKBytes(uint32_t bytes);
// True when offset..offset+length lies inside a device of deviceBytes and inside the 32-bit
// space of a partition record. A device of 0 bytes is an image not yet laid out, which the first
// low-level format creates at the given size; the all-ones size of a module that cannot tell
// is never a fit.
bool LowLevelLayoutFits(uint32_t offset, uint32_t length, uint64_t deviceBytes);

// The device module's words for why its last call failed (its gfslGetLastError text), for the
// box that reports the failure; empty when the module has none or lacks the entry point.
std::string DeviceFailureReason();
// The failure text of the call in `slot` of the device API table followed, on a line of its
// own, by the module's reason when it gives one. A call the module lacks never reached it: its
// stub has said so, and the module has nothing to add.
std::string WithDeviceReason(const std::string& failure, int slot);
// Slots of the calls whose failures carry the module's reason.
constexpr int kSlotMount = 3, kSlotFormat = 5, kSlotLowLevelFormat = 6;

// The erase loops of the open-device dialog, without windows: `step` runs before every block
// (the dialog pumps its messages there) and `report` receives each text to show.
struct EraseCallbacks {
  void (*step)(void* context) = nullptr;
  void (*report)(const char* text, void* context) = nullptr;
  void* context = nullptr;
};
// The most erase blocks a volume is believed to have; a module that answers more is refused.
constexpr uint32_t kMaxEraseBlocks = 1u << 20;
// NAND-interface erase of volume v: 0 when every block erased, -1 otherwise (a block count of 0
// or all ones is refused before anything is erased; failing blocks are counted and reported once).
int32_t EraseVeltanVolume(int volume, const EraseCallbacks& callbacks);
// Erase sectors of the NOR device by gfslNORGetBlockSize(path, k) until it answers 0 or less;
// -1 when the module keeps answering past kMaxEraseBlocks.
int64_t CountNorEraseSectors(const char* path);
// NOR erase of volume v: every sector, each failure reported ("Error: Erase failed at erase
// sector #%d") and the loop goes on; 0 when all erased, -1 otherwise.
int32_t EraseNorVolume(int volume, const EraseCallbacks& callbacks);

}  // namespace lx
