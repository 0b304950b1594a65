// The link against a kit that answers anything: fuzzed answer packets, short or failed transfers,
// and a fuzzed order of operations. The host must never read or write out of bounds or loop forever.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tarn_link.h"

namespace {

struct FuzzPipes : tarn::TarnPipes {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint8_t Next() { return pos < size ? data[pos++] : 0; }
    bool Transfer(uint8_t ep, uint8_t* buffer, uint32_t& length) override {
        uint8_t mode = Next();
        if (mode & 1) {
            length = 0;
            return false;
        }
        if (ep & 0x80) {
            uint32_t n = (mode & 2) ? length : length * Next() / 255;
            for (uint32_t i = 0; i < n; ++i) buffer[i] = Next();
            length = n;
        }
        return true;
    }
    uint32_t Timeout(uint8_t) const override { return 100; }
    void SetTimeout(uint8_t, uint32_t) override {}
    void Abort(uint8_t) override {}
    void Reset(uint8_t) override {}
};

uint32_t U32(FuzzPipes& p) { return (uint32_t(p.Next()) << 24) | (uint32_t(p.Next()) << 16) | (p.Next() << 8) | p.Next(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzPipes pipes;
    pipes.data = data;
    pipes.size = size;
    tarn::TarnLink link;
    link.Attach(&pipes);
    std::vector<uint8_t> buf(70000);
    std::string s;
    for (int step = 0; step < 64 && pipes.pos < size; ++step) {
        uint8_t op = pipes.Next();
        uint32_t a = U32(pipes), n = U32(pipes) % 70000;
        uint8_t w = pipes.Next() % 6;
        uint32_t v = 0;
        uint16_t v16 = 0;
        uint8_t v8 = 0;
        switch (op % 16) {
        case 0: link.GetFIRMWARE_ID(&v); break;
        case 1: link.TarnConfiguration(pipes.Next() % 8, pipes.Next() % 6, pipes.Next()); break;
        case 2: link.Read16(a, &v16); break;
        case 3: link.Qwrite16(a, static_cast<uint16_t>(n), 1); break;
        case 4: link.Qflush(); break;
        case 5: link.AsyncArrayRead(a, n, w, buf.data()); break;
        case 6: link.BurstArrayRead(a, n, w, buf.data(), 4u << (pipes.Next() % 7)); break;
        case 7: link.BurstArrayWrite(a, n, w, buf.data(), 4u << (pipes.Next() % 7)); break;
        case 8: link.ReadTarn_SocketEEPROM(a, static_cast<uint8_t>(n), buf.data()); break;
        case 9: link.NANDArrayRead(n, w, buf.data()); break;
        case 10: link.BurstRead32(a, n, buf.data()); break;
        case 11: link.PageRead8(a, n, buf.data()); break;
        case 12: link.SetVoltage(static_cast<int32_t>(pipes.Next() % 3) - 1, a % 5000); break;
        case 13: link.DumpNORMemoryToString(a, a + n % 64, &s); break;
        case 14: link.DumpNANDMemoryToString(a, pipes.Next() % 12, n % 64, &s); break;
        default: link.GetTarnPollingStatus(&v8); break;
        }
    }
    link.Detach();
    return 0;
}
