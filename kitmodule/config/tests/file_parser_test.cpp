#include <gtest/gtest.h>

#include <filesystem>

#include "config_test_files.h"

#include "file_parser.h"

using rook::CFileParser;

namespace {

// A user device file as the configuration page writes it: the header, then one device per line.
const char kDevices[] =
    "# Rook User Devices\n"
    "# Type,Group,Name,ID,Size,Command Type,Bus Width,Interleave,Host Interface,Socket Type,SPI Interface,\n"
    "# One device per line, every field followed by a comma; the names are unique.\n"
    "# Kept sorted by name by the User-defined List page.\n"
    "NOR,Oska,OS29K128T,7E2301,16MB (128Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\n"
    "SPI,Corvo,CV25Q64,EF4017,8MB (64Mbit),SPI,8bit,x1,ADP,Wend Adapter,SIO,\n"
    "\n"
    "nor,Brae,BR39V040,BF2301,1MB (8Mbit),Reduced NOR Command,8bit,x1,ADM,,,\n"
    "# a note in the middle\n"
    "NOR,Cald,CA512M,7E2220,64MB (512Mbit),Legacy NOR,16bit,x2,AADM,PISMO1,,\n";

class FileParserTest : public ConfigFileTest {
protected:
    void SetUp() override {
        UseFile("lx_fileparser_", "Rook User Devices.txt");
    }
};

TEST_F(FileParserTest, NoFileGivesNothing) {
    CFileParser p;
    EXPECT_EQ(p.SetFile((dir_ / "missing.txt").string()), 0);
    EXPECT_EQ(p.Path(), "");
    EXPECT_EQ(p.Open(), 0);
    EXPECT_EQ(p.GetField(0, 0), "");
    EXPECT_EQ(p.FindLine("NOR"), -1);
    EXPECT_EQ(p.CountMatches(0, "NOR"), 0);
    EXPECT_EQ(p.AppendLine("NOR,"), 0);
    EXPECT_EQ(p.DeleteLine(0), 0);
    EXPECT_EQ(p.SortByField(2), 0);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "missing.txt"));
    // A file that was attached and is gone since reads as no file.
    Write(kDevices);
    ASSERT_EQ(p.SetFile(path_), 1);
    std::filesystem::remove(path_);
    EXPECT_EQ(p.GetField(0, 2), "");
    EXPECT_EQ(p.FindLine("OS29K128T"), -1);
}

TEST_F(FileParserTest, ReadsFieldsOfCountedLines) {
    Write(kDevices);
    CFileParser p;
    ASSERT_EQ(p.SetFile(path_), 1);
    EXPECT_EQ(p.Open(), 1);
    struct {
        int line, column;
        const char* field;
    } fields[] = {
        {0, 0, "NOR"}, {0, 2, "OS29K128T"}, {0, 10, ""}, {0, 11, ""}, {0, 40, ""},
        {1, 10, "SIO"}, {2, 0, ""},  // the empty line is a record with one empty field
        {3, 4, "1MB (8Mbit)"}, {4, 1, "Cald"}, {5, 0, ""}, {-1, 0, ""}, {0, -1, ""},
    };
    for (auto f : fields) EXPECT_EQ(p.GetField(f.line, f.column), f.field) << f.line << "," << f.column;

    struct {
        const char* text;
        int line;
    } finds[] = {
        {"os29k128t", 0}, {"EF4017", 1}, {"nor", 0}, {"CA512M", 4}, {"BR39V040", 3},
        {"OS29K", -1},            // only part of a field
        {"a note in the middle", -1},  // comment lines are not records
        {"", -1}, {"Oska,OS29K128T", -1},
    };
    for (auto f : finds) EXPECT_EQ(p.FindLine(f.text), f.line) << f.text;

    EXPECT_EQ(p.CountMatches(0, "NOR"), 3);
    EXPECT_EQ(p.CountMatches(0, "spi"), 1);
    EXPECT_EQ(p.CountMatches(0, ""), 0);

    // Under a filter only the lines of that type count, in any case form.
    p.SetFilter(0, "NOR");
    EXPECT_EQ(p.GetFilter(), "NOR");
    EXPECT_EQ(p.GetField(0, 2), "OS29K128T");
    EXPECT_EQ(p.GetField(1, 2), "BR39V040");
    EXPECT_EQ(p.GetField(2, 2), "CA512M");
    EXPECT_EQ(p.GetField(3, 2), "");
    EXPECT_EQ(p.FindLine("CA512M"), 2);
    EXPECT_EQ(p.FindLine("CV25Q64"), -1);
    EXPECT_EQ(p.CountMatches(0, "SPI"), 1);  // counting ignores the filter
    p.ClearFilter();
    EXPECT_EQ(p.GetFilter(), "");
    EXPECT_EQ(p.FindLine("CV25Q64"), 1);
}

TEST_F(FileParserTest, ReadsWindowsLineEnds) {
    std::string crlf;
    for (char c : std::string(kDevices)) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    Write(crlf);
    CFileParser p;
    ASSERT_EQ(p.SetFile(path_), 1);
    EXPECT_EQ(p.GetField(1, 10), "SIO");
    EXPECT_EQ(p.GetField(1, 11), "");
    EXPECT_EQ(p.FindLine("CA512M"), 4);
}

TEST_F(FileParserTest, SortPutsCommentsFirstAndRecordsInByteOrderKeepingDuplicates) {
    Write("NOR,Oska,os-lower,1,\n"
          "# header one\n"
          "NOR,Oska,Zed,2,\n"
          "\n"
          "NOR,Brae,Same,3,\n"
          "# header two\n"
          "SPI,Corvo,Same,4,\n"
          "NOR,Cald,Alpha,5,");  // no line end after the last line
    CFileParser p;
    ASSERT_EQ(p.SetFile(path_), 1);
    ASSERT_EQ(p.SortByField(2), 1);
    // Two lines with the same key both stay, in their order: none is lost and none is written twice.
    EXPECT_EQ(Read(), "# header one\n"
                      "# header two\n"
                      "NOR,Cald,Alpha,5,\n"
                      "NOR,Brae,Same,3,\n"
                      "SPI,Corvo,Same,4,\n"
                      "NOR,Oska,Zed,2,\n"
                      "NOR,Oska,os-lower,1,\n");
    EXPECT_FALSE(std::filesystem::exists(path_ + "~"));
}

TEST_F(FileParserTest, DeleteLineRemovesOnlyTheCountedLine) {
    Write(kDevices);
    CFileParser p;
    ASSERT_EQ(p.SetFile(path_), 1);
    p.SetFilter(0, "nor");
    ASSERT_EQ(p.DeleteLine(1), 1);  // BR39V040, the second NOR device
    std::string expected = kDevices;
    std::string gone = "nor,Brae,BR39V040,BF2301,1MB (8Mbit),Reduced NOR Command,8bit,x1,ADM,,,\n";
    expected.erase(expected.find(gone), gone.size());
    EXPECT_EQ(Read(), expected);
    // A line that is not there changes nothing.
    EXPECT_EQ(p.DeleteLine(2), 0);
    EXPECT_EQ(Read(), expected);
}

TEST_F(FileParserTest, AppendLineStartsANewLine) {
    Write("# header\nNOR,Oska,OS29K128T,7E2301,");  // the last line has no line end
    CFileParser p;
    ASSERT_EQ(p.SetFile(path_), 1);
    EXPECT_EQ(p.AppendLine("SPI,Corvo,CV25Q64,EF4017,"), 1);
    EXPECT_EQ(Read(), "# header\nNOR,Oska,OS29K128T,7E2301,\nSPI,Corvo,CV25Q64,EF4017,\n");
    EXPECT_EQ(p.FindLine("CV25Q64"), 1);
    for (const char* bad : {"", "NOR,a,\nNOR,b,", "NOR,a,\r"}) EXPECT_EQ(p.AppendLine(bad), 0) << bad;
    EXPECT_EQ(Read(), "# header\nNOR,Oska,OS29K128T,7E2301,\nSPI,Corvo,CV25Q64,EF4017,\n");
}

TEST_F(FileParserTest, OverLongLineIsRefusedAndKept) {
    std::string longLine = "NOR,Oska," + std::string(10000, 'X') + ",7E2301,";
    std::string withNul = std::string("NOR,Brae,BR", 11) + std::string(1, '\0') + "39,BF2301,";
    Write("# header\n" + longLine + "\nNOR,Cald,CA512M,7E2220,\n" + withNul + "\nNOR,Brae,BR39V040,BF2301,\n");
    CFileParser p;
    ASSERT_EQ(p.SetFile(path_), 1);
    EXPECT_EQ(p.GetField(0, 2), "CA512M");
    ASSERT_EQ(p.RefusedLines().size(), 2u);
    EXPECT_EQ(p.RefusedLines()[0].fileLine, 2);
    EXPECT_NE(p.RefusedLines()[0].refused.find("longer than"), std::string::npos);
    EXPECT_EQ(p.RefusedLines()[1].fileLine, 4);
    EXPECT_EQ(p.FindLine("BR39V040"), 1);
    EXPECT_EQ(p.FindLine(std::string(10000, 'X')), -1);
    // A rewrite keeps refused lines as they were, after the comments.
    ASSERT_EQ(p.SortByField(2), 1);
    EXPECT_EQ(Read(), "# header\n" + longLine + "\n" + withNul + "\nNOR,Brae,BR39V040,BF2301,\nNOR,Cald,CA512M,7E2220,\n");
}

// A name is looked up in the name field only: other fields of other records may hold the same text.
TEST_F(FileParserTest, FindFieldLooksInOneColumn) {
    Write("# header\n"
          "NOR,Oska,x1,7E2301,8MB (64Mbit),Legacy NOR,16bit,x2,ADP,PISMO1,,\n"
          "NOR,Oska,Alpha,CAFE,8MB (64Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\n"
          "NOR,Oska,nor,7E2302,8MB (64Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\n"
          "NOR,Oska,cafe,7E2303,8MB (64Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\n");
    CFileParser p;
    ASSERT_EQ(p.SetFile(path_), 1);
    p.SetFilter(0, "NOR");
    struct {
        const char* name;
        int field, any;  // FindField(2, name), FindLine(name)
    } cases[] = {{"nor", 2, 0}, {"NOR", 2, 0}, {"x1", 0, 0}, {"CAFE", 3, 1}, {"alpha", 1, 1}, {"x2", -1, 0}, {"", -1, -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(p.FindField(2, c.name), c.field) << c.name;
        EXPECT_EQ(p.FindLine(c.name), c.any) << c.name;
    }
    p.SetFilter(0, "SPI");
    EXPECT_EQ(p.FindField(2, "nor"), -1);
}

// The file's last line ending in a lone CR, moved before a record by the sort, must not swallow it.
TEST_F(FileParserTest, LastLineWithALoneCarriageReturnKeepsTheNextLineApart) {
    Write("NOR,Oska,b,7E2301,\nNOR,Oska,a,7E2302,\r");
    CFileParser p;
    ASSERT_EQ(p.SetFile(path_), 1);
    ASSERT_EQ(p.SortByField(2), 1);
    EXPECT_EQ(Read(), "NOR,Oska,a,7E2302,\r\nNOR,Oska,b,7E2301,\n");
    EXPECT_EQ(p.FindField(2, "b"), 1);
}

// Every line a rewrite keeps has its own bytes and line end; a line without one gets the platform's.
TEST_F(FileParserTest, RewriteKeepsEveryLineByteForByte) {
    const std::string withNul = std::string("NOR,Brae,BR") + '\0' + "\x01,BF2301,\r\n";
    Write("# header\r\n" + withNul + "NOR,Oska,b,7E2301,\n# note\nNOR,Oska,a,7E2302,\r\r\nNOR,Oska,c,7E2303,");
    CFileParser p;
    ASSERT_EQ(p.SetFile(path_), 1);
    ASSERT_EQ(p.SortByField(2), 1);
#ifdef _WIN32
    const std::string end = "\r\n";
#else
    const std::string end = "\n";
#endif
    EXPECT_EQ(Read(), "# header\r\n# note\n" + withNul + "NOR,Oska,a,7E2302,\r\r\nNOR,Oska,b,7E2301,\nNOR,Oska,c,7E2303," + end);
    ASSERT_EQ(p.DeleteLine(1), 1);
    EXPECT_EQ(Read(), "# header\r\n# note\n" + withNul + "NOR,Oska,a,7E2302,\r\r\nNOR,Oska,c,7E2303," + end);
}

// A list saved in UTF-16 (with or without its mark) reads as refused lines and is never rewritten.
TEST_F(FileParserTest, WideTextIsNeverRewritten) {
    auto utf16 = [](const std::string& text, bool bom, bool bigEndian) {
        std::string out = bom ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
        for (char c : text) out += bigEndian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
        return out;
    };
    const std::string text = std::string(kDevices);
    for (bool bom : {true, false})
        for (bool big : {false, true}) {
            const std::string bytes = utf16(text, bom, big);
            Write(bytes);
            CFileParser p;
            ASSERT_EQ(p.SetFile(path_), 1);
            EXPECT_EQ(p.SortByField(2), 0) << bom << big;
            EXPECT_EQ(p.DeleteLine(0), 0) << bom << big;
            EXPECT_EQ(p.AppendLine("NOR,Oska,new,7E2301,"), 0) << bom << big;
            EXPECT_EQ(Read(), bytes) << bom << big;
            EXPECT_TRUE(rook::IsWideText(bytes));
        }
    EXPECT_FALSE(rook::IsWideText(text));
    EXPECT_FALSE(rook::IsWideText(text + std::string(1, '\0') + text));  // a stray NUL is a refused line
}

TEST_F(FileParserTest, FailedRewriteLeavesTheFile) {
    Write(kDevices);
    CFileParser p;
    ASSERT_EQ(p.SetFile(path_), 1);
    std::filesystem::create_directory(path_ + "~");  // the temporary file cannot be made
    EXPECT_EQ(p.SortByField(2), 0);
    EXPECT_EQ(p.DeleteLine(0), 0);
    EXPECT_EQ(Read(), kDevices);
}

}  // namespace
