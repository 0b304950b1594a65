// Programs 1 MiB through the device API engine with write-buffer programming over the simulated
// kit (the kit control's own link code drives the kit's side of the protocol) and reads it back.
// Prints the bytes sent on the bus stream per programmed byte beside the protocol minimum for the
// part, and the USB transfers per MiB read beside theirs.
//
// The minimum for programming is the same bus cycles encoded as the kit's stream allows at best:
// (value, opcode) pairs for only the CPLD registers that change from one cycle to the next, one
// cycle pair each, no padding. The minimum for reading is one command packet, its answer and one
// data transfer per MiB (an array read may ask for up to 16 MiB at once).
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "engine.h"
#include "kitsim/kit.h"
#include "kitsim/nor_chip.h"
#include "lumivex/prompt.h"
#include "sim_host.h"

namespace {

// Ideal stream bytes for a list of 16-bit bus cycles (word address, data).
struct IdealEncoder {
    uint8_t regs[8];
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

}  // namespace

int main() {
    char tmpl[] = "/tmp/rookbenchXXXXXX";
    std::string dir = mkdtemp(tmpl);
    LxPromptTestBegin();
    kitsim::Kit kit;
    kitsim::NorChip chip(kitsim::DefaultNorPart(), kit.Clock());
    kit.Attach(0, &chip);
    rook::SimHost host(kit, dir);
    host.preset = "class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001;forceFpga=0";
    rook::Engine engine(host);
    if (engine.Init(0) != 0) {
        std::printf("open failed\n");
        return 1;
    }
    const uint32_t kBytes = 1u << 20;
    std::vector<uint8_t> data(kBytes);
    for (uint32_t i = 0; i < kBytes; ++i) data[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);

    auto& pipes = host.bus->Pipes();
    uint64_t stream0 = pipes.streamBytes;
    if (engine.NorProgramData(0, kBytes, data.data()) != 0 || std::memcmp(chip.Array().data(), data.data(), kBytes)) {
        std::printf("program failed\n");
        return 1;
    }
    uint64_t stream = pipes.streamBytes - stream0;

    // The same bus cycles, ideally encoded: per buffer unlock, 0x25, count, the words, 0x29.
    const uint32_t wbWords = engine.Working().writeBufferBytes / 2;
    IdealEncoder ideal;
    for (uint32_t start = 0; start < kBytes / 2; start += wbWords) {
        ideal.Cycle(0x40000555, 0xAA);
        ideal.Cycle(0x400002AA, 0x55);
        ideal.Cycle(0x40000000 + start, 0x25);
        ideal.Cycle(0x40000000 + start, static_cast<uint16_t>(wbWords - 1));
        for (uint32_t w = 0; w < wbWords; ++w)
            ideal.Cycle(0x40000000 + start + w, static_cast<uint16_t>(data[2 * (start + w)] | (data[2 * (start + w) + 1] << 8)));
        ideal.Cycle(0x40000000 + start + wbWords - 1, 0x29);
    }
    double perByte = double(stream) / kBytes, minPerByte = double(ideal.bytes) / kBytes;
    std::printf("program 1 MiB, write buffer %u bytes: %.3f stream bytes per programmed byte; protocol minimum %.3f; "
                "ratio %.2f (goal <= 1.25)\n",
                engine.Working().writeBufferBytes, perByte, minPerByte, perByte / minPerByte);
    // What the kit control's queue allows: every queued write carries its data and address
    // registers whole (14 bytes), the write-buffer confirm takes 2.
    const uint64_t queuedPerBuffer = (4ull + wbWords) * 14 + 2;
    std::printf("  with the kit control's 14-byte queued writes: at least %.3f stream bytes per programmed byte\n",
                double(queuedPerBuffer) * (kBytes / 2 / wbWords) / kBytes);

    uint64_t transfers0 = 0;
    for (auto& t : pipes.transfers) transfers0 += t.second;
    std::vector<uint8_t> back(kBytes);
    if (engine.NorReadData(0, kBytes, back.data()) != 0 || back != data) {
        std::printf("read failed\n");
        return 1;
    }
    uint64_t transfers = 0;
    for (auto& t : pipes.transfers) transfers += t.second;
    std::printf("read 1 MiB: %llu USB transfers per MiB; protocol minimum 3; with the 32 KiB pieces of the module and "
                "the kit control, %u\n",
                static_cast<unsigned long long>(transfers - transfers0), 3u * (kBytes / 32768) + 1);
    engine.Init(1);
    return 0;
}
