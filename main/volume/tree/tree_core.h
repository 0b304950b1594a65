// The volume tree's work without windows: paths of both sides, copies of files and folder trees
// in the four directions (PC to volume, volume to PC, volume to volume, PC to PC) with progress,
// cancel and an honest count, moves that never lose a source, the paste rules, the counts of a
// folder, and the texts of the properties window.
//
// Every path here is UTF-8, built once from the items' names. A path that begins with '/' is a
// volume path and goes to the device API (DeviceApiTable) as it is; any other is a PC path and
// goes to the host's wide file functions (POSIX calls in the native build).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fs_shell.h"
#include "tool_host.h"

namespace lx {
namespace voltree {

// ---- paths ----
bool IsVolumePath(const std::string& path);
// folder + "/" + name (one separator).
std::string JoinPath(const std::string& folder, const std::string& name);
// The folder part of a path ("" for a root).
std::string ParentPath(const std::string& path);
// True when inner is outer or lies below it (separators '/' and '\\' alike, ASCII case ignored:
// FAT and the PC's file systems ignore case).
bool PathInside(const std::string& outer, const std::string& inner);
// The longest paths the two sides take: the volume layer converts up to 510 UTF-16 units; the
// PC's wide functions take 259 characters without the long-path prefix.
size_t PathLimit(const std::string& path);
size_t Utf16Length(const std::string& utf8);
bool PathTooLong(const std::string& path);
// The name a pasted source gets in its new folder: a root ("/a", "t:") gives its letter.
std::string PasteName(const std::string& itemText, bool isRoot);

// UTF-8 <-> UTF-16 without loss checks beyond what the bytes allow (invalid bytes become U+FFFD).
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

// ---- one entry of a folder listing ----
struct TreeEntry {
    std::string name;  // UTF-8
    bool folder = false;
};

// Lists a folder of either side without "." and ".."; false when it cannot be read.
bool ListFolder(const std::string& path, std::vector<TreeEntry>& entries);

// ---- the host side (PC paths) ----
struct HostStatus {
    bool exists = false;
    uint32_t attributes = 0;  // Windows attribute bits (0x10 folder)
    uint64_t size = 0;
};
HostStatus HostStat(const std::string& path);
bool HostMakeFolder(const std::string& path);
bool HostRemoveFolder(const std::string& path);  // an empty folder only
bool HostRemoveFile(const std::string& path);
bool HostRename(const std::string& from, const std::string& to);  // never replaces
FILE* HostOpen(const std::string& path, bool write);

// ---- either side ----
// Attribute byte of a path: volume through gfslstat into a zeroed record (a failed query reads as
// a file, 0); PC through the host. exists is false when the query failed.
uint32_t ItemAttributes(const std::string& path, bool* exists);
bool IsFolder(const std::string& path);
bool MakeFolder(const std::string& path);

// ---- what a copy asks of the window side ----
// Questions and messages (message-box types and answers), pumping between entries and the
// progress window's Cancel (StopRequested) come with the ToolHost; a copy needs its own progress
// window besides.
class TreeCopyUi : public ToolHost {
public:
    // The progress window of a copy of `total` files; visible for folder copies only. False when
    // it cannot be made.
    virtual bool BeginProgress(int total, bool visible) {
        (void)total;
        (void)visible;
        return true;
    }
    virtual void StepProgress(const std::string& name) { (void)name; }
    virtual void EndProgress() {}
};

// Results of a copy: 0 every file copied; -1 failed or stopped by the user's Cancel on a
// question; 1 no memory for the buffer; -2 cancelled in the progress window; 2 ended, but some
// files were skipped (the user chose to go on past them).
enum CopyResult { kCopyDone = 0, kCopyFailed = -1, kCopyNoMemory = 1, kCopyCancelled = -2, kCopyPartial = 2 };

class TreeCopier {
public:
    explicit TreeCopier(TreeCopyUi& ui) : ui_(ui) {}
    // The contents of a folder into an existing folder, recursively.
    int CopyFolderTree(const std::string& source, const std::string& destination);
    // CopyItem of the tree: counts, opens the progress window and copies a file or a folder's
    // contents. replaceWithoutAsking: the destination file is a scratch copy.
    int CopyItem(const std::string& source, const std::string& destination, bool isFolder,
                 bool replaceWithoutAsking = false);
    const CopyTally& tally() const { return tally_; }

private:
    int CopyTreeAt(const std::string& source, const std::string& destination, int depth);
    int CopyOneFile(const std::string& source, const std::string& destination, bool replaceWithoutAsking);
    TreeCopyUi& ui_;
    CopyTally tally_;
    CopiedNames written_;
    std::vector<char> buffer_;
};

// Adds the sub-folders, files and file bytes found below a path, at any depth (the caller zeroes
// the counters). longest, when given, receives the longest path found below, relative to path
// (in UTF-16 units, with its leading separator). Result 0, or -1 when a folder could not be read
// or the folders nest deeper than a sound volume can.
int CountFolderContents(const std::string& path, int* folders, int* files, uint64_t* bytes,
                        size_t* longest = nullptr);

// ---- paste ----
struct PasteOutcome {
    int result = 0;            // CopyResult, or kCopyFailed before any copy
    bool quiet = false;        // nothing to do and nothing said
    std::string folder;        // the destination folder (the target or its parent)
    bool sourceRemoved = false;
    CopyTally tally;
};

// The folder a paste onto target goes into: the target itself, or the folder of a target file.
// A PC target whose attributes cannot be read is taken as a folder (the copy then says it failed).
std::string PasteFolderOf(const std::string& target);

// Pastes the recorded source into the target (its folder when the target is a file); moves when
// cut. Says everything it has to say through ui.Ask: the copy's outcome ("Copy finished." only
// when every file was copied), the removal's failure. A move removes the source only after a
// copy of every file; a destination inside the source is refused.
PasteOutcome Paste(TreeCopyUi& ui, const std::string& source, const std::string& sourceName,
                   const std::string& target, bool cut);

// Removes an item of either side: a volume folder is emptied first, a PC folder only goes when
// empty. 0 on success.
int RemoveItem(const std::string& path);

// ---- properties ----
// "%A, %B %d, %Y, %I:%M:%S %p" of a local time; "" for a date that does not exist.
std::string FormatTime(int year, int month, int day, int hour, int minute, int second);
// A FAT date and time; "" when the date or the time is invalid (month 0, day 0, hour 24, ...).
std::string FormatDosDateTime(uint16_t date, uint16_t time);

struct ItemProperties {
    bool found = false;
    std::string type, location, size, created, modified, accessed;
    uint8_t attributes = 0;
};
// Reads what the properties window shows of a path of either side.
ItemProperties ReadProperties(const std::string& path);
// "<bytes> Bytes" or, for a folder, "<bytes> Bytes (<files> Files, <folders> Folders)".
std::string FormatSize(uint64_t bytes, const int* files, const int* folders);

// The temporary copy of an opened volume file: <folder>/~<seconds>.<ext>; a name without '.'
// is taken whole as the extension.
std::string TempCopyName(const std::string& folder, const std::string& name, uint32_t seconds);

// The device module's read error.
constexpr uint32_t kDeviceReadError = 0xFFFFFFFFu;
constexpr uint32_t kCopyPiece = 0x20000;

}  // namespace voltree
}  // namespace lx
