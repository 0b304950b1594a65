// "Tarn-Rook.ini": the configuration sheet's choices between runs, kept with SimpleIni (section and key
// names without regard to case, 8-bit text). Every writer loads the whole file, changes its keys and
// writes the whole file back; the new file replaces the old one only once it is written whole.
#pragma once

#include <memory>
#include <string>

class RookIniStore;

namespace rook {

extern const char kRookIniFileName[];
extern const char kPredefinedSection[];
extern const char kOperationSection[];

enum class IniLoad { kLoaded, kMissing, kEmpty, kGarbled, kUnreadable };

class RookIni {
public:
    RookIni();
    ~RookIni();
    RookIni(const RookIni&) = delete;
    RookIni& operator=(const RookIni&) = delete;

    // Loads the whole file. Anything but kLoaded comes with a message for the user; a garbled file keeps
    // the keys of its good lines (a line with a NUL costs that line only), every other failure leaves no
    // keys (so every reader takes its default). A file that is there but was not read whole is copied to
    // "<path>.bad" first, as the next save replaces it; the message gives that copy's whole path.
    IniLoad Load(const std::string& path, std::string* message);
    // Writes every key; false (and the old file as it was) when the file cannot be written.
    bool Save(const std::string& path) const;

    std::string Get(const char* section, const char* key, const std::string& fallback = std::string()) const;
    void Set(const char* section, const char* key, const std::string& value);
    void Remove(const char* section, const char* key);

private:
    std::unique_ptr<RookIniStore> store_;
};

// The "Operation Setup" section.
struct OperationSetupValues {
    int programTimeoutMs = -1;       // -1 infinite
    int eraseTimeoutMs = -1;
    int chipEraseTimeoutMin = -1;
    int writeBufferBytes = 0;        // 0 default, else 32..512
    int dataSwap = 0;                // bytes swapped: 0, 2 or 4
    bool noWriteBuffer = false;
    bool checkSectorProtection = false;
    bool forceP8E = false;
    bool force4ByteAddress = false;
    bool force80MHzSck = false;
    bool userCfi = false;
    // Command Set ID, Device Size Bytes, Max Bytes Write, Erase Block Regions, Erase Block Info 1..4,
    // Boot Sector Flag: the texts as typed; "0x" when empty or missing.
    std::string cfi[9];
};
extern const char* const kUserCfiKeys[9];

void ReadOperationSetup(const RookIni& ini, OperationSetupValues& v);
void WriteOperationSetup(RookIni& ini, const OperationSetupValues& v);

}  // namespace rook
