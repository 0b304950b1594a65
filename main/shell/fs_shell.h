// The file-system shell of a command thread: the words that work on the volumes of the bound
// device module (mount, format, cd, dir, files by handle, copies between device and host, the
// custom callbacks). Everything reaches the device through DeviceApiTable.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "tool_host.h"

namespace lx {

struct HostEntry {
    std::string name;
    bool folder;
};

// What the shell needs from the thread that owns it and from the host system. Questions and
// the pumping of waiting messages during long copies come with the ToolHost.
class ShellHost : public ToolHost {
public:
    // Output into the thread's view (the caller's text carries its own line breaks).
    virtual void Print(const std::string& text) = 0;
    // Mounting goes through the program's one pair of state functions, so the masks stay true.
    virtual int Mount(int volume) = 0;
    virtual int Unmount(int volume) = 0;
    // Text conversions between the ANSI code page and UTF-8; lossy is set when a substitute was needed.
    virtual std::string AnsiToUtf8(const std::string& text) { return text; }
    virtual std::string Utf8ToAnsi(const std::string& text, bool* lossy) {
        if (lossy) *lossy = false;
        return text;
    }

    // The host file system.
    virtual bool ListHostFolder(const std::string& folder, std::vector<HostEntry>& entries);
    virtual bool CreateHostFolder(const std::string& path);
    // Whether the path names a file or folder (*folder says which).
    virtual bool HostItemExists(const std::string& path, bool* folder);
    virtual bool RemoveHostFile(const std::string& path);
};

// How far a folder copy got.
struct CopyTally {
    int total = 0;    // files the copy set out to copy
    int copied = 0;   // files copied whole
    int skipped = 0;  // files left out after a question, or replaced by a later file of the same copy
};
// "<what>: <copied> of <total> files copied."
std::string CopyCountText(const char* what, const CopyTally& tally);

// The destination files one copy has written. A volume takes names that differ only in case for
// the same file, so a later file of the copy can land on an earlier one: it is found here as the
// copy's own work, not as a file that was there before.
class CopiedNames {
public:
    void Add(const std::string& path) { names_.insert(Folded(path)); }
    bool Has(const std::string& path) const { return names_.count(Folded(path)) != 0; }

private:
    static std::string Folded(const std::string& path);
    std::set<std::string> names_;
};

// Copies one file between any two places (device paths begin with '/'). 0 on success; -1 when
// either side cannot be opened, a read fails or a write falls short (nothing is reported as
// copied then, and the cut-off destination is removed); 1 when no buffer is available.
int CopyFileHostDevice(ShellHost& host, const std::string& source, const std::string& destination);
// Empties a device folder recursively; the folder itself stays.
int CleanDeviceFolder(ShellHost& host, const std::string& folder);
// Copies the contents of a folder recursively, device to host, host to device or device to device.
// A name the destination already has is asked about ("already exists. Replace it?"). 0 when the
// copy went through (files the user chose to leave out are counted in the tally), -1 when it
// stopped; the tally, when given, says how many files it copied of how many.
int CopyHostFolderTree(ShellHost& host, const std::string& source, const std::string& destination,
                       CopyTally* tally = nullptr);

class CFileSystemShell {
public:
    // The word's code (2..33), 0 when the word is not a shell word.
    static int LookupCommand(const std::string& word);
    // The n-th word (n = 1 is the command word); see the .cpp for the counting rules.
    static int GetArgument(const std::string& line, std::string& word, int n);

    CFileSystemShell(ShellHost& host, std::string& currentFolder) : m_host(host), m_folder(currentFolder) {}

    // Runs a line whose first word is a shell word with a handler; false (and nothing run) when it
    // is not one, so the line goes on to the consoles. result receives the handler's result.
    bool Execute(const std::string& line, int* result);

    int CmdMount(const std::string& line);
    int CmdUnmount(const std::string& line);
    int CmdFormat(const std::string& line);
    int CmdCd(const std::string& line);
    int CmdDir(const std::string& line);
    int CmdMkdir(const std::string& line);
    int CmdRmdir(const std::string& line);
    int CmdCleanDir(const std::string& line);
    int CmdOpen(const std::string& line);
    int CmdClose(const std::string& line);
    int CmdCloseAll(const std::string& line);
    int CmdRead(const std::string& line);
    int CmdWrite(const std::string& line);
    int CmdDelete(const std::string& line);
    int CmdRename(const std::string& line);
    int CmdTruncate(const std::string& line);
    int CmdCopy(const std::string& line);
    int CmdExtCopy(const std::string& line);
    int CmdCopyDir(const std::string& line);
    int CmdCustomCB(const std::string& line, int number);

    static const size_t kFolderCapacity = 256; // the thread's current-folder buffer

private:
    std::string Name(const std::string& word) const;
    int MountWord(const std::string& line, bool mount);

    ShellHost& m_host;
    std::string& m_folder;
};

}  // namespace lx
