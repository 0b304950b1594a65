// Programs 64 Veltan pages (one block) with their spare areas through the device API engine over
// the simulated kit and its NAND chip model, reads them back, and prints the USB transfers per
// page beside the protocol minimum, for each part of the simulated kit.
//
// The minimum for a page program is one bus-stream transfer that carries every cycle (command,
// address, data, confirm, status command) and one status read that finds the chip ready: its
// command packet, the answer and the data, 4 transfers. On the kit a status read costs a 125 us
// command packet while the part programs for 200 us, so the first read finds it busy: 7 is the
// floor there, 8 when every status read is preceded by its own status command (0x70), as the
// module sends it. The minimum for a page read is one stream transfer of the address cycles and one
// array read (command, answer, data): 4.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "kitsim/kit.h"
#include "kitsim/nand_chip.h"
#include "lumivex/prompt.h"
#include "sim_host.h"
#include "veltan_presets.h"

namespace {

uint64_t Transfers(const rook::SimKitPipes& pipes) {
    uint64_t n = 0;
    for (auto& t : pipes.transfers) n += t.second;
    return n;
}

bool Run(unsigned bus, unsigned spare) {
    kitsim::Kit kit;
    kitsim::NandChip chip(kitsim::VeltanPart(bus, spare), kit.Clock());
    kit.Attach(0, &chip);
    rook::SimHost host(kit, "/nonexistent");
    host.preset = rook::VeltanPreset(bus, spare);
    rook::Engine engine(host);
    if (engine.Init(0) != 0) {
        std::printf("x%u/%u: open failed\n", bus, spare);
        return false;
    }
    const uint32_t pages = 64, stride = 2048 + spare, first = 64 * 2;
    std::vector<uint8_t> data(pages * stride);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    for (uint32_t p = 0; p < pages; ++p) data[p * stride + 2048] = 0xFF;  // no bad-block marks
    auto& pipes = host.bus->Pipes();
    uint64_t t0 = Transfers(pipes), s0 = pipes.streamBytes, k0 = kit.Clock().NowNs();
    if (engine.VeltanProgramRawPage(first, pages, data.data()) != 0) {
        std::printf("x%u/%u: program failed\n", bus, spare);
        return false;
    }
    uint64_t t1 = Transfers(pipes), s1 = pipes.streamBytes, k1 = kit.Clock().NowNs();
    for (uint32_t p = 0; p < pages; ++p) {
        std::vector<uint8_t> model = chip.Page(first + p);
        if (!std::equal(model.begin(), model.end(), data.begin() + p * stride)) {
            std::printf("x%u/%u: page %u differs from the model\n", bus, spare, p);
            return false;
        }
    }
    std::vector<uint8_t> back(data.size());
    if (engine.VeltanReadRawPage(0, first, pages, back.data()) != 0 || back != data) {
        std::printf("x%u/%u: read back failed\n", bus, spare);
        return false;
    }
    uint64_t t2 = Transfers(pipes), k2 = kit.Clock().NowNs();
    std::printf("x%-2u %3u spare: program %.2f USB transfers per page (protocol minimum 4; 7 with a busy first status "
                "read; 8 with 0x70 before each read), %.0f stream bytes per page, %.0f us kit time per page; read %.2f transfers per page (minimum 4), "
                "%.0f us per page\n",
                bus, spare, double(t1 - t0) / pages, double(s1 - s0) / pages, double(k1 - k0) / 1000 / pages,
                double(t2 - t1) / pages, double(k2 - k1) / 1000 / pages);
    engine.Init(1);
    return true;
}

}  // namespace

int main() {
    LxPromptTestBegin();
    bool ok = true;
    for (unsigned bus : {8u, 16u})
        for (unsigned spare : {64u, 128u}) ok = Run(bus, spare) && ok;
    LxPromptTestEnd();
    return ok ? 0 : 1;
}
