// The Veltan exports over the simulated kit and its NAND chip model, for every bus width and spare
// size: what the module reads and programs must be what the model holds, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine.h"
#include "kitsim/kit.h"
#include "kitsim/nand_chip.h"
#include "lumivex/prompt.h"
#include "pattern.h"
#include "sim_host.h"
#include "veltan_presets.h"

using rook::Engine;

namespace {

struct Variant {
    const char* name;
    unsigned bus;
    unsigned spare;
    int deviceCode;
    uint32_t jedec;
    uint32_t blocks;
};

const Variant kVariants[] = {{"x8-64", 8, 64, 8, 0x1F1, 1024},
                             {"x16-64", 16, 64, 8, 0x1C1, 1024},
                             {"x8-128", 8, 128, 1001, 0x1DA, 2048},
                             {"x16-128", 16, 128, 1001, 0x1CA, 2048}};

struct Rig {
    kitsim::Kit kit;
    std::unique_ptr<kitsim::NandChip> chip;
    rook::SimHost host{kit, "/nonexistent"};
    Engine engine{host};
    const Variant& v;
    uint32_t stride;

    explicit Rig(const Variant& variant) : v(variant), stride(2048 + variant.spare) {
        chip = std::make_unique<kitsim::NandChip>(kitsim::VeltanPart(v.bus, v.spare), kit.Clock());
        kit.Attach(0, chip.get());
        LxPromptTestBegin();
    }
    ~Rig() { LxPromptTestEnd(); }
    int Open(const std::string& extra = "") {
        host.preset = rook::VeltanPreset(v.bus, v.spare) + ";" + extra;
        return engine.Init(0);
    }
};


std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t n) {
    return std::vector<uint8_t>(v.begin() + static_cast<std::ptrdiff_t>(from), v.begin() + static_cast<std::ptrdiff_t>(from + n));
}

}  // namespace

TEST(Veltan, OpensEachPartWithItsGeometryAndDeviceCode) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        Rig r(v);
        ASSERT_EQ(r.Open(), 0);
        EXPECT_EQ(LxPromptRecordCount(), 0);
        EXPECT_EQ(r.engine.Init(3), v.deviceCode);
        EXPECT_EQ(r.engine.Geometry().jedecId, v.jedec);
        EXPECT_EQ(r.engine.VeltanBlocks(), v.blocks);
        EXPECT_EQ(r.engine.VeltanPagesPerBlock(), 64u);
        EXPECT_EQ(r.engine.BytesPerDevice(), uint64_t(v.blocks) * 128 * 1024);
        EXPECT_EQ(r.engine.Geometry().unitSize, 128u * 1024);
        EXPECT_EQ(r.engine.Geometry().unitShift, 17u);
        EXPECT_EQ(r.kit.Register(9) & 0x80, 0x80);  // the kit in NAND register mode
        char text[512];
        r.engine.GetDeviceTextInfo(text);
        char head[64];
        std::snprintf(head, sizeof head, "[JEDEC ID:%06X]\r\n[Physical Information]\r\n-Type: NAND\r\n", v.jedec);
        EXPECT_EQ(std::string(text).rfind(head, 0), 0u) << text;
        // The NOR exports belong to other classes.
        uint8_t b[4];
        EXPECT_EQ(r.engine.NorReadData(0, 4, b), -1);
    }
}

// Whole pages with their spare areas, partial pages at byte columns and reads from a column: the
// model holds what was programmed and the reads give it back.
TEST(Veltan, PagesWithSpareAgreeWithTheModel) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        Rig r(v);
        ASSERT_EQ(r.Open(), 0);
        const uint32_t first = 3 * 64 + 10;
        std::vector<uint8_t> pages = Pattern(3 * r.stride, v.bus * 1000 + v.spare);
        ASSERT_EQ(r.engine.VeltanProgramRawPage(first, 3, pages.data()), 0);
        for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(r.chip->Page(first + i), Slice(pages, i * r.stride, r.stride)) << i;
        std::vector<uint8_t> back(3 * r.stride, 0);
        ASSERT_EQ(r.engine.VeltanReadRawPage(0, first, 3, back.data()), 0);
        EXPECT_EQ(back, pages);

        // A read of the data area from a column, the spare area right behind the data read.
        std::vector<uint8_t> buffer(100 + v.spare, 0);
        EXPECT_EQ(r.engine.VeltanReadPage(512, first + 1, 100, buffer.data()), 0);
        EXPECT_EQ(Slice(buffer, 0, 100), Slice(pages, r.stride + 512, 100));
        EXPECT_EQ(Slice(buffer, 100, v.spare), Slice(pages, r.stride + 2048, v.spare));
        EXPECT_EQ(r.engine.LastResult(), 0);

        // A partial program of 512 bytes at a byte column of an erased page: the rest stays erased.
        std::vector<uint8_t> chunk = Pattern(512, 77);
        std::vector<uint8_t> spare(v.spare / 4, 0x00);
        ASSERT_EQ(r.engine.VeltanProgramPage(3 * 512, first + 5, 512, chunk.data(), spare.data()), 0);
        std::vector<uint8_t> expect(r.stride, 0xFF);
        std::copy(chunk.begin(), chunk.end(), expect.begin() + 3 * 512);
        EXPECT_EQ(r.chip->Page(first + 5), expect);
        // A whole page through the same export takes the spare area with it.
        std::vector<uint8_t> whole = Pattern(2048, 5), wholeSpare = Pattern(v.spare, 6);
        ASSERT_EQ(r.engine.VeltanProgramPage(0, first + 6, 2048, whole.data(), wholeSpare.data()), 0);
        whole.insert(whole.end(), wholeSpare.begin(), wholeSpare.end());
        EXPECT_EQ(r.chip->Page(first + 6), whole);

        // A second program of a programmed page is refused by the part: program failure, nothing changed.
        EXPECT_EQ(r.engine.VeltanProgramRawPage(first, 1, std::vector<uint8_t>(r.stride, 0).data()), 3);
        EXPECT_EQ(r.engine.LastResult(), 3);
        EXPECT_EQ(r.chip->Page(first), Slice(pages, 0, r.stride));

        ASSERT_EQ(r.engine.VeltanEraseBlock(3), 0);
        EXPECT_EQ(r.chip->Page(first), std::vector<uint8_t>(r.stride, 0xFF));
        EXPECT_EQ(r.chip->Page(4 * 64), std::vector<uint8_t>(r.stride, 0xFF));
        ASSERT_EQ(r.engine.VeltanReadRawPage(0, first, 1, back.data()), 0);
        EXPECT_EQ(Slice(back, 0, r.stride), std::vector<uint8_t>(r.stride, 0xFF));
    }
}

// The read stops at the end of the data area, however long the request, and the spare follows
// the bytes actually read; the bytes past them stay as the caller left them.
TEST(Veltan, ReadIsClampedToThePage) {
    Rig r(kVariants[1]);
    ASSERT_EQ(r.Open(), 0);
    std::vector<uint8_t> page = Pattern(r.stride, 9);
    r.chip->SetPage(70, page);
    std::vector<uint8_t> buffer(8192 + 64, 0xA5);
    EXPECT_EQ(r.engine.VeltanReadPage(1024, 70, 8192, buffer.data()), 0);
    EXPECT_EQ(Slice(buffer, 0, 1024), Slice(page, 1024, 1024));
    EXPECT_EQ(Slice(buffer, 1024, 64), Slice(page, 2048, 64));
    EXPECT_EQ(buffer[1024 + 64], 0xA5);
    EXPECT_EQ(buffer.back(), 0xA5);
}

TEST(Veltan, ParameterPageAndUniqueId) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        Rig r(v);
        ASSERT_EQ(r.Open(), 0);
        std::vector<uint8_t> buffer(r.stride, 0);
        uint64_t before = r.kit.Clock().NowNs();
        ASSERT_EQ(r.engine.VeltanReadRawPage(0x10, 0, 1, buffer.data()), 0);
        EXPECT_GE(r.kit.Clock().NowNs() - before, 1000000000ull);  // the one-second wait
        const std::vector<uint8_t>& p = r.chip->ParameterPage();
        for (size_t copy = 0; copy < r.stride / 256; ++copy) EXPECT_EQ(Slice(buffer, copy * 256, 256), p) << copy;
        EXPECT_EQ(buffer[254] | (buffer[255] << 8), kitsim::OnfiCrc16(buffer.data(), 254));
        EXPECT_EQ(buffer[84] | (buffer[85] << 8), static_cast<int>(v.spare));
        EXPECT_EQ(buffer[6] & 1, v.bus == 16 ? 1 : 0);

        ASSERT_EQ(r.engine.VeltanReadRawPage(0x20, 0, 1, buffer.data()), 0);
        EXPECT_EQ(Slice(buffer, 0, 16), r.chip->Part().uniqueId);
        for (size_t i = 0; i < 16; ++i) EXPECT_EQ(buffer[i] ^ buffer[16 + i], 0xFF);
    }
}

// Factory marks, a mark written by a program, and a block that goes bad in use.
TEST(Veltan, BadBlockMarksAndAGrownBadBlock) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        Rig r(v);
        ASSERT_EQ(r.Open(), 0);
        std::vector<uint8_t> mark(r.stride, 0xFF);
        mark[2048] = 0x00;
        ASSERT_EQ(r.engine.VeltanProgramRawPage(9 * 64, 1, mark.data()), 0);
        std::vector<uint8_t> table(v.blocks, 0x55);
        ASSERT_EQ(r.engine.VeltanGetBbt(table.data()), 0);
        std::vector<uint32_t> bad;
        for (uint32_t b = 0; b < v.blocks; ++b) {
            if (table[b] != 0xFF) bad.push_back(b);
            EXPECT_TRUE(table[b] == 0xFF || table[b] == 0) << b;
        }
        EXPECT_EQ(bad, (std::vector<uint32_t>{5, 9, 100, 1000}));

        std::vector<uint8_t> page = Pattern(r.stride, 1);
        ASSERT_EQ(r.engine.VeltanProgramRawPage(20 * 64, 1, page.data()), 0);
        r.chip->InjectGrownBadBlock(20);
        EXPECT_EQ(r.engine.VeltanProgramRawPage(20 * 64 + 1, 1, page.data()), 3);
        char name[64];
        EXPECT_EQ(r.engine.GetLastError(name, sizeof name), 3);
        EXPECT_EQ(r.engine.VeltanEraseBlock(20), 4);
        EXPECT_EQ(r.engine.LastResult(), 4);
        EXPECT_EQ(r.chip->Page(20 * 64), page);
        EXPECT_EQ(r.engine.VeltanEraseBlock(21), 0);
    }
}

// A wait that gives up ends the chip's operation: the next program is judged by its own status,
// never by the end of the erase it would otherwise have been dropped behind.
TEST(Veltan, AnEraseThatTimedOutIsEndedBeforeTheNextCommand) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        Rig r(v);
        ASSERT_EQ(r.Open("eraseTimeout=1"), 0);
        EXPECT_EQ(r.engine.VeltanEraseBlock(3), 8);
        EXPECT_FALSE(r.chip->Busy());
        auto page = Pattern(r.stride, 41);
        ASSERT_EQ(r.engine.VeltanProgramRawPage(3 * 64 + 1, 1, page.data()), 0);
        EXPECT_EQ(r.chip->Page(3 * 64 + 1), page);
    }
}

// Status outcomes other than pass and fail, and a kit that stops answering.
TEST(Veltan, StuckWriteProtectedAndUnplugged) {
    Rig r(kVariants[0]);
    ASSERT_EQ(r.Open("programTimeout=50;eraseTimeout=50"), 0);
    std::vector<uint8_t> page(r.stride, 0);
    r.chip->Faults().stuckBusy = true;
    EXPECT_EQ(r.engine.VeltanProgramRawPage(64, 1, page.data()), 8);
    EXPECT_EQ(r.engine.VeltanEraseBlock(1), 8);
    r.chip->Faults().stuckBusy = false;
    // The soft reset of gfslInit reaches the chip as its reset command and ends the stuck operation.
    EXPECT_EQ(r.engine.Init(16), 0);
    EXPECT_TRUE(r.chip->Status() & 0x40);
    r.chip->Faults().stuckBusy = true;
    EXPECT_EQ(r.engine.VeltanEraseBlock(1), 8);
    r.chip->Faults().stuckBusy = false;
    r.engine.Init(17);  // so does the reset line
    EXPECT_TRUE(r.chip->Status() & 0x40);
    r.chip->Faults().writeProtected = true;
    EXPECT_EQ(r.engine.VeltanProgramRawPage(64, 1, page.data()), 10);
    EXPECT_EQ(r.engine.VeltanEraseBlock(1), 10);
    r.chip->Faults().writeProtected = false;
    EXPECT_EQ(r.chip->Page(64), std::vector<uint8_t>(r.stride, 0xFF));

    r.host.bus->Pipes().unplugged = true;
    EXPECT_EQ(r.engine.VeltanProgramRawPage(64, 1, page.data()), -1);
    EXPECT_EQ(r.engine.VeltanEraseBlock(1), -1);
    EXPECT_EQ(r.engine.VeltanReadRawPage(0, 64, 1, page.data()), -1);
    EXPECT_EQ(r.engine.VeltanReadPage(0, 64, 2048, page.data()), -1);
    std::vector<uint8_t> table(1024);
    EXPECT_EQ(r.engine.VeltanGetBbt(table.data()), -1);
}

TEST(Veltan, RefusedArguments) {
    Rig r(kVariants[1]);
    ASSERT_EQ(r.Open(), 0);
    std::vector<uint8_t> buffer(2 * r.stride, 0);
    const uint32_t pages = 1024 * 64;
    // Each call's answer with the last result it left (braced lists run in order).
    auto call = [&](int result) { return std::make_pair(result, r.engine.LastResult()); };
    struct {
        const char* what;
        std::pair<int, int32_t> got;
        int32_t last;
    } cases[] = {
        {"page past the end", call(r.engine.VeltanReadRawPage(0, pages - 1, 2, buffer.data())), rook::ERROR_INVALID_PARAMETER_INPUT},
        {"null buffer", call(r.engine.VeltanReadRawPage(0, 0, 1, nullptr)), rook::ERROR_INVALID_HANDLE_PARAM},
        {"program past the end", call(r.engine.VeltanProgramRawPage(pages, 1, buffer.data())), rook::ERROR_INVALID_PARAMETER_INPUT},
        {"column past the page", call(r.engine.VeltanProgramPage(1536, 0, 1024, buffer.data(), nullptr)), rook::ERROR_INVALID_PARAMETER_INPUT},
        {"odd column on x16", call(r.engine.VeltanProgramPage(3, 0, 2, buffer.data(), nullptr)), rook::ERROR_INVALID_PARAMETER_INPUT},
        {"read column past the page", call(r.engine.VeltanReadPage(2048, 0, 4, buffer.data())), rook::ERROR_INVALID_PARAMETER_INPUT},
        {"block past the end", call(r.engine.VeltanEraseBlock(1024)), rook::ERROR_INVALID_PARAMETER_INPUT},
        {"null table", call(r.engine.VeltanGetBbt(nullptr)), rook::ERROR_INVALID_HANDLE_PARAM},
    };
    for (auto& c : cases) {
        EXPECT_EQ(c.got.first, -1) << c.what;
        EXPECT_EQ(c.got.second, c.last) << c.what;
    }
    EXPECT_EQ(r.chip->IgnoredCommands(), 0u);
}

// The ID read: ID kind 0 reads as many bytes as the expected ID has (two, or three for a
// three-byte code), kind 3 three; a kind the module does not know gives no ID and a failed
// identification, which the open then asks about.
TEST(Veltan, IdKinds) {
    struct {
        const char* extra;
        uint32_t id;
        const char* question;
    } cases[] = {{"nandIdKind=0", 0x1F1, nullptr},
                 {"nandIdKind=0;jedec=0x1F100", 0x1F100, nullptr},
                 {"nandIdKind=3;jedec=0x1F100", 0x1F100, nullptr},
                 {"nandIdKind=7", 0xFFFFFFFF, "Your device has an incorrect device ID (0xFFFFFFFF) and no CFI information."}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.extra);
        Rig r(kVariants[0]);
        LxPromptQueueAnswer(LX_IDNO);
        int result = r.Open(c.extra);
        EXPECT_EQ(r.engine.Geometry().jedecId, c.id);
        ASSERT_EQ(LxPromptRecordCount(), c.question ? 1 : 0);
        if (c.question) EXPECT_EQ(std::string(LxPromptRecordText(0)).rfind(c.question, 0), 0u) << LxPromptRecordText(0);
        EXPECT_EQ(result, c.question ? -1 : 0);
    }
}

// The calls of another device class answer -1 and touch no kit.
TEST(Veltan, OtherClassesRefuse) {
    Rig r(kVariants[0]);
    uint8_t b[8];
    EXPECT_EQ(r.engine.VeltanReadPage(0, 0, 4, b), -1);
    EXPECT_EQ(r.engine.VeltanProgramPage(0, 0, 4, b, nullptr), -1);
    EXPECT_EQ(r.engine.VeltanReadRawPage(0, 0, 1, b), -1);
    EXPECT_EQ(r.engine.VeltanProgramRawPage(0, 1, b), -1);
    EXPECT_EQ(r.engine.VeltanEraseBlock(0), -1);
    EXPECT_EQ(r.engine.VeltanGetBbt(b), -1);
    EXPECT_EQ(r.engine.VeltanBlocks(), 0u);
}

// Every cycle of a page read is in the bus trace: on a 16-bit bus the command register is bus word
// 2 and the address register bus word 4 of the window, then the data run with its first word.
TEST(Veltan, PageReadCyclesInTheTrace) {
    Rig r(kVariants[3]);
    ASSERT_EQ(r.Open(), 0);
    std::vector<uint8_t> page = Pattern(r.stride, 12);
    r.chip->SetPage(0x10203, page);
    std::vector<uint8_t> buffer(4 + 128);
    ASSERT_EQ(r.engine.VeltanReadPage(512, 0x10203, 4, buffer.data()), 0);
    rook::TraceRing& t = r.engine.Trace();
    // Newest last: op, offset, address, data of each record.
    struct Record {
        uint32_t op, offset, address, data;
    };
    std::vector<Record> expect;
    auto cycle = [&](uint32_t offset, uint32_t value) {
        expect.push_back({1004, offset, 0x80000000u + 2 * offset, value});
        expect.push_back({1005, offset, 0x80000000u + 2 * offset, value});
    };
    cycle(2, 0x00);
    for (uint32_t a : {0x00u, 0x01u, 0x03u, 0x02u, 0x01u}) cycle(4, a);  // column 256 words, row 0x10203
    cycle(2, 0x30);
    const uint32_t first = page[512] | (page[513] << 8) | (page[514] << 16) | (uint32_t(page[515]) << 24);
    expect.push_back({1002, 0, 0x80000000u, 0});
    expect.push_back({1003, 0, 0x80000000u, first});
    const uint32_t last = static_cast<uint32_t>(t.Index());
    ASSERT_GE(last + 1, expect.size());
    for (size_t i = 0; i < expect.size(); ++i) {
        uint32_t rec = last + 1 - static_cast<uint32_t>(expect.size()) + static_cast<uint32_t>(i);
        EXPECT_EQ(t.Field(rec, 1), expect[i].op) << i;
        EXPECT_EQ(t.Field(rec, 2), 0x80000000u) << i;
        EXPECT_EQ(t.Field(rec, 3), expect[i].offset) << i;
        EXPECT_EQ(t.Field(rec, 4), expect[i].address) << i;
        EXPECT_EQ(t.Field(rec, 5), expect[i].data) << i;
    }
}
