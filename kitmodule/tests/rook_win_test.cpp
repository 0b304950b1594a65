// Tarn-Rook.dll bound by name as the main program binds it, over TarnControl (COM) and the
// simulated kit of LxKitSim.dll: what the exports report must be what the chip model holds.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kitsim/nand_chip.h"
#include "kitsim/nor_chip.h"
#include "kitsim/spi_chip.h"
#include "lumivex/deviceapi.h"
#include "pattern.h"
#include "test_support.h"
#include "veltan_presets.h"
#include "rook_api.h"

namespace {

using Api = RookApi;

Api& Rook() {
    static Api api = BindRook("Tarn-Rook.dll");
    return api;
}

kitsim::NorChip* Chip() {
    auto get = SimExport<void* (*)(int)>("LxKitSimNorChip");
    return get ? static_cast<kitsim::NorChip*>(get(0)) : nullptr;
}

kitsim::NandChip* NandChip() {
    auto get = SimExport<void* (*)(int)>("LxKitSimNandChip");
    return get ? static_cast<kitsim::NandChip*>(get(0)) : nullptr;
}

int Unplug(int on) {
    auto f = SimExport<int (*)(int, int)>("LxKitSimUnplug");
    return f ? f(0, on) : -1;
}

const char* kPreset = "class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001;forceFpga=0";

class RookWin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Rook().module, nullptr) << GetLastError();
        // The module reads the installation folder the main program registered; give it one.
        char cwd[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof cwd, cwd);
        ASSERT_TRUE(RegisterInstallFolderOnce(cwd));
        SetEnvironmentVariableA("LX_TARNROOK_PRESET", kPreset);
        Rook().fpCreateFunctionProfiler();
    }
    void TearDown() override { Rook().gfslInit(1); }
    int Open(const char* preset = kPreset) {
        SetEnvironmentVariableA("LX_TARNROOK_PRESET", preset);
        return Rook().gfslInit(0);
    }
};

TEST_F(RookWin, OpensReadsProgramsAndErasesOverTheKitControl) {
    Api& a = Rook();
    EXPECT_EQ(a.gfslInit(2), 1);
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(a.gfslInit(2), 0);
    EXPECT_EQ(a.gfslInit(3), 9);
    kitsim::NorChip* chip = Chip();
    ASSERT_NE(chip, nullptr);
    char text[1024];
    ASSERT_GT(a.gfslGetDeviceTextInfo("", text), 0);
    EXPECT_NE(std::string(text).find("[JEDEC ID:7E1001]\r\n[Physical Information]\r\n-Type: Legacy NOR\r\n"), std::string::npos) << text;
    EXPECT_EQ(a.gfslGetNumberOfBytesPerDevice(""), 8ull << 20);
    EXPECT_EQ(a.gfslNORGetBlockSize("", 127), 65536u);
    EXPECT_EQ(a.gfslNORGetBlockSize("", 128), 0u);

    std::vector<uint8_t> data(70000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    ASSERT_EQ(a.gfslNOREraseBlock(0, 1), 0);
    ASSERT_EQ(a.gfslNORProgramData(0, 0x10003, static_cast<uint32_t>(data.size()), data.data()), 0);
    EXPECT_EQ(0, std::memcmp(chip->Array().data() + 0x10003, data.data(), data.size()));
    std::vector<uint8_t> back(data.size());
    ASSERT_EQ(a.gfslNORReadData(0, 0x10003, static_cast<uint32_t>(back.size()), back.data()), 0);
    EXPECT_EQ(back, data);
    ASSERT_EQ(a.gfslNOREraseBlock(0, 1), 0);
    EXPECT_EQ(chip->Array()[0x10003], 0xFF);
    EXPECT_EQ(chip->Array()[0x20000], data[0x20000 - 0x10003]);  // the next block kept its data

    // Each export counted itself.
    EXPECT_EQ(a.fpGetFunctionProfilerCount(0), 1u);
    EXPECT_EQ(a.fpGetFunctionProfilerCount(22), 2u);
    EXPECT_EQ(a.fpGetFunctionProfilerCount(19), 1u);
    EXPECT_STREQ(a.fpGetFunctionProfilerName(19), "FP_gfslNORProgramData");
    EXPECT_STREQ(a.fpGetFunctionProfilerName(65), "FP_gfslSetLatestSectorInfo");
    EXPECT_EQ(a.fpGetNumberOfProfileFunctions(), 66);
}

// The bus trace lives in the named shared memory: another view of "TraceMap" (as a second
// process opens it) sees the records of this module's accesses.
TEST_F(RookWin, TraceMapHoldsTheBusRecords) {
    Api& a = Rook();
    ASSERT_EQ(Open(), 0);
    int answer = a.gfslInit(19);
    ASSERT_NE(answer, 0);
    const void* view = reinterpret_cast<const void*>(static_cast<uintptr_t>(static_cast<uint32_t>(answer)));
    HANDLE other = OpenFileMappingA(FILE_MAP_READ, FALSE, "TraceMap");
    ASSERT_NE(other, nullptr);
    auto* records = static_cast<const TraceRecord*>(MapViewOfFile(other, FILE_MAP_READ, 0, 0, LX_TRACE_MAP_BYTES));
    ASSERT_NE(records, nullptr);
    EXPECT_EQ(0, std::memcmp(view, records, LX_TRACE_MAP_BYTES));
    // The ring goes on across opens: find the newest record, then look back from it.
    auto newest = [&] {
        uint32_t best = 0;
        for (uint32_t i = 1; i < LX_TRACE_RECORD_COUNT; ++i)
            if (records[i].sync > records[best].sync && records[i].opcode) best = i;
        return best;
    };
    ASSERT_EQ(a.gfslNORSetASOMode(0, 0x08), 0);  // autoselect: unlock, 0x90
    uint32_t last = newest();
    struct {
        uint32_t back, opcode, offset, data;
    } expect[] = {{5, 1004, 0x555, 0xAA}, {4, 1005, 0x555, 0xAA}, {3, 1004, 0x2AA, 0x55},
                  {2, 1005, 0x2AA, 0x55}, {1, 1004, 0x555, 0x90}, {0, 1005, 0x555, 0x90}};
    for (auto e : expect) {
        const TraceRecord& r = records[(last + LX_TRACE_RECORD_COUNT - e.back) % LX_TRACE_RECORD_COUNT];
        EXPECT_EQ(r.opcode, e.opcode) << e.back;
        EXPECT_EQ(r.offset, e.offset) << e.back;
        EXPECT_EQ(r.data, e.data) << e.back;
        EXPECT_EQ(r.base, 0x80000000u);
        EXPECT_EQ(r.address, 0x80000000u + 2 * e.offset);
    }
    // Reading the autoselect data: one read record pair, whatever the number of polls.
    uint8_t id[2];
    ASSERT_EQ(a.gfslNORReadData(0, 2, 2, id), 0);
    EXPECT_EQ(id[0], 0x7E);
    EXPECT_EQ(records[newest()].opcode, 1003u);
    EXPECT_EQ(records[newest()].data & 0xFFFF, 0x227Eu);
    ASSERT_EQ(a.gfslNORSetASOMode(0, 0x09), 0);
    UnmapViewOfFile(records);
    CloseHandle(other);
    EXPECT_EQ(a.gfslInit(1), 0);
    EXPECT_EQ(a.gfslInit(19), -1);
}

TEST_F(RookWin, FaultsAndAPulledCableAreFailures) {
    Api& a = Rook();
    // The module's clock against the kit's: whether the module gives up before or after the chip
    // would have ended, a failed or stuck erase is an error, never a success.
    char speedBefore[32] = "";
    GetEnvironmentVariableA("LX_TARNROOK_CLOCK_SPEED", speedBefore, sizeof speedBefore);
    for (const char* speed : {"1", "40", "70", "100", "300", "3000"}) {
        SCOPED_TRACE(speed);
        SetEnvironmentVariableA("LX_TARNROOK_CLOCK_SPEED", speed);
        ASSERT_EQ(Open("class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001;forceFpga=0;"
                       "programTimeout=200;eraseTimeout=200"),
                  0);
        kitsim::NorChip* chip = Chip();
        ASSERT_NE(chip, nullptr);
        uint8_t data[64] = {0};
        char name[64];
        std::memset(chip->Array().data() + 0x30000, 0x5A, 0x10000);
        chip->Faults().failProgram = true;
        EXPECT_EQ(a.gfslNORProgramData(0, 0x30000, 64, data), -1);
        EXPECT_EQ(a.gfslGetLastError(name, sizeof name), 1005);
        EXPECT_STREQ(name, "ERROR_PROGRAM");
        chip->Faults().failProgram = false;
        chip->Faults().failErase = true;
        EXPECT_EQ(a.gfslNOREraseBlock(0, 3), -1);
        EXPECT_EQ(a.gfslGetLastError(name, sizeof name), 1006);
        chip->Faults().failErase = false;
        chip->Faults().stuckBusy = true;
        EXPECT_EQ(a.gfslNOREraseBlock(0, 3), -1);
        EXPECT_EQ(a.gfslGetLastError(name, sizeof name), 1006);
        chip->Faults().stuckBusy = false;
        EXPECT_EQ(chip->Array()[0x3FFFF], 0x5A);  // nothing was erased
        ASSERT_EQ(a.gfslInit(17), 0);  // the reset line ends whatever is left
        a.gfslInit(1);
    }
    SetEnvironmentVariableA("LX_TARNROOK_CLOCK_SPEED", speedBefore[0] ? speedBefore : nullptr);
    ASSERT_EQ(Open(), 0);

    ASSERT_EQ(Unplug(1), 0);
    std::vector<uint8_t> big(128 * 1024, 0x55);
    EXPECT_EQ(a.gfslNORProgramData(0, 0x50000, static_cast<uint32_t>(big.size()), big.data()), -1);
    EXPECT_EQ(a.gfslNORReadData(0, 0, 16, big.data()), -1);
    ASSERT_EQ(Unplug(0), 0);
    EXPECT_EQ(a.gfslInit(1), 0);
    ASSERT_EQ(Open(), 0);  // the kit answers again after the cable is back
}

// Chip erase and erase suspend/resume through the module's custom callbacks, as a script's
// CustomCallback calls reach them; the chip model judges.
TEST_F(RookWin, ChipEraseAndEraseSuspendThroughTheCustomCallbacks) {
    Api& a = Rook();
    ASSERT_EQ(Open(), 0);
    kitsim::NorChip* chip = Chip();
    ASSERT_NE(chip, nullptr);
    std::fill(chip->Array().begin(), chip->Array().end(), 0x00);
    ASSERT_EQ(a.gfslCustomCallback2(4, 0, 0, 0), 0);  // erase block 4, not waited for
    ASSERT_EQ(a.gfslCustomCallback3(4, 0, 0, 0), 0);  // suspended
    uint8_t b[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    ASSERT_EQ(a.gfslNORReadData(0, 5 * 65536, 4, b), 0);  // another block reads as data meanwhile
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(chip->Array()[4 * 65536 + 9], 0x00);
    ASSERT_EQ(a.gfslCustomCallback4(4, 0, 0, 0), 0);  // resumed and ended
    EXPECT_EQ(chip->Array()[4 * 65536 + 9], 0xFF);
    EXPECT_EQ(chip->Array()[5 * 65536], 0x00);
    char name[64];
    EXPECT_EQ(a.gfslCustomCallback4(4, 0, 0, 0), -1);
    EXPECT_EQ(a.gfslGetLastError(name, sizeof name), 1002);

    ASSERT_EQ(a.gfslCustomCallback1(0, 0, 0, 0), 0);
    EXPECT_TRUE(std::all_of(chip->Array().begin(), chip->Array().end(), [](uint8_t v) { return v == 0xFF; }));
    EXPECT_EQ(a.fpGetFunctionProfilerCount(57), 1u);
    EXPECT_EQ(a.fpGetFunctionProfilerCount(60), 2u);
}

TEST_F(RookWin, OpenFailures) {
    Api& a = Rook();
    char name[64];
    EXPECT_EQ(Open("class=1;bogus"), -1);
    EXPECT_EQ(a.gfslGetLastError(name, sizeof name), 1001);
    EXPECT_EQ(Open("class=1;type=1;bus=16;socket=0;forceFpga=0"), -1);
    EXPECT_EQ(a.gfslGetLastError(name, sizeof name), 1032);
    EXPECT_STREQ(name, "ERROR_TO_INITIALIZE_TARN_HAL");
    EXPECT_EQ(a.gfslInit(2), 1);
}

// The NAND half: the kit holds one Veltan part at a time in socket position 0 (the NOR chip goes
// back when the test ends).
class RookNandWin : public RookWin {
protected:
    void TearDown() override {
        RookWin::TearDown();
        auto set = SimExport<int (*)(int, const char*)>("LxKitSimSetNandPart");
        if (set) set(0, "");
    }
    kitsim::NandChip* Use(const char* part) {
        auto set = SimExport<int (*)(int, const char*)>("LxKitSimSetNandPart");
        if (!set || set(0, part) != 0) return nullptr;
        return NandChip();
    }
};


TEST_F(RookNandWin, EveryPartThroughTheExports) {
    Api& a = Rook();
    const struct {
        const char* part;
        unsigned bus, spare;
        int code;
        const char* jedec;
        uint32_t blocks;
    } parts[] = {{"x8-64", 8, 64, 8, "[JEDEC ID:0001F1]", 1024},
                 {"x16-64", 16, 64, 8, "[JEDEC ID:0001C1]", 1024},
                 {"x8-128", 8, 128, 1001, "[JEDEC ID:0001DA]", 2048},
                 {"x16-128", 16, 128, 1001, "[JEDEC ID:0001CA]", 2048}};
    for (const auto& p : parts) {
        SCOPED_TRACE(p.part);
        kitsim::NandChip* chip = Use(p.part);
        ASSERT_NE(chip, nullptr);
        ASSERT_EQ(Open(rook::VeltanPreset(p.bus, p.spare).c_str()), 0);
        EXPECT_EQ(a.gfslInit(3), p.code);
        char text[1024];
        ASSERT_GT(a.gfslGetDeviceTextInfo("", text), 0);
        EXPECT_EQ(std::string(text).rfind(p.jedec, 0), 0u) << text;
        EXPECT_EQ(a.gfslVeltanGetNumberOfPhysicalBlocks(""), p.blocks);
        EXPECT_EQ(a.gfslVeltanGetNumberOfPagesPerBlock(""), 64u);
        const uint32_t stride = 2048 + p.spare;

        // Raw pages with their spare areas, as the explorer programs and reads them (not the
        // first, second or last page of the block, where a spare byte would be a bad-block mark).
        std::vector<uint8_t> pages = Pattern(2 * stride, p.spare + p.bus);
        ASSERT_EQ(a.gfslVeltanProgramRawPage(0, 64 * 7 + 2, 2, pages.data()), 0);
        for (uint32_t i = 0; i < 2; ++i) {
            std::vector<uint8_t> model = chip->Page(64 * 7 + 2 + i);
            EXPECT_TRUE(std::equal(model.begin(), model.end(), pages.begin() + i * stride)) << i;
        }
        std::vector<uint8_t> back(2 * stride);
        ASSERT_EQ(a.gfslVeltanReadRawPage(0, 64 * 7 + 2, 2, back.data()), 0);
        EXPECT_EQ(back, pages);
        // The page read answers its real result, the spare area behind the data it read.
        std::vector<uint8_t> head(16 + p.spare);
        EXPECT_EQ(a.gfslVeltanReadPage(0, 0, 64 * 7 + 3, 16, head.data()), 0);
        EXPECT_TRUE(std::equal(head.begin(), head.begin() + 16, pages.begin() + stride));
        EXPECT_TRUE(std::equal(head.begin() + 16, head.end(), pages.begin() + stride + 2048));
        // A whole page through the page program, its spare area handed over by pointer.
        std::vector<uint8_t> data = Pattern(2048, 3), spare = Pattern(p.spare, 4);
        ASSERT_EQ(a.gfslVeltanProgramPage(0, 0, 64 * 7 + 5, 2048, data.data(), spare.data()), 0);
        data.insert(data.end(), spare.begin(), spare.end());
        EXPECT_EQ(chip->Page(64 * 7 + 5), data);

        // The ONFI parameter page as the model has it.
        std::vector<uint8_t> onfi(stride);
        ASSERT_EQ(a.gfslVeltanReadRawPage(0x10, 0, 1, onfi.data()), 0);
        EXPECT_TRUE(std::equal(chip->ParameterPage().begin(), chip->ParameterPage().end(), onfi.begin()));

        // Bad blocks: the factory marks, then one written by a program of the mark byte.
        std::vector<uint8_t> mark(stride, 0xFF);
        mark[2048] = 0;
        ASSERT_EQ(a.gfslVeltanProgramRawPage(0, 64 * 11, 1, mark.data()), 0);
        std::vector<uint8_t> table(p.blocks, 0x55);
        ASSERT_EQ(a.gfslVeltanGetBBT("", table.data()), 0);
        std::vector<uint32_t> bad;
        for (uint32_t b = 0; b < p.blocks; ++b)
            if (table[b] != 0xFF) bad.push_back(b);
        EXPECT_EQ(bad, (std::vector<uint32_t>{5, 11, 100, 1000}));

        // A block that goes bad in use: the program and the erase report it.
        chip->InjectGrownBadBlock(7);
        EXPECT_EQ(a.gfslVeltanProgramRawPage(0, 64 * 7 + 9, 1, pages.data()), 3);
        EXPECT_EQ(a.gfslGetLastError(nullptr, 0), 3);
        EXPECT_EQ(a.gfslVeltanEraseBlock(0, 7), 4);
        EXPECT_EQ(a.gfslGetLastError(nullptr, 0), 4);
        ASSERT_EQ(a.gfslVeltanEraseBlock(0, 8), 0);
        ASSERT_EQ(a.gfslVeltanEraseBlock(0, 11), 0);
        EXPECT_EQ(chip->Page(64 * 11), std::vector<uint8_t>(stride, 0xFF));
        EXPECT_EQ(a.gfslInit(1), 0);
    }
    EXPECT_GE(a.fpGetFunctionProfilerCount(15), 3u * (1024 + 1024 + 2048 + 2048));  // the table's reads
}

// LX_KITSIM_NAND puts the named part into every simulated kit from the start (its own ctest run).
TEST_F(RookWin, EnvironmentChoosesTheNandPart) {
    char part[32];
    if (GetEnvironmentVariableA("LX_KITSIM_NAND", part, sizeof part) == 0) GTEST_SKIP() << "LX_KITSIM_NAND not set";
    ASSERT_STREQ(part, "x8-64");
    ASSERT_EQ(Open(rook::VeltanPreset(8, 64).c_str()), 0);  // the kit control loads the simulator
    EXPECT_EQ(Rook().gfslInit(3), 8);
    kitsim::NandChip* chip = NandChip();
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(chip->Part().busBits, 8u);
    EXPECT_EQ(chip->Part().spareBytes, 64u);
    std::vector<uint8_t> page(2112);
    ASSERT_EQ(Rook().gfslVeltanReadRawPage(0, 5 * 64, 1, page.data()), 0);
    EXPECT_EQ(page[2048], 0);  // a factory mark
}

// ----- SPI: the same exports over the kit's serial controller and its SPI chip model

kitsim::SpiChip* SpiChip() {
    auto get = SimExport<void* (*)(int, int)>("LxKitSimSpiChip");
    return get ? static_cast<kitsim::SpiChip*>(get(0, 0)) : nullptr;
}

// Time runs 300 times faster in these tests while the chip works on kit time: a generous program
// time-out (200 ms of real time) keeps a page program on a loaded machine from ending as a time-out.
const char* kSpiPreset =
    "class=3;type=4;bus=8;interleave=1;cs=1;socket=1;vcc=3300;spiIo=1;forceFpga=0;programTimeout=60000;"
    "jedec=0x010219;spiFamily=8;spiExtendedIdBytes=2;spiRegisters=0x5F";

TEST_F(RookWin, SpiIdentifiesProgramsReadsAndErases) {
    Api& a = Rook();
    ASSERT_EQ(Open(kSpiPreset), 0);
    EXPECT_EQ(a.gfslInit(3), 3006);
    kitsim::SpiChip* chip = SpiChip();
    ASSERT_NE(chip, nullptr);
    char text[1024];
    ASSERT_GT(a.gfslGetDeviceTextInfo("", text), 0);
    EXPECT_NE(std::string(text).find("[JEDEC ID:010219]\r\n[Physical Information]\r\n-Type: SPI\r\n"), std::string::npos) << text;
    EXPECT_EQ(a.gfslGetNumberOfBytesPerDevice(""), 32ull << 20);
    EXPECT_EQ(a.gfslNORGetBlockSize("", 0), 4096u);
    EXPECT_EQ(a.gfslNORGetBlockSize("", 32), 65536u);

    // Across pages and across the 16 MiB bank boundary, then erase the second bank's first block.
    const uint32_t at = 0xFF0003;
    std::vector<uint8_t> data(70000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    std::fill(chip->Array().begin() + at - 1, chip->Array().begin() + at + data.size() + 1, 0xFF);
    ASSERT_EQ(a.gfslNORProgramData(0, at, static_cast<uint32_t>(data.size()), data.data()), 0);
    EXPECT_EQ(0, std::memcmp(chip->Array().data() + at, data.data(), data.size()));
    EXPECT_EQ(chip->Array()[at - 1], 0xFF);
    EXPECT_EQ(chip->Array()[at + data.size()], 0xFF);
    std::vector<uint8_t> back(data.size());
    ASSERT_EQ(a.gfslNORReadRawData(0, at, static_cast<uint32_t>(back.size()), back.data()), 0);
    EXPECT_EQ(back, data);
    const uint32_t block = 32 + (0x1000000 - 0x20000) / 0x10000;   // the block at 16 MiB
    ASSERT_EQ(a.gfslNOREraseBlock(0, block), 0);
    EXPECT_EQ(chip->Array()[0x1000000], 0xFF);
    EXPECT_EQ(chip->Array()[at + data.size() - 1], 0xFF);
    EXPECT_EQ(chip->Array()[0xFFFFFF], data[0xFFFFFF - at]);
}

TEST_F(RookWin, SpiRegistersProtectionOtpAndPassword) {
    Api& a = Rook();
    ASSERT_EQ(Open(kSpiPreset), 0);
    kitsim::SpiChip* chip = SpiChip();
    ASSERT_NE(chip, nullptr);
    auto in = [&](uint32_t space) {
        a.gfslNORSetASOMode(0, 1);
        return a.gfslNORSetASOMode(0, space);
    };
    // Status and configuration registers.
    uint8_t v = 0;
    ASSERT_EQ(in(0x20000), 0);
    uint8_t cr = 0x00;
    ASSERT_EQ(a.gfslNORProgramRawData(0, 0, 1, &cr), 0);
    ASSERT_EQ(in(0x10000), 0);
    uint8_t bp = 0x04;   // BP0: the top 1/64 of the array
    ASSERT_EQ(a.gfslNORProgramRawData(0, 0, 1, &bp), 0);
    ASSERT_EQ(a.gfslNORReadRawData(0, 0, 1, &v), 0);
    EXPECT_EQ(v & 0xFC, 0x04);
    a.gfslNORSetASOMode(0, 1);
    // A write into the protected range is refused by the chip, and said so: protection.
    uint8_t data[2] = {0x12, 0x34};
    const uint32_t top = (32u << 20) - 0x100;
    EXPECT_EQ(a.gfslNORProgramData(0, top, 2, data), -1);
    char name[64];
    EXPECT_EQ(a.gfslGetLastError(name, sizeof name), 1008);
    EXPECT_STREQ(name, "ERROR_WRITE_PROTECTED");
    EXPECT_EQ(chip->Array()[top], 0xFF);
    ASSERT_EQ(in(0x10000), 0);
    bp = 0x00;
    ASSERT_EQ(a.gfslNORProgramRawData(0, 0, 1, &bp), 0);
    a.gfslNORSetASOMode(0, 1);
    EXPECT_EQ(a.gfslNORProgramData(0, top, 2, data), 0);
    EXPECT_EQ(chip->Array()[top + 1], 0x34);

    // OTP: program a byte of region 5, lock the region, and the chip refuses it afterwards.
    ASSERT_EQ(in(0x100000), 0);
    uint8_t b = 0x5A;
    ASSERT_EQ(a.gfslNORProgramRawData(0, 0xA0, 1, &b), 0);
    ASSERT_EQ(a.gfslNORReadRawData(0, 0xA0, 1, &v), 0);
    EXPECT_EQ(v, 0x5A);
    uint8_t lock = static_cast<uint8_t>(~0x20);
    ASSERT_EQ(a.gfslNORProgramRawData(0, 0x10, 1, &lock), 0);
    b = 0x00;
    EXPECT_EQ(a.gfslNORProgramRawData(0, 0xA1, 1, &b), -1);
    EXPECT_EQ(chip->Otp()[0xA1], 0xFF);
    a.gfslNORSetASOMode(0, 1);

    // Persistent and dynamic protection bits of block 40, read back in the status word.
    uint16_t status = 0;
    ASSERT_EQ(a.gfslNORSetBlockStatus(0, 40, 0x2000), 0);
    ASSERT_EQ(a.gfslNORGetBlockStatus(0, 40, &status), 0);
    EXPECT_EQ(status & 0x3300, 0x2100);
    ASSERT_EQ(a.gfslNORSetBlockStatus(0, 40, 0x1000), 0);
    ASSERT_EQ(a.gfslNORSetBlockStatus(0, 40, 0x200), 0);
    ASSERT_EQ(a.gfslNORGetBlockStatus(0, 40, &status), 0);
    EXPECT_EQ(status & 0x3300, 0x1200);
    ASSERT_EQ(a.gfslNORSetBlockStatus(0, 0, 0x100), 0);
    ASSERT_EQ(a.gfslNORGetBlockStatus(0, 40, &status), 0);
    EXPECT_EQ(status & 0x3300, 0x1100);

    // The password, word by word, then read back into a buffer the caller names by address.
    const uint16_t words[4] = {0x1111, 0x2222, 0x3333, 0x4444};
    for (uint32_t i = 0; i < 4; ++i) ASSERT_EQ(a.gfslNORSetBlockStatus(0, (uint32_t(words[i]) << 16) | i, 0x4000), 0);
    ASSERT_EQ(a.gfslNORSetBlockStatus(0, 0xFFFF, 0x4000), 0);
    EXPECT_EQ(chip->Password(), 0x4444333322221111ull);
    auto* buffer = static_cast<uint8_t*>(VirtualAlloc(reinterpret_cast<void*>(0x30000000), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(a.gfslNORSetBlockStatus(0, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer)), 0xC000), 0);
    EXPECT_EQ(buffer[0], 0x11);
    EXPECT_EQ(buffer[7], 0x44);
    // An address that names no writable memory is refused, not written.
    EXPECT_EQ(a.gfslNORSetBlockStatus(0, 0x10, 0xC000), -1);
    EXPECT_EQ(a.gfslNORSetBlockStatus(0, 0, 0xC000), -1);
    VirtualFree(buffer, 0, MEM_RELEASE);
}

}  // namespace
