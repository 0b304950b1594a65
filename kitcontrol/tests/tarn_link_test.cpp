// The kit link against the simulated kit: queue rules, packet and stream formats, reads, and the NOR
// chip behind the bus ending up with the bytes the host meant.
#include <gtest/gtest.h>

#include <cstring>

#include "kitsim/kit.h"
#include "kitsim/nor_chip.h"
#include "sim_pipes.h"
#include "tarn_link.h"
#include "tarn_texts.h"

using namespace tarn;

namespace {

uint32_t Regs32(const kitsim::Kit& k, int first) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | k.Register(first + i);
    return v;
}

struct Link : ::testing::Test {
    kitsim::Kit kit;
    kitsim::NorChip chip{kitsim::DefaultNorPart(), kit.Clock()};
    lxtest::SimPipes pipes{kit};
    TarnLink link;

    Link() {
        kit.Attach(0, &chip);
        link.Attach(&pipes);
        pipes.streamSizes.clear();
    }
    void Start16() {
        ASSERT_TRUE(link.PowerControl(1).Ok());
        ASSERT_TRUE(link.TarnConfiguration(0, 1, 0).Ok());
        pipes.streamSizes.clear();
    }
    void ExpectFail(Result r, const char* text, HResult hr = kE_TARN) {
        EXPECT_EQ(r.hr, hr);
        ASSERT_NE(r.text, nullptr);
        EXPECT_STREQ(r.text, text);
    }
    void QProgram(uint32_t word, uint16_t value) {
        link.Qwrite16(0x555, 0xAA, 3);
        link.Qwrite16(0x2AA, 0x55, 3);
        link.Qwrite16(0x555, 0xA0, 3);
        link.Qwrite16(word, value, 1);
    }
};

TEST_F(Link, DirectWriteRefusesAQueueUntilFlushed) {
    Start16();
    ASSERT_TRUE(link.Qwrite16(0x10, 0x1234, 3).Ok());
    ExpectFail(link.Write16(0x20, 0x5678), text::kQueueNotEmpty);
    EXPECT_TRUE(pipes.streamSizes.empty()) << "nothing sent";
    ASSERT_TRUE(link.Qflush().Ok());
    EXPECT_EQ(pipes.streamSizes, (std::vector<uint32_t>{512}));
    EXPECT_TRUE(link.Write16(0x20, 0x5678).Ok());
    EXPECT_EQ(kit.Register(2), 0x56);
    EXPECT_EQ(kit.Register(3), 0x78);
    EXPECT_EQ(kit.Register(7), 0x20);
}

TEST_F(Link, QueueSendsFullBlocksAndKeepsTheRemainder) {
    Start16();
    // Each Qwrite16 queues 7 pairs = 14 bytes; 4682 of them make 65,548 bytes.
    Result last;
    for (int i = 0; i < 4682; ++i) last = link.Qwrite16(0x100, 0xFFFF, 3);
    ExpectFail(last, text::kQwrite16Incomplete);
    EXPECT_EQ(pipes.streamSizes, (std::vector<uint32_t>{65536}));
    EXPECT_EQ(link.QueueLength(), 12u);
    ASSERT_TRUE(link.Qflush().Ok());
    EXPECT_EQ(pipes.streamSizes.back(), 512u);

    // A queue of exactly 512 bytes goes out with a whole block of padding.
    for (int i = 0; i < 256; ++i) link.QwriteBurstData(0x0000);
    EXPECT_EQ(link.QueueLength(), 512u);
    ASSERT_TRUE(link.Qflush().Ok());
    EXPECT_EQ(pipes.streamSizes.back(), 1024u);

    // A failed flush keeps the queue.
    link.QwriteSPI(0x9F);
    pipes.failNext[kEpStreamOut] = 1;
    ExpectFail(link.Qflush(), text::kQflush);
    EXPECT_EQ(link.QueueLength(), 2u);
}

TEST_F(Link, StreamPaddingAndPacketDumps) {
    ASSERT_TRUE(link.QueueAddressCycle(0x01020304));
    EXPECT_EQ(pipes.streamSizes.back(), 512u);
    EXPECT_EQ(pipes.lastStream[16], 3);
    EXPECT_EQ(pipes.lastStream[17], 0x40);
    for (size_t i = 18; i < 512; ++i) ASSERT_EQ(pipes.lastStream[i], 0) << i;
    std::vector<uint8_t> block(1024, 0);
    ASSERT_TRUE(link.SendBusStream(block.data(), 1024));
    EXPECT_EQ(pipes.streamSizes.back(), 1024u);

    ASSERT_TRUE(link.QueueAddressCycle(0xA0B0C0D0));
    std::string w = link.GetWriteCommandPacket(18);
    EXPECT_EQ(w, " FF 20 FF 21 FF 22 FF 23 A0 24 B0 25 C0 26 D0 27\r\n 03 40\r\n");
    uint8_t v;
    link.Read8(0x1234, &v);
    std::string r = link.GetReadCommandPacket(1000);
    EXPECT_EQ(r.substr(0, 39), " 81 06 00 01 00 00 12 34 00 00 00 01 00");
    EXPECT_EQ(std::count(r.begin(), r.end(), '\n'), 5) << "64 bytes: four lines and the closing one";
}

TEST_F(Link, ValidationFailsBeforeAnythingChangesOrIsSent) {
    const uint8_t r10 = link.Register(10), r8 = link.Register(8), r12 = link.Register(12);
    ExpectFail(link.TarnConfiguration(0, 4, 0), text::kInvalidMemConfig);
    EXPECT_FALSE(link.Configured());
    EXPECT_EQ(link.Register(10), r10);
    ExpectFail(link.MemControlMode(1, 2, 32), text::kInvalidBurstLength);
    EXPECT_EQ(link.Register(8), r8);
    EXPECT_EQ(link.Register(12), r12);
    ExpectFail(link.TarnACCVoltageCtrl(2), text::kInvalidAcc);
    ExpectFail(link.TarnProtectVoltageCtrl(4), text::kInvalidProtect);
    ExpectFail(link.SetInitialAccessCycle(0), text::kAccessCycleRange);
    ExpectFail(link.SetInitialAccessCycle(21), text::kAccessCycleRange);
    ExpectFail(link.QsetNANDregMode(3), text::kInvalidNandReg);
    uint8_t buf[8];
    ExpectFail(link.AsyncArrayRead(0, 8, 3, buf), text::kInvalidBusWidth);
    ExpectFail(link.NANDArrayRead(8, 4, buf), text::kInvalidBusWidth);
    ExpectFail(link.BurstArrayRead(0, 8, 2, buf, 32), text::kInvalidReadBurstLength);
    ExpectFail(link.BurstArrayWrite(0, 12, 2, buf, 4), text::kBurstNotMultiple);
    ExpectFail(link.BurstRead8(0, 0, buf), text::kBurstRead8);
    ExpectFail(link.PageRead16(0, 0, buf), text::kPageRead16);
    EXPECT_TRUE(pipes.streamSizes.empty());
    EXPECT_EQ(pipes.transfers[kEpCommandOut], 0u);
}

TEST_F(Link, SetVoltageChecksSourceAndRange) {
    struct Case {
        int32_t source;
        uint32_t mv;
        HResult hr;
        const char* text;
        uint32_t step;
    } cases[] = {
        {0, 999, kE_INVALIDARG, text::kInvalidVoltage, 0},
        {0, 3501, kE_INVALIDARG, text::kInvalidVoltage, 0},
        {1, 1800, kE_NOTIMPL, text::kNotImplemented, 0},
        {-1, 1800, kE_NOTIMPL, text::kNotImplemented, 0},
        {0, 3500, kS_OK, nullptr, 25},
        {0, 1850, kS_OK, nullptr, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mv);
        Result r = link.SetVoltage(c.source, c.mv);
        EXPECT_EQ(r.hr, c.hr);
        if (c.text) EXPECT_STREQ(r.text, c.text);
        else EXPECT_EQ(kit.VoltageStep(), c.step);
    }
    kit.SetCommand(2, [](kitsim::Kit&, const uint8_t*, uint8_t* a) { a[2] = 1; });
    ExpectFail(link.SetVoltage(0, 1800), text::kSetupVcc);
    pipes.failNext[kEpCommandIn] = 1;
    ExpectFail(link.SetVoltage(0, 1800), text::kNoCommunication);
}

TEST_F(Link, RampUpTemplatesLoadTheTablesAndStopAtABadIndex) {
    for (bool is33 : {false, true}) {
        for (unsigned i = 0; i < 16; ++i) {
            const auto& t = RampUpTemplate(is33, i);
            EXPECT_NE(t.nParameter[63], 0) << "every row has 64 values";
        }
    }
    EXPECT_EQ(RampUpTemplate(false, 9).nDivision, 10);
    EXPECT_EQ(RampUpTemplate(true, 12).nDivision, 11);
    EXPECT_EQ(RampUpTemplate(false, 3).nParameter[42], 20);
    ExpectFail(link.SetRampUpTemplate(3, 16), text::kInvalidRampUpTemplate);
    const auto& t3 = RampUpTemplate(false, 3);
    std::vector<uint8_t> expect{t3.nDivision};
    expect.insert(expect.end(), t3.nParameter, t3.nParameter + 64);
    EXPECT_EQ(kit.RampTable(false), expect);
    EXPECT_TRUE(kit.RampTable(true).empty());
    EXPECT_EQ(pipes.streamSizes, (std::vector<uint32_t>{512}));
    EXPECT_EQ(link.Register(12) & 0x10, 0x10) << "the strobe stays set";
    ExpectFail(link.SetRampUpTemplate(-1, 0), text::kInvalidRampUpTemplate);
}

TEST_F(Link, PollingCountsAndTimeouts) {
    struct {
        uint32_t duration, count;
    } counts[] = {{0, 0}, {1, 867}, {10000, 867}, {20000, 1736}, {0xFFFFFFFF, 373475414}};
    for (const auto& c : counts) EXPECT_EQ(TarnLink::ConvertPollingDuration(c.duration), c.count) << c.duration;

    ASSERT_TRUE(link.ConfigTarnPollingMethod(2, 20000).Ok());
    EXPECT_TRUE(kit.PollingEnabled());
    EXPECT_EQ(kit.PollingTimerCount(), 1736u);
    EXPECT_EQ(pipes.Timeout(kEpDataIn), 21000u);
    ASSERT_TRUE(link.ConfigTarnPollingMethod(1, 0xFFFFFFFF).Ok());
    EXPECT_EQ(pipes.Timeout(kEpCommandIn), kInfinite);
    ASSERT_TRUE(link.ConfigTarnPollingMethod(1, 0xFFFFFC17).Ok());
    EXPECT_EQ(pipes.Timeout(kEpCommandIn), kInfinite - 1) << "saturates instead of wrapping to infinite";
    ASSERT_TRUE(link.ConfigTarnPollingMethod(3, 5000).Ok());
    EXPECT_FALSE(kit.PollingEnabled());
    EXPECT_EQ(pipes.Timeout(kEpStreamOut), 10000u);
    pipes.failNext[kEpCommandOut] = 1;
    ExpectFail(link.ConfigTarnPollingMethod(1, 100), text::kPollingTimer);
    EXPECT_EQ(pipes.Timeout(kEpDataIn), 1100u) << "time-outs are set all the same";
}

TEST_F(Link, MemoryModeNeedsTheRightAnswer) {
    EXPECT_TRUE(link.SetupMemoryMode(1, 0));
    kit.SetCommand(11, [](kitsim::Kit&, const uint8_t*, uint8_t* a) { a[1] = 0x0C; });
    EXPECT_FALSE(link.SetupMemoryMode(1, 0));
}

TEST_F(Link, IdentitiesAndStatus) {
    uint32_t id = 0;
    ASSERT_TRUE(link.GetFIRMWARE_ID(&id).Ok());
    EXPECT_EQ(id, 0x00020005u);
    ASSERT_TRUE(link.GetCPLD_ID(&id).Ok());
    EXPECT_EQ(id, 0x00000107u);
    uint8_t hs = 0;
    ASSERT_TRUE(link.GetUSB_HighSpeedFlag(&hs).Ok());
    EXPECT_EQ(hs, 1);
    pipes.failNext[kEpCommandOut] = 1;
    ExpectFail(link.GetCPLD_ID(&id), text::kReadCpldId);
    EXPECT_STREQ(link.LastMessage(), text::kReadCpldId);
}

TEST_F(Link, NorProgramEraseAndReadsThroughTheKit) {
    Start16();
    ASSERT_TRUE(link.ConfigTarnPollingMethod(1, 0xFFFFFFFF).Ok());
    QProgram(0x8000, 0xBEEF);
    QProgram(0x8001, 0x1234);
    ASSERT_TRUE(link.Qflush().Ok());
    uint16_t v = 0;
    ASSERT_TRUE(link.Read16(0x8000, &v).Ok());
    EXPECT_EQ(v, 0xBEEF);
    EXPECT_EQ(chip.ArrayWord(0x8001), 0x1234);
    uint8_t st = 9;
    ASSERT_TRUE(link.GetTarnPollingStatus(&st).Ok());
    EXPECT_EQ(st, 0);

    // A long array read advances by words: 40,000 bytes from word 0x7000 cover words 0x7000-0x11C3F.
    for (uint32_t i = 0; i < 40000; ++i) chip.Array()[0xE000 + i] = static_cast<uint8_t>(i * 13 + 1);
    std::vector<uint8_t> buf(40000);
    ASSERT_TRUE(link.NORArrayRead(0x7000, 40000, 2, buf.data()).Ok());
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), chip.Array().begin() + 0xE000));

    // Sector erase with the kit polling DQ6.
    link.Qwrite16(0x555, 0xAA, 3);
    link.Qwrite16(0x2AA, 0x55, 3);
    link.Qwrite16(0x555, 0x80, 3);
    link.Qwrite16(0x555, 0xAA, 3);
    link.Qwrite16(0x2AA, 0x55, 3);
    link.Qwrite16(0x8000, 0x30, 2);
    ASSERT_TRUE(link.Qflush().Ok());
    ASSERT_TRUE(link.Read16(0x8000, &v).Ok());
    EXPECT_EQ(v, 0xFFFF);
    EXPECT_EQ(chip.ArrayWord(0x8001), 0xFFFF);
    EXPECT_EQ(chip.ArrayWord(0x7FFF), static_cast<uint16_t>(((0xFFFE - 0xE000) * 13 + 1) & 0xFF) |
                                          static_cast<uint16_t>((((0xFFFF - 0xE000) * 13 + 1) & 0xFF) << 8))
        << "the sector before is untouched";
}

// A read whose data transfer failed (a pulled cable, a time-out) leaves its data on the endpoint:
// the next read must get its own words, not those.
TEST_F(Link, AFailedReadLeavesNoDataForTheNext) {
    Start16();
    chip.Array()[0x10] = 0x11;
    chip.Array()[0x11] = 0x22;
    chip.Array()[0x40] = 0x33;
    chip.Array()[0x41] = 0x44;
    uint16_t v = 0;
    pipes.failNext[kEpDataIn] = 1;
    EXPECT_FALSE(link.Read16(0x08, &v).Ok());
    ASSERT_TRUE(link.Read16(0x20, &v).Ok());
    EXPECT_EQ(v, 0x4433);
    std::vector<uint8_t> buf(64);
    pipes.failNext[kEpDataIn] = 1;
    EXPECT_FALSE(link.NORArrayRead(0x00, 64, 2, buf.data()).Ok());
    ASSERT_TRUE(link.Read16(0x08, &v).Ok());
    EXPECT_EQ(v, 0x2211);
}

TEST_F(Link, WriteBufferProgramWithTheConfirmCycle) {
    Start16();
    ASSERT_TRUE(link.ConfigTarnPollingMethod(1, 0xFFFFFFFF).Ok());
    const uint32_t sa = 0x10000;  // sector 2
    link.Qwrite16(0x555, 0xAA, 3);
    link.Qwrite16(0x2AA, 0x55, 3);
    link.Qwrite16(sa, 0x25, 3);
    link.Qwrite16(sa, 3, 3);
    const uint16_t words[4] = {0x0102, 0x0304, 0x0506, 0x0788};  // the last one has DQ7 set
    for (uint32_t i = 0; i < 4; ++i) link.Qwrite16(sa + i, words[i], 3);
    ASSERT_TRUE(link.QwriteBufCmd0029_0029(1).Ok());
    ASSERT_TRUE(link.Qflush().Ok());
    EXPECT_FALSE(chip.Busy()) << "the kit polled until the buffer was written";
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(chip.ArrayWord(sa + i), words[i]);
    uint8_t st = 9;
    ASSERT_TRUE(link.GetTarnPollingStatus(&st).Ok());
    EXPECT_EQ(st, 0);
}

TEST_F(Link, ReadsOfOtherWidthsAndModes) {
    for (uint32_t i = 0; i < 4096; ++i) chip.Array()[i] = static_cast<uint8_t>(i ^ 0x5A);
    Start16();
    std::vector<uint8_t> buf(4096);
    ASSERT_TRUE(link.BurstRead32(0, 4096, buf.data()).Ok());
    EXPECT_EQ(kit.InWaiting(0x86), 0u);
    EXPECT_EQ(link.Register(12) & 3, 0) << "burst mode left";
    auto reads = pipes.transfers[kEpDataIn];
    ASSERT_TRUE(link.BurstRead16(0, 4096, buf.data()).Ok());
    EXPECT_EQ(pipes.transfers[kEpDataIn], reads + 1);
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), chip.Array().begin()));
    std::vector<uint8_t> small(300, 0);
    ASSERT_TRUE(link.BurstRead8(0, 300, small.data()).Ok());
    EXPECT_EQ(small[299], 0) << "at most 256 bytes";
    const uint8_t r9 = link.Register(9);
    ASSERT_TRUE(link.PageRead16(0x10, 64, small.data()).Ok());
    EXPECT_EQ(small[0], chip.Array()[0x20]);
    EXPECT_EQ(link.Register(9), r9);
    EXPECT_EQ(kit.Register(9), r9);

    // Windowed burst read across a window boundary, 16-bit and 8-bit.
    ASSERT_TRUE(link.MemControlMode(0, 2, 4).Ok());
    std::vector<uint8_t> b2(600);
    ASSERT_TRUE(link.BurstArrayRead(0xF00, 600, 2, b2.data(), 4).Ok());
    EXPECT_TRUE(std::equal(b2.begin(), b2.end(), chip.Array().begin() + 0xF00));
    ASSERT_TRUE(link.TarnConfiguration(0, 0, 0).Ok());
    ASSERT_TRUE(link.MemControlMode(0, 2, 8).Ok());
    std::vector<uint8_t> b1(200);
    ASSERT_TRUE(link.BurstArrayRead(0xF80, 200, 1, b1.data(), 8).Ok());
    EXPECT_TRUE(std::equal(b1.begin(), b1.end(), chip.Array().begin() + 0xF80));
}

TEST_F(Link, ShortOrFailedReadsFail) {
    Start16();
    uint8_t buf[64];
    pipes.shortNext[kEpDataIn] = 1;
    ExpectFail(link.AsyncArrayRead(0, 64, 2, buf), text::kArrayRead);
    kit.InDiscard(0x86);
    uint16_t v;
    pipes.failNext[kEpDataIn] = 1;
    ExpectFail(link.Read16(0, &v), text::kRead16);
    kit.InDiscard(0x86);
    EXPECT_TRUE(link.Read16(0, &v).Ok());
}

TEST_F(Link, EepromReadsSplitIntoPackets) {
    std::vector<uint8_t> data(200);
    for (size_t i = 0; i < 200; ++i) kit.ControllerEeprom()[100 + i] = static_cast<uint8_t>(i);
    auto before = pipes.transfers[kEpCommandOut];
    ASSERT_TRUE(link.ReadTarn_ControllerEEPROM(100, 200, data.data()).Ok());
    EXPECT_EQ(pipes.transfers[kEpCommandOut] - before, 4u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), kit.ControllerEeprom().begin() + 100));
    uint8_t head[7];
    ASSERT_TRUE(link.ReadTarn_SocketEEPROM(0, 7, head).Ok());
    EXPECT_EQ(std::memcmp(head, "TARNKIT", 7), 0);
    kit.SetCommand(9, [](kitsim::Kit&, const uint8_t*, uint8_t* a) { a[2] = 2; });
    ExpectFail(link.ReadTarn_SocketEEPROM(0, 7, head), text::kEepromRead);
}

// One 64-byte packet carries 52 bytes of an I2C write after its 12-byte head and 60 bytes of a
// read after the answer's 4: a longer request is refused before anything is sent, since it would
// not fit the packet.
TEST_F(Link, I2cTransfersLongerThanAPacketAreRefusedUnsent) {
    std::vector<uint8_t> data(64), back(64);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xA0 + i);
    data[0] = 0x10;  // the EEPROM address the write starts at, low byte first
    data[1] = 0x00;
    struct Case { bool write; uint32_t length; bool ok; } cases[] = {
        {true, 52, true}, {true, 53, false}, {true, 64, false},
        {false, 60, true}, {false, 61, false}, {false, 64, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.write ? "write " : "read ") + std::to_string(c.length));
        std::fill(kit.ControllerEeprom().begin(), kit.ControllerEeprom().end(), 0xFF);
        const uint64_t before = pipes.transfers[kEpCommandOut];
        const bool ok = c.write ? link.Write_I2C_DEVICE(0x50, 0, c.length, data.data())
                                : link.Read_I2C_DEVICE(0x50, 0x10, 0, c.length, back.data());
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(pipes.transfers[kEpCommandOut] - before, c.ok ? 1u : 0u);
        if (c.write) {
            // the bytes after the two address bytes land at 0x10; nothing at all when refused
            for (uint32_t i = 0; i < 60; ++i)
                EXPECT_EQ(kit.ControllerEeprom()[0x10 + i], c.ok && i + 2 < c.length ? data[i + 2] : 0xFF) << i;
        }
    }
}

TEST_F(Link, ResetMemoryPulsesTheLineOrWritesTheSwitch) {
    Start16();
    ASSERT_TRUE(link.ResetMemory(255, 0).Ok());
    EXPECT_EQ(kit.ResetPulses(), 2u) << "the line pulse and command 1";
    EXPECT_TRUE(link.ResetMemory(1, 0).Ok());
    EXPECT_EQ(kit.PowerSwitch()[3], 0x11);
    kit.SetCommand(8, [](kitsim::Kit&, const uint8_t*, uint8_t* a) { a[2] = 2; });
    EXPECT_TRUE(link.ResetMemory(1, 0).Ok()) << "socket type 1 answers S_OK whatever the write did";
    pipes.failNext[kEpCommandIn] = 1;
    ExpectFail(link.ResetMemory(2, 0), text::kResetMemory);
}

TEST_F(Link, BurstWriteRefusesAQueueAndWritesWords) {
    Start16();
    link.Qwrite16(0, 0xF0, 3);
    uint8_t data[16] = {};
    ExpectFail(link.BurstArrayWrite(0, 16, 2, data, 4), text::kQueueNotEmpty);
    ASSERT_TRUE(link.Qflush().Ok());
    ASSERT_TRUE(link.MemControlMode(0, 2, 4).Ok());
    // The address load is itself a bus cycle, so watch the words land in a plain RAM on the socket.
    struct Ram : kitsim::SocketDevice {
        std::vector<uint16_t> words = std::vector<uint16_t>(0x1000, 0xFFFF);
        void BusWrite(uint32_t a, uint32_t d, unsigned) override { words[a % words.size()] = static_cast<uint16_t>(d); }
        uint32_t BusRead(uint32_t a, unsigned) override { return words[a % words.size()]; }
        void HardwareReset() override {}
        void PowerCycle() override {}
    } ram;
    kit.Attach(0, &ram);
    for (int i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(0x30 + i);
    ASSERT_TRUE(link.BurstArrayWrite(0x208, 16, 2, data, 4).Ok());
    EXPECT_FALSE(kit.InBurstWrite());
    EXPECT_EQ(ram.words[0x104], 0x3130) << "burst 0x41 of the window at 0";
    EXPECT_EQ(ram.words[0x10B], 0x3F3E);
    EXPECT_EQ(ram.words[0x10C], 0xFFFF);
    uint16_t v = 0;
    ASSERT_TRUE(link.Read16(0x105, &v).Ok());
    EXPECT_EQ(v, 0x3332);
}

TEST_F(Link, DumpsAreBoundedAndFormatted) {
    Start16();
    chip.Array()[0x20] = 0x11;
    chip.Array()[0x21] = 0x22;
    std::string s;
    ASSERT_TRUE(link.DumpNORMemoryToString(0x10, 0x11, &s).Ok());
    EXPECT_EQ(s, " 11 22 FF FF\r\n");
    ExpectFail(link.DumpNORMemoryToString(0, 0xFFFFFFFF, &s), text::kInvalidRange, kE_INVALIDARG);
    ASSERT_TRUE(link.DumpNORMemoryToString(0x0E, 0x0F, &s).Ok());
    EXPECT_EQ(s.substr(0, 42), std::string(42, ' '));
    EXPECT_EQ(s.substr(42), " FF FF\r\n FF FF\r\n");
    ASSERT_TRUE(link.DumpNANDMemoryToString(0x12345678, 6, 3, &s).Ok());
    EXPECT_EQ(s.size(), 3 * 3 + 2u);
}

TEST_F(Link, ThirtyTwoBitBusShiftsAddressesAndCarriesFourDataBytes) {
    ASSERT_TRUE(link.PowerControl(1).Ok());
    ASSERT_TRUE(link.TarnConfiguration(0, 3, 0).Ok());
    EXPECT_EQ(link.BusWidth(), 4);
    EXPECT_EQ(kit.Register(11), 0x3C);
    ASSERT_TRUE(link.Write32(0x100, 0xA1B2C3D4).Ok());
    EXPECT_EQ(Regs32(kit, 0), 0xA1B2C3D4u);
    EXPECT_EQ(Regs32(kit, 4), 0x200u) << "a 32-bit word address goes out in 16-bit units";
    uint32_t v = 0;
    for (uint32_t i = 0; i < 8; ++i) chip.Array()[0x200 + i] = static_cast<uint8_t>(0x40 + i);
    ASSERT_TRUE(link.Read32(0x100, &v).Ok());
    EXPECT_EQ(v & 0xFFFF, 0x4140u) << "one x16 chip on the low lane sees the 32-bit word address";
    uint8_t b = 0;
    ASSERT_TRUE(link.TarnConfiguration(0, 0, 0).Ok());
    ASSERT_TRUE(link.Read8(0x203, &b).Ok());
    EXPECT_EQ(b, 0x43) << "an 8-bit bus reads bytes at byte addresses";
}

TEST_F(Link, NandAndSpiPairs) {
    Start16();
    ASSERT_TRUE(link.ConfigTarnPollingMethod(2, 20000).Ok());
    ASSERT_TRUE(link.QsetNANDregMode(1).Ok());
    ASSERT_TRUE(link.QwriteNAND8(0x90).Ok());
    ASSERT_TRUE(link.QsetNANDregMode(2).Ok());
    ASSERT_TRUE(link.QwriteNAND16(0x1234).Ok());
    ASSERT_TRUE(link.Qflush().Ok());
    const std::vector<uint8_t> expect = {
        0x0C, 0x29, 0x08, 0x24, 0x20, 0x26,              // command latch: register 9, 4, 6
        0x90, 0x21, 0x90, 0x23, 0x02, 0x40,              // data in registers 1 and 3, cycle with polling code 2
        0x14, 0x29, 0x10, 0x24, 0x10, 0x26,              // address latch
        0x12, 0x20, 0x34, 0x21, 0x12, 0x22, 0x34, 0x23, 0x02, 0x40};
    ASSERT_GE(pipes.lastStream.size(), expect.size());
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), pipes.lastStream.begin()));
    // A NAND read leaves the latch modes first.
    uint8_t page[4];
    ASSERT_TRUE(link.NANDArrayRead(4, 1, page).Ok());
    EXPECT_EQ(kit.Register(9) & 0x18, 0);
    EXPECT_EQ(kit.Register(4), 0);
    ASSERT_TRUE(link.WriteNAND8(1, 0xFF).Ok());
    EXPECT_EQ(kit.Register(9) & 0x18, 0x08);

    ASSERT_TRUE(link.SPI_ChipEnableCtrl(1).Ok());
    EXPECT_EQ(kit.Register(10) & 0x08, 0x08);
    ASSERT_TRUE(link.QwriteSPI(0x9F).Ok());
    ExpectFail(link.WriteSPI(0x05), text::kQueueNotEmpty);
    ASSERT_TRUE(link.Qflush().Ok());
    ASSERT_TRUE(link.WriteSPI(0x05).Ok());
    EXPECT_EQ(kit.Register(15), 0x05);
    ASSERT_TRUE(link.SPI_ChipEnableCtrl(0).Ok());
    EXPECT_EQ(kit.Register(10) & 0x08, 0);
}

// The serial interface of an SPI device stays chosen only while the memory type is SPI: a NAND or a
// parallel device configured after it gets the parallel bus back.
TEST_F(Link, MemoryTypesAfterSpiLeaveTheSerialInterface) {
    Start16();
    for (uint8_t memType : {0, 4, 6}) {
        ASSERT_TRUE(link.TarnConfiguration(1, 0, 0).Ok());
        EXPECT_TRUE(kit.MemoryModeSerial());
        EXPECT_EQ(kit.Register(10) & 0x08, 0x08);
        ASSERT_TRUE(link.TarnConfiguration(memType, 0, 0).Ok());
        EXPECT_FALSE(kit.MemoryModeSerial()) << int(memType);
        EXPECT_EQ(kit.Register(10) & 0x08, 0) << int(memType);
    }
}

TEST_F(Link, DisconnectedCallsFailWithTheirTexts) {
    link.Detach();
    uint16_t v;
    ExpectFail(link.Read16(0, &v), text::kRead16);
    ExpectFail(link.Qwrite16(0, 0, 3), text::kQwrite16);
    ExpectFail(link.Write8(0, 0), text::kWrite8);
    ExpectFail(link.PowerControl(1), text::kPowerControl);
    EXPECT_TRUE(link.Qflush().Ok()) << "nothing queued";
    EXPECT_TRUE(link.SPI_ChipEnableCtrl(1).Ok());
}

}  // namespace
