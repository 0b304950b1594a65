#include "kitsim/kit_jtag.h"

namespace kitsim {

void InstallJtagFeatures(Kit& kit, KitJtagFeatures& f) {
    auto drain = [&f](Kit& k) {
        std::vector<uint8_t> msg;
        while (f.engine.TakeMessage(&msg)) k.InPush(0x86, msg.data(), msg.size());
    };
    kit.SetVendorRequest(0xE0, [&f](Kit& k, const UsbSetup& s, uint8_t*, uint32_t& length) {
        if (s.requestType & 0x80) return false;
        length = 0;
        if (s.value == 2) {
            k.InDiscard(0x86);  // nothing of an earlier job may pass for an answer of this one
            return f.engine.Begin(s.index);
        }
        if (s.value == 3) return f.engine.End();
        return false;
    });
    for (uint8_t req : {uint8_t(0xA0), uint8_t(0xA2), uint8_t(0xA3), uint8_t(0xA9)}) {
        kit.SetVendorRequest(req, [&f, req](Kit&, const UsbSetup& s, uint8_t* data, uint32_t& length) {
            if (s.requestType & 0x80) return f.boot.In(req, s.value, data, length);
            return f.boot.Out(req, s.value, data, length);
        });
    }
    kit.SetStreamConsumer([&f, drain](Kit& k, const uint8_t* data, size_t length) {
        if (!f.engine.Active()) return false;
        f.engine.Packet(data, length);
        drain(k);
        return true;
    });
}

}  // namespace kitsim
