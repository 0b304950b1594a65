#include "tree_core.h"

#include <cstring>
#include <ctime>
#include <new>

#include "device_api.h"
#include "fs_shell.h"
#include "lumivex/prompt.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lx {
namespace voltree {

namespace {

// Deeper trees than this are taken for a damaged volume whose folders loop.
const int kMaxFolderDepth = 64;
const size_t kVolumePathLimit = 510;
const size_t kHostPathLimit = 259;

bool IsDotName(const std::string& n) { return n == "." || n == ".."; }

std::string Format(const char* format, const std::string& a) {
    std::vector<char> text(a.size() + std::strlen(format) + 1);
    std::snprintf(text.data(), text.size(), format, a.c_str());
    return text.data();
}

#ifdef _WIN32
std::wstring Wide(const std::string& utf8) {
    std::u16string u = Utf8ToUtf16(utf8);
    return std::wstring(u.begin(), u.end());
}
#endif

}  // namespace

// ---- paths ----

bool IsVolumePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) return folder + name;
    return folder + "/" + name;
}

std::string ParentPath(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos || slash == 0) return "";
    return path.substr(0, slash);
}

bool PathInside(const std::string& outer, const std::string& inner) {
    auto norm = [](std::string s) {
        for (char& c : s) {
            if (c == '\\') c = '/';
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        while (s.size() > 1 && s.back() == '/') s.pop_back();
        return s;
    };
    std::string a = norm(outer), b = norm(inner);
    return b == a || (b.size() > a.size() && b.compare(0, a.size(), a) == 0 && b[a.size()] == '/');
}

std::u16string Utf8ToUtf16(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            bool ok = i + len <= text.size();
            uint32_t v = c & (0x7F >> len);
            for (size_t k = 1; ok && k < len; ++k) {
                unsigned char t = static_cast<unsigned char>(text[i + k]);
                if ((t & 0xC0) != 0x80) ok = false;
                v = (v << 6) | (t & 0x3F);
            }
            static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            if (ok && v >= kMin[len] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                cp = v;
            } else {
                len = 1;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

size_t Utf16Length(const std::string& utf8) { return Utf8ToUtf16(utf8).size(); }

size_t PathLimit(const std::string& path) { return IsVolumePath(path) ? kVolumePathLimit : kHostPathLimit; }

bool PathTooLong(const std::string& path) { return Utf16Length(path) > PathLimit(path); }

std::string PasteName(const std::string& itemText, bool isRoot) {
    if (!isRoot) return itemText;
    std::string name;
    for (char c : itemText)
        if (c != '/' && c != ':' && c != '\\') name += c;
    return name;
}

// ---- the host side ----

#ifdef _WIN32
HostStatus HostStat(const std::string& path) {
    HostStatus s;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return s;
    s.exists = true;
    s.attributes = data.dwFileAttributes;
    s.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return s;
}

bool HostMakeFolder(const std::string& path) { return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0; }
bool HostRemoveFolder(const std::string& path) { return RemoveDirectoryW(Wide(path).c_str()) != 0; }
bool HostRemoveFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }
bool HostRename(const std::string& from, const std::string& to) {
    return MoveFileW(Wide(from).c_str(), Wide(to).c_str()) != 0;
}
FILE* HostOpen(const std::string& path, bool write) { return _wfopen(Wide(path).c_str(), write ? L"wb" : L"rb"); }

static bool HostList(const std::string& folder, std::vector<TreeEntry>& entries) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Wide(JoinPath(folder, "*")).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    do {
        std::u16string name(reinterpret_cast<const char16_t*>(fd.cFileName));
        TreeEntry e;
        e.name = Utf16ToUtf8(name);
        e.folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!IsDotName(e.name)) entries.push_back(e);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return true;
}
#else
HostStatus HostStat(const std::string& path) {
    HostStatus s;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.attributes = S_ISDIR(st.st_mode) ? 0x10 : 0x20;
    if (access(path.c_str(), W_OK) != 0 && S_ISREG(st.st_mode)) s.attributes |= 0x01;
    s.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    return s;
}

bool HostMakeFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }
bool HostRemoveFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }
bool HostRemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }
bool HostRename(const std::string& from, const std::string& to) {
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}
FILE* HostOpen(const std::string& path, bool write) { return std::fopen(path.c_str(), write ? "wb" : "rb"); }

static bool HostList(const std::string& folder, std::vector<TreeEntry>& entries) {
    DIR* d = opendir(folder.c_str());
    if (!d) return false;
    while (dirent* e = readdir(d)) {
        TreeEntry t;
        t.name = e->d_name;
        if (IsDotName(t.name)) continue;
        struct stat st;
        t.folder = stat(JoinPath(folder, t.name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        entries.push_back(t);
    }
    closedir(d);
    return true;
}
#endif

// ---- either side ----

static bool DeviceStat(const std::string& path, GFSL_STAT* st) {
    std::memset(st, 0, sizeof *st);
    return DeviceApiTable.gfslstat(path.c_str(), st) == 0;
}

static bool DeviceList(const std::string& folder, std::vector<TreeEntry>& entries) {
    GFSL_DIR* dir = DeviceApiTable.gfslopendir(folder.c_str());
    if (!dir) return false;
    char name[GFSL_DIR_NAME_SIZE];
    char* result = nullptr;
    while (DeviceApiTable.gfslreaddir_r(dir, name, &result) == 0) {
        name[sizeof(name) - 1] = 0;
        TreeEntry e;
        e.name = name;
        e.folder = (dir->entry.attr & GFSL_ATTR_DIRECTORY) != 0;
        if (!IsDotName(e.name)) entries.push_back(e);
    }
    return DeviceApiTable.gfslclosedir(dir) == 0;
}

bool ListFolder(const std::string& path, std::vector<TreeEntry>& entries) {
    return IsVolumePath(path) ? DeviceList(path, entries) : HostList(path, entries);
}

uint32_t ItemAttributes(const std::string& path, bool* exists) {
    if (IsVolumePath(path)) {
        GFSL_STAT st;
        bool ok = DeviceStat(path, &st);
        if (exists) *exists = ok;
        return st.attr;
    }
    HostStatus s = HostStat(path);
    if (exists) *exists = s.exists;
    return s.attributes;
}

bool IsFolder(const std::string& path) {
    bool exists = false;
    uint32_t attributes = ItemAttributes(path, &exists);
    return exists && (attributes & 0x10) != 0;
}

bool MakeFolder(const std::string& path) {
    if (IsVolumePath(path)) return DeviceApiTable.gfslmkdir(path.c_str(), 0) == 0;
    return HostMakeFolder(path);
}

// ---- copies ----

namespace {

// One end of a file copy: a device file by handle or a host file by stream.
class CopyEnd {
public:
    ~CopyEnd() { Close(); }
    bool Open(const std::string& path, bool write) {
        device_ = IsVolumePath(path);
        if (device_) {
            handle_ = DeviceApiTable.gfslfopen(path.c_str(), write ? "w" : "r");
            return handle_ >= 0;
        }
        file_ = HostOpen(path, write);
        return file_ != nullptr;
    }
    // Bytes read, 0 at the end, -1 on a read error.
    long Read(void* buffer, uint32_t size) {
        if (device_) {
            uint32_t n = DeviceApiTable.gfslfread(buffer, 1, size, handle_);
            return n == kDeviceReadError || n > size ? -1 : static_cast<long>(n);
        }
        size_t n = std::fread(buffer, 1, size, file_);
        return std::ferror(file_) ? -1 : static_cast<long>(n);
    }
    bool Write(const void* buffer, uint32_t size) {
        if (device_) return DeviceApiTable.gfslfwrite(buffer, 1, size, handle_) == size;
        return std::fwrite(buffer, 1, size, file_) == size;
    }
    // Closing can fail too: a full disk may only say so here.
    bool Close() {
        bool ok = true;
        if (device_ && handle_ >= 0) ok = DeviceApiTable.gfslfclose(handle_) == 0;
        if (!device_ && file_) ok = std::fclose(file_) == 0;
        handle_ = -1;
        file_ = nullptr;
        return ok;
    }

private:
    bool device_ = false;
    int handle_ = -1;
    FILE* file_ = nullptr;
};

bool RemoveFile(const std::string& path) {
    if (IsVolumePath(path)) return DeviceApiTable.gfslunlink(path.c_str()) == 0;
    return HostRemoveFile(path);
}

bool ItemExists(const std::string& path) {
    bool exists = false;
    ItemAttributes(path, &exists);
    return exists;
}

}  // namespace

int TreeCopier::CopyOneFile(const std::string& source, const std::string& destination, bool replaceWithoutAsking) {
    ui_.StepProgress(source.substr(source.find_last_of("/\\") + 1));
    const char* openQuestion = "File %s can't be open. Continue anyway?";
    if (PathTooLong(source) || PathTooLong(destination)) {
        const std::string& longOne = PathTooLong(source) ? source : destination;
        if (ui_.Ask(Format("The path %s is too long. Continue anyway?", longOne), nullptr, LX_MB_OKCANCEL) == LX_IDCANCEL)
            return kCopyFailed;
        ++tally_.skipped;
        return kCopyDone;
    }
    CopyEnd in;
    if (!in.Open(source, false)) {
        if (ui_.Ask(Format(openQuestion, source), nullptr, LX_MB_OKCANCEL) == LX_IDCANCEL) return kCopyFailed;
        ++tally_.skipped;
        return kCopyDone;
    }
    // Pasting never replaces a file silently.
    if (!replaceWithoutAsking && ItemExists(destination)) {
        if (IsFolder(destination)) {
            if (ui_.Ask(Format(openQuestion, destination), nullptr, LX_MB_OKCANCEL) == LX_IDCANCEL) return kCopyFailed;
            ++tally_.skipped;
            return kCopyDone;
        }
        int answer = ui_.Ask(Format("File %s already exists. Replace it?", destination), nullptr, LX_MB_YESNOCANCEL);
        if (answer == LX_IDCANCEL) return kCopyFailed;
        if (answer != LX_IDYES) {
            ++tally_.skipped;
            return kCopyDone;
        }
        // A volume takes names that differ only in case for one file: replacing a file this copy
        // wrote takes that file's copy away again.
        if (written_.Has(destination)) {
            --tally_.copied;
            ++tally_.skipped;
        }
    }
    CopyEnd out;
    if (!out.Open(destination, true)) {
        if (ui_.Ask(Format(openQuestion, destination), nullptr, LX_MB_OKCANCEL) == LX_IDCANCEL) return kCopyFailed;
        ++tally_.skipped;
        return kCopyDone;
    }
    if (buffer_.size() != kCopyPiece) {
        try {
            buffer_.resize(kCopyPiece);
        } catch (const std::bad_alloc&) {
            out.Close();
            RemoveFile(destination);
            return kCopyNoMemory;
        }
    }
    bool ok = true;
    for (;;) {
        long n = in.Read(buffer_.data(), kCopyPiece);
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!out.Write(buffer_.data(), static_cast<uint32_t>(n))) {
            ok = false;
            break;
        }
    }
    if (!out.Close()) ok = false;
    if (!ok) {
        // A cut-off file must not pass for a copy.
        RemoveFile(destination);
        return kCopyFailed;
    }
    ++tally_.copied;
    written_.Add(destination);
    return kCopyDone;
}

int TreeCopier::CopyTreeAt(const std::string& source, const std::string& destination, int depth) {
    if (depth > kMaxFolderDepth) return kCopyFailed;
    std::vector<TreeEntry> entries;
    if (!ListFolder(source, entries)) return kCopyFailed;
    for (const TreeEntry& e : entries) {
        if (ui_.StopRequested()) return kCopyCancelled;
        ui_.Pump();
        if (ui_.StopRequested()) return kCopyCancelled;
        std::string from = JoinPath(source, e.name), to = JoinPath(destination, e.name);
        int r;
        if (e.folder) {
            // An existing folder is filled; one that can be neither made nor found stops the
            // copy rather than leave its subtree out unseen.
            if (!MakeFolder(to) && !IsFolder(to)) return kCopyFailed;
            r = CopyTreeAt(from, to, depth + 1);
        } else {
            r = CopyOneFile(from, to, false);
        }
        if (r != kCopyDone) return r;
    }
    return kCopyDone;
}

int TreeCopier::CopyFolderTree(const std::string& source, const std::string& destination) {
    // Copying a folder into itself would feed on its own output.
    if (IsVolumePath(source) == IsVolumePath(destination) && PathInside(source, destination)) return kCopyFailed;
    return CopyTreeAt(source, destination, 0);
}

int TreeCopier::CopyItem(const std::string& source, const std::string& destination, bool isFolder,
                         bool replaceWithoutAsking) {
    tally_ = CopyTally();
    written_ = CopiedNames();
    if (isFolder) {
        int folders = 0, files = 0;
        CountFolderContents(source, &folders, &files, nullptr);
        tally_.total = files;
    } else {
        tally_.total = 1;
    }
    if (!ui_.BeginProgress(isFolder ? tally_.total : 0, isFolder)) {
        ui_.Tell("Progress dialog box can't be created.");
        return kCopyFailed;
    }
    int r = isFolder ? CopyFolderTree(source, destination) : CopyOneFile(source, destination, replaceWithoutAsking);
    ui_.EndProgress();
    if (r == kCopyDone && tally_.skipped > 0) r = kCopyPartial;
    return r;
}

static int CountAt(const std::string& path, size_t prefix, int* folders, int* files, uint64_t* bytes,
                   size_t* longest, int depth) {
    if (depth > kMaxFolderDepth) return -1;
    std::vector<TreeEntry> entries;
    if (!ListFolder(path, entries)) return -1;
    int result = 0;
    for (const TreeEntry& e : entries) {
        std::string full = JoinPath(path, e.name);
        if (longest) {
            size_t rel = Utf16Length(full) - prefix;
            if (rel > *longest) *longest = rel;
        }
        if (e.folder) {
            ++*folders;
            if (CountAt(full, prefix, folders, files, bytes, longest, depth + 1) != 0) result = -1;
            continue;
        }
        ++*files;
        if (!bytes) continue;
        if (IsVolumePath(full)) {
            GFSL_STAT st;
            if (DeviceStat(full, &st)) *bytes += st.fileSize;
        } else {
            HostStatus s = HostStat(full);
            if (s.exists) *bytes += s.size;
        }
    }
    return result;
}

int CountFolderContents(const std::string& path, int* folders, int* files, uint64_t* bytes, size_t* longest) {
    if (longest) *longest = 0;
    return CountAt(path, Utf16Length(path), folders, files, bytes, longest, 0);
}

// ---- removal and paste ----

namespace {
// The shell's folder helpers with paths that are UTF-8 already: its conversions stay identities.
class Utf8ShellHost : public ShellHost {
public:
    void Print(const std::string&) override {}
    int Mount(int) override { return -1; }
    int Unmount(int) override { return -1; }
};
}  // namespace

int RemoveItem(const std::string& path) {
    bool exists = false;
    uint32_t attributes = ItemAttributes(path, &exists);
    if (IsVolumePath(path)) {
        if (attributes & 0x10) {
            Utf8ShellHost host;
            CleanDeviceFolder(host, path);
            return DeviceApiTable.gfslrmdir(path.c_str()) == 0 ? 0 : 1;
        }
        return DeviceApiTable.gfslunlink(path.c_str()) == 0 ? 0 : 1;
    }
    if (exists && (attributes & 0x10)) return HostRemoveFolder(path) ? 0 : 1;
    return HostRemoveFile(path) ? 0 : 1;
}

std::string PasteFolderOf(const std::string& target) {
    bool exists = false;
    uint32_t attributes = ItemAttributes(target, &exists);
    if ((attributes & 0x10) != 0 || (!IsVolumePath(target) && !exists)) return target;
    return ParentPath(target);
}

PasteOutcome Paste(TreeCopyUi& ui, const std::string& source, const std::string& sourceName,
                   const std::string& target, bool cut) {
    PasteOutcome out;
    if (source.empty() || sourceName.empty()) {
        out.quiet = true;
        return out;
    }
    std::string folder = PasteFolderOf(target);
    if (folder == target && target == source) {
        out.quiet = true;
        return out;
    }
    out.folder = folder;
    std::string dest = JoinPath(folder, sourceName);
    if (dest == source) {
        out.quiet = true;
        return out;
    }
    bool sourceIsFolder = IsFolder(source);
    if (sourceIsFolder && IsVolumePath(source) == IsVolumePath(dest) && PathInside(source, dest)) {
        out.result = kCopyFailed;
        ui.Tell("Copy failed: the destination folder is inside the source folder.");
        return out;
    }
    // Every path the copy will build must fit the destination side, before anything is made.
    size_t longest = 0;
    if (sourceIsFolder) {
        int folders = 0, files = 0;
        CountFolderContents(source, &folders, &files, nullptr, &longest);
    }
    if (Utf16Length(dest) + longest > PathLimit(dest) || PathTooLong(source)) {
        out.result = kCopyFailed;
        ui.Tell(Format("Copy failed: the paths below %s would be too long.", dest));
        return out;
    }
    if (sourceIsFolder && !MakeFolder(dest)) {
        out.result = kCopyFailed;
        ui.Tell("Copy failed");
        return out;
    }
    TreeCopier copier(ui);
    out.result = copier.CopyItem(source, dest, sourceIsFolder);
    out.tally = copier.tally();
    if (out.result == kCopyCancelled) {
        ui.Tell(CopyCountText("Copy canceled", out.tally));
        return out;
    }
    if (out.result != kCopyDone) {
        std::string text = CopyCountText("Copy failed", out.tally);
        if (cut) text += "\nNothing was removed from the source.";
        ui.Tell(text);
        return out;
    }
    if (cut) {
        if (RemoveItem(source) == 0) {
            out.sourceRemoved = true;
        } else {
            ui.Tell(IsVolumePath(source) ? "Delete failed." : "Source file can't be deleted.");
        }
    }
    ui.Tell("Copy finished.");
    return out;
}

// ---- properties ----

static bool ValidDate(int year, int month, int day) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    int limit = kDays[month - 1];
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) limit = 29;
    return day <= limit;
}

std::string FormatTime(int year, int month, int day, int hour, int minute, int second) {
    if (!ValidDate(year, month, day) || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59)
        return "";
    std::tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    // The weekday from the date alone (Sakamoto's rule): no time zone can shift it.
    static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int y = month < 3 ? year - 1 : year;
    t.tm_wday = (y + y / 4 - y / 100 + y / 400 + kOffsets[month - 1] + day) % 7;
    char text[128] = "";
    std::strftime(text, sizeof text, "%A, %B %d, %Y, %I:%M:%S %p", &t);
    return text;
}

std::string FormatDosDateTime(uint16_t date, uint16_t time) {
    return FormatTime(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F,
                      (time & 0x1F) * 2);
}

std::string FormatSize(uint64_t bytes, const int* files, const int* folders) {
    char text[96];
    if (files && folders)
        std::snprintf(text, sizeof text, "%llu Bytes (%d Files, %d Folders)", static_cast<unsigned long long>(bytes),
                      *files, *folders);
    else
        std::snprintf(text, sizeof text, "%llu Bytes", static_cast<unsigned long long>(bytes));
    return text;
}

#ifdef _WIN32
static std::string FileTimeText(const FILETIME& ft) {
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &st)) return "";
    return FormatTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}
#else
static std::string PosixTimeText(time_t value) {
    std::tm t;
    if (!localtime_r(&value, &t)) return "";
    return FormatTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}
#endif

ItemProperties ReadProperties(const std::string& path) {
    ItemProperties p;
    if (IsVolumePath(path)) {
        GFSL_STAT st;
        if (!DeviceStat(path, &st)) return p;
        p.found = true;
        p.created = FormatDosDateTime(st.crtDate, st.crtTime);
        p.modified = FormatDosDateTime(st.wrtDate, st.wrtTime);
        p.accessed = FormatDosDateTime(st.lstAccDate, 0);
        p.attributes = st.attr;
        if (!(st.attr & 0x10)) p.size = FormatSize(st.fileSize, nullptr, nullptr);
    } else {
#ifdef _WIN32
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(Wide(path).c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return p;
        FindClose(h);
        p.found = true;
        p.created = FileTimeText(fd.ftCreationTime);
        p.modified = FileTimeText(fd.ftLastWriteTime);
        p.accessed = FileTimeText(fd.ftLastAccessTime);
        p.attributes = static_cast<uint8_t>(fd.dwFileAttributes);
        uint64_t size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
#else
        struct stat st;
        if (stat(path.c_str(), &st) != 0) return p;
        p.found = true;
        p.created = PosixTimeText(st.st_ctime);
        p.modified = PosixTimeText(st.st_mtime);
        p.accessed = PosixTimeText(st.st_atime);
        p.attributes = static_cast<uint8_t>(HostStat(path).attributes);
        uint64_t size = static_cast<uint64_t>(st.st_size);
#endif
        if (!(p.attributes & 0x10)) p.size = FormatSize(size, nullptr, nullptr);
    }
    p.type = "User Editor";
    p.location = path;
    if (p.attributes & 0x10) {
        int folders = 0, files = 0;
        uint64_t bytes = 0;
        CountFolderContents(path, &folders, &files, &bytes);
        p.size = FormatSize(bytes, &files, &folders);
    }
    return p;
}

std::string TempCopyName(const std::string& folder, const std::string& name, uint32_t seconds) {
    size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? name : name.substr(dot + 1);
    return folder + "\\~" + std::to_string(seconds) + "." + ext;
}

}  // namespace voltree
}  // namespace lx
