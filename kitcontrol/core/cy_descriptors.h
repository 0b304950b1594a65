// USB configuration descriptors as the device classes read them: a configuration, its interfaces
// (alternate settings included) and their endpoints. Portable so the walk over device-supplied
// lengths is tested and fuzzed natively: a descriptor table from a device is untrusted input.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn {

constexpr int kMaxInterfaces = 8;
constexpr int kMaxEndpointSlots = 32;    // slot 0 is the control endpoint
constexpr int kMaxSkippedDescriptors = 11;

struct EndpointDescriptor {
    uint8_t length = 0, type = 0, address = 0, attributes = 0;
    uint16_t wMaxPacketSize = 0;
    uint8_t interval = 0;
    bool companion = false;
    uint8_t ssLength = 0, ssType = 0, ssMaxBurst = 0, ssAttributes = 0;
    uint16_t ssBytesPerInterval = 0;
    // (wMaxPacketSize & 0x7FF) × transactions, × burst and iso multiplier with a companion.
    uint32_t MaxPacketSize() const;
};

struct InterfaceDescriptor {
    uint8_t raw[9] = {};
    uint8_t Number() const { return raw[2]; }
    uint8_t AltSetting() const { return raw[3]; }
    uint8_t NumEndpoints() const { return raw[4]; }
    uint8_t Class() const { return raw[5]; }
    uint8_t SubClass() const { return raw[6]; }
    uint8_t Protocol() const { return raw[7]; }
    std::vector<EndpointDescriptor> endpoints;  // descriptor order, at most 31
    uint32_t totalLength = 0;                   // bytes walked for this interface
    uint8_t altSettings = 0;
};

struct ConfigDescriptor {
    uint8_t length = 0, type = 0;
    uint16_t totalLength = 0;
    uint8_t numInterfaces = 0, value = 0, stringIndex = 0, attributes = 0, maxPower = 0;
    std::vector<InterfaceDescriptor> interfaces;
};

// Parses `data` (the whole configuration descriptor, wTotalLength bytes). `superSpeed` reads the
// SuperSpeed endpoint companions (type 48) that follow endpoints. False with `error` set when a
// length is zero, runs past the data, or an interface claims more endpoints than a device may have.
bool ParseConfigDescriptor(const uint8_t* data, size_t size, bool superSpeed, ConfigDescriptor* out,
                           std::string* error);

// Endpoint-0 maximum packet size from the device descriptor: an exponent from USB 3 on.
uint32_t ControlPacketSize(uint16_t bcdUSB, uint8_t bMaxPacketSize0);

}  // namespace tarn
