// The SPI chip models as a host sees them through frames of bytes, and the kit's serial controller
// that carries those frames from bus cycles and array reads.
#include <gtest/gtest.h>

#include <vector>

#include "kitsim/kit.h"
#include "kitsim/spi_chip.h"

using namespace kitsim;

namespace {

using Bytes = std::vector<uint8_t>;

struct Spi {
    SimClock clock;
    SpiChip chip;
    explicit Spi(SpiPart part) : chip(std::move(part), clock) {}

    // One frame: the bytes out, then `in` bytes clocked back.
    Bytes Frame(const Bytes& out, size_t in = 0) {
        chip.Select(true);
        for (uint8_t b : out) chip.Shift(b, 1);
        Bytes r;
        for (size_t i = 0; i < in; ++i) r.push_back(chip.Shift(0xFF, 1));
        chip.Select(false);
        return r;
    }
    uint8_t Status() { return Frame({0x05}, 1)[0]; }
    void Wren() { Frame({0x06}); }
    void Wait() {
        for (int i = 0; i < 1000000 && (Status() & 1); ++i) clock.AdvanceUs(50);
        ASSERT_FALSE(Status() & 1);
    }
    Bytes Read(uint32_t a, size_t n) { return Frame({0x13, uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)}, n); }
    void Program(uint32_t a, const Bytes& data) {
        Wren();
        Bytes f = {0x12, uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
        f.insert(f.end(), data.begin(), data.end());
        Frame(f);
        Wait();
    }
    void Erase(uint8_t op, uint32_t a) {
        Wren();
        Frame({op, uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)});
        Wait();
    }
};

TEST(SpiChip, WritesWithoutWriteEnableDoNothingAndEachWriteClearsTheLatch) {
    Spi s(BessaSpiPart());
    s.Frame({0x12, 0, 0, 0, 0, 0x12, 0x34});
    EXPECT_EQ(s.Read(0, 2), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(s.chip.RefusedWithoutWren(), 1u);
    s.Wren();
    EXPECT_EQ(s.Status() & 0x02, 0x02);
    s.Frame({0x04});
    EXPECT_EQ(s.Status() & 0x02, 0);
    s.Program(0, {0x12, 0x34});
    EXPECT_EQ(s.Read(0, 2), (Bytes{0x12, 0x34}));
    EXPECT_EQ(s.Status() & 0x03, 0) << "the latch is gone after the program";
}

TEST(SpiChip, ProgramOnlyClearsBitsWrapsInsideThePageAndBusyShowsInWip) {
    Spi s(BessaSpiPart());
    s.Wren();
    s.Frame({0x12, 0, 0, 0, 0xFE, 0x0F, 0xF0, 0x55});
    EXPECT_EQ(s.Status() & 1, 1);
    EXPECT_EQ(s.Read(0, 1), Bytes{0xFF}) << "a busy chip ignores reads";
    s.Wait();
    EXPECT_EQ(s.Read(0xFE, 2), (Bytes{0x0F, 0xF0}));
    EXPECT_EQ(s.Read(0x00, 1), Bytes{0x55}) << "the third byte wrapped to the page start";
    s.Program(0xFE, {0xFF, 0x0F});
    EXPECT_EQ(s.Read(0xFE, 2), (Bytes{0x0F, 0x00}));
}

TEST(SpiChip, ErasesByUnitAndParameterSectorsFollowTheConfiguration) {
    Spi s(BessaSpiPart());
    const uint32_t top = (32u << 20) - 0x1000;
    for (uint32_t a : {0x0000u, 0x1000u, 0x20000u, 0x31000u, top}) s.Program(a, {0x00});
    s.Erase(0x21, 0x1000);
    EXPECT_EQ(s.Read(0x1000, 1), Bytes{0xFF});
    EXPECT_EQ(s.Read(0x0000, 1), Bytes{0x00});
    s.Erase(0x21, top);
    EXPECT_EQ(s.Status() & 0x20, 0x20) << "4 KiB erase outside the parameter sectors: E_ERR";
    EXPECT_EQ(s.Read(top, 1), Bytes{0x00});
    s.Frame({0x30});
    EXPECT_EQ(s.Status(), 0);
    s.Erase(0xDC, 0x30000);
    EXPECT_EQ(s.Read(0x31000, 1), Bytes{0xFF});
    EXPECT_EQ(s.Read(0x20000, 1), Bytes{0x00});
    s.Wren();
    s.Frame({0x60});
    s.Wait();
    EXPECT_EQ(s.Read(0, 1), Bytes{0xFF});
    EXPECT_EQ(s.Read(0x20000, 1), Bytes{0xFF});
}

TEST(SpiChip, BlockProtectionRefusesWritesWithTheErrorBitsUntilClearStatus) {
    struct Case {
        uint8_t bp;
        uint8_t config;
        uint32_t address;
        bool refused;
    } cases[] = {
        {1, 0x00, (32u << 20) - 0x100, true},      // top 1/64
        {1, 0x00, (31u << 20), false},
        {1, 0x20, 0x100, true},                     // counted from the bottom
        {6, 0x00, (16u << 20), true},               // top half
        {6, 0x00, (16u << 20) - 0x100, false},
        {7, 0x00, 0x100, true},                     // everything
    };
    for (const Case& c : cases) {
        Spi s(BessaSpiPart());
        s.Wren();
        s.Frame({0x01, uint8_t(c.bp << 2), c.config});
        s.Wait();
        EXPECT_EQ(s.chip.Protected(c.address), c.refused) << int(c.bp) << " " << std::hex << c.address;
        s.Program(c.address, {0x00});
        EXPECT_EQ(s.Read(c.address, 1)[0], c.refused ? 0xFF : 0x00);
        EXPECT_EQ(s.Status() & 0x40, c.refused ? 0x40 : 0);
        s.Frame({0x30});
        EXPECT_EQ(s.Status() & 0x60, 0);
    }
}

TEST(SpiChip, BankRegisterGivesThreeByteCommandsTheirHighAddressBitsAndFourByteMode) {
    Spi s(BessaSpiPart());
    s.Program(0x1000010, {0xAB});
    EXPECT_EQ(s.Frame({0x03, 0x00, 0x00, 0x10}, 1), Bytes{0xFF}) << "bank 0";
    s.Frame({0x17, 0x01});
    EXPECT_EQ(s.Frame({0x16}, 1), Bytes{0x01});
    EXPECT_EQ(s.Frame({0x03, 0x00, 0x00, 0x10}, 1), Bytes{0xAB});
    s.Frame({0x17, 0x80});
    EXPECT_EQ(s.Frame({0x03, 0x01, 0x00, 0x00, 0x10}, 1), Bytes{0xAB}) << "four address bytes with EXTADD";
    s.chip.HardwareReset();
    EXPECT_EQ(s.Frame({0x16}, 1), Bytes{0x00}) << "the bank register is volatile";
}

TEST(SpiChip, OtpRegionsLockForGood) {
    Spi s(BessaSpiPart());
    auto otp = [&](uint32_t a, Bytes data) {
        s.Wren();
        Bytes f = {0x42, uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
        f.insert(f.end(), data.begin(), data.end());
        s.Frame(f);
        s.Wait();
    };
    auto read = [&](uint32_t a, size_t n) { return s.Frame({0x4B, uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a), 0}, n); };
    otp(0x40, {0x12, 0x34});                     // region 2
    EXPECT_EQ(read(0x40, 2), (Bytes{0x12, 0x34}));
    otp(0x10, {0xFB});                           // lock bit 2
    otp(0x42, {0x00});
    EXPECT_EQ(s.Status() & 0x40, 0x40);
    EXPECT_EQ(read(0x42, 1), Bytes{0xFF});
    s.Frame({0x30});
    otp(0x60, {0x00});                           // region 3 is still open
    EXPECT_EQ(read(0x60, 1), Bytes{0x00});
}

TEST(SpiChip, SecurityRegistersLockThroughConfigurationBitsThatStaySet) {
    Spi s(MarroSpiPart());
    auto prog = [&](uint32_t a, uint8_t b) {
        s.Wren();
        s.Frame({0x42, uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a), b});
        s.Wait();
    };
    prog(0x2010, 0x5A);
    EXPECT_EQ(s.Frame({0x48, 0x00, 0x20, 0x10, 0}, 1), Bytes{0x5A});
    s.Wren();
    s.Frame({0x44, 0x00, 0x20, 0x00});
    s.Wait();
    EXPECT_EQ(s.Frame({0x48, 0x00, 0x20, 0x10, 0}, 1), Bytes{0xFF});
    s.Wren();
    s.Frame({0x01, 0x00, 0x10});                 // LB2
    s.Wait();
    s.Wren();
    s.Frame({0x01, 0x00, 0x00});                 // cannot be undone
    s.Wait();
    EXPECT_EQ(s.chip.Config() & 0x10, 0x10);
    prog(0x2010, 0x00);
    EXPECT_EQ(s.Frame({0x48, 0x00, 0x20, 0x10, 0}, 1), Bytes{0xFF});
    prog(0x1010, 0x00);
    EXPECT_EQ(s.Frame({0x48, 0x00, 0x10, 0x10, 0}, 1), Bytes{0x00});
}

TEST(SpiChip, PersistentAndDynamicBitsProtectSectorsAndThePasswordFreezesThem) {
    Spi s(BessaSpiPart());
    auto cmd4 = [&](uint8_t op, uint32_t a, Bytes data = {}) {
        s.Wren();
        Bytes f = {op, uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
        f.insert(f.end(), data.begin(), data.end());
        s.Frame(f);
        s.Wait();
    };
    cmd4(0xE3, 0x20000);
    EXPECT_EQ(s.Frame({0xE2, 0, 0x02, 0, 0}, 1), Bytes{0x00});
    s.Program(0x20000, {0x00});
    EXPECT_EQ(s.Read(0x20000, 1), Bytes{0xFF});
    s.Frame({0x30});
    s.Wren();
    s.Frame({0xE4});
    s.Wait();
    EXPECT_EQ(s.Frame({0xE2, 0, 0x02, 0, 0}, 1), Bytes{0xFF});
    cmd4(0xE1, 0x30000, {0x00});
    EXPECT_TRUE(s.chip.Dyb(3));
    s.chip.PowerCycle();
    EXPECT_FALSE(s.chip.Dyb(3)) << "dynamic bits are volatile";

    // Password mode: program the password, choose the mode, then the bits are frozen at power-up.
    s.Wren();
    s.Frame({0xE8, 1, 2, 3, 4, 5, 6, 7, 8});
    s.Wait();
    EXPECT_EQ(s.Frame({0xE7}, 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    s.Wren();
    s.Frame({0x2F, 0xFB, 0xFF});
    s.Wait();
    EXPECT_EQ(s.Frame({0x2B}, 2), (Bytes{0xFB, 0xFF}));
    EXPECT_EQ(s.Frame({0xE7}, 8), Bytes(8, 0xFF)) << "no read-back in password mode";
    s.chip.PowerCycle();
    EXPECT_EQ(s.Frame({0xA7}, 1), Bytes{0x00});
    cmd4(0xE3, 0x40000);
    EXPECT_FALSE(s.chip.Ppb(4));
    s.Frame({0x30});
    s.Frame({0xE9, 1, 2, 3, 4, 5, 6, 7, 9});
    s.Wait();
    EXPECT_EQ(s.Status() & 0x40, 0x40) << "a wrong password";
    s.Frame({0x30});
    s.Frame({0xE9, 1, 2, 3, 4, 5, 6, 7, 8});
    s.Wait();
    EXPECT_EQ(s.Frame({0xA7}, 1), Bytes{0x01});
    cmd4(0xE3, 0x40000);
    EXPECT_TRUE(s.chip.Ppb(4));
}

TEST(SpiChip, IdentificationCfiSfdpAndDataLearning) {
    Spi bessa(BessaSpiPart());
    Bytes id = bessa.Frame({0x9F}, 0x62);
    EXPECT_EQ(Bytes(id.begin(), id.begin() + 5), (Bytes{0x01, 0x02, 0x19, 0x4D, 0x01}));
    EXPECT_EQ(Bytes(id.begin() + 0x10, id.begin() + 0x13), (Bytes{'Q', 'R', 'Y'}));
    EXPECT_EQ(id[0x27], 25);
    EXPECT_EQ(id[0x2C], 2);
    EXPECT_EQ(Bytes(id.begin() + 0x51, id.begin() + 0x54), (Bytes{'P', 'R', 'I'}));
    bessa.Wren();
    bessa.Wren();
    bessa.Frame({0x43, 0x34});
    bessa.Wait();
    EXPECT_EQ(bessa.Frame({0x41}, 1), Bytes{0x34});
    bessa.Wren();
    bessa.Frame({0x4A, 0xC3});
    EXPECT_EQ(bessa.Frame({0x41}, 1), Bytes{0xC3});
    bessa.chip.PowerCycle();
    EXPECT_EQ(bessa.Frame({0x41}, 1), Bytes{0x34}) << "the volatile register starts from the non-volatile one";

    Spi marro(MarroSpiPart());
    id = marro.Frame({0x9F}, 0x14);
    EXPECT_EQ(Bytes(id.begin(), id.begin() + 3), (Bytes{0xEF, 0x40, 0x18}));
    EXPECT_NE(Bytes(id.begin() + 0x10, id.begin() + 0x13), (Bytes{'Q', 'R', 'Y'}));
    EXPECT_EQ(marro.Frame({0x5A, 0, 0, 0, 0}, 4), (Bytes{'S', 'F', 'D', 'P'}));
    Bytes density = marro.Frame({0x5A, 0, 0, 0x84, 0}, 4);
    EXPECT_EQ(density[0] | density[1] << 8 | density[2] << 16 | uint32_t(density[3]) << 24, (16u << 23) - 1);
    EXPECT_EQ(marro.Frame({0xAB, 0, 0, 0}, 1), Bytes{0x17});
}

TEST(SpiChip, QuadCommandsNeedTheQuadEnableBit) {
    Spi s(BessaSpiPart());
    s.Program(0x100, {0x42});
    EXPECT_EQ(s.Frame({0x6C, 0, 0, 1, 0, 0}, 1), Bytes{0xFF});
    s.Wren();
    s.Frame({0x01, 0x00, 0x02});
    s.Wait();
    EXPECT_EQ(s.Frame({0x6C, 0, 0, 1, 0, 0}, 1), Bytes{0x42});
}

// ----- the kit's serial controller

struct SerialKit : ::testing::Test {
    Kit kit;
    SpiChip lower{BessaSpiPart(), kit.Clock()};
    SpiChip upper{BessaSpiPart(), kit.Clock()};
    void SetUp() override {
        kit.AttachSerial(0, &lower, &upper);
        kit.SetRegister(12, 0x08);   // power
        kit.SetRegister(10, 0x08);   // serial interface
    }
    void Write(uint32_t address, uint8_t v) {
        kit.SetRegister(3, v);
        for (int i = 0; i < 4; ++i) kit.SetRegister(4 + i, uint8_t(address >> (24 - 8 * i)));
        uint8_t pair[2] = {3, 0x40};
        kit.StreamOut(pair, 2);
    }
    Bytes ArrayRead(uint32_t address, uint32_t n) {
        uint8_t p[64] = {0x81, 6, 0, 0x81};
        Kit::PutBE32(p + 4, address);
        Kit::PutBE32(p + 8, n);
        kit.CommandOut(p, 64);
        Bytes out(n);
        kit.InRead(0x86, out.data(), n);
        return out;
    }
};

TEST_F(SerialKit, FramesFromRegisterWritesAndReadsFromTheLaneOfTheReadAddress) {
    Write(0x80000010, 0);
    Write(0x80000000, 0x9F);
    EXPECT_EQ(ArrayRead(0x80000000, 3), (Bytes{0x01, 0x02, 0x19}));
    Write(0x80000010, 8);
    EXPECT_EQ(ArrayRead(0x80000000, 2), (Bytes{0xFF, 0xFF})) << "no frame open";
    Write(0x80000020, 4);
    EXPECT_EQ(kit.SerialReadMode(), 4);
    // The upper die answers frames addressed with bit 27.
    Write(0x88000010, 0);
    Write(0x88000000, 0x06);
    Write(0x88000010, 8);
    EXPECT_EQ(upper.Status1() & 2, 2);
    EXPECT_EQ(lower.Status1() & 2, 0);
    EXPECT_EQ(upper.Frames(), 1u);
}

}  // namespace
