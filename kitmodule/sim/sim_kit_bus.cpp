#include "sim_kit_bus.h"

#include <cstdio>

namespace rook {

bool SimKitPipes::Transfer(uint8_t ep, uint8_t* buffer, uint32_t& length) {
    ++transfers[ep];
    if (unplugged) {
        length = 0;
        return false;
    }
    if (ep == tarn::kEpCommandOut) {
        kit.CommandOut(buffer, length);
        return true;
    }
    if (ep == tarn::kEpStreamOut) {
        streamBytes += length;
        kit.StreamOut(buffer, length);
        return true;
    }
    if (kit.InWaiting(ep) == 0 && length > 0) {
        length = 0;
        return false;
    }
    length = static_cast<uint32_t>(kit.InRead(ep, buffer, length));
    if (ep == tarn::kEpDataIn) readBytes += length;
    return true;
}

HResult SimKitBus::ConnectTarn() {
    if (pipes_.unplugged) return static_cast<HResult>(0x80004004);
    if (!link_.Attached()) link_.Attach(&pipes_);
    return kOk;
}

HResult SimKitBus::CloseTarn() {
    if (link_.Attached()) link_.Detach();
    return kOk;
}

HResult SimKitBus::FpgaOnTheFly(const std::string& path) {
    std::string native = path;
    for (char& c : native)
        if (c == '\\') c = '/';
    std::FILE* f = std::fopen(native.c_str(), "rb");
    if (!f) return static_cast<HResult>(0x80004003);
    std::fclose(f);
    return kOk;
}

}  // namespace rook
