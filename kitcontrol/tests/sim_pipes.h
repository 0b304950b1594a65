// TarnPipes straight onto a simulated kit, without the USB layer: the link's logic is tested natively
// against the kit's side of the protocol. Records every bus-stream transfer and can fail or shorten
// the next transfer of an endpoint.
#pragma once
#include <map>
#include <vector>

#include "kitsim/kit.h"
#include "tarn_link.h"

struct SimPipes : tarn::TarnPipes {
    explicit SimPipes(kitsim::Kit& k) : kit(k) {}

    bool Transfer(uint8_t ep, uint8_t* buffer, uint32_t& length) override {
        ++transfers[ep];
        if (failNext[ep]) {
            --failNext[ep];
            length = 0;
            return false;
        }
        if (ep == tarn::kEpCommandOut) {
            kit.CommandOut(buffer, length);
            return true;
        }
        if (ep == tarn::kEpStreamOut) {
            streamSizes.push_back(length);
            lastStream.assign(buffer, buffer + length);
            kit.StreamOut(buffer, length);
            return true;
        }
        if (kit.InWaiting(ep) == 0 && length > 0) {
            length = 0;  // a real pipe would wait for the time-out and fail
            return false;
        }
        uint32_t want = length;
        if (shortNext[ep] && want > 0) {
            --shortNext[ep];
            want -= 1;
        }
        length = static_cast<uint32_t>(kit.InRead(ep, buffer, want));
        return true;
    }
    uint32_t Timeout(uint8_t ep) const override {
        auto it = timeouts.find(ep);
        return it == timeouts.end() ? 10000 : it->second;
    }
    void SetTimeout(uint8_t ep, uint32_t ms) override { timeouts[ep] = ms; }
    void Abort(uint8_t ep) override { ++aborts[ep]; }
    void Reset(uint8_t ep) override { kit.InDiscard(ep); }

    kitsim::Kit& kit;
    std::map<uint8_t, int> transfers, failNext, shortNext, aborts;
    std::map<uint8_t, uint32_t> timeouts;
    std::vector<uint32_t> streamSizes;
    std::vector<uint8_t> lastStream;
};
