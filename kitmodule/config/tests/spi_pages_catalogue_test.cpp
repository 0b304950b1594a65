// Every SPI part of the catalogue, chosen as the Predefined List page chooses it and opened against
// the chip model made from its row, driven through every page and button that its device code
// offers, the way the pages drive the device (leave, enter the space without looking at the
// answer, one byte at address 0 or the area's bytes, then back to the array). Whatever a page
// does, the data area must not change; and a page that reports success must have changed the
// chip as it says.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue_host.h"
#include "catalogue_sim.h"
#include "engine.h"
#include "lumivex/prompt.h"
#include "nor_core.h"

using namespace rook;

namespace {

constexpr uint32_t kStatusSpace = 0x10000, kConfigSpace = 0x20000, kBessaStatus2Space = 0x40000,
                   kStatus3Space = 0x80000, kOtpSpace = 0x100000, kDataLearningSpace = 0x200000;
constexpr uint32_t kHeadBytes = 0x40000, kTailBytes = 0x10000;

uint8_t PatternByte(uint32_t i) { return static_cast<uint8_t>((i * 7 + 3) ^ (i >> 9)); }

// One catalogue part on a simulated kit, opened, its data area's head and tail filled.
struct CataloguePartRig {
    kitsim::Kit kit;
    std::unique_ptr<kitsim::SpiChip> chip;
    std::unique_ptr<CatalogueHost> host;
    std::unique_ptr<Engine> engine;
    uint32_t size = 0;
    int code = 0;

    explicit CataloguePartRig(const SpiCatalogueRow& row, const std::function<void(OperationSetupValues&)>& setup = {}) {
        chip = std::make_unique<kitsim::SpiChip>(SpiPartOf(row), kit.Clock());
        kit.AttachSerial(0, chip.get());
        host = std::make_unique<CatalogueHost>(kit, row.family, row.name, kClassSpi);
        if (setup) setup(host->operation);
        engine = std::make_unique<Engine>(*host);
        size = static_cast<uint32_t>(chip->Array().size());
        auto& a = chip->Array();
        for (uint32_t i = 0; i < std::min(size, kHeadBytes); ++i) a[i] = PatternByte(i);
        for (uint32_t i = size - kTailBytes; i < size; ++i) a[i] = PatternByte(i);
    }
    int Open() {
        const int r = engine->Init(0);
        code = engine->Init(3);
        return r;
    }

    // The pages' scheme: (0, 1), then (0, space) whose answer they do not look at.
    void Enter(uint32_t space) {
        engine->NorSetAsoMode(1);
        engine->NorSetAsoMode(space);
    }
    void Leave() { engine->NorSetAsoMode(1); }
    bool Read(uint32_t space, uint32_t address, uint32_t length, uint8_t* buffer) {
        Enter(space);
        const int r = engine->NorReadData(address, length, buffer);
        Leave();
        return r == 0;
    }
    bool Program(uint32_t space, uint32_t address, std::vector<uint8_t> bytes) {
        Enter(space);
        const int r = engine->NorProgramRawData(address, static_cast<uint32_t>(bytes.size()), bytes.data());
        Leave();
        return r == 0;
    }
    bool Erase(uint32_t space, uint32_t index) {
        Enter(space);
        const int r = engine->NorEraseBlock(index);
        Leave();
        return r == 0;
    }

    // The head and tail of the data area as filled; `whole` scans the erased middle as well.
    ::testing::AssertionResult DataUnchanged(bool whole = false) {
        const auto& a = chip->Array();
        for (uint32_t i = 0; i < size; ++i) {
            if (i == std::min(size, kHeadBytes) && i < size - kTailBytes) {
                if (whole && !std::all_of(a.begin() + i, a.begin() + (size - kTailBytes), [](uint8_t b) { return b == 0xFF; }))
                    return ::testing::AssertionFailure() << "the erased middle of the data area changed";
                i = size - kTailBytes;
            }
            if (a[i] != PatternByte(i))
                return ::testing::AssertionFailure() << "data byte 0x" << std::hex << i << " is 0x" << int(a[i]);
        }
        return ::testing::AssertionSuccess();
    }
};

// A register page: Refresh, then Program with `flip` changed (the register must then hold it), then
// Program back. Bits the page's chip keeps elsewhere (busy, latch, error bits) are left out of the
// comparison.
void RegisterPage(CataloguePartRig& r, uint32_t space, uint8_t flip, uint8_t compared, const char* what) {
    SCOPED_TRACE(what);
    uint8_t before = 0, after = 0;
    ASSERT_TRUE(r.Read(space, 0, 1, &before)) << "Refresh";
    ASSERT_TRUE(r.Program(space, 0, {static_cast<uint8_t>(before ^ flip)})) << "Program";
    ASSERT_TRUE(r.Read(space, 0, 1, &after));
    EXPECT_EQ(after & compared, (before ^ flip) & compared) << "the register holds what the page programmed";
    ASSERT_TRUE(r.Program(space, 0, {before}));
    EXPECT_TRUE(r.DataUnchanged());
}

void ProtectionPage(CataloguePartRig& r) {
    SCOPED_TRACE("protection page");
    const bool sec = r.code >= 3001 && r.code <= 3003;
    const bool twoMiB = lx::IsTwoMiB(static_cast<uint32_t>(r.engine->BytesPerDevice()));
    // Refresh: status register, then the configuration register (status register 2) without leaving.
    uint8_t status = 0, second = 0;
    r.Enter(kStatusSpace);
    ASSERT_EQ(r.engine->NorReadData(0, 1, &status), 0);
    r.engine->NorSetAsoMode(kConfigSpace);
    ASSERT_EQ(r.engine->NorReadData(0, 1, &second), 0);
    r.Leave();
    // Proceed with the second setting, then with the first again.
    const uint8_t set = sec ? lx::SecApply(status, 1, twoMiB) : lx::BpApply(status, 1);
    ASSERT_TRUE(r.Program(kStatusSpace, 0, {set}));
    uint8_t now = 0;
    ASSERT_TRUE(r.Read(kStatusSpace, 0, 1, &now));
    EXPECT_EQ(now & 0x7C, set & 0x7C);
    ASSERT_TRUE(r.Program(kStatusSpace, 0, {sec ? lx::SecApply(status, 0, twoMiB) : lx::BpApply(status, 0)}));
    EXPECT_TRUE(r.DataUnchanged());
    if (!sec) {
        // The volatility button, twice.
        for (int i = 0; i < 2; ++i) {
            uint8_t configuration = 0;
            ASSERT_TRUE(r.Read(kConfigSpace, 0, 1, &configuration));
            ASSERT_TRUE(r.Program(kConfigSpace, 0, {static_cast<uint8_t>(configuration ^ 0x08)}));
            ASSERT_TRUE(r.Read(kConfigSpace, 0, 1, &now));
            EXPECT_EQ(now, configuration ^ 0x08);
        }
        EXPECT_TRUE(r.DataUnchanged());
    }
}

// The OTP pages: the dump shows the chip's area, "Program" puts the byte there, "Lock" locks the
// region (the chip then refuses it, and the page says so).
void OtpAreaPage(CataloguePartRig& r, uint32_t first, uint32_t length, uint32_t data, lx::OtpLock lock) {
    const uint32_t base = r.chip->Part().otpBase;
    std::vector<uint8_t> dump(length);
    ASSERT_TRUE(r.Read(kOtpSpace, first, length, dump.data())) << "dump";
    EXPECT_TRUE(std::equal(dump.begin(), dump.end(), r.chip->Otp().begin() + (first - base)));
    ASSERT_TRUE(r.Program(kOtpSpace, data, {0x3C})) << "Program OTP data";
    EXPECT_EQ(r.chip->Otp()[data - base], 0x3C);
    uint8_t byte = 0;
    ASSERT_TRUE(r.Read(kOtpSpace, lock.address, 1, &byte));
    ASSERT_TRUE(r.Program(kOtpSpace, lock.address, {static_cast<uint8_t>(byte & ~(1u << lock.bit))})) << "Lock";
    EXPECT_FALSE(r.Program(kOtpSpace, data, {0x00})) << "a locked region is refused";
    EXPECT_EQ(r.chip->Otp()[data - base], 0x3C);
    EXPECT_TRUE(r.DataUnchanged());
}

// The sheet leaves out an OTP page whose area the part cannot reach (its OTP area is not the one
// the page is made for): the device refuses the space, and nothing the page would do gets through.
bool OtpSpaceOffered(CataloguePartRig& r) {
    r.Leave();
    const bool entered = r.engine->NorSetAsoMode(kOtpSpace) == 0;
    r.Leave();
    if (entered) return true;
    uint8_t byte = 0;
    EXPECT_FALSE(r.Read(kOtpSpace, 0x100, 1, &byte));
    EXPECT_FALSE(r.Program(kOtpSpace, 0x100, {0x00}));
    EXPECT_TRUE(r.DataUnchanged());
    return false;
}

void SecurityRegisterPage(CataloguePartRig& r) {
    SCOPED_TRACE("security register page");
    uint8_t sr2 = 0;
    ASSERT_TRUE(r.Read(kConfigSpace, 0, 1, &sr2));
    for (uint32_t n = 1; n <= 3; ++n) {
        std::vector<uint8_t> reg(256);
        ASSERT_TRUE(r.Read(kOtpSpace, n * 0x1000, 256, reg.data())) << "dump";
        EXPECT_EQ(reg, r.chip->SecurityRegister(n));
    }
    const uint32_t address = lx::MarroSecurityAddress(1, 0xFF);   // SecReg-2, offset 0xff
    ASSERT_TRUE(r.Program(kOtpSpace, address, {0xA5})) << "Program security registers";
    EXPECT_EQ(r.chip->SecurityRegister(2)[0xFF], 0xA5);
    std::vector<uint8_t> reg(256);
    ASSERT_TRUE(r.Read(kOtpSpace, 0x2000, 256, reg.data()));
    EXPECT_EQ(reg[0xFF], 0xA5) << "the dump shows it";
    ASSERT_TRUE(r.Erase(kOtpSpace, 2)) << "Erase security reg";
    EXPECT_EQ(r.chip->SecurityRegister(2)[0xFF], 0xFF);
    // Lock SecReg-3 with a byte in it: the chip keeps it, and program and erase say they failed.
    ASSERT_TRUE(r.Program(kOtpSpace, lx::MarroSecurityAddress(2, 0), {0x11}));
    ASSERT_TRUE(r.Read(kConfigSpace, 0, 1, &sr2));
    ASSERT_TRUE(r.Program(kConfigSpace, 0, {static_cast<uint8_t>(sr2 | 0x20)})) << "Lock security reg";
    EXPECT_FALSE(r.Program(kOtpSpace, lx::MarroSecurityAddress(2, 1), {0x22}));
    EXPECT_FALSE(r.Erase(kOtpSpace, 3));
    EXPECT_EQ(r.chip->SecurityRegister(3)[0], 0x11);
    EXPECT_EQ(r.chip->SecurityRegister(3)[1], 0xFF);
    EXPECT_TRUE(r.DataUnchanged());
}

void DataLearningPage(CataloguePartRig& r) {
    SCOPED_TRACE("data learning page");
    uint8_t pattern = 0;
    ASSERT_TRUE(r.Read(kDataLearningSpace, 0, 1, &pattern)) << "Read DLP";
    ASSERT_TRUE(r.Program(kDataLearningSpace, 0, {0x5A, 'V'})) << "Write VDLR";
    ASSERT_TRUE(r.Read(kDataLearningSpace, 0, 1, &pattern));
    EXPECT_EQ(pattern, 0x5A);
    ASSERT_TRUE(r.Program(kDataLearningSpace, 0, {0x33, 'N'})) << "Program NVDLR";
    EXPECT_EQ(r.chip->DataLearning(), 0x33);
    EXPECT_TRUE(r.DataUnchanged());
}

}  // namespace

TEST(SpiCataloguePages, EveryPageOfEveryPartActsOnItsRegistersAndNeverOnTheData) {
    LxPromptTestBegin();
    using P = lx::NorPage;
    for (const SpiCatalogueRow& row : SpiCatalogue()) {
        SCOPED_TRACE(row.name);
        CataloguePartRig r(row);
        ASSERT_EQ(r.Open(), 0);
        const std::vector<P> pages = lx::GeometrySheetPages(2, r.code, 0);
        ASSERT_NE(std::find(pages.begin(), pages.end(), P::kSpiProtectGroup), pages.end());
        for (P page : pages) {
            switch (page) {
            case P::kSpiStatus: RegisterPage(r, kStatusSpace, 0x04, 0xFC, "status register"); break;
            case P::kSpiConfiguration: RegisterPage(r, kConfigSpace, 0x08, 0xFF, "configuration register"); break;
            case P::kMarroStatus1: RegisterPage(r, kStatusSpace, 0x04, 0xFC, "status register 1"); break;
            case P::kMarroStatus2: RegisterPage(r, kConfigSpace, 0x40, 0xFF, "status register 2"); break;
            case P::kMarroStatus3: RegisterPage(r, kStatus3Space, 0x10, 0xFF, "status register 3"); break;
            case P::kBessaStatus2: RegisterPage(r, kBessaStatus2Space, 0x00, 0xFF, "status register 2 (one-time bits)"); break;
            case P::kSpiProtectGroup: ProtectionPage(r); break;
            case P::kDataLearning: DataLearningPage(r); break;
            case P::kPirelOtp: {
                SCOPED_TRACE("Pirel OTP page");
                if (!OtpSpaceOffered(r)) break;
                OtpAreaPage(r, 0x100, 512, lx::PirelOtpAddress(2, 0), lx::PirelLock(2));
                break;
            }
            case P::kBessaOtp: {
                SCOPED_TRACE("Bessa OTP page");
                OtpAreaPage(r, 0, 1024, lx::BessaOtpAddress(5, 31), lx::BessaLock(5));
                break;
            }
            case P::kMarroOtp: SecurityRegisterPage(r); break;
            default: break;
            }
        }
        // The explorer's program and erase with an overlay shown: nothing reaches the array, and an
        // erase that erased nothing is no success.
        for (uint32_t overlay : {0x4u, 0x8u, 0x10u}) {
            SCOPED_TRACE(overlay);
            r.Enter(overlay);
            std::vector<uint8_t> window(16, overlay == 0x10 ? 0xFF : 0x00);
            r.engine->NorProgramRawData(0, static_cast<uint32_t>(window.size()), window.data());
            EXPECT_EQ(r.engine->NorEraseBlock(1), -1);
            r.Leave();
            EXPECT_TRUE(r.DataUnchanged());
        }
        EXPECT_TRUE(r.DataUnchanged(true));
        EXPECT_EQ(r.engine->Init(1), 0);
    }
    LxPromptTestEnd();
}

namespace {

const SpiCatalogueRow& Row(const char* name) {
    for (const SpiCatalogueRow& r : SpiCatalogue())
        if (std::string(r.name) == name) return r;
    ADD_FAILURE() << name << " is not in the catalogue";
    return SpiCatalogue().front();
}

}  // namespace

// A space the part does not have is refused, and until it is left the array is out of reach: a
// page that goes on regardless reads, programs and erases nothing.
TEST(SpiCataloguePages, AfterARefusedSpaceNothingReachesTheArray) {
    LxPromptTestBegin();
    CataloguePartRig r(Row("IV256L64K"));
    ASSERT_EQ(r.Open(), 0);
    r.Leave();
    EXPECT_EQ(r.engine->NorSetAsoMode(kOtpSpace), -1);
    EXPECT_EQ(r.engine->LastResult(), ERROR_ADDRESS_SPACE);
    uint8_t byte = 0;
    const uint8_t zero = 0;
    EXPECT_EQ(r.engine->NorReadData(0, 1, &byte), -1);
    EXPECT_EQ(r.engine->LastResult(), ERROR_ADDRESS_SPACE);
    EXPECT_EQ(r.engine->NorProgramRawData(0, 1, &zero), -1);
    EXPECT_EQ(r.engine->NorEraseBlock(1), -1);
    EXPECT_EQ(r.engine->LastResult(), ERROR_ADDRESS_SPACE);
    EXPECT_TRUE(r.DataUnchanged());
    r.Leave();
    ASSERT_EQ(r.engine->NorReadData(0, 1, &byte), 0);
    EXPECT_EQ(byte, PatternByte(0));
    LxPromptTestEnd();
}

// Parts whose status register reports no refused program or erase: a program or erase of a block
// the protection bits guard fails, with the code of a protected area, and the data stay.
TEST(SpiCataloguePages, ProtectedAreaOfAPartWithoutErrorBitsIsAFailure) {
    LxPromptTestBegin();
    for (const char* name : {"IV064P", "IV064PA", "LU064D", "IV128E", "IV064SL"}) {
        SCOPED_TRACE(name);
        CataloguePartRig r(Row(name));
        ASSERT_EQ(r.Open(), 0);
        ASSERT_TRUE(r.Program(kStatusSpace, 0, {0x1C}));   // every block protected
        const std::vector<uint8_t> data(300, 0x00);
        EXPECT_EQ(r.engine->NorProgramRawData(0x100, static_cast<uint32_t>(data.size()), data.data()), -1);
        EXPECT_EQ(r.engine->LastResult(), ERROR_WRITE_PROTECTED);
        EXPECT_EQ(r.engine->NorEraseBlock(0), -1);
        EXPECT_EQ(r.engine->LastResult(), ERROR_WRITE_PROTECTED);
        EXPECT_TRUE(r.DataUnchanged());
        ASSERT_TRUE(r.Program(kStatusSpace, 0, {0x00}));
        ASSERT_EQ(r.engine->NorEraseBlock(0), 0);
        EXPECT_EQ(r.chip->Array()[0x100], 0xFF);
    }
    LxPromptTestEnd();
}

// The status register page of the parts whose 0x01 frame carries status register 2 third: the
// one-time bits of status register 2 stay as they are.
TEST(SpiCataloguePages, StatusRegisterProgramLeavesStatusRegisterTwo) {
    LxPromptTestBegin();
    for (const char* name : {"IV256L64K", "IV256L256K", "IV512R64K"}) {
        SCOPED_TRACE(name);
        CataloguePartRig r(Row(name));
        ASSERT_EQ(r.Open(), 0);
        const uint8_t sr2 = r.chip->Status2();
        ASSERT_TRUE(r.Program(kStatusSpace, 0, {0x04}));
        EXPECT_EQ(r.chip->Status1() & 0x1C, 0x04);
        ASSERT_TRUE(r.Program(kConfigSpace, 0, {0x08}));
        EXPECT_EQ(r.chip->Config(), 0x08);
        EXPECT_EQ(r.chip->Status2(), sr2);
    }
    LxPromptTestEnd();
}

// An erase with an overlay or register space entered erases nothing, and says so.
TEST(SpiCataloguePages, EraseOutsideTheArrayIsRefused) {
    LxPromptTestBegin();
    CataloguePartRig r(Row("IV128V"));
    ASSERT_EQ(r.Open(), 0);
    for (uint32_t mode : {0x4u, 0x8u, 0x10u, 0x20u, kStatusSpace, kConfigSpace, kBessaStatus2Space, kOtpSpace,
                          kDataLearningSpace}) {
        SCOPED_TRACE(mode);
        r.Enter(mode);
        EXPECT_EQ(r.engine->NorEraseBlock(1), -1);
        EXPECT_EQ(r.engine->LastResult(), ERROR_ADDRESS_SPACE);
        r.Leave();
    }
    EXPECT_TRUE(r.DataUnchanged());
    LxPromptTestEnd();
}

// "Force To Use P8E" erases an aligned 8 KiB pair: the other 4 KiB block of the pair keeps its data.
TEST(SpiCataloguePages, P8eEraseKeepsThePartnerBlock) {
    LxPromptTestBegin();
    CataloguePartRig r(Row("IV032PA"), [](OperationSetupValues& v) { v.forceP8E = true; });
    ASSERT_EQ(r.Open(), 0);
    ASSERT_EQ(r.engine->GetBlockSize(1), 0x1000u);
    auto& a = r.chip->Array();
    for (uint32_t block : {1u, 2u}) {
        SCOPED_TRACE(block);
        ASSERT_EQ(r.engine->NorEraseBlock(block), 0);
        EXPECT_TRUE(std::all_of(a.begin() + block * 0x1000, a.begin() + (block + 1) * 0x1000, [](uint8_t b) { return b == 0xFF; }));
        for (uint32_t i = 0; i < 0x4000; ++i)
            if (i / 0x1000 > 2 || i / 0x1000 == 0) ASSERT_EQ(a[i], PatternByte(i)) << std::hex << i;
    }
    LxPromptTestEnd();
}

// A chip erase the persistent protection bits refuse fails at once, with the "Infinite" time-outs
// of a fresh set-up as well as with one of a minute.
TEST(SpiCataloguePages, RefusedChipEraseEndsAtOnce) {
    LxPromptTestBegin();
    for (int minutes : {-1, 1}) {
        SCOPED_TRACE(minutes);
        CataloguePartRig r(Row("IV128V"), [&](OperationSetupValues& v) { v.chipEraseTimeoutMin = minutes; });
        ASSERT_EQ(r.Open(), 0);
        ASSERT_EQ(r.engine->NorSetBlockStatus(5, kStatusPpbSet), 0);
        ASSERT_TRUE(r.chip->Ppb(5));
        const uint64_t t0 = r.kit.Clock().NowNs();
        EXPECT_EQ(r.engine->NorChipErase(), -1);
        EXPECT_EQ(r.engine->LastResult(), ERROR_WRITE_PROTECTED);
        EXPECT_LT(r.kit.Clock().NowNs() - t0, 1000000000ull);
        EXPECT_TRUE(r.DataUnchanged());
    }
    LxPromptTestEnd();
}

// With the cable pulled a program, an erase and a register read fail within a second; nothing
// counts as done, and the chip is as it was.
TEST(SpiCataloguePages, PulledCableIsAFailureAtOnce) {
    LxPromptTestBegin();
    for (const char* name : {"IV064P", "IV128V", "IV128E"}) {
        SCOPED_TRACE(name);
        CataloguePartRig r(Row(name), [](OperationSetupValues& v) { v.programTimeoutMs = v.eraseTimeoutMs = -1; });
        ASSERT_EQ(r.Open(), 0);
        r.host->bus->Pipes().unplugged = true;
        const std::vector<uint8_t> data(0x10000, 0x00);
        const uint64_t t0 = r.host->NowMs();
        uint8_t status = 0;
        EXPECT_FALSE(r.Read(kStatusSpace, 0, 1, &status)) << "a status read the kit did not answer";
        EXPECT_EQ(r.engine->NorProgramRawData(0, static_cast<uint32_t>(data.size()), data.data()), -1);
        EXPECT_EQ(r.engine->NorEraseBlock(1), -1);
        EXPECT_LT(r.host->NowMs() - t0, 1000u);
        r.host->bus->Pipes().unplugged = false;
        EXPECT_TRUE(r.DataUnchanged());
        // With the cable back the device reads what the chip holds.
        std::vector<uint8_t> back(64);
        ASSERT_EQ(r.engine->NorReadData(0x20000, 64, back.data()), 0);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), r.chip->Array().begin() + 0x20000));
    }
    LxPromptTestEnd();
}

// The security register page of the first family's parts (code 3001, plain and quad I/O): the
// registers are read with their own command, so the dump is the chip's registers and not the
// OTP read's answer; a program and an erase reach the register named and no other.
TEST(SpiCataloguePages, SecurityRegistersOfTheFirstFamilyAreTheChips) {
    LxPromptTestBegin();
    for (const char* name : {"IV128E", "IV128EQ"}) {
        SCOPED_TRACE(name);
        CataloguePartRig r(Row(name));
        ASSERT_EQ(r.Open(), 0);
        ASSERT_EQ(r.code, 3001);
        for (uint32_t n = 1; n <= 3; ++n)
            for (uint32_t i = 0; i < 256; ++i) r.chip->SecurityRegister(n)[i] = static_cast<uint8_t>(n * 0x40 + i);
        for (uint32_t n = 1; n <= 3; ++n) {
            std::vector<uint8_t> reg(256);
            ASSERT_TRUE(r.Read(kOtpSpace, n * 0x1000, 256, reg.data()));
            EXPECT_EQ(reg, r.chip->SecurityRegister(n)) << "register " << n;
        }
        ASSERT_TRUE(r.Erase(kOtpSpace, 1));
        EXPECT_TRUE(std::all_of(r.chip->SecurityRegister(1).begin(), r.chip->SecurityRegister(1).end(),
                                [](uint8_t b) { return b == 0xFF; }));
        EXPECT_EQ(r.chip->SecurityRegister(2)[0], 0x80) << "the other registers stay";
        ASSERT_TRUE(r.Program(kOtpSpace, lx::MarroSecurityAddress(0, 0x10), {0x5A, 0xA5}));
        EXPECT_EQ(r.chip->SecurityRegister(1)[0x10], 0x5A);
        EXPECT_EQ(r.chip->SecurityRegister(1)[0x11], 0xA5);
        EXPECT_TRUE(r.DataUnchanged(true));
    }
    LxPromptTestEnd();
}

// The status register 3 page of the code-3002 parts: the value programmed is the register's, and
// status registers 1 and 2, written in the same frame, keep theirs.
TEST(SpiCataloguePages, StatusRegisterThreeOfCode3002IsProgrammed) {
    LxPromptTestBegin();
    for (const char* name : {"IV004S", "IV064S"}) {
        SCOPED_TRACE(name);
        CataloguePartRig r(Row(name));
        ASSERT_EQ(r.Open(), 0);
        ASSERT_EQ(r.code, 3002);
        ASSERT_TRUE(r.Program(kConfigSpace, 0, {0x02}));
        const uint8_t sr1 = r.chip->Status1(), sr2 = r.chip->Config();
        for (uint8_t value : {uint8_t{0x60}, uint8_t{0x1F}, uint8_t{0x00}}) {
            SCOPED_TRACE(int(value));
            ASSERT_TRUE(r.Program(kStatus3Space, 0, {value}));
            EXPECT_EQ(r.chip->Status3(), value);
            uint8_t shown = 0xFF;
            ASSERT_TRUE(r.Read(kStatus3Space, 0, 1, &shown));
            EXPECT_EQ(shown, value);
            EXPECT_EQ(r.chip->Status1(), sr1);
            EXPECT_EQ(r.chip->Config(), sr2);
        }
        EXPECT_TRUE(r.DataUnchanged(true));
    }
    LxPromptTestEnd();
}

// A locked security register takes neither a program nor an erase, and the part, which has no
// error bits, would look done: both fail, each with its code, and the register keeps its bytes.
TEST(SpiCataloguePages, LockedSecurityRegisterProgramAndEraseFail) {
    LxPromptTestBegin();
    for (const char* name : {"IV128E", "IV064S"}) {
        SCOPED_TRACE(name);
        CataloguePartRig r(Row(name));
        ASSERT_EQ(r.Open(), 0);
        ASSERT_TRUE(r.Program(kOtpSpace, lx::MarroSecurityAddress(0, 0), {0x12}));
        uint8_t sr2 = 0;
        ASSERT_TRUE(r.Read(kConfigSpace, 0, 1, &sr2));
        ASSERT_TRUE(r.Program(kConfigSpace, 0, {static_cast<uint8_t>(sr2 | 0x08)}));   // LB1
        const std::vector<uint8_t> locked = r.chip->SecurityRegister(1);
        const uint8_t byte = 0x00;
        r.Enter(kOtpSpace);
        EXPECT_EQ(r.engine->NorProgramRawData(lx::MarroSecurityAddress(0, 1), 1, &byte), -1);
        EXPECT_EQ(r.engine->LastResult(), ERROR_PROGRAM);
        EXPECT_EQ(r.engine->NorEraseBlock(1), -1);
        EXPECT_EQ(r.engine->LastResult(), ERROR_WRITE_PROTECTED);
        r.Leave();
        EXPECT_EQ(r.chip->SecurityRegister(1), locked);
        // SecReg-2 is not locked: it still takes both.
        ASSERT_TRUE(r.Program(kOtpSpace, lx::MarroSecurityAddress(1, 0), {0x34}));
        EXPECT_EQ(r.chip->SecurityRegister(2)[0], 0x34);
        ASSERT_TRUE(r.Erase(kOtpSpace, 2));
        EXPECT_EQ(r.chip->SecurityRegister(2)[0], 0xFF);
        EXPECT_TRUE(r.DataUnchanged(true));
    }
    LxPromptTestEnd();
}

// A program or erase the persistent bit of its sector refuses ends as soon as the chip reports
// the refusal in its error bits (a part that has them), not when the time-out runs out: with the
// Operation Setup's 120 s erase and 10 s program bounds the failure comes within a second, names
// protection, and the next operation is not failed by the bits left set.
TEST(SpiCataloguePages, RefusedProgramAndEraseEndAtTheErrorBits) {
    LxPromptTestBegin();
    CataloguePartRig r(Row("IV128V"), [](OperationSetupValues& v) {
        v.eraseTimeoutMs = 120000;
        v.programTimeoutMs = 10000;
    });
    ASSERT_EQ(r.Open(), 0);
    const uint32_t sector = r.engine->BlockIndexToOffset(2);
    ASSERT_EQ(r.engine->NorSetBlockStatus(2, kStatusPpbSet), 0);
    const std::vector<uint8_t> data(16, 0x00);
    uint64_t t0 = r.kit.Clock().NowNs();
    EXPECT_EQ(r.engine->NorEraseBlock(2), -1);
    EXPECT_EQ(r.engine->LastResult(), ERROR_WRITE_PROTECTED);
    EXPECT_LT(r.kit.Clock().NowNs() - t0, 1000000000ull) << "the erase waited for its time-out";
    t0 = r.kit.Clock().NowNs();
    EXPECT_EQ(r.engine->NorProgramRawData(sector, static_cast<uint32_t>(data.size()), data.data()), -1);
    EXPECT_EQ(r.engine->LastResult(), ERROR_WRITE_PROTECTED);
    EXPECT_LT(r.kit.Clock().NowNs() - t0, 1000000000ull) << "the program waited for its time-out";
    EXPECT_TRUE(r.DataUnchanged());
    // Sector 3 is open, and the error bits of the refusals do not fail it.
    ASSERT_EQ(r.engine->NorEraseBlock(3), 0);
    EXPECT_EQ(r.chip->Array()[r.engine->BlockIndexToOffset(3)], 0xFF);
    LxPromptTestEnd();
}
