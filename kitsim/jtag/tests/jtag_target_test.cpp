// The simulated JTAG target: TAP transitions, instruction register, fuse array with busy state.
#include <gtest/gtest.h>

#include "kitsim/jtag_target.h"

namespace kitsim {
namespace {

// Clocks a TMS string (most significant first is the order written) with TDI 0.
void Tms(JtagTarget& t, const char* bits) {
    for (const char* c = bits; *c; ++c) t.Clock(*c == '1', 0);
}

uint64_t ShiftDr(JtagTarget& t, int n, uint64_t tdi) {
    Tms(t, "100");  // Idle -> Shift-DR
    uint64_t out = 0;
    for (int i = 0; i < n; ++i) out |= uint64_t(t.Clock(i == n - 1, (tdi >> i) & 1)) << i;
    Tms(t, "10");  // Exit1 -> Update -> Idle
    return out;
}

void ShiftIr(JtagTarget& t, uint8_t ir) {
    Tms(t, "1100");
    for (int i = 0; i < 8; ++i) t.Clock(i == 7, (ir >> i) & 1);
    Tms(t, "10");
}

TEST(JtagTarget, TapDiagram) {
    struct Step { TapState from; bool tms; TapState to; } steps[] = {
        {kTapReset, 0, kTapIdle}, {kTapIdle, 1, kTapDrSelect}, {kTapDrSelect, 1, kTapIrSelect},
        {kTapIrSelect, 1, kTapReset}, {kTapDrExit1, 0, kTapDrPause}, {kTapDrExit2, 0, kTapDrShift},
        {kTapIrExit2, 1, kTapIrUpdate}, {kTapIrUpdate, 0, kTapIdle}, {kTapDrUpdate, 1, kTapDrSelect},
    };
    for (const Step& s : steps) EXPECT_EQ(TapNext(s.from, s.tms), s.to) << TapName(s.from);
    // Five clocks with TMS 1 reach Test-Logic-Reset from every state.
    for (int st = 0; st < 16; ++st) {
        TapState s = TapState(st);
        for (int i = 0; i < 5; ++i) s = TapNext(s, true);
        EXPECT_EQ(s, kTapReset);
    }
}

TEST(JtagTarget, IdcodeBypassAndInstructionCapture) {
    JtagTarget t;
    Tms(t, "111110");
    EXPECT_EQ(t.State(), kTapIdle);
    EXPECT_EQ(ShiftDr(t, 32, 0), 0x1A6A50C3u);  // IDCODE after reset
    Tms(t, "1100");
    uint8_t captured = 0;
    for (int i = 0; i < 8; ++i) captured |= uint8_t(t.Clock(i == 7, 1) << i);
    Tms(t, "10");
    EXPECT_EQ(captured, 0x01);  // Capture-IR loads ...01
    EXPECT_EQ(t.Instruction(), kIrBypass);
    EXPECT_EQ(ShiftDr(t, 8, 0xA5), 0x4Au);  // one-bit delay, captured 0 first
    EXPECT_EQ(t.Log().size(), t.Clocks());
    EXPECT_EQ(t.Log()[0].state, kTapReset);
}

TEST(JtagTarget, FuseArrayProgramsEraseAndBusy) {
    JtagTarget t;
    Tms(t, "111110");
    ShiftIr(t, kIrAddress);
    ShiftDr(t, 8, 2);
    ShiftIr(t, kIrProgram);
    ShiftDr(t, 16, 0x0FF0);
    EXPECT_TRUE(t.Busy());
    EXPECT_EQ(t.Row(2), 0x0FF0u);
    ShiftDr(t, 16, 0x0000);  // ignored while busy
    EXPECT_EQ(t.Row(2), 0x0FF0u);
    EXPECT_EQ(t.IgnoredWhileBusy(), 1u);
    ShiftIr(t, kIrStatus);
    EXPECT_EQ(ShiftDr(t, 1, 0), 1u);
    ShiftIr(t, kIrRead);
    EXPECT_EQ(ShiftDr(t, 16, 0), 0u);  // no data while busy
    t.Wait(100);
    EXPECT_FALSE(t.Busy());
    EXPECT_EQ(ShiftDr(t, 16, 0), 0x0FF0u);
    ShiftIr(t, kIrProgram);
    ShiftDr(t, 16, 0xF00F);  // programming only clears bits
    for (int i = 0; i < 20; ++i) t.Clock(0, 0);  // Run-Test/Idle clocks end the busy time
    EXPECT_FALSE(t.Busy());
    EXPECT_EQ(t.Row(2), 0x0000u);
    ShiftIr(t, kIrErase);
    ShiftDr(t, 1, 1);
    EXPECT_TRUE(t.Busy());
    EXPECT_EQ(t.Row(2), 0xFFFFu);
    EXPECT_EQ(t.Row(0), 0xFFFFu);
}

}  // namespace
}  // namespace kitsim
