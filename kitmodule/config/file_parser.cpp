#include "file_parser.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#endif

namespace rook {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { if (f) std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool MoveReplacing(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

std::string FieldOf(const std::string& line, int column, char separator) {
    if (column < 0) return std::string();
    size_t start = 0;
    for (int k = 0; k < column; ++k) {
        size_t cut = line.find(separator, start);
        if (cut == std::string::npos) return std::string();
        start = cut + 1;
    }
    size_t end = line.find(separator, start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool ReadParsedLines(const std::string& path, char commentChar, std::vector<ParsedLine>& lines) {
    lines.clear();
    std::string data;
    if (path.empty() || !ReadFileBytes(path, data, kMaxParsedFile)) return false;
    size_t start = 0;
    int number = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        size_t next = end == std::string::npos ? data.size() : end + 1;
        if (end == std::string::npos) end = data.size();
        ParsedLine l;
        l.fileLine = ++number;
        l.text = data.substr(start, end - start);
        while (!l.text.empty() && l.text.back() == '\r') l.text.pop_back();
        l.ending = data.substr(start + l.text.size(), next - start - l.text.size());
        l.comment = !l.text.empty() && l.text[0] == commentChar;
        if (!l.comment) {
            if (l.text.size() > kMaxRecordLine)
                l.refused = "longer than " + std::to_string(kMaxRecordLine) + " characters";
            else if (l.text.find('\0') != std::string::npos)
                l.refused = "holds a NUL character";
        }
        lines.push_back(std::move(l));
        start = next;
    }
    return true;
}

bool IsWideText(const std::string& data) {
    if (data.size() >= 2 && ((data[0] == '\xFF' && data[1] == '\xFE') || (data[0] == '\xFE' && data[1] == '\xFF')))
        return true;
    // Without a mark: text of another width has a NUL in most of its characters; 8-bit text has
    // none, or a stray one.
    size_t n = data.size() < 4096 ? data.size() : 4096, nuls = 0;
    for (size_t i = 0; i < n; ++i) nuls += data[i] == '\0';
    return nuls >= 4 && nuls * 4 >= n;
}

bool ReadFileBytes(const std::string& path, std::string& data, size_t limit) {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) return false;
    data.clear();
    char buffer[16384];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
        if (data.size() + got > limit) return false;
        data.append(buffer, got);
    }
    return !std::ferror(f.get());
}

namespace {

#ifdef _WIN32
const char kLineEnd[] = "\r\n";
#else
const char kLineEnd[] = "\n";
#endif

// Writes the temporary file whole, then puts it in place of `path`.
bool WriteAndReplace(const std::string& path, const std::string& data) {
    const std::string temp = path + "~";
    bool ok;
    {
        FilePtr f(std::fopen(temp.c_str(), "wb"));
        if (!f) return false;
        ok = std::fwrite(data.data(), 1, data.size(), f.get()) == data.size();
        if (std::fflush(f.get()) != 0 || std::ferror(f.get())) ok = false;
        if (std::fclose(f.release()) != 0) ok = false;
    }
    if (ok) ok = MoveReplacing(temp, path);
    if (!ok) std::remove(temp.c_str());
    return ok;
}

}  // namespace

bool ReplaceFileWithBytes(const std::string& path, const std::string& data) { return WriteAndReplace(path, data); }

bool ReplaceFileWithLines(const std::string& path, const std::vector<const ParsedLine*>& lines) {
    std::string data;
    for (const ParsedLine* l : lines) {
        // The file's last line may end without a line feed (nothing, or a lone CR); moved before
        // another line it would swallow that line, so it gets one.
        std::string ending = l->ending;
        if (ending.empty()) ending = kLineEnd;
        else if (ending.back() != '\n') ending += '\n';
        data += l->text + ending;
    }
    return WriteAndReplace(path, data);
}

int CFileParser::SetFile(const std::string& path) {
    path_.clear();
    if (path.empty()) return 0;
    FilePtr f(std::fopen(path.c_str(), "r"));
    if (!f) return 0;
    path_ = path;
    return 1;
}

void CFileParser::ReleaseFile() {
    path_.clear();
    refused_.clear();
}

int CFileParser::Open() {
    if (path_.empty()) return 0;
    FilePtr f(std::fopen(path_.c_str(), "r+"));
    return f ? 1 : 0;
}

bool CFileParser::Load(std::vector<ParsedLine>& lines, bool forRewrite) {
    refused_.clear();
    if (!ReadParsedLines(path_, comment_, lines)) return false;
    if (forRewrite) {
        // Lines of a file of another width are cut at bytes that are not line ends: written back in
        // a new order they would make no text at all.
        std::string data;
        for (const ParsedLine& l : lines) data += l.text + l.ending;
        if (IsWideText(data)) return false;
    }
    for (const ParsedLine& l : lines)
        if (!l.refused.empty()) refused_.push_back(l);
    return true;
}

bool CFileParser::Counted(const ParsedLine& l) const {
    if (!IsRecord(l)) return false;
    return keyValue_.empty() || EqualNoCase(FieldOf(l.text, keyColumn_, separator_), keyValue_);
}

int CFileParser::CountMatches(int column, const std::string& value) {
    std::vector<ParsedLine> lines;
    if (value.empty() || !Load(lines)) return 0;
    int n = 0;
    for (const ParsedLine& l : lines)
        if (IsRecord(l) && EqualNoCase(FieldOf(l.text, column, separator_), value)) ++n;
    return n;
}

std::string CFileParser::GetField(int line, int column) {
    std::vector<ParsedLine> lines;
    if (line < 0 || !Load(lines)) return std::string();
    int index = 0;
    for (const ParsedLine& l : lines) {
        if (!Counted(l)) continue;
        if (index++ == line) return FieldOf(l.text, column, separator_);
    }
    return std::string();
}

int CFileParser::FindLine(const std::string& text) {
    std::vector<ParsedLine> lines;
    if (text.empty() || !Load(lines)) return -1;
    int index = 0;
    for (const ParsedLine& l : lines) {
        if (!Counted(l)) continue;
        size_t start = 0;
        for (;;) {
            size_t end = l.text.find(separator_, start);
            std::string field = l.text.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (EqualNoCase(field, text)) return index;
            if (end == std::string::npos) break;
            start = end + 1;
        }
        ++index;
    }
    return -1;
}

int CFileParser::FindField(int column, const std::string& text) {
    std::vector<ParsedLine> lines;
    if (text.empty() || !Load(lines)) return -1;
    int index = 0;
    for (const ParsedLine& l : lines) {
        if (!Counted(l)) continue;
        if (EqualNoCase(FieldOf(l.text, column, separator_), text)) return index;
        ++index;
    }
    return -1;
}

int CFileParser::AppendLine(const std::string& text) {
    // A line end inside the text would make two records of one.
    if (text.empty() || text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return 0;
    if (path_.empty()) return 0;
    std::string data;
    if (!ReadFileBytes(path_, data, kMaxParsedFile) || IsWideText(data)) return 0;
    FilePtr f(std::fopen(path_.c_str(), "a"));
    if (!f) return 0;
    // A last line without its line end would otherwise swallow the new record.
    bool ok = true;
    if (!data.empty() && data.back() != '\n') ok = std::fputc('\n', f.get()) != EOF;
    ok = ok && std::fwrite(text.data(), 1, text.size(), f.get()) == text.size() && std::fputc('\n', f.get()) != EOF;
    ok = std::fflush(f.get()) == 0 && ok;
    return ok ? 1 : 0;
}

int CFileParser::DeleteLine(int line) {
    std::vector<ParsedLine> lines;
    if (line < 0 || !Load(lines, true)) return 0;
    std::vector<const ParsedLine*> kept;
    int index = 0;
    bool found = false;
    for (const ParsedLine& l : lines) {
        if (Counted(l) && index++ == line) {
            found = true;
            continue;
        }
        kept.push_back(&l);
    }
    if (!found) return 0;
    return ReplaceFileWithLines(path_, kept) ? 1 : 0;
}

int CFileParser::SortByField(int column) {
    std::vector<ParsedLine> lines;
    if (!Load(lines, true)) return 0;
    std::vector<const ParsedLine*> out;
    for (const ParsedLine& l : lines)
        if (l.comment) out.push_back(&l);
    for (const ParsedLine& l : lines)
        if (!l.comment && !l.refused.empty()) out.push_back(&l);
    struct Keyed {
        std::string key;
        const ParsedLine* line;
    };
    std::vector<Keyed> records;
    for (const ParsedLine& l : lines)
        if (IsRecord(l) && !l.text.empty()) records.push_back({FieldOf(l.text, column, separator_), &l});
    // Stable: records with the same key keep their order, and none of them is lost or doubled.
    std::stable_sort(records.begin(), records.end(),
                     [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    for (const Keyed& r : records) out.push_back(r.line);
    return ReplaceFileWithLines(path_, out) ? 1 : 0;
}

}  // namespace rook
