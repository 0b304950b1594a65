#include "catalogue_sim.h"

#include "file_parser.h"

namespace rook {

namespace {

// Families whose parts carry the lock register, persistent and dynamic protection bits.
bool AdvancedProtection(const NorCatalogueRow& row) {
    if (row.olderGeneration) return false;
    return !EqualNoCase(row.family, "Tesk") && !EqualNoCase(row.family, "Rask");
}

}  // namespace

kitsim::NorPart NorPartOf(const NorCatalogueRow& row) {
    kitsim::NorPart p;
    p.name = row.name;
    p.deviceId[0] = static_cast<uint16_t>(0x2200 | ((row.id >> 16) & 0xFF));
    p.deviceId[1] = static_cast<uint16_t>(0x2200 | ((row.id >> 8) & 0xFF));
    p.deviceId[2] = static_cast<uint16_t>(0x2200 | (row.id & 0xFF));
    for (const NorRegion& r : row.regions)
        if (r.count) p.regions.push_back({r.count, r.bytes});
    p.writeBufferWords = (1u << row.bufferExp) / 2;
    p.reducedCommands = row.deviceType == kTypeReducedNor;
    p.cfiRegionsTopFirst = row.bootArrangement == 3;
    p.advancedProtection = AdvancedProtection(row);
    if (NorSupplyMv(row) == 1800) {
        p.vccMin = 0x17;
        p.vccMax = 0x19;
    }
    return p;
}

kitsim::NandPart NandPartOf(const NandCatalogueRow& row, const NandGeometry& g) {
    kitsim::NandPart p = kitsim::VeltanPart(row.x16 ? 16 : 8, row.secondGeneration ? 128 : 64);
    p.model = row.name;
    const uint32_t wordBytes = g.busBits == 16 ? 2 : 1;
    p.busBits = g.busBits == 16 ? 16 : 8;
    p.pageBytes = g.pageSize * wordBytes;
    p.spareBytes = g.spareSize * wordBytes;
    p.pagesPerBlock = g.pagesPerBlock;
    p.blocks = g.blockCount;
    p.rowCycles = g.rowCycles ? 3 : 2;
    // The code's bytes as the ID read answers them (two, or three for the longer codes), then the
    // rest of the part's ID.
    std::vector<uint8_t> id;
    if (row.code > 0xFFFF) id.push_back(static_cast<uint8_t>(row.code >> 16));
    id.push_back(static_cast<uint8_t>(row.code >> 8));
    id.push_back(static_cast<uint8_t>(row.code));
    for (size_t i = id.size(); i < p.id.size(); ++i) id.push_back(p.id[i]);
    p.id = id;
    return p;
}

kitsim::SpiPart SpiPartOf(const SpiCatalogueRow& row) {
    kitsim::SpiPart p;
    p.name = row.name;
    p.id = {static_cast<uint8_t>(row.id >> 16), static_cast<uint8_t>(row.id >> 8), static_cast<uint8_t>(row.id)};
    for (uint32_t i = row.spi.extendedIdBytes; i > 0; --i) p.id.push_back(static_cast<uint8_t>(row.extendedId >> (8 * (i - 1))));
    p.cfiInId = !row.noCfiInId;
    p.sizeBytes = row.spi.sectorCount * row.spi.sectorBytes;
    p.pageBytes = row.spi.pageBytes;
    p.sectorBytes = row.spi.sectorBytes;
    // Parts above 16 MiB reach their upper banks through the bank register.
    p.bankRegister = p.sizeBytes > (16u << 20);
    // The register set, OTP area and protection of the part's kind, as its device code's pages
    // expect them.
    switch (row.spiFamily) {
    case 2: case 3: case 7: {
        // Three status registers written in one frame, three security registers, no error bits.
        const kitsim::SpiPart kind = kitsim::MarroSpiPart();
        p.errorBits = kind.errorBits;
        p.statusRegister3 = kind.statusRegister3;
        p.thirdWriteRegister = kind.thirdWriteRegister;
        p.securityRegisters = kind.securityRegisters;
        p.asp = kind.asp;
        p.dataLearning = kind.dataLearning;
        p.p8eBytes = kind.p8eBytes;
        p.sfdp = row.noCfiInId;
        break;
    }
    case 5: {
        // The 0x100-0x2FF OTP area with its ESN and OTP regions.
        const kitsim::SpiPart kind = kitsim::PirelSpiPart();
        p.asp = kind.asp;
        p.dataLearning = kind.dataLearning;
        p.otpBase = kind.otpBase;
        p.otpBytes = kind.otpBytes;
        p.otpRegions = kind.otpRegions;
        break;
    }
    case 6: case 8: {
        // Status register 2 as the frame's third byte, a 1 KiB OTP area of 32 regions, advanced
        // sector protection and data learning.
        const kitsim::SpiPart kind = kitsim::BessaSpiPart();
        p.statusRegister2 = kind.statusRegister2;
        p.thirdWriteRegister = kind.thirdWriteRegister;
        p.otpBase = kind.otpBase;
        p.otpBytes = kind.otpBytes;
        p.otpRegions = kind.otpRegions;
        break;
    }
    default: break;
    }
    return p;
}

CataloguePart::CataloguePart(const NorCatalogueRow& row, kitsim::Kit& kit) : kit_(kit) {
    for (int n = 0; n < row.dies && n < 4; ++n)
        dies_.push_back(std::make_unique<kitsim::NorChip>(NorPartOf(row), kit.Clock()));
    if (dies_.size() == 2 && row.secondDieBit) {
        // Both dies behind chip select 0; the parts are 16-bit, so the kit addresses them in words.
        pair_ = std::make_unique<kitsim::TwoDieDevice>(dies_[0].get(), dies_[1].get(), row.secondDieBit / 2);
        plugged_.push_back(pair_.get());
    } else {
        for (auto& die : dies_) plugged_.push_back(die.get());
    }
    for (size_t n = 0; n < plugged_.size(); ++n) {
        before_.push_back(kit.Device(static_cast<int>(n)));
        kit.Attach(static_cast<int>(n), plugged_[n]);
    }
}

CataloguePart::~CataloguePart() {
    for (size_t n = 0; n < plugged_.size(); ++n)
        if (kit_.Device(static_cast<int>(n)) == plugged_[n]) kit_.Attach(static_cast<int>(n), before_[n]);
}

}  // namespace rook
