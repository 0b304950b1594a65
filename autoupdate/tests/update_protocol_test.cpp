// The update client's protocol core: requests, the checksum over pieces, text and data replies as a
// server may split them, versions, and the names a server may send.
#include "update_protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace lx::update;

namespace {

std::vector<uint8_t> Utf16(const std::u16string& text) {
  std::vector<uint8_t> b;
  for (char16_t c : text) {
    b.push_back(static_cast<uint8_t>(c));
    b.push_back(static_cast<uint8_t>(c >> 8));
  }
  return b;
}

// Feeds the bytes in pieces of the given sizes (the last size repeats); the final status.
TextReply::Status FeedText(TextReply& reply, const std::vector<uint8_t>& bytes, const std::vector<size_t>& sizes) {
  TextReply::Status s = TextReply::Incomplete;
  size_t pos = 0, k = 0;
  while (pos < bytes.size()) {
    size_t n = std::min(sizes[std::min(k++, sizes.size() - 1)], bytes.size() - pos);
    s = reply.Add(bytes.data() + pos, n);
    pos += n;
  }
  return s;
}

const std::u16string kTwoFiles =
    u"ID:17\nProduct:1\nFile:Lumivex.exe\nRun:0\nFolder:\n"
    u"ID:18\nProduct:1\nFile:Tarn-Rook.dll\nRun:1\nFolder:\\External FS Module\n"
    u":::DONE:::\n";

TEST(UpdateRequest, IsUtf16WithoutTerminator) {
  std::vector<uint8_t> b = BuildRequest(u"Category", u"Lumivex");
  EXPECT_EQ(b, Utf16(u"Request:Category:Lumivex"));
  EXPECT_EQ(b.size(), 2u * 24u);
}

TEST(UpdateChecksum, CountsEachByteAtItsPositionWhateverTheSplit) {
  const uint8_t five[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(ChecksumOf(five, 5), 0x04030201u + 0x05u);  // a short last word is zero-padded
  std::vector<uint8_t> data(1031);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
  uint32_t whole = ChecksumOf(data.data(), data.size());
  for (size_t piece : {1u, 2u, 3u, 5u, 7u, 4096u}) {
    Checksum c;
    for (size_t pos = 0; pos < data.size(); pos += piece) c.Add(data.data() + pos, std::min(piece, data.size() - pos));
    EXPECT_EQ(c.Value(), whole) << "pieces of " << piece;
  }
  const uint8_t ff[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(ChecksumOf(ff, 8), 0xFFFFFFFEu);  // modulo 2^32
}

TEST(TextReplyTest, RecordsArriveWhateverTheSplit) {
  const std::vector<std::vector<size_t>> splits = {{100000}, {1}, {3}, {7, 1}, {4096}, {2, 5, 1, 9}};
  for (const auto& split : splits) {
    TextReply reply(kFileFields);
    ASSERT_EQ(FeedText(reply, Utf16(kTwoFiles), split), TextReply::Done) << split[0];
    ASSERT_EQ(reply.Records().size(), 2u);
    EXPECT_EQ(reply.Records()[0][kFileId], u"17");
    EXPECT_EQ(reply.Records()[0][kFileName], u"Lumivex.exe");
    EXPECT_EQ(reply.Records()[0][kFileFolder], u"");
    EXPECT_EQ(reply.Records()[1][kFileRun], u"1");
    EXPECT_EQ(reply.Records()[1][kFileFolder], u"\\External FS Module");
  }
}

TEST(TextReplyTest, EdgesOfTheLineFormat) {
  struct Case {
    const char* what;
    std::u16string text;
    size_t fields;
    TextReply::Status status;
    size_t records;
  };
  const Case cases[] = {
      {"empty list", u":::DONE:::\n", 5, TextReply::Done, 0},
      {"the value keeps later colons", u"a:b:c\n:\n:::DONE:::\n", 2, TextReply::Done, 1},
      {"no end line yet", u"a:1\nb:2\n", 2, TextReply::Incomplete, 0},
      {"end marker inside a value is no end", u"a:x:::DONE:::\nb:2\n", 2, TextReply::Incomplete, 0},
      {"a line without a colon", u"a:1\nbroken\n:::DONE:::\n", 2, TextReply::Malformed, 0},
      {"a record cut short", u"a:1\nb:2\nc:3\n:::DONE:::\n", 2, TextReply::Malformed, 0},
      {"text after the end is not ours", u"a:1\n:::DONE:::\ngarbage", 1, TextReply::Done, 1},
  };
  for (const Case& c : cases) {
    TextReply reply(c.fields);
    EXPECT_EQ(FeedText(reply, Utf16(c.text), {5}), c.status) << c.what;
    EXPECT_EQ(reply.Records().size(), c.records) << c.what;
    if (c.status == TextReply::Malformed) {
      EXPECT_FALSE(reply.Error().empty()) << c.what;
    }
  }
  TextReply reply(1);
  reply.Add(Utf16(u"a:").data(), 4);
  EXPECT_EQ(reply.Records().size(), 0u);
  EXPECT_EQ(reply.Add(Utf16(u"b\n:::DONE:::\n").data(), 26), TextReply::Done);
  EXPECT_EQ(reply.Records()[0][0], u"b");
}

TEST(TextReplyTest, ANeverEndingReplyIsRefused) {
  TextReply reply(kProductFields, 4096);
  std::vector<uint8_t> line = Utf16(u"Key:value\n");
  TextReply::Status s = TextReply::Incomplete;
  for (int i = 0; i < 1000 && s == TextReply::Incomplete; ++i) s = reply.Add(line.data(), line.size());
  EXPECT_EQ(s, TextReply::TooLong);
  EXPECT_EQ(reply.Add(line.data(), line.size()), TextReply::TooLong);  // and stays refused
}

struct Sink {
  std::vector<uint8_t> written;
  bool fail = false;
  DataReply::Writer Writer() {
    return [this](const uint8_t* d, size_t n) {
      if (fail) return false;
      written.insert(written.end(), d, d + n);
      return true;
    };
  }
};

std::vector<uint8_t> DataMessage(const std::vector<uint8_t>& file, uint32_t sumDelta = 0, uint32_t lengthDelta = 0) {
  uint32_t length = static_cast<uint32_t>(file.size()) + lengthDelta;
  uint32_t sum = ChecksumOf(file.data(), file.size()) + sumDelta;
  std::vector<uint8_t> m;
  for (uint32_t v : {length, sum})
    for (int i = 0; i < 4; ++i) m.push_back(static_cast<uint8_t>(v >> (8 * i)));
  m.insert(m.end(), file.begin(), file.end());
  return m;
}

TEST(DataReplyTest, HeaderAndDataInAnySplit) {
  std::vector<uint8_t> file(9001);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i ^ (i >> 8));
  std::vector<uint8_t> m = DataMessage(file);
  for (size_t piece : {1u, 3u, 5u, 8u, 4096u, 100000u}) {
    DataReply reply;
    Sink sink;
    DataReply::Status s = DataReply::Incomplete;
    for (size_t pos = 0; pos < m.size(); pos += piece) {
      ASSERT_EQ(s, DataReply::Incomplete);
      s = reply.Add(m.data() + pos, std::min(piece, m.size() - pos), sink.Writer());
    }
    EXPECT_EQ(s, DataReply::Complete) << "pieces of " << piece;
    EXPECT_EQ(sink.written, file);
  }
}

TEST(DataReplyTest, OnlyTheDeclaredLengthIsWritten) {
  std::vector<uint8_t> file = {10, 20, 30, 40, 50};
  std::vector<uint8_t> m = DataMessage(file);
  m.insert(m.end(), {0xEE, 0xEE, 0xEE});  // a server that sends more than it declared
  DataReply reply;
  Sink sink;
  EXPECT_EQ(reply.Add(m.data(), m.size(), sink.Writer()), DataReply::Complete);
  EXPECT_EQ(sink.written, file);
  EXPECT_EQ(reply.Dropped(), 3u);
  EXPECT_EQ(reply.Add(m.data(), 2, sink.Writer()), DataReply::Complete);
  EXPECT_EQ(sink.written, file);
}

TEST(DataReplyTest, AnnouncedLengthAboveTheLimitWritesNothing) {
  struct Case {
    uint32_t length;
    DataReply::Status status;
  } cases[] = {{kMaxDownload, DataReply::Incomplete}, {kMaxDownload + 1, DataReply::TooLarge},
               {300u << 20, DataReply::TooLarge}, {0xFFFFFFFFu, DataReply::TooLarge}};
  for (const Case& c : cases) {
    std::vector<uint8_t> m;
    for (uint32_t v : {c.length, 0u})
      for (int i = 0; i < 4; ++i) m.push_back(static_cast<uint8_t>(v >> (8 * i)));
    m.insert(m.end(), 4096, 0x55);
    DataReply reply;
    Sink sink;
    EXPECT_EQ(reply.Add(m.data(), m.size(), sink.Writer()), c.status) << c.length;
    EXPECT_EQ(sink.written.size(), c.status == DataReply::TooLarge ? 0u : 4096u) << c.length;
    reply.Reset();  // the limit survives a reset
    EXPECT_EQ(reply.Add(m.data(), m.size(), sink.Writer()), c.status) << c.length;
  }
  DataReply small(10);
  Sink sink;
  std::vector<uint8_t> file(11, 1);
  EXPECT_EQ(small.Add(DataMessage(file).data(), DataMessage(file).size(), sink.Writer()), DataReply::TooLarge);
  EXPECT_TRUE(sink.written.empty());
}

TEST(DataReplyTest, FailuresAndShortData) {
  std::vector<uint8_t> file(100, 7);
  struct Case {
    const char* what;
    std::vector<uint8_t> message;
    bool writerFails;
    DataReply::Status status;
  };
  const Case cases[] = {
      {"wrong checksum", DataMessage(file, 1), false, DataReply::ChecksumMismatch},
      {"short file", DataMessage(file, 0, 1), false, DataReply::Incomplete},
      {"disk full", DataMessage(file), true, DataReply::WriteFailed},
      {"empty file", DataMessage({}), false, DataReply::Complete},
      {"header only half", std::vector<uint8_t>(5, 0), false, DataReply::Incomplete},
  };
  for (const Case& c : cases) {
    DataReply reply;
    Sink sink;
    sink.fail = c.writerFails;
    EXPECT_EQ(reply.Add(c.message.data(), c.message.size(), sink.Writer()), c.status) << c.what;
  }
}

TEST(Versions, PartsAreSixteenBitFieldsOfOneNumber) {
  struct Case {
    std::u16string text;
    bool ok;
    uint64_t value;
  };
  const Case cases[] = {
      {u"2.0.0.1", true, 0x0002000000000001ull},
      {u"1.9.255.300", true, 0x0001000900FF012Cull},
      {u"65535.65535.65535.65535", true, 0xFFFFFFFFFFFFFFFFull},
      {u"1.2", true, 0x0001000200000000ull},  // missing parts count as 0
      {u"3", true, 0x0003000000000000ull},
      {u"0001.0.0.0", true, 0x0001000000000000ull},
      {u"1.65536.0.0", false, 0},  // would spill into the next part
      {u"99999999999.0.0.0", false, 0},
      {u"1.2.3.4.5", false, 0},
      {u"1..2", false, 0},
      {u"", false, 0},
      {u"1.2.", false, 0},
      {u" 1.2", false, 0},
      {u"-1.0", false, 0},
      {u"v1.0", false, 0},
  };
  for (const Case& c : cases) {
    uint64_t v = 0;
    EXPECT_EQ(ParseVersion(c.text, &v), c.ok) << Narrow(c.text);
    if (c.ok) {
      EXPECT_EQ(v, c.value) << Narrow(c.text);
    }
  }
  uint64_t server = 0, installed = FoldFileVersion(0x00010009, 0x00FF012C);
  ASSERT_TRUE(ParseVersion(u"2.0.0.1", &server));
  EXPECT_EQ(CompareVersions(server, installed), 1);
  EXPECT_EQ(CompareVersions(installed, installed), 0);
  EXPECT_EQ(CompareVersions(installed, server), -1);
  EXPECT_EQ(CompareVersions(server, 0), -1);  // no version information: never replaced
}

TEST(Names, OnlyPlainNamesAndRelativeFolders) {
  const std::u16string goodNames[] = {u"Lumivex.exe", u"Tarn-Rook.dll", u"read me.txt", u"\u00e9t\u00e9.ini",
                                      u".profile", u"console.txt", u"COM10", std::u16string(255, u'a'),
                                      u"COM\u00b9x", u"LPT\u00b4", u"COM\u2074.txt"};
  const std::u16string badNames[] = {
      u"", u".", u"..", u"..\\..\\x", u"../x", u"a\\b", u"a/b", u"C:\\Windows\\x.dll", u"C:x", u"\\\\server\\s\\x",
      u"/etc/passwd", u"file.txt:stream", u"*.exe", u"a?b", u"a<b", u"a|b", u"a\"b", u"a\tb", u"a\nb", u"x.", u"x ",
      u"CON", u"nul.txt", u"Com1", u"LPT9.log", u"aux ", std::u16string(256, u'a'),
      // superscript one, two and three are port numbers too, with or without an extension
      u"COM\u00b9", u"COM\u00b2", u"COM\u00b3", u"LPT\u00b9", u"LPT\u00b2", u"LPT\u00b3", u"com\u00b9.txt",
      u"lpt\u00b3.dll", u"Com\u00b2.a.b", u"COM\u00b9 .log"};
  for (const auto& n : goodNames) EXPECT_TRUE(IsPlainFileName(n)) << Narrow(n);
  for (const auto& n : badNames) EXPECT_FALSE(IsPlainFileName(n)) << Narrow(n);

  const std::u16string goodFolders[] = {u"", u"\\", u"\\External FS Module", u"a/b", u"a\\b\\", u"VBScript\\Lib"};
  const std::u16string badFolders[] = {u"..", u"\\..", u"a\\..\\..", u"a/../../b", u"C:\\Windows", u"c:",
                                       u"\\\\?\\C:\\x", u"a\\con", u"a\\.\\b", u"a\\b:s",
                                       u"a\\LPT\u00b9.x"};
  for (const auto& f : goodFolders) EXPECT_TRUE(IsRelativeFolder(f)) << Narrow(f);
  for (const auto& f : badFolders) EXPECT_FALSE(IsRelativeFolder(f)) << Narrow(f);

  EXPECT_EQ(JoinPath(u"C:\\Lumivex", u"\\External FS Module", u"Tarn-Rook.dll"),
            u"C:\\Lumivex\\External FS Module\\Tarn-Rook.dll");
  EXPECT_EQ(JoinPath(u"C:\\Lumivex\\", u"", u"Lumivex.exe"), u"C:\\Lumivex\\Lumivex.exe");
  EXPECT_EQ(JoinPath(u"C:\\", u"a//b\\", u"x"), u"C:\\a\\b\\x");
  EXPECT_EQ(JoinPath(u"C:\\Lumivex", u"\\sub", u""), u"C:\\Lumivex\\sub");
}

Record File(const std::u16string& name, const std::u16string& folder = u"") { return {u"1", u"", name, u"0", folder}; }

TEST(SelfUpdateTest, BothFilesOrNone) {
  std::vector<Record> files = {File(u"Lumivex.exe"), File(kSelfExe, u"\\Update"), File(u"a.dll"),
                               File(kSelfBatch, u"\\Update")};
  EXPECT_EQ(DetectSelfUpdate(&files), SelfUpdate::Complete);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0][kFileName], kSelfExe);
  EXPECT_EQ(files[1][kFileName], kSelfBatch);

  for (const char16_t* lone : {kSelfExe, kSelfBatch}) {
    files = {File(u"Lumivex.exe"), File(lone), File(u"a.dll")};
    EXPECT_EQ(DetectSelfUpdate(&files), SelfUpdate::Incomplete);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1][kFileName], u"a.dll");
  }
  files = {File(u"Lumivex.exe"), File(u"freshline_new.exe"), File(u"freshline_new.bat")};  // names are exact
  EXPECT_EQ(DetectSelfUpdate(&files), SelfUpdate::None);
  EXPECT_EQ(files.size(), 3u);
}

TEST(RunFlagTest, DecimalNotZero) {
  for (const char16_t* yes : {u"1", u"2", u"007", u" 1", u"10"}) EXPECT_TRUE(RunFlag(yes)) << Narrow(yes);
  for (const char16_t* no : {u"0", u"", u"000", u"no", u"-0"}) EXPECT_FALSE(RunFlag(no)) << Narrow(no);
}

}  // namespace
