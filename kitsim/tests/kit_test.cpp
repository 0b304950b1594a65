// The kit's side of the protocol: command packets, the bus stream, polling, array reads, burst write.
#include <gtest/gtest.h>

#include <vector>

#include "kitsim/kit.h"
#include "kitsim/nor_chip.h"

using namespace kitsim;

namespace {

struct KitFixture : ::testing::Test {
    Kit kit;
    NorChip chip{DefaultNorPart(), kit.Clock()};
    std::vector<uint8_t> stream;

    KitFixture() { kit.Attach(0, &chip); }

    std::vector<uint8_t> Command(std::vector<uint8_t> payload) {
        std::vector<uint8_t> p(64, 0);
        p[0] = 0x81;
        for (size_t i = 0; i < payload.size(); ++i) p[1 + i] = payload[i];
        kit.CommandOut(p.data(), p.size());
        std::vector<uint8_t> a(64);
        EXPECT_EQ(kit.InRead(0x81, a.data(), 64), 64u);
        return a;
    }
    void Pair(uint8_t value, uint8_t opcode) { stream.push_back(value); stream.push_back(opcode); }
    void Flush() {
        stream.resize((stream.size() / 512 + 1) * 512, 0);  // padded as the host sends it
        kit.StreamOut(stream.data(), stream.size());
        stream.clear();
    }
    void Configure16() {
        Pair(0x24 | 0x20, 0x2A);     // register 10: bus width code 1, bit 2
        Pair(0x08, 0x2C);            // register 12: socket power
        Flush();
    }
    void Write16(uint32_t word, uint16_t v, uint8_t poll = 3) {
        Pair(v >> 8, 0x22);
        Pair(v & 0xFF, 0x23);
        for (int i = 0; i < 4; ++i) Pair(static_cast<uint8_t>(word >> (24 - 8 * i)), static_cast<uint8_t>(0x24 + i));
        Pair(poll, 0x40);
    }
    std::vector<uint8_t> ArrayRead(uint8_t mode, uint8_t flags, uint32_t address, uint32_t length) {
        std::vector<uint8_t> cmd(11, 0);
        cmd[0] = 6;
        cmd[1] = mode;
        cmd[2] = flags;
        Kit::PutBE32(&cmd[3], address);
        Kit::PutBE32(&cmd[7], length);
        auto a = Command(cmd);
        EXPECT_EQ(a[2], 0);
        std::vector<uint8_t> data(length);
        EXPECT_EQ(kit.InRead(0x86, data.data(), length), length);
        return data;
    }
};

TEST_F(KitFixture, AnswersCarryCodeAndStatus) {
    struct Case {
        std::vector<uint8_t> payload;
        uint8_t status;
    } cases[] = {
        {{4}, kStatusOk},
        {{3}, kStatusUnknownCommand},
        {{0x55}, kStatusUnknownCommand},
        {{2, 0, 0x3A, 25, 0, 0, 0}, kStatusOk},
        {{2, 0, 0x3A, 26, 0, 0, 0}, kStatusBadParameter},
        {{2, 0, 0x3B, 1, 0, 0, 0}, kStatusBadParameter},
        {{9, 0, 0x57, 1, 1, 0, 60}, kStatusOk},
        {{9, 0, 0x57, 1, 1, 0, 61}, kStatusBadParameter},
        {{9, 0, 0x42, 1, 0, 0, 4}, kStatusNoDevice},
        {{8, 0, 0x50, 1, 0, 0, 53}, kStatusBadParameter},
        {{6, 0, 3, 0, 0, 0, 0, 0, 0, 0, 2}, kStatusBadParameter},
        {{10, 1, 1, 0, 0}, kStatusBadParameter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.payload[0]);
        auto a = Command(c.payload);
        EXPECT_EQ(a[0], 0x80);
        EXPECT_EQ(a[1], c.payload[0]);
        EXPECT_EQ(a[2], c.status);
    }
    uint8_t junk[64] = {0x42, 4};
    kit.CommandOut(junk, 64);
    uint8_t a[64];
    kit.InRead(0x81, a, 64);
    EXPECT_EQ(a[2], kStatusMalformed);
}

TEST_F(KitFixture, StatusReportsIdentitiesBigEndian) {
    kit.MutableIdentity().cpldId = 0x00008001;
    auto a = Command({4});
    EXPECT_EQ(a[3], 0x80);
    EXPECT_EQ(Kit::GetBE32(&a[12]), 0x00008001u);
    EXPECT_EQ(Kit::GetBE32(&a[16]), 0x00020005u);
    auto m = Command({11, 1, 0});
    EXPECT_EQ(m[1], 0x0B);
    EXPECT_TRUE(kit.MemoryModeSerial());
}

TEST_F(KitFixture, StreamWritesReachTheChipOnlyWithPower) {
    Pair(0x24 | 0x20, 0x2A);
    Write16(0x555, 0xAA);
    Write16(0x2AA, 0x55);
    Write16(0x555, 0xA0);
    Write16(0x10, 0x1234);
    Flush();
    kit.Clock().AdvanceUs(1000);
    EXPECT_EQ(chip.ArrayWord(0x10), 0xFFFF) << "socket power is off after power-up";

    Configure16();
    Write16(0x555, 0xAA);
    Write16(0x2AA, 0x55);
    Write16(0x555, 0xA0);
    Write16(0x10, 0x1234);
    Pair(0x77, 0x99);                // unknown opcode
    Flush();
    kit.Clock().AdvanceUs(1000);
    EXPECT_FALSE(chip.Busy());
    EXPECT_EQ(chip.ArrayWord(0x10), 0x1234);
    EXPECT_EQ(kit.IgnoredPairs(), 1u);
    EXPECT_EQ(ArrayRead(0, 0x82, 0x10, 2), (std::vector<uint8_t>{0x34, 0x12}));
}

TEST_F(KitFixture, AddressUnitsFollowTheBusWidth) {
    for (uint32_t i = 0; i < 8; ++i) chip.Array()[0x100 + i] = static_cast<uint8_t>(0x10 + i);
    Configure16();
    EXPECT_EQ(ArrayRead(0, 0x82, 0x80, 4), (std::vector<uint8_t>{0x10, 0x11, 0x12, 0x13}));
    EXPECT_EQ(ArrayRead(0, 0x82, 0x80000080, 2), (std::vector<uint8_t>{0x10, 0x11})) << "bits 28-31 ignored";
    Pair(0x04, 0x2A);                // 8-bit bus: byte addresses
    Flush();
    EXPECT_EQ(ArrayRead(0, 0x81, 0x101, 3), (std::vector<uint8_t>{0x11, 0x12, 0x13}));
    Pair(0x04 | 0x60, 0x2A);         // 32-bit bus: 16-bit units, one x16 chip answers the low half
    Flush();
    auto d = ArrayRead(0, 0x84, 0x100, 4);
    EXPECT_EQ(d[0], 0x10);
    EXPECT_EQ(d[1], 0x11);
}

TEST_F(KitFixture, WindowedBurstReadStartsAtTheBurstIndex) {
    for (uint32_t i = 0; i < 0x2000; ++i) chip.Array()[i] = static_cast<uint8_t>(i * 7);
    Configure16();
    Pair(0x02, 0x28);                // register 8: burst access
    Pair(0x00, 0x2C + 0);            // register 12 ... keep power below
    Pair(0x08 | 0x00, 0x2C);         // burst length code 0 = 4 words, power on
    for (int i = 0; i < 4; ++i) Pair(static_cast<uint8_t>(0x1000 >> (24 - 8 * i)), static_cast<uint8_t>(0x24 + i));
    Flush();
    // Window of 512 bursts × 8 bytes = 4 KiB holding byte address 0x1000; burst 3 starts at 0x1018.
    auto d = ArrayRead(2, 0x82, 3, 8);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(d[i], static_cast<uint8_t>((0x1018 + i) * 7));
}

TEST_F(KitFixture, DataPollingReportsDoneErrorAndTimeout) {
    Configure16();
    Write16(0x555, 0xAA);
    Write16(0x2AA, 0x55);
    Write16(0x555, 0xA0);
    Write16(0x20, 0x0000, 1);
    Flush();
    EXPECT_EQ(chip.ArrayWord(0x20), 0x0000) << "the kit waited for the program to end";
    EXPECT_EQ(Command({7})[3], kPollDone);

    chip.Faults().failProgram = true;
    Write16(0x555, 0xAA);
    Write16(0x2AA, 0x55);
    Write16(0x555, 0xA0);
    Write16(0x21, 0x0000, 1);
    Flush();
    EXPECT_EQ(Command({7})[3], kPollDeviceError);
    Command({1});                    // memory reset
    EXPECT_FALSE(chip.Busy());

    chip.Faults().failProgram = false;
    chip.Faults().stuckBusy = true;
    auto cfg = Command({5, 0, 1, 0, 0, 0, 1, 0, 0, 0x03, 0x63});  // enable, count 867 (10 ms)
    EXPECT_EQ(cfg[2], 0);
    uint64_t before = kit.Clock().NowNs();
    Write16(0x555, 0xAA);
    Write16(0x2AA, 0x55);
    Write16(0x555, 0xA0);
    Write16(0x22, 0x0000, 2);
    Flush();
    EXPECT_EQ(Command({7})[3], kPollTimeout);
    uint64_t waited = kit.Clock().NowNs() - before;
    EXPECT_GE(waited, 35000u + 867u * 11500u);
    EXPECT_LT(waited, 35000u + 867u * 11500u + 2000000u);

    // Without a timer the kit still gives up after its own bound.
    Command({1});
    Command({5, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0});
    Write16(0x555, 0xAA);
    Write16(0x2AA, 0x55);
    Write16(0x555, 0xA0);
    Write16(0x23, 0x0000, 1);
    Flush();
    EXPECT_EQ(Command({7})[3], kPollTimeout);
}

TEST_F(KitFixture, ResetLinePulseAndI2cSwitchResetTheSocket) {
    Configure16();
    Write16(0x555, 0xAA);
    Write16(0x2AA, 0x55);
    Write16(0x555, 0x90);
    Flush();
    EXPECT_EQ(ArrayRead(0, 0x82, 0, 2)[0], 0x01) << "autoselect";
    Pair(0x1C, 0x2B);
    Pair(0x18, 0x2B);
    Pair(0x1C, 0x2B);
    Flush();
    EXPECT_EQ(ArrayRead(0, 0x82, 0, 2)[0], 0xFF) << "reset back to the array";
    EXPECT_EQ(kit.ResetPulses(), 1u);
    auto a = Command({8, 0, 0x23, 1, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0x11});
    EXPECT_EQ(a[2], 0);
    EXPECT_EQ(kit.ResetPulses(), 2u);
}

TEST_F(KitFixture, EepromReadsWrapAndWritesStore) {
    auto a = Command({9, 0, 0x57, 1, 1, 0, 8, 0, 0, 0, 0});
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&a[4]), 7), "TARNKIT");
    Command({8, 0, 0x50, 1, 0, 0, 5, 0, 0, 0, 0, 0xFF, 0x3F, 1, 2, 3});  // address 0x3FFF
    a = Command({9, 0, 0x50, 1, 0, 0, 3, 0xFF, 0x3F, 0, 0});
    EXPECT_EQ(a[4], 1);
    EXPECT_EQ(a[5], 2) << "wrapped to address 0";
    EXPECT_EQ(a[6], 3);
}

TEST_F(KitFixture, BurstWriteTakesRawWordsThenPairsAgain) {
    Configure16();
    Write16(0x0, 0xFFFF);            // registers 4-7 = 0: window at 0
    Flush();
    Command({10, 1, 1, 0, 4, 0, 8, 0, 0, 0, 2});  // 4-word bursts, 8 words, from burst 2
    std::vector<uint8_t> raw;
    for (int i = 0; i < 8; ++i) {
        raw.push_back(static_cast<uint8_t>(i));
        raw.push_back(0x00);
    }
    raw.resize(512, 0xEE);
    // Writes of raw data to an erased NOR array without commands change nothing, so watch the
    // cycles through a recording device instead.
    struct Rec : SocketDevice {
        std::vector<std::pair<uint32_t, uint32_t>> w;
        void BusWrite(uint32_t a, uint32_t d, unsigned) override { w.push_back({a, d}); }
        uint32_t BusRead(uint32_t, unsigned) override { return 0; }
        void HardwareReset() override {}
        void PowerCycle() override {}
    } rec;
    kit.Attach(0, &rec);
    kit.StreamOut(raw.data(), raw.size());
    Command({10, 0, 0});
    ASSERT_EQ(rec.w.size(), 8u);
    EXPECT_EQ(rec.w[0].first, 8u) << "burst 2 of 4 words";
    EXPECT_EQ(rec.w[7].second, 7u);
    Write16(0x99, 0x4242);
    Flush();
    EXPECT_EQ(rec.w.back().first, 0x99u);
}

TEST_F(KitFixture, RampTablesLoadWhileTheStrobeIsSet) {
    Pair(0x08, 0x2C);
    Pair(0x18, 0x2C);
    Pair(3, 0x31);
    for (int i = 0; i < 64; ++i) Pair(static_cast<uint8_t>(i), 0x31);
    Pair(0x08, 0x2C);
    Pair(0x18, 0x2C);
    Pair(5, 0x30);
    Flush();
    EXPECT_EQ(kit.RampTable(false).size(), 65u) << "the 1.8 V table stays";
    EXPECT_EQ(kit.RampTable(true).size(), 1u);
    Pair(0x08, 0x2C);
    Pair(0x18, 0x2C);
    Pair(7, 0x31);
    Flush();
    EXPECT_EQ(kit.RampTable(false), std::vector<uint8_t>{7}) << "a new strobe restarts a table";
}

}  // namespace
