// The NOR chip model as a host driver sees it over a 16-bit (and 8-bit) bus.
#include <gtest/gtest.h>

#include "kitsim/nor_chip.h"

using namespace kitsim;

namespace {

struct Nor : ::testing::Test {
    SimClock clock;
    NorChip chip{SmallBootNorPart(), clock};

    void W(uint32_t word, uint16_t data) { chip.BusWrite(word, data, 2); }
    uint16_t R(uint32_t word) { return static_cast<uint16_t>(chip.BusRead(word, 2)); }
    void Unlock() { W(0x555, 0xAA); W(0x2AA, 0x55); }
    void Cmd(uint8_t c) { Unlock(); W(0x555, c); }
    void Program(uint32_t word, uint16_t data) { Cmd(0xA0); W(word, data); }
    void ExitSet() { W(0, 0x90); W(0, 0x00); }
    void ErasePpbs() {
        Cmd(0xC0);
        W(0, 0x80);
        W(0, 0x30);
        WaitReady();
        ExitSet();
    }
    void WaitReady() {
        for (int i = 0; i < 100000 && chip.Busy(); ++i) clock.AdvanceUs(10);
        ASSERT_FALSE(chip.Busy());
    }
};

TEST_F(Nor, ErasedArrayCfiAndAutoselectDescribeThePart) {
    EXPECT_EQ(R(0), 0xFFFF);
    W(0x55, 0x98);
    EXPECT_EQ(R(0x10), 'Q');
    EXPECT_EQ(R(0x11), 'R');
    EXPECT_EQ(R(0x12), 'Y');
    EXPECT_EQ(R(0x27), 20);          // 1 MiB = 2^20
    EXPECT_EQ(R(0x2C), 2);           // two erase regions
    EXPECT_EQ(R(0x2D), 7);           // 8 sectors ...
    EXPECT_EQ(R(0x2F), 0x20);        // ... of 32 × 256 bytes
    EXPECT_EQ(R(0x31), 14);          // 15 sectors ...
    EXPECT_EQ(R(0x33) | (R(0x34) << 8), 0x100);  // ... of 64 KiB
    EXPECT_EQ(R(0x2A), 5);           // 32-byte write buffer
    W(0, 0xF0);
    EXPECT_EQ(R(0x10), 0xFFFF);
    Cmd(0x90);
    EXPECT_EQ(R(0x00), 0x0001);
    EXPECT_EQ(R(0x01), 0x2249);
    EXPECT_EQ(R(0x02), 0);           // sector 0 unprotected
    W(0x55, 0x98);                   // CFI from autoselect works too
    EXPECT_EQ(R(0x10), 'Q');
    W(0, 0xF0);
    EXPECT_EQ(R(0x01), 0xFFFF);
}

TEST_F(Nor, ProgramOnlyClearsBitsAndShowsDataPollingWhileBusy) {
    Program(0x100, 0x1234);
    uint16_t s1 = R(0x100), s2 = R(0x100);
    EXPECT_EQ(s1 & 0x80, 0x80) << "DQ7 is the complement of bit 7 of 0x34";
    EXPECT_NE(s1 & 0x40, s2 & 0x40) << "DQ6 toggles";
    W(0x200, 0x0000);  // ignored while busy
    WaitReady();
    EXPECT_EQ(R(0x100), 0x1234);
    EXPECT_EQ(R(0x200), 0xFFFF);
    Program(0x100, 0xFF0F);
    WaitReady();
    EXPECT_EQ(R(0x100), 0x1204);
    Program(0x100, 0xFFFF);          // cannot set bits back
    WaitReady();
    EXPECT_EQ(R(0x100), 0x1204);
}

TEST_F(Nor, ByteModeUsesByteAddresses) {
    chip.BusWrite(0xAAA, 0xAA, 1);
    chip.BusWrite(0x555, 0x55, 1);
    chip.BusWrite(0xAAA, 0xA0, 1);
    chip.BusWrite(0x201, 0x5A, 1);
    WaitReady();
    EXPECT_EQ(chip.BusRead(0x201, 1), 0x5Au);
    EXPECT_EQ(chip.BusRead(0x200, 1), 0xFFu);
    EXPECT_EQ(R(0x100), 0x5AFF);
}

TEST_F(Nor, WriteBufferProgramsAPage) {
    const uint32_t sa = 0x4000;      // sector 2 (8 KiB sectors = 0x1000 words)
    Cmd(0x00);                       // a stray command after unlock is ignored
    Unlock();
    W(sa, 0x25);
    W(sa, 3);                        // four words
    for (uint32_t i = 0; i < 4; ++i) W(sa + i, static_cast<uint16_t>(0xA000 + i));
    W(sa, 0x29);
    EXPECT_TRUE(chip.Busy());
    WaitReady();
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(R(sa + i), 0xA000 + i);
    EXPECT_EQ(R(sa + 4), 0xFFFF);
}

TEST_F(Nor, WriteBufferAbortsNeedTheAbortReset) {
    struct Case {
        const char* what;
        uint16_t count;
        uint32_t secondWord;
        uint16_t confirm;
    } cases[] = {
        {"count larger than the buffer", 16, 0x4001, 0x29},
        {"word outside the page", 1, 0x4010, 0x29},
        {"wrong confirm", 1, 0x4001, 0x30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Unlock();
        W(0x4000, 0x25);
        W(0x4000, c.count);
        W(0x4000, 0x1111);
        W(c.secondWord, 0x2222);
        W(0x4000, c.confirm);
        EXPECT_EQ(R(0x4000) & 0x02, 0x02) << "DQ1 reports the abort";
        W(0, 0xF0);
        EXPECT_EQ(R(0x4000) & 0x02, 0x02) << "a plain reset does not leave the abort";
        Cmd(0xF0);
        EXPECT_EQ(R(0x4000), 0xFFFF);
    }
}

TEST_F(Nor, SectorEraseShowsEraseStatusAndErasesOnlyItsSector) {
    Program(0x1000, 0x0000);         // sector 1
    WaitReady();
    Program(0x2000, 0x0000);         // sector 2
    WaitReady();
    Cmd(0x80);
    Unlock();
    W(0x1000, 0x30);
    uint16_t a = R(0x1000), b = R(0x1000), c = R(0x3000), d = R(0x3000);
    EXPECT_EQ(a & 0x80, 0) << "DQ7 is 0 while erasing";
    EXPECT_EQ(a & 0x08, 0x08) << "DQ3: erase running";
    EXPECT_NE(a & 0x04, b & 0x04) << "DQ2 toggles in the erasing sector";
    EXPECT_EQ(c & 0x04, d & 0x04) << "DQ2 does not toggle elsewhere";
    WaitReady();
    EXPECT_EQ(R(0x1000), 0xFFFF);
    EXPECT_EQ(R(0x2000), 0x0000);
    Cmd(0x80);
    Cmd(0x10);
    WaitReady();
    EXPECT_EQ(R(0x2000), 0xFFFF);
}

TEST_F(Nor, UnlockBypassProgramsAndErasesWithoutUnlockCycles) {
    Cmd(0x20);
    for (uint32_t i = 0; i < 3; ++i) {
        W(0x555, 0xA0);
        W(0x1800 + i, static_cast<uint16_t>(0x5500 + i));
        WaitReady();
    }
    EXPECT_EQ(R(0x1802), 0x5502) << "reads see the array in bypass";
    W(0, 0x80);
    W(0x1800, 0x30);
    WaitReady();
    EXPECT_EQ(R(0x1800), 0xFFFF);
    ExitSet();
    Program(0x10, 0x0000);
    WaitReady();
    EXPECT_EQ(R(0x10), 0x0000) << "after the exit, programs need their unlock cycles again";
    W(0x555, 0xA0);
    W(0x11, 0x0000);
    WaitReady();
    EXPECT_EQ(R(0x11), 0xFFFF);
}

TEST_F(Nor, FaultsEndWithDq5UntilReset) {
    chip.Faults().failProgram = true;
    Program(0x10, 0x0000);
    clock.AdvanceUs(100000);
    uint16_t s = R(0x10);
    EXPECT_EQ(s & 0x20, 0x20);
    EXPECT_TRUE(chip.Busy());
    W(0, 0xF0);
    EXPECT_FALSE(chip.Busy());
    EXPECT_EQ(R(0x10), 0xFFFF) << "a failed program leaves the bits";

    chip.Faults().failProgram = false;
    chip.Faults().stuckBusy = true;
    Cmd(0x80);
    Cmd(0x10);
    clock.AdvanceUs(60ull * 1000 * 1000);
    EXPECT_TRUE(chip.Busy());
    chip.HardwareReset();
    EXPECT_FALSE(chip.Busy());
}

// One byte whose programs fail, in a sector that erases and programs well otherwise: a buffer
// program that holds its cell fails whole, the programs around it go on.
TEST_F(Nor, ProgramsOfOneChosenByteFailAndNothingElse) {
    chip.Faults().failProgramByte = 2 * 0x4005 + 1;  // the high byte of word 0x4005
    Unlock();
    W(0x4000, 0x25);
    W(0x4000, 7);
    for (uint32_t i = 0; i < 8; ++i) W(0x4000 + i, static_cast<uint16_t>(0xA000 + i));
    W(0x4000, 0x29);
    clock.AdvanceUs(100000);
    EXPECT_EQ(R(0x4000) & 0x20, 0x20);
    W(0, 0xF0);
    EXPECT_FALSE(chip.Busy());
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(R(0x4000 + i), 0xFFFF) << i;
    Program(0x4004, 0x1234);
    WaitReady();
    EXPECT_EQ(R(0x4004), 0x1234);
    Program(0x4005, 0x1234);
    clock.AdvanceUs(100000);
    EXPECT_TRUE(chip.Busy());
    W(0, 0xF0);
    EXPECT_EQ(R(0x4005), 0xFFFF);
    Cmd(0x80);
    Unlock();
    W(0x4000, 0x30);
    WaitReady();
    EXPECT_EQ(R(0x4004), 0xFFFF) << "the sector erases";
    chip.Faults().failProgramByte = 0xFFFFFFFF;
    Program(0x4005, 0x1234);
    WaitReady();
    EXPECT_EQ(R(0x4005), 0x1234);
}

TEST_F(Nor, PpbsDybsAndTheirLocks) {
    // PPB on sector 3: program and erase are refused there.
    Cmd(0xC0);
    W(0x3000, 0xA0);
    W(0x3000, 0x00);
    WaitReady();
    EXPECT_EQ(R(0x3000), 0) << "PPB read: 0 = protected";
    EXPECT_EQ(R(0x2000), 1);
    ExitSet();
    EXPECT_TRUE(chip.Ppb(3));
    Program(0x3000, 0x0000);
    WaitReady();
    EXPECT_EQ(R(0x3000), 0xFFFF);

    // The PPB lock keeps the PPBs from being erased until a power cycle.
    Cmd(0x50);
    W(0, 0xA0);
    W(0, 0x00);
    EXPECT_EQ(R(0), 0);
    ExitSet();
    ErasePpbs();
    EXPECT_TRUE(chip.Ppb(3));
    chip.PowerCycle();
    EXPECT_FALSE(chip.PpbLocked());
    ErasePpbs();
    EXPECT_FALSE(chip.Ppb(3));

    // DYBs are volatile.
    Cmd(0xE0);
    W(0x5000, 0xA0);
    W(0x5000, 0x00);
    EXPECT_EQ(R(0x5000), 0);
    ExitSet();
    EXPECT_TRUE(chip.SectorProtected(5));
    chip.PowerCycle();
    EXPECT_FALSE(chip.SectorProtected(5));
}

TEST_F(Nor, PasswordModeLocksPpbsAtPowerUpAndTheRightPasswordOpensThem) {
    Cmd(0x60);
    for (uint32_t i = 0; i < 4; ++i) {
        W(i, 0xA0);
        W(i, static_cast<uint16_t>(0x1110 * (i + 1)));
        WaitReady();
    }
    EXPECT_EQ(R(2), 0x3330);
    ExitSet();
    Cmd(0x40);                       // lock register: select password mode (bit 2 = 0)
    W(0, 0xA0);
    W(0, 0xFFFB);
    WaitReady();
    EXPECT_EQ(R(0), 0xFFFB);
    ExitSet();
    chip.PowerCycle();
    EXPECT_TRUE(chip.PpbLocked());

    auto unlockWith = [&](uint16_t first) {
        Cmd(0x60);
        EXPECT_EQ(R(1), 0xFFFF) << "the password cannot be read in password mode";
        W(0, 0x25);
        W(0, 0x03);
        W(0, first);
        for (uint32_t i = 1; i < 4; ++i) W(i, static_cast<uint16_t>(0x1110 * (i + 1)));
        W(0, 0x29);
        WaitReady();
        ExitSet();
    };
    unlockWith(0x1111);
    EXPECT_TRUE(chip.PpbLocked());
    unlockWith(0x1110);
    EXPECT_FALSE(chip.PpbLocked());
}

TEST_F(Nor, SecSiRegionOverlaysTheArray) {
    Program(0x0000, 0x1234);
    WaitReady();
    Cmd(0x88);
    EXPECT_EQ(R(0), 0xFFFF);
    Program(0x0001, 0xBEEF);
    WaitReady();
    EXPECT_EQ(R(1), 0xBEEF);
    Cmd(0x90);
    W(0, 0x00);
    EXPECT_EQ(R(0), 0x1234);
    EXPECT_EQ(R(1), 0xFFFF);
    EXPECT_EQ(chip.SecSi()[2], 0xEF);

    // Locking the region through the lock register refuses further programs.
    Cmd(0x40);
    W(0, 0xA0);
    W(0, 0xFFFE);
    WaitReady();
    ExitSet();
    Cmd(0x88);
    Program(0x0002, 0x0000);
    WaitReady();
    EXPECT_EQ(R(2), 0xFFFF);
}

// A byte-wide part: one byte per address for commands, IDs, CFI, data, the lock register (its upper
// byte kept) and the eight password bytes. A 16-bit part's byte-mode unlock addresses do nothing.
TEST(ByteWideNor, CommandsIdsCfiDataAndPasswordInByteCells) {
    SimClock clock;
    NorChip chip{ByteWideNorPart(), clock};
    auto W = [&](uint32_t a, uint8_t d) { chip.BusWrite(a, d, 1); };
    auto R = [&](uint32_t a) { return chip.BusRead(a, 1); };
    auto Cmd = [&](uint8_t c) { W(0x555, 0xAA); W(0x2AA, 0x55); W(0x555, c); };
    auto WaitReady = [&] {
        for (int i = 0; i < 100000 && chip.Busy(); ++i) clock.AdvanceUs(10);
        ASSERT_FALSE(chip.Busy());
    };
    auto ExitSet = [&] { W(0, 0x90); W(0, 0x00); };

    W(0x55, 0x98);
    const uint32_t cfi[][2] = {{0x10, 'Q'}, {0x11, 'R'}, {0x12, 'Y'}, {0x27, 23}, {0x28, 0x00}, {0x2A, 6},
                               {0x2C, 1}, {0x2D, 127}, {0x2F, 0x00}, {0x30, 0x01}, {0x40, 'P'}};
    for (auto& c : cfi) EXPECT_EQ(R(c[0]), c[1]) << std::hex << c[0];
    W(0, 0xF0);
    Cmd(0x90);
    EXPECT_EQ(R(0x00), 0x01u);
    EXPECT_EQ(R(0x01), 0x7Eu);
    EXPECT_EQ(R(0x0E), 0x10u);
    EXPECT_EQ(R(0x0F), 0x01u);
    W(0, 0xF0);

    // The byte-mode addresses of a 16-bit part are no unlock cycles here.
    W(0xAAA, 0xAA); W(0x555, 0x55); W(0xAAA, 0xA0); W(0x300, 0x00);
    EXPECT_FALSE(chip.Busy());
    EXPECT_EQ(chip.Array()[0x300], 0xFF);

    Cmd(0xA0);
    W(0x301, 0x5A);
    WaitReady();
    EXPECT_EQ(R(0x301), 0x5Au);
    EXPECT_EQ(chip.Array()[0x301], 0x5A);
    EXPECT_EQ(chip.Array()[0x300], 0xFF);
    // A write buffer of 64 bytes: count minus one, the bytes, confirm.
    const uint32_t sa = 0x20000;
    W(0x555, 0xAA); W(0x2AA, 0x55);
    W(sa, 0x25);
    W(sa, 63);
    for (uint32_t i = 0; i < 64; ++i) W(sa + i, static_cast<uint8_t>(i));
    W(sa, 0x29);
    WaitReady();
    for (uint32_t i = 0; i < 64; ++i) ASSERT_EQ(chip.Array()[sa + i], i);
    EXPECT_EQ(chip.Array()[sa + 64], 0xFF);
    // Sector erase of the second sector only.
    chip.Array()[0x10000] = 0x00;
    Cmd(0x80);
    W(0x555, 0xAA); W(0x2AA, 0x55);
    W(0x10000, 0x30);
    WaitReady();
    EXPECT_EQ(chip.Array()[0x10000], 0xFF);
    EXPECT_EQ(chip.Array()[0x301], 0x5A);

    // The lock register through its low byte: the SecSi lock bit, the upper byte untouched.
    Cmd(0x40);
    W(0, 0xA0);
    W(0, 0xFE);
    WaitReady();
    EXPECT_EQ(chip.LockRegister(), 0xFFFE);
    ExitSet();

    // The password in eight byte cells.
    Cmd(0x60);
    for (uint32_t i = 0; i < 8; ++i) {
        W(i, 0xA0);
        W(i, static_cast<uint8_t>(0x11 * (i + 1)));
        WaitReady();
    }
    EXPECT_EQ(chip.Password(), 0x8877665544332211ull);
    EXPECT_EQ(R(7), 0x88u);
    ExitSet();
    Cmd(0x40);
    W(0, 0xA0);
    W(0, 0xFB);                      // password mode
    WaitReady();
    ExitSet();
    chip.PowerCycle();
    ASSERT_TRUE(chip.PpbLocked());
    auto unlockWith = [&](uint8_t last) {
        Cmd(0x60);
        W(0, 0x25);
        W(0, 0x03);
        for (uint32_t i = 0; i < 7; ++i) W(i, static_cast<uint8_t>(0x11 * (i + 1)));
        W(7, last);
        W(0, 0x29);
        WaitReady();
        ExitSet();
    };
    unlockWith(0x87);
    EXPECT_TRUE(chip.PpbLocked());
    unlockWith(0x88);
    EXPECT_FALSE(chip.PpbLocked());
}

}  // namespace

namespace {

struct Reduced : ::testing::Test {
    SimClock clock;
    NorChip chip{ReducedNorPart(), clock};
    void W(uint32_t word, uint16_t data) { chip.BusWrite(word, data, 2); }
    uint16_t R(uint32_t word) { return static_cast<uint16_t>(chip.BusRead(word, 2)); }
    uint16_t Status(uint32_t sector) {
        W(sector + 0x555, 0x70);
        return R(sector);
    }
    void WaitReady(uint32_t sector) {
        for (int i = 0; i < 100000 && !(Status(sector) & 0x80); ++i) clock.AdvanceUs(10);
    }
    void Buffer(uint32_t start, const std::vector<uint16_t>& words) {
        uint32_t sa = start & ~0xFFFu;
        W(sa + 0x555, 0x25);
        W(sa + 0xAAA, static_cast<uint16_t>(words.size() - 1));
        for (size_t i = 0; i < words.size(); ++i) W(start + static_cast<uint32_t>(i), words[i]);
        W(sa + 0x555, 0x29);
    }
};

TEST_F(Reduced, StatusRegisterBufferProgramAndErase) {
    W(0x555, 0x98);  // ID-CFI space
    EXPECT_EQ(R(0x01), 0x227E);
    EXPECT_EQ(R(0x0E), 0x2249);
    EXPECT_EQ(R(0x10), 'Q');
    W(0, 0xF0);
    EXPECT_EQ(Status(0), 0x80);  // ready, no errors
    Buffer(0x8010, {0x1234, 0x5678});
    EXPECT_EQ(Status(0x8000) & 0x80, 0);  // busy
    WaitReady(0x8000);
    EXPECT_EQ(Status(0x8000), 0x80);
    EXPECT_EQ(R(0x8010), 0x1234);
    EXPECT_EQ(R(0x8011), 0x5678);
    W(0x8000 + 0x555, 0x80);
    W(0x8000 + 0xAAA, 0x30);
    EXPECT_EQ(Status(0x8000) & 0x80, 0);
    WaitReady(0x8000);
    EXPECT_EQ(R(0x8010), 0xFFFF);
    // Unlock cycles mean nothing to this family.
    W(0x555, 0xAA);
    W(0x2AA, 0x55);
    W(0x555, 0xA0);
    W(0x20, 0x0000);
    EXPECT_EQ(R(0x20), 0xFFFF);
}

TEST_F(Reduced, ErrorsStayInTheStatusRegister) {
    struct {
        const char* what;
        void (*arm)(NorChip&);
        bool erase;
        uint16_t bits;
    } cases[] = {
        {"program failure", [](NorChip& c) { c.Faults().failProgram = true; }, false, 0x10},
        {"erase failure", [](NorChip& c) { c.Faults().failErase = true; }, true, 0x20},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        chip.Faults() = {};
        c.arm(chip);
        if (c.erase) {
            W(0x8000 + 0x555, 0x80);
            W(0x8000 + 0xAAA, 0x30);
        } else {
            Buffer(0x8000, {0x0000});
        }
        WaitReady(0x8000);
        uint16_t s = Status(0x8000);
        EXPECT_EQ(s & c.bits, c.bits) << std::hex << s;
        EXPECT_EQ(s & 0x80, 0x80);
        W(0x555, 0x71);  // clear status register
        EXPECT_EQ(Status(0x8000), 0x80);
    }
}

TEST_F(Reduced, LockRegisterThroughTheBufferSequence) {
    W(0x555, 0x40);
    EXPECT_EQ(R(0), 0xFFFF);
    W(0x555, 0x25);
    W(0xAAA, 0x00);
    W(0, 0xFFFE);
    W(0x555, 0x29);
    WaitReady(0);
    W(0, 0xF0);
    EXPECT_EQ(chip.LockRegister(), 0xFFFE);
}

TEST_F(Reduced, StuckBusyNeverShowsReady) {
    chip.Faults().stuckBusy = true;
    Buffer(0, {0});
    clock.AdvanceUs(60ull * 1000 * 1000);
    EXPECT_EQ(Status(0) & 0x80, 0);
    chip.HardwareReset();
    EXPECT_EQ(Status(0), 0x80);
}

}  // namespace

// Erase suspend and resume in both families: the rest of the array reads normally meanwhile, and
// the erase finishes after the resume.
TEST_F(Nor, EraseSuspendAndResume) {
    Program(0x8000 * 3, 0x1111);  // a word in another sector
    WaitReady();
    Cmd(0x80);
    Unlock();
    W(0x8000 * 2, 0x30);  // SmallBoot: word 0x10000 is in a 64 KiB sector
    clock.AdvanceUs(100);
    EXPECT_TRUE(chip.Busy());
    W(0, 0xB0);
    EXPECT_TRUE(chip.EraseSuspended());
    EXPECT_FALSE(chip.Busy());
    EXPECT_EQ(R(0x8000 * 3), 0x1111);
    uint16_t a = R(0x10000), b = R(0x10000);
    EXPECT_EQ((a ^ b) & 0x04, 0x04);  // DQ2 toggles in the suspended sector
    EXPECT_EQ((a ^ b) & 0x40, 0);
    clock.AdvanceUs(100000);
    W(0, 0x30);
    EXPECT_FALSE(chip.EraseSuspended());
    EXPECT_TRUE(chip.Busy());
    WaitReady();
}

TEST_F(Reduced, EraseSuspendAndResume) {
    chip.Array()[0x20000] = 0x00;
    chip.Array()[0x30000] = 0x00;
    W(0x10000 + 0x555, 0x80);
    W(0x10000 + 0xAAA, 0x30);
    clock.AdvanceUs(100);
    W(0, 0xB0);
    EXPECT_EQ(Status(0x10000) & 0xC0, 0xC0);  // ready, erase suspended
    EXPECT_EQ(R(0x18000), 0xFF00);             // another sector reads as data
    W(0, 0x30);
    EXPECT_EQ(Status(0x10000) & 0xC0, 0x00);
    WaitReady(0x10000);
    EXPECT_EQ(R(0x10000), 0xFFFF);
}

TEST_F(Nor, NoCfiFaultIgnoresTheQuery) {
    chip.Faults().noCfi = true;
    W(0x55, 0x98);
    EXPECT_EQ(R(0x10), 0xFFFF);
}

TEST_F(Nor, AStuckCellStaysZeroThroughEveryErase) {
    chip.Faults().stuckZeroByte = 0x2003;  // word 0x1001, high byte
    chip.Faults().stuckZeroMask = 0x10;
    Cmd(0x80);
    Unlock();
    W(0x1000, 0x30);
    WaitReady();
    EXPECT_EQ(R(0x1001), 0xEFFF);
    EXPECT_EQ(R(0x1000), 0xFFFF);
    Cmd(0x80);
    Cmd(0x10);
    WaitReady();
    EXPECT_EQ(R(0x1001), 0xEFFF);
}
