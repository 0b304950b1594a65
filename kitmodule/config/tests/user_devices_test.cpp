#include <gtest/gtest.h>

#include <filesystem>

#include "config_test_files.h"

#include "user_devices.h"

using namespace rook;

namespace {

class UserDevicesTest : public ConfigFileTest {
protected:
    void SetUp() override {
        UseFile("lx_userdevices_", "");
        std::filesystem::create_directories(dir_ / "User Data");
        path_ = (dir_ / "User Data" / rook::kUserDeviceFileName).string();
    }
};

std::string Header() {
    std::string h;
    for (const char* l : kUserDeviceHeader) h += std::string(l) + "\n";
    return h;
}

TEST_F(UserDevicesTest, MissingFileIsMadeWithTheHeaderAndAFileThereIsLeftAlone) {
    std::string error;
    ASSERT_TRUE(EnsureUserDeviceFile(path_, &error));
    EXPECT_EQ(Read(), Header());
    std::vector<UserDevice> devices;
    std::vector<RefusedUserLine> refused;
    ASSERT_TRUE(ReadUserDevices(path_, devices, refused));
    EXPECT_TRUE(devices.empty());
    EXPECT_TRUE(refused.empty());

    const std::string mine = "NOR,Oska,OS29K128T,7E2301,16MB (128Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,\n";
    Write(mine);
    ASSERT_TRUE(EnsureUserDeviceFile(path_, &error));
    EXPECT_EQ(Read(), mine);

    EXPECT_FALSE(EnsureUserDeviceFile((dir_ / "no such folder" / kUserDeviceFileName).string(), &error));
    EXPECT_EQ(error, "User Device Open Error");
}

TEST_F(UserDevicesTest, ReadKeepsEveryGoodLineAndSaysWhichWereRefused) {
    const std::string good1 = "NOR,Oska,OS29K128T,7E2301,16MB (128Mbit),Legacy NOR,16bit,x1,ADP,PISMO1,,";
    const std::string good2 = "SPI,Corvo,CV25Q64,EF4017,8MB (64Mbit),SPI,8bit,x1,ADP,Wend Adapter,SIO,";
    const std::string good3 = "NOR,,ZZ_EMPTY_OPTIONS,1,,,,,,,,";
    for (bool withHeader : {true, false}) {
        Write((withHeader ? Header() : std::string()) +
              good1 + "\n" +
              "NOR,Brae,BR39V040,BF2301,1MB (8Mbit),Legacy NOR,8bit,x1,ADP,PISMO1,\n" +  // ten fields
              "NAND,Wyle,WY01,2C,,,,,,,,\n" +                                            // not a type of the list
              "NOR,Cald," + std::string(5000, 'C') + ",7E2220,,,,,,,,\n" +              // over-long
              "\n" +
              good2 + "\n" +
              "nor,Cald,os29k128t,7E2220,64MB (512Mbit),Legacy NOR,16bit,x2,AADM,PISMO1,,\n" +  // name again
              "NOR,Dorn,,7E2301,,,,,,,,\n" +                                             // no name
              good3 + "\n");
        std::vector<UserDevice> devices;
        std::vector<RefusedUserLine> refused;
        ASSERT_TRUE(ReadUserDevices(path_, devices, refused));
        ASSERT_EQ(devices.size(), 3u);
        EXPECT_EQ(FormatUserDeviceLine(devices[0]), good1);
        EXPECT_EQ(FormatUserDeviceLine(devices[1]), good2);
        EXPECT_EQ(FormatUserDeviceLine(devices[2]), good3);
        int first = withHeader ? 5 : 1;
        ASSERT_EQ(refused.size(), 5u);
        const int lines[] = {first + 1, first + 2, first + 3, first + 6, first + 7};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(refused[i].fileLine, lines[i]) << i;
            EXPECT_FALSE(refused[i].reason.empty());
        }
        EXPECT_NE(refused[3].reason.find("os29k128t"), std::string::npos);
    }
}

TEST_F(UserDevicesTest, SavedDevicesComeBackSortedByNameUnderTheHeader) {
    ASSERT_TRUE(EnsureUserDeviceFile(path_, nullptr));
    CFileParser p;
    ASSERT_EQ(p.SetFile(path_), 1);
    UserDevice a, b;
    const char* fa[] = {"NOR", "Oska", "os_lower", "7E2301", "", "", "", "", "", "", ""};
    const char* fb[] = {"SPI", "Pirel", "PI25Q32", "C22016", "4MB (32Mbit)", "SPI", "8bit", "x1", "ADP", "PISMO1", "DI0"};
    for (int k = 0; k < kUserDeviceFields; ++k) a.field[k] = fa[k], b.field[k] = fb[k];
    ASSERT_EQ(p.AppendLine(FormatUserDeviceLine(a)), 1);
    ASSERT_EQ(p.AppendLine(FormatUserDeviceLine(b)), 1);
    ASSERT_EQ(p.SortByField(kUdName), 1);
    EXPECT_EQ(Read(), Header() + FormatUserDeviceLine(b) + "\n" + FormatUserDeviceLine(a) + "\n");

    UserDevice bad = b;
    bad.field[kUdName] = "PI,25";
    EXPECT_EQ(FormatUserDeviceLine(bad), "");
    bad = b;
    bad.field[kUdId] = "";
    EXPECT_EQ(FormatUserDeviceLine(bad), "");
}

TEST(UserDeviceApply, FieldsReachTheSettings) {
    struct Case {
        const char* line;
        int result;
        int32_t deviceClass, deviceType, bus, interleave, host, socket, vcc, jedec, spiFamily, spiIo, cfiSwitch;
        uint32_t bytes;
    } cases[] = {
        {"NOR,Oska,OS29K128T,7E2301,16MB (128Mbit),Legacy NOR,16bit,x2,ADM,PISMO1,,", 0,
         1, 1, 16, 2, 2, 1, 3300, 0x7E2301, -1, 0, 1, 16u << 20},
        {"NOR,Cald,CA512M,7e2220,64MB (512Mbit),reduced nor command,8bit,x1,AADM,Wend Adapter,,", 0,
         1, 2, 8, 1, 3, 2, 1800, 0x7E2220, -1, 0, 0, 64u << 20},
        // An SPI ID is expected as the chip's bytes are read, widened from a byte of 0x80 or more;
        // a NOR ID as typed.
        {"SPI,Pirel,PI25Q32,C22016,512MB (4Gbit),SPI,8bit,x4,ADP,PISMO1,MIO,", 0,
         3, 4, 8, 4, 1, 1, 1800, static_cast<int32_t>(0xFFC22016u), 3, 4, 0, 512u << 20},
        {"SPI,Corvo,CV25Q64,EF4017,1MB (8Mbit),SPI,32bit,x1,ADP,PISMO1,DI0,", 0,
         3, 4, 32, 1, 1, 1, 1800, static_cast<int32_t>(0xFFEF4017u), 1, 2, 0, 1u << 20},
        // An empty or unknown option is refused and its value is 0; the rest still applies.
        {"NOR,Brae,BR1,BF23,,Legacy NOR,16bit,x1,ADP,PISMO1,,", -1, 1, 1, 16, 1, 1, 1, 3300, 0xBF23, -1, 0, 1, 0},
        {"NOR,Brae,BR1,BF23,2MB (16Mbit),Legacy NOR,64bit,x1,ADP,,,", -1, 1, 1, 0, 1, 1, 0, 3300, 0xBF23, -1, 0, 1, 2u << 20},
        {"Veltan,,V1,2C,2MB (16Mbit),Legacy NOR,8bit,x1,ADP,PISMO1,,", -1, 0, 1, 8, 1, 1, 1, 1800, 0x2C, -1, 0, 0, 2u << 20},
        {"SPI,Ivor,IV1,1F,1MB (8Mbit),SPI,8bit,x1,ADP,PISMO1,SIO,", -1, 3, 4, 8, 1, 1, 1, 1800, 0x1F, -1, 1, 0, 1u << 20},
        {"SPI,Corvo,CV1,1F,1MB (8Mbit),SPI,8bit,x1,ADP,PISMO1,,", -1, 3, 4, 8, 1, 1, 1, 1800, 0x1F, 1, 0, 0, 1u << 20},
        // An ID that is not whole hex, or longer than 32 bits, is not taken in part.
        {"NOR,Oska,OS1,7E23X1,1MB (8Mbit),Legacy NOR,8bit,x1,ADP,PISMO1,,", -1, 1, 1, 8, 1, 1, 1, 3300, 0, -1, 0, 1, 1u << 20},
        {"NOR,Oska,OS1,17E2301AB,1MB (8Mbit),Legacy NOR,8bit,x1,ADP,PISMO1,,", -1, 1, 1, 8, 1, 1, 1, 3300, 0, -1, 0, 1, 1u << 20},
    };
    for (const Case& c : cases) {
        UserDevice d;
        ASSERT_TRUE(ParseUserDeviceLine(c.line, d, nullptr)) << c.line;
        DeviceSettings s;
        uint32_t bytes = 99;
        EXPECT_EQ(ApplyUserDevice(d, s, bytes), c.result) << c.line;
        EXPECT_EQ(s.configured, c.result == 0 ? 1 : 0) << c.line;
        EXPECT_EQ(s.deviceClass, c.deviceClass) << c.line;
        EXPECT_EQ(s.deviceType, c.deviceType) << c.line;
        EXPECT_EQ(s.busWidthBits, c.bus) << c.line;
        EXPECT_EQ(s.interleave, c.interleave) << c.line;
        EXPECT_EQ(s.hostInterface, c.host) << c.line;
        EXPECT_EQ(s.socketType, c.socket) << c.line;
        EXPECT_EQ(s.vccMillivolts, c.vcc) << c.line;
        EXPECT_EQ(s.expectedJedecId, c.jedec) << c.line;
        EXPECT_EQ(s.spiFamily, c.spiFamily) << c.line;
        EXPECT_EQ(s.spiIoMode, c.spiIo) << c.line;
        EXPECT_EQ(s.cfiQueryAddressSwitch, c.cfiSwitch) << c.line;
        EXPECT_EQ(s.chipSelect, 1) << c.line;
        EXPECT_EQ(s.protectionScheme, 0) << c.line;
        EXPECT_EQ(bytes, c.bytes) << c.line;
    }
}

}  // namespace
