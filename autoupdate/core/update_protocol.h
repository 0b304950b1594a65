// The update client's side of the update server's protocol, free of Windows headers so that it is
// tested natively and fuzzed: requests, the additive checksum, text replies (records of lines),
// data replies (an 8-byte header, then the file), version texts, and the checks that keep the
// names a server sends inside the installation folder.
//
// Wire format (TCP):
//   request   UTF-16LE "Request:<kind>:<argument>", no terminator, kinds Category, Version, Data
//   text      UTF-16LE lines "<key>:<value>\n"; a record is a fixed number of lines (8 per product,
//             5 per file), fields taken by position; the reply ends with the line ":::DONE:::\n"
//   data      u32 LE length, u32 LE checksum, then `length` bytes of the file
//   checksum  the 32-bit sum of the data read as LE u32 words, a short last word padded with zeros
//
// The server owes us nothing: pieces of any size (odd ones included) arrive in any split, and every
// value of a reply is untrusted until checked here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lx {
namespace update {

constexpr uint16_t kDefaultPort = 1000;
constexpr char16_t kDoneLine[] = u":::DONE:::\n";
constexpr size_t kProductFields = 8;
constexpr size_t kFileFields = 5;
// More text than any list of products or files could need: a server that goes on is refused.
constexpr size_t kMaxTextReply = 1u << 20;

// Fields of a product record (reply to the category request).
enum ProductField { kProductId = 0, kProductFile = 1, kProductVersion = 2, kProductFolder = 3, kProductNote = 7 };
// Fields of a file record (reply to a version request).
enum FileField { kFileId = 0, kFileName = 2, kFileRun = 3, kFileFolder = 4 };

using Record = std::vector<std::u16string>;

// "Request:<kind>:<argument>" as the UTF-16LE bytes that go on the wire.
std::vector<uint8_t> BuildRequest(const std::u16string& kind, const std::u16string& argument);

// The additive checksum, fed in pieces of any length: each byte counts at its position in the whole
// data, so the split does not change the sum.
class Checksum {
 public:
  void Add(const uint8_t* data, size_t n);
  uint32_t Value() const { return sum_; }
  void Reset() { sum_ = 0, position_ = 0; }

 private:
  uint32_t sum_ = 0;
  uint64_t position_ = 0;
};
uint32_t ChecksumOf(const uint8_t* data, size_t n);

// UTF-16LE text from pieces of any length: a character cut in two waits for its second byte.
class Utf16Pieces {
 public:
  void Add(const uint8_t* data, size_t n, std::u16string* text);

 private:
  bool odd_ = false;
  uint8_t pending_ = 0;
};

// One text reply, accumulated from its pieces. Add answers Incomplete until the end line has
// arrived, then Done with every record, or Malformed (a line without ':', a record cut short by the
// end line, text that is not UTF-16) or TooLong; records are kept only for a Done reply.
class TextReply {
 public:
  enum Status { Incomplete, Done, Malformed, TooLong };
  explicit TextReply(size_t fieldsPerRecord, size_t maxBytes = kMaxTextReply)
      : fields_(fieldsPerRecord), maxBytes_(maxBytes) {}
  Status Add(const uint8_t* data, size_t n);
  Status State() const { return status_; }
  const std::vector<Record>& Records() const { return records_; }
  const std::string& Error() const { return error_; }
  void Reset(size_t fieldsPerRecord);

 private:
  Status Parse(size_t end);
  Status Fail(Status s, const std::string& why);

  size_t fields_;
  size_t maxBytes_;
  size_t bytes_ = 0;
  Utf16Pieces decoder_;
  std::u16string text_;
  size_t searched_ = 0;  // the end line is looked for only in text that came since
  Status status_ = Incomplete;
  std::vector<Record> records_;
  std::string error_;
};

// More than any file of the product: a download that announces more is refused before a byte of
// it is written.
constexpr uint32_t kMaxDownload = 128u << 20;

// One data reply: the header may come split over pieces; the data goes to the writer up to the
// declared length and not a byte further (what a server sends beyond it is counted and dropped).
// A declared length above the limit is TooLarge, and nothing goes to the writer.
class DataReply {
 public:
  enum Status { Incomplete, Complete, ChecksumMismatch, WriteFailed, TooLarge };
  using Writer = std::function<bool(const uint8_t* data, size_t n)>;
  explicit DataReply(uint32_t maxLength = kMaxDownload) : maxLength_(maxLength) {}
  Status Add(const uint8_t* data, size_t n, const Writer& write);
  void Reset();
  bool HeaderRead() const { return headerBytes_ == 8; }
  uint32_t ExpectedLength() const { return length_; }
  uint32_t ExpectedChecksum() const { return expected_; }
  uint32_t Received() const { return received_; }
  uint32_t Sum() const { return sum_.Value(); }
  uint64_t Dropped() const { return dropped_; }

 private:
  uint8_t header_[8] = {};
  size_t headerBytes_ = 0;
  uint32_t maxLength_;
  uint32_t length_ = 0, expected_ = 0, received_ = 0;
  Checksum sum_;
  uint64_t dropped_ = 0;
  Status status_ = Incomplete;
};

// "a.b.c.d" folded into one number of four 16-bit fields. One to four parts of decimal digits, each
// at most 65,535; missing parts count as 0. False for anything else (empty parts, signs, spaces,
// more than four parts, a part above 65,535).
bool ParseVersion(const std::u16string& text, uint64_t* value);
// The installed file's version from its fixed version information (most and least significant
// 32 bits); 0 when the file has none.
inline uint64_t FoldFileVersion(uint32_t ms, uint32_t ls) { return (static_cast<uint64_t>(ms) << 32) | ls; }
// 1 when the server's version is newer, 0 when equal, -1 when older or the installed file has no
// version (such a component is never replaced).
int CompareVersions(uint64_t server, uint64_t installed);

// A plain file name: not empty, no folder separators, no drive or stream colon, no wildcards or
// other characters Windows refuses, no control characters, not "." or "..", no trailing dot or
// space, not a device name (CON, NUL, COM1, ...), at most 255 characters.
bool IsPlainFileName(const std::u16string& name);
// A sub-folder below the installation folder: plain names joined by '\' or '/'. Empty components
// (a leading, trailing or doubled separator) are allowed and left out; ".." is not.
bool IsRelativeFolder(const std::u16string& folder);
// base + "\" + folder + "\" + name with single separators; folder and name must have passed the
// checks above.
std::u16string JoinPath(const std::u16string& base, const std::u16string& folder, const std::u16string& name);

// The files that replace the client itself.
constexpr char16_t kSelfExe[] = u"Freshline_new.exe";
constexpr char16_t kSelfBatch[] = u"Freshline_new.bat";
enum class SelfUpdate {
  None,       // no record names either file: the list is left as it is
  Complete,   // both files are listed: every other record was removed
  Incomplete  // only one of them: it was removed (a half self-update could not run), the rest stays
};
SelfUpdate DetectSelfUpdate(std::vector<Record>* files);

// Decimal run flag of a file record: not 0 means start the file after copying it.
bool RunFlag(const std::u16string& text);

std::string Narrow(const std::u16string& text);  // for logs of the tests: non-ASCII becomes '?'

}  // namespace update
}  // namespace lx
