#include "settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace rook {

uint32_t SpiJedecId(uint8_t first, uint8_t second, uint8_t third) {
    auto widened = [](uint8_t b) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(b))); };
    return (widened(first) << 16) | (widened(second) << 8) | widened(third);
}

void RestoreDefaults(DeviceSettings& s) {
    DeviceSettings d;
    d.expectedJedecId = s.expectedJedecId;
    std::memcpy(d.chipSelectMap, s.chipSelectMap, sizeof d.chipSelectMap);
    d.chipSelectMapInUse = s.chipSelectMapInUse;
    s = d;
}

namespace {

std::string Trim(const std::string& t) {
    size_t b = t.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = t.find_last_not_of(" \t\r\n");
    return t.substr(b, e - b + 1);
}

bool Number(const std::string& text, int32_t* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno || *end || v < INT32_MIN || v > UINT32_MAX) return false;
    *out = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

// "count:size256" pairs joined by ',': the user CFI's erase regions (blocks, block size in 256 bytes).
bool UserCfiRegions(const std::string& text, DeviceSettings& s) {
    CfiRecord cfi = s.userCfi;
    uint8_t n = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        start = comma == std::string::npos ? text.size() + 1 : comma + 1;
        size_t colon = item.find(':');
        int32_t count = 0, size = 0;
        if (n == 4 || colon == std::string::npos || !Number(Trim(item.substr(0, colon)), &count) ||
            !Number(Trim(item.substr(colon + 1)), &size) || count < 1 || count > 0x10000 || size < 1 || size > 0xFFFF)
            return false;
        cfi.regions[n].blocksMinus1 = static_cast<uint16_t>(count - 1);
        cfi.regions[n].blockSize256 = static_cast<uint16_t>(size);
        ++n;
    }
    for (uint8_t i = n; i < 4; ++i) cfi.regions[i] = EraseRegion{};
    cfi.regionCount = n;
    s.userCfi = cfi;
    return true;
}

bool ChipSelectMap(const std::string& text, DeviceSettings& s) {
    ChipSelectMapEntry map[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        size_t comma = text.find(',', start);
        if ((comma == std::string::npos) != (i == 3)) return false;
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t colon = item.find(':');
        if (colon == std::string::npos) return false;
        if (!Number(Trim(item.substr(0, colon)), &map[i].positionCode) ||
            !Number(Trim(item.substr(colon + 1)), &map[i].sizeCode))
            return false;
        if (map[i].positionCode < 0 || map[i].positionCode > 6 || map[i].sizeCode < 0 || map[i].sizeCode > 16)
            return false;
        start = comma + 1;
    }
    std::memcpy(s.chipSelectMap, map, sizeof map);
    s.chipSelectMapInUse = 1;
    return true;
}

}  // namespace

bool ApplyPreset(const std::string& text, DeviceSettings& out, std::string* error) {
    static const struct {
        const char* name;
        int32_t DeviceSettings::*field;
    } kFields[] = {
        {"class", &DeviceSettings::deviceClass},
        {"type", &DeviceSettings::deviceType},
        {"bus", &DeviceSettings::busWidthBits},
        {"interleave", &DeviceSettings::interleave},
        {"cs", &DeviceSettings::chipSelect},
        {"socket", &DeviceSettings::socketType},
        {"vcc", &DeviceSettings::vccMillivolts},
        {"jedec", &DeviceSettings::expectedJedecId},
        {"minfw", &DeviceSettings::minUsbFirmwareVersion},
        {"writebuffer", &DeviceSettings::writeBufferBytes},
        {"noWriteBuffer", &DeviceSettings::noWriteBuffer},
        {"checkProtection", &DeviceSettings::checkSectorProtection},
        {"dataSwap", &DeviceSettings::dataSwap},
        {"programTimeout", &DeviceSettings::programTimeoutMs},
        {"eraseTimeout", &DeviceSettings::eraseTimeoutMs},
        {"chipEraseTimeout", &DeviceSettings::chipEraseTimeoutMs},
        {"cfiAtQuery", &DeviceSettings::cfiQueryAddressSwitch},
        {"bootArrangement", &DeviceSettings::bootSectorArrangement},
        {"protectionScheme", &DeviceSettings::protectionScheme},
        {"forceFpga", &DeviceSettings::forceFpgaDownload},
        {"userCfi", &DeviceSettings::useUserCfi},
        {"predefinedCfi", &DeviceSettings::predefinedCfi},
        {"spiFamily", &DeviceSettings::spiFamily},
        {"spiIo", &DeviceSettings::spiIoMode},
        {"spiExtendedId", &DeviceSettings::spiExtendedId},
        {"deviceCodeOverride", &DeviceSettings::deviceCodeOverride},
        {"force4Byte", &DeviceSettings::force4ByteAddress},
        {"forceP8E", &DeviceSettings::forceP8E},
        {"force80MHz", &DeviceSettings::force80MHzSck},
    };
    static const struct {
        const char* name;
        uint32_t SpiParameters::*field;
    } kSpiFields[] = {
        {"spiPage", &SpiParameters::pageBytes},
        {"spiExtendedIdBytes", &SpiParameters::extendedIdBytes},
        {"spiRegisters", &SpiParameters::registerMask},
    };
    static const struct {
        const char* name;
        uint32_t NandGeometry::*field;
    } kNandFields[] = {
        {"nandPage", &NandGeometry::pageSize},
        {"nandSpare", &NandGeometry::spareSize},
        {"nandBlockBytes", &NandGeometry::blockBytes},
        {"nandBlocks", &NandGeometry::blockCount},
        {"nandPagesPerBlock", &NandGeometry::pagesPerBlock},
        {"nandRowCycle", &NandGeometry::rowCycles},
        {"nandIdKind", &NandGeometry::idKind},
        {"nandMarker", &NandGeometry::badBlockMarker},
    };
    DeviceSettings s = out;
    std::string all = text;
    for (char& c : all)
        if (c == '\n') c = ';';
    size_t start = 0;
    while (start <= all.size()) {
        size_t semi = all.find(';', start);
        std::string item = Trim(all.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
        start = semi == std::string::npos ? all.size() + 1 : semi + 1;
        if (item.empty()) continue;
        size_t eq = item.find('=');
        bool ok = eq != std::string::npos;
        if (ok) {
            std::string name = Trim(item.substr(0, eq)), value = Trim(item.substr(eq + 1));
            ok = false;
            int32_t v = 0;
            if (name == "csmap") {
                ok = ChipSelectMap(value, s);
            } else if (name == "cfiRegions") {
                ok = UserCfiRegions(value, s);
            } else if (name == "cfiSize") {
                ok = Number(value, &v) && v > 0;
                s.userCfiDeviceBytes = static_cast<uint32_t>(v);
            } else if (name == "cfiBuffer") {
                ok = Number(value, &v) && v >= 0 && v <= 0xFFFF;
                s.userCfi.maxBufferBytes = static_cast<uint16_t>(v);
            } else {
                for (const auto& f : kFields)
                    if (name == f.name) ok = Number(value, &(s.*f.field));
                for (const auto& f : kNandFields)
                    if (name == f.name && (ok = Number(value, &v))) s.nand.*f.field = static_cast<uint32_t>(v);
                for (const auto& f : kSpiFields) {
                    if (name != f.name) continue;
                    ok = Number(value, &v) && v >= 0;
                    s.spi.*f.field = static_cast<uint32_t>(v);
                    if (name == "spiPage") s.spi.pageMask = s.spi.pageBytes - 1;
                }
            }
        }
        if (!ok) {
            if (error) *error = item;
            return false;
        }
    }
    out = s;
    return true;
}

}  // namespace rook
