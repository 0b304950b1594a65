#include "cy_descriptors.h"

namespace tarn {

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr uint8_t kTypeInterface = 4;
constexpr uint8_t kTypeEndpoint = 5;
constexpr uint8_t kTypeCompanion = 48;

bool Bad(std::string* error, const char* why) {
    if (error) *error = why;
    return false;
}

}  // namespace

uint32_t EndpointDescriptor::MaxPacketSize() const {
    uint32_t size = (wMaxPacketSize & 0x7FFu) * (((wMaxPacketSize >> 11) & 3u) + 1);
    if (companion) {
        size *= ssMaxBurst + 1u;
        if ((attributes & 3) == 1) size *= (ssAttributes & 3u) + 1;
    }
    return size;
}

uint32_t ControlPacketSize(uint16_t bcdUSB, uint8_t bMaxPacketSize0) {
    if ((bcdUSB >> 8) >= 3) return bMaxPacketSize0 < 16 ? 1u << bMaxPacketSize0 : 0;
    return bMaxPacketSize0;
}

bool ParseConfigDescriptor(const uint8_t* data, size_t size, bool superSpeed, ConfigDescriptor* out,
                           std::string* error) {
    *out = ConfigDescriptor();
    if (size < 9 || data[0] < 9 || data[1] != 2) return Bad(error, "configuration header");
    out->length = data[0];
    out->type = data[1];
    out->totalLength = Get16(data + 2);
    out->numInterfaces = data[4];
    out->value = data[5];
    out->stringIndex = data[6];
    out->attributes = data[7];
    out->maxPower = data[8];
    if (out->totalLength > size || out->totalLength < data[0]) return Bad(error, "total length");
    const size_t end = out->totalLength;

    // Every descriptor must have a length of at least 2 that stays inside the table; a zero length
    // would never advance and a long one would read past it.
    auto valid = [&](size_t at) { return at + 2 <= end && data[at] >= 2 && at + data[at] <= end; };

    size_t at = data[0];
    while (at < end) {
        if (!valid(at)) return Bad(error, "descriptor length");
        if (data[at + 1] != kTypeInterface) {
            at += data[at];
            continue;
        }
        if (data[at] < 9) return Bad(error, "interface length");
        if (static_cast<int>(out->interfaces.size()) == kMaxInterfaces) break;
        InterfaceDescriptor itf;
        for (int i = 0; i < 9; ++i) itf.raw[i] = data[at + i];
        if (itf.NumEndpoints() > kMaxEndpointSlots - 1) return Bad(error, "endpoint count");
        const size_t start = at;
        at += data[at];
        int skipped = 0;
        while (itf.endpoints.size() < itf.NumEndpoints() && at < end) {
            if (!valid(at)) return Bad(error, "descriptor length");
            uint8_t type = data[at + 1];
            if (type == kTypeInterface) break;
            if (type != kTypeEndpoint) {
                // Class-specific descriptors between endpoints are passed over, up to a point.
                if (++skipped > kMaxSkippedDescriptors) break;
                at += data[at];
                continue;
            }
            if (data[at] < 7) return Bad(error, "endpoint length");
            EndpointDescriptor ep;
            ep.length = data[at];
            ep.type = type;
            ep.address = data[at + 2];
            ep.attributes = data[at + 3];
            ep.wMaxPacketSize = Get16(data + at + 4);
            ep.interval = data[at + 6];
            at += data[at];
            if (superSpeed && at < end && valid(at) && data[at + 1] == kTypeCompanion) {
                if (data[at] < 6) return Bad(error, "companion length");
                ep.companion = true;
                ep.ssLength = data[at];
                ep.ssType = data[at + 1];
                ep.ssMaxBurst = data[at + 2];
                ep.ssAttributes = data[at + 3];
                ep.ssBytesPerInterval = Get16(data + at + 4);
                at += data[at];
            }
            itf.endpoints.push_back(ep);
        }
        itf.totalLength = static_cast<uint32_t>(at - start);
        out->interfaces.push_back(itf);
    }
    for (auto& itf : out->interfaces) {
        uint8_t n = 0;
        for (const auto& other : out->interfaces)
            if (other.Number() == itf.Number()) ++n;
        itf.altSettings = n;
    }
    return true;
}

}  // namespace tarn
