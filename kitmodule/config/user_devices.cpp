#include "user_devices.h"

#include <cstdio>

namespace rook {

const char kUserDeviceFileName[] = "Rook User Devices.txt";

const char* const kUserDeviceHeader[4] = {
    "# Rook User Devices: the devices defined on the User-defined List page of Tarn-Rook",
    "# Type,Group,Name,ID (hex),Size,Command Type,Bus Width,Interleave,Host Interface,Socket Type,SPI Interface,",
    "# One device per line, every field followed by a comma; names are unique.",
    "# Lines beginning with # are kept on top; the devices are kept sorted by name.",
};

namespace {

const char* const kTypeEntries[] = {"NOR", "NAND", "SPI"};
const char* const kNorGroupEntries[] = {"", "Oska", "Brae", "Tesk", "Rask", "Cald", "Dorn", "Fenn", "Mure", "Yarl"};
const char* const kSpiGroupEntries[] = {"", "Corvo", "Pirel"};
const char* const kSizeEntries[] = {"", "1MB (8Mbit)", "2MB (16Mbit)", "4MB (32Mbit)", "8MB (64Mbit)",
                                    "16MB (128Mbit)", "32MB (256Mbit)", "64MB (512Mbit)", "128MB (1Gbit)",
                                    "256MB (2Gbit)", "512MB (4Gbit)"};
const char* const kCommandEntries[] = {"", "Legacy NOR", "Reduced NOR Command", "SPI"};
const char* const kBusEntries[] = {"", "8bit", "16bit", "32bit"};
const char* const kInterleaveEntries[] = {"", "x1", "x2", "x4"};
const char* const kHostEntries[] = {"", "ADP", "ADM", "AADM"};
const char* const kSpiInterfaceEntries[] = {"", "SIO", "DI0", "MIO"};
const char* const kSocketEntries[] = {"", "PISMO1", "Wend Adapter"};

template <size_t N>
constexpr OptionList List(const char* const (&entries)[N]) {
    return {entries, static_cast<int>(N)};
}

// The file's type words by the page's type index; index 1 cannot be chosen on the page.
const char* const kFileTypeWords[] = {"NOR", "Veltan", "SPI"};

bool ParseHexId(const std::string& text, int32_t& id) {
    if (text.empty() || text.size() > 8) return false;
    uint32_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    id = static_cast<int32_t>(value);
    return true;
}

}  // namespace

const OptionList kDeviceTypes = List(kTypeEntries), kNorGroups = List(kNorGroupEntries),
                 kSpiGroups = List(kSpiGroupEntries), kDeviceSizes = List(kSizeEntries),
                 kCommandTypes = List(kCommandEntries), kBusWidths = List(kBusEntries),
                 kInterleaves = List(kInterleaveEntries), kHostInterfaces = List(kHostEntries),
                 kSpiInterfaces = List(kSpiInterfaceEntries), kSocketTypes = List(kSocketEntries);

int FindOption(const OptionList& list, const std::string& text) {
    for (int i = 0; i < list.count; ++i)
        if (EqualNoCase(list.entries[i], text)) return i;
    return -1;
}

std::string FormatUserDeviceLine(const UserDevice& d) {
    if (d.field[kUdName].empty() || d.field[kUdId].empty()) return std::string();
    std::string line;
    for (const std::string& f : d.field) {
        if (f.find_first_of(std::string(",\r\n\0", 4)) != std::string::npos) return std::string();
        line += f;
        line += ',';
    }
    return line;
}

bool ParseUserDeviceLine(const std::string& line, UserDevice& d, std::string* reason) {
    auto refuse = [reason](const char* why) {
        if (reason) *reason = why;
        return false;
    };
    size_t commas = 0;
    for (char c : line) commas += c == ',';
    if (commas != kUserDeviceFields || line.back() != ',')
        return refuse("it does not have eleven fields each followed by a comma");
    for (int k = 0; k < kUserDeviceFields; ++k) d.field[k] = FieldOf(line, k, ',');
    bool knownType = false;
    for (const char* word : kFileTypeWords) knownType = knownType || EqualNoCase(word, d.field[kUdType]);
    if (!knownType) return refuse("its device type is not NOR, Veltan or SPI");
    if (d.field[kUdName].empty()) return refuse("it has no device name");
    if (d.field[kUdId].empty()) return refuse("it has no device ID");
    return true;
}

bool EnsureUserDeviceFile(const std::string& path, std::string* error) {
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        std::fclose(f);
        return true;
    }
    // Appending makes a missing file and never cuts one that is there; the file made here gets the header.
    FILE* f = std::fopen(path.c_str(), "a");
    bool ok = f != nullptr;
    if (ok && std::fseek(f, 0, SEEK_END) == 0 && std::ftell(f) == 0) {
        for (const char* line : kUserDeviceHeader) ok = ok && std::fputs(line, f) >= 0 && std::fputc('\n', f) != EOF;
    }
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok && error) *error = "User Device Open Error";
    return ok;
}

bool ReadUserDevices(const std::string& path, std::vector<UserDevice>& devices,
                     std::vector<RefusedUserLine>& refused) {
    devices.clear();
    refused.clear();
    std::vector<ParsedLine> lines;
    if (!ReadParsedLines(path, '#', lines)) return false;
    for (const ParsedLine& l : lines) {
        if (l.comment || l.text.empty()) continue;
        if (!l.refused.empty()) {
            refused.push_back({l.fileLine, "it is " + l.refused});
            continue;
        }
        UserDevice d;
        std::string reason;
        if (!ParseUserDeviceLine(l.text, d, &reason)) {
            refused.push_back({l.fileLine, reason});
            continue;
        }
        bool duplicate = false;
        for (const UserDevice& seen : devices)
            duplicate = duplicate || EqualNoCase(seen.field[kUdName], d.field[kUdName]);
        if (duplicate) {
            refused.push_back({l.fileLine, "the device name " + d.field[kUdName] + " is already used above"});
            continue;
        }
        devices.push_back(d);
    }
    return true;
}

int ApplyUserDevice(const UserDevice& d, DeviceSettings& s, uint32_t& deviceBytes) {
    bool valid = true;
    int type = FindOption(kDeviceTypes, d.field[kUdType]);
    s.deviceClass = type < 0 ? 0 : type + 1;
    valid = valid && type >= 0;

    s.protectionScheme = 0;
    s.userDevice = 1;
    int32_t id = 0;
    // An ID with other characters than hex digits, or more of them than fit, is not taken in part.
    const bool idRead = ParseHexId(d.field[kUdId], id);
    if (idRead) s.expectedJedecId = id;
    else valid = false, s.expectedJedecId = 0;
    // An SPI chip's ID bytes are read widened (EF4018 comes as 0xFFEF4018); the three bytes typed
    // are expected in that form, or a chip that matches them would always be asked about. The file
    // keeps what was typed, and a longer ID is taken as it stands.
    if (type == 2 && idRead && d.field[kUdId].size() <= 6) {
        const uint32_t typed = static_cast<uint32_t>(id);
        s.expectedJedecId = static_cast<int32_t>(SpiJedecId(static_cast<uint8_t>(typed >> 16),
                                                            static_cast<uint8_t>(typed >> 8), static_cast<uint8_t>(typed)));
    }

    // Each lookup below: index 0 is the empty choice, which gives no value.
    int size = FindOption(kDeviceSizes, d.field[kUdSize]);
    deviceBytes = size > 0 ? (1u << 20) << (size - 1) : 0;
    valid = valid && size > 0;

    static const int32_t kCommandValues[] = {0, kTypeLegacyNor, kTypeReducedNor, kTypeSpi};
    int command = FindOption(kCommandTypes, d.field[kUdCommandType]);
    s.deviceType = command > 0 ? kCommandValues[command] : 0;
    valid = valid && command > 0;

    static const int32_t kBusValues[] = {0, 8, 16, 32};
    int bus = FindOption(kBusWidths, d.field[kUdBusWidth]);
    s.busWidthBits = bus > 0 ? kBusValues[bus] : 0;
    valid = valid && bus > 0;

    static const int32_t kInterleaveValues[] = {0, 1, 2, 4};
    int interleave = FindOption(kInterleaves, d.field[kUdInterleave]);
    s.interleave = interleave > 0 ? kInterleaveValues[interleave] : 0;
    valid = valid && interleave > 0;

    s.chipSelect = 1;
    int host = FindOption(kHostInterfaces, d.field[kUdHostInterface]);
    s.hostInterface = host > 0 ? host : 0;
    valid = valid && host > 0;

    s.vccMillivolts = 1800;
    int socket = FindOption(kSocketTypes, d.field[kUdSocket]);
    s.socketType = socket > 0 ? socket : 0;
    valid = valid && socket > 0;

    if (type == 0) {
        s.cfiQueryAddressSwitch = 0;
        const std::string& group = d.field[kUdGroup];
        if (EqualNoCase(group, "Oska") || EqualNoCase(group, "Brae") || EqualNoCase(group, "Rask")) {
            s.vccMillivolts = 3300;
            s.cfiQueryAddressSwitch = 1;
        }
    } else if (type == 2) {
        int family = FindOption(kSpiGroups, d.field[kUdGroup]);
        s.spiFamily = family == 1 ? 1 : family == 2 ? 3 : s.spiFamily;
        valid = valid && family > 0;
        // The user names no page size or register set: the common 256-byte page and the status and
        // configuration registers every SPI part has.
        s.spi.pageBytes = 256;
        s.spi.pageMask = 255;
        s.spi.registerMask = 0x02;
        static const int32_t kIoValues[] = {0, 1, 2, 4};
        int io = FindOption(kSpiInterfaces, d.field[kUdSpiInterface]);
        s.spiIoMode = io > 0 ? kIoValues[io] : 0;
        if (io <= 0) return -1;
    }
    if (!valid) return -1;
    s.configured = 1;
    return 0;
}

}  // namespace rook
