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
#include "ideal_stream.h"
#include "kitsim/kit.h"
#include "kitsim/nor_chip.h"
#include "lumivex/prompt.h"
#include "sim_host.h"

namespace {


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
    const uint64_t idealBytes = rook_bench::IdealWriteBufferProgram(data.data(), kBytes, wbWords);
    double perByte = double(stream) / kBytes, minPerByte = double(idealBytes) / kBytes;
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
