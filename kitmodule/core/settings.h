// DeviceSettings: the module's one configuration record (which chip sits in which socket and how it
// is driven), with the defaults every open restores, and the preset text that fills it where no
// configuration sheet is shown.
#pragma once
#include <cstdint>
#include <string>

namespace rook {

struct EraseRegion {
    uint16_t blockSize256;   // block size in 256-byte units
    uint16_t blocksMinus1;   // number of blocks minus one
};

// The chip's CFI data as the module keeps it (also the layout of the user's own CFI values).
struct CfiRecord {
    uint16_t primaryCommandSet = 0;
    uint16_t alternateCommandSet = 0;
    uint32_t addressMultiplier = 0;
    uint8_t deviceSizeExponent = 0;
    uint16_t interfaceCode = 0;
    uint16_t maxBufferBytes = 0;
    uint8_t regionCount = 0;
    EraseRegion regions[4] = {};
    char majorVersion = 0;
    char minorVersion = 0;
    uint8_t eraseSuspend = 0;
    uint8_t bootSectorFlag = 0;
    uint8_t programSuspend = 0;
    uint8_t bankCount = 0;
    uint8_t bankRegions[16] = {};
};

struct ChipSelectMapEntry {
    int32_t positionCode = 0;  // 1-6
    int32_t sizeCode = 0;      // window of 2^(n-1) x 128 KiB, 0 for none
};

// The SPI part's layout and register set, as the catalogue gives it.
struct SpiParameters {
    uint32_t pageBytes = 0;       // 256 or 512
    uint32_t pageMask = 0;        // pageBytes - 1
    uint32_t sectorCount = 0;
    uint32_t sectorBytes = 0;     // 4 KiB, 64 KiB or 256 KiB
    uint32_t extendedIdBytes = 0; // bytes read after the three-byte ID (0 or 2)
    uint32_t registerMask = 0;    // register capabilities
    uint32_t mode = 0;            // 3, 4 or 5
    uint32_t flag = 0;
};

// The NAND part's page and block layout, as the catalogue gives it (page and spare sizes in bytes on
// x8 parts, in 16-bit words on x16 parts).
struct NandGeometry {
    uint32_t pageSize = 0;
    uint32_t spareSize = 0;
    uint32_t blockBytes = 0;
    uint32_t blockCount = 0;
    uint32_t pagesPerBlock = 0;
    uint32_t busBits = 0;
    uint32_t dataPageSize = 0;
    uint32_t rowCycles = 0;       // 1: the larger parts' extra row cycle
    uint32_t idKind = 0;          // 0, 2 or 3: the ID bytes that make the JEDEC ID (0 reads two)
    uint32_t badBlockMarker = 0;  // byte of the spare area that marks a bad block
};

enum DeviceClass : int32_t { kClassNone = 0, kClassNor = 1, kClassVeltan = 2, kClassSpi = 3 };
enum DeviceType : int32_t { kTypeNone = 0, kTypeLegacyNor = 1, kTypeReducedNor = 2, kTypeNand = 3, kTypeSpi = 4 };
constexpr int32_t kNoCfiMark = 0x100;  // bit 8 of deviceClass: an SPI part without CFI

struct DeviceSettings {
    // Device choice.
    int32_t deviceClass = 0;
    int32_t deviceType = 0;
    int32_t busWidthBits = 0;
    int32_t interleave = 1;
    int32_t chipSelect = 1;          // a mask: 1 CS0, 2 CS1, 4 CS2, 8 CS3
    int32_t hostInterface = 0;
    int32_t spiIoMode = 0;
    int32_t socketType = 1;
    int32_t vccMillivolts = 1200;
    int32_t expectedJedecId = -1;    // not restored at an open
    int32_t configured = 0;
    // From the catalogue.
    int32_t protectionScheme = -1;
    int32_t bootSectorArrangement = 0;
    int32_t cfiQueryAddressSwitch = 0;
    int32_t spiFamily = -1;
    int32_t spiExtendedId = 0;
    int32_t deviceCodeOverride = 0;
    int32_t predefinedCfi = 0;
    // 1: the part comes from the user's own list, so nothing is known of its status bits.
    int32_t userDevice = 0;
    SpiParameters spi;
    NandGeometry nand;
    // Operation setup.
    int32_t programTimeoutMs = -1;
    int32_t eraseTimeoutMs = -1;
    int32_t chipEraseTimeoutMs = -1;
    int32_t writeBufferBytes = 0;
    int32_t dataSwap = 0;
    int32_t noWriteBuffer = 0;
    int32_t checkSectorProtection = 0;
    int32_t forceP8E = 0;
    int32_t force4ByteAddress = 0;
    int32_t force80MHzSck = 0;
    int32_t useUserCfi = 0;
    CfiRecord userCfi;
    uint32_t userCfiDeviceBytes = 0;
    // Chip-select map (kept across opens).
    ChipSelectMapEntry chipSelectMap[4];
    uint8_t chipSelectMapInUse = 0;
    // Kit and unit values.
    int32_t memoryType = -1;
    int32_t forceFpgaDownload = 1;
    int32_t unitFirmwareVersion = -1;
    int32_t cpldVersion = -1;
    int32_t minUsbFirmwareVersion = 0;
    uint32_t baseAddress = 0;
    uint32_t windowSize = 0;
};

// The JEDEC ID the first three bytes of an SPI chip's ID answer give: each byte is widened as a
// signed byte, so one of 0x80 or more fills the bits above it with ones (EF 40 16 gives 0xFFEF4016).
// Expected IDs of SPI parts are kept in this form so that they compare equal to what is read.
uint32_t SpiJedecId(uint8_t first, uint8_t second, uint8_t third);

// Restores what every open starts from; the expected JEDEC ID and the chip-select map stay.
void RestoreDefaults(DeviceSettings& s);

// Applies a preset: "name=value" items separated by ';' or new lines, numbers in decimal or with
// 0x. Names: class, type, bus, interleave, cs, socket, vcc, jedec, minfw, writebuffer, noWriteBuffer,
// checkProtection, dataSwap, programTimeout, eraseTimeout, chipEraseTimeout, cfiAtQuery,
// bootArrangement, protectionScheme, forceFpga, csmap (four "position:size" pairs joined by ','),
// the user CFI: userCfi (on/off), cfiSize (device bytes), cfiBuffer (write buffer bytes),
// cfiRegions (up to four "blocks:size in 256 bytes" pairs joined by ','), and the NAND geometry
// nandPage, nandSpare (bus words), nandBlockBytes, nandBlocks, nandPagesPerBlock, nandRowCycle
// (1: three row cycles), nandIdKind, nandMarker; predefinedCfi (1: the user CFI values are the
// catalogue's predefined geometry); and for SPI parts: spiFamily, spiIo, spiExtendedId,
// deviceCodeOverride, force4Byte, forceP8E, force80MHz, spiPage, spiExtendedIdBytes, spiRegisters
// (the register capability mask).
// Returns false, with the offending item in *error, for an unknown name or a bad number; the
// record is only changed when the whole text is good.
bool ApplyPreset(const std::string& text, DeviceSettings& s, std::string* error);

}  // namespace rook
