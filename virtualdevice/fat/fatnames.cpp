#include "fatnames.h"

#include <cstring>

namespace lxfat {

bool Utf8ToUtf16(const char* in, u16string* out, size_t maxUnits) {
    out->clear();
    if (!in) return false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
    while (*p) {
        uint32_t c = *p++;
        int more;
        uint32_t min;
        if (c < 0x80) {
            more = 0; min = 0;
        } else if ((c & 0xE0) == 0xC0) {
            c &= 0x1F; more = 1; min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            c &= 0x0F; more = 2; min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            c &= 0x07; more = 3; min = 0x10000;
        } else {
            return false;
        }
        for (int i = 0; i < more; ++i) {
            if ((*p & 0xC0) != 0x80) return false;  /* also stops at the terminating zero */
            c = (c << 6) | (*p++ & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(c));
        }
        if (out->size() > maxUnits) return false;
    }
    return true;
}

std::string Utf16ToUtf8(const u16string& in) {
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        uint32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

int SplitPath(const u16string& path, NameKind kind, std::vector<u16string>* components) {
    components->clear();
    if (path.size() > kMaxPathUnits) return -8;
    const size_t limit = kind == NameKind::Directory ? kMaxDirNameUnits : kMaxNameUnits;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && (path[i] == u'/' || path[i] == u'\\')) ++i;
        if (i == path.size()) break;
        size_t start = i;
        while (i < path.size() && path[i] != u'/' && path[i] != u'\\') {
            if (path[i] >= 1 && path[i] <= 31) return -9;
            if (path[i] == 0) return -9;
            ++i;
        }
        size_t end = i;
        while (end > start && (path[end - 1] == u' ' || path[end - 1] == u'.')) --end;
        if (end == start) return -9;
        if (end - start > limit) return -8;
        if (components->size() == kMaxComponents) return -8;
        components->push_back(path.substr(start, end - start));
    }
    return 0;
}

namespace {

bool IsBadShortChar(char16_t c) {
    return c < 0x20 || std::strchr("\"*+,:;<=>?[]|", static_cast<int>(c)) != nullptr;
}

/* Reserved device names, kept as written: they are compared with the text form of the 8.3 name. */
const char* const kReserved[] = {"CON", "PRN", "NUL", "AUX", "COM1", "COM2", "COM3", "COM4",
                                 "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                 "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};

/* Turns up to `max` units into 8.3 bytes; returns the letter case seen: 1 lower, 2 upper, 3 both. */
int ShortPart(const u16string& part, size_t max, bool dropDots, uint8_t* out, size_t* len, bool* lossy) {
    int letters = 0;
    *len = 0;
    if (part.size() > max) *lossy = true;
    for (size_t i = 0; i < part.size() && i < max; ++i) {
        char16_t c = part[i];
        if (c == u' ' || (dropDots && c == u'.')) {
            *lossy = true;
            continue;
        }
        uint8_t b;
        if (c >= 0x80) {
            /* A byte of the OEM code page would read back as another letter elsewhere. */
            b = '_';
            *lossy = true;
        } else if (IsBadShortChar(c)) {
            b = '_';
            *lossy = true;
        } else if (c >= u'a' && c <= u'z') {
            b = static_cast<uint8_t>(c - 32);
            letters |= 1;
        } else {
            b = static_cast<uint8_t>(c);
            if (c >= u'A' && c <= u'Z') letters |= 2;
        }
        out[(*len)++] = b;
    }
    return letters;
}

}  // namespace

int MakeShortName(const u16string& component, ShortName* out) {
    std::memset(out->name, ' ', 11);
    out->lossy = false;
    out->needsLong = false;
    out->caseBits = 0;
    size_t s = 0;
    while (s < component.size() && (component[s] == u' ' || component[s] == u'.')) ++s;
    if (s > 0) out->lossy = true;
    u16string rest = component.substr(s);
    size_t dot = rest.rfind(u'.');
    u16string base = dot == u16string::npos ? rest : rest.substr(0, dot);
    u16string ext = dot == u16string::npos ? u16string() : rest.substr(dot + 1);
    uint8_t b[8], e[3];
    size_t bl = 0, el = 0;
    int baseCase = ShortPart(base, 8, true, b, &bl, &out->lossy);
    int extCase = ShortPart(ext, 3, false, e, &el, &out->lossy);
    if (bl == 0) {
        b[0] = '_';
        bl = 1;
        out->lossy = true;
    }
    std::memcpy(out->name, b, bl);
    std::memcpy(out->name + 8, e, el);

    if (component.size() == 3 || component.size() == 4) {
        char text[13];
        size_t n = 0;
        for (size_t i = 0; i < bl; ++i) text[n++] = static_cast<char>(b[i]);
        if (el) {
            text[n++] = '.';
            for (size_t i = 0; i < el; ++i) text[n++] = static_cast<char>(e[i]);
        }
        text[n] = 0;
        for (const char* r : kReserved)
            if (std::strcmp(text, r) == 0) return -9;
    }

    if (out->lossy) {
        out->needsLong = true;
    } else if (baseCase == 3 || extCase == 3) {
        out->needsLong = true;  /* mixed case in one part: only a long name keeps it */
    } else {
        if (baseCase == 1) out->caseBits |= 0x08;
        if (extCase == 1) out->caseBits |= 0x10;
    }
    return 0;
}

void ApplyNumericTail(uint8_t name[11], uint32_t n) {
    char digits[12];
    int d = 0;
    do {
        digits[d++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n && d < 7);
    size_t len = 8;
    while (len > 0 && name[len - 1] == ' ') --len;
    size_t keep = len < static_cast<size_t>(7 - d) ? len : static_cast<size_t>(7 - d);
    std::memset(name + keep, ' ', 8 - keep);
    name[keep] = '~';
    for (int i = 0; i < d; ++i) name[keep + 1 + i] = static_cast<uint8_t>(digits[d - 1 - i]);
}

uint8_t ShortNameChecksum(const uint8_t name[11]) {
    uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name[i]);
    return sum;
}

u16string ShortNameToText(const uint8_t entry[32]) {
    u16string out;
    const bool lowBase = entry[12] & 0x08, lowExt = entry[12] & 0x10;
    int bl = 8;
    while (bl > 0 && entry[bl - 1] == ' ') --bl;
    for (int i = 0; i < bl; ++i) {
        uint8_t c = entry[i];
        if (i == 0 && c == 0x05) c = 0xE5;
        if (lowBase && c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c + 32);
        out.push_back(c);
    }
    if (entry[8] != ' ') {
        out.push_back(u'.');
        int el = 3;
        while (el > 0 && entry[8 + el - 1] == ' ') --el;
        for (int i = 0; i < el; ++i) {
            uint8_t c = entry[8 + i];
            if (lowExt && c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c + 32);
            out.push_back(c);
        }
    }
    return out;
}

namespace {
const int kLfnOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
}

void BuildLongEntries(const u16string& name, uint8_t checksum, std::vector<uint8_t>* entries) {
    const size_t count = (name.size() + 12) / 13;
    entries->assign(count * 32, 0);
    for (size_t k = 0; k < count; ++k) {
        const size_t ordinal = count - k;  /* stored last part first */
        uint8_t* e = entries->data() + k * 32;
        e[0] = static_cast<uint8_t>(ordinal | (k == 0 ? 0x40 : 0));
        e[11] = 0x0F;
        e[13] = checksum;
        for (int j = 0; j < 13; ++j) {
            size_t pos = (ordinal - 1) * 13 + j;
            uint16_t u = pos < name.size() ? name[pos] : (pos == name.size() ? 0x0000 : 0xFFFF);
            e[kLfnOffsets[j]] = static_cast<uint8_t>(u);
            e[kLfnOffsets[j] + 1] = static_cast<uint8_t>(u >> 8);
        }
    }
}

void LongNameCollector::Feed(const uint8_t entry[32], int64_t index) {
    const int ordinal = entry[0] & 0x3F;
    if (entry[0] & 0x40) {
        Reset();
        if (ordinal == 0 || ordinal > static_cast<int>(kMaxLfnEntries)) return;
        count_ = ordinal;
        checksum_ = entry[13];
        start_ = index;
        units_.assign(static_cast<size_t>(ordinal) * 13, 0);
    } else if (expect_ == 0 || ordinal != expect_ || entry[13] != checksum_) {
        Reset();
        return;
    }
    for (int j = 0; j < 13; ++j)
        units_[static_cast<size_t>(ordinal - 1) * 13 + j] =
            static_cast<char16_t>(entry[kLfnOffsets[j]] | (entry[kLfnOffsets[j] + 1] << 8));
    expect_ = ordinal - 1;
    if (expect_ == 0) expect_ = -1;  /* complete: the 8.3 entry must come next */
}

u16string LongNameCollector::Take(const uint8_t shortEntry[32], int64_t* runStart) {
    u16string name;
    if (expect_ == -1 && checksum_ == ShortNameChecksum(shortEntry)) {
        for (char16_t u : units_) {
            if (u == 0) break;
            name.push_back(u);
        }
        if (name.size() > kMaxNameUnits) name.clear();
    }
    if (runStart) *runStart = name.empty() ? -1 : start_;
    Reset();
    return name;
}

bool NamesEqualNoCase(const u16string& a, const u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
        if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace lxfat
