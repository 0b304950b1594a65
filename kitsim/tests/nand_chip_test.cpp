// The NAND-interface chip model: what a part answers to its cycles, and the kit's NAND register
// mode that carries them.
#include <gtest/gtest.h>

#include <vector>

#include "kitsim/kit.h"
#include "kitsim/nand_chip.h"

using namespace kitsim;

namespace {

// The cycles a host sends, straight onto the chip.
struct Host {
    NandChip& chip;
    SimClock& clock;
    void Cmd(uint8_t c) { chip.NandWrite(NandLatch::Command, c, 1); }
    void Addr(uint8_t a) { chip.NandWrite(NandLatch::Address, a, 1); }
    // Column in the part's units (bytes on x8, words on x16), then the row.
    void Address(uint32_t column, uint32_t row) {
        Addr(column & 0xFF);
        Addr((column >> 8) & 0xFF);
        for (unsigned i = 0; i < chip.Part().rowCycles; ++i) Addr((row >> (8 * i)) & 0xFF);
    }
    unsigned Bytes() const { return chip.Part().busBits / 8; }
    void Write(const std::vector<uint8_t>& bytes) {
        for (size_t i = 0; i < bytes.size(); i += Bytes()) {
            uint16_t v = bytes[i];
            if (Bytes() == 2) v |= uint16_t(i + 1 < bytes.size() ? bytes[i + 1] : 0xFF) << 8;
            chip.NandWrite(NandLatch::Data, v, Bytes());
        }
    }
    std::vector<uint8_t> Read(size_t n) {
        std::vector<uint8_t> out;
        while (out.size() < n) {
            uint16_t v = chip.NandRead(Bytes());
            out.push_back(static_cast<uint8_t>(v));
            if (Bytes() == 2 && out.size() < n) out.push_back(static_cast<uint8_t>(v >> 8));
        }
        return out;
    }
    // ID, parameter page and unique ID come out a byte per cycle, in the low byte on x16 parts.
    std::vector<uint8_t> ReadBytes(size_t n) {
        std::vector<uint8_t> out;
        while (out.size() < n) out.push_back(static_cast<uint8_t>(chip.NandRead(Bytes())));
        return out;
    }
    uint8_t Status() {
        Cmd(0x70);
        return static_cast<uint8_t>(chip.NandRead(1));
    }
    void Wait() { clock.AdvanceUs(100000); }
    uint8_t Program(uint32_t column, uint32_t row, const std::vector<uint8_t>& bytes) {
        Cmd(0x80);
        Address(column, row);
        Write(bytes);
        Cmd(0x10);
        Wait();
        return Status();
    }
    uint8_t Erase(uint32_t block) {
        Cmd(0x60);
        uint32_t row = block * chip.Part().pagesPerBlock;
        for (unsigned i = 0; i < chip.Part().rowCycles; ++i) Addr((row >> (8 * i)) & 0xFF);
        Cmd(0xD0);
        Wait();
        return Status();
    }
    std::vector<uint8_t> ReadPage(uint32_t column, uint32_t row, size_t n) {
        Cmd(0x00);
        Address(column, row);
        Cmd(0x30);
        Wait();
        return Read(n);
    }
};

struct Rig {
    SimClock clock;
    NandChip chip;
    Host host{chip, clock};
    explicit Rig(NandPart part) : chip(std::move(part), clock) {}
};

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 37 + (i >> 7));
    return v;
}

// ONFI's CRC as its text states it, bit by bit: shift the register, XOR the polynomial when the
// bit that left and the data bit differ.
uint16_t ReferenceCrc(const std::vector<uint8_t>& bytes, size_t n) {
    uint16_t crc = 0x4F4E;
    for (size_t i = 0; i < n; ++i)
        for (int bit = 7; bit >= 0; --bit) {
            bool feedback = ((crc >> 15) & 1) != ((bytes[i] >> bit) & 1);
            crc = static_cast<uint16_t>(crc << 1);
            if (feedback) crc ^= 0x8005;
        }
    return crc;
}

const struct PartCase {
    const char* name;
    unsigned bus;
    uint32_t spare;
    uint8_t code;
    uint32_t blocks;
    uint8_t addressCycles;
} kParts[] = {{"x8-64", 8, 64, 0xF1, 1024, 0x22},
              {"x16-64", 16, 64, 0xC1, 1024, 0x22},
              {"x8-128", 8, 128, 0xDA, 2048, 0x23},
              {"x16-128", 16, 128, 0xCA, 2048, 0x23}};

}  // namespace

TEST(NandChip, IdParameterPageAndUniqueId) {
    for (const PartCase& c : kParts) {
        SCOPED_TRACE(c.name);
        NandPart part;
        ASSERT_TRUE(VeltanPartByName(c.name, &part));
        Rig r(part);
        r.host.Cmd(0x90);
        r.host.Addr(0x00);
        std::vector<uint8_t> id = r.host.ReadBytes(2);
        EXPECT_EQ(id, (std::vector<uint8_t>{0x01, c.code}));
        r.host.Cmd(0x90);
        r.host.Addr(0x20);
        EXPECT_EQ(r.host.ReadBytes(4), (std::vector<uint8_t>{'O', 'N', 'F', 'I'}));

        r.host.Cmd(0xEC);
        r.host.Addr(0x00);
        r.host.Wait();
        std::vector<uint8_t> p = r.host.ReadBytes(768);
        auto le16 = [&](size_t at) { return uint32_t(p[at] | (p[at + 1] << 8)); };
        auto le32 = [&](size_t at) { return le16(at) | (le16(at + 2) << 16); };
        EXPECT_EQ(std::string(p.begin(), p.begin() + 4), "ONFI");
        EXPECT_EQ(le16(6) & 1, c.bus == 16 ? 1u : 0u);
        EXPECT_EQ(le32(80), 2048u);
        EXPECT_EQ(le16(84), c.spare);
        EXPECT_EQ(le32(92), 64u);
        EXPECT_EQ(le32(96), c.blocks);
        EXPECT_EQ(p[101], c.addressCycles);
        EXPECT_EQ(le16(254), ReferenceCrc(p, 254));
        // The redundant copies repeat the first.
        EXPECT_TRUE(std::equal(p.begin(), p.begin() + 256, p.begin() + 256));
        EXPECT_TRUE(std::equal(p.begin(), p.begin() + 256, p.begin() + 512));

        r.host.Cmd(0xED);
        r.host.Addr(0x00);
        r.host.Wait();
        std::vector<uint8_t> u = r.host.ReadBytes(64);
        EXPECT_EQ(std::vector<uint8_t>(u.begin(), u.begin() + 16), part.uniqueId);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(u[i] ^ u[16 + i], 0xFF) << i;
        EXPECT_TRUE(std::equal(u.begin(), u.begin() + 32, u.begin() + 32));
    }
}

TEST(NandChip, ProgramReadAndEraseAtColumns) {
    for (const PartCase& c : kParts) {
        SCOPED_TRACE(c.name);
        NandPart part;
        ASSERT_TRUE(VeltanPartByName(c.name, &part));
        Rig r(part);
        const uint32_t unit = c.bus / 8, whole = 2048 + c.spare;
        const uint32_t page = 3 * 64 + 7;
        std::vector<uint8_t> data = Pattern(whole, 0x11);
        EXPECT_EQ(r.host.Program(0, page, data), 0xE0);
        EXPECT_EQ(r.chip.Page(page), data);
        EXPECT_EQ(r.host.ReadPage(0, page, whole), data);
        // A column counts bytes on x8 parts and words on x16 parts.
        std::vector<uint8_t> tail = r.host.ReadPage(1024 / unit, page, 1024 + c.spare);
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), data.begin() + 1024));
        // Random data output moves the column without reading the page again.
        r.host.Cmd(0x05);
        r.host.Addr(static_cast<uint8_t>((2048 / unit) & 0xFF));
        r.host.Addr(static_cast<uint8_t>((2048 / unit) >> 8));
        r.host.Cmd(0xE0);
        EXPECT_TRUE(std::equal(data.begin() + 2048, data.end(), r.host.Read(c.spare).begin()));
        // A partial page: the rest of the page register stays erased.
        std::vector<uint8_t> chunk = Pattern(512, 0x5A);
        EXPECT_EQ(r.host.Program(512 / unit, page + 1, chunk), 0xE0);
        std::vector<uint8_t> expect(whole, 0xFF);
        std::copy(chunk.begin(), chunk.end(), expect.begin() + 512);
        EXPECT_EQ(r.chip.Page(page + 1), expect);
        // Row cycles past the array's last page are not connected.
        EXPECT_EQ(r.host.ReadPage(0, page + r.chip.Pages(), whole), data);

        EXPECT_EQ(r.host.Erase(3), 0xE0);
        EXPECT_EQ(r.chip.Page(page), std::vector<uint8_t>(whole, 0xFF));
        EXPECT_EQ(r.host.ReadPage(0, page, 16), std::vector<uint8_t>(16, 0xFF));
    }
}

// A page takes as many programs between erases as the part allows; one more is refused with
// FAIL and changes nothing. Programs only clear bits.
TEST(NandChip, ProgramsPerPageAndBitsOnlyClear) {
    for (uint32_t allowed : {1u, 4u}) {
        NandPart part = VeltanPart(8, 64);
        part.programsPerPage = allowed;
        Rig r(part);
        std::vector<uint8_t> first(2112, 0xF0);
        ASSERT_EQ(r.host.Program(0, 9, first), 0xE0);
        for (uint32_t n = 1; n < allowed; ++n) {
            std::vector<uint8_t> more(2112, 0x3C);
            EXPECT_EQ(r.host.Program(0, 9, more), 0xE0) << n;
        }
        std::vector<uint8_t> before = r.chip.Page(9);
        EXPECT_EQ(before[0], allowed == 1 ? 0xF0 : 0x30);
        EXPECT_EQ(r.host.Program(0, 9, std::vector<uint8_t>(2112, 0x00)), 0xE1);
        EXPECT_EQ(r.chip.Page(9), before);
        EXPECT_EQ(r.chip.ProgramCount(9), allowed);
        ASSERT_EQ(r.host.Erase(0), 0xE0);
        EXPECT_EQ(r.chip.ProgramCount(9), 0u);
        EXPECT_EQ(r.host.Program(0, 9, first), 0xE0);
    }
}

TEST(NandChip, FactoryAndGrownBadBlocks) {
    for (const PartCase& c : kParts) {
        SCOPED_TRACE(c.name);
        NandPart part;
        ASSERT_TRUE(VeltanPartByName(c.name, &part));
        Rig r(part);
        for (uint32_t block : {5u, 100u, 1000u})
            for (uint32_t p : {0u, 1u, 63u}) {
                std::vector<uint8_t> page = r.chip.Page(block * 64 + p);
                EXPECT_EQ(page[2048], 0) << block << "/" << p;
                EXPECT_EQ(page[2049], c.bus == 16 ? 0 : 0xFF);
            }
        EXPECT_EQ(r.chip.Page(6 * 64)[2048], 0xFF);
        EXPECT_EQ(r.chip.Page(5 * 64 + 2)[2048], 0xFF);
        // Bad blocks keep their marks: an erase fails and changes nothing.
        EXPECT_EQ(r.host.Erase(100), 0xE1);
        EXPECT_EQ(r.chip.Page(100 * 64)[2048], 0);

        std::vector<uint8_t> data = Pattern(2048 + c.spare, 3);
        ASSERT_EQ(r.host.Program(0, 7 * 64, data), 0xE0);
        r.chip.InjectGrownBadBlock(7);
        EXPECT_EQ(r.host.Program(0, 7 * 64 + 1, data), 0xE1);
        EXPECT_EQ(r.chip.Page(7 * 64 + 1), std::vector<uint8_t>(2048 + c.spare, 0xFF));
        EXPECT_EQ(r.host.Erase(7), 0xE1);
        EXPECT_EQ(r.chip.Page(7 * 64), data);
        // The next good operation clears FAIL.
        EXPECT_EQ(r.host.Erase(8), 0xE0);
    }
}

// One page that will not program, in a block that erases and programs well otherwise.
TEST(NandChip, OnePageFailsItsProgramsAndNothingElse) {
    for (const PartCase& c : kParts) {
        SCOPED_TRACE(c.name);
        NandPart part;
        ASSERT_TRUE(VeltanPartByName(c.name, &part));
        Rig r(part);
        const std::vector<uint8_t> data = Pattern(2048 + c.spare, 9);
        r.chip.Faults().failProgramPage = 3 * 64 + 5;
        EXPECT_EQ(r.host.Erase(3), 0xE0);
        EXPECT_EQ(r.host.Program(0, 3 * 64 + 4, data), 0xE0);
        EXPECT_EQ(r.host.Program(0, 3 * 64 + 5, data), 0xE1);
        EXPECT_EQ(r.host.Program(0, 3 * 64 + 6, data), 0xE0);
        EXPECT_EQ(r.chip.Page(3 * 64 + 5), std::vector<uint8_t>(2048 + c.spare, 0xFF));
        EXPECT_EQ(r.chip.Page(3 * 64 + 6), data);
        EXPECT_EQ(r.host.Erase(3), 0xE0);
        r.chip.Faults().failProgramPage = -1;
        EXPECT_EQ(r.host.Program(0, 3 * 64 + 5, data), 0xE0);
        EXPECT_EQ(r.chip.Page(3 * 64 + 5), data);
    }
}

TEST(NandChip, BusyStatusStuckAndWriteProtect) {
    Rig r(VeltanPart(8, 64));
    r.host.Cmd(0x60);
    r.host.Addr(0x40);
    r.host.Addr(0x00);
    r.host.Cmd(0xD0);
    EXPECT_EQ(r.host.Status(), 0x80);  // busy: ready bits clear
    // While busy the part takes only status and reset.
    uint32_t ignored = r.chip.IgnoredCommands();
    r.host.Cmd(0x90);
    EXPECT_EQ(r.chip.IgnoredCommands(), ignored + 1);
    r.clock.AdvanceUs(r.chip.Part().eraseUs);
    EXPECT_EQ(static_cast<uint8_t>(r.chip.NandRead(1)), 0xE0);  // still in status mode

    r.chip.Faults().stuckBusy = true;
    std::vector<uint8_t> data(2112, 0);
    EXPECT_EQ(r.host.Program(0, 0, data), 0x80);
    r.clock.AdvanceUs(10000000);
    EXPECT_EQ(r.host.Status(), 0x80);
    r.chip.Faults().stuckBusy = false;
    r.host.Cmd(0xFF);
    EXPECT_EQ(r.host.Status(), 0xE0);
    EXPECT_EQ(r.chip.Page(0), std::vector<uint8_t>(2112, 0xFF));

    r.chip.Faults().writeProtected = true;
    EXPECT_EQ(r.host.Program(0, 0, data), 0x60);
    EXPECT_EQ(r.host.Erase(0), 0x60);
    EXPECT_EQ(r.chip.Page(0), std::vector<uint8_t>(2112, 0xFF));
}

// The kit in NAND register mode: register 9 bit 3 latches a command, bit 4 an address, neither a
// data cycle; reads are data-out cycles. A parallel NOR chip in the same position sees nothing.
TEST(NandChip, KitRegisterModeCarriesTheCycles) {
    Kit kit;
    NandChip chip(VeltanPart(16, 128), kit.Clock());
    kit.Attach(0, &chip);
    std::vector<uint8_t> s;
    auto pair = [&](uint8_t v, uint8_t op) {
        s.push_back(v);
        s.push_back(op);
    };
    pair(0x24 | 0x20, 0x2A);  // register 10: 16-bit bus
    pair(0x08, 0x2C);         // socket power
    auto cycle = [&](uint8_t reg9, uint16_t v) {
        pair(reg9, 0x29);
        pair(static_cast<uint8_t>(v >> 8), 0x22);
        pair(static_cast<uint8_t>(v), 0x23);
        pair(0, 0x40);
    };
    cycle(0x88, 0x80);
    for (uint8_t a : {0x00, 0x00, 0x05, 0x00, 0x00}) cycle(0x90, a);
    cycle(0x80, 0xBEEF);
    cycle(0x80, 0x1234);
    cycle(0x88, 0x10);
    kit.StreamOut(s.data(), s.size());
    kit.Clock().AdvanceUs(1000);
    std::vector<uint8_t> page = chip.Page(5);
    EXPECT_EQ(page[0], 0xEF);
    EXPECT_EQ(page[1], 0xBE);
    EXPECT_EQ(page[2], 0x34);
    EXPECT_EQ(page[3], 0x12);

    s.clear();
    cycle(0x88, 0x00);
    for (uint8_t a : {0x01, 0x00, 0x05, 0x00, 0x00}) cycle(0x90, a);
    cycle(0x88, 0x30);
    pair(0x80, 0x29);
    kit.StreamOut(s.data(), s.size());
    std::vector<uint8_t> cmd(64, 0);
    cmd[0] = 0x81;
    cmd[1] = 6;
    cmd[3] = 2;  // 16-bit words
    Kit::PutBE32(&cmd[8], 4);
    kit.CommandOut(cmd.data(), cmd.size());
    uint8_t answer[64];
    ASSERT_EQ(kit.InRead(0x81, answer, 64), 64u);
    uint8_t data[4];
    ASSERT_EQ(kit.InRead(0x86, data, 4), 4u);
    EXPECT_EQ(data[0], 0x34);  // column 1 is the second word
    EXPECT_EQ(data[1], 0x12);
    EXPECT_EQ(data[2], 0xFF);
}
