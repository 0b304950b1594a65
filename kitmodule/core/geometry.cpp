// Chip identification (bus probe, JEDEC ID, CFI and its primary extended table) and the region
// arithmetic that turns block indexes into sizes and byte offsets.
#include <algorithm>
#include <cstring>

#include "engine.h"

namespace rook {

namespace {

const NorCommandRecord kRecords[9] = {
    {},
    {0x1, 0xFF, 0xFF, 0x555, 0x2AA, 0x55, 1, 1, 0},
    {0x101, 0xFFFF, 0xFFFF, 0xAAA, 0x554, 0xAA, 2, 2, 0},
    {0x1010101, 0xFFFFFFFF, 0xFFFFFFFF, 0xAAA, 0x554, 0xAA, 4, 4, 0},
    {},
    {},
    {},
    {0x1, 0xFFFF, 0xFFFF, 0x555, 0x2AA, 0x55, 2, 2, 0},
    {0x10001, 0xFFFFFFFF, 0xFFFF, 0x555, 0x2AA, 0x55, 4, 4, 0},
};

constexpr uint32_t kJedecNone = 0xFFFFFFFF;

}  // namespace

void Engine::FillCommandRecords() {
    for (int i = 0; i < 9; ++i) records_[i] = NorCommandRecord{};
    if (settings_.deviceType == kTypeLegacyNor) {
        for (int i = 0; i < 9; ++i) records_[i] = kRecords[i];
    } else if (settings_.deviceType == kTypeReducedNor) {
        records_[7] = kRecords[7];
        records_[8] = kRecords[8];
        records_[7].unlock2 = records_[8].unlock2 = 0xAAA;
    }
}

int Engine::SelectNorCommandRecord(uint32_t interleave) {
    int code = 0;
    if (settings_.busWidthBits == 8) code = interleave == 2 ? 2 : interleave == 4 ? 3 : 1;
    else if (settings_.busWidthBits == 16) code = interleave == 2 ? 8 : 7;
    if (code) working_ = records_[code];
    return code;
}

// One CFI byte of the first chip: every interleaved chip answers the same query in its own lane.
uint32_t Engine::ReadCfiWord(uint32_t base, uint32_t offset) {
    return ReadBus(base, offset * cfi_.addressMultiplier) & 0xFF;
}

int Engine::IdentifyDevice() {
    switch (settings_.deviceClass & 0xFF) {
    case kClassNor: return IdentifyNor();
    case kClassVeltan: return IdentifyVeltan();
    case kClassSpi: return IdentifySpi();
    default: return -1;
    }
}

int Engine::IdentifyNor() {
    const uint32_t base = base_;
    // 1. How the chips sit on the bus: two 16-bit chips side by side answer "Q", "R", "Y" in both
    //    halves of each bus word; one chip in the low half.
    int config = 0;
    uint32_t interleave = 0;
    working_ = records_[8];
    bytesPerBusWord_ = 4;
    if (working_.multiplier) {
        WriteBus(base, 0, Cmd(0xF0));
        WriteBus(base, working_.cfiAddress, Cmd(0x98));
        if (ReadBus(base, 0x10) == 0x00510051 && ReadBus(base, 0x11) == 0x00520052 && ReadBus(base, 0x12) == 0x00590059) {
            config = 8;
            interleave = 2;
        }
    }
    working_ = records_[7];
    if (!config && working_.multiplier) {
        bytesPerBusWord_ = 2;
        WriteBus(base, 0, Cmd(0xF0));
        WriteBus(base, working_.cfiAddress, Cmd(0x98));
        if ((ReadBus(base, 0x10) & 0xFF) == 'Q' && (ReadBus(base, 0x11) & 0xFF) == 'R' &&
            (ReadBus(base, 0x12) & 0xFF) == 'Y') {
            config = 7;
            interleave = 1;
        }
    }
    if (config) {
        cfi_.addressMultiplier = 1;
    } else if (settings_.interleave == 1) {
        config = 7;
        interleave = 1;
    } else if (settings_.interleave == 2) {
        config = 8;
        interleave = 2;
    }
    bytesPerBusWord_ = config == 8 ? 4 : config == 7 ? 2 : 0;
    if (config) {
        working_ = records_[config];
        WriteBus(base, 0, Cmd(0xF0));
    }
    geometry_.busConfig = config;
    geometry_.interleave = interleave;
    settings_.interleave = static_cast<int32_t>(interleave);
    if (!cfi_.addressMultiplier) cfi_.addressMultiplier = 1;

    // 2. JEDEC ID.
    uint32_t id = kJedecNone;
    if (config && settings_.deviceType == kTypeReducedNor) {
        id = ReadDeviceId(base);
    } else if (config && settings_.deviceType == kTypeLegacyNor && settings_.busWidthBits == 16) {
        id = ReadDeviceId(base);
    }
    geometry_.jedecId = id;
    geometry_.baseAddress = base;
    if (id == kJedecNone || (config != 7 && config != 8) || settings_.busWidthBits != 16) return -1;

    // 3.-5. CFI.
    return ReadNorCfi(base);
}

int Engine::ReadNorCfi(uint32_t base) {
    WriteBus(base, 0, Cmd(0xF0));
    WriteBus(base, settings_.cfiQueryAddressSwitch ? working_.cfiAddress : working_.unlock1, Cmd(0x98));
    bool ok = ParseCfi([&](uint32_t offset) { return ReadCfiWord(base, offset); }, false);
    WriteBus(base, 0, Cmd(0xF0));
    return ok ? 0 : -1;
}

// The CFI fields at their query offsets, read through `at` (bus reads of a parallel chip, or the
// bytes of an SPI chip's ID answer); false on a missing signature or an unexpected value.
bool Engine::ParseCfi(const std::function<uint32_t(uint32_t)>& at, bool spi) {
    if (at(0x10) != 'Q' || at(0x11) != 'R' || at(0x12) != 'Y') return false;
    auto word = [&](uint32_t off) { return static_cast<uint16_t>(at(off) | (at(off + 1) << 8)); };
    cfi_.primaryCommandSet = word(0x13);
    uint16_t extended = word(0x15);
    cfi_.alternateCommandSet = word(0x17);
    if (cfi_.primaryCommandSet != 0x0002 && (spi || cfi_.primaryCommandSet != 0x0300)) return false;
    if (cfi_.alternateCommandSet != 0x0000 && cfi_.alternateCommandSet != 0x0004 &&
        !(spi && cfi_.alternateCommandSet == 0x4653))
        return false;
    cfi_.deviceSizeExponent = static_cast<uint8_t>(at(0x27));
    cfi_.interfaceCode = word(0x28);
    uint16_t bufferExp = word(0x2A);
    cfi_.maxBufferBytes = bufferExp && bufferExp < 16 ? static_cast<uint16_t>(1u << bufferExp) : 0;
    if (spi && cfi_.maxBufferBytes < 256) cfi_.maxBufferBytes = 256;
    cfi_.regionCount = static_cast<uint8_t>(at(0x2C));
    if (cfi_.regionCount > 4 || cfi_.deviceSizeExponent > 31) return false;
    for (uint32_t i = 0; i < cfi_.regionCount; ++i) {
        cfi_.regions[i].blocksMinus1 = word(0x2D + 4 * i);
        cfi_.regions[i].blockSize256 = word(0x2F + 4 * i);
    }
    if (!spi && settings_.bootSectorArrangement == 3 && cfi_.regionCount > 1)
        for (uint32_t i = 0; i < cfi_.regionCount / 2u; ++i)
            std::swap(cfi_.regions[i], cfi_.regions[cfi_.regionCount - 1 - i]);
    if (geometry_.jedecId == 0x7E6401 && cfi_.regions[1].blockSize256 == 0x280) cfi_.regions[1].blockSize256 = 0x80;

    geometry_.chipSize = 1u << cfi_.deviceSizeExponent;
    const EraseRegion& unit = UnitRegion();
    geometry_.unitSize = uint32_t(unit.blockSize256) * std::max<uint32_t>(geometry_.interleave, 1) * 256u;

    if (extended && cfi_.primaryCommandSet == 0x0002) {
        if (at(extended) != 'P' || at(extended + 1) != 'R' || at(extended + 2) != 'I') return false;
        cfi_.majorVersion = static_cast<char>(at(extended + 3));
        cfi_.minorVersion = static_cast<char>(at(extended + 4));
        cfi_.eraseSuspend = static_cast<uint8_t>(at(extended + 6));
        cfi_.bootSectorFlag = cfi_.minorVersion >= '1' ? static_cast<uint8_t>(at(extended + 0x0F)) : 0;
        cfi_.programSuspend = cfi_.minorVersion >= '2' ? static_cast<uint8_t>(at(extended + 0x10)) : 0;
        // SPI parts report no banks.
        if (!spi && cfi_.minorVersion >= '3' && cfi_.regionCount) {
            cfi_.bankCount = static_cast<uint8_t>(at(extended + 0x17));
            for (uint32_t i = 0; i < 16 && i < cfi_.bankCount; ++i)
                cfi_.bankRegions[i] = static_cast<uint8_t>(at(extended + 0x18 + i));
        }
    }
    return true;
}

// The region whose blocks make the device's unit: the only one, the fourth of four, else the second.
const EraseRegion& Engine::UnitRegion() const {
    return cfi_.regionCount == 1 ? cfi_.regions[0] : cfi_.regionCount == 4 ? cfi_.regions[3] : cfi_.regions[1];
}

// Sizes and offsets in the byte image of the device: interleaved chips make every block as
// many times wider.
uint32_t Engine::GetBlockSize(uint32_t index) const {
    const uint32_t interleave = geometry_.interleave ? geometry_.interleave : 1;
    for (const EraseRegion& r : cfi_.regions) {
        if (r.blockSize256 == 0 && r.blocksMinus1 == 0) break;
        uint32_t count = r.blocksMinus1 + 1u;
        if (index < count) return r.blockSize256 * 256u * interleave;
        index -= count;
    }
    return 0;
}

uint32_t Engine::BlockIndexToOffset(uint32_t index) const {
    const uint32_t interleave = geometry_.interleave ? geometry_.interleave : 1;
    uint64_t units = 0;
    for (const EraseRegion& r : cfi_.regions) {
        if (r.blockSize256 == 0 && r.blocksMinus1 == 0) break;
        uint32_t count = r.blocksMinus1 + 1u;
        if (index < count) {
            units += uint64_t(r.blockSize256) * index;
            index = 0;
            break;
        }
        units += uint64_t(r.blockSize256) * count;
        index -= count;
    }
    return static_cast<uint32_t>(units * 256u * interleave);
}

}  // namespace rook
