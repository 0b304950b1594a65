#include <gtest/gtest.h>

#include <cstring>

#include "fat/fatnames.h"

using namespace lxfat;

namespace {

std::string Short(const char* utf8, ShortName* sn = nullptr) {
    u16string u;
    EXPECT_TRUE(Utf8ToUtf16(utf8, &u, 600));
    ShortName local;
    ShortName* s = sn ? sn : &local;
    if (MakeShortName(u, s) != 0) return "<refused>";
    return std::string(reinterpret_cast<const char*>(s->name), 11);
}

u16string U(const char* utf8) {
    u16string u;
    EXPECT_TRUE(Utf8ToUtf16(utf8, &u, 100000));
    return u;
}

}  // namespace

TEST(FatNames, SplitSkipsSeparatorsOfBothKinds) {
    std::vector<u16string> c;
    ASSERT_EQ(0, SplitPath(U("/a//b\\c/"), NameKind::Either, &c));
    ASSERT_EQ(3u, c.size());
    EXPECT_EQ(U("a"), c[0]);
    EXPECT_EQ(U("b"), c[1]);
    EXPECT_EQ(U("c"), c[2]);
    ASSERT_EQ(0, SplitPath(U("name. "), NameKind::Either, &c));
    EXPECT_EQ(U("name"), c[0]);
}

TEST(FatNames, SplitRefusals) {
    struct Case { const char* path; NameKind kind; int rc; } cases[] = {
        {"/ . /x", NameKind::Either, -9},
        {"/..", NameKind::Either, -9},
        {"/a\x01" "b", NameKind::Either, -9},
        {"/a\tb", NameKind::File, -9},
    };
    std::vector<u16string> c;
    for (auto& t : cases) EXPECT_EQ(t.rc, SplitPath(U(t.path), t.kind, &c)) << t.path;

    EXPECT_EQ(0, SplitPath(u16string(255, u'x'), NameKind::File, &c));
    EXPECT_EQ(-8, SplitPath(u16string(256, u'x'), NameKind::File, &c));
    EXPECT_EQ(0, SplitPath(u16string(243, u'x'), NameKind::Directory, &c));
    EXPECT_EQ(-8, SplitPath(u16string(244, u'x'), NameKind::Directory, &c));
    u16string many;
    for (int i = 0; i < 257; ++i) many += u"/d";
    EXPECT_EQ(-8, SplitPath(many, NameKind::Either, &c));
    u16string longPath;
    for (int i = 0; i < 10; ++i) longPath += u"/" + u16string(240, u'y');
    EXPECT_EQ(-8, SplitPath(longPath, NameKind::Either, &c));
}

TEST(FatNames, ShortNameForms) {
    struct Case { const char* name; const char* shortName; bool lossy; bool needsLong; uint8_t caseBits; } cases[] = {
        {"abcdef.txt", "ABCDEF  TXT", false, false, 0x18},
        {"README.TXT", "README  TXT", false, false, 0x00},
        {"readme.TXT", "README  TXT", false, false, 0x08},
        {"Readme.txt", "README  TXT", false, true, 0x00},
        {"a b.txt", "AB      TXT", true, true, 0x00},
        {"ab+c", "AB_C       ", true, true, 0x00},
        {"verylongname.text", "VERYLONGTEX", true, true, 0x00},
        {".profile", "PROFILE    ", true, true, 0x00},
        {"caf\xc3\xa9.txt", "CAF_    TXT", true, true, 0x00},
        {"con.txt", "CON     TXT", false, false, 0x18},
        {"x.y.z", "XY      Z  ", true, true, 0x00},
    };
    for (auto& t : cases) {
        ShortName sn;
        EXPECT_EQ(t.shortName, Short(t.name, &sn)) << t.name;
        EXPECT_EQ(t.lossy, sn.lossy) << t.name;
        EXPECT_EQ(t.needsLong, sn.needsLong) << t.name;
        EXPECT_EQ(t.caseBits, sn.caseBits) << t.name;
    }
}

TEST(FatNames, ReservedDeviceNamesAreRefused) {
    for (const char* n : {"con", "CON", "Prn", "nul", "aux", "COM1", "lpt9"}) EXPECT_EQ("<refused>", Short(n)) << n;
    for (const char* n : {"cona", "com0", "con.txt", "lpt10"}) EXPECT_NE("<refused>", Short(n)) << n;
}

TEST(FatNames, NumericTails) {
    struct Case { const char* base; uint32_t n; const char* out; } cases[] = {
        {"ABCDEFGHTXT", 1, "ABCDEF~1TXT"},
        {"ABCDEFGHTXT", 12, "ABCDE~12TXT"},
        {"AB      TXT", 1, "AB~1    TXT"},
        {"ABCDEFG    ", 123456, "A~123456   "},
    };
    for (auto& t : cases) {
        uint8_t name[11];
        std::memcpy(name, t.base, 11);
        ApplyNumericTail(name, t.n);
        EXPECT_EQ(std::string(t.out), std::string(reinterpret_cast<char*>(name), 11));
    }
}

TEST(FatNames, LongEntryLayoutAndRoundTrip) {
    const uint8_t shortName[11] = {'A', 'B', 'C', 'D', 'E', 'F', '~', '1', 'T', 'X', 'T'};
    const uint8_t sum = ShortNameChecksum(shortName);
    for (size_t len : {1u, 12u, 13u, 14u, 26u, 255u}) {
        u16string name;
        for (size_t i = 0; i < len; ++i) name.push_back(static_cast<char16_t>(u'a' + i % 26));
        std::vector<uint8_t> e;
        BuildLongEntries(name, sum, &e);
        const size_t count = (len + 12) / 13;
        ASSERT_EQ(count * 32, e.size());
        EXPECT_EQ(0x40 | count, e[0]);
        for (size_t k = 0; k < count; ++k) {
            EXPECT_EQ(0x0F, e[k * 32 + 11]);
            EXPECT_EQ(sum, e[k * 32 + 13]);
            EXPECT_EQ(0, e[k * 32 + 26]);
            EXPECT_EQ(0, e[k * 32 + 27]);
        }
        /* the unit after the name is 0x0000 when there is room, then 0xFFFF */
        const size_t rem = len % 13;
        if (rem) {
            const int offs[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
            EXPECT_EQ(0x0000, e[offs[rem]] | (e[offs[rem] + 1] << 8));
            if (rem + 1 < 13) {
                EXPECT_EQ(0xFFFF, e[offs[12]] | (e[offs[12] + 1] << 8));
            }
        }
        LongNameCollector c;
        for (size_t k = 0; k < count; ++k) c.Feed(&e[k * 32], static_cast<int64_t>(k));
        uint8_t se[32] = {};
        std::memcpy(se, shortName, 11);
        int64_t start = -2;
        EXPECT_EQ(name, c.Take(se, &start)) << len;
        EXPECT_EQ(0, start);
    }
}

TEST(FatNames, CollectorFallsBackOnBadRuns) {
    const uint8_t shortName[11] = {'F', 'I', 'L', 'E', ' ', ' ', ' ', ' ', 'T', 'X', 'T'};
    uint8_t se[32] = {};
    std::memcpy(se, shortName, 11);
    std::vector<uint8_t> e;
    BuildLongEntries(U("a rather long file name.txt"), ShortNameChecksum(shortName), &e);
    ASSERT_EQ(96u, e.size());
    LongNameCollector c;
    int64_t start;

    /* wrong checksum */
    std::vector<uint8_t> bad = e;
    for (int k = 0; k < 3; ++k) bad[k * 32 + 13] ^= 1;
    for (int k = 0; k < 3; ++k) c.Feed(&bad[k * 32], k);
    EXPECT_TRUE(c.Take(se, &start).empty());
    /* an ordinal missing */
    c.Feed(&e[0], 0);
    c.Feed(&e[64], 2);
    EXPECT_TRUE(c.Take(se, &start).empty());
    /* the first ordinal too large for any name */
    bad = e;
    bad[0] = 0x40 | 30;
    c.Feed(&bad[0], 0);
    EXPECT_TRUE(c.Take(se, &start).empty());
    /* a run without its last-part mark */
    c.Feed(&e[32], 1);
    c.Feed(&e[64], 2);
    EXPECT_TRUE(c.Take(se, &start).empty());
}

/* Twenty entries hold 260 units, more than a name may have: a run whose name goes on past 255
 * units (with its terminator after it, or none at all) falls back to the short name. */
TEST(FatNames, CollectorRefusesNamesLongerThan255Units) {
    const uint8_t shortName[11] = {'L', 'O', 'N', 'G', 'N', 'A', '~', '1', 'T', 'X', 'T'};
    uint8_t se[32] = {};
    std::memcpy(se, shortName, 11);
    struct Case { size_t units; bool taken; } cases[] = {
        {255, true}, {256, false}, {257, false}, {259, false}, {260, false},
    };
    for (auto& t : cases) {
        u16string name;
        for (size_t i = 0; i < t.units; ++i) name.push_back(static_cast<char16_t>(u'A' + i % 26));
        std::vector<uint8_t> e;
        BuildLongEntries(name, ShortNameChecksum(shortName), &e);
        ASSERT_EQ(20u * 32, e.size()) << t.units;
        LongNameCollector c;
        for (size_t k = 0; k < 20; ++k) c.Feed(&e[k * 32], static_cast<int64_t>(k));
        int64_t start = -2;
        const u16string got = c.Take(se, &start);
        EXPECT_EQ(t.taken ? name : u16string(), got) << t.units;
        EXPECT_EQ(t.taken ? 0 : -1, start) << t.units;
    }
}

TEST(FatNames, ShortNameTextHonoursCaseBits) {
    uint8_t e[32] = {};
    std::memcpy(e, "README  TXT", 11);
    EXPECT_EQ(U("README.TXT"), ShortNameToText(e));
    e[12] = 0x08;
    EXPECT_EQ(U("readme.TXT"), ShortNameToText(e));
    e[12] = 0x18;
    EXPECT_EQ(U("readme.txt"), ShortNameToText(e));
    std::memcpy(e, "NOEXT      ", 11);
    EXPECT_EQ(U("noext"), ShortNameToText(e));
}

TEST(FatNames, Utf8IsStrict) {
    u16string u;
    EXPECT_TRUE(Utf8ToUtf16("\xf0\x9f\x98\x80", &u, 10));
    EXPECT_EQ(2u, u.size());
    EXPECT_EQ("\xf0\x9f\x98\x80", Utf16ToUtf8(u));
    for (const char* bad : {"\xc0\x80", "\xe0\x80\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xc3", "\xff", "a\x80"})
        EXPECT_FALSE(Utf8ToUtf16(bad, &u, 10)) << bad;
    EXPECT_FALSE(Utf8ToUtf16("abcdef", &u, 5));
    EXPECT_TRUE(Utf8ToUtf16("abcde", &u, 5));
}
