// The kit firmware's JTAG stream: the clocking rule of every command, pinned clock by clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kitsim/jtag_engine.h"

namespace kitsim {
namespace {

struct Rig {
    JtagTarget fpga, cpld;
    JtagEngine engine{&fpga, &cpld};
    Rig() { engine.Begin(3); }
    // Sends bytes as one padded packet.
    void Send(std::vector<uint8_t> bytes) {
        bytes.resize(kJtagPacketSize, 0xFF);
        engine.Packet(bytes.data(), bytes.size());
    }
    std::string Tms() const {
        std::string s;
        for (const auto& r : cpld.Log()) s += char('0' + r.tms);
        return s;
    }
    std::string Tdi() const {
        std::string s;
        for (const auto& r : cpld.Log()) s += char('0' + r.tdi);
        return s;
    }
    std::vector<std::vector<uint8_t>> Messages() {
        std::vector<std::vector<uint8_t>> all;
        std::vector<uint8_t> m;
        while (engine.TakeMessage(&m)) all.push_back(m);
        return all;
    }
};

TEST(JtagEngine, LevelsClocksAndMoves) {
    Rig r;
    r.Send({'I', 1, 'M', 0, 'C', 'M', 1, 'C', 'C', 'M', 5, 0x1A, 'C'});
    // 'C' with TDI 1/TMS 0, then two with TMS 1, then the five move bits 11010, then one more
    // clock with TMS left at the move's last bit.
    EXPECT_EQ(r.Tms(), "011" "11010" "0");
    EXPECT_EQ(r.Tdi(), "111111111");
    auto msgs = r.Messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].size(), kJtagReadySize);
    EXPECT_EQ(msgs[0][0], 'I');
}

TEST(JtagEngine, MoveOfOneBitAndSetLevelAreTold) {
    Rig r;
    r.Send({'M', 1, 0, 'M', 1, 1, 'M', 1, 'C'});
    EXPECT_EQ(r.Tms(), "011");  // two one-bit moves, then TMS set to 1 and one clock
}

TEST(JtagEngine, ShiftLeavesTheLastBitForTheNextClock) {
    Rig r;
    r.Send({'M', 3, 0x04, 'I', 0, 0, 0, 10, 0xA5, 0x02, 'M', 2, 0x02});
    // Move 100 (Idle->Shift-DR from Reset is not needed for the rule), shift 10 bits: 9 clocks
    // with TMS 0, the 10th rides on the first move clock (TMS 1).
    std::string tms = r.Tms(), tdi = r.Tdi();
    ASSERT_EQ(tms.size(), 3u + 9u + 2u);
    EXPECT_EQ(tms.substr(3, 9), "000000000");
    EXPECT_EQ(tdi.substr(3, 10), "1010010101");
    EXPECT_EQ(tms.substr(12), "10");
    EXPECT_EQ(r.engine.ProtocolErrors(), 0u);
}

TEST(JtagEngine, CommandsSplitAcrossPackets) {
    Rig r;
    std::vector<uint8_t> first(kJtagPacketSize - 2, 'C');
    first.push_back('I');
    first.push_back(0);  // set TDI 0 or the start of a count: the next packet tells
    r.engine.Packet(first.data(), first.size());
    EXPECT_EQ(r.cpld.Clocks(), kJtagPacketSize - 2);
    r.Send({0, 0, 4, 0x0F, 'C'});
    EXPECT_EQ(r.cpld.Clocks(), kJtagPacketSize - 2 + 3 + 1);
    EXPECT_EQ(r.Tdi().substr(kJtagPacketSize - 2), "1111");
    Rig r2;
    std::vector<uint8_t> p(kJtagPacketSize - 1, 0xFF);
    p.push_back('I');
    r2.engine.Packet(p.data(), p.size());
    r2.Send({0, 'C'});
    EXPECT_EQ(r2.Tdi(), "0");
    Rig r3;
    std::vector<uint8_t> q(kJtagPacketSize - 1, 0xFF);
    q.push_back('M');
    r3.engine.Packet(q.data(), q.size());
    r3.Send({1});
    r3.engine.End();  // the job ends before the form is known: it was the level
    EXPECT_EQ(r3.cpld.Clocks(), 0u);
    EXPECT_EQ(r3.engine.ProtocolErrors(), 0u);
}

TEST(JtagEngine, CapturesAndAnswers) {
    Rig r;
    // Put the part's IDCODE in Shift-DR: reset, then Idle -> Shift-DR.
    r.Send({'M', 6, 0x3E, 'M', 3, 0x04});
    r.Messages();
    // Plain capture of one bit: sample, then one clock.
    r.Send({'I', 0, 'M', 0, 'O', 0, 0, 0, 1});
    auto msgs = r.Messages();
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[0][0], 'R');
    EXPECT_EQ(msgs[0].size(), kJtagPacketSize);
    EXPECT_EQ(msgs[0][1], 1);  // bit 0 of 0x1A6A50C3
    EXPECT_EQ(msgs[1][0], 'I');  // ready after the answer
    // Packed capture with TDI: 12 bits, 11 clocks, bits 1..12 of the IDCODE.
    uint64_t clocks = r.cpld.Clocks();
    r.Send({'O', 0x80, 0, 0, 12, 0xFF, 0x0F});
    msgs = r.Messages();
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(r.cpld.Clocks() - clocks, 11u);
    uint32_t got = msgs[0][1] | (msgs[0][2] << 8);
    EXPECT_EQ(got, (0x1A6A50C3u >> 1) & 0xFFF);
    // One byte per bit, TMS 1 on the last bit: the part leaves Shift-DR.
    r.Send({'C', 'o', 0, 0, 0, 3, 1, 0, 1});
    msgs = r.Messages();
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(r.cpld.State(), kTapDrExit1);
    EXPECT_EQ(r.Tms().substr(r.Tms().size() - 3), "001");
}

TEST(JtagEngine, DelaysModesAndBadInput) {
    JtagTarget fpga, cpld;
    JtagEngine e(&fpga, &cpld);
    EXPECT_FALSE(e.Begin(0));
    EXPECT_FALSE(e.Begin(4));
    EXPECT_FALSE(e.End());
    ASSERT_TRUE(e.Begin(1));
    std::vector<uint8_t> block(kJtagPacketSize, 0x5A);
    e.Packet(block.data(), block.size());
    std::vector<uint8_t> m;
    EXPECT_FALSE(e.TakeMessage(&m));  // no ready messages on the fly
    EXPECT_EQ(e.FpgaBytes().size(), kJtagPacketSize);
    EXPECT_TRUE(e.End());
    ASSERT_TRUE(e.Begin(2));
    std::vector<uint8_t> p = {'D', 0, 0, 1, 0, 'O', 0, 0, 0x10, 0, 'Q'};
    p.resize(kJtagPacketSize, 0xFF);
    e.Packet(p.data(), p.size());
    EXPECT_EQ(fpga.WaitedMicros(), 256u);
    EXPECT_EQ(e.ProtocolErrors(), 2u);  // capture longer than an answer, unknown command
    ASSERT_TRUE(e.TakeMessage(&m));
    EXPECT_EQ(m[0], 'I');  // no answer for the refused capture
    EXPECT_FALSE(e.TakeMessage(&m));
}

}  // namespace
}  // namespace kitsim
