// The kit's USB driver interface: its I/O control codes and the 38-byte transfer header. Both the
// device classes and the simulated driver are written against this one list.
#pragma once
#include <cstdint>

namespace cyioctl {

enum : uint32_t {
    kDriverVersion = 0x220000,
    kUsbdVersion = 0x220004,
    kAltSetting = 0x220008,
    kAddress = 0x220010,
    kControl = 0x220020,
    kBuffered = 0x220024,
    kCyclePort = 0x220028,
    kResetPipe = 0x22002C,
    kResetParent = 0x220030,
    kDeviceName = 0x22003C,
    kFriendlyName = 0x220040,
    kAbortPipe = 0x220044,
    kDirect = 0x22004B,
    kSpeed = 0x22004C,
};

// Offsets in the transfer header.
enum : uint32_t {
    kHdrRequestType = 0, kHdrRequest = 1, kHdrValue = 2, kHdrIndex = 4, kHdrLength = 6, kHdrTimeout = 8,
    kHdrEndpoint = 13, kHdrNtStatus = 14, kHdrUsbdStatus = 18, kHdrIsoOffset = 22, kHdrIsoLength = 26,
    kHdrDataOffset = 30, kHdrDataLength = 34, kHeaderSize = 38,
};

}  // namespace cyioctl
