#include "update_protocol.h"

#include <algorithm>

namespace lx {
namespace update {

namespace {

constexpr size_t kDoneLength = sizeof(kDoneLine) / sizeof(kDoneLine[0]) - 1;

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

bool AtLineStart(const std::u16string& text, size_t pos) { return pos == 0 || text[pos - 1] == u'\n'; }

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool IsDeviceName(const std::u16string& name) {
  // The part before the first dot decides: "nul.txt" is the device as well.
  std::u16string stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.pop_back();
  std::u16string up;
  for (char16_t c : stem) up += Upper(c);
  for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
    if (up == device) return true;
  // Windows counts the superscript digits one, two and three as port numbers as well.
  auto portDigit = [](char16_t c) { return (c >= u'0' && c <= u'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3; };
  if (up.size() == 4 && (up.compare(0, 3, u"COM") == 0 || up.compare(0, 3, u"LPT") == 0) && portDigit(up[3]))
    return true;
  return false;
}

}  // namespace

std::vector<uint8_t> BuildRequest(const std::u16string& kind, const std::u16string& argument) {
  std::u16string text = u"Request:" + kind + u":" + argument;
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

// ------------------------------------------------------------------------------------------------

void Checksum::Add(const uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i, ++position_)
    sum_ += static_cast<uint32_t>(data[i]) << (8 * (position_ & 3));
}

uint32_t ChecksumOf(const uint8_t* data, size_t n) {
  Checksum c;
  c.Add(data, n);
  return c.Value();
}

// ------------------------------------------------------------------------------------------------

void Utf16Pieces::Add(const uint8_t* data, size_t n, std::u16string* text) {
  size_t i = 0;
  if (odd_ && n > 0) {
    *text += static_cast<char16_t>(pending_ | data[0] << 8);
    odd_ = false;
    i = 1;
  }
  for (; i + 1 < n; i += 2) *text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  if (i < n) {
    pending_ = data[i];
    odd_ = true;
  }
}

void TextReply::Reset(size_t fieldsPerRecord) {
  fields_ = fieldsPerRecord;
  bytes_ = 0;
  decoder_ = Utf16Pieces();
  text_.clear();
  searched_ = 0;
  status_ = Incomplete;
  records_.clear();
  error_.clear();
}

TextReply::Status TextReply::Fail(Status s, const std::string& why) {
  status_ = s;
  error_ = why;
  records_.clear();
  return s;
}

TextReply::Status TextReply::Add(const uint8_t* data, size_t n) {
  if (status_ != Incomplete) return status_;  // whatever follows a finished reply is not ours
  if (n > maxBytes_ - bytes_) return Fail(TooLong, "the reply is longer than " + std::to_string(maxBytes_) + " bytes");
  bytes_ += n;
  decoder_.Add(data, n, &text_);
  // Look for the end line only where it could have been completed by this piece.
  size_t from = searched_ >= kDoneLength ? searched_ - kDoneLength + 1 : 0;
  for (size_t pos = text_.find(kDoneLine, from); pos != std::u16string::npos; pos = text_.find(kDoneLine, pos + 1)) {
    if (AtLineStart(text_, pos)) return Parse(pos);
  }
  searched_ = text_.size();
  return Incomplete;
}

TextReply::Status TextReply::Parse(size_t end) {
  records_.clear();
  size_t pos = 0;
  while (pos < end) {
    Record record;
    for (size_t f = 0; f < fields_; ++f) {
      if (pos >= end) {
        return Fail(Malformed, "a record of " + std::to_string(record.size()) + " lines where " +
                                   std::to_string(fields_) + " belong");
      }
      size_t eol = text_.find(u'\n', pos);  // there is one: the end line follows
      size_t colon = text_.find(u':', pos);
      if (colon == std::u16string::npos || colon > eol) {
        return Fail(Malformed, "a line without ':' (\"" + Narrow(text_.substr(pos, std::min<size_t>(eol - pos, 40))) +
                                   "\")");
      }
      record.push_back(text_.substr(colon + 1, eol - colon - 1));
      pos = eol + 1;
    }
    records_.push_back(std::move(record));
  }
  status_ = Done;
  return Done;
}

// ------------------------------------------------------------------------------------------------

void DataReply::Reset() { *this = DataReply(maxLength_); }

DataReply::Status DataReply::Add(const uint8_t* data, size_t n, const Writer& write) {
  if (status_ != Incomplete) {
    dropped_ += n;
    return status_;
  }
  if (headerBytes_ < 8) {
    // The header itself may come in pieces.
    while (headerBytes_ < 8 && n > 0) {
      header_[headerBytes_++] = *data++;
      --n;
    }
    if (headerBytes_ < 8) return Incomplete;
    length_ = Le32(header_);
    expected_ = Le32(header_ + 4);
    if (length_ > maxLength_) {
      dropped_ += n;
      return status_ = TooLarge;
    }
  }
  size_t take = std::min<uint64_t>(n, static_cast<uint64_t>(length_ - received_));
  if (take > 0) {
    if (!write(data, take)) return status_ = WriteFailed;
    sum_.Add(data, take);
    received_ += static_cast<uint32_t>(take);
  }
  dropped_ += n - take;
  if (received_ < length_) return Incomplete;
  return status_ = (sum_.Value() == expected_ ? Complete : ChecksumMismatch);
}

// ------------------------------------------------------------------------------------------------

bool ParseVersion(const std::u16string& text, uint64_t* value) {
  uint64_t v = 0;
  int parts = 0;
  size_t pos = 0;
  for (;;) {
    size_t dot = text.find(u'.', pos);
    size_t stop = dot == std::u16string::npos ? text.size() : dot;
    if (stop == pos || ++parts > 4) return false;
    uint32_t part = 0;
    for (size_t i = pos; i < stop; ++i) {
      if (text[i] < u'0' || text[i] > u'9') return false;
      part = part * 10 + static_cast<uint32_t>(text[i] - u'0');
      if (part > 0xFFFF) return false;
    }
    v = v << 16 | part;
    if (dot == std::u16string::npos) break;
    pos = dot + 1;
  }
  for (; parts < 4; ++parts) v <<= 16;
  *value = v;
  return true;
}

int CompareVersions(uint64_t server, uint64_t installed) {
  if (installed == 0 || server < installed) return -1;
  return server == installed ? 0 : 1;
}

// ------------------------------------------------------------------------------------------------

bool IsPlainFileName(const std::u16string& name) {
  if (name.empty() || name.size() > 255 || name == u"." || name == u"..") return false;
  for (char16_t c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::u16string(u"\\/:*?\"<>|").find(c) != std::u16string::npos) return false;
  }
  if (name.back() == u'.' || name.back() == u' ') return false;
  return !IsDeviceName(name);
}

bool IsRelativeFolder(const std::u16string& folder) {
  size_t pos = 0;
  while (pos <= folder.size()) {
    size_t stop = pos;
    while (stop < folder.size() && !IsSeparator(folder[stop])) ++stop;
    if (stop > pos && !IsPlainFileName(folder.substr(pos, stop - pos))) return false;
    pos = stop + 1;
  }
  return folder.size() < 260;
}

std::u16string JoinPath(const std::u16string& base, const std::u16string& folder, const std::u16string& name) {
  std::u16string path = base;
  while (!path.empty() && IsSeparator(path.back())) path.pop_back();
  size_t pos = 0;
  while (pos < folder.size()) {
    size_t stop = pos;
    while (stop < folder.size() && !IsSeparator(folder[stop])) ++stop;
    if (stop > pos) path += u"\\" + folder.substr(pos, stop - pos);
    pos = stop + 1;
  }
  if (!name.empty()) path += u"\\" + name;
  return path;
}

// ------------------------------------------------------------------------------------------------

SelfUpdate DetectSelfUpdate(std::vector<Record>* files) {
  auto named = [](const Record& r, const char16_t* name) { return r.size() > kFileName && r[kFileName] == name; };
  bool exe = false, batch = false;
  for (const Record& r : *files) {
    exe = exe || named(r, kSelfExe);
    batch = batch || named(r, kSelfBatch);
  }
  if (!exe && !batch) return SelfUpdate::None;
  bool complete = exe && batch;
  files->erase(std::remove_if(files->begin(), files->end(),
                              [&](const Record& r) {
                                bool self = named(r, kSelfExe) || named(r, kSelfBatch);
                                return complete ? !self : self;
                              }),
               files->end());
  return complete ? SelfUpdate::Complete : SelfUpdate::Incomplete;
}

bool RunFlag(const std::u16string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    if (text[i] != u'0') return true;
  return false;
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace update
}  // namespace lx
