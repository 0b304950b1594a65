#include "rook_ini.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

// 8-bit text only: no conversion to or from wide characters.
#define SI_NO_CONVERSION
// The installed header keeps its member definitions behind this switch.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include "file_parser.h"

class RookIniStore : public CSimpleIniA {};

namespace rook {

const char kRookIniFileName[] = "Tarn-Rook.ini";
const char kPredefinedSection[] = "Predefined List";
const char kOperationSection[] = "Operation Setup";

const char* const kUserCfiKeys[9] = {
    "Command Set ID", "Device Size Bytes", "Max Bytes Write", "Erase Block Regions", "Erase Block Info 1",
    "Erase Block Info 2", "Erase Block Info 3", "Erase Block Info 4", "Boot Sector Flag",
};

namespace {

constexpr size_t kMaxIniBytes = 1u << 20;

// The number of the first line that is neither blank, a comment, a section nor a key with a value, or
// that holds a NUL; 0 if none.
int FirstGarbledLine(const std::string& data) {
    size_t start = 0;
    int number = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        ++number;
        std::string line = data.substr(start, end - start);
        start = end + 1;
        if (line.find('\0') != std::string::npos) return number;
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        char c = line[first];
        if (c == ';' || c == '#') continue;
        if (c == '[' ? line.find(']', first) == std::string::npos : line.find('=') == std::string::npos)
            return number;
    }
    return 0;
}

// The text with every line that holds a NUL left empty: the parser takes a NUL for the end of the file
// and would lose every line after it.
std::string WithoutNulLines(const std::string& data) {
    std::string out;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        size_t next = end == std::string::npos ? data.size() : end + 1;
        std::string line = data.substr(start, next - start);
        out += line.find('\0') == std::string::npos ? line : std::string(line.back() == '\n' ? "\n" : "");
        start = next;
    }
    return out;
}

// A copy of a file the settings could not be read from whole, beside it, before a save replaces it.
// The text for the user says where it is, or that it could not be made.
std::string KeepBadCopy(const std::string& path) {
    const std::string copy = path + ".bad";
    bool ok = false;
    if (FILE* in = std::fopen(path.c_str(), "rb")) {
        if (FILE* out = std::fopen(copy.c_str(), "wb")) {
            ok = true;
            char buffer[16384];
            size_t got;
            while (ok && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0) ok = std::fwrite(buffer, 1, got, out) == got;
            ok = ok && !std::ferror(in);
            if (std::fclose(out) != 0) ok = false;
        }
        std::fclose(in);
    }
    // The user is told the whole path: the file is named relative to a working folder nobody sees.
    std::error_code error;
    std::string where = std::filesystem::absolute(copy, error).string();
    if (error) where = copy;
    if (!ok) {
        std::remove(copy.c_str());
        return " No copy of the file could be kept as " + where + ": the next save replaces it.";
    }
    return " The file as it was is kept as " + where + ".";
}

int ReadInt(const RookIni& ini, const char* key, int fallback) {
    std::string text = ini.Get(kOperationSection, key);
    if (text.empty()) return fallback;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < -1 || value > 0x7FFFFFFFL) return fallback;
    return static_cast<int>(value);
}

int ReadChoice(const RookIni& ini, const char* key, std::initializer_list<int> allowed, int fallback) {
    int value = ReadInt(ini, key, fallback);
    for (int a : allowed)
        if (a == value) return value;
    return fallback;
}

}  // namespace

RookIni::RookIni() : store_(new RookIniStore) {}
RookIni::~RookIni() = default;

IniLoad RookIni::Load(const std::string& path, std::string* message) {
    store_->Reset();
    auto say = [message, &path](const std::string& text) {
        if (message) *message = path + ": " + text;
    };
    if (message) message->clear();
    std::string data;
    if (!ReadFileBytes(path, data, kMaxIniBytes)) {
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            std::fclose(f);
            say("the file cannot be read or is larger than 1 MiB; the default settings are used." + KeepBadCopy(path));
            return IniLoad::kUnreadable;
        }
        say("the file is not there; the default settings are used.");
        return IniLoad::kMissing;
    }
    if (data.find_first_not_of(" \t\r\n") == std::string::npos) {
        say("the file is empty; the default settings are used.");
        return IniLoad::kEmpty;
    }
    if (IsWideText(data)) {
        say("the file is not 8-bit text (it looks like UTF-16); the default settings are used." + KeepBadCopy(path));
        return IniLoad::kUnreadable;
    }
    if (store_->LoadData(WithoutNulLines(data)) < 0) {
        store_->Reset();
        say("the file cannot be read; the default settings are used." + KeepBadCopy(path));
        return IniLoad::kUnreadable;
    }
    if (int bad = FirstGarbledLine(data)) {
        say("line " + std::to_string(bad) + " is not understood; the settings it does not give are the defaults." +
            KeepBadCopy(path));
        return IniLoad::kGarbled;
    }
    return IniLoad::kLoaded;
}

bool RookIni::Save(const std::string& path) const {
    std::string data;
    if (store_->Save(data) < 0) return false;
    return ReplaceFileWithBytes(path, data);
}

std::string RookIni::Get(const char* section, const char* key, const std::string& fallback) const {
    const char* value = store_->GetValue(section, key, nullptr);
    return value ? std::string(value) : fallback;
}

void RookIni::Set(const char* section, const char* key, const std::string& value) {
    store_->SetValue(section, key, value.c_str());
}

void RookIni::Remove(const char* section, const char* key) { store_->Delete(section, key); }

void ReadOperationSetup(const RookIni& ini, OperationSetupValues& v) {
    v.programTimeoutMs = ReadInt(ini, "Programming Timeout", -1);
    v.eraseTimeoutMs = ReadInt(ini, "Erasing Timeout", -1);
    v.chipEraseTimeoutMin = ReadInt(ini, "Chip Erasing Timeout", -1);
    v.writeBufferBytes = ReadChoice(ini, "Write Buffer Size", {0, 32, 64, 128, 256, 512}, 0);
    v.dataSwap = ReadChoice(ini, "Data Swap", {0, 2, 4}, 0);
    v.noWriteBuffer = ini.Get(kOperationSection, "Not Use Write Buffer") == "1";
    v.checkSectorProtection = ini.Get(kOperationSection, "Check Sector Protection") == "1";
    v.forceP8E = ini.Get(kOperationSection, "Force To Use P8E") == "1";
    v.force4ByteAddress = ini.Get(kOperationSection, "Force To Use 4-Bytes Address") == "1";
    v.force80MHzSck = ini.Get(kOperationSection, "Force To Use an 80MHz SCK") == "1";
    v.userCfi = ini.Get(kOperationSection, "User CFI") == "1";
    for (int i = 0; i < 9; ++i) {
        v.cfi[i] = ini.Get(kOperationSection, kUserCfiKeys[i]);
        if (v.cfi[i].empty()) v.cfi[i] = "0x";
    }
}

void WriteOperationSetup(RookIni& ini, const OperationSetupValues& v) {
    auto number = [&ini](const char* key, int value) { ini.Set(kOperationSection, key, std::to_string(value)); };
    auto flag = [&ini](const char* key, bool on) { ini.Set(kOperationSection, key, on ? "1" : "0"); };
    number("Programming Timeout", v.programTimeoutMs);
    number("Erasing Timeout", v.eraseTimeoutMs);
    number("Chip Erasing Timeout", v.chipEraseTimeoutMin);
    number("Write Buffer Size", v.writeBufferBytes);
    number("Data Swap", v.dataSwap);
    flag("Not Use Write Buffer", v.noWriteBuffer);
    flag("Check Sector Protection", v.checkSectorProtection);
    flag("Force To Use P8E", v.forceP8E);
    flag("Force To Use 4-Bytes Address", v.force4ByteAddress);
    flag("Force To Use an 80MHz SCK", v.force80MHzSck);
    flag("User CFI", v.userCfi);
    if (v.userCfi)
        for (int i = 0; i < 9; ++i) ini.Set(kOperationSection, kUserCfiKeys[i], v.cfi[i]);
}

}  // namespace rook
