// CFileParser: reader and writer of line-oriented text files whose lines are records of fields cut by a
// separator, with comment lines that begin with a comment character. Every operation reads the attached
// file afresh and keeps nothing open between calls, so a file edited elsewhere is seen at once. A rewrite
// (sort, delete) goes to "<path>~" first and replaces the file only once that copy is whole.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rook {

// One line of the file as read: its text without the line end, and why it is not a record when it is not.
struct ParsedLine {
    std::string text;
    std::string ending;  // the line end as the file has it ("\n", "\r\n", ...; empty for a last line without one)
    int fileLine = 0;    // from 1, as an editor numbers it
    bool comment = false;
    std::string refused; // empty for a usable line
};

// A line longer than this is not taken as a record (it is kept in the file untouched).
constexpr size_t kMaxRecordLine = 4096;
// A file larger than this is not read at all.
constexpr size_t kMaxParsedFile = 16u << 20;

// Reads a whole file into lines; false when it cannot be opened or read or is too large.
// Carriage returns before the "\n" are dropped, so files written with either line end read alike.
bool ReadParsedLines(const std::string& path, char commentChar, std::vector<ParsedLine>& lines);

// Field `column` (from 0) of `line`: the text between the column-th and the next separator; empty beyond.
std::string FieldOf(const std::string& line, int column, char separator);

// True for bytes that are not 8-bit text but UTF-16 or UTF-32 (a byte-order mark, or NUL bytes
// between the characters): such a file is read as it is but never rewritten line by line.
bool IsWideText(const std::string& data);

// Equal without regard to ASCII case.
bool EqualNoCase(const std::string& a, const std::string& b);

// Reads a whole file as bytes; false when it cannot be opened or read or is larger than `limit`.
bool ReadFileBytes(const std::string& path, std::string& data, size_t limit);

// Writes `data` as it is (no line end is changed) to "<path>~" and puts that file in place of `path`;
// on any failure the old file stays as it was and the temporary file is removed.
bool ReplaceFileWithBytes(const std::string& path, const std::string& data);

// Writes `lines` (each followed by its own line end, the platform's for a line that had none) to
// "<path>~" and puts that file in place of `path`. On any failure the old file stays as it was and
// the temporary file is removed.
bool ReplaceFileWithLines(const std::string& path, const std::vector<const ParsedLine*>& lines);

class CFileParser {
public:
    CFileParser() = default;
    virtual ~CFileParser() = default;

    // 1 when `path` names a file that opens for reading (the path is attached); 0 and no file otherwise.
    virtual int SetFile(const std::string& path);
    virtual void ReleaseFile();
    // Checks that the attached file opens for reading and writing; 1 on success.
    virtual int Open();
    virtual void Close() {}
    virtual char SetCommentChar(char c) { comment_ = c; return c; }
    virtual char SetSeparator(char c) { separator_ = c; return c; }
    // Rewrites the file: comment lines first in their order, then the records in ascending byte order of
    // field `column`; records with equal keys keep their order and empty lines are dropped. Refused
    // (over-long) lines are kept after the comments. Every line keeps its bytes and its line end. A file
    // that is not 8-bit text (IsWideText) is not rewritten: 0. DeleteLine and AppendLine refuse it too.
    virtual int SortByField(int column);
    virtual int CountMatches(int column, const std::string& value);
    virtual void SetFilter(int column, const std::string& value) { keyColumn_ = column; keyValue_ = value; }
    virtual std::string GetFilter() const { return keyValue_; }
    virtual void ClearFilter() { keyColumn_ = 0; keyValue_.clear(); }
    virtual std::string GetField(int line, int column);
    virtual int FindLine(const std::string& text);
    // The counted-line index of the first counted line whose field `column` equals the text without
    // regard to case; -1 as FindLine. A record is named by one field: a name must not be found in
    // another record's type, size or ID.
    int FindField(int column, const std::string& text);
    virtual int AppendLine(const std::string& text);
    virtual int DeleteLine(int line);

    const std::string& Path() const { return path_; }
    char Separator() const { return separator_; }
    // The lines of the last read that were not taken as records, and why.
    const std::vector<ParsedLine>& RefusedLines() const { return refused_; }

private:
    bool Load(std::vector<ParsedLine>& lines, bool forRewrite = false);
    bool IsRecord(const ParsedLine& l) const { return !l.comment && l.refused.empty(); }
    bool Counted(const ParsedLine& l) const;

    std::string path_;
    char comment_ = '#';
    char separator_ = ',';
    int keyColumn_ = 0;
    std::string keyValue_;
    std::vector<ParsedLine> refused_;
};

}  // namespace rook
