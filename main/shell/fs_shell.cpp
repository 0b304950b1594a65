#include "fs_shell.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "device_api.h"
#include "lumivex/prompt.h"

namespace lx {

namespace {

const uint32_t kCopyPiece = 131072;
// Deeper trees than this are taken for a damaged volume whose folders loop.
const int kMaxFolderDepth = 64;
// The largest transfer gfslRead and gfslWrite take in one buffer.
const long kMaxTransfer = 64L * 1024 * 1024;

bool IsDevicePath(const std::string& p) { return !p.empty() && p[0] == '/'; }

// Joins a folder and a name with one separator.
std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) return folder + name;
    return folder + "/" + name;
}

// True when b lies inside a (or is a): copying a into b would feed on its own output.
bool InsideOf(const std::string& a, const std::string& b) {
    auto norm = [](std::string s) {
        for (char& c : s)
            if (c == '\\') c = '/';
        while (s.size() > 1 && s.back() == '/') s.pop_back();
        std::string lower;
        for (char c : s) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return lower;
    };
    std::string na = norm(a), nb = norm(b);
    return nb == na || (nb.size() > na.size() && nb.compare(0, na.size(), na) == 0 && nb[na.size()] == '/');
}

// The two ends of a copy: a device file by handle or a host file by stream.
class CopyEnd {
public:
    ~CopyEnd() { Close(); }
    bool Open(ShellHost& host, const std::string& path, bool write, const char* deviceMode) {
        m_device = IsDevicePath(path);
        if (m_device) {
            m_handle = DeviceApiTable.gfslfopen(host.AnsiToUtf8(path).c_str(), deviceMode);
            return m_handle >= 0;
        }
        m_file = std::fopen(path.c_str(), write ? "wb" : "rb");
        return m_file != nullptr;
    }
    // Bytes read, 0 at the end, -1 on a read error.
    long Read(void* buffer, uint32_t size) {
        if (m_device) {
            uint32_t n = DeviceApiTable.gfslfread(buffer, 1, size, m_handle);
            return n > size ? -1 : static_cast<long>(n);
        }
        size_t n = std::fread(buffer, 1, size, m_file);
        return std::ferror(m_file) ? -1 : static_cast<long>(n);
    }
    bool Write(const void* buffer, uint32_t size) {
        if (m_device) return DeviceApiTable.gfslfwrite(buffer, 1, size, m_handle) == size;
        return std::fwrite(buffer, 1, size, m_file) == size;
    }
    // Closing can fail too (a host disk that is full only says so here).
    bool Close() {
        bool ok = true;
        if (m_device && m_handle >= 0) ok = DeviceApiTable.gfslfclose(m_handle) == 0;
        if (!m_device && m_file) ok = std::fclose(m_file) == 0;
        m_handle = -1;
        m_file = nullptr;
        return ok;
    }

private:
    bool m_device = false;
    int m_handle = -1;
    FILE* m_file = nullptr;
};

// Copies until the source ends: 0, or -1 on a read error or a short write.
int Pump(CopyEnd& from, CopyEnd& to, std::vector<char>& buffer) {
    for (;;) {
        long n = from.Read(buffer.data(), kCopyPiece);
        if (n < 0) return -1;
        if (n == 0) return 0;
        if (!to.Write(buffer.data(), static_cast<uint32_t>(n))) return -1;
    }
}

// A cut-off copy that stays behind must not pass for a whole one: the user is told where it is.
void PrintNotRemoved(ShellHost& host, const std::string& path) {
    host.Print("The cut-off file " + path + " could not be removed.\n");
}

bool RemoveFile(ShellHost& host, const std::string& path) {
    if (IsDevicePath(path)) return DeviceApiTable.gfslunlink(host.AnsiToUtf8(path).c_str()) == 0;
    return host.RemoveHostFile(path);
}

// Whether the path names a file or folder on its side (*folder says which).
bool ItemExists(ShellHost& host, const std::string& path, bool* folder) {
    *folder = false;
    if (!IsDevicePath(path)) return host.HostItemExists(path, folder);
    GFSL_STAT st;
    std::memset(&st, 0, sizeof(st));
    if (DeviceApiTable.gfslstat(host.AnsiToUtf8(path).c_str(), &st) != 0) return false;
    *folder = (st.attr & GFSL_ATTR_DIRECTORY) != 0;
    return true;
}

enum class FileCopy { kCopied, kNotOpened, kFailed, kNoMemory };

// Copies one file. A destination that was opened but not filled whole is removed again: a
// cut-off file must not pass for a copy (a full volume would otherwise keep the first bytes).
FileCopy CopyOneFile(ShellHost& host, const std::string& source, const std::string& destination,
                     const char* deviceMode, std::vector<char>& buffer) {
    CopyEnd in, out;
    if (!in.Open(host, source, false, "r") || !out.Open(host, destination, true, deviceMode)) return FileCopy::kNotOpened;
    FileCopy result = FileCopy::kCopied;
    try {
        buffer.resize(kCopyPiece);
    } catch (const std::bad_alloc&) {
        result = FileCopy::kNoMemory;
    }
    if (result == FileCopy::kCopied && Pump(in, out, buffer) != 0) result = FileCopy::kFailed;
    if (!out.Close() && result == FileCopy::kCopied) result = FileCopy::kFailed;
    if (result != FileCopy::kCopied && !RemoveFile(host, destination)) PrintNotRemoved(host, destination);
    return result;
}

// Walks a device folder entry by entry; the callback returns 0 to go on, anything else to stop
// with that result. The result is the callback's, or that of closing the stream.
template <class Fn>
int ForEachDeviceEntry(const std::string& folderUtf8, Fn fn) {
    GFSL_DIR* dir = DeviceApiTable.gfslopendir(folderUtf8.c_str());
    if (!dir) return -1;
    char name[GFSL_DIR_NAME_SIZE];
    char* result = nullptr;
    int stop = 0;
    while (DeviceApiTable.gfslreaddir_r(dir, name, &result) == 0) {
        name[sizeof(name) - 1] = 0;
        stop = fn(std::string(name), (dir->entry.attr & GFSL_ATTR_DIRECTORY) != 0, dir->entry.fileSize);
        if (stop) break;
    }
    int closed = DeviceApiTable.gfslclosedir(dir);
    return stop ? stop : closed;
}

bool IsDotName(const std::string& n) { return n == "." || n == ".."; }

int CleanDeviceFolderAt(ShellHost& host, const std::string& folder, int depth) {
    if (depth > kMaxFolderDepth) return -1;
    return ForEachDeviceEntry(host.AnsiToUtf8(folder), [&](const std::string& name, bool isFolder, uint32_t) {
        std::string path = Join(folder, host.Utf8ToAnsi(name, nullptr));
        std::string pathUtf8 = host.AnsiToUtf8(path);
        if (!isFolder) {
            DeviceApiTable.gfslunlink(pathUtf8.c_str()); // a file that stays does not stop the others
            return 0;
        }
        if (IsDotName(name)) return 0;
        if (DeviceApiTable.gfslrmdir(pathUtf8.c_str()) == 0) return 0;
        if (CleanDeviceFolderAt(host, path, depth + 1) != 0) return -1;
        DeviceApiTable.gfslrmdir(pathUtf8.c_str());
        return 0;
    });
}

bool MakeFolder(ShellHost& host, const std::string& path) {
    if (IsDevicePath(path)) return DeviceApiTable.gfslmkdir(host.AnsiToUtf8(path).c_str(), 0) == 0;
    return host.CreateHostFolder(path);
}

// The entries of a folder on either side, "." and ".." left out; false when it cannot be read.
bool ListFolder(ShellHost& host, const std::string& folder, std::vector<HostEntry>& entries) {
    if (!IsDevicePath(folder)) {
        std::vector<HostEntry> all;
        if (!host.ListHostFolder(folder, all)) return false;
        for (HostEntry& e : all)
            if (!IsDotName(e.name)) entries.push_back(e);
        return true;
    }
    return ForEachDeviceEntry(host.AnsiToUtf8(folder), [&](const std::string& name, bool isFolder, uint32_t) {
               if (!IsDotName(name)) entries.push_back({host.Utf8ToAnsi(name, nullptr), isFolder});
               return 0;
           }) == 0;
}

int CountFiles(ShellHost& host, const std::string& folder, int depth) {
    std::vector<HostEntry> entries;
    if (depth > kMaxFolderDepth || !ListFolder(host, folder, entries)) return 0;
    int files = 0;
    for (const HostEntry& e : entries) files += e.folder ? CountFiles(host, Join(folder, e.name), depth + 1) : 1;
    return files;
}

struct TreeCopy {
    ShellHost& host;
    CopyTally& tally;
    CopiedNames written;
    std::vector<char> buffer;

    // A destination file that is there already (on a volume also one whose name differs only in
    // case, such as a second file of this same copy): the user decides. 0 copy over it, 1 leave
    // this file out, -1 stop. A folder of that name is left to the open, which fails on it.
    int AskOverExisting(const std::string& to) {
        bool folder = false;
        if (!ItemExists(host, to, &folder) || folder) return 0;
        char text[1024];
        std::snprintf(text, sizeof(text), "File %s already exists. Replace it?", to.c_str());
        int answer = host.Ask(text, nullptr, LX_MB_YESNOCANCEL);
        if (answer == LX_IDCANCEL) return -1;
        if (answer != LX_IDYES) return 1;
        // Replacing a file this copy wrote takes that file's copy away again.
        if (written.Has(to)) {
            --tally.copied;
            ++tally.skipped;
        }
        return 0;
    }

    int File(const std::string& from, const std::string& to, bool hostSource) {
        int over = AskOverExisting(to);
        if (over != 0) {
            if (over > 0) ++tally.skipped;
            return over < 0 ? -1 : 0;
        }
        switch (CopyOneFile(host, from, to, hostSource ? "rw" : "w", buffer)) {
        case FileCopy::kCopied:
            ++tally.copied;
            written.Add(to);
            return 0;
        case FileCopy::kNotOpened:
            if (!hostSource) {
                char text[1024];
                std::snprintf(text, sizeof(text), "File %s can't be open. Continue anyway?", from.c_str());
                if (host.Ask(text, nullptr, LX_MB_OKCANCEL) == LX_IDCANCEL) return -1;
                ++tally.skipped;
                return 0;
            }
            return -1;
        default: return -1;
        }
    }

    int At(const std::string& source, const std::string& destination, int depth) {
        if (depth > kMaxFolderDepth) return -1;
        const bool hostSource = !IsDevicePath(source);
        auto entry = [&](const std::string& name, bool isFolder) {
            host.Pump();
            if (IsDotName(name)) return 0;
            std::string from = Join(source, name), to = Join(destination, name);
            if (!isFolder) return File(from, to, hostSource);
            // A folder that cannot be made would leave its whole subtree behind unseen.
            if (!MakeFolder(host, to)) return -1;
            return At(from, to, depth + 1) != 0 ? -1 : 0;
        };
        if (hostSource) {
            std::vector<HostEntry> entries;
            if (!host.ListHostFolder(source, entries)) return -1;
            for (const HostEntry& e : entries)
                if (entry(e.name, e.folder) != 0) return -1;
            return 0;
        }
        return ForEachDeviceEntry(host.AnsiToUtf8(source), [&](const std::string& name, bool isFolder, uint32_t) {
            return entry(host.Utf8ToAnsi(name, nullptr), isFolder);
        });
    }
};

}  // namespace

std::string CopyCountText(const char* what, const CopyTally& tally) {
    char text[160];
    std::snprintf(text, sizeof text, "%s: %d of %d files copied.", what, tally.copied, tally.total);
    return text;
}

std::string CopiedNames::Folded(const std::string& path) {
    std::string out;
    for (char c : path) out += c == '\\' ? '/' : c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return out;
}

int CopyFileHostDevice(ShellHost& host, const std::string& source, const std::string& destination) {
    std::vector<char> buffer;
    switch (CopyOneFile(host, source, destination, "rw", buffer)) {
    case FileCopy::kCopied: return 0;
    case FileCopy::kNoMemory: return 1;
    default: return -1;
    }
}

int CleanDeviceFolder(ShellHost& host, const std::string& folder) { return CleanDeviceFolderAt(host, folder, 0); }

int CopyHostFolderTree(ShellHost& host, const std::string& source, const std::string& destination, CopyTally* tally) {
    if (IsDevicePath(source) == IsDevicePath(destination) && InsideOf(source, destination)) return -1;
    CopyTally own;
    TreeCopy copy{host, tally ? *tally : own, {}, {}};
    copy.tally = CopyTally();
    copy.tally.total = CountFiles(host, source, 0);
    return copy.At(source, destination, 0);
}

// ---- words ----

namespace {
struct Word {
    const char* word;
    int code;
};
const Word kWords[] = {
    {"gfslMount", 2},        {"gfslUnmount", 3},   {"gfslFormat", 4},    {"gfslLowLevelFormat", 5},
    {"cd", 8},               {"dir", 9},           {"mkdir", 10},        {"rmdir", 11},
    {"cleandir", 12},        {"gfslOpen", 13},     {"gfslClose", 14},    {"gfslCloseAll", 15},
    {"gfslRead", 16},        {"gfslWrite", 17},    {"gfslCreate", 18},   {"gfslDelete", 19},
    {"gfslRename", 20},      {"gfslTruncate", 21}, {"gfslCopy", 22},     {"gfslExtCopy", 23},
    {"gfslCopyDir", 24},     {"gfslGetLastError", 25},
    {"gfslCustomCB1", 26},   {"gfslCustomCB2", 27}, {"gfslCustomCB3", 28}, {"gfslCustomCB4", 29},
    {"gfslCustomCB5", 30},   {"gfslCustomCB6", 31}, {"gfslCustomCB7", 32}, {"gfslCustomCB8", 33},
};
}  // namespace

int CFileSystemShell::LookupCommand(const std::string& word) {
    for (const Word& w : kWords)
        if (word == w.word) return w.code;
    return 0;
}

// Runs of blanks separate words; a double-quoted run is one word without its quotes. The result
// counts the words up to the n-th; with fewer words it is their number and the word is empty;
// 0 for an empty line or a quoted run longer than 256 characters.
int CFileSystemShell::GetArgument(const std::string& line, std::string& word, int n) {
    word.clear();
    int count = 0;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::string current;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos) end = line.size();
            current = line.substr(i + 1, end - i - 1);
            if (current.size() > 256) {
                word.clear();
                return 0;
            }
            i = end < line.size() ? end + 1 : end;
        } else {
            size_t end = i;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
            current = line.substr(i, end - i);
            i = end;
        }
        ++count;
        if (count == n) {
            word = current;
            return count;
        }
    }
    return count;
}

bool CFileSystemShell::Execute(const std::string& line, int* result) {
    std::string word;
    if (GetArgument(line, word, 1) == 0) return false;
    int code = LookupCommand(word);
    int r;
    switch (code) {
    case 2: r = CmdMount(line); break;
    case 3: r = CmdUnmount(line); break;
    case 4: r = CmdFormat(line); break;
    case 8: r = CmdCd(line); break;
    case 9: r = CmdDir(line); break;
    case 10: r = CmdMkdir(line); break;
    case 11: r = CmdRmdir(line); break;
    case 12: r = CmdCleanDir(line); break;
    case 13: r = CmdOpen(line); break;
    case 14: r = CmdClose(line); break;
    case 15: r = CmdCloseAll(line); break;
    case 16: r = CmdRead(line); break;
    case 17: r = CmdWrite(line); break;
    case 19: r = CmdDelete(line); break;
    case 20: r = CmdRename(line); break;
    case 21: r = CmdTruncate(line); break;
    case 22: r = CmdCopy(line); break;
    case 23: r = CmdExtCopy(line); break;
    case 24: r = CmdCopyDir(line); break;
    default:
        if (code >= 26 && code <= 33) {
            r = CmdCustomCB(line, code - 25);
            break;
        }
        return false; // not a shell word, or one without a handler: the consoles take it
    }
    if (result) *result = r;
    return true;
}

namespace {
// The n-th parameter (n = 1 is the first after the command word); false when it is missing.
bool Param(const std::string& line, int n, std::string& out) {
    return CFileSystemShell::GetArgument(line, out, n + 1) == n + 1;
}
int ParamInt(const std::string& line, int n) {
    std::string w;
    Param(line, n, w);
    return std::atoi(w.c_str());
}
// "/a" .. "/d" (either case): the volume index, or -1.
int VolumeOfPath(const std::string& p) {
    if (p.size() < 2 || p[0] != '/') return -1;
    char c = p[1];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c < 'a' || c > 'd') return -1;
    if (p.size() > 2 && p[2] != '/') return -1;
    return c - 'a';
}
}  // namespace

// A name is taken in the current folder unless it is a whole volume path already, as cd takes it.
std::string CFileSystemShell::Name(const std::string& word) const {
    return IsDevicePath(word) ? word : Join(m_folder, word);
}

int CFileSystemShell::MountWord(const std::string& line, bool mount) {
    std::string path;
    if (!Param(line, 1, path)) return -1;
    int v = VolumeOfPath(path);
    if (v != 0 && v != 1) return -1; // the shell mounts the first two volumes only
    int r = mount ? m_host.Mount(v) : m_host.Unmount(v);
    return r == 0 ? 0 : -1;
}

int CFileSystemShell::CmdMount(const std::string& line) { return MountWord(line, true); }
int CFileSystemShell::CmdUnmount(const std::string& line) { return MountWord(line, false); }

int CFileSystemShell::CmdFormat(const std::string& line) {
    std::string path, fsType, name;
    if (!Param(line, 1, path)) return -1;
    Param(line, 2, fsType);
    Param(line, 3, name);
    int reserved = ParamInt(line, 4);
    // A mounted volume is unmounted first, through the state functions, so the masks stay true.
    int v = VolumeOfPath(path);
    if (v >= 0 && m_host.Unmount(v) != 0) return -1;
    return DeviceApiTable.gfslFormat(path.c_str(), fsType.c_str(), name.c_str(), reserved) == 0 ? 0 : -1;
}

int CFileSystemShell::CmdCd(const std::string& line) {
    std::string word;
    if (!Param(line, 1, word)) {
        m_host.Print(m_folder + "\n");
        return 0;
    }
    std::string next = m_folder;
    if (word == "..") {
        if (next.size() > 2) {
            while (next.size() > 1 && (next.back() == '/' || next.back() == '\\')) next.pop_back();
            size_t cut = next.find_last_of("/\\");
            next = cut == std::string::npos || cut == 0 ? next : next.substr(0, cut);
            if (next.size() < 2) next = m_folder;
        }
    } else if (word == ".") {
        // stays
    } else if (word[0] == '/') {
        next = word;
    } else {
        next = Join(m_folder, word);
    }
    GFSL_DIR* dir = next.size() < kFolderCapacity ? DeviceApiTable.gfslopendir(next.c_str()) : nullptr;
    if (!dir) {
        m_host.Print("No path found\n");
        return -1;
    }
    DeviceApiTable.gfslclosedir(dir);
    m_folder = next;
    m_host.Print(m_folder + "\n");
    return 0;
}

int CFileSystemShell::CmdDir(const std::string& line) {
    std::string path;
    if (!Param(line, 1, path)) path = m_folder;
    int r = ForEachDeviceEntry(path, [&](const std::string& name, bool isFolder, uint32_t size) {
        bool lossy = false;
        std::string shown = m_host.Utf8ToAnsi(name, &lossy);
        if (lossy) shown = name;
        char text[1024];
        if (isFolder)
            std::snprintf(text, sizeof(text), " %s %s %s\n", "<DIR>", "          ", shown.c_str());
        else
            std::snprintf(text, sizeof(text), " %s %11d %s\n", "    ", static_cast<int>(size), shown.c_str());
        m_host.Print(text);
        return 0;
    });
    return r == 0 ? 0 : -1;
}

int CFileSystemShell::CmdMkdir(const std::string& line) {
    std::string w;
    if (!Param(line, 1, w)) return -1;
    return DeviceApiTable.gfslmkdir(Name(w).c_str(), 0) == 0 ? 0 : -1;
}

int CFileSystemShell::CmdRmdir(const std::string& line) {
    std::string w;
    if (!Param(line, 1, w)) return -1;
    return DeviceApiTable.gfslrmdir(Name(w).c_str()) == 0 ? 0 : -1;
}

int CFileSystemShell::CmdCleanDir(const std::string& line) {
    std::string w;
    if (!Param(line, 1, w)) return -1;
    std::string folder = Name(w);
    if (CleanDeviceFolder(m_host, m_host.Utf8ToAnsi(folder, nullptr)) != 0) return -1;
    return DeviceApiTable.gfslrmdir(folder.c_str()) == 0 ? 0 : -1;
}

int CFileSystemShell::CmdOpen(const std::string& line) {
    std::string w, mode;
    if (!Param(line, 1, w)) return -1;
    Param(line, 2, mode);
    std::string name = Name(w);
    int handle = DeviceApiTable.gfslfopen(name.c_str(), mode.c_str());
    char text[1024];
    if (handle < 0) {
        m_host.Print("File open failed\n");
        return -1;
    }
    std::snprintf(text, sizeof(text), "File %s opened with handle %d\n", m_host.Utf8ToAnsi(name, nullptr).c_str(), handle);
    m_host.Print(text);
    return 0;
}

int CFileSystemShell::CmdClose(const std::string& line) {
    std::string w;
    if (!Param(line, 1, w)) return -1;
    int handle = std::atoi(w.c_str());
    if (DeviceApiTable.gfslfclose(handle) != 0) {
        m_host.Print("File close failed\n");
        return -1;
    }
    char text[64];
    std::snprintf(text, sizeof(text), "File with handle %d closed\n", handle);
    m_host.Print(text);
    return 0;
}

int CFileSystemShell::CmdCloseAll(const std::string&) { return DeviceApiTable.gfslfcloseall() == 0 ? 0 : -1; }

namespace {
// Handle, size and host file of gfslRead and gfslWrite; false when they cannot be used.
bool TransferParams(const std::string& line, int* handle, long* size, std::string* file) {
    std::string w;
    if (!Param(line, 1, w)) return false;
    *handle = std::atoi(w.c_str());
    *size = ParamInt(line, 2);
    Param(line, 3, *file);
    return *size > 0 && *size <= kMaxTransfer;
}
}  // namespace

int CFileSystemShell::CmdRead(const std::string& line) {
    int handle;
    long size;
    std::string file;
    if (!TransferParams(line, &handle, &size, &file)) return -1;
    std::vector<char> buffer(static_cast<size_t>(size));
    FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return -1;
    uint32_t items = DeviceApiTable.gfslfread(buffer.data(), static_cast<uint32_t>(size), 1, handle);
    bool ok = items <= 1;
    if (ok && items == 1) ok = std::fwrite(buffer.data(), 1, buffer.size(), out) == buffer.size();
    ok = std::fclose(out) == 0 && ok;
    return ok ? 0 : -1;
}

int CFileSystemShell::CmdWrite(const std::string& line) {
    int handle;
    long size;
    std::string file;
    if (!TransferParams(line, &handle, &size, &file)) return -1;
    FILE* in = std::fopen(file.c_str(), "r");
    if (!in) return -1;
    // What the host file does not supply is written as zeros, never as leftover memory.
    std::vector<char> buffer(static_cast<size_t>(size), 0);
    size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    (void)got;
    std::fclose(in);
    return DeviceApiTable.gfslfwrite(buffer.data(), static_cast<uint32_t>(size), 1, handle) == 1 ? 0 : -1;
}

int CFileSystemShell::CmdDelete(const std::string& line) {
    std::string w;
    if (!Param(line, 1, w)) return -1;
    return DeviceApiTable.gfslunlink(Name(w).c_str()) == 0 ? 0 : -1;
}

int CFileSystemShell::CmdRename(const std::string& line) {
    std::string from, to;
    if (!Param(line, 1, from)) return -1;
    Param(line, 2, to);
    return DeviceApiTable.gfslrename(from.c_str(), to.c_str()) == 0 ? 0 : -1;
}

int CFileSystemShell::CmdTruncate(const std::string& line) {
    std::string w;
    if (!Param(line, 1, w)) return -1;
    return DeviceApiTable.gfsltruncate(Name(w).c_str(), ParamInt(line, 2)) == 0 ? 0 : -1;
}

int CFileSystemShell::CmdCopy(const std::string& line) {
    std::string src, dst;
    if (!Param(line, 1, src)) return -1;
    Param(line, 2, dst);
    m_host.Print("Srcfile " + src + "\n");
    m_host.Print("Desfile " + dst + "\n");
    int in = DeviceApiTable.gfslfopen(src.c_str(), "r");
    if (in < 0) return -1;
    int out = DeviceApiTable.gfslfopen(dst.c_str(), "w");
    if (out < 0) {
        DeviceApiTable.gfslfclose(in);
        return -1;
    }
    std::vector<char> buffer(kCopyPiece);
    int result = 0;
    for (;;) {
        uint32_t n = DeviceApiTable.gfslfread(buffer.data(), 1, kCopyPiece, in);
        if (n > kCopyPiece) { // the device's -1: a read error is not the end of the file
            result = -1;
            break;
        }
        char text[32];
        std::snprintf(text, sizeof(text), "%d read\n", static_cast<int>(n));
        m_host.Print(text);
        if (n == 0) break;
        if (DeviceApiTable.gfslfwrite(buffer.data(), 1, n, out) != n) {
            result = -1;
            break;
        }
    }
    if (DeviceApiTable.gfslfclose(out) != 0) result = -1;
    DeviceApiTable.gfslfclose(in);
    // A cut-off copy must not pass for one.
    if (result != 0 && DeviceApiTable.gfslunlink(dst.c_str()) != 0) PrintNotRemoved(m_host, dst);
    return result;
}

int CFileSystemShell::CmdExtCopy(const std::string& line) {
    std::string src, dst;
    if (!Param(line, 1, src)) return -1;
    Param(line, 2, dst);
    if (IsDevicePath(src)) {
        GFSL_STAT st;
        std::memset(&st, 0, sizeof(st));
        if (DeviceApiTable.gfslstat(src.c_str(), &st) != 0 || (st.attr & GFSL_ATTR_DIRECTORY)) return -1;
    } else {
        std::vector<HostEntry> entries;
        if (m_host.ListHostFolder(src, entries)) return -1;
    }
    // The shell's words are UTF-8 already; the copy takes ANSI paths like the volume tree's.
    return CopyFileHostDevice(m_host, m_host.Utf8ToAnsi(src, nullptr), m_host.Utf8ToAnsi(dst, nullptr));
}

int CFileSystemShell::CmdCopyDir(const std::string& line) {
    std::string src, dst;
    if (!Param(line, 1, src)) return -1;
    Param(line, 2, dst);
    std::string srcAnsi = m_host.Utf8ToAnsi(src, nullptr), dstAnsi = m_host.Utf8ToAnsi(dst, nullptr);
    if (IsDevicePath(srcAnsi) == IsDevicePath(dstAnsi) && InsideOf(srcAnsi, dstAnsi)) return -1;
    if (!MakeFolder(m_host, dstAnsi)) return -1;
    CopyTally tally;
    int r = CopyHostFolderTree(m_host, srcAnsi, dstAnsi, &tally);
    if (r == 0 && tally.copied == tally.total) return 0;
    // What is on the other side now, so the user knows how much of the folder arrived.
    m_host.Print(CopyCountText("Copy failed", tally) + "\n");
    return -1;
}

int CFileSystemShell::CmdCustomCB(const std::string& line, int number) {
    std::string first;
    if (!Param(line, 1, first)) return -1;
    int a = std::atoi(first.c_str()), b = ParamInt(line, 2), c = ParamInt(line, 3), d = ParamInt(line, 4);
    gfslCustomCallback1_fn cells[] = {
        DeviceApiTable.gfslCustomCallback1, DeviceApiTable.gfslCustomCallback2, DeviceApiTable.gfslCustomCallback3,
        DeviceApiTable.gfslCustomCallback4, DeviceApiTable.gfslCustomCallback5, DeviceApiTable.gfslCustomCallback6,
        DeviceApiTable.gfslCustomCallback7, DeviceApiTable.gfslCustomCallback8,
    };
    cells[number - 1](a, b, c, d);
    m_host.Print("CmdTest1\n");
    return 0;
}

}  // namespace lx
