// The engine over simulated kits: what the module believes it did must be what the chip models hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>

#include "engine.h"
#include "kitsim/kit.h"
#include "kitsim/nor_chip.h"
#include "lumivex/prompt.h"
#include "pattern.h"
#include "sim_host.h"

using rook::Engine;

namespace {

std::string Folder() { return rook::SimInstallFolder(); }

const char* kLegacy16 = "class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001";

struct Rig {
    kitsim::Kit kit;
    std::unique_ptr<kitsim::NorChip> chip, chip2;
    std::unique_ptr<kitsim::DualLaneDevice> dual;
    rook::SimHost host{kit, Folder()};
    Engine engine{host};

    explicit Rig(kitsim::NorPart part = kitsim::DefaultNorPart(), bool twoChips = false) {
        chip = std::make_unique<kitsim::NorChip>(part, kit.Clock());
        if (twoChips) {
            chip2 = std::make_unique<kitsim::NorChip>(part, kit.Clock());
            dual = std::make_unique<kitsim::DualLaneDevice>(chip.get(), chip2.get());
            kit.Attach(0, dual.get());
        } else {
            kit.Attach(0, chip.get());
        }
        host.preset = kLegacy16;
        LxPromptTestBegin();
    }
    ~Rig() { LxPromptTestEnd(); }
    int Open(const std::string& extra = "") {
        host.preset = std::string(kLegacy16) + ";" + extra;
        return engine.Init(0);
    }
};


}  // namespace

TEST(EngineInit, ModesBeforeAnyOpen) {
    Rig r;
    EXPECT_EQ(r.engine.Init(2), 1);   // closed
    EXPECT_EQ(r.engine.Init(3), 0);   // no class
    EXPECT_EQ(r.engine.Init(25), 0);
    EXPECT_EQ(r.engine.Init(19), -1);  // no trace memory: closed
    uint8_t buffer[4];
    EXPECT_EQ(r.engine.NorReadData(0, 4, buffer), -1);
}

TEST(EngineInit, OpensTheDefaultPartAndDescribesIt) {
    Rig r;
    ASSERT_EQ(r.Open(), 0);
    EXPECT_EQ(r.engine.Init(2), 0);
    EXPECT_EQ(r.engine.Init(3), 9);
    EXPECT_EQ(r.engine.Geometry().jedecId, 0x7E1001u);
    EXPECT_EQ(r.engine.Geometry().busConfig, 7);
    EXPECT_EQ(r.engine.Geometry().chipSize, 8u << 20);
    EXPECT_EQ(r.engine.Geometry().unitSize, 64u << 10);
    EXPECT_EQ(r.engine.BytesPerDevice(), 8ull << 20);
    EXPECT_EQ(r.engine.Cfi().regionCount, 1);
    EXPECT_EQ(r.engine.Cfi().maxBufferBytes, 64);
    EXPECT_EQ(r.engine.Cfi().majorVersion, '1');
    EXPECT_EQ(r.engine.Cfi().minorVersion, '3');
    EXPECT_EQ(r.engine.Working().writeBufferBytes, 64u);
    char text[512];
    int n = r.engine.GetDeviceTextInfo(text);
    EXPECT_EQ(n, static_cast<int>(std::strlen(text)));
    EXPECT_STREQ(text,
                 "[JEDEC ID:7E1001]\r\n[Physical Information]\r\n-Type: Legacy NOR\r\n-Unit Size: 65536 Bytes\r\n"
                 "-Media Size: 8388608 Bytes\r\n-Chip Size: 8388608 Bytes\r\n-Interleaving:1\r\n-Base Address:80000000\r\n"
                 "-Tarn Firmware:131077\r\n-Tarn CPLD Ver:263");
    EXPECT_EQ(LxPromptRecordCount(), 0);
    EXPECT_NE(r.engine.Init(19), 0);
    EXPECT_EQ(r.engine.Init(1), 0);
    EXPECT_EQ(r.engine.Init(2), 1);
    EXPECT_EQ(r.host.bus, nullptr);
}

// The kit start: the FPGA image loaded (the setting's default), the socket powered at the chosen
// voltage, the access cycles set, the memory reset, the bus configured for one 16-bit chip on CS0.
TEST(EngineInit, KitStartUp) {
    Rig r;
    r.host.preset = "class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001";
    ASSERT_EQ(r.engine.Init(0), 0);
    EXPECT_EQ(r.host.printed, "Please wait for firmware downloading.\r\n");
    EXPECT_EQ(r.kit.VoltageStep(), 8u);                  // 1.0 V + 8 x 0.1 V
    EXPECT_EQ(r.kit.Register(12) & 0x08, 0x08);          // socket power on
    EXPECT_EQ(r.kit.Register(18) & 0x1F, 7);             // initial access cycles
    EXPECT_EQ((r.kit.Register(10) >> 5) & 3, 1);         // 16-bit bus
    EXPECT_EQ((r.kit.Register(8) >> 4) & 3, 0);          // chip select 0
    EXPECT_GE(r.kit.ResetPulses(), 1u);
    EXPECT_EQ(r.engine.Settings().unitFirmwareVersion, 0x00020005);
    EXPECT_EQ(r.engine.Settings().cpldVersion, 0x107);
    EXPECT_EQ(r.engine.Settings().baseAddress, 0x80000000u);

    // Soft reset, hard reset and power cycle of gfslInit.
    ASSERT_EQ(r.engine.NorSetAsoMode(0x08), 0);  // autoselect
    EXPECT_EQ(r.engine.Init(16), 0);
    uint8_t b[2];
    ASSERT_EQ(r.engine.NorReadData(2, 2, b), 0);
    EXPECT_EQ(b[0], 0xFF);  // the array again
    uint32_t pulses = r.kit.ResetPulses();
    EXPECT_EQ(r.engine.Init(17), 0);
    EXPECT_GT(r.kit.ResetPulses(), pulses);
    ASSERT_EQ(r.engine.NorSetBlockStatus(9, rook::kStatusDybSet), 0);
    EXPECT_TRUE(r.chip->Dyb(9));
    EXPECT_EQ(r.engine.Init(18), 0);
    EXPECT_FALSE(r.chip->Dyb(9));  // volatile protection is gone after power comes back
}

TEST(EngineInit, BootPartRegionWalk) {
    Rig r(kitsim::SmallBootNorPart());
    ASSERT_EQ(r.Open("jedec=0x490000"), 0);
    struct {
        uint32_t index, size, offset;
    } cases[] = {{0, 8192, 0}, {7, 8192, 7 * 8192}, {8, 65536, 65536}, {22, 65536, 65536 + 14 * 65536}, {23, 0, 0}};
    for (auto c : cases) {
        EXPECT_EQ(r.engine.NorGetBlockSize(c.index), c.size) << c.index;
        if (c.size) EXPECT_EQ(r.engine.BlockIndexToOffset(c.index), c.offset) << c.index;
    }
    EXPECT_EQ(r.engine.Geometry().unitSize, 65536u);  // two regions: the second one's size
}

TEST(EngineInit, TopBootArrangementReversesTheRegions) {
    Rig r(kitsim::SmallBootNorPart());
    ASSERT_EQ(r.Open("jedec=0x490000;bootArrangement=3"), 0);
    EXPECT_EQ(r.engine.NorGetBlockSize(0), 65536u);
    EXPECT_EQ(r.engine.NorGetBlockSize(15), 8192u);
}

// The three identity questions and what each answer does.
TEST(EngineInit, IdentityQuestions) {
    struct {
        const char* extra;
        kitsim::NorPart part;
        int answer;
        int result;
        const char* question;
    } cases[] = {
        {"jedec=0x123456", kitsim::DefaultNorPart(), LX_IDYES, 0,
         "It seems that your device has an incorrect device ID (0x7E1001).\nID (0x123456) is expected. Would you like to continue?"},
        {"jedec=0x123456", kitsim::DefaultNorPart(), LX_IDNO, -1, "It seems that your device"},
    };
    for (auto& c : cases) {
        Rig r(c.part);
        LxPromptQueueAnswer(c.answer);
        EXPECT_EQ(r.Open(c.extra), c.result);
        ASSERT_EQ(LxPromptRecordCount(), 1);
        EXPECT_EQ(std::string(LxPromptRecordText(0)).rfind(c.question, 0), 0u) << LxPromptRecordText(0);
        EXPECT_STREQ(LxPromptRecordCaption(0), "Lumivex");
        EXPECT_EQ(r.host.bus != nullptr, c.result == 0);  // a refused identity closes the kit link
        EXPECT_EQ(r.engine.Init(2), c.result == 0 ? 0 : 1);
    }
}

TEST(EngineInit, FailuresLeaveTheirCodes) {
    {
        Rig r;
        r.host.folderFails = true;
        EXPECT_EQ(r.Open(), -1);
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_TO_GET_WORKING_FOLDER);
    }
    {
        Rig r;
        r.host.preset = "class=1;colour=blue";
        EXPECT_EQ(r.engine.Init(0), -1);
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_TO_OPEN_MOX_INI_FILE);
    }
    {
        Rig r;  // socket type 0: the start refuses at once
        EXPECT_EQ(r.Open("socket=0"), -1);
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_TO_INITIALIZE_TARN_HAL);
    }
    {
        Rig r;  // no FPGA image where the start looks for it
        r.host.~SimHost();
        new (&r.host) rook::SimHost(r.kit, "/nonexistent");
        r.host.preset = kLegacy16;
        EXPECT_EQ(r.engine.Init(0), -1);
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_TO_INITIALIZE_TARN_HAL);
        // A window program has no standard output: the box says which file is missing, and where.
        ASSERT_GE(LxPromptRecordCount(), 1);
        EXPECT_STREQ(LxPromptRecordText(LxPromptRecordCount() - 1),
                     "Tarn initialization failed!\nThe kit's FPGA image file is missing or cannot be read:\n"
                     "/nonexistent\\External FS Module\\Tarn_Rook.cpu\nIt comes with the kit: copy the kit's "
                     "Tarn_Rook.cpu into that folder.");
    }
    {
        Rig r;  // a unit firmware older than the minimum
        EXPECT_EQ(r.Open("minfw=0x7FFFFFFF"), -1);
        ASSERT_EQ(LxPromptRecordCount(), 1);
        EXPECT_STREQ(LxPromptRecordText(0),
                     "Tarn USB Version(131077) is old not to support.\n            Please update it with latest one(2147483647 or later)\n");
        EXPECT_EQ(r.host.bus, nullptr);
    }
    {
        Rig r;  // an interleave the bus cannot have
        LxPromptQueueAnswer(LX_IDYES);
        EXPECT_EQ(r.Open("bus=12"), -1);
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_TO_INITIALIZE_TARN_HAL);
    }
}

TEST(EngineData, BufferedProgramReadBackAndErase) {
    Rig r;
    ASSERT_EQ(r.Open(), 0);
    auto data = Pattern(100, 7);
    // 100 bytes at offset 10 with a 64-byte write buffer: two buffers, both read back first.
    r.chip->Array()[0] = 0x5A;
    r.chip->Array()[127] = 0xA5;
    ASSERT_EQ(r.engine.NorProgramData(10, 100, data.data()), 0);
    EXPECT_EQ(0, std::memcmp(r.chip->Array().data() + 10, data.data(), 100));
    EXPECT_EQ(r.chip->Array()[0], 0x5A);
    EXPECT_EQ(r.chip->Array()[127], 0xA5);
    EXPECT_EQ(r.chip->Array()[9], 0xFF);
    std::vector<uint8_t> back(200);
    ASSERT_EQ(r.engine.NorReadData(0, 200, back.data()), 0);
    EXPECT_EQ(0, std::memcmp(back.data(), r.chip->Array().data(), 200));

    ASSERT_EQ(r.engine.NorEraseBlock(0), 0);
    EXPECT_EQ(r.chip->Array()[10], 0xFF);
    EXPECT_EQ(r.engine.NorEraseBlock(128), -1);  // past the last block
    EXPECT_EQ(r.engine.LastResult(), rook::ERROR_INVALID_PARAMETER_INPUT);
}

TEST(EngineData, WordProgramKeepsUncoveredBytes) {
    Rig r;
    ASSERT_EQ(r.Open("noWriteBuffer=1"), 0);
    r.chip->Array()[0x100] = 0x12;
    r.chip->Array()[0x104] = 0x34;
    const uint8_t three[3] = {0x01, 0x02, 0x03};
    ASSERT_EQ(r.engine.NorProgramData(0x101, 3, three), 0);
    const uint8_t expect[5] = {0x12, 0x01, 0x02, 0x03, 0x34};
    EXPECT_EQ(0, std::memcmp(r.chip->Array().data() + 0x100, expect, 5));
    EXPECT_EQ(r.chip->Array()[0x105], 0xFF);
}

TEST(EngineData, LargeRunAcrossSectors) {
    Rig r;
    ASSERT_EQ(r.Open(), 0);
    auto data = Pattern(200000, 3);
    ASSERT_EQ(r.engine.NorProgramData(0x1FF00, static_cast<uint32_t>(data.size()), data.data()), 0);
    EXPECT_EQ(0, std::memcmp(r.chip->Array().data() + 0x1FF00, data.data(), data.size()));
    std::vector<uint8_t> back(data.size());
    ASSERT_EQ(r.engine.NorReadData(0x1FF00, static_cast<uint32_t>(back.size()), back.data()), 0);
    EXPECT_EQ(back, data);
}

TEST(EngineData, TwoChipsSideBySide) {
    Rig r(kitsim::DefaultNorPart(), true);
    ASSERT_EQ(r.Open("interleave=2"), 0);
    EXPECT_EQ(r.engine.Geometry().busConfig, 8);
    EXPECT_EQ(r.engine.Geometry().interleave, 2u);
    EXPECT_EQ(r.engine.BytesPerDevice(), 16ull << 20);
    EXPECT_EQ(r.engine.NorGetBlockSize(0), 128u << 10);
    EXPECT_EQ(r.engine.BlockIndexToOffset(3), 3u * (128u << 10));
    EXPECT_EQ(r.engine.Geometry().unitSize, 128u << 10);
    auto data = Pattern(1000, 11);
    for (const char* mode : {"", "noWriteBuffer=1"}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(r.engine.NorEraseBlock(1), 0);
        r.engine.Settings().noWriteBuffer = *mode ? 1 : 0;
        ASSERT_EQ(r.engine.NorProgramData(0x20002, 1000, data.data()), 0);
        // Bus words of four bytes: the low two bytes go to the first chip, the high two to the second.
        for (uint32_t i = 0; i < 1000; ++i) {
            uint32_t byte = 0x20002 + i;
            auto& chip = (byte & 2) ? *r.chip2 : *r.chip;
            uint32_t chipByte = byte / 4 * 2 + (byte & 1);
            ASSERT_EQ(chip.Array()[chipByte], data[i]) << i;
        }
        std::vector<uint8_t> back(1000);
        ASSERT_EQ(r.engine.NorReadData(0x20002, 1000, back.data()), 0);
        EXPECT_EQ(back, data);
    }
    ASSERT_EQ(r.engine.NorEraseBlock(1), 0);
    EXPECT_EQ(r.chip->Array()[0x10001], 0xFF);
    EXPECT_EQ(r.chip2->Array()[0x10001], 0xFF);
}

TEST(EngineData, EightBitBusIsNotProgrammed) {
    Rig r;
    LxPromptQueueAnswer(LX_IDYES);
    r.Open("bus=8");
    const uint8_t b[2] = {0, 0};
    EXPECT_EQ(r.engine.NorProgramData(0, 2, b), -1);
    EXPECT_EQ(r.engine.LastResult(), rook::ERROR_NOT_IMPLEMENTED);
    EXPECT_EQ(r.chip->Array()[0], 0xFF);
}

// Parts of each bus width the kit takes, one chip or two, each command set, geometry from the
// chip's CFI or from the user's own CFI values: identify, read, program, erase, protection and
// the SecSi overlay, and the chip models hold what the module answered. The 8-bit bus drives a
// byte-wide part: it has no data path for programming (refused with ERROR_NOT_IMPLEMENTED, nothing
// written), the reduced set has no 8-bit bus cycles (the open is refused), and two 8-bit chips side
// by side are no bus configuration the kit has (the start fails).
TEST(EngineData, BusWidthsInterleavesAndCommandSets) {
    const char* kUser = "userCfi=1;cfiSize=0x800000;cfiBuffer=64;cfiRegions=128:256";
    struct {
        const char* what;
        kitsim::NorPart part;
        bool twoChips;
        std::string preset;
        int32_t openError; // what the open leaves when it fails (0: it succeeds)
        bool programs;     // a data path exists
    } rows[] = {
        {"16-bit legacy", kitsim::DefaultNorPart(), false, "type=1;bus=16;interleave=1", 0, true},
        {"16-bit legacy, user CFI", kitsim::DefaultNorPart(), false, std::string("type=1;bus=16;interleave=1;") + kUser, 0, true},
        {"16-bit legacy, two chips", kitsim::DefaultNorPart(), true, "type=1;bus=16;interleave=2", 0, true},
        {"16-bit reduced", kitsim::ReducedNorPart(), false, "type=2;bus=16;interleave=1;jedec=0x7E4901", 0, true},
        {"16-bit reduced, two chips, user CFI", kitsim::ReducedNorPart(), true,
         std::string("type=2;bus=16;interleave=2;jedec=0x7E4901;") + kUser + ";cfiBuffer=512", 0, true},
        {"8-bit legacy, user CFI", kitsim::ByteWideNorPart(), false, std::string("type=1;bus=8;interleave=1;") + kUser, 0, false},
        {"8-bit reduced, user CFI", kitsim::ReducedNorPart(), false, std::string("type=2;bus=8;interleave=1;") + kUser,
         rook::ERROR_INVALID_PARAMETER_INPUT, false},
        {"8-bit legacy, two chips", kitsim::DefaultNorPart(), true, std::string("type=1;bus=8;interleave=2;") + kUser,
         rook::ERROR_TO_INITIALIZE_TARN_HAL, false},
    };
    for (auto& row : rows) {
        SCOPED_TRACE(row.what);
        Rig r(row.part, row.twoChips);
        LxPromptQueueAnswer(LX_IDYES);  // an 8-bit bus reads no ID: the user goes on with the own CFI
        r.host.preset = "class=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001;" + row.preset;
        ASSERT_EQ(r.engine.Init(0), row.openError ? -1 : 0);
        if (row.openError) {
            EXPECT_EQ(r.engine.LastResult(), row.openError);
            EXPECT_EQ(r.engine.Init(2), 1);
            continue;
        }
        const uint32_t chips = row.twoChips ? 2 : 1;
        EXPECT_EQ(r.engine.BytesPerDevice(), uint64_t(8u << 20) * chips);
        EXPECT_EQ(r.engine.NorGetBlockSize(127), 65536u * chips);
        EXPECT_EQ(r.engine.NorGetBlockSize(128), 0u);
        // The device image: bus words of the width, chips side by side in 16-bit lanes.
        auto deviceByte = [&](uint32_t at) {
            if (!row.twoChips) return r.chip->Array()[at];
            auto& c = (at & 2) ? *r.chip2 : *r.chip;
            return c.Array()[at / 4 * 2 + (at & 1)];
        };
        auto image = Pattern(4096, 31);
        for (kitsim::NorChip* c : {r.chip.get(), r.chip2.get()})
            if (c) std::copy(image.begin(), image.end(), c->Array().begin() + 0x20000);
        std::vector<uint8_t> back(2048);
        const uint32_t at = 0x20000 * chips + 6;
        ASSERT_EQ(r.engine.NorReadData(at, 2048, back.data()), 0);
        for (uint32_t i = 0; i < 2048; ++i) ASSERT_EQ(back[i], deviceByte(at + i)) << i;

        const uint32_t block3 = 3 * 65536 * chips;
        auto data = Pattern(300, 8);
        int programmed = r.engine.NorProgramData(block3 + 1, 300, data.data());
        if (row.programs) {
            ASSERT_EQ(programmed, 0);
            for (uint32_t i = 0; i < 300; ++i) ASSERT_EQ(deviceByte(block3 + 1 + i), data[i]) << i;
        } else {
            EXPECT_EQ(programmed, -1);
            EXPECT_EQ(r.engine.LastResult(), rook::ERROR_NOT_IMPLEMENTED);
            for (uint32_t i = 0; i < 300; ++i) ASSERT_EQ(deviceByte(block3 + 1 + i), 0xFF) << i;
        }
        // Erase: the unlock-prefixed commands reach the chip at its own cell addresses on each bus.
        for (kitsim::NorChip* c : {r.chip.get(), r.chip2.get()})
            if (c) std::fill(c->Array().begin() + 65536, c->Array().begin() + 2 * 65536, 0x00);
        ASSERT_EQ(r.engine.NorEraseBlock(1), 0);
        for (uint32_t i = 0; i < 65536 * chips; i += 97) ASSERT_EQ(deviceByte(65536 * chips + i), 0xFF) << i;
        EXPECT_EQ(deviceByte(2 * 65536 * chips), image[0]);  // the next block kept its data

        // Protection, on every chip of the bus: the dynamic bit in the legacy set, the lock
        // register's bit 0 in the reduced one.
        std::vector<kitsim::NorChip*> all{r.chip.get()};
        if (row.twoChips) all.push_back(r.chip2.get());
        uint16_t st = 0;
        if (row.part.reducedCommands) {
            ASSERT_EQ(r.engine.NorGetBlockStatus(0, &st), 0);
            EXPECT_EQ(st, 0x21);
            ASSERT_EQ(r.engine.NorSetBlockStatus(0, 0xFE), 0);
            for (kitsim::NorChip* c : all) EXPECT_EQ(c->LockRegister(), 0xFFFE);
            ASSERT_EQ(r.engine.NorGetBlockStatus(0, &st), 0);
            EXPECT_EQ(st, 0x20);
        } else {
            // The persistent bit, then the dynamic one.
            ASSERT_EQ(r.engine.NorSetBlockStatus(4, rook::kStatusPpbSet), 0);
            for (kitsim::NorChip* c : all) EXPECT_TRUE(c->Ppb(4));
            ASSERT_EQ(r.engine.NorGetBlockStatus(4, &st), 0);
            EXPECT_TRUE(st & rook::kStatusPpbSet);
            ASSERT_EQ(r.engine.NorSetBlockStatus(4, rook::kStatusPpbClear), 0);
            for (kitsim::NorChip* c : all) EXPECT_FALSE(c->Ppb(4));
            ASSERT_EQ(r.engine.NorSetBlockStatus(3, rook::kStatusDybSet), 0);
            for (kitsim::NorChip* c : all) EXPECT_TRUE(c->Dyb(3));
            ASSERT_EQ(r.engine.NorGetBlockStatus(3, &st), 0);
            EXPECT_TRUE(st & rook::kStatusDybSet);
            ASSERT_EQ(r.engine.NorSetBlockStatus(3, rook::kStatusDybClear), 0);
            for (kitsim::NorChip* c : all) EXPECT_FALSE(c->Dyb(3));
            // The password, given as four words, is the chip's whole 64 bits on every bus.
            const uint16_t words[4] = {0x2211, 0x4433, 0x6655, 0x8877};
            for (uint32_t i = 0; i < 4; ++i)
                ASSERT_EQ(r.engine.NorSetBlockStatus(i | (uint32_t(words[i]) << 16), rook::kStatusPasswordProgram), 0);
            ASSERT_EQ(r.engine.NorSetBlockStatus(0xFFFF, rook::kStatusPasswordProgram), 0);
            for (kitsim::NorChip* c : all) EXPECT_EQ(c->Password(), 0x8877665544332211ull);
            // The PPB lock opens with the whole password only.
            ASSERT_EQ(r.engine.NorSetBlockStatus(0, rook::kStatusPpbLockSet), 0);
            for (kitsim::NorChip* c : all) ASSERT_TRUE(c->PpbLocked());
            ASSERT_EQ(r.engine.NorSetBlockStatus(3 | (0x8878u << 16), rook::kStatusPasswordUnlock), 0);
            r.engine.NorSetBlockStatus(0xFFFF, rook::kStatusPasswordUnlock);
            for (kitsim::NorChip* c : all) EXPECT_TRUE(c->PpbLocked());
            ASSERT_EQ(r.engine.NorSetBlockStatus(3 | (0x8877u << 16), rook::kStatusPasswordUnlock), 0);
            ASSERT_EQ(r.engine.NorSetBlockStatus(0xFFFF, rook::kStatusPasswordUnlock), 0);
            for (kitsim::NorChip* c : all) EXPECT_FALSE(c->PpbLocked());
        }
        // The SecSi overlay reads each chip's own region in its lanes.
        for (kitsim::NorChip* c : all)
            for (uint32_t i = 0; i < 16; ++i) c->SecSi()[i] = static_cast<uint8_t>(0x40 + i + (c == r.chip2.get() ? 0x80 : 0));
        ASSERT_EQ(r.engine.NorSetAsoMode(0x10), 0);
        std::vector<uint8_t> secsi(8 * chips);
        ASSERT_EQ(r.engine.NorReadData(0, static_cast<uint32_t>(secsi.size()), secsi.data()), 0);
        for (uint32_t i = 0; i < secsi.size(); ++i) {
            kitsim::NorChip* c = row.twoChips && (i & 2) ? r.chip2.get() : r.chip.get();
            uint32_t at = row.twoChips ? i / 4 * 2 + (i & 1) : i;
            EXPECT_EQ(secsi[i], c->SecSi()[at]) << i;
        }
        ASSERT_EQ(r.engine.NorSetAsoMode(0x11), 0);
    }
}

TEST(EngineData, NullBuffersAreRefused) {
    Rig r;
    ASSERT_EQ(r.Open(), 0);
    EXPECT_EQ(r.engine.NorReadData(0, 4, nullptr), -1);
    EXPECT_EQ(r.engine.LastResult(), rook::ERROR_INVALID_HANDLE_PARAM);
    EXPECT_EQ(r.engine.NorProgramRawData(0, 4, nullptr), -1);
    EXPECT_EQ(r.engine.NorGetBlockStatus(0, nullptr), -1);
    EXPECT_EQ(r.engine.GetDeviceTextInfo(nullptr), -1);
}

TEST(EngineData, RawProgramSwapsACopy) {
    Rig r;
    ASSERT_EQ(r.Open("dataSwap=1"), 0);
    uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(r.engine.NorProgramRawData(0, 4, data), 0);
    const uint8_t onChip[4] = {2, 1, 4, 3};
    EXPECT_EQ(0, std::memcmp(r.chip->Array().data(), onChip, 4));
    const uint8_t untouched[4] = {1, 2, 3, 4};
    EXPECT_EQ(0, std::memcmp(data, untouched, 4));
    EXPECT_EQ(rook::SwapData(data, 4, 2), (std::vector<uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(rook::SwapData(data, 3, 1), (std::vector<uint8_t>{2, 1, 3}));
}

// Injected chip faults surface as failures with their codes, never as success.
TEST(EngineFaults, ProgramEraseAndStuckBusy) {
    const uint8_t data[64] = {0};
    for (const char* mode : {"", "noWriteBuffer=1"}) {
        Rig r;
        ASSERT_EQ(r.Open(std::string(mode) + ";programTimeout=50;eraseTimeout=50"), 0);
        r.chip->Faults().failProgram = true;
        EXPECT_EQ(r.engine.NorProgramData(0, 64, data), -1) << mode;
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_PROGRAM);
        EXPECT_GE(LxPromptRecordCount(), 1);
        EXPECT_STREQ(LxPromptRecordCaption(0), "Show Status");
        r.chip->Faults().failProgram = false;
        r.chip->Faults().failErase = true;
        EXPECT_EQ(r.engine.NorEraseBlock(2), -1);
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_ERASE);
        r.chip->Faults().failErase = false;
        r.chip->Faults().stuckBusy = true;
        EXPECT_EQ(r.engine.NorEraseBlock(2), -1);
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_ERASE);
        EXPECT_EQ(r.engine.NorProgramData(0, 64, data), -1);
        std::string last = LxPromptRecordText(LxPromptRecordCount() - 1);
        EXPECT_EQ(last.rfind("User timeout occurred...", 0), 0u) << last;
    }
}

// Whatever the module's clock speed against kit time, a failed or stuck operation is a failure:
// a wait that gave up must not leave the chip running, where it would drop the next command and
// that command's poll would see the old operation end and take it for its own success.
TEST(EngineFaults, TimedOutOperationsNeverTurnIntoSuccess) {
    struct {
        const char* family;
        kitsim::NorPart part;
        const char* preset;
    } families[] = {{"legacy", kitsim::DefaultNorPart(), kLegacy16},
                    {"reduced", kitsim::ReducedNorPart(),
                     "class=1;type=2;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E4901"}};
    const uint64_t speeds[] = {1, 10, 100, 1000};
    const uint8_t zero[64] = {0};
    for (auto& f : families) {
        for (uint64_t speed : speeds) {
            SCOPED_TRACE(std::string(f.family) + " at speed " + std::to_string(speed));
            Rig r(f.part);
            r.host.clockSpeed = speed;
            r.host.preset = std::string(f.preset) + ";programTimeout=200;eraseTimeout=200";
            ASSERT_EQ(r.engine.Init(0), 0);
            auto data = Pattern(2 * 65536, static_cast<uint32_t>(speed));
            std::memcpy(r.chip->Array().data() + 3 * 65536, data.data(), data.size());

            r.chip->Faults().failErase = true;
            EXPECT_EQ(r.engine.NorEraseBlock(3), -1);
            EXPECT_EQ(r.engine.LastResult(), rook::ERROR_ERASE);
            r.chip->Faults() = {};
            r.chip->Faults().stuckBusy = true;
            EXPECT_EQ(r.engine.NorEraseBlock(3), -1);
            EXPECT_EQ(r.engine.LastResult(), rook::ERROR_ERASE);
            EXPECT_EQ(r.engine.NorProgramData(4 * 65536, 64, zero), -1);
            EXPECT_EQ(r.engine.LastResult(), rook::ERROR_PROGRAM);
            r.chip->Faults() = {};
            EXPECT_FALSE(r.chip->Busy());
            EXPECT_EQ(0, std::memcmp(r.chip->Array().data() + 3 * 65536, data.data(), data.size()));
            // The chip takes commands again. At the highest speed a sound program may outlive the
            // bound: then it fails and the chip holds nothing of it.
            const uint8_t two[2] = {0x12, 0x34};
            r.engine.Settings().noWriteBuffer = 1;
            int programmed = r.engine.NorProgramData(6 * 65536, 2, two);
            if (speed <= 100) EXPECT_EQ(programmed, 0);
            EXPECT_EQ(r.chip->Array()[6 * 65536 + 1], programmed == 0 ? 0x34 : 0xFF);
        }
    }
}

// Chip erase and erase suspend/resume, the module's own calls, in each command set and on one
// chip or two side by side: the chip models must hold what the calls answered.
TEST(EngineErase, ChipEraseAndSuspendResume) {
    struct {
        const char* what;
        kitsim::NorPart part;
        bool twoChips;
        const char* preset;
    } rows[] = {{"legacy", kitsim::DefaultNorPart(), false, kLegacy16},
                {"legacy, two chips", kitsim::DefaultNorPart(), true, "class=1;type=1;bus=16;interleave=2;cs=1;socket=1;vcc=1800;jedec=0x7E1001"},
                {"reduced", kitsim::ReducedNorPart(), false, "class=1;type=2;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E4901"},
                {"legacy, byte-wide part on the 8-bit bus", kitsim::ByteWideNorPart(), false,
                 "class=1;type=1;bus=8;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001;userCfi=1;cfiSize=0x800000;"
                 "cfiBuffer=64;cfiRegions=128:256"}};
    for (auto& row : rows) {
        SCOPED_TRACE(row.what);
        Rig r(row.part, row.twoChips);
        r.host.preset = row.preset;
        if (row.part.byteWide) LxPromptQueueAnswer(LX_IDYES);  // an 8-bit bus reads no ID: the user's CFI
        ASSERT_EQ(r.engine.Init(0), 0);
        const uint32_t block = r.engine.NorGetBlockSize(0);
        std::vector<kitsim::NorChip*> chips{r.chip.get()};
        if (row.twoChips) chips.push_back(r.chip2.get());
        auto fill = [&] {
            for (kitsim::NorChip* c : chips) std::fill(c->Array().begin(), c->Array().end(), 0x00);
        };
        // What the device reads in block b, byte i: every chip's share of it.
        auto blockIs = [&](uint32_t b, uint8_t value) {
            std::vector<uint8_t> back(block);
            if (r.engine.NorReadData(b * block, block, back.data()) != 0) return false;
            return std::all_of(back.begin(), back.end(), [&](uint8_t v) { return v == value; });
        };

        // Suspend, read elsewhere, resume: the suspended block is erased only after the resume.
        fill();
        ASSERT_EQ(r.engine.NorEraseBegin(2), 0);
        ASSERT_EQ(r.engine.NorEraseSuspend(2), 0);
        EXPECT_TRUE(blockIs(3, 0x00));
        for (kitsim::NorChip* c : chips) EXPECT_EQ(c->Array()[2 * 65536 + 17], 0x00);
        ASSERT_EQ(r.engine.NorEraseResume(2), 0);
        EXPECT_TRUE(blockIs(2, 0xFF));
        EXPECT_TRUE(blockIs(3, 0x00));
        EXPECT_EQ(r.engine.NorEraseResume(2), -1);  // nothing is suspended any more
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_INVALID_PARAMETER_INPUT);
        // A suspend that comes after the erase ended finds nothing to suspend.
        ASSERT_EQ(r.engine.NorEraseBegin(6), 0);
        r.kit.Clock().AdvanceUs(100000);
        EXPECT_EQ(r.engine.NorEraseSuspend(6), 1);
        EXPECT_TRUE(blockIs(6, 0xFF));

        fill();
        ASSERT_EQ(r.engine.NorChipErase(), 0);
        for (kitsim::NorChip* c : chips)
            EXPECT_TRUE(std::all_of(c->Array().begin(), c->Array().end(), [](uint8_t v) { return v == 0xFF; }));
        r.chip->Faults().failErase = true;
        EXPECT_EQ(r.engine.NorChipErase(), -1);
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_ERASE);
        r.chip->Faults() = {};
        r.engine.Init(17);
    }
}

// A protected sector: the chip erase skips it, and with "Check Sector Protection" the module
// refuses the whole chip erase before any cycle.
TEST(EngineErase, ChipEraseAndProtectedSectors) {
    Rig r;
    ASSERT_EQ(r.Open(), 0);
    std::fill(r.chip->Array().begin(), r.chip->Array().end(), 0x00);
    ASSERT_EQ(r.engine.NorSetBlockStatus(5, rook::kStatusDybSet), 0);
    r.engine.Settings().checkSectorProtection = 1;
    EXPECT_EQ(r.engine.NorChipErase(), -1);
    EXPECT_EQ(r.engine.LastResult(), rook::ERROR_ERASE);
    EXPECT_EQ(r.chip->Array()[0], 0x00);
    r.engine.Settings().checkSectorProtection = 0;
    ASSERT_EQ(r.engine.NorChipErase(), 0);
    EXPECT_EQ(r.chip->Array()[0], 0xFF);
    EXPECT_EQ(r.chip->Array()[5 * 65536], 0x00);
    EXPECT_EQ(r.chip->Array()[6 * 65536], 0xFF);
}

// A write buffer size from the settings that no chip has: refused as a memory failure before the
// module ties up that much memory, and nothing is programmed.
TEST(EngineData, OversizedWriteBufferIsRefused) {
    Rig r;
    ASSERT_EQ(r.Open("writebuffer=0x40000000"), 0);
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(r.engine.NorProgramData(0, 4, data), -1);
    EXPECT_EQ(r.engine.LastResult(), rook::ERROR_MEMORY_ALLOCATION);
    EXPECT_EQ(r.chip->Array()[0], 0xFF);
}

// A zero user time-out has run out when the first status read already shows completion: the
// completion counts.
TEST(EngineFaults, CompletionWinsOverATimeOutOfTheSamePass) {
    Rig r;
    ASSERT_EQ(r.Open("noWriteBuffer=1;programTimeout=0"), 0);
    const uint8_t data[2] = {0x12, 0x34};
    EXPECT_EQ(r.engine.NorProgramData(0, 2, data), 0);
    EXPECT_EQ(r.chip->Array()[1], 0x34);
}

// With the cable out every kit call fails and a read answers nothing: no operation may take that
// for the chip's answer (zeros polled for zeros written looked programmed), and none succeeds.
TEST(EngineFaults, NothingSucceedsWithoutTheKit) {
    const std::vector<uint8_t> zeros(4096, 0);
    struct {
        const char* what;
        int (*op)(Engine&, const std::vector<uint8_t>&);
    } rows[] = {
        {"buffered program of zeros", [](Engine& e, const std::vector<uint8_t>& d) {
             return e.NorProgramData(0x40000, static_cast<uint32_t>(d.size()), d.data()); }},
        {"word program of zeros", [](Engine& e, const std::vector<uint8_t>& d) {
             e.Settings().noWriteBuffer = 1;
             return e.NorProgramData(0x40000, static_cast<uint32_t>(d.size()), d.data()); }},
        {"sector erase", [](Engine& e, const std::vector<uint8_t>&) { return e.NorEraseBlock(5); }},
        {"chip erase", [](Engine& e, const std::vector<uint8_t>&) { return e.NorChipErase(); }},
        {"erase begin", [](Engine& e, const std::vector<uint8_t>&) { return e.NorEraseBegin(5); }},
        {"erase resume", [](Engine& e, const std::vector<uint8_t>&) { return e.NorEraseResume(5); }},
        {"protection set", [](Engine& e, const std::vector<uint8_t>&) { return e.NorSetBlockStatus(5, rook::kStatusDybSet); }},
        {"protection get", [](Engine& e, const std::vector<uint8_t>&) {
             uint16_t st = 0;
             return e.NorGetBlockStatus(5, &st); }},
        {"overlay", [](Engine& e, const std::vector<uint8_t>&) { return e.NorSetAsoMode(0x10); }},
    };
    for (auto& row : rows) {
        SCOPED_TRACE(row.what);
        Rig r;
        ASSERT_EQ(r.Open("programTimeout=1000;eraseTimeout=1000"), 0);
        std::fill(r.chip->Array().begin() + 0x40000, r.chip->Array().begin() + 0x60000, 0x5A);
        r.host.bus->Pipes().unplugged = true;
        EXPECT_EQ(row.op(r.engine, zeros), -1);
        r.host.bus->Pipes().unplugged = false;
        EXPECT_EQ(r.chip->Array()[0x40000], 0x5A);
        EXPECT_EQ(r.chip->Array()[0x5FFFF], 0x5A);
        EXPECT_FALSE(r.chip->Dyb(5));
        // With the cable back, what the device reads is what the chip holds (the cycles the
        // failed operation left queued reach the chip, which the reset line then ends).
        std::vector<uint8_t> back(64);
        ASSERT_EQ(r.engine.NorReadData(0x40000, 64, back.data()), 0);
        EXPECT_EQ(0, std::memcmp(back.data(), r.chip->Array().data() + 0x40000, 64));
        EXPECT_FALSE(r.chip->Busy());
    }
}

// The reset dialog's three resets (command, warm, cold) answer what the kit did: with the cable
// out, or with no kit at all, none of them may be reported as sent.
TEST(EngineFaults, ResetsAnswerTheKitsFailure) {
    for (int mode : {16, 17, 18}) {
        SCOPED_TRACE(mode);
        Rig r;
        ASSERT_EQ(r.Open(), 0);
        EXPECT_EQ(r.engine.Init(mode), 0);
        r.host.bus->Pipes().unplugged = true;
        EXPECT_EQ(r.engine.Init(mode), -1) << "cable out";
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_TO_INITIALIZE_TARN_HAL);
        r.host.bus->Pipes().unplugged = false;
        EXPECT_EQ(r.engine.Init(mode), 0) << "cable back";
        ASSERT_EQ(r.engine.Init(1), 0);
        EXPECT_EQ(r.engine.Init(mode), -1) << "no kit";
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_TO_INITIALIZE_TARN_HAL);
    }
}

TEST(EngineFaults, KitUnpluggedMidProgram) {
    Rig r;
    ASSERT_EQ(r.Open(), 0);
    auto data = Pattern(256 * 1024, 5);
    r.host.bus->Pipes().unplugged = true;
    EXPECT_EQ(r.engine.NorProgramData(0, static_cast<uint32_t>(data.size()), data.data()), -1);
    std::vector<uint8_t> back(64);
    EXPECT_EQ(r.engine.NorReadData(0, 64, back.data()), -1);
    EXPECT_EQ(r.engine.Init(1), 0);
}

TEST(EngineProtection, DybPpbAndCheckSectorProtection) {
    Rig r;
    ASSERT_EQ(r.Open("checkProtection=1"), 0);
    uint16_t s = 0;
    ASSERT_EQ(r.engine.NorGetBlockStatus(3, &s), 0);
    EXPECT_EQ(s & 0xFF00, rook::kStatusPpbClear | rook::kStatusDybClear | rook::kStatusPpbLockClear);
    EXPECT_EQ(s & 0x17, 0x17);  // lock register bits 0-2 and 6 unprogrammed

    ASSERT_EQ(r.engine.NorSetBlockStatus(3, rook::kStatusDybSet), 0);
    EXPECT_TRUE(r.chip->Dyb(3));
    ASSERT_EQ(r.engine.NorGetBlockStatus(3, &s), 0);
    EXPECT_TRUE(s & rook::kStatusDybSet);
    const uint8_t data[4] = {0, 0, 0, 0};
    // A range that starts in an open block and reaches into the protected one is refused whole.
    EXPECT_EQ(r.engine.NorProgramData(3 * 65536 - 2, 4, data), -1);
    EXPECT_EQ(r.chip->Array()[3 * 65536 - 2], 0xFF);
    EXPECT_EQ(r.engine.NorEraseBlock(3), -1);
    ASSERT_EQ(r.engine.NorSetBlockStatus(3, rook::kStatusDybClear), 0);
    EXPECT_FALSE(r.chip->Dyb(3));
    EXPECT_EQ(r.engine.NorProgramData(3 * 65536 - 2, 4, data), 0);

    ASSERT_EQ(r.engine.NorSetBlockStatus(5, rook::kStatusPpbSet), 0);
    EXPECT_TRUE(r.chip->Ppb(5));
    ASSERT_EQ(r.engine.NorSetBlockStatus(5, rook::kStatusPpbClear), 0);
    EXPECT_FALSE(r.chip->Ppb(5));
    ASSERT_EQ(r.engine.NorSetBlockStatus(0, rook::kStatusPpbLockSet), 0);
    EXPECT_TRUE(r.chip->PpbLocked());
    // With the protection bits locked, programming one is refused without a cycle.
    EXPECT_EQ(r.engine.NorSetBlockStatus(6, rook::kStatusPpbSet), -1);
    EXPECT_FALSE(r.chip->Ppb(6));
}

// Each lock-register bit is programmed only when its status bit is clear; bit 6 travels in
// status bit 4.
TEST(EngineProtection, LockRegisterBits) {
    struct {
        uint32_t status;
        uint16_t lockRegister;
    } cases[] = {{0xFF, 0xFFFF}, {0xFE, 0xFFFE}, {0xFD, 0xFFFD}, {0xFB, 0xFFFB}, {0xEF, 0xFFBF}, {0xE8, 0xFFB8}};
    for (auto c : cases) {
        Rig r;
        ASSERT_EQ(r.Open(), 0);
        ASSERT_EQ(r.engine.NorSetBlockStatus(0, c.status), 0);
        EXPECT_EQ(r.chip->LockRegister(), c.lockRegister) << std::hex << c.status;
    }
}

TEST(EngineProtection, PasswordWordsProgramAndUnlock) {
    Rig r;
    ASSERT_EQ(r.Open(), 0);
    const uint16_t words[4] = {0x1111, 0x2222, 0x3333, 0x4444};
    for (uint32_t i = 0; i < 4; ++i) ASSERT_EQ(r.engine.NorSetBlockStatus(i | (uint32_t(words[i]) << 16), 0x4000), 0);
    EXPECT_EQ(r.chip->Password(), ~0ull);  // storing a word sends nothing
    ASSERT_EQ(r.engine.NorSetBlockStatus(0xFFFF, 0x4000), 0);
    EXPECT_EQ(r.chip->Password(), 0x4444333322221111ull);
    // Password mode: after power-up the protection bits are locked until the password unlocks them.
    r.chip->Faults() = {};
    ASSERT_EQ(r.engine.NorSetBlockStatus(0, 0xFB), 0);
    r.chip->PowerCycle();
    EXPECT_TRUE(r.chip->PpbLocked());
    ASSERT_EQ(r.engine.NorSetBlockStatus(0xFFFF, 0x8000), 0);
    EXPECT_FALSE(r.chip->PpbLocked());
    EXPECT_EQ(r.engine.NorSetBlockStatus(7, 0x4000), -1);  // neither a slot nor all words
    // Both bits: a password read, which this chip family does not offer; nothing is programmed.
    uint64_t before = r.chip->Password();
    ASSERT_EQ(r.engine.NorSetBlockStatus(0, 0xFB), 0);
    for (uint32_t i = 0; i < 4; ++i) ASSERT_EQ(r.engine.NorSetBlockStatus(i, 0x4000), 0);  // words of 0
    EXPECT_EQ(r.engine.NorSetBlockStatus(0xFFFF, 0xC000), -1);
    EXPECT_EQ(r.engine.LastResult(), rook::ERROR_NOT_IMPLEMENTED);
    EXPECT_EQ(r.chip->Password(), before);
}

// A chip that never finishes a protection command: the wait gives up in time and reports it.
TEST(EngineProtection, StuckProtectionCommandsEnd) {
    Rig r;
    ASSERT_EQ(r.Open("eraseTimeout=50;programTimeout=50"), 0);
    r.chip->Faults().stuckBusy = true;
    EXPECT_EQ(r.engine.NorSetBlockStatus(2, rook::kStatusPpbSet), -1);
    r.engine.Init(17);
    EXPECT_EQ(r.engine.NorSetBlockStatus(2, rook::kStatusPpbClear), -1);
    r.engine.Init(17);
    EXPECT_EQ(r.engine.NorSetBlockStatus(0, 0xFE), -1);  // lock register program
}

TEST(EngineOverlays, SecSiCfiAndAutoselect) {
    Rig r;
    ASSERT_EQ(r.Open(), 0);
    r.chip->SecSi()[0] = 0x42;
    uint8_t b[4];
    ASSERT_EQ(r.engine.NorSetAsoMode(0x10), 0);
    ASSERT_EQ(r.engine.NorReadData(0, 4, b), 0);
    EXPECT_EQ(b[0], 0x42);
    const uint8_t otp[2] = {0x00, 0x7F};
    ASSERT_EQ(r.engine.NorProgramData(2, 2, otp), 0);
    EXPECT_EQ(r.chip->SecSi()[3], 0x7F);
    EXPECT_EQ(r.chip->Array()[3], 0xFF);
    ASSERT_EQ(r.engine.NorSetAsoMode(0x11), 0);
    ASSERT_EQ(r.engine.NorReadData(0, 4, b), 0);
    EXPECT_EQ(b[0], 0xFF);

    ASSERT_EQ(r.engine.NorSetAsoMode(0x04), 0);
    ASSERT_EQ(r.engine.NorReadData(0x20, 2, b), 0);  // CFI word 0x10
    EXPECT_EQ(b[0], 'Q');
    ASSERT_EQ(r.engine.NorSetAsoMode(0x05), 0);
    ASSERT_EQ(r.engine.NorSetAsoMode(0x08), 0);
    ASSERT_EQ(r.engine.NorReadData(2, 2, b), 0);  // autoselect word 1
    EXPECT_EQ(b[0], 0x7E);
    ASSERT_EQ(r.engine.NorSetAsoMode(0x01), 0);
    ASSERT_EQ(r.engine.NorReadData(2, 2, b), 0);
    EXPECT_EQ(b[0], 0xFF);
}

TEST(EngineLastError, NamesOfEveryCode) {
    struct {
        int32_t code;
        const char* name;
    } cases[] = {{1000, "ERROR_TO_GET_WORKING_FOLDER"}, {1001, "ERROR_TO_OPEN_MOX_INI_FILE"},
                 {1002, "ERROR_INVALID_PARAMETER_INPUT"}, {1003, "ERROR_NOT_IMPLEMENTED"},
                 {1004, "ERROR_INVALID_HANDLE_PARAM"}, {1005, "ERROR_PROGRAM"}, {1006, "ERROR_ERASE"},
                 {1007, "ERROR_MEMORY_ALLOCATION"}, {1008, "ERROR_WRITE_PROTECTED"}, {1009, "ERROR_ADDRESS_SPACE"},
                 {1030, "ERROR_TO_INITIALIZE_PCI3_HAL"},
                 {1031, "ERROR_TO_INITIALIZE_PCI4_HAL"}, {1032, "ERROR_TO_INITIALIZE_TARN_HAL"},
                 {1033, "ERROR_TO_INITIALIZE_VIRTUALDEVICE_HAL"}, {1034, "ERROR_APPLICATION_CLOSE_FIRST"},
                 {0, "Unknown Error"}, {-1, "Unknown Error"}, {1010, "Unknown Error"}};
    Rig r;
    for (auto c : cases) {
        r.engine.SetLastResult(c.code);
        char text[64];
        EXPECT_EQ(r.engine.GetLastError(text, sizeof text), c.code);
        EXPECT_STREQ(text, c.name);
    }
    r.engine.SetLastResult(1002);
    char small[5];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(r.engine.GetLastError(small, 5), 1002);
    EXPECT_STREQ(small, "ERRO");  // cut, and always terminated
    EXPECT_EQ(r.engine.GetLastError(nullptr, 0), 1002);
}

// Switching chip selects keeps the bus the device was started with: two chips side by side stay a
// 32-bit bus on the other chip select too.
TEST(EngineChipSelect, SwitchKeepsTheBusConfiguration) {
    Rig r(kitsim::DefaultNorPart(), true);
    r.kit.Attach(1, r.dual.get());
    r.host.preset = std::string(kLegacy16) + ";interleave=2;cs=2;csmap=1:8,0:0,0:0,0:0";
    ASSERT_EQ(r.engine.Init(0), 0);
    auto data = Pattern(256, 17);
    ASSERT_EQ(r.engine.NorProgramData(0x100, 256, data.data()), 0);
    std::vector<uint8_t> back(256);
    ASSERT_EQ(r.engine.NorReadData(0x100, 256, back.data()), 0);
    EXPECT_EQ(back, data);
    EXPECT_EQ(r.chip->Array()[0x80], data[0]);
    EXPECT_EQ(r.chip2->Array()[0x80], data[2]);
}

TEST(EngineChipSelect, ReadsAndProgramsSplitAtWindows) {
    kitsim::NorPart small = kitsim::SmallBootNorPart();  // 1 MiB
    Rig r(small);
    kitsim::NorChip second(small, r.kit.Clock());
    r.kit.Attach(1, &second);
    // CS0 holds the first MiB, CS1 the second.
    ASSERT_EQ(r.Open("jedec=0x490000;csmap=1:4,2:4,0:0,0:0"), 0);
    auto data = Pattern(4096, 9);
    ASSERT_EQ(r.engine.NorProgramData(0x100000 - 2048, 4096, data.data()), 0);
    EXPECT_EQ(0, std::memcmp(r.chip->Array().data() + 0x100000 - 2048, data.data(), 2048));
    EXPECT_EQ(0, std::memcmp(second.Array().data(), data.data() + 2048, 2048));
    std::vector<uint8_t> back(4096);
    ASSERT_EQ(r.engine.NorReadData(0x100000 - 2048, 4096, back.data()), 0);
    EXPECT_EQ(back, data);
    EXPECT_EQ(r.engine.NorReadData(0x200000, 2, back.data()), -1);  // no window holds it
}

// The reduced command family: no unlock cycles, its status register, its error bits.
TEST(EngineReduced, IdentifiesProgramsErasesAndReportsErrors) {
    Rig r(kitsim::ReducedNorPart());
    r.host.preset = "class=1;type=2;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E4901;programTimeout=50;eraseTimeout=50";
    ASSERT_EQ(r.engine.Init(0), 0);
    EXPECT_EQ(r.engine.Geometry().jedecId, 0x7E4901u);
    EXPECT_EQ(r.engine.Working().writeBufferBytes, 512u);
    EXPECT_EQ(r.engine.Working().unlock2, 0xAAAu);
    char text[512];
    r.engine.GetDeviceTextInfo(text);
    EXPECT_NE(std::string(text).find("-Type: Reduced Command NOR\r\n"), std::string::npos);
    auto data = Pattern(3000, 21);
    for (const char* words : {"0", "1"}) {
        SCOPED_TRACE(words);
        ASSERT_EQ(r.engine.NorEraseBlock(2), 0);
        r.engine.Settings().noWriteBuffer = *words == '1';
        ASSERT_EQ(r.engine.NorProgramData(0x20001, 3000, data.data()), 0);
        EXPECT_EQ(0, std::memcmp(r.chip->Array().data() + 0x20001, data.data(), 3000));
        EXPECT_EQ(r.chip->Array()[0x20000], 0xFF);
    }
    EXPECT_EQ(r.chip->IgnoredWrites(), 0u);
    uint16_t s = 0;
    ASSERT_EQ(r.engine.NorGetBlockStatus(0, &s), 0);
    EXPECT_EQ(s, 0x21);
    ASSERT_EQ(r.engine.NorSetBlockStatus(0, 0xFE), 0);
    EXPECT_EQ(r.chip->LockRegister(), 0xFFFE);
    ASSERT_EQ(r.engine.NorGetBlockStatus(0, &s), 0);
    EXPECT_EQ(s, 0x20);

    const uint8_t zero[2] = {0, 0};
    struct {
        const char* what;
        bool kitsim::NorFaults::*fault;
        bool erase;
        int32_t code;
    } faults[] = {{"program", &kitsim::NorFaults::failProgram, false, rook::ERROR_PROGRAM},
                  {"erase", &kitsim::NorFaults::failErase, true, rook::ERROR_ERASE},
                  {"stuck program", &kitsim::NorFaults::stuckBusy, false, rook::ERROR_PROGRAM},
                  {"stuck erase", &kitsim::NorFaults::stuckBusy, true, rook::ERROR_ERASE}};
    for (auto& f : faults) {
        SCOPED_TRACE(f.what);
        r.chip->Faults().*f.fault = true;
        EXPECT_EQ(f.erase ? r.engine.NorEraseBlock(5) : r.engine.NorProgramData(0x50000, 2, zero), -1);
        EXPECT_EQ(r.engine.LastResult(), f.code);
        r.chip->Faults() = {};
        r.engine.Init(17);  // the reset line clears what is left
    }
}

// A chip that answers no CFI query: the identification fails and the user is asked whether to go
// on with what the module knows.
TEST(EngineInit, ChipWithoutCfi) {
    for (int answer : {LX_IDYES, LX_IDNO}) {
        Rig r;
        r.chip->Faults().noCfi = true;
        LxPromptQueueAnswer(answer);
        EXPECT_EQ(r.Open(), answer == LX_IDYES ? 0 : -1);
        ASSERT_EQ(LxPromptRecordCount(), 1);
        EXPECT_STREQ(LxPromptRecordText(0),
                     "Your device has a correct device ID (0x7E1001), but it doesn't have correct CFI information.\n"
                     "Would you like the Tarn-Rook to use pre-defined information instead?\n");
    }
}

// The part with a second die behind address bit 27: program and erase cycles are sent with the
// base raised to that die, and the base is back afterwards.
TEST(EngineData, SecondDie) {
    kitsim::NorPart part = kitsim::DefaultNorPart();
    part.deviceId[1] = 0x2248;
    Rig r(part);
    kitsim::NorChip upper(part, r.kit.Clock());
    kitsim::TwoDieDevice package(r.chip.get(), &upper, 0x4000000);  // word address bit 26 = byte bit 27
    r.kit.Attach(0, &package);
    r.host.preset = "class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E4801";
    ASSERT_EQ(r.engine.Init(0), 0);
    auto data = Pattern(300, 4);
    ASSERT_EQ(r.engine.NorProgramData(0x8000000 + 0x100, 300, data.data()), 0);
    EXPECT_EQ(0, std::memcmp(upper.Array().data() + 0x100, data.data(), 300));
    EXPECT_EQ(r.chip->Array()[0x100], 0xFF);
    EXPECT_EQ(r.chip->IgnoredWrites() + upper.IgnoredWrites(), 0u);
    EXPECT_EQ(r.engine.BaseAddress(), 0x80000000u);
    std::vector<uint8_t> back(300);
    ASSERT_EQ(r.engine.NorReadData(0x8000000 + 0x100, 300, back.data()), 0);
    EXPECT_EQ(back, data);
}
