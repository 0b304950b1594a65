// The options record: one flat 3,080-byte block kept byte for byte in "setup.ini".
// Portable: no Windows headers, so the layout and the sanitising rules are tested natively.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lx {

constexpr size_t kOptionsRecordSize = 3080;
constexpr size_t kOptionsPathSize = 512;

enum DeviceKindValue : int8_t {
  kDeviceKindNand = 0,
  kDeviceKindNor = 1,
  kDeviceKindSpi = 2,
  kDeviceKindOstra2 = 3,
};

#pragma pack(push, 1)
struct OptionsRecord {
  uint32_t ConfirmOperations;
  char FsLibraryPath[kOptionsPathSize];
  int8_t DeviceKind;
  uint8_t WindowSizeIndex;
  char NorDriverPath[kOptionsPathSize];
  char VeltanDriverPath[kOptionsPathSize];
  char VyrModulePath[kOptionsPathSize];
  uint8_t VyrWithoutFsLibrary;
  char ExplorerPath[kOptionsPathSize];
  char EditorPath[kOptionsPathSize];
  uint8_t Padding;
};
#pragma pack(pop)

static_assert(sizeof(OptionsRecord) == kOptionsRecordSize, "setup.ini holds exactly this record");
static_assert(offsetof(OptionsRecord, FsLibraryPath) == 4, "layout");
static_assert(offsetof(OptionsRecord, DeviceKind) == 516, "layout");
static_assert(offsetof(OptionsRecord, WindowSizeIndex) == 517, "layout");
static_assert(offsetof(OptionsRecord, NorDriverPath) == 518, "layout");
static_assert(offsetof(OptionsRecord, VeltanDriverPath) == 1030, "layout");
static_assert(offsetof(OptionsRecord, VyrModulePath) == 1542, "layout");
static_assert(offsetof(OptionsRecord, VyrWithoutFsLibrary) == 2054, "layout");
static_assert(offsetof(OptionsRecord, ExplorerPath) == 2055, "layout");
static_assert(offsetof(OptionsRecord, EditorPath) == 2567, "layout");
static_assert(offsetof(OptionsRecord, Padding) == 3079, "layout");

// Fills the record from the bytes of "setup.ini". The record is zeroed first, so a short
// file never leaves stale bytes behind; only the first 3,080 bytes count. The record is
// then made safe to use (see SanitizeOptions). Returns the number of bytes taken.
size_t ReadOptionsBytes(OptionsRecord& rec, const void* data, size_t size);

// Every path ends inside its field and the two small numbers lie in their ranges:
// a hand-edited or damaged file must not make later string or table code run wild.
void SanitizeOptions(OptionsRecord& rec);

// "%s\\explorer.exe" / "%s\\notepad.exe" below the Windows folder when the field is empty.
void ApplyToolDefaults(OptionsRecord& rec, const char* windowsFolder);

// Clears the whole field and copies at most 511 characters of text into it.
void SetOptionsPath(char (&field)[kOptionsPathSize], const char* text);

// Number of window-size entries the options page offers for a device kind (3 or 6);
// the kind is clamped first.
int WindowSizeChoiceCount(int deviceKind);

// The entries of the options page's "Window size of Device Explorer:" list for a kind,
// and whether the list is enabled (the NAND kind shows its sizes as not applicable).
std::vector<std::string> WindowSizeChoices(int deviceKind, bool* enabled);

}  // namespace lx
