// The protocol minimum of the kit's bus stream for parallel NOR programming: every bus cycle
// encoded as tightly as the stream allows (only the CPLD registers that change, one pair each, then
// the cycle itself). The benchmarks print their measured stream beside it.
#pragma once
#include <cstdint>

namespace rook_bench {

// Ideal stream bytes for a list of 16-bit bus cycles (word address, data).
struct IdealEncoder {
    uint8_t regs[8] = {};
    bool known[8] = {};
    uint64_t bytes = 0;
    void Cycle(uint32_t address, uint16_t data) {
        const uint8_t want[8] = {0, 0, static_cast<uint8_t>(data >> 8), static_cast<uint8_t>(data),
                                 static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                                 static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
        for (int r = 2; r < 8; ++r) {
            if (!known[r] || regs[r] != want[r]) bytes += 2;
            regs[r] = want[r];
            known[r] = true;
        }
        bytes += 2;  // the cycle itself
    }
};

// Ideal stream bytes of write-buffer programming `bytes` of `data` from word 0 of a 16-bit part at
// the kit base, `bufferWords` words per buffer: per buffer unlock, 0x25, count, the words, 0x29.
inline uint64_t IdealWriteBufferProgram(const uint8_t* data, uint32_t bytes, uint32_t bufferWords) {
    IdealEncoder ideal;
    for (uint32_t start = 0; start < bytes / 2; start += bufferWords) {
        ideal.Cycle(0x40000555, 0xAA);
        ideal.Cycle(0x400002AA, 0x55);
        ideal.Cycle(0x40000000 + start, 0x25);
        ideal.Cycle(0x40000000 + start, static_cast<uint16_t>(bufferWords - 1));
        for (uint32_t w = 0; w < bufferWords; ++w)
            ideal.Cycle(0x40000000 + start + w, static_cast<uint16_t>(data[2 * (start + w)] | (data[2 * (start + w) + 1] << 8)));
        ideal.Cycle(0x40000000 + start + bufferWords - 1, 0x29);
    }
    return ideal.bytes;
}

}  // namespace rook_bench
