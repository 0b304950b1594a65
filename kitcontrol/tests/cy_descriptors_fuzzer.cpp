// Device-supplied configuration descriptors must never crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>

#include "cy_descriptors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tarn::ConfigDescriptor c;
    std::string error;
    for (bool ss : {false, true}) {
        if (tarn::ParseConfigDescriptor(data, size, ss, &c, &error)) {
            for (const auto& itf : c.interfaces)
                for (const auto& ep : itf.endpoints) (void)ep.MaxPacketSize();
        }
    }
    return 0;
}
