// Firmware images the kit control loads: boot images of the kit's USB controller (RAM records
// behind an 8-byte header) and FPGA on-the-fly images (optional CRC prefix, a header record with
// the image version, then the configuration payload). Every length is checked against the image.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lx {
namespace fw {

enum FwError {
  FW_OK = 0,
  FW_TRUNCATED,      // a length points past the end of the image
  FW_CRC_MISMATCH,
  FW_BAD_VERSION,    // version text unreadable or newer than supported
  FW_TOO_SMALL,      // payload shorter than one block
  FW_TOO_LARGE,      // more than the target holds
  FW_BAD_ADDRESS,    // a record that does not start in the controller's RAM
  FW_BAD_HEADER,     // not the boot header the controller's loader looks for
  FW_BAD_END,        // the image does not end with the record that starts the CPU
  FW_EARLY_END,      // a record before the last one carries the end flag
};
const char* FwErrorText(int error);

constexpr char kSupportedFpgaVersion[] = "2.0.0";
constexpr size_t kFpgaBlock = 512;
constexpr size_t kMaxFpgaImage = 16u * 1024u * 1024u;
constexpr size_t kMaxBootImage = 0x10000;  // raw EEPROM writes carry a 16-bit offset
constexpr size_t kHelperFirmwareSize = 4504;

// CRC-16 of the on-the-fly image: bytes bit-reversed, reflected polynomial 0xA001 by nibbles,
// initial value 0.
uint16_t OnTheFlyCrc(const uint8_t* data, size_t n);

struct OnTheFlyImage {
  bool hasCrc = false;
  uint16_t crc = 0;
  std::string version;  // empty when the header record is not a version record
  size_t payloadOffset = 0, payloadLength = 0;
};
int ParseOnTheFly(const uint8_t* image, size_t n, OnTheFlyImage* out);

// Compares dotted decimal versions part by part (missing parts count as 0). False when either
// text is not such a version.
bool CompareVersions(const std::string& a, const std::string& b, int* result);

struct BootRecord {
  uint16_t address = 0;
  size_t offset = 0;   // of the data in the image
  uint16_t length = 0;
};
// The controller's RAM as its boot loader writes it: program and data RAM, and the scratch RAM.
// A record must start in one of them but may run on past its end, up to the top of the address
// space: the maker's converter writes such records, and the boot loader takes the write and
// loses the bytes that fall on reserved addresses.
constexpr uint32_t kControllerRamEnd = 0x4000;
constexpr uint32_t kScratchRamBegin = 0xE000, kScratchRamEnd = 0xE200;
constexpr uint32_t kAddressSpaceEnd = 0x10000;
// Records between the 8-byte header and the final 5-byte record (which is not loaded). The whole
// image is checked: the header's 0xC2, every record starting inside the controller's RAM and
// lying inside the image, records ending exactly where the final record begins, and that final
// record being the one that releases the CPU (end flag, one byte to 0xE600). Anything else is
// not a boot image.
int ParseBootImage(const uint8_t* image, size_t n, std::vector<BootRecord>* records);

// The EEPROM writer firmware loaded into the controller's RAM before its EEPROM is written.
const std::vector<uint8_t>& HelperFirmware();

}  // namespace fw
}  // namespace lx
