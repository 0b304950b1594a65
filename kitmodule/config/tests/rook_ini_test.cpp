#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "config_test_files.h"

#include "rook_ini.h"

using namespace rook;

namespace {

class RookIniTest : public ConfigFileTest {
protected:
    void SetUp() override {
        UseFile("lx_rookini_", rook::kRookIniFileName);
    }
};

// A file as the sheet leaves it after a few runs.
const char kIni[] =
    "[Predefined List]\r\n"
    "Active Device Type = SPI\r\n"
    "NOR Device Group = Cald\r\n"
    "NOR Device Name = CA512M\r\n"
    "SPI Device Group = Corvo\r\n"
    "SPI Device Name = CV25Q64\r\n"
    "Interleaved = 1\r\n"
    "SPI Interface = DIO\r\n"
    "Voltage = 2500\r\n"
    "Socket Type = Wend\r\n"
    "CS0 Position = 1\r\n"
    "\r\n"
    "[Operation Setup]\r\n"
    "Programming Timeout = 500\r\n"
    "Erasing Timeout = -1\r\n"
    "Chip Erasing Timeout = 10\r\n"
    "Write Buffer Size = 256\r\n"
    "Data Swap = 2\r\n"
    "Not Use Write Buffer = 0\r\n"
    "Check Sector Protection = 1\r\n"
    "Force To Use P8E = 0\r\n"
    "Force To Use 4-Bytes Address = 1\r\n"
    "Force To Use an 80MHz SCK = 0\r\n"
    "User CFI = 1\r\n"
    "Command Set ID = 0x02\r\n"
    "Device Size Bytes = 0x18\r\n"
    "Max Bytes Write = 0x08\r\n"
    "Erase Block Regions = 0x01\r\n"
    "Erase Block Info 1 = 0x00FF0100\r\n"
    "Erase Block Info 2 = \r\n"
    "Boot Sector Flag = 0x0\r\n";

TEST_F(RookIniTest, EveryKeyIsReadAndWrittenBack) {
    Write(kIni);
    RookIni ini;
    std::string message;
    ASSERT_EQ(ini.Load(path_, &message), IniLoad::kLoaded);
    EXPECT_EQ(message, "");
    // Section and key names without regard to case.
    EXPECT_EQ(ini.Get("predefined list", "active device type"), "SPI");
    EXPECT_EQ(ini.Get(kPredefinedSection, "Socket Type"), "Wend");
    EXPECT_EQ(ini.Get(kPredefinedSection, "Voltage"), "2500");
    EXPECT_EQ(ini.Get(kPredefinedSection, "CS1 Position", "none"), "none");
    OperationSetupValues v;
    ReadOperationSetup(ini, v);
    EXPECT_EQ(v.programTimeoutMs, 500);
    EXPECT_EQ(v.eraseTimeoutMs, -1);
    EXPECT_EQ(v.chipEraseTimeoutMin, 10);
    EXPECT_EQ(v.writeBufferBytes, 256);
    EXPECT_EQ(v.dataSwap, 2);
    EXPECT_FALSE(v.noWriteBuffer);
    EXPECT_TRUE(v.checkSectorProtection);
    EXPECT_FALSE(v.forceP8E);
    EXPECT_TRUE(v.force4ByteAddress);
    EXPECT_FALSE(v.force80MHzSck);
    EXPECT_TRUE(v.userCfi);
    const char* cfi[9] = {"0x02", "0x18", "0x08", "0x01", "0x00FF0100", "0x", "0x", "0x", "0x0"};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(v.cfi[i], cfi[i]) << kUserCfiKeys[i];

    // Every key written, the file saved and read again gives the same values.
    v.programTimeoutMs = 2000;
    v.writeBufferBytes = 0;
    v.dataSwap = 4;
    v.noWriteBuffer = v.forceP8E = v.force80MHzSck = true;
    v.checkSectorProtection = v.force4ByteAddress = false;
    v.cfi[5] = "0x00070200";
    WriteOperationSetup(ini, v);
    ini.Set(kPredefinedSection, "Socket Type", "PISMO");
    ASSERT_TRUE(ini.Save(path_));
    EXPECT_FALSE(std::filesystem::exists(path_ + "~"));
    RookIni again;
    ASSERT_EQ(again.Load(path_, &message), IniLoad::kLoaded) << message;
    OperationSetupValues w;
    ReadOperationSetup(again, w);
    EXPECT_EQ(w.programTimeoutMs, 2000);
    EXPECT_EQ(w.eraseTimeoutMs, -1);
    EXPECT_EQ(w.chipEraseTimeoutMin, 10);
    EXPECT_EQ(w.writeBufferBytes, 0);
    EXPECT_EQ(w.dataSwap, 4);
    EXPECT_TRUE(w.noWriteBuffer && w.forceP8E && w.force80MHzSck && w.userCfi);
    EXPECT_FALSE(w.checkSectorProtection || w.force4ByteAddress);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(w.cfi[i], v.cfi[i]) << kUserCfiKeys[i];
    EXPECT_EQ(again.Get(kPredefinedSection, "Socket Type"), "PISMO");
    EXPECT_EQ(again.Get(kPredefinedSection, "SPI Device Name"), "CV25Q64");
    EXPECT_EQ(again.Get(kPredefinedSection, "CS0 Position"), "1");
}

TEST_F(RookIniTest, UserCfiTextsAreWrittenOnlyWhileUserCfiIsOn) {
    RookIni ini;
    OperationSetupValues v;
    for (auto& c : v.cfi) c = "0x11";
    WriteOperationSetup(ini, v);
    EXPECT_EQ(ini.Get(kOperationSection, "Command Set ID", "missing"), "missing");
    EXPECT_EQ(ini.Get(kOperationSection, "User CFI"), "0");
}

TEST_F(RookIniTest, BadFilesGiveDefaultsAndAMessage) {
    struct {
        const char* name;
        std::string text;  // "<none>": no file
        IniLoad load;
        const char* messagePart;
    } cases[] = {
        {"missing", "<none>", IniLoad::kMissing, "not there"},
        {"empty", "", IniLoad::kEmpty, "empty"},
        {"blank", "\r\n  \n", IniLoad::kEmpty, "empty"},
        {"garbled", "[Operation Setup]\nProgramming Timeout = 500\nthis is no key\nData Swap = 2\n", IniLoad::kGarbled,
         "line 3"},
        {"open section", "[Operation Setup\nData Swap = 2\n", IniLoad::kGarbled, "line 1"},
        {"binary", std::string("\x7f" "ELF\0\0\x01\x02", 8), IniLoad::kGarbled, "line 1"},
        {"too large", std::string(2u << 20, 'x'), IniLoad::kUnreadable, "larger than 1 MiB"},
        {"bad numbers",
         "[Operation Setup]\nProgramming Timeout = 5x\nErasing Timeout = -7\nChip Erasing Timeout = 99999999999\n"
         "Write Buffer Size = 100\nData Swap = 3\nUser CFI = yes\n",
         IniLoad::kLoaded, ""},
    };
    for (auto& c : cases) {
        std::filesystem::remove(path_);
        if (c.text != "<none>") Write(c.text);
        RookIni ini;
        std::string message;
        EXPECT_EQ(ini.Load(path_, &message), c.load) << c.name;
        EXPECT_NE(message.find(c.messagePart), std::string::npos) << c.name << ": " << message;
        OperationSetupValues v;
        ReadOperationSetup(ini, v);
        EXPECT_EQ(v.programTimeoutMs, c.load == IniLoad::kGarbled && c.text.find("500") != std::string::npos ? 500 : -1)
            << c.name;
        EXPECT_EQ(v.eraseTimeoutMs, -1) << c.name;
        EXPECT_EQ(v.chipEraseTimeoutMin, -1) << c.name;
        EXPECT_EQ(v.writeBufferBytes, 0) << c.name;
        EXPECT_EQ(v.dataSwap, c.name == std::string("garbled") ? 2 : 0) << c.name;
        EXPECT_FALSE(v.userCfi) << c.name;
        EXPECT_EQ(v.cfi[0], "0x") << c.name;
    }
}

// A NUL on a line of its own costs that line only: every key of the other lines is read and written
// back by the next save, and the message names the line that holds it.
TEST_F(RookIniTest, ANulCostsOnlyItsLine) {
    std::string text = kIni;
    const size_t at = text.find("NOR Device Group");  // line 3
    text.insert(at + 3, 1, '\0');
    Write(text);
    RookIni ini;
    std::string message;
    ASSERT_EQ(ini.Load(path_, &message), IniLoad::kGarbled);
    EXPECT_NE(message.find("line 3 is not understood"), std::string::npos) << message;
    EXPECT_NE(message.find(path_ + ".bad"), std::string::npos) << message;
    EXPECT_EQ(ini.Get(kPredefinedSection, "NOR Device Name"), "CA512M");
    EXPECT_EQ(ini.Get(kPredefinedSection, "Socket Type"), "Wend");
    OperationSetupValues v;
    ReadOperationSetup(ini, v);
    WriteOperationSetup(ini, v);  // as the Operation Setup page saves
    ASSERT_TRUE(ini.Save(path_));
    RookIni again;
    ASSERT_EQ(again.Load(path_, &message), IniLoad::kLoaded) << message;
    for (const char* key : {"Active Device Type", "NOR Device Name", "SPI Device Group", "SPI Device Name", "Interleaved",
                            "SPI Interface", "Voltage", "Socket Type", "CS0 Position"})
        EXPECT_EQ(again.Get(kPredefinedSection, key), ini.Get(kPredefinedSection, key)) << key;
    EXPECT_EQ(again.Get(kPredefinedSection, "NOR Device Name"), "CA512M");
    OperationSetupValues w;
    ReadOperationSetup(again, w);
    EXPECT_EQ(w.programTimeoutMs, 500);
    EXPECT_EQ(w.chipEraseTimeoutMin, 10);
    EXPECT_EQ(w.writeBufferBytes, 256);
    EXPECT_EQ(w.cfi[4], "0x00FF0100");
    // The file as it was stays beside the new one.
    std::ifstream bad(path_ + ".bad", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(bad), std::istreambuf_iterator<char>()), text);
}

// A file that cannot be read at all is copied beside itself before any save replaces it, and the
// message says where.
TEST_F(RookIniTest, AnUnreadableFileIsKeptBesideIt) {
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string(kIni)) utf16 += std::string(1, c) + '\0';
    std::string noMark;
    for (char c : std::string(kIni)) noMark += std::string(1, c) + '\0';
    std::string large = std::string(kIni) + std::string((1u << 20) + 1 - sizeof kIni + 1, ';');
    struct {
        const char* name;
        const std::string& bytes;
        const char* messagePart;
    } cases[] = {{"UTF-16", utf16, "UTF-16"}, {"UTF-16 without its mark", noMark, "UTF-16"},
                 {"over 1 MiB", large, "larger than 1 MiB"}};
    for (const auto& c : cases) {
        std::filesystem::remove(path_ + ".bad");
        Write(c.bytes);
        RookIni ini;
        std::string message;
        EXPECT_EQ(ini.Load(path_, &message), IniLoad::kUnreadable) << c.name;
        EXPECT_NE(message.find(c.messagePart), std::string::npos) << c.name << ": " << message;
        EXPECT_NE(message.find("kept as " + path_ + ".bad"), std::string::npos) << c.name << ": " << message;
        ini.Set(kPredefinedSection, "Socket Type", "PISMO");
        ASSERT_TRUE(ini.Save(path_)) << c.name;
        std::ifstream bad(path_ + ".bad", std::ios::binary);
        EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(bad), std::istreambuf_iterator<char>()) == c.bytes)
            << c.name;
    }
}

TEST_F(RookIniTest, AFileThatCannotBeWrittenStaysAsItWas) {
    Write(kIni);
    RookIni ini;
    ASSERT_EQ(ini.Load(path_, nullptr), IniLoad::kLoaded);
    ini.Set(kPredefinedSection, "Socket Type", "PISMO");
    std::filesystem::create_directory(path_ + "~");
    EXPECT_FALSE(ini.Save(path_));
    EXPECT_EQ(Read(), kIni);
    EXPECT_FALSE(ini.Save((dir_ / "no such folder" / kRookIniFileName).string()));
}

}  // namespace
