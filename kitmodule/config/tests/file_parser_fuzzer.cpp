// Any bytes as a separated-text file: every operation must finish, and a sort must keep every
// non-empty line exactly once; text of another width is never rewritten (the sort refuses it and
// the file stays byte for byte).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "file_parser.h"

namespace {

std::vector<std::string> NonEmptyLines(const std::string& path) {
    std::vector<rook::ParsedLine> lines;
    if (!rook::ReadParsedLines(path, '#', lines)) std::abort();
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (!l.text.empty()) out.push_back(l.text);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/lx_fileparser_fuzz_" + std::to_string(getpid()) + ".txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    rook::CFileParser p;
    if (!p.SetFile(path)) return 0;
    std::string first = p.GetField(0, 0);
    p.GetField(1, 2);
    p.FindLine(first.empty() ? "NOR" : first);
    p.CountMatches(0, "NOR");
    p.SetFilter(0, "NOR");
    p.GetField(0, 2);
    p.FindLine("x");
    p.ClearFilter();

    std::vector<std::string> before = NonEmptyLines(path);
    std::string bytes(reinterpret_cast<const char*>(data), size);
    int sorted = p.SortByField(2);
    if (NonEmptyLines(path) != before) std::abort();
    if (sorted != 1) {
        // Refused: only text of another width may be, and it stays as it was.
        std::string after;
        if (!rook::ReadFileBytes(path, after, size + 1) || after != bytes) std::abort();
        if (size > 0 && bytes.find('\0') == std::string::npos && bytes.compare(0, 2, "\xFF\xFE") != 0 &&
            bytes.compare(0, 2, "\xFE\xFF") != 0)
            std::abort();
    }
    p.DeleteLine(0);
    p.AppendLine("NOR,Oska,OS29K128T,7E2301,");
    std::remove(path.c_str());
    return 0;
}
