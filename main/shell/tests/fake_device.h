// An in-memory device behind DeviceApiTable for the shell's tests: folders, files, handles,
// and failures on demand.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

struct FakeDevice {
    std::set<std::string> folders;                       // "/a", "/a/x"
    std::map<std::string, std::vector<char>> files;      // "/a/x/f.txt"
    std::set<std::string> failReads;                     // files whose reads report an error
    std::set<std::string> failUnlinks;                   // files whose removal is refused
    std::vector<std::string> calls;                      // "mount 0", "format /a FAT16 WINDOWS 0", "cb5 1 2 0 0"
    int openHandles = 0;
    size_t writeBudget = SIZE_MAX;                       // bytes still accepted before writes fall short

    static FakeDevice& Install();                        // fresh device, table cells pointed at it
    static void Uninstall();                             // cells back to stubs
    static std::string Norm(const std::string& p);
};
