// The device catalogue: its tables and the lookup that presets the Predefined List page and the
// settings record from a part.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>

#include "catalogue.h"

using namespace rook;

namespace {

// The lookup as the page runs it: a family chosen, then a part name.
struct Lookup {
    PageChoices page;
    DeviceSettings s;
    int32_t id = 0;
    Lookup(int deviceClass, const std::string& family, const std::string& name) {
        s.deviceClass = deviceClass;
        page.family = family;
        id = LookupPredefinedDevice(name, page, s);
    }
};

}  // namespace

TEST(Catalogue, FamiliesAndPartCounts) {
    const std::map<std::string, size_t> expected = {
        {"Oska", 58}, {"Tesk", 21}, {"Hume", 6}, {"Rask", 10}, {"Brae", 7}, {"Cald", 12}, {"Dorn", 10}, {"Fenn", 6},
        {"Mure", 4},  {"Yarl", 9},  {"Wyle", 20}, {"Quill", 12}, {"Ivor", 34}, {"Lusk", 4}};
    std::set<std::string> names;
    size_t total = 0;
    for (int cls = 1; cls <= 3; ++cls) {
        const char* const* families = FamiliesOf(cls);
        ASSERT_NE(families, nullptr);
        for (int i = 0; families[i][0]; ++i) {
            auto parts = PartNamesOf(cls, families[i]);
            ASSERT_TRUE(expected.count(families[i])) << families[i];
            EXPECT_EQ(parts.size(), expected.at(families[i])) << families[i];
            // Names in the style of the family code: its first two letters, then capitals, digits, "_" and
            // at most one blank in the whole catalogue.
            const std::string prefix = {char(std::toupper(families[i][0])), char(std::toupper(families[i][1]))};
            for (const std::string& name : parts) {
                EXPECT_LE(name.size(), 16u) << name;
                EXPECT_EQ(name.compare(0, 2, prefix), 0) << name;
                for (char c : name) EXPECT_TRUE(std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '_' || c == ' ') << name;
                std::string upper;
                for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                EXPECT_TRUE(names.insert(upper).second) << "twice: " << name;
            }
            total += parts.size();
        }
    }
    EXPECT_EQ(total, 213u);
    EXPECT_EQ(FamiliesOf(0), nullptr);
    EXPECT_STREQ(kNorFamilies[10], "");
    EXPECT_STREQ(kSpiFamilies[2], "");
}

// Each NOR family's page presets and settings, for one of its parts; the part's own values beside.
TEST(Catalogue, NorFamiliesPresetThePage) {
    struct Case {
        const char* family;
        const char* part;
        int host;            // radio
        int mv;
        int preset;
        int cfiSwitch;
        int protection;
        int deviceType;
        int boot;
        int32_t hostInterface;  // the record's, which only the Mure parts write
    };
    const Case cases[] = {
        {"Oska", "OS128PHI", 0, 3300, 2, 1, 0, 1, 0, 0},   {"Tesk", "TE064CTI", 0, 3300, 2, 1, 2, 1, 3, 0},
        {"Tesk", "TE064CBI", 0, 3300, 2, 1, 2, 1, 0, 0},   {"Hume", "HU064WT", 0, 1800, 0, 1, 4, 1, 3, 0},
        {"Rask", "RA128FU", 0, 3300, 2, 1, 3, 1, 0, 0},    {"Brae", "BRK032B", 0, 3300, 2, 0, 32, 1, 0, 0},
        {"Brae", "BRM128U", 0, 3300, 2, 0, 1, 1, 0, 0},    {"Cald", "CA256RU", 0, 1800, 0, 0, 8, 2, 0, 0},
        {"Cald", "CA256NUI", 0, 1800, 0, 0, 8, 1, 0, 0},   {"Dorn", "DO512RM", 1, 1800, 0, 0, 9, 2, 0, 0},
        {"Fenn", "FE01GGR", 1, 1800, 0, 0, 10, 2, 0, 0},   {"Mure", "MU256AX", 2, 1800, 0, 0, 11, 2, 0, 3},
        {"Yarl", "YA256C1", 0, 1800, 0, 0, 16, 2, 0, 0},   {"Yarl", "YA256D1", 1, 1800, 0, 0, 16, 2, 0, 0},
        {"Yarl", "YA01GM1", 2, 1800, 0, 0, 16, 2, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        Lookup l(kClassNor, c.family, c.part);
        EXPECT_GT(l.id, 0);
        EXPECT_EQ(l.page.found, 0);
        EXPECT_EQ(l.page.busWidth, 1);
        EXPECT_EQ(l.page.interleave, -1);
        EXPECT_EQ(l.page.chipSelect, 0);
        EXPECT_EQ(l.page.spiInterface, -1);
        EXPECT_EQ(l.page.hostInterface, c.host);
        EXPECT_EQ(l.page.supplyMv, c.mv);
        EXPECT_EQ(l.page.supplyPreset, c.preset);
        EXPECT_EQ(l.page.savedSupplyMv, c.mv);
        EXPECT_EQ(l.page.savedSupplyPreset, c.preset);
        EXPECT_EQ(l.s.cfiQueryAddressSwitch, c.cfiSwitch);
        EXPECT_EQ(l.s.protectionScheme, c.protection);
        EXPECT_EQ(l.s.deviceType, c.deviceType);
        EXPECT_EQ(l.s.bootSectorArrangement, c.boot);
        EXPECT_EQ(l.s.hostInterface, c.hostInterface);
        EXPECT_EQ(l.s.predefinedCfi, 0);
    }
}

TEST(Catalogue, NamesAndFamiliesMatchWithoutRegardToCase) {
    Lookup upper(kClassNor, "Oska", "OS256SI"), lower(kClassNor, "oska", "os256si");
    EXPECT_GT(upper.id, 0);
    EXPECT_EQ(lower.id, upper.id);
    EXPECT_EQ(lower.page.found, 0);
    Lookup blank(kClassSpi, "LUSK", "lu064 dual");
    EXPECT_EQ(blank.page.found, 0);
}

TEST(Catalogue, UnlistedPartsAndFamilies) {
    struct Case {
        int cls;
        const char* family;
        int32_t id;
        int found;
        int deviceType;
        int protection;
    };
    const Case cases[] = {
        {kClassNor, "Oska", -1, -1, 0, -1},   // the family's defaults are still written
        {kClassNor, "Brae", -1, -1, 1, -1},   // the Brae member leaves the device type
        {kClassNor, "Yarl", -1, 0, 0, -1},    // the Yarl member leaves the found marker
        {kClassNor, "Nowhere", -1, -1, 1, -1},
        {kClassVeltan, "Quill", -1, -1, 0, -1},
        {kClassVeltan, "Nowhere", 0, -1, 0, -1},  // NAND: 0 for a family the catalogue does not list
        {kClassSpi, "Ivor", -1, -1, 0, -1},
        {kClassSpi, "Nowhere", -1, -1, 4, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        Lookup l(c.cls, c.family, "NOSUCHPART");
        EXPECT_EQ(l.id, c.id);
        EXPECT_EQ(l.page.found, c.found);
        EXPECT_EQ(l.s.deviceType, c.deviceType);
        EXPECT_EQ(l.s.protectionScheme, c.protection);
        EXPECT_EQ(l.s.cfiQueryAddressSwitch, 0);
    }
    Lookup oska(kClassNor, "Oska", "NOSUCHPART");
    EXPECT_EQ(oska.page.supplyMv, 3300);  // the family's page defaults
}

TEST(Catalogue, OtherDeviceClassesChangeNothing) {
    for (int cls : {0, 4, 0x200}) {
        PageChoices page;
        page.family = "Oska";
        page.supplyMv = 1234;
        DeviceSettings s;
        s.deviceClass = cls;
        s.deviceType = 77;
        EXPECT_EQ(LookupPredefinedDevice("OS128PHI", page, s), -1);
        EXPECT_EQ(page.supplyMv, 1234);
        EXPECT_EQ(page.found, -1);
        EXPECT_EQ(s.deviceType, 77);
        EXPECT_EQ(s.protectionScheme, -1);
    }
}

// The two-die Oska parts carry the whole part's CFI; the user's own CFI, when on, stays.
TEST(Catalogue, PredefinedCfi) {
    Lookup l(kClassNor, "Oska", "OS04GS2CEI");
    EXPECT_EQ(l.s.predefinedCfi, 1);
    EXPECT_EQ(l.s.userCfi.primaryCommandSet, 2);
    EXPECT_EQ(l.s.userCfi.addressMultiplier, 1u);
    EXPECT_EQ(l.s.userCfi.deviceSizeExponent, 0x1d);
    EXPECT_EQ(l.s.userCfiDeviceBytes, 512u << 20);
    EXPECT_EQ(l.s.userCfi.maxBufferBytes, 512);
    EXPECT_EQ(l.s.userCfi.regionCount, 1);
    EXPECT_EQ(l.s.userCfi.regions[0].blockSize256, 0x200);
    EXPECT_EQ(l.s.userCfi.regions[0].blocksMinus1, 4095);
    EXPECT_EQ(l.s.userCfi.regions[1].blockSize256, 0);

    PageChoices page;
    page.family = "Oska";
    DeviceSettings s;
    s.deviceClass = kClassNor;
    s.useUserCfi = 1;
    s.userCfi.primaryCommandSet = 0x55;
    s.userCfiDeviceBytes = 77;
    EXPECT_EQ(LookupPredefinedDevice("OS01GP2CEI", page, s), 0x7E4801);
    EXPECT_EQ(s.predefinedCfi, 1);
    EXPECT_EQ(s.userCfi.primaryCommandSet, 0x55);
    EXPECT_EQ(s.userCfiDeviceBytes, 77u);
}

TEST(Catalogue, NandPartsAndGeometry) {
    struct Case {
        const char* family;
        const char* part;
        int32_t code;
        int bus;
        int mv;
        uint32_t blocks, page, spare, bits, rowCycles, idKind;
    };
    const Case cases[] = {
        {"Wyle", "WY512R08A", 0x181, 0, 1800, 512, 2048, 64, 8, 0, 0},
        {"Wyle", "WY512R16A", 0x191, 1, 1800, 512, 1024, 32, 16, 0, 0},
        {"Wyle", "WY01GR08A1CE", 0x1A100, 0, 1800, 1024, 2048, 64, 8, 0, 3},
        {"Wyle", "WY01GR16A2CE", 0x1B101, 1, 1800, 1024, 1024, 32, 16, 0, 3},
        {"Wyle", "WY512R08B2CE", 0x19101, 0, 1800, 512, 2048, 64, 8, 0, 0},
        {"Wyle", "WY02GR08A", 0x1AA, 0, 1800, 2048, 2048, 64, 8, 1, 2},   // variant 8: 64 spare bytes
        {"Wyle", "WY02GR08B", 0x1AA, 0, 1800, 2048, 2048, 128, 8, 1, 2},  // variant 1001: 128
        {"Wyle", "WY04GR16B", 0x1BC, 1, 1800, 4096, 1024, 64, 16, 1, 2},
        {"Quill", "QU01G08A", 0x1F1, 0, 3000, 1024, 2048, 64, 8, 0, 2},
        {"Quill", "QU08G08A", 0x1D3, 0, 3000, 8192, 2048, 64, 8, 1, 2},
        // The 8-Gbit x8 part of the second generation keeps its size and its x8 page.
        {"Quill", "QU08G08B", 0x1D3, 0, 3000, 8192, 2048, 128, 8, 1, 2},
        {"Quill", "QU02G16B", 0x1CA, 1, 3000, 2048, 1024, 64, 16, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        Lookup l(kClassVeltan, c.family, c.part);
        EXPECT_EQ(l.id, c.code);
        EXPECT_EQ(l.page.found, 0);
        EXPECT_EQ(l.page.busWidth, c.bus);
        EXPECT_EQ(l.page.interleave, 0);
        EXPECT_EQ(l.page.supplyMv, c.mv);
        EXPECT_EQ(l.page.supplyPreset, c.mv == 1800 ? 0 : 2);
        EXPECT_EQ(l.s.deviceType, kTypeNand);
        EXPECT_EQ(l.s.nand.blockCount, c.blocks);
        EXPECT_EQ(l.s.nand.pageSize, c.page);
        EXPECT_EQ(l.s.nand.dataPageSize, c.page);
        EXPECT_EQ(l.s.nand.spareSize, c.spare);
        EXPECT_EQ(l.s.nand.busBits, c.bits);
        EXPECT_EQ(l.s.nand.rowCycles, c.rowCycles);
        EXPECT_EQ(l.s.nand.idKind, c.idKind);
        EXPECT_EQ(l.s.nand.blockBytes, 128u * 1024);
        EXPECT_EQ(l.s.nand.pagesPerBlock, 64u);
        // A block of 64 pages holds 128 KiB of data, whichever the bus.
        EXPECT_EQ(l.s.nand.pageSize * (c.bits / 8) * l.s.nand.pagesPerBlock, l.s.nand.blockBytes);
    }
    NandGeometry g;
    EXPECT_FALSE(NandGeometryFor(0x181, 1001, g));  // the second generation has no such part
    EXPECT_EQ(g.blockCount, 0u);
}

TEST(Catalogue, SpiParts) {
    Lookup ivor128(kClassSpi, "Ivor", "IV128E");
    EXPECT_EQ(ivor128.id, static_cast<int32_t>(0xFFEF4018));  // a first byte of 0x80 or more comes widened
    EXPECT_EQ(ivor128.s.spiFamily, 2);
    EXPECT_EQ(ivor128.s.deviceType, kTypeSpi);
    EXPECT_EQ(ivor128.page.busWidth, 0);
    EXPECT_EQ(ivor128.page.spiInterface, 0);
    EXPECT_EQ(ivor128.page.supplyMv, 3300);
    EXPECT_EQ(ivor128.s.spi.pageBytes, 256u);
    EXPECT_EQ(ivor128.s.spi.pageMask, 255u);
    EXPECT_EQ(ivor128.s.spi.sectorCount * ivor128.s.spi.sectorBytes, 16u << 20);
    EXPECT_EQ(ivor128.s.predefinedCfi, 1);
    EXPECT_EQ(ivor128.s.deviceClass, kClassSpi | kNoCfiMark) << "its ID answer carries no CFI";
    EXPECT_EQ(ivor128.s.userCfiDeviceBytes, 16u << 20);
    EXPECT_EQ(ivor128.s.userCfi.regions[0].blocksMinus1 + 1u, ivor128.s.spi.sectorCount);

    // The two sector-size rows of one chip differ in their extended ID.
    Lookup big(kClassSpi, "Ivor", "IV512R256K"), small(kClassSpi, "Ivor", "IV512R64K");
    EXPECT_EQ(big.id, small.id);
    EXPECT_EQ(big.s.spiExtendedId, 0x300);
    EXPECT_EQ(small.s.spiExtendedId, 0x301);
    EXPECT_EQ(big.s.spi.extendedIdBytes, 2u);
    EXPECT_EQ(big.s.deviceCodeOverride, 3005);
    EXPECT_EQ(big.s.spi.sectorBytes, 256u * 1024);
    EXPECT_EQ(small.s.spi.sectorBytes, 64u * 1024);
    EXPECT_EQ(big.s.spi.pageMask, 511u);
    EXPECT_EQ(big.s.deviceClass, kClassSpi);

    // A part without predefined CFI clears the flag.
    PageChoices page;
    page.family = "Ivor";
    DeviceSettings s;
    s.deviceClass = kClassSpi;
    s.predefinedCfi = 1;
    EXPECT_EQ(LookupPredefinedDevice("IV02GX", page, s), static_cast<int32_t>(0xFFC2251C));
    EXPECT_EQ(s.predefinedCfi, 0);
    EXPECT_EQ(s.spiFamily, 9);
}

// Every row is whole: IDs the engine can tell apart, shapes that add up, SPI pages that fit the mask.
TEST(Catalogue, RowsAreConsistent) {
    std::set<uint32_t> norIds;
    for (const NorCatalogueRow& r : NorCatalogue()) {
        SCOPED_TRACE(r.name);
        EXPECT_TRUE(norIds.insert(r.id).second);
        EXPECT_TRUE(r.deviceType == kTypeLegacyNor || r.deviceType == kTypeReducedNor);
        uint32_t bytes = NorDieBytes(r);
        EXPECT_EQ(bytes & (bytes - 1), 0u) << "a die of a power of two";
        EXPECT_TRUE(r.dies == 1 || r.dies == 2);
        EXPECT_EQ(r.dies == 2, r.cfi[0] != nullptr);
        EXPECT_GE(r.bufferExp, 5);
        EXPECT_LE(r.bufferExp, 9);
    }
    for (const SpiCatalogueRow& r : SpiCatalogue()) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.spi.pageMask, r.spi.pageBytes - 1);
        EXPECT_EQ(r.spi.extendedIdBytes != 0, r.extendedId != 0);
    }
}

TEST(UserCfi, TextsAsNumbersAndRangeChecks) {
    struct Case {
        const char* texts[9];
        bool ok;
        uint32_t bytes;
        uint16_t maxWrite;
        uint8_t regions;
    };
    const Case cases[] = {
        {{"0x02", "0x18", "0x06", "1", "0x0200007f", "0x0", "0x0", "0x0", "0x0"}, true, 16u << 20, 64, 1},
        {{"010", "10", "010", "0x1", "0", "0", "0", "0", "0x2"}, true, 1024, 256, 1},  // octal 8, decimal 10
        {{"0x", "0x", "0x", "0x", "0x", "0x", "0x", "0x", "0x"}, true, 1, 1, 0},         // empty texts read as 0
        {{"junk", "31", "15", "4", "0", "0", "0", "0", "0"}, true, 0x80000000u, 0x8000, 4},
        {{"2", "32", "5", "1", "0", "0", "0", "0", "0"}, false, 0, 0, 0},  // 1 << 32
        {{"2", "24", "16", "1", "0", "0", "0", "0", "0"}, false, 0, 0, 0}, // write size beyond 16 bits
        {{"2", "24", "5", "5", "0", "0", "0", "0", "0"}, false, 0, 0, 0},  // five regions
        {{"0x10000", "24", "5", "1", "0", "0", "0", "0", "0"}, false, 0, 0, 0},
        {{"2", "24", "5", "1", "0x100000000", "0", "0", "0", "0"}, false, 0, 0, 0},
        {{"2", "-1", "5", "1", "0", "0", "0", "0", "0"}, false, 0, 0, 0},
        {{"2", "24", "5", "1", "0", "0", "0", "0", "99999999999999999999999"}, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::string texts[9];
        for (int i = 0; i < 9; ++i) texts[i] = c.texts[i];
        SCOPED_TRACE(texts[1] + " " + texts[2] + " " + texts[3]);
        CfiRecord cfi;
        cfi.primaryCommandSet = 0x77;
        uint32_t bytes = 5;
        std::string error;
        EXPECT_EQ(ParseUserCfi(texts, cfi, bytes, &error), c.ok);
        if (c.ok) {
            EXPECT_EQ(bytes, c.bytes);
            EXPECT_EQ(cfi.maxBufferBytes, c.maxWrite);
            EXPECT_EQ(cfi.regionCount, c.regions);
            EXPECT_EQ(cfi.addressMultiplier, 1u);
            EXPECT_TRUE(error.empty());
        } else {
            EXPECT_EQ(cfi.primaryCommandSet, 0x77) << "a refused text changes nothing";
            EXPECT_EQ(bytes, 5u);
            EXPECT_NE(error.find("out of range"), std::string::npos) << error;
        }
    }
}
