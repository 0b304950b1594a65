// The SPI half of the engine over a simulated kit with SPI chip models behind its serial
// controller: what the device API says it did must be what the chip holds, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>

#include "engine.h"
#include "kitsim/kit.h"
#include "kitsim/spi_chip.h"
#include "lumivex/prompt.h"
#include "pattern.h"
#include "sim_host.h"

using rook::Engine;

namespace {

std::string Folder() { return rook::SimInstallFolder(); }

const char* const kSpiCommon = "class=3;type=4;bus=8;interleave=1;cs=1;socket=1;vcc=3300;spiIo=1;programTimeout=50;eraseTimeout=200;";
// The catalogue rows of the three simulated parts.
const char* const kBessa = "jedec=0x010219;spiFamily=8;spiExtendedIdBytes=2;spiRegisters=0x5F";
const char* const kPirel = "jedec=0x010216;spiFamily=3;spiExtendedIdBytes=2;spiRegisters=0x1B";
const char* const kMarro =
    "jedec=0xFFEF4018;class=0x103;spiFamily=6;spiRegisters=0x17;predefinedCfi=1;cfiSize=0x1000000;cfiBuffer=256;cfiRegions=256:256";

struct SpiRig {
    kitsim::Kit kit;
    std::unique_ptr<kitsim::SpiChip> chip, upper;
    rook::SimHost host{kit, Folder()};
    Engine engine{host};

    explicit SpiRig(kitsim::SpiPart part = kitsim::BessaSpiPart(), bool twoDies = false) {
        chip = std::make_unique<kitsim::SpiChip>(part, kit.Clock());
        if (twoDies) upper = std::make_unique<kitsim::SpiChip>(part, kit.Clock());
        kit.AttachSerial(0, chip.get(), upper.get());
        LxPromptTestBegin();
    }
    ~SpiRig() { LxPromptTestEnd(); }
    int Open(const std::string& row, const std::string& extra = "") {
        host.preset = std::string(kSpiCommon) + row + ";" + extra;
        return engine.Init(0);
    }
    int Space(uint32_t mode) {
        engine.NorSetAsoMode(1);
        return engine.NorSetAsoMode(mode);
    }
    int ReadByte(uint32_t space, uint32_t address, uint8_t* value) {
        Space(space);
        int r = engine.NorReadData(address, 1, value);
        engine.NorSetAsoMode(1);
        return r;
    }
    int WriteBytes(uint32_t space, uint32_t address, std::vector<uint8_t> bytes) {
        Space(space);
        int r = engine.NorProgramData(address, static_cast<uint32_t>(bytes.size()), bytes.data());
        engine.NorSetAsoMode(1);
        return r;
    }
    bool PromptSeen(const char* text) {
        for (int i = 0; i < LxPromptRecordCount(); ++i)
            if (std::strstr(LxPromptRecordText(i), text)) return true;
        return false;
    }
};


}  // namespace

TEST(SpiOpen, IdentifiesByIdAndCfiInTheIdAnswer) {
    struct Case {
        kitsim::SpiPart part;
        const char* row;
        uint32_t jedec, extended, size, unit, regions;
        int code;
    } cases[] = {
        {kitsim::BessaSpiPart(), kBessa, 0x010219, 0x4D01, 32u << 20, 64u << 10, 2, 3006},
        {kitsim::PirelSpiPart(), kPirel, 0x010216, 0x4D00, 8u << 20, 64u << 10, 1, 3004},
    };
    for (Case& c : cases) {
        SpiRig r(c.part);
        ASSERT_EQ(r.Open(c.row), 0) << c.row;
        EXPECT_EQ(LxPromptRecordCount(), 0);
        EXPECT_EQ(r.engine.Init(3), c.code);
        EXPECT_EQ(r.engine.Geometry().jedecId, c.jedec);
        EXPECT_EQ(r.engine.SpiExtendedId(), c.extended);
        EXPECT_EQ(r.engine.Geometry().chipSize, c.size);
        EXPECT_EQ(r.engine.Geometry().unitSize, c.unit);
        EXPECT_EQ(r.engine.Geometry().busConfig, 1);
        EXPECT_EQ(r.engine.Cfi().regionCount, c.regions);
        EXPECT_EQ(r.engine.SpiWorking().pageBytes, 256u);
        EXPECT_EQ(r.engine.BytesPerDevice(), c.size);
        EXPECT_FALSE(r.engine.SpiNoCfiInId());
    }
    SpiRig r;
    ASSERT_EQ(r.Open(kBessa), 0);
    EXPECT_EQ(r.engine.NorGetBlockSize(0), 4096u);
    EXPECT_EQ(r.engine.NorGetBlockSize(31), 4096u);
    EXPECT_EQ(r.engine.NorGetBlockSize(32), 65536u);
    EXPECT_EQ(r.engine.NorGetBlockSize(32 + 510), 0u);
    // The ID space answers the ID and its CFI table; the configuration register's parameter bit
    // puts the small sectors on top.
    uint8_t qry[3];
    r.Space(0x8);
    ASSERT_EQ(r.engine.NorReadData(0x10, 3, qry), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(qry), 3), "QRY");
    ASSERT_EQ(r.WriteBytes(0x20000, 0, {0x04}), 0);
    r.engine.Init(1);
    ASSERT_EQ(r.Open(kBessa), 0);
    EXPECT_EQ(r.engine.NorGetBlockSize(0), 65536u);
    EXPECT_EQ(r.engine.NorGetBlockSize(510), 4096u);
}

// A part without CFI in its ID answer and the catalogue's no-CFI mark used to open with -1 and no
// geometry: it opens with the catalogue's predefined geometry. Its SFDP table is in the CFI space.
TEST(SpiOpen, PartWithoutCfiTakesThePredefinedGeometry) {
    SpiRig r(kitsim::MarroSpiPart());
    ASSERT_EQ(r.Open(kMarro), 0);
    EXPECT_EQ(LxPromptRecordCount(), 0);
    EXPECT_TRUE(r.engine.SpiNoCfiInId());
    EXPECT_EQ(r.engine.Init(3), 3001);
    EXPECT_EQ(r.engine.Geometry().jedecId, 0xFFEF4018u);
    EXPECT_EQ(r.engine.Geometry().chipSize, 16u << 20);
    EXPECT_EQ(r.engine.NorGetBlockSize(255), 65536u);
    EXPECT_EQ(r.engine.NorGetBlockSize(256), 0u);
    uint8_t sfdp[8];
    r.Space(0x4);
    ASSERT_EQ(r.engine.NorReadData(0, 4, sfdp), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(sfdp), 4), "SFDP");
    ASSERT_EQ(r.engine.NorReadData(0x84, 4, sfdp), 0);
    uint32_t bits = sfdp[0] | sfdp[1] << 8 | sfdp[2] << 16 | uint32_t(sfdp[3]) << 24;
    EXPECT_EQ(bits + 1, (16u << 20) * 8);
    // Offsets past 255 are the table's too (this one lies beyond its end), not its start again.
    ASSERT_EQ(r.engine.NorReadData(0x184, 4, sfdp), 0);
    EXPECT_EQ(std::vector<uint8_t>(sfdp, sfdp + 4), std::vector<uint8_t>(4, 0xFF));

    // Without a predefined geometry the open still tells the caller it has none.
    SpiRig bare(kitsim::MarroSpiPart());
    EXPECT_EQ(bare.Open("jedec=0xFFEF4018;class=0x103;spiFamily=6;spiRegisters=0x17"), -1);
}

TEST(SpiData, ProgramAcrossPagesAndBanksAgreesWithTheChipByteForByte) {
    struct Case {
        const char* extra;
        uint32_t address;
        size_t length;
    } cases[] = {
        {"", 0x1000F0, 300},                 // chunks of 16, 256 and 28 bytes
        {"", 0xFFFF00, 5000},                // across the 16 MiB bank boundary
        {"force4Byte=1", 0x1FFF80, 700},
        {"force4Byte=1", 0xFFFFF0, 64},
        {"spiIo=2", 0x10003, 1000},
        {"force80MHz=1", 0x20001, 513},
    };
    for (const Case& c : cases) {
        SpiRig r;
        ASSERT_EQ(r.Open(kBessa, c.extra), 0) << c.extra;
        auto data = Pattern(c.length, c.address);
        ASSERT_EQ(r.engine.NorProgramData(c.address, static_cast<uint32_t>(c.length), data.data()), 0) << c.extra;
        auto& a = r.chip->Array();
        EXPECT_TRUE(std::equal(data.begin(), data.end(), a.begin() + c.address)) << c.extra << " " << std::hex << c.address;
        EXPECT_EQ(a[c.address - 1], 0xFF);
        EXPECT_EQ(a[c.address + c.length], 0xFF);
        std::vector<uint8_t> back(c.length + 2);
        ASSERT_EQ(r.engine.NorReadData(c.address - 1, static_cast<uint32_t>(back.size()), back.data()), 0);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), a.begin() + c.address - 1)) << c.extra;
        EXPECT_EQ(r.chip->RefusedWithoutWren(), 0u);
        EXPECT_EQ(LxPromptRecordCount(), 0);
    }
}

TEST(SpiData, QuadModeFollowsTheConfigurationRegister) {
    SpiRig r;
    ASSERT_EQ(r.Open(kBessa), 0);
    ASSERT_EQ(r.WriteBytes(0x20000, 0, {0x02}), 0);
    EXPECT_EQ(r.chip->Config(), 0x02);
    EXPECT_EQ(r.engine.Settings().spiIoMode, 4);
    auto data = Pattern(600, 7);
    ASSERT_EQ(r.engine.NorProgramData(0x300, 600, data.data()), 0);
    std::vector<uint8_t> back(600);
    ASSERT_EQ(r.engine.NorReadData(0x300, 600, back.data()), 0);
    EXPECT_EQ(back, data);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), r.chip->Array().begin() + 0x300));
    // Clearing the bit takes quad transfers back: the chip would ignore them.
    ASSERT_EQ(r.WriteBytes(0x20000, 0, {0x00}), 0);
    EXPECT_EQ(r.engine.Settings().spiIoMode, 1);
    ASSERT_EQ(r.engine.NorReadData(0x300, 600, back.data()), 0);
    EXPECT_EQ(back, data);
}

TEST(SpiData, EraseTakesTheCommandOfTheBlockSize) {
    SpiRig r;
    ASSERT_EQ(r.Open(kBessa), 0);
    auto& a = r.chip->Array();
    std::fill(a.begin(), a.begin() + 0x40000, 0x00);
    ASSERT_EQ(r.engine.NorEraseBlock(1), 0);                 // 4 KiB at 0x1000
    EXPECT_TRUE(std::all_of(a.begin() + 0x1000, a.begin() + 0x2000, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(a[0x0FFF], 0x00);
    EXPECT_EQ(a[0x2000], 0x00);
    ASSERT_EQ(r.engine.NorEraseBlock(33), 0);                // 64 KiB at 0x30000
    EXPECT_TRUE(std::all_of(a.begin() + 0x30000, a.begin() + 0x40000, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(a[0x2FFFF], 0x00);
    EXPECT_EQ(r.engine.NorEraseBlock(32 + 510), -1);
    EXPECT_EQ(r.engine.LastResult(), rook::ERROR_INVALID_PARAMETER_INPUT);
    // Beyond the first bank, by bank register and by four-byte address.
    for (const char* extra : {"", "force4Byte=1"}) {
        SpiRig big;
        ASSERT_EQ(big.Open(kBessa, extra), 0);
        auto& b = big.chip->Array();
        std::fill(b.begin() + 0x1FF0000, b.end(), 0x00);
        ASSERT_EQ(big.engine.NorEraseBlock(32 + 509), 0) << extra;   // the last 64 KiB
        EXPECT_TRUE(std::all_of(b.begin() + 0x1FF0000, b.end(), [](uint8_t v) { return v == 0xFF; })) << extra;
        EXPECT_EQ(big.chip->Bank() & 0x7F, extra[0] ? 0 : 1);
    }
}

TEST(SpiRegisters, StatusConfigurationAndStatusTwoAndThreeReadAndWritten) {
    SpiRig r;
    ASSERT_EQ(r.Open(kBessa), 0);
    uint8_t v = 0xAA;
    ASSERT_EQ(r.WriteBytes(0x10000, 0, {0x0C}), 0);
    EXPECT_EQ(r.chip->Status1(), 0x0C);
    ASSERT_EQ(r.ReadByte(0x10000, 0, &v), 0);
    EXPECT_EQ(v, 0x0C);
    ASSERT_EQ(r.WriteBytes(0x20000, 0, {0x20}), 0);
    EXPECT_EQ(r.chip->Status1(), 0x0C) << "status 1 kept";
    ASSERT_EQ(r.ReadByte(0x20000, 0, &v), 0);
    EXPECT_EQ(v, 0x20);
    ASSERT_EQ(r.WriteBytes(0x40000, 0, {0x81}), 0);
    EXPECT_EQ(r.chip->Status2(), 0x81);
    ASSERT_EQ(r.ReadByte(0x40000, 0, &v), 0);
    EXPECT_EQ(v, 0x81);
    EXPECT_EQ(r.chip->Config(), 0x20);
    EXPECT_EQ(r.WriteBytes(0x80000, 0, {0x01}), -1) << "no status 3 writes in this family";

    SpiRig m(kitsim::MarroSpiPart());
    ASSERT_EQ(m.Open(kMarro), 0);
    ASSERT_EQ(m.WriteBytes(0x80000, 0, {0x60}), 0);
    EXPECT_EQ(m.chip->Status3(), 0x60);
    ASSERT_EQ(m.WriteBytes(0x10000, 0, {0x04}), 0);
    EXPECT_EQ(m.chip->Status1(), 0x04);
    EXPECT_EQ(m.chip->Status3(), 0x60) << "the three-register frame keeps the others";
    ASSERT_EQ(m.ReadByte(0x80000, 0, &v), 0);
    EXPECT_EQ(v, 0x60);
    EXPECT_EQ(m.Space(0x200000), -1) << "no data learning space";
    EXPECT_EQ(m.engine.SpiSpace(), 0u);
}

// Block protection: the chip refuses the program and reports P_ERR; the device API answers -1
// at once (the chip is ready, there is nothing to wait for) with the code of a protected area;
// the sticky error is cleared so the next program elsewhere works.
TEST(SpiRegisters, BlockProtectionRefusesTheWriteAndTheErrorIsReported) {
    SpiRig r;
    ASSERT_EQ(r.Open(kBessa), 0);
    ASSERT_EQ(r.WriteBytes(0x10000, 0, {0x04}), 0);          // BP0: the top 1/64
    const uint32_t top = (32u << 20) - 0x1000;
    uint8_t data[4] = {1, 2, 3, 4};
    const uint64_t t0 = r.kit.Clock().NowNs();
    EXPECT_EQ(r.engine.NorProgramData(top, 4, data), -1);
    EXPECT_LT(r.kit.Clock().NowNs() - t0, 20000000ull) << "not the program time-out";
    EXPECT_EQ(r.engine.LastResult(), rook::ERROR_WRITE_PROTECTED);
    EXPECT_FALSE(r.PromptSeen("User timeout occurred..."));
    EXPECT_EQ(r.chip->Array()[top], 0xFF);
    EXPECT_EQ(r.chip->Status1() & 0x60, 0) << "error bits cleared after the report";
    EXPECT_EQ(r.engine.NorProgramData(0x1000, 4, data), 0);
    EXPECT_EQ(r.chip->Array()[0x1003], 4);
    EXPECT_EQ(r.engine.NorEraseBlock(32 + 509), -1);
    EXPECT_EQ(r.engine.LastResult(), rook::ERROR_WRITE_PROTECTED);
}

TEST(SpiRegisters, AddressSpacesNeedTheirCapability) {
    SpiRig r(kitsim::PirelSpiPart());
    ASSERT_EQ(r.Open(kPirel, "spiRegisters=0x0B"), 0);
    EXPECT_EQ(r.Space(0x100000), -1);
    EXPECT_EQ(r.engine.SpiSpace(), 0u);
    EXPECT_EQ(r.Space(0x8), 0);
    EXPECT_EQ(r.engine.SpiSpace(), 3u);
    EXPECT_EQ(r.engine.NorSetAsoMode(0x9), 0);
    EXPECT_EQ(r.engine.SpiSpace(), 0u);
    EXPECT_EQ(r.engine.NorEraseBlock(0), 0);
}

TEST(SpiOtp, OtpRegionsProgramAndLockAndTheChipRefusesAfterwards) {
    struct Case {
        kitsim::SpiPart part;
        const char* row;
        uint32_t data, lockByte;
        uint8_t lockBit;
    } cases[] = {
        {kitsim::BessaSpiPart(), kBessa, 0xBF, 0x10, 5},     // region 5, last byte
        {kitsim::PirelSpiPart(), kPirel, 0x111, 0x100, 1},   // ESN2, last byte
        {kitsim::PirelSpiPart(), kPirel, 0x216, 0x214, 0},   // OTP17, first byte
    };
    for (Case& c : cases) {
        SpiRig r(c.part);
        ASSERT_EQ(r.Open(c.row), 0) << c.row;
        const uint32_t base = c.part.otpBase;
        ASSERT_EQ(r.WriteBytes(0x100000, c.data, {0x3C}), 0);
        EXPECT_EQ(r.chip->Otp()[c.data - base], 0x3C);
        uint8_t v = 0;
        ASSERT_EQ(r.ReadByte(0x100000, c.data, &v), 0);
        EXPECT_EQ(v, 0x3C);
        ASSERT_EQ(r.ReadByte(0x100000, c.lockByte, &v), 0);
        ASSERT_EQ(r.WriteBytes(0x100000, c.lockByte, {static_cast<uint8_t>(v & ~(1u << c.lockBit))}), 0);
        EXPECT_EQ(r.WriteBytes(0x100000, c.data, {0x00}), -1) << std::hex << c.data;
        EXPECT_EQ(r.engine.LastResult(), rook::ERROR_PROGRAM);
        EXPECT_EQ(r.chip->Otp()[c.data - base], 0x3C);
        // The area reads back whole through the OTP space, as the OTP pages dump it.
        std::vector<uint8_t> all(c.part.otpBytes);
        r.Space(0x100000);
        ASSERT_EQ(r.engine.NorReadData(base, static_cast<uint32_t>(all.size()), all.data()), 0);
        EXPECT_EQ(all, r.chip->Otp());
    }
}

TEST(SpiOtp, SecurityRegistersProgramEraseAndLockThroughStatusTwo) {
    SpiRig r(kitsim::MarroSpiPart());
    ASSERT_EQ(r.Open(kMarro), 0);
    ASSERT_EQ(r.WriteBytes(0x100000, 0x20FF, {0xA5}), 0);
    EXPECT_EQ(r.chip->SecurityRegister(2)[0xFF], 0xA5);
    std::vector<uint8_t> reg(256);
    r.Space(0x100000);
    ASSERT_EQ(r.engine.NorReadData(0x2000, 256, reg.data()), 0);
    EXPECT_EQ(reg, r.chip->SecurityRegister(2));
    ASSERT_EQ(r.engine.NorEraseBlock(2), 0);
    EXPECT_EQ(r.chip->SecurityRegister(2)[0xFF], 0xFF);
    // Lock register 3 (status register 2 bit 5): the chip keeps it as it is from then on.
    ASSERT_EQ(r.WriteBytes(0x100000, 0x3000, {0x11}), 0);
    uint8_t sr2 = 0;
    ASSERT_EQ(r.ReadByte(0x20000, 0, &sr2), 0);
    ASSERT_EQ(r.WriteBytes(0x20000, 0, {static_cast<uint8_t>(sr2 | 0x20)}), 0);
    ASSERT_EQ(r.ReadByte(0x20000, 0, &sr2), 0);
    EXPECT_EQ(sr2 & 0x20, 0x20);
    r.WriteBytes(0x100000, 0x3001, {0x22});
    r.Space(0x100000);
    r.engine.NorEraseBlock(3);
    EXPECT_EQ(r.chip->SecurityRegister(3)[0], 0x11);
    EXPECT_EQ(r.chip->SecurityRegister(3)[1], 0xFF);
    ASSERT_EQ(r.WriteBytes(0x20000, 0, {0x00}), 0);
    EXPECT_EQ(r.chip->Config() & 0x20, 0x20) << "a lock bit stays set";
}

TEST(SpiOtp, DataLearningVolatileAndNonVolatile) {
    SpiRig r;
    ASSERT_EQ(r.Open(kBessa), 0);
    uint8_t v = 0;
    ASSERT_EQ(r.WriteBytes(0x200000, 0, {0x5A, 'N'}), 0);
    EXPECT_EQ(r.chip->DataLearning(), 0x5A);
    ASSERT_EQ(r.ReadByte(0x200000, 0, &v), 0);
    EXPECT_EQ(v, 0x5A);
    ASSERT_EQ(r.WriteBytes(0x200000, 0, {0x33, 'V'}), 0);
    EXPECT_EQ(r.chip->VolatileDataLearning(), 0x33);
    EXPECT_EQ(r.chip->DataLearning(), 0x5A);
    EXPECT_EQ(r.chip->RefusedWithoutWren(), 0u);
}

TEST(SpiProtection, PersistentDynamicLockBitAndTheStatusWord) {
    SpiRig r;
    ASSERT_EQ(r.Open(kBessa), 0);
    uint16_t s = 0;
    ASSERT_EQ(r.engine.NorGetBlockStatus(40, &s), 0);
    EXPECT_EQ(s, 0x1506) << "unprotected, lock bit clear, ASP bits 1 and 2 unprogrammed";
    const uint32_t block40 = r.engine.BlockIndexToOffset(40);
    struct Step {
        uint32_t status;
        uint16_t expect;   // bits 0x3F00 of block 40's status word afterwards
    } steps[] = {{0x2000, 0x2500}, {0x1000, 0x1500}, {0x200, 0x1600}, {0x100, 0x1500}, {0x200, 0x1600}, {0x800, 0x1A00}};
    for (const Step& st : steps) {
        ASSERT_EQ(r.engine.NorSetBlockStatus(40, st.status), 0) << std::hex << st.status;
        ASSERT_EQ(r.engine.NorGetBlockStatus(40, &s), 0);
        EXPECT_EQ(s & 0x3F00, st.expect) << std::hex << st.status;
    }
    uint8_t b = 0;
    EXPECT_EQ(r.engine.NorProgramData(block40, 1, &b), -1) << "the persistent bit protects the block";
    // With the lock bit set the persistent bits stay until power-up.
    EXPECT_EQ(r.engine.NorSetBlockStatus(0, 0x100), -1);
    EXPECT_TRUE(r.chip->Ppb(r.chip->SectorOf(block40)));
    r.engine.Init(18);
    ASSERT_EQ(r.engine.NorSetBlockStatus(0, 0x100), 0);
    EXPECT_FALSE(r.chip->Ppb(r.chip->SectorOf(block40)));
    // A non-zero low byte programs ASP bits 1 and 2 where they are clear in the status.
    ASSERT_EQ(r.engine.NorSetBlockStatus(0, 0x04), 0);
    EXPECT_EQ(r.chip->Asp() & 0x06, 0x04);
    ASSERT_EQ(r.engine.NorGetBlockStatus(0, &s), 0);
    EXPECT_EQ(s & 0x06, 0x04);
}

TEST(SpiProtection, PasswordProgramUnlockAndReadIntoACheckedBuffer) {
    SpiRig r;
    ASSERT_EQ(r.Open(kBessa), 0);
    const uint16_t words[4] = {0xA1A2, 0xB1B2, 0xC1C2, 0xD1D2};
    for (uint32_t i = 0; i < 4; ++i) ASSERT_EQ(r.engine.NorSetBlockStatus((uint32_t(words[i]) << 16) | i, 0x4000), 0);
    EXPECT_EQ(r.chip->Password(), ~0ull) << "slots alone do not reach the chip";
    ASSERT_EQ(r.engine.NorSetBlockStatus(0xFFFF, 0x4000), 0);
    EXPECT_EQ(r.chip->Password(), 0xD1D2C1C2B1B2A1A2ull);
    EXPECT_TRUE(r.PromptSeen("Password Read (PASSRD E7h) shows 0xA2 0xA1 0xB2 0xB1 0xC2 0xC1 0xD2 0xD1"));

    // The read's buffer comes as a 32-bit address: only one the host vouches for is written.
    uint8_t buffer[8] = {};
    r.host.callerBuffers[0x1234] = {buffer, 8};
    ASSERT_EQ(r.engine.NorSetBlockStatus(0x1234, 0xC000), 0);
    EXPECT_EQ(buffer[0], 0xA2);
    EXPECT_EQ(buffer[7], 0xD1);
    EXPECT_EQ(r.engine.NorSetBlockStatus(0x5678, 0xC000), -1);
    EXPECT_EQ(r.engine.LastResult(), rook::ERROR_INVALID_HANDLE_PARAM);
    EXPECT_EQ(r.engine.NorSetBlockStatus(0, 0xC000), -1);

    // Password mode: after power-up the persistent bits are frozen until the right password.
    ASSERT_EQ(r.engine.NorSetBlockStatus(0, 0x02), 0);   // bit 2 clear: ASP password mode
    r.engine.Init(18);
    EXPECT_TRUE(r.chip->PpbLocked());
    EXPECT_EQ(r.engine.NorSetBlockStatus(7, 0x200), -1);
    LxPromptQueueAnswer(LX_IDYES);
    ASSERT_EQ(r.engine.NorSetBlockStatus(0x0000FFFF ^ 0xFFFF, 0x8000), 0);   // slot 0 := 0
    EXPECT_EQ(r.engine.NorSetBlockStatus(0xFFFF, 0x8000), -1);
    EXPECT_TRUE(r.PromptSeen("Password given does not match."));
    EXPECT_EQ(r.chip->Status1() & 0x40, 0) << "Yes cleared the status";
    ASSERT_EQ(r.engine.NorSetBlockStatus((0xA1A2u << 16) | 0, 0x8000), 0);
    ASSERT_EQ(r.engine.NorSetBlockStatus(0xFFFF, 0x8000), 0);
    EXPECT_TRUE(r.PromptSeen("Password unlocked."));
    EXPECT_FALSE(r.chip->PpbLocked());
    ASSERT_EQ(r.engine.NorSetBlockStatus(7, 0x200), 0);
}

// Every wait ends: a chip stuck busy, or one whose error bit stays set during a register write
// (a wait that had no time-out at all), answers a failure after the program time-out.
TEST(SpiWaits, StuckBusyAndErrorBitsEndInTime) {
    SpiRig r;
    ASSERT_EQ(r.Open(kBessa), 0);
    r.chip->Faults().stuckBusy = true;
    uint8_t b = 0;
    const uint64_t t0 = r.kit.Clock().NowNs();
    EXPECT_EQ(r.engine.NorProgramData(0, 1, &b), -1);
    EXPECT_LT(r.kit.Clock().NowNs() - t0, 2000000000ull);
    EXPECT_TRUE(r.PromptSeen("User timeout occurred..."));
    r.chip->Faults().stuckBusy = false;
    r.engine.Init(17);   // the reset line ends the stuck operation

    // A refused program leaves P_ERR; a register write's wait then sees the error state.
    r.chip->Faults().failProgram = true;
    r.chip->Select(true);
    for (uint8_t x : {0x06}) r.chip->Shift(x, 1);
    r.chip->Select(false);
    r.chip->Select(true);
    for (uint8_t x : {0x02, 0, 0, 0, 0}) r.chip->Shift(x, 1);
    r.chip->Select(false);
    r.chip->Faults().failProgram = false;
    ASSERT_EQ(r.chip->Status1() & 0x40, 0x40);
    EXPECT_EQ(r.WriteBytes(0x10000, 0, {0x00}), -1);
    EXPECT_EQ(r.chip->Status1() & 0x40, 0) << "cleared after the report";
    EXPECT_EQ(r.WriteBytes(0x10000, 0, {0x00}), 0);
}

// A wait that gives up ends the chip's operation with the reset line: the next program is judged
// by its own status (it was dropped behind the erase and answered success before), on a part with
// a bank register above 16 MiB as well.
TEST(SpiWaits, AnEraseThatTimedOutIsEndedBeforeTheNextCommand) {
    SpiRig r;
    ASSERT_EQ(r.Open(kBessa, "eraseTimeout=5"), 0);
    auto data = Pattern(16, 12);
    ASSERT_EQ(r.engine.NorProgramData(0x1000000, 16, data.data()), 0);  // the bank register is 1
    EXPECT_EQ(r.engine.NorEraseBlock(33), -1);
    EXPECT_TRUE(r.PromptSeen("User timeout occurred..."));
    EXPECT_FALSE(r.chip->Busy());
    ASSERT_EQ(r.engine.NorProgramData(0x100, 4, data.data()), 0);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 4, r.chip->Array().begin() + 0x100));
    ASSERT_EQ(r.engine.NorProgramData(0x1000100, 16, data.data()), 0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), r.chip->Array().begin() + 0x1000100));
}

// The password unlock waits for the chip's comparison with the program time-out as its bound.
TEST(SpiWaits, PasswordUnlockOfAChipThatStaysBusyEndsInTime) {
    SpiRig r;
    ASSERT_EQ(r.Open(kBessa), 0);
    for (uint32_t i = 0; i < 4; ++i) ASSERT_EQ(r.engine.NorSetBlockStatus(0xFFFF0000u | i, 0x8000), 0);  // the erased password
    r.chip->Faults().stuckBusy = true;
    const uint64_t t0 = r.kit.Clock().NowNs();
    EXPECT_EQ(r.engine.NorSetBlockStatus(0xFFFF, 0x8000), -1);
    EXPECT_LT(r.kit.Clock().NowNs() - t0, 2000000000ull);
    EXPECT_TRUE(r.PromptSeen("User timeout occurred..."));
    EXPECT_FALSE(r.PromptSeen("Password unlocked."));
}

// The part with JEDEC ID 0x7E4801 keeps its second die behind byte address bit 27.
TEST(SpiData, SecondDieOfTheTwoDiePart) {
    SpiRig r(kitsim::BessaSpiPart(), true);
    LxPromptQueueAnswer(LX_IDYES);   // the ID read is not the expected one
    ASSERT_EQ(r.Open(kBessa, "jedec=0x7E4801"), 0);
    auto data = Pattern(300, 5);
    ASSERT_EQ(r.engine.NorProgramData(0x8000100, 300, data.data()), 0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), r.upper->Array().begin() + 0x100));
    EXPECT_EQ(r.chip->Array()[0x100], 0xFF);
    std::vector<uint8_t> back(300);
    ASSERT_EQ(r.engine.NorReadData(0x8000100, 300, back.data()), 0);
    EXPECT_EQ(back, data);
    EXPECT_EQ(r.engine.BaseAddress(), 0x80000000u);
    ASSERT_EQ(r.engine.NorProgramData(0x100, 300, data.data()), 0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), r.chip->Array().begin() + 0x100));
}

// A reset or power cycle clears the chip's bank register: the next access above 16 MiB must write
// it again, not trust what it wrote before.
TEST(SpiData, BankIsWrittenAgainAfterAResetOrPowerCycle) {
    for (int mode : {17, 18}) {
        SpiRig r;
        ASSERT_EQ(r.Open(kBessa), 0);
        auto data = Pattern(16, static_cast<uint32_t>(mode));
        ASSERT_EQ(r.engine.NorProgramData(0x1000000, 16, data.data()), 0);
        r.engine.Init(mode);
        ASSERT_EQ(r.engine.NorProgramData(0x1000100, 16, data.data()), 0);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), r.chip->Array().begin() + 0x1000100)) << mode;
        EXPECT_EQ(r.chip->Array()[0x100], 0xFF) << mode;
    }
}

// A chip that turns ready on the very poll at which the time-out runs out has finished: the
// program is a success, not a time-out. (A 1 ms time-out, counted in whole milliseconds, runs out
// on the poll that sees a 450 us page program done.)
TEST(SpiWaits, ReadyOnTheLastPollIsASuccess) {
    kitsim::SpiPart part = kitsim::BessaSpiPart();
    part.pageProgramUs = 450;
    SpiRig r(part);
    ASSERT_EQ(r.Open(kBessa, "programTimeout=1"), 0);
    auto data = Pattern(256, 9);
    ASSERT_EQ(r.engine.NorProgramData(0, 256, data.data()), 0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), r.chip->Array().begin()));
    EXPECT_FALSE(r.PromptSeen("User timeout occurred..."));
}

// Chip erase (the module's own chip-erase call): the whole array of each part, both dies of the
// two-die part; with a block-protection bit set the chip ignores the command, and that is a failed
// erase with the data still there, on a part with error bits and on one without.
TEST(SpiErase, ChipEraseOfEachPartAndTheRefusals) {
    struct Case {
        const char* name;
        kitsim::SpiPart part;
        const char* row;
        const char* extra;
        bool twoDies;
        uint8_t protectBits;   // written to status register 1 first; 0 = none
    } cases[] = {
        {"Bessa", kitsim::BessaSpiPart(), kBessa, "", false, 0},
        {"Pirel", kitsim::PirelSpiPart(), kPirel, "", false, 0},
        {"Marro", kitsim::MarroSpiPart(), kMarro, "", false, 0},
        {"two dies", kitsim::BessaSpiPart(), kBessa, "jedec=0x7E4801", true, 0},
        {"Bessa protected", kitsim::BessaSpiPart(), kBessa, "", false, 0x04},
        {"Marro protected", kitsim::MarroSpiPart(), kMarro, "", false, 0x04},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SpiRig r(c.part, c.twoDies);
        if (c.twoDies) LxPromptQueueAnswer(LX_IDYES);   // the ID read is not the expected one
        ASSERT_EQ(r.Open(c.row, c.extra), 0);
        auto data = Pattern(64, 3);
        ASSERT_EQ(r.engine.NorProgramData(0x2000, 64, data.data()), 0);
        if (c.twoDies) ASSERT_EQ(r.engine.NorProgramData(0x8002000, 64, data.data()), 0);
        if (c.protectBits) ASSERT_EQ(r.WriteBytes(0x10000, 0, {c.protectBits}), 0);
        const int result = r.engine.NorChipErase();
        if (c.protectBits) {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(r.engine.LastResult(), rook::ERROR_WRITE_PROTECTED);
            EXPECT_TRUE(std::equal(data.begin(), data.end(), r.chip->Array().begin() + 0x2000));
            continue;
        }
        EXPECT_EQ(result, 0);
        for (kitsim::SpiChip* chip : {r.chip.get(), r.upper.get()}) {
            if (!chip) continue;
            EXPECT_EQ(std::count(chip->Array().begin(), chip->Array().end(), 0xFF),
                      static_cast<std::ptrdiff_t>(chip->Array().size()));
        }
    }
}
