/* Names on a FAT volume: UTF-8/UTF-16 conversion, path components, 8.3 names with their
 * numeric tails, long-name entries and the reading of names back from directory entries.
 * Portable: no platform headers; UTF-16 is char16_t. */
#ifndef LUMIVEX_FAT_FATNAMES_H
#define LUMIVEX_FAT_FATNAMES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lxfat {

using u16string = std::u16string;

constexpr size_t kMaxNameUnits = 255;      /* longest long name */
constexpr size_t kMaxDirNameUnits = 243;   /* longest folder name, so that paths below it stay usable */
constexpr size_t kMaxPathUnits = 2047;     /* 4,094 bytes of UTF-16 */
constexpr size_t kMaxComponents = 256;
constexpr size_t kMaxLfnEntries = 20;      /* 20 x 13 units hold 255 */

/* Strict UTF-8 to UTF-16: overlong forms, surrogates encoded in UTF-8, values above U+10FFFF and
 * truncated sequences are refused. Fails (false) too when the result would pass maxUnits. */
bool Utf8ToUtf16(const char* in, u16string* out, size_t maxUnits);
/* UTF-16 to UTF-8; unpaired surrogates become U+FFFD. */
std::string Utf16ToUtf8(const u16string& in);

enum class NameKind { File, Directory, Either };

/* Cuts a volume-relative path into components. Returns 0 or -8 (too long) / -9 (bad name). */
int SplitPath(const u16string& path, NameKind kind, std::vector<u16string>* components);

struct ShortName {
    uint8_t name[11];   /* base 8 and extension 3, space padded */
    bool lossy;         /* the component cannot be rebuilt from the 8.3 name */
    bool needsLong;     /* lossy, or its case cannot be told by the case bits */
    uint8_t caseBits;   /* 0x08 base lower case, 0x10 extension lower case */
};

/* Forms the 8.3 name of a component. Returns 0 or -9 for a reserved device name. */
int MakeShortName(const u16string& component, ShortName* out);

/* Puts the numeric tail n (1..999999) into an 8.3 name built by MakeShortName. */
void ApplyNumericTail(uint8_t name[11], uint32_t n);

uint8_t ShortNameChecksum(const uint8_t name[11]);

/* The 8.3 name read back as text, honouring the lower-case bits of byte 12. */
u16string ShortNameToText(const uint8_t entry[32]);

/* Long-name entries of a component, in the order they are stored (highest ordinal first). */
void BuildLongEntries(const u16string& name, uint8_t checksum, std::vector<uint8_t>* entries);

/* Collects long-name entries while a directory is read. Feed every entry in order; when an 8.3
 * entry arrives, Take() returns the long name if a complete, well-ordered run with the right
 * checksum stood before it, otherwise an empty string (the short name is then used). */
class LongNameCollector {
public:
    void Reset() { expect_ = 0; units_.clear(); start_ = -1; }
    /* index: the entry's position in the folder, to remember where the run began */
    void Feed(const uint8_t entry[32], int64_t index);
    u16string Take(const uint8_t shortEntry[32], int64_t* runStart);

private:
    int expect_ = 0;        /* ordinal of the next entry, 0 when no run is open */
    uint8_t checksum_ = 0;
    int64_t start_ = -1;
    std::vector<char16_t> units_;  /* 13 units per ordinal, ordinal 1 first */
    int count_ = 0;
};

/* ASCII letters compared without regard to case; everything else exactly. */
bool NamesEqualNoCase(const u16string& a, const u16string& b);

}  // namespace lxfat

#endif
