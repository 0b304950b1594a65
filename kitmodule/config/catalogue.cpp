#include "catalogue.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_parser.h"

namespace rook {

const char* const kNorFamilies[11] = {"Oska", "Tesk", "Hume", "Rask", "Brae", "Cald", "Dorn", "Fenn", "Mure", "Yarl", ""};
const char* const kNandFamilies[3] = {"Quill", "Wyle", ""};
const char* const kSpiFamilies[3] = {"Ivor", "Lusk", ""};

const char* const* FamiliesOf(int deviceClass) {
    switch (deviceClass & 0xFF) {
    case kClassNor: return kNorFamilies;
    case kClassVeltan: return kNandFamilies;
    case kClassSpi: return kSpiFamilies;
    default: return nullptr;
    }
}

std::vector<std::string> PartNamesOf(int deviceClass, const std::string& family) {
    std::vector<std::string> names;
    auto take = [&](const auto& rows) {
        for (const auto& r : rows)
            if (EqualNoCase(r.family, family)) names.push_back(r.name);
    };
    switch (deviceClass & 0xFF) {
    case kClassNor: take(NorCatalogue()); break;
    case kClassVeltan: take(NandCatalogue()); break;
    case kClassSpi: take(SpiCatalogue()); break;
    default: break;
    }
    return names;
}

uint32_t NorDieBytes(const NorCatalogueRow& row) {
    uint32_t bytes = 0;
    for (const NorRegion& r : row.regions) bytes += r.count * r.bytes;
    return bytes;
}

namespace {

// Three ID bytes as the engine reads them: a first byte of 0x80 or more comes widened with ones above it.
int32_t WidenedId(uint32_t id) {
    return static_cast<int32_t>((id & 0x800000u) ? (id | 0xFF000000u) : id);
}

template <class Row>
const Row* FindRow(const std::vector<Row>& rows, const std::string& family, const std::string& name) {
    for (const Row& r : rows)
        if (EqualNoCase(r.family, family) && EqualNoCase(r.name, name)) return &r;
    return nullptr;
}

bool HasCfi(const char* const texts[9]) { return texts[0] != nullptr; }

void SetSupply(PageChoices& page, int mv, int preset) {
    page.supplyMv = mv;
    page.supplyPreset = preset;
}

void SaveSupply(PageChoices& page) {
    page.savedSupplyPreset = page.supplyPreset;
    page.savedSupplyMv = page.supplyMv;
}

// What each NOR family presets on the page, and its protection scheme number.
struct NorFamily {
    const char* code;
    int32_t protection;
    int hostRadio;      // 0 ADP, 1 ADM, 2 AADM; the Yarl rows give their own
    int supplyMv;
    bool cfiAtQueryAddress;
};

// In the order the lookup compares them.
const NorFamily kNorFamilyDefaults[] = {
    {"Oska", 0, 0, 3300, true},  {"Tesk", 2, 0, 3300, true},  {"Rask", 3, 0, 3300, true},  {"Hume", 4, 0, 1800, true},
    {"Brae", 1, 0, 3300, false}, {"Cald", 8, 0, 1800, false}, {"Dorn", 9, 1, 1800, false}, {"Fenn", 10, 1, 1800, false},
    {"Mure", 11, 2, 1800, false}, {"Yarl", 16, 0, 1800, false},
};

int32_t LookupNorFamilyPart(const NorFamily& f, const std::string& name, PageChoices& page, DeviceSettings& s) {
    page.busWidth = 1;
    page.interleave = -1;
    page.chipSelect = 0;
    page.spiInterface = -1;
    page.hostInterface = f.hostRadio;
    SetSupply(page, f.supplyMv, f.supplyMv == 3300 ? 2 : 0);
    page.found = 0;
    if (f.cfiAtQueryAddress) s.cfiQueryAddressSwitch = 1;

    const NorCatalogueRow* row = FindRow(NorCatalogue(), f.code, name);
    const bool yarl = std::strcmp(f.code, "Yarl") == 0, brae = std::strcmp(f.code, "Brae") == 0;
    if (!row) {
        if (!brae) s.deviceType = kTypeNone;
        if (!yarl) page.found = -1;
        if (f.cfiAtQueryAddress) s.cfiQueryAddressSwitch = 0;
        return -1;
    }
    s.deviceType = row->deviceType;
    if (row->olderGeneration) s.protectionScheme = 32;
    s.bootSectorArrangement = row->bootArrangement;
    if (row->hostRadio >= 0) page.hostInterface = row->hostRadio;
    if (std::strcmp(f.code, "Mure") == 0) s.hostInterface = 3;
    if (HasCfi(row->cfi)) SetPredefinedGeometry(s, row->cfi);
    return WidenedId(row->id);
}

int32_t LookupNorPart(const std::string& name, PageChoices& page, DeviceSettings& s) {
    s.deviceType = kTypeLegacyNor;
    s.cfiQueryAddressSwitch = 0;
    s.bootSectorArrangement = 0;
    int32_t result = -1;
    const NorFamily* family = nullptr;
    for (const NorFamily& f : kNorFamilyDefaults)
        if (!family && EqualNoCase(f.code, page.family)) family = &f;
    if (family) {
        s.protectionScheme = family->protection;
        result = LookupNorFamilyPart(*family, name, page, s);
    } else {
        page.found = -1;
    }
    if (result == -1) s.protectionScheme = -1;
    SaveSupply(page);
    return result;
}

int32_t LookupNandPart(const std::string& name, PageChoices& page, DeviceSettings& s) {
    s.nand = NandGeometry{};
    int variant = 0;
    int32_t code = 0;
    const bool wyle = EqualNoCase(page.family, "Wyle"), quill = EqualNoCase(page.family, "Quill");
    if (wyle || quill) {
        s.deviceType = kTypeNand;
        page.interleave = 0;
        page.chipSelect = 0;
        page.spiInterface = -1;
        page.hostInterface = 0;
        page.found = 0;
        variant = 8;
        if (wyle) SetSupply(page, 1800, 0);
        else SetSupply(page, 3000, 2);
        const NandCatalogueRow* row = FindRow(NandCatalogue(), page.family, name);
        if (row) {
            page.busWidth = row->x16 ? 1 : 0;
            if (row->secondGeneration) variant = 1001;
            code = static_cast<int32_t>(row->code);
        } else {
            s.deviceType = kTypeNone;
            page.found = -1;
            code = -1;
        }
    }
    NandGeometry g;
    if (code > 0 && NandGeometryFor(static_cast<uint32_t>(code), variant, g)) s.nand = g;
    else page.found = -1;
    SaveSupply(page);
    return code;
}

int32_t LookupSpiFamilyPart(const std::string& name, PageChoices& page, DeviceSettings& s) {
    page.busWidth = 0;
    page.interleave = 0;
    page.chipSelect = 0;
    page.hostInterface = 0;
    page.spiInterface = 0;
    SetSupply(page, 3300, 2);
    page.found = 0;
    s.predefinedCfi = 0;
    s.spi.registerMask = 0;
    const SpiCatalogueRow* row = FindRow(SpiCatalogue(), page.family, name);
    if (!row) {
        s.deviceType = kTypeNone;
        s.deviceCodeOverride = 0;
        return -1;
    }
    s.spiFamily = row->spiFamily;
    s.spi = row->spi;
    s.spiExtendedId = row->extendedId;
    s.deviceCodeOverride = row->deviceCodeOverride;
    if (row->noCfiInId) s.deviceClass |= kNoCfiMark;
    else s.deviceClass &= ~kNoCfiMark;
    if (HasCfi(row->cfi)) SetPredefinedGeometry(s, row->cfi);
    return WidenedId(row->id);
}

int32_t LookupSpiPart(const std::string& name, PageChoices& page, DeviceSettings& s) {
    s.deviceType = kTypeSpi;
    s.spiFamily = -1;
    s.deviceCodeOverride = 0;
    int32_t result = -1;
    if (EqualNoCase(page.family, "Ivor") || EqualNoCase(page.family, "Lusk")) result = LookupSpiFamilyPart(name, page, s);
    if (result == -1) page.found = -1;
    SaveSupply(page);
    return result;
}

}  // namespace

int NorSupplyMv(const NorCatalogueRow& row) {
    for (const NorFamily& f : kNorFamilyDefaults)
        if (EqualNoCase(f.code, row.family)) return f.supplyMv;
    return 0;
}

int32_t LookupPredefinedDevice(const std::string& name, PageChoices& page, DeviceSettings& s) {
    switch (s.deviceClass & 0xFF) {
    case kClassNor: return LookupNorPart(name, page, s);
    case kClassVeltan: return LookupNandPart(name, page, s);
    case kClassSpi: return LookupSpiPart(name, page, s);
    default: return -1;
    }
}

bool NandGeometryFor(uint32_t code, int variant, NandGeometry& g) {
    struct Shape {
        uint32_t blocks, page, spare, bits, rowCycles;
    };
    auto in = [code](std::initializer_list<uint32_t> codes) {
        for (uint32_t c : codes)
            if (c == code) return true;
        return false;
    };
    Shape shape{};
    bool known = true;
    if (variant == 1001) {
        if (in({0x1AA, 0x1DA})) shape = {2048, 2048, 128, 8, 1};
        else if (in({0x1AC, 0x1DC})) shape = {4096, 2048, 128, 8, 1};
        else if (in({0x1BC, 0x1CC})) shape = {4096, 1024, 64, 16, 1};
        else if (in({0x1BA, 0x1CA})) shape = {2048, 1024, 64, 16, 1};
        // The 8-Gbit x8 part keeps its size and its x8 page: 8192 blocks of 2048 + 128 bytes.
        else if (in({0x1D3})) shape = {8192, 2048, 128, 8, 1};
        else known = false;
    } else {
        if (in({0x181, 0x18100, 0x18101, 0x19100, 0x19101})) shape = {512, 2048, 64, 8, 0};
        else if (in({0x191})) shape = {512, 1024, 32, 16, 0};
        else if (in({0x1A1, 0x1F1, 0x1A100, 0x1A101})) shape = {1024, 2048, 64, 8, 0};
        else if (in({0x1B1, 0x1C1, 0x1B100, 0x1B101})) shape = {1024, 1024, 32, 16, 0};
        else if (in({0x1AA, 0x1DA})) shape = {2048, 2048, 64, 8, 1};
        else if (in({0x1BA, 0x1CA})) shape = {2048, 1024, 32, 16, 1};
        else if (in({0x1AC, 0x1DC})) shape = {4096, 2048, 64, 8, 1};
        else if (in({0x1BC, 0x1CC})) shape = {4096, 1024, 32, 16, 1};
        else if (in({0x1D3})) shape = {8192, 2048, 64, 8, 1};
        else known = false;
    }
    g = NandGeometry{};
    if (!known) return false;
    g.pageSize = shape.page;
    g.spareSize = shape.spare;
    g.blockBytes = 128 * 1024;
    g.blockCount = shape.blocks;
    g.pagesPerBlock = 64;
    g.busBits = shape.bits;
    g.dataPageSize = shape.page;
    g.rowCycles = shape.rowCycles;
    if (in({0x1A1, 0x1AA, 0x1AC, 0x1B1, 0x1BA, 0x1BC, 0x1C1, 0x1CA, 0x1CC, 0x1D3, 0x1DA, 0x1DC, 0x1F1})) g.idKind = 2;
    else if (in({0x1A100, 0x1A101, 0x1B100, 0x1B101})) g.idKind = 3;
    return true;
}

void SetPredefinedGeometry(DeviceSettings& s, const char* const texts[9]) {
    if (!s.useUserCfi) {
        std::string values[9];
        for (int i = 0; i < 9; ++i) values[i] = texts[i] ? texts[i] : "";
        CfiRecord cfi;
        uint32_t bytes = 0;
        // The catalogue's own texts always parse; a refused one would leave the record cleared.
        if (!ParseUserCfi(values, cfi, bytes, nullptr)) cfi = CfiRecord{}, bytes = 0;
        s.userCfi = cfi;
        s.userCfiDeviceBytes = bytes;
    }
    s.predefinedCfi = 1;
}

bool ParseUserCfi(const std::string texts[9], CfiRecord& cfi, uint32_t& deviceBytes, std::string* error) {
    static const char* const kNames[9] = {
        "Primary Vendor Command Set ID", "Device Size", "Maximum number of bytes in write", "Number of Erase Block Regions",
        "1st entry of Erase Block Region Information", "2nd entry of Erase Block Region Information",
        "3rd entry of Erase Block Region Information", "4th entry of Erase Block Region Information",
        "Top/Bottom Boot Sector Flag"};
    // The largest value each field can stand for.
    static const unsigned long long kLimits[9] = {0xFFFF, 31, 15, 4, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    unsigned long long v[9];
    for (int i = 0; i < 9; ++i) {
        errno = 0;
        v[i] = std::strtoull(texts[i].c_str(), nullptr, 0);
        // A minus sign would wrap around to a huge number: that is no value of any field.
        bool negative = texts[i].find('-') != std::string::npos && v[i] != 0;
        if (errno == ERANGE || negative || v[i] > kLimits[i]) {
            if (error) {
                char text[256];
                std::snprintf(text, sizeof text, "User CFI: %s \"%s\" is out of range (0 to %llu).", kNames[i],
                              texts[i].c_str(), kLimits[i]);
                *error = text;
            }
            return false;
        }
    }
    cfi = CfiRecord{};
    cfi.primaryCommandSet = static_cast<uint16_t>(v[0]);
    cfi.addressMultiplier = 1;
    cfi.deviceSizeExponent = static_cast<uint8_t>(v[1]);
    deviceBytes = 1u << v[1];
    cfi.maxBufferBytes = static_cast<uint16_t>(1u << v[2]);
    cfi.regionCount = static_cast<uint8_t>(v[3]);
    for (int r = 0; r < 4; ++r) {
        cfi.regions[r].blockSize256 = static_cast<uint16_t>(v[4 + r] >> 16);
        cfi.regions[r].blocksMinus1 = static_cast<uint16_t>(v[4 + r] & 0xFFFF);
    }
    cfi.bootSectorFlag = static_cast<uint8_t>(v[8] & 0xFF);
    return true;
}

}  // namespace rook
