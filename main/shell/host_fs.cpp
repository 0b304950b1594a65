// The host side of the shell's copies: listing and creating host folders, finding and removing files.
#include "fs_shell.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lx {

#ifdef _WIN32
bool ShellHost::ListHostFolder(const std::string& folder, std::vector<HostEntry>& entries) {
    std::string pattern = folder;
    if (pattern.empty() || (pattern.back() != '/' && pattern.back() != '\\')) pattern += "/";
    pattern += "*.*";
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    do {
        entries.push_back({fd.cFileName, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return true;
}

bool ShellHost::CreateHostFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool ShellHost::HostItemExists(const std::string& path, bool* folder) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (folder) *folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

bool ShellHost::RemoveHostFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }
#else
bool ShellHost::ListHostFolder(const std::string& folder, std::vector<HostEntry>& entries) {
    DIR* d = opendir(folder.c_str());
    if (!d) return false;
    while (dirent* e = readdir(d)) {
        struct stat st;
        std::string full = folder + "/" + e->d_name;
        bool isFolder = stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        entries.push_back({e->d_name, isFolder});
    }
    closedir(d);
    return true;
}

bool ShellHost::CreateHostFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool ShellHost::HostItemExists(const std::string& path, bool* folder) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    if (folder) *folder = S_ISDIR(st.st_mode);
    return true;
}

bool ShellHost::RemoveHostFile(const std::string& path) { return unlink(path.c_str()) == 0; }
#endif

}  // namespace lx
