// Programs 1 MiB into the simulated SPI chip through the device API engine (page programs across
// the whole range) and reads it back, over the kit control's own link code. Prints:
// - the bytes clocked on the SPI bus per programmed byte beside the SPI protocol minimum (per
//   page: write enable, command and three address bytes, the page, one status read of two bytes);
// - the kit stream bytes per programmed byte beside the same minimal SPI frames ideally encoded
//   in the kit's stream ((value, opcode) pairs for only the CPLD registers that change, one cycle
//   pair per byte);
// - for the read: SPI bus bytes per byte read and USB transfers per MiB.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine.h"
#include "kitsim/kit.h"
#include "kitsim/spi_chip.h"
#include "lumivex/prompt.h"
#include "sim_host.h"

namespace {

// Ideal stream bytes for byte cycles on the serial controller (register, data) at the kit base.
struct IdealEncoder {
    uint8_t regs[8] = {};
    bool known[8] = {};
    uint64_t bytes = 0;
    void Cycle(uint32_t reg, uint8_t data) {
        const uint32_t address = 0x80000000u + reg;
        const uint8_t want[8] = {0, 0, 0, data, static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                                 static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
        for (int r = 3; r < 8; ++r) {
            if (!known[r] || regs[r] != want[r]) bytes += 2;
            regs[r] = want[r];
            known[r] = true;
        }
        bytes += 2;
    }
    void Frame(std::initializer_list<uint8_t> out, const uint8_t* data = nullptr, uint32_t n = 0) {
        Cycle(16, 0);
        for (uint8_t b : out) Cycle(0, b);
        for (uint32_t i = 0; i < n; ++i) Cycle(0, data[i]);
        Cycle(16, 8);
    }
};

}  // namespace

int main() {
    LxPromptTestBegin();
    kitsim::Kit kit;
    kitsim::SpiChip chip(kitsim::BessaSpiPart(), kit.Clock());
    kit.AttachSerial(0, &chip);
    rook::SimHost host(kit, rook::SimInstallFolder());
    host.preset = "class=3;type=4;bus=8;interleave=1;cs=1;socket=1;vcc=3300;spiIo=1;forceFpga=0;"
                  "jedec=0x010219;spiFamily=8;spiExtendedIdBytes=2;spiRegisters=0x5F";
    rook::Engine engine(host);
    if (engine.Init(0) != 0) {
        std::printf("open failed\n");
        return 1;
    }
    const uint32_t kBytes = 1u << 20, kPage = engine.SpiWorking().pageBytes;
    std::vector<uint8_t> data(kBytes);
    for (uint32_t i = 0; i < kBytes; ++i) data[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);

    auto& pipes = host.bus->Pipes();
    const uint64_t stream0 = pipes.streamBytes, bus0 = chip.BusBytes(), time0 = kit.Clock().NowNs();
    if (engine.NorProgramData(0, kBytes, data.data()) != 0 || std::memcmp(chip.Array().data(), data.data(), kBytes)) {
        std::printf("program failed\n");
        return 1;
    }
    const uint64_t stream = pipes.streamBytes - stream0, bus = chip.BusBytes() - bus0;
    const double seconds = double(kit.Clock().NowNs() - time0) / 1e9;

    const uint32_t pages = kBytes / kPage;
    const double minBus = double(pages) * (1 + 4 + kPage + 2) / kBytes;
    IdealEncoder ideal;
    for (uint32_t p = 0; p < pages; ++p) {
        const uint32_t a = p * kPage;
        ideal.Frame({0x06});
        ideal.Frame({0x02, static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)}, &data[a], kPage);
        ideal.Cycle(32, 0);
        ideal.Cycle(16, 0);
        ideal.Cycle(0, 0x05);
        ideal.Cycle(16, 8);
    }
    const double perBus = double(bus) / kBytes, perStream = double(stream) / kBytes;
    const double minStream = double(ideal.bytes) / kBytes;
    std::printf("program 1 MiB, %u-byte pages, single I/O: %.3f SPI bus bytes per programmed byte; protocol minimum %.3f; "
                "ratio %.2f (goal <= 1.25); %.2f s of kit time\n",
                kPage, perBus, minBus, perBus / minBus, seconds);
    std::printf("  kit stream: %.3f bytes per programmed byte; the minimal frames ideally encoded %.3f; ratio %.2f "
                "(the kit control sends every queued write's data and address registers whole: 12 bytes per SPI byte)\n",
                perStream, minStream, perStream / minStream);

    uint64_t transfers0 = 0;
    for (auto& t : pipes.transfers) transfers0 += t.second;
    const uint64_t readBus0 = chip.BusBytes();
    std::vector<uint8_t> back(kBytes);
    if (engine.NorReadData(0, kBytes, back.data()) != 0 || back != data) {
        std::printf("read failed\n");
        return 1;
    }
    uint64_t transfers = 0;
    for (auto& t : pipes.transfers) transfers += t.second;
    std::printf("read 1 MiB: %.4f SPI bus bytes per byte read (minimum %.4f); %llu USB transfers; with the 32 KiB "
                "pieces of the module and the kit control, at least %u\n",
                double(chip.BusBytes() - readBus0) / kBytes, double(kBytes + 4) / kBytes,
                static_cast<unsigned long long>(transfers - transfers0), 3u * (kBytes / 32768));
    engine.Init(1);
    return 0;
}
