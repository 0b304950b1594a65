// Fuzzes the client's reply handling with what a hostile server could send: the first byte picks
// the reply kind and the piece size, the rest is the reply. Checks what must hold for any input:
// data is never written past the declared length, the checksum over pieces equals the one over
// the whole, text replies end in one status and keep records only when complete, and every name
// that passes the checks stays below the installation folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "update_protocol.h"

using namespace lx::update;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckNames(const std::vector<Record>& records) {
  const std::u16string base = u"C:\\Lumivex";
  for (const Record& r : records) {
    for (const std::u16string& field : r) {
      uint64_t v = 0;
      ParseVersion(field, &v);
      if (IsRelativeFolder(field) && r.size() > 1 && IsPlainFileName(r[1])) {
        std::u16string path = JoinPath(base, field, r[1]);
        Check(path.compare(0, base.size() + 1, base + u"\\") == 0);
        // Below the base, every component is a plain name: no "..", no drive, no empty one.
        size_t pos = base.size() + 1;
        while (pos <= path.size()) {
          size_t stop = path.find(u'\\', pos);
          if (stop == std::u16string::npos) stop = path.size();
          Check(IsPlainFileName(path.substr(pos, stop - pos)));
          pos = stop + 1;
        }
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  ++data, --size;
  const size_t piece = 1 + (mode >> 2);

  if ((mode & 3) == 3) {
    DataReply reply;
    std::vector<uint8_t> written;
    DataReply::Status s = DataReply::Incomplete;
    for (size_t pos = 0; pos < size; pos += piece) {
      size_t n = size - pos < piece ? size - pos : piece;
      s = reply.Add(data + pos, n, [&](const uint8_t* d, size_t k) {
        written.insert(written.end(), d, d + k);
        return true;
      });
    }
    Check(written.size() <= reply.ExpectedLength());
    Check(written.size() == reply.Received());
    Check(reply.Received() + reply.Dropped() + (reply.HeaderRead() ? 8 : 0) == size || !reply.HeaderRead());
    Check(ChecksumOf(written.data(), written.size()) == reply.Sum());
    if (s == DataReply::Complete) Check(reply.Sum() == reply.ExpectedChecksum());
    if (s == DataReply::ChecksumMismatch) Check(reply.Sum() != reply.ExpectedChecksum());
    return 0;
  }

  TextReply reply((mode & 1) ? kProductFields : kFileFields, 64 * 1024);
  TextReply::Status s = TextReply::Incomplete;
  for (size_t pos = 0; pos < size && s == TextReply::Incomplete; pos += piece)
    s = reply.Add(data + pos, size - pos < piece ? size - pos : piece);
  if (s != TextReply::Done) Check(reply.Records().empty());
  for (const Record& r : reply.Records()) Check(r.size() == ((mode & 1) ? kProductFields : kFileFields));
  if (s == TextReply::Done && size <= 64 * 1024) {
    // The same bytes in one piece give the same records.
    TextReply whole((mode & 1) ? kProductFields : kFileFields, 64 * 1024);
    Check(whole.Add(data, size) == TextReply::Done && whole.Records() == reply.Records());
    std::vector<Record> files = reply.Records();
    size_t before = files.size();
    SelfUpdate self = DetectSelfUpdate(&files);
    Check(files.size() <= before);
    if (self == SelfUpdate::None) Check(files.size() == before);
  }
  CheckNames(reply.Records());
  return 0;
}
