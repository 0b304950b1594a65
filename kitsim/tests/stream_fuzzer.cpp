// Random command packets and bus streams against a kit with a NOR chip and, behind chip select 1, a
// NAND chip, and SPI chips (two dies) behind the serial controller: nothing may crash, hang or read
// out of bounds, whatever the host sends.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "kitsim/kit.h"
#include "kitsim/nand_chip.h"
#include "kitsim/nor_chip.h"
#include "kitsim/spi_chip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kitsim::Kit kit;
    kitsim::NorChip chip(kitsim::SmallBootNorPart(), kit.Clock());
    kit.Attach(0, &chip);
    // A small NAND part, so that erases and page copies stay cheap.
    kitsim::NandPart part = kitsim::VeltanPart(16, 128);
    part.blocks = 8;
    part.factoryBadBlocks = {3};
    kitsim::NandChip nand(part, kit.Clock());
    kit.Attach(1, &nand);
    // Small SPI parts of both kinds (error bits and OTP regions; security registers and SFDP).
    kitsim::SpiPart lowerPart = kitsim::BessaSpiPart(), upperPart = kitsim::MarroSpiPart();
    lowerPart.sizeBytes = upperPart.sizeBytes = 1u << 20;
    kitsim::SpiChip lower(lowerPart, kit.Clock()), upper(upperPart, kit.Clock());
    kit.AttachSerial(0, &lower, &upper);
    size_t i = 0;
    std::vector<uint8_t> sink(1 << 16);
    while (i < size) {
        uint8_t kind = data[i++];
        size_t n = kind & 0x3F;
        if (n > size - i) n = size - i;
        if (kind & 0x80) {
            uint8_t packet[64] = {0x81};
            for (size_t k = 0; k < n && k < 63; ++k) packet[1 + k] = data[i + k];
            // Keep array reads small so a run stays fast.
            if (packet[1] == 6) packet[8] = packet[9] = 0;
            kit.CommandOut(packet, sizeof packet);
        } else {
            kit.StreamOut(data + i, n);
        }
        i += n;
        kit.InRead(0x81, sink.data(), 64);
        kit.InRead(0x86, sink.data(), sink.size());
    }
    return 0;
}
