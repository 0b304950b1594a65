// The user's own NOR and SPI devices, kept in "Rook User Devices.txt": one comma-separated line per
// device, eleven fields each followed by a comma, below a header of four comment lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_parser.h"
#include "settings.h"

namespace rook {

extern const char kUserDeviceFileName[];
// The header written into a new file (files without it read the same).
extern const char* const kUserDeviceHeader[4];

// The option lists the user device page offers; index 0 is the empty choice (the device types have none).
struct OptionList {
    const char* const* entries;
    int count;
};
extern const OptionList kDeviceTypes, kNorGroups, kSpiGroups, kDeviceSizes, kCommandTypes, kBusWidths,
    kInterleaves, kHostInterfaces, kSpiInterfaces, kSocketTypes;
// The index of `text` in `list` (whole entry, without regard to case), or -1.
int FindOption(const OptionList& list, const std::string& text);

enum UserDeviceField {
    kUdType, kUdGroup, kUdName, kUdId, kUdSize, kUdCommandType, kUdBusWidth, kUdInterleave,
    kUdHostInterface, kUdSocket, kUdSpiInterface, kUserDeviceFields
};

struct UserDevice {
    std::string field[kUserDeviceFields];
};

// The file line of a device: every field followed by a comma. Empty when a field holds a comma or a
// line end, or the name or ID is empty: such a line could not be read back as the same device.
std::string FormatUserDeviceLine(const UserDevice& d);
// A device line; false with the reason when it does not have the eleven fields, an empty name or ID,
// or a type other than NOR, Veltan or SPI.
bool ParseUserDeviceLine(const std::string& line, UserDevice& d, std::string* reason);

struct RefusedUserLine {
    int fileLine;        // from 1
    std::string reason;
};

// Creates the file with its header when it does not exist; an existing file is never touched.
bool EnsureUserDeviceFile(const std::string& path, std::string* error);

// Reads every good device line in file order. A malformed line, an over-long line and a second line
// with a name already seen (without regard to case) are left out and listed in `refused`.
bool ReadUserDevices(const std::string& path, std::vector<UserDevice>& devices,
                     std::vector<RefusedUserLine>& refused);

// Takes a user device into the settings record; 0 when every field is valid, else -1, with the
// fields that match no option left at 0. `deviceBytes` receives the chosen size (0 when none).
int ApplyUserDevice(const UserDevice& d, DeviceSettings& s, uint32_t& deviceBytes);

}  // namespace rook
