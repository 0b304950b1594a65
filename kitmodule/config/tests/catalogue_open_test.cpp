// Every NOR part the lookup lists, chosen as the Predefined List page chooses it, opened by the engine
// against the chip model made from the same row: the identity and geometry the engine finds must be
// what the catalogue says, and the last block must be where the chip has it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "catalogue_sim.h"
#include "engine.h"
#include "lumivex/prompt.h"
#include "sheet_core.h"
#include "user_devices.h"
#include "catalogue_host.h"
#include "sim_host.h"

using namespace rook;

namespace {

// "Check Sector Protection" reads the protection bits before a program; those reads end with a
// reset that leaves the SecSi overlay. A byte programmed in the overlay (as the SecSi page does it)
// must reach the SecSi region and leave the array alone, also when sector 0 of the array is
// protected (its bits do not govern the region), and a read that follows still reads the region.
// Outside the overlay the check still refuses the protected sector.
void ExpectSecSiProgramStaysInTheOverlay(Engine& engine, kitsim::NorChip& die) {
    die.Array()[0x10] = 0x5A;
    die.Array()[0x20] = 0x6B;
    const int32_t scheme = engine.Settings().protectionScheme;
    const bool withBits = engine.Settings().deviceType == kTypeLegacyNor && scheme != 2 && scheme != 3 && scheme != 0x20;
    for (bool protectedSector : {false, true}) {
        SCOPED_TRACE(protectedSector ? "SecSi, sector 0 protected" : "SecSi, sector 0 open");
        if (protectedSector && !withBits) continue;
        if (protectedSector) ASSERT_EQ(engine.NorSetBlockStatus(0, kStatusDybSet), 0);
        const uint32_t at = protectedSector ? 0x20 : 0x10;
        const uint8_t byte = protectedSector ? 0x34 : 0x12;
        ASSERT_EQ(engine.NorSetAsoMode(0x10), 0);
        EXPECT_EQ(engine.NorProgramRawData(at, 1, &byte), 0);
        uint8_t read[2] = {0, 0};
        EXPECT_EQ(engine.NorReadData(at & ~1u, 2, read), 0);
        ASSERT_EQ(engine.NorSetAsoMode(0x11), 0);
        EXPECT_EQ(die.SecSi()[at], byte) << "the byte is in the SecSi region";
        EXPECT_EQ(read[at & 1], byte) << "the overlay still holds after the program";
        EXPECT_EQ(die.Array()[at], protectedSector ? 0x6B : 0x5A) << "the array is untouched";
    }
    if (withBits) {
        const uint8_t zero = 0;
        EXPECT_EQ(engine.NorProgramRawData(0x40, 1, &zero), -1);
        EXPECT_EQ(die.Array()[0x40], 0xFF);
    }
}

// A 16 MiB SPI part of the user's list, "Mine", with the group and the ID as typed on the user page.
struct UserSpiHost : SimHost {
    UserSpiHost(kitsim::Kit& k, const char* g, const char* id) : SimHost(k, CatalogueTestFolder()), group(g), typed(id) {}
    const char *group, *typed;
    int Configure(DeviceSettings& s) override {
        UserDevice d;
        const char* fields[kUserDeviceFields] = {"SPI", group, "Mine", typed, "16MB (128Mbit)", "SPI",
                                                 "8bit", "x1", "ADP", "PISMO1", "SIO"};
        for (int i = 0; i < kUserDeviceFields; ++i) d.field[i] = fields[i];
        uint32_t bytes = 0;
        return ApplyUserDevice(d, s, bytes);
    }
};

}  // namespace

TEST(CatalogueOpen, EveryNorPartOpensAgainstItsModel) {
    LxPromptTestBegin();
    for (const NorCatalogueRow& row : NorCatalogue()) {
        SCOPED_TRACE(row.name);
        kitsim::Kit kit;
        CataloguePart part(row, kit);
        CatalogueHost host(kit, row);
        host.operation.checkSectorProtection = true;
        Engine engine(host);
        int prompts = LxPromptRecordCount();
        ASSERT_EQ(engine.Init(0), 0) << (host.messages.empty() ? "" : host.messages[0]);
        EXPECT_EQ(LxPromptRecordCount(), prompts) << "no identity question";
        EXPECT_EQ(engine.Init(3), 9);
        EXPECT_EQ(engine.Geometry().jedecId, row.id);
        EXPECT_EQ(engine.Geometry().deviceType, row.deviceType);
        EXPECT_EQ(engine.Geometry().chipSize, NorDieBytes(row));
        EXPECT_EQ(engine.Working().writeBufferBytes, 1u << row.bufferExp);
        EXPECT_EQ(engine.Settings().hostInterface, row.hostRadio >= 0 ? row.hostRadio + 1
                                                   : std::string(row.family) == "Mure" ? 3
                                                   : std::string(row.family) == "Dorn" || std::string(row.family) == "Fenn" ? 2 : 1);
        // The regions in address order, whatever order the chip lists them in.
        uint32_t regions = 0, blocks = 0;
        for (const NorRegion& r : row.regions) {
            if (!r.count) continue;
            ASSERT_LT(regions, engine.Cfi().regionCount);
            EXPECT_EQ(engine.Cfi().regions[regions].blocksMinus1 + 1u, r.count);
            EXPECT_EQ(engine.Cfi().regions[regions].blockSize256 * 256u, r.bytes);
            ++regions;
            blocks += r.count;
        }
        EXPECT_EQ(engine.Cfi().regionCount, regions);

        // The last block erased and programmed where the chip keeps it.
        kitsim::NorChip& die = part.Die(0);
        const uint32_t last = engine.BlockIndexToOffset(blocks - 1);
        EXPECT_EQ(engine.GetBlockSize(blocks - 1), die.SectorBytes(die.SectorCount() - 1));
        EXPECT_EQ(last, die.SectorStart(die.SectorCount() - 1));
        const uint8_t data[4] = {0x12, 0x34, 0x56, 0x78};
        die.Array()[last] = 0x00;
        ASSERT_EQ(engine.NorEraseBlock(blocks - 1), 0);
        ASSERT_EQ(engine.NorProgramRawData(last, 4, data), 0);
        EXPECT_EQ(die.Array()[last], 0x12);
        EXPECT_EQ(die.Array()[last + 3], 0x78);
        EXPECT_EQ(die.Array()[last - 1], 0xFF) << "nothing before the block";

        if (row.dies == 2 && row.secondDieBit) {
            part.Die(1).Array()[0x20] = 0x5A;
            uint8_t read[1] = {0};
            ASSERT_EQ(engine.NorReadData(row.secondDieBit + 0x20, 1, read), 0);
            EXPECT_EQ(read[0], 0x5A) << "the second die at its address bit";
        }
        ExpectSecSiProgramStaysInTheOverlay(engine, die);
        EXPECT_EQ(engine.Init(1), 0);
    }
    LxPromptTestEnd();
}

// The simulated kit's own NOR parts (the default one that every plain run holds, and the reduced
// command one) are catalogue parts: the row with their ID has their geometry, command family and
// write buffer, and choosing it in the Predefined List opens the chip without an identity question.
TEST(CatalogueOpen, TheSimulatorsNorPartsHaveRowsOfTheirOwn) {
    LxPromptTestBegin();
    for (const kitsim::NorPart& part : {kitsim::DefaultNorPart(), kitsim::ReducedNorPart()}) {
        SCOPED_TRACE(part.name);
        const uint32_t id = uint32_t(part.deviceId[0] & 0xFF) << 16 | uint32_t(part.deviceId[1] & 0xFF) << 8 |
                            (part.deviceId[2] & 0xFF);
        const NorCatalogueRow* row = nullptr;
        for (const NorCatalogueRow& r : NorCatalogue())
            if (r.id == id) row = &r;
        ASSERT_NE(row, nullptr) << std::hex << id;
        std::vector<std::pair<uint32_t, uint32_t>> rowRegions, partRegions;
        for (const NorRegion& r : row->regions)
            if (r.count) rowRegions.push_back({r.count, r.bytes});
        for (const kitsim::NorSectorRegion& r : part.regions) partRegions.push_back({r.count, r.bytes});
        EXPECT_EQ(rowRegions, partRegions);
        EXPECT_EQ(row->deviceType == kTypeReducedNor, part.reducedCommands);
        EXPECT_EQ(1u << row->bufferExp, part.writeBufferWords * 2);

        kitsim::Kit kit;
        kitsim::NorChip chip(part, kit.Clock());
        kitsim::SocketDevice* before = kit.Device(0);
        kit.Attach(0, &chip);
        CatalogueHost host(kit, *row);
        Engine engine(host);
        const int prompts = LxPromptRecordCount();
        ASSERT_EQ(engine.Init(0), 0) << (host.messages.empty() ? "" : host.messages[0]);
        EXPECT_EQ(LxPromptRecordCount(), prompts) << "no identity question";
        EXPECT_EQ(engine.Geometry().jedecId, id);
        EXPECT_EQ(engine.Geometry().chipSize, NorDieBytes(*row));
        EXPECT_EQ(engine.Init(1), 0);
        kit.Attach(0, before);
    }
    LxPromptTestEnd();
}

// Every NAND part the lookup lists, opened by the engine against the NAND model made from the same
// row: its ID, its geometry, and a page with its spare area at the last page of the part.
TEST(CatalogueOpen, EveryNandPartOpensAgainstItsModel) {
    LxPromptTestBegin();
    for (const NandCatalogueRow& row : NandCatalogue()) {
        SCOPED_TRACE(row.name);
        kitsim::Kit kit;
        NandGeometry g;
        ASSERT_TRUE(NandGeometryFor(row.code, row.secondGeneration ? 1001 : 8, g));
        kitsim::NandChip chip(NandPartOf(row, g), kit.Clock());
        kit.Attach(0, &chip);
        CatalogueHost host(kit, row.family, row.name, kClassVeltan);
        Engine engine(host);
        int prompts = LxPromptRecordCount();
        ASSERT_EQ(engine.Init(0), 0) << (host.messages.empty() ? "" : host.messages[0]);
        EXPECT_EQ(LxPromptRecordCount(), prompts) << "no identity question";
        const uint32_t spareBytes = chip.Part().spareBytes;
        EXPECT_EQ(engine.Init(3), spareBytes == 128 ? 1001 : 8);
        EXPECT_EQ(engine.Geometry().jedecId, row.code);
        EXPECT_EQ(engine.VeltanBlocks(), g.blockCount);
        EXPECT_EQ(engine.BytesPerDevice(), uint64_t(g.blockCount) * g.blockBytes);
        const uint32_t last = g.blockCount * g.pagesPerBlock - 2;  // not a page a bad-block mark lives in
        std::vector<uint8_t> page(2048 + spareBytes);
        for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 7 + row.code);
        ASSERT_EQ(engine.VeltanEraseBlock(g.blockCount - 1), 0);
        ASSERT_EQ(engine.VeltanProgramRawPage(last, 1, page.data()), 0);
        EXPECT_EQ(chip.Page(last), page);
        std::vector<uint8_t> back(page.size());
        ASSERT_EQ(engine.VeltanReadRawPage(0, last, 1, back.data()), 0);
        EXPECT_EQ(back, page);
        EXPECT_EQ(engine.Init(1), 0);
    }
    LxPromptTestEnd();
}

TEST(CatalogueOpen, EverySpiPartOpensAgainstItsModel) {
    LxPromptTestBegin();
    for (const SpiCatalogueRow& row : SpiCatalogue()) {
        SCOPED_TRACE(row.name);
        kitsim::Kit kit;
        kitsim::SpiChip chip(SpiPartOf(row), kit.Clock());
        kit.AttachSerial(0, &chip);
        CatalogueHost host(kit, row.family, row.name, kClassSpi);
        Engine engine(host);
        int prompts = LxPromptRecordCount();
        ASSERT_EQ(engine.Init(0), 0) << (host.messages.empty() ? "" : host.messages[0])
                                     << (LxPromptRecordCount() ? LxPromptRecordText(LxPromptRecordCount() - 1) : "");
        EXPECT_EQ(LxPromptRecordCount(), prompts) << "no identity question";
        const uint32_t bytes = row.spi.sectorCount * row.spi.sectorBytes;
        const uint32_t id = (row.id & 0x800000u) ? (row.id | 0xFF000000u) : row.id;
        EXPECT_EQ(engine.Geometry().jedecId, id);
        EXPECT_EQ(engine.SpiExtendedId(), static_cast<uint32_t>(row.extendedId));
        EXPECT_EQ(engine.Geometry().chipSize, bytes);
        EXPECT_EQ(engine.Geometry().unitSize, row.spi.sectorBytes);
        EXPECT_EQ(engine.GetBlockSize(row.spi.sectorCount - 1), row.spi.sectorBytes);
        EXPECT_EQ(engine.GetBlockSize(row.spi.sectorCount), 0u);
        // The last bytes of the array, read back through the bank register on the parts above 16 MiB.
        auto& array = chip.Array();
        ASSERT_EQ(array.size(), bytes);
        array[bytes - 2] = 0x5A;
        array[bytes - 1] = 0xC3;
        uint8_t tail[2] = {0, 0};
        ASSERT_EQ(engine.NorReadData(bytes - 2, 2, tail), 0);
        EXPECT_EQ(tail[0], 0x5A);
        EXPECT_EQ(tail[1], 0xC3);
        EXPECT_EQ(engine.Init(1), 0);
    }
    LxPromptTestEnd();
}

// A user's own SPI device of the first SPI group opens like a catalogue part: its ID is read with 0x9F and
// it gets the common 256-byte page.
TEST(CatalogueOpen, UserSpiDeviceOpens) {
    LxPromptTestBegin();
    const SpiCatalogueRow* row = nullptr;
    for (const SpiCatalogueRow& r : SpiCatalogue())
        if (std::string(r.name) == "IV064S") row = &r;
    ASSERT_NE(row, nullptr);
    kitsim::Kit kit;
    kitsim::SpiChip chip(SpiPartOf(*row), kit.Clock());
    kit.AttachSerial(0, &chip);
    struct UserHost : SimHost {
        using SimHost::SimHost;
        int Configure(DeviceSettings& s) override {
            UserDevice d;
            const char* fields[kUserDeviceFields] = {"SPI", "Corvo", "MySpi", "014017", "8MB (64Mbit)", "SPI",
                                                     "8bit", "x1", "ADP", "PISMO1", "SIO"};
            for (int i = 0; i < kUserDeviceFields; ++i) d.field[i] = fields[i];
            uint32_t bytes = 0;
            return ApplyUserDevice(d, s, bytes);
        }
    } host(kit, CatalogueTestFolder());
    Engine engine(host);
    ASSERT_EQ(engine.Init(0), 0) << (LxPromptRecordCount() ? LxPromptRecordText(0) : "");
    EXPECT_EQ(LxPromptRecordCount(), 0) << LxPromptRecordText(0);
    EXPECT_EQ(engine.Geometry().jedecId, 0x014017u);
    EXPECT_EQ(engine.Settings().spiFamily, 1);
    EXPECT_EQ(engine.Settings().spi.pageBytes, 256u);
    EXPECT_EQ(engine.SpiWorking().pageBytes, 256u);
    EXPECT_EQ(engine.Geometry().chipSize, 8u << 20);
    EXPECT_EQ(engine.Init(1), 0);
    LxPromptTestEnd();
}

// The ID the user typed for an SPI part is compared with the one the chip answers. A chip with the
// typed ID opens without a question whatever its bytes, also when one of them is 0x80 or more (the
// engine reads those widened with ones above them); a chip with another ID is still asked about, and
// No refuses the open.
TEST(CatalogueOpen, UserSpiDeviceIdIsComparedAsTheChipAnswersIt) {
    struct Case {
        const char* typed;
        uint8_t chip[3];
        bool asked;
    } const kCases[] = {
        {"204018", {0x20, 0x40, 0x18}, false},
        {"EF4018", {0xEF, 0x40, 0x18}, false},
        {"ef4018", {0xEF, 0x40, 0x18}, false},
        {"20BA18", {0x20, 0xBA, 0x18}, false},
        {"FFEF4018", {0xEF, 0x40, 0x18}, false},
        {"EF4018", {0xEF, 0x40, 0x17}, true},
        {"EF4018", {0x20, 0x40, 0x18}, true},
        {"204018", {0xEF, 0x40, 0x18}, true},
        {"20BA18", {0x20, 0x3A, 0x18}, true},
    };
    kitsim::SpiPart part = kitsim::MarroSpiPart();
    part.cfiInId = true;
    part.sfdp = false;
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.typed) + (c.asked ? " against another chip" : " against its chip"));
        LxPromptTestBegin();
        part.id = {c.chip[0], c.chip[1], c.chip[2]};
        kitsim::Kit kit;
        kitsim::SpiChip chip(part, kit.Clock());
        kit.AttachSerial(0, &chip);
        UserSpiHost host(kit, "Corvo", c.typed);
        Engine engine(host);
        if (c.asked) LxPromptQueueAnswer(LX_IDNO);
        const int opened = engine.Init(0);
        if (c.asked) {
            EXPECT_EQ(opened, -1);
            ASSERT_EQ(LxPromptRecordCount(), 1);
            EXPECT_NE(std::string(LxPromptRecordText(0)).find("It seems that your device has an incorrect device ID"),
                      std::string::npos)
                << LxPromptRecordText(0);
        } else {
            EXPECT_EQ(opened, 0);
            EXPECT_EQ(LxPromptRecordCount(), 0) << LxPromptRecordText(0);
            EXPECT_EQ(engine.Geometry().chipSize, 16u << 20);
        }
        engine.Init(1);
        LxPromptTestEnd();
    }
}

// A part the user defines carries only a group, so nothing says the status bits its family has are
// on the chip. On a chip without error bits, a program or erase that block protection refuses
// looks done; it must still answer -1, whichever group the user chose, while one that is not
// refused still works. The chip's ID lies outside every catalogue row.
TEST(CatalogueOpen, UserSpiDeviceWithoutErrorBitsIsReadBack) {
    LxPromptTestBegin();
    kitsim::SpiPart part = kitsim::MarroSpiPart();
    part.name = "user-spi-no-error-bits";
    part.id = {0x20, 0x40, 0x18};
    part.cfiInId = true;
    part.sfdp = false;
    for (const char* group : {"Corvo", "Pirel"}) {
        SCOPED_TRACE(group);
        kitsim::Kit kit;
        kitsim::SpiChip chip(part, kit.Clock());
        kit.AttachSerial(0, &chip);
        UserSpiHost host(kit, group, "204018");
        Engine engine(host);
        ASSERT_EQ(engine.Init(0), 0) << (LxPromptRecordCount() ? LxPromptRecordText(0) : "");
        ASSERT_EQ(engine.Geometry().chipSize, 16u << 20);
        const uint32_t block = engine.BlockIndexToOffset(2), size = engine.GetBlockSize(2);
        ASSERT_GT(size, 0u);
        auto& a = chip.Array();
        std::fill(a.begin() + block, a.begin() + block + size, 0x00);
        // Unprotected: the erase and the program reach the chip.
        const uint8_t data[4] = {0x12, 0x34, 0x56, 0x78};
        ASSERT_EQ(engine.NorEraseBlock(2), 0);
        EXPECT_EQ(a[block], 0xFF);
        ASSERT_EQ(engine.NorProgramData(block, 4, data), 0);
        EXPECT_EQ(a[block + 3], 0x78);
        // BP2-0 = 111 through the status register page: the chip now refuses both.
        const uint8_t bp = 0x1C;
        ASSERT_EQ(engine.NorSetAsoMode(0x10000), 0);
        ASSERT_EQ(engine.NorProgramData(0, 1, &bp), 0);
        ASSERT_EQ(engine.NorSetAsoMode(0x10001), 0);
        ASSERT_EQ(chip.Status1() & 0x1C, 0x1C);
        EXPECT_EQ(engine.NorEraseBlock(2), -1);
        EXPECT_EQ(engine.LastResult(), ERROR_WRITE_PROTECTED);
        EXPECT_EQ(a[block], 0x12) << "nothing erased";
        const uint8_t more[4] = {0, 0, 0, 0};
        EXPECT_EQ(engine.NorProgramData(block + 0x100, 4, more), -1);
        EXPECT_EQ(engine.LastResult(), ERROR_WRITE_PROTECTED);
        EXPECT_EQ(a[block + 0x100], 0xFF) << "nothing programmed";
        EXPECT_EQ(engine.Init(1), 0);
    }
    LxPromptTestEnd();
}

// What the Operation Setup page chose changes what the open device does: the write buffer size it
// programs with, word programming instead of the buffer (many more bytes on the kit's stream for the
// same data), and the data swap of the raw program.
TEST(CatalogueOpen, OperationSetupChangesHowTheDeviceIsProgrammed) {
    LxPromptTestBegin();
    const NorCatalogueRow* row = nullptr;
    for (const NorCatalogueRow& r : NorCatalogue())
        if (std::string(r.name) == "OS128PHI") row = &r;
    ASSERT_NE(row, nullptr);
    std::vector<uint8_t> data(256);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + 1);
    struct Run {
        uint32_t bufferBytes;
        uint64_t streamBytes;
        std::vector<uint8_t> stored;
    };
    auto program = [&](const OperationSetupValues& v) {
        kitsim::Kit kit;
        CataloguePart part(*row, kit);
        CatalogueHost host(kit, *row);
        host.operation = v;
        Engine engine(host);
        Run run{};
        EXPECT_EQ(engine.Init(0), 0);
        run.bufferBytes = engine.Working().writeBufferBytes;
        const uint64_t before = host.bus ? host.bus->Pipes().streamBytes : 0;
        EXPECT_EQ(engine.NorProgramRawData(0x40000, static_cast<uint32_t>(data.size()), data.data()), 0);
        run.streamBytes = (host.bus ? host.bus->Pipes().streamBytes : 0) - before;
        run.stored.assign(part.Die(0).Array().begin() + 0x40000, part.Die(0).Array().begin() + 0x40000 + data.size());
        engine.Init(1);
        return run;
    };
    OperationSetupValues chipOwn, small, words, swapped;
    small.writeBufferBytes = 32;
    words.noWriteBuffer = true;
    swapped.dataSwap = 4;
    Run a = program(chipOwn), b = program(small), c = program(words), d = program(swapped);
    EXPECT_EQ(a.bufferBytes, 1u << row->bufferExp) << "the chip's own (CFI)";
    EXPECT_EQ(b.bufferBytes, 32u);
    EXPECT_GT(c.streamBytes, 2 * b.streamBytes) << "word by word: every word its own command";
    EXPECT_EQ(a.stored, data);
    EXPECT_EQ(b.stored, data);
    EXPECT_EQ(c.stored, data);
    std::vector<uint8_t> reversed = data;
    for (size_t i = 0; i + 3 < reversed.size(); i += 4) std::reverse(reversed.begin() + i, reversed.begin() + i + 4);
    EXPECT_EQ(d.stored, reversed) << "4-byte swap";
    LxPromptTestEnd();
}

// The Operation Setup time-outs bound how long the module waits for a chip that never ends its
// operation: a stuck program and a stuck erase each fail, after about the time the page gave and not
// after the chip's own (much longer) worst case.
TEST(CatalogueOpen, OperationSetupTimeoutsBoundAStuckChip) {
    LxPromptTestBegin();
    const NorCatalogueRow* row = nullptr;
    for (const NorCatalogueRow& r : NorCatalogue())
        if (std::string(r.name) == "OS128PHI") row = &r;
    ASSERT_NE(row, nullptr);
    const uint8_t word[2] = {0x12, 0x34};
    struct Case {
        bool erase;
        int timeoutMs;
    } cases[] = {{false, 100}, {false, 2000}, {true, 200}, {true, 4000}};
    uint64_t waited[4] = {};
    for (size_t i = 0; i < 4; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << (c.erase ? "erase " : "program ") << c.timeoutMs << " ms");
        kitsim::Kit kit;
        CataloguePart part(*row, kit);
        CatalogueHost host(kit, *row);
        (c.erase ? host.operation.eraseTimeoutMs : host.operation.programTimeoutMs) = c.timeoutMs;
        Engine engine(host);
        ASSERT_EQ(engine.Init(0), 0);
        part.Die(0).Faults().stuckBusy = true;
        const uint64_t start = host.NowMs();
        const int r = c.erase ? engine.NorEraseBlock(4) : engine.NorProgramData(0x40000, 2, word);
        waited[i] = host.NowMs() - start;
        EXPECT_NE(r, 0) << "a chip that never ends is a failure";
        EXPECT_GE(waited[i], static_cast<uint64_t>(c.timeoutMs));
        engine.Init(1);
    }
    EXPECT_LT(waited[0] * 4, waited[1]) << "the program time-out sets the wait";
    EXPECT_LT(waited[2] * 4, waited[3]) << "the erase time-out sets the wait";
    LxPromptTestEnd();
}

// "Force To Use 4-Bytes Address" puts a part with a bank register into four-byte addressing instead of
// switching banks: data above 16 MiB lands where it was sent either way, through the other mechanism.
TEST(CatalogueOpen, OperationSetupFourByteAddressingReachesTheChip) {
    LxPromptTestBegin();
    const SpiCatalogueRow* row = nullptr;
    for (const SpiCatalogueRow& r : SpiCatalogue()) {
        kitsim::SpiPart p = SpiPartOf(r);
        if (p.bankRegister && p.sizeBytes > (16u << 20)) {
            row = &r;
            break;
        }
    }
    ASSERT_NE(row, nullptr) << "no SPI part above 16 MiB with a bank register";
    const uint8_t data[4] = {0xA5, 0x5A, 0x0F, 0xF0};
    const uint32_t address = (16u << 20) + 0x100;
    for (bool force : {false, true}) {
        SCOPED_TRACE(force ? "forced four-byte" : "bank register");
        kitsim::Kit kit;
        kitsim::SpiChip chip(SpiPartOf(*row), kit.Clock());
        kit.AttachSerial(0, &chip);
        CatalogueHost host(kit, row->family, row->name, kClassSpi);
        host.operation.force4ByteAddress = force;
        Engine engine(host);
        ASSERT_EQ(engine.Init(0), 0);
        ASSERT_EQ(engine.NorProgramData(address, 4, data), 0);
        EXPECT_EQ(std::vector<uint8_t>(chip.Array().begin() + address, chip.Array().begin() + address + 4),
                  std::vector<uint8_t>(data, data + 4));
        EXPECT_EQ(chip.Bank() & 0x80, force ? 0x80 : 0) << "four-byte mode bit";
        if (!force) EXPECT_EQ(chip.Bank() & 0x7F, 1) << "the upper bank selected";
        engine.Init(1);
    }
    LxPromptTestEnd();
}
