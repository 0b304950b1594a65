// The device catalogue: the flash parts Tarn-Rook knows by name, as data. One row per part (its ID,
// command type, protection, boot layout, shape, and the SPI or NAND values), the family codes of each
// device class, and the lookup that presets the Predefined List page and the settings record from a row.
// The simulator's chip models are made from the same rows (catalogue_sim.h), so a part the lookup
// lists always has a chip that answers with its identity and geometry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings.h"

namespace rook {

// Family codes ("Device Group") per device class, in page order, each list ending with "".
extern const char* const kNorFamilies[11];
extern const char* const kNandFamilies[3];
extern const char* const kSpiFamilies[3];
// The family list of a device class (1 NOR, 2 NAND, 3 SPI), or null.
const char* const* FamiliesOf(int deviceClass);

// The part names of a family (matched without regard to case), in table order; empty when unknown.
std::vector<std::string> PartNamesOf(int deviceClass, const std::string& family);

struct NorRegion {
    uint32_t count;
    uint32_t bytes;
};

struct NorCatalogueRow {
    const char* family;
    const char* name;
    uint32_t id;                 // the three autoselect ID bytes, first byte highest
    int8_t deviceType;           // 1 legacy, 2 reduced command set
    int8_t olderGeneration;      // the older Brae parts: protection scheme 32
    int8_t bootArrangement;      // 3: top boot sectors, the chip lists its CFI regions top first
    int8_t hostRadio;            // the page's interface by part (Yarl): 0 ADP, 1 ADM, 2 AADM; -1 the family's
    uint8_t dies;                // 1 or 2
    uint32_t secondDieBit;       // the byte-address bit that selects the second die; 0: it sits behind chip select 1
    uint8_t bufferExp;           // write buffer of 2^n bytes
    NorRegion regions[4];        // one die, in address order
    const char* cfi[9];          // predefined CFI texts, or none
};

struct NandCatalogueRow {
    const char* family;
    const char* name;
    uint32_t code;               // manufacturer byte and device code (three bytes on some parts)
    bool x16;
    bool secondGeneration;       // variant 1001: twice the spare area
};

struct SpiCatalogueRow {
    const char* family;
    const char* name;
    uint32_t id;                 // three ID bytes
    int32_t spiFamily;
    SpiParameters spi;
    int32_t extendedId;
    int32_t deviceCodeOverride;
    const char* cfi[9];
    bool noCfiInId;              // the ID answer carries no CFI: the catalogue's CFI describes the part
};

const std::vector<NorCatalogueRow>& NorCatalogue();
const std::vector<NandCatalogueRow>& NandCatalogue();
const std::vector<SpiCatalogueRow>& SpiCatalogue();

// Bytes of one die of a NOR row.
uint32_t NorDieBytes(const NorCatalogueRow& row);
// The supply its family runs from, in mV.
int NorSupplyMv(const NorCatalogueRow& row);

// The Predefined List page's settings that a lookup presets: radio indexes (-1 none), the supply, and
// whether the catalogue lists the part.
struct PageChoices {
    std::string family;          // the chosen family code; the lookup reads it
    int busWidth = 1;            // 0 x8, 1 x16, 2 x32
    int interleave = 0;          // 0 x1, 1 x2, 2 x4
    int chipSelect = 0;          // 0..3
    int spiInterface = -1;       // 0 single, 1 dual, 2 quad
    int hostInterface = 0;       // 0 ADP, 1 ADM, 2 AADM
    int supplyPreset = 0;        // 0 1.8 V, 1 2.5 V, 2 3.3 V
    int supplyMv = 1800;
    int found = -1;              // 0 listed, -1 not
    int savedSupplyPreset = 0;
    int savedSupplyMv = 1800;
};

// Dispatches on s.deviceClass (1 NOR, 2 NAND, 3 SPI); answers the part's expected ID (NAND: its device
// code, 0 for an unknown family) or -1 when the catalogue does not list it. Any other class answers -1
// and changes nothing.
int32_t LookupPredefinedDevice(const std::string& name, PageChoices& page, DeviceSettings& s);

// Writes predefined CFI texts into the user CFI record (unless the user's own CFI is on) and sets the
// predefined-CFI flag.
void SetPredefinedGeometry(DeviceSettings& s, const char* const texts[9]);

// The NAND geometry of a device code in the first (variant 8) or second (1001) generation; false for a
// code the table does not hold.
bool NandGeometryFor(uint32_t code, int variant, NandGeometry& g);

// The nine user CFI texts ("Command Set ID" .. "Boot Sector Flag", C numbers: 0x hex, leading 0 octal,
// else decimal; what is not a number reads as 0) as a CFI record and the device size in bytes. False,
// with a message naming the field, when a value cannot be what it stands for: a size exponent above 31,
// a write exponent above 15, more than four regions, a number wider than its field.
bool ParseUserCfi(const std::string texts[9], CfiRecord& cfi, uint32_t& deviceBytes, std::string* error);

}  // namespace rook
