// What the configuration sheet decides: the Predefined List page's apply, the options a catalogue part
// leaves, the Operation Setup values in the record, the chip-select map in "Tarn-Rook.ini", and the
// power control dialog's reset as the simulated kit gets it.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "config_test_files.h"
#include "kitsim/noting_serial.h"
#include "sheet_core.h"
#include "sim_kit_bus.h"

using namespace rook;

namespace {

DevicePageSelection Oska() {
    DevicePageSelection sel;
    sel.deviceType = 0;
    sel.group = "Oska";
    sel.name = "OS128PHI";
    return sel;
}

}  // namespace

TEST(SetupDevice, ChoicesFillTheRecord) {
    DevicePageSelection sel = Oska();
    sel.interleave = 1;
    sel.chipSelect = 2;
    sel.hostInterface = 1;
    sel.spiInterface = 2;
    PageChoices page;
    DeviceSettings s;
    RookIni ini;
    std::vector<std::string> messages;
    ASSERT_EQ(SetupDevice(sel, page, s, ini, messages), 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(s.deviceClass, kClassNor);
    EXPECT_EQ(s.busWidthBits, 16);
    EXPECT_EQ(s.interleave, 2);
    EXPECT_EQ(s.chipSelect, 4);
    EXPECT_EQ(s.hostInterface, 2);
    EXPECT_EQ(s.spiIoMode, 4);
    EXPECT_EQ(s.socketType, 1);
    EXPECT_EQ(s.vccMillivolts, 1800);
    EXPECT_EQ(s.configured, 1);
    EXPECT_GT(s.expectedJedecId, 0);
    EXPECT_EQ(ini.Get(kPredefinedSection, "Interleaved"), "2");
    EXPECT_EQ(ini.Get(kPredefinedSection, "SPI Interface"), "QIO");
    EXPECT_EQ(ini.Get(kPredefinedSection, "Voltage"), "");
}

TEST(SetupDevice, EveryInvalidChoiceSaysSoAndTheCheckGoesOn) {
    DevicePageSelection sel = Oska();
    sel.busWidth = -1;
    sel.interleave = -1;
    sel.chipSelect = -1;
    sel.hostInterface = -1;
    sel.socket = -1;
    sel.name = "NOSUCHPART";
    PageChoices page;
    DeviceSettings s;
    RookIni ini;
    std::vector<std::string> messages;
    EXPECT_EQ(SetupDevice(sel, page, s, ini, messages), -1);
    const std::vector<std::string> expected = {"Buswidth is invalid!\n", "Interleaved is invalid!\n", "Rook CS is invalid!\n",
                                               "System Interface is invalid!\n", "Socket Type is invalid!\n",
                                               "Setup Device has failed.\nPlease try it again\n"};
    EXPECT_EQ(messages, expected);
    EXPECT_EQ(s.configured, 0);
    EXPECT_EQ(s.busWidthBits, 0);
    EXPECT_EQ(s.socketType, 0);
    EXPECT_EQ(s.vccMillivolts, 1200);
    EXPECT_EQ(s.expectedJedecId, -1);

    // An SPI part needs its interface; a NOR part does not.
    DevicePageSelection spi;
    spi.deviceType = 2;
    spi.busWidth = 0;
    spi.group = "Ivor";
    spi.name = "IV064E";
    DeviceSettings spiSettings;
    spiSettings.deviceClass = kClassSpi;
    messages.clear();
    EXPECT_EQ(SetupDevice(spi, page, spiSettings, ini, messages), -1);
    EXPECT_EQ(messages, std::vector<std::string>{"SPI Interface is invalid!\n"});
    spi.spiInterface = 0;
    messages.clear();
    EXPECT_EQ(SetupDevice(spi, page, spiSettings, ini, messages), 0);
    EXPECT_EQ(spiSettings.spiIoMode, 1);
}

TEST(SetupDevice, WendVccRange) {
    struct Case {
        int mv;
        int result;
        const char* message;
        const char* voltage;
    };
    const Case cases[] = {
        {1199, -1, "Vcc is lower than 1200mV", ""},
        {1200, 0, nullptr, "1200"},
        {3500, 0, nullptr, "3500"},
        {3501, -1, "Vcc is higher than 3500mV", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mv);
        DevicePageSelection sel = Oska();
        sel.socket = 1;
        sel.vccMv = c.mv;
        PageChoices page;
        DeviceSettings s;
        RookIni ini;
        std::vector<std::string> messages;
        bool refused = false;
        EXPECT_EQ(SetupDevice(sel, page, s, ini, messages, &refused), c.result);
        EXPECT_EQ(refused, c.message != nullptr);
        if (c.message) {
            EXPECT_EQ(messages, std::vector<std::string>{c.message});
            EXPECT_EQ(s.configured, 0);
        } else {
            EXPECT_EQ(s.socketType, 2);
            EXPECT_EQ(s.vccMillivolts, c.mv);
        }
        EXPECT_EQ(ini.Get(kPredefinedSection, "Voltage"), c.voltage);
    }
}

TEST(CatalogueOptionsTest, ThePartDecidesWhatStaysSelectable) {
    RookIni ini;
    PageChoices nor;
    nor.busWidth = 1;
    nor.interleave = -1;
    nor.chipSelect = 0;
    nor.hostInterface = 1;
    nor.spiInterface = -1;
    CatalogueOptionsView v = CatalogueOptions(nor, 0, 1800, ini);
    EXPECT_EQ(v.bus.selected, 1);
    EXPECT_FALSE(v.bus.enabled[0]);
    EXPECT_TRUE(v.bus.enabled[1]);
    EXPECT_EQ(v.host.selected, 1);
    EXPECT_FALSE(v.host.enabled[0]);
    EXPECT_EQ(v.interleave.selected, 0);
    EXPECT_TRUE(v.interleave.enabled[0] && v.interleave.enabled[1] && !v.interleave.enabled[2]);
    EXPECT_EQ(v.chipSelect.selected, 0);
    EXPECT_FALSE(v.chipSelect.enabled[1]);
    EXPECT_FALSE(v.spiGroupEnabled);
    EXPECT_EQ(v.spi.selected, -1);
    EXPECT_FALSE(v.wendControlsEnabled);

    ini.Set(kPredefinedSection, "Interleaved", "2");
    ini.Set(kPredefinedSection, "SPI Interface", "DIO");
    ini.Set(kPredefinedSection, "Voltage", "2500");
    v = CatalogueOptions(nor, 1, 1800, ini);
    EXPECT_EQ(v.interleave.selected, 1) << "the file's choice, where the part leaves it";
    EXPECT_TRUE(v.wendControlsEnabled);
    EXPECT_EQ(v.vccMv, 2500);
    EXPECT_EQ(v.voltageButton, 1);

    // A single-chip part (SPI here) is never started interleaved from an earlier NOR choice in the file.
    PageChoices spi;
    spi.busWidth = 0;
    spi.interleave = 0;
    spi.spiInterface = 0;
    v = CatalogueOptions(spi, 0, 1800, ini);
    EXPECT_EQ(v.interleave.selected, 0);
    EXPECT_TRUE(v.spiGroupEnabled);
    EXPECT_EQ(v.spi.selected, 1);
    EXPECT_EQ(v.bus.selected, 0);

    ini.Set(kPredefinedSection, "Voltage", "");
    v = CatalogueOptions(nor, 1, 3100, ini);
    EXPECT_EQ(v.vccMv, 3100) << "an empty value keeps the page's";
    EXPECT_EQ(v.voltageButton, -1);
}

TEST(OperationSetupApply, ValuesReachTheRecord) {
    OperationSetupValues v;
    v.programTimeoutMs = 250;
    v.eraseTimeoutMs = 150;
    v.chipEraseTimeoutMin = 5;
    v.writeBufferBytes = 64;
    v.dataSwap = 4;
    v.noWriteBuffer = true;
    v.force4ByteAddress = true;
    DeviceSettings s;
    std::string error;
    ASSERT_TRUE(ApplyOperationSetup(v, s, &error));
    EXPECT_EQ(s.programTimeoutMs, 250);
    EXPECT_EQ(s.eraseTimeoutMs, 150);
    EXPECT_EQ(s.chipEraseTimeoutMs, 300000);
    EXPECT_EQ(s.writeBufferBytes, 64);
    EXPECT_EQ(s.dataSwap, 2);
    EXPECT_EQ(s.noWriteBuffer, 1);
    EXPECT_EQ(s.force4ByteAddress, 1);
    EXPECT_EQ(s.useUserCfi, 0);

    // "Default" and "None" leave the record's defaults; "Infinite" is -1.
    DeviceSettings fresh;
    OperationSetupValues defaults;
    ASSERT_TRUE(ApplyOperationSetup(defaults, fresh, &error));
    EXPECT_EQ(fresh.writeBufferBytes, 0);
    EXPECT_EQ(fresh.dataSwap, 0);
    EXPECT_EQ(fresh.programTimeoutMs, -1);
    EXPECT_EQ(fresh.chipEraseTimeoutMs, -1);

    // A user CFI that cannot stand refuses the page and leaves the record.
    OperationSetupValues cfi;
    cfi.userCfi = true;
    const char* texts[9] = {"2", "40", "5", "1", "0", "0", "0", "0", "0"};
    for (int i = 0; i < 9; ++i) cfi.cfi[i] = texts[i];
    DeviceSettings kept;
    EXPECT_FALSE(ApplyOperationSetup(cfi, kept, &error));
    EXPECT_EQ(kept.useUserCfi, 0);
    EXPECT_EQ(kept.userCfiDeviceBytes, 0u);
    cfi.cfi[1] = "0x16";
    ASSERT_TRUE(ApplyOperationSetup(cfi, kept, &error));
    EXPECT_EQ(kept.useUserCfi, 1);
    EXPECT_EQ(kept.userCfiDeviceBytes, 4u << 20);
    EXPECT_EQ(kept.userCfi.maxBufferBytes, 32);
}

class ChipSelectMapFile : public ConfigFileTest {};

TEST_F(ChipSelectMapFile, ReadAndWrittenByTheirFileValues) {
    UseFile("csmap", "Tarn-Rook.ini");
    Write("[Predefined List]\nCS0 Position=1st Half\nCS0 Size=512Mbit\nCS1 Position=2nd Half\nCS1 Size=2Gbit\n"
          "CS2 Position=1st half\nCS2 Size=3Mbit\nCS3 Position=4th Quarter\nCS3 Size=\n");
    RookIni ini;
    ASSERT_EQ(ini.Load(path_, nullptr), IniLoad::kLoaded);
    ChipSelectMapEntry map[4];
    ReadChipSelectMap(ini, map);
    EXPECT_EQ(map[0].positionCode, 1);
    EXPECT_EQ(map[0].sizeCode, 10);
    EXPECT_EQ(map[1].positionCode, 2);
    EXPECT_EQ(map[1].sizeCode, 12);
    EXPECT_EQ(map[2].positionCode, 0) << "the file value's own capitalisation only";
    EXPECT_EQ(map[2].sizeCode, 0);
    EXPECT_EQ(map[3].positionCode, 6);
    EXPECT_EQ(map[3].sizeCode, 0);
    EXPECT_TRUE(ChipSelectMapSelected(map));

    map[1] = ChipSelectMapEntry{};
    map[2] = {5, 3};
    WriteChipSelectMap(ini, map);
    ASSERT_TRUE(ini.Save(path_));
    RookIni again;
    ASSERT_EQ(again.Load(path_, nullptr), IniLoad::kLoaded);
    EXPECT_EQ(again.Get(kPredefinedSection, "CS1 Position", "none"), "");
    EXPECT_EQ(again.Get(kPredefinedSection, "CS1 Size", "none"), "");
    EXPECT_EQ(again.Get(kPredefinedSection, "CS2 Position"), "3rd Quarter");
    EXPECT_EQ(again.Get(kPredefinedSection, "CS2 Size"), "4Mbit");
    ChipSelectMapEntry none[4];
    EXPECT_FALSE(ChipSelectMapSelected(none));
}

TEST(ChipSelectMapApply, AskedOnlyForAMapAndNeverKeptWithout) {
    DeviceSettings s;
    s.chipSelectMapInUse = 1;  // a Yes of an earlier apply
    int asked = 0;
    EXPECT_TRUE(ApplyChipSelectMap(s, [&] { return ++asked, true; }));
    EXPECT_EQ(s.chipSelectMapInUse, 0) << "all positions N/A: no map";
    EXPECT_EQ(asked, 0);
    s.chipSelectMap[2] = {5, 3};
    EXPECT_FALSE(ApplyChipSelectMap(s, [&] { return ++asked, false; }));
    EXPECT_EQ(s.chipSelectMapInUse, 0);
    EXPECT_TRUE(ApplyChipSelectMap(s, [&] { return ++asked, true; }));
    EXPECT_EQ(s.chipSelectMapInUse, 1);
    EXPECT_EQ(asked, 2);
}

namespace {

// The simulated kit behind the kit control's own link code, with the memory types of its resets noted
// (the kit itself does not see them).
class ResetRecordingBus : public SimKitBus {
public:
    using SimKitBus::SimKitBus;
    HResult ResetMemory(uint8_t socketType, uint8_t memType) override {
        resets.push_back({socketType, memType});
        return SimKitBus::ResetMemory(socketType, memType);
    }
    std::vector<std::pair<int, int>> resets;
};

}  // namespace

// "H/W reset" of the power control dialog: the memory type is the one the open's kit start takes for
// the socket and device the page shows, and the kit's socket is reset.
TEST(PowerControlReset, TakesTheMemoryTypeOfThePageChoices) {
    struct Case {
        int socket, deviceType, memoryType;
    } cases[] = {
        {1, 0, 2},   // Wend, NOR
        {1, 2, 2},   // Wend, SPI
        {0, 0, 0},   // PISMO1, NOR
        {0, 1, 6},   // PISMO1, NAND
        {0, 2, 1},   // PISMO1, SPI
        {-1, 0, -1}, // no socket: nothing is sent
    };
    for (const Case& c : cases) {
        kitsim::Kit kit;
        ResetRecordingBus bus(kit);
        ASSERT_EQ(bus.ConnectTarn(), kOk);
        DevicePageSelection sel = Oska();
        sel.socket = c.socket;
        sel.deviceType = c.deviceType;
        EXPECT_EQ(PageMemoryType(sel), c.memoryType) << c.socket << "/" << c.deviceType;
        const HResult hr = ResetPageMemory(bus, sel);
        if (c.memoryType < 0) {
            EXPECT_LT(hr, 0);
            EXPECT_TRUE(bus.resets.empty());
            EXPECT_EQ(kit.ResetPulses(), 0u);
            continue;
        }
        EXPECT_EQ(hr, kOk);
        ASSERT_EQ(bus.resets.size(), 1u);
        EXPECT_EQ(bus.resets[0].first, 255) << "the reset line, not the I2C reset of socket type 1";
        EXPECT_EQ(bus.resets[0].second, c.memoryType) << c.socket << "/" << c.deviceType;
        EXPECT_GE(kit.ResetPulses(), 1u);
    }
}

// "Enter DPD" and "Release DPD" of the power control dialog on a kit connected without an open: only an
// SPI device on the socket of the serial controller takes them, and the kit is configured for the page's
// chip select first, so the command reaches that chip as a frame of its own.
TEST(PowerControlDeepPowerDown, ConfiguresTheKitForThePagesSpiDevice) {
    struct Case {
        int socket, deviceType, chipSelect;
        bool sent;
    } cases[] = {
        {0, 2, 0, true}, {0, 2, 2, true}, {0, 2, 3, true},  // PISMO1, SPI
        {1, 2, 0, false},                                    // Wend, SPI: the parallel bus only
        {0, 0, 0, false}, {0, 1, 0, false},                 // PISMO1, NOR and NAND
        {-1, 2, 0, false},                                   // no socket
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.socket << "/" << c.deviceType << "/CS" << c.chipSelect);
        kitsim::Kit kit;
        kitsim::NotingSerialDevice devices[4];
        for (int p = 0; p < 4; ++p) kit.AttachSerial(p, &devices[p]);
        SimKitBus bus(kit);
        ASSERT_EQ(bus.ConnectTarn(), kOk);
        ASSERT_EQ(bus.PowerControl(1), kOk);
        DevicePageSelection sel = Oska();
        sel.socket = c.socket;
        sel.deviceType = c.deviceType;
        sel.chipSelect = c.chipSelect;
        EXPECT_EQ(PageTakesDeepPowerDown(sel), c.sent);
        const HResult enter = SendPageDeepPowerDown(bus, sel, true);
        const HResult release = SendPageDeepPowerDown(bus, sel, false);
        for (int p = 0; p < 4; ++p) {
            const bool here = c.sent && p == c.chipSelect;
            const std::vector<std::vector<uint8_t>> expected =
                here ? std::vector<std::vector<uint8_t>>{{0xB9}, {0xAB}} : std::vector<std::vector<uint8_t>>{};
            EXPECT_EQ(devices[p].frames, expected) << "position " << p;
        }
        if (c.sent) {
            EXPECT_EQ(enter, kOk);
            EXPECT_EQ(release, kOk);
        } else {
            EXPECT_LT(enter, 0);
            EXPECT_LT(release, 0);
        }
    }
}
