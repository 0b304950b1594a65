#include "sim_kit_bus.h"

#include <cstdio>

namespace rook {

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
