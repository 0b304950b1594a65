#include "update_server.h"

#include <chrono>

#include "update_protocol.h"

namespace lxtest {

namespace {

void Le32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool Readable(SOCKET s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv = {ms / 1000, (ms % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &tv) == 1;
}

}  // namespace

std::vector<uint8_t> Utf16Bytes(const std::u16string& text) {
  std::vector<uint8_t> b;
  for (char16_t c : text) {
    b.push_back(static_cast<uint8_t>(c));
    b.push_back(static_cast<uint8_t>(c >> 8));
  }
  return b;
}

UpdateServer::UpdateServer() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;  // the system picks a free port
  bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int size = sizeof a;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
  port_ = ntohs(a.sin_port);
  listen(listener_, 4);
  thread_ = std::thread([this] { Serve(); });
}

UpdateServer::~UpdateServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  closesocket(listener_);
  WSACleanup();
}

std::vector<std::string> UpdateServer::Requests() {
  std::lock_guard<std::mutex> g(lock_);
  return requests_;
}

bool UpdateServer::PutRaw(SOCKET s, const uint8_t* data, size_t n) {
  while (n > 0) {
    int k = send(s, reinterpret_cast<const char*>(data), static_cast<int>(n), 0);
    if (k <= 0) return false;
    data += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

bool UpdateServer::Put(SOCKET s, const std::vector<uint8_t>& bytes) {
  // The first few kilobytes go out in pieces (each reply's start, the data header with it), the
  // rest at once: a whole file in 3-byte pieces would take minutes.
  size_t pos = 0;
  if (bad.piece) {
    for (; pos < bytes.size() && pos < 4096; pos += bad.piece) {
      if (!PutRaw(s, bytes.data() + pos, std::min(bad.piece, bytes.size() - pos))) return false;
      Sleep(1);  // so that the pieces arrive as pieces
    }
  }
  return pos >= bytes.size() || PutRaw(s, bytes.data() + pos, bytes.size() - pos);
}

void UpdateServer::Serve() {
  while (!stop_) {
    if (!Readable(listener_, 50)) continue;
    SOCKET s = accept(listener_, nullptr, nullptr);
    if (s == INVALID_SOCKET) continue;
    ++connections_;
    BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    if (!bad.greeting.empty()) Put(s, Utf16Bytes(bad.greeting));
    bool close = false;
    while (!stop_ && !close) {
      if (!Readable(s, 50)) continue;
      // A request is what one send of the client carries; a short pause gathers it whole.
      std::vector<uint8_t> got;
      char buffer[4096];
      do {
        int n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) {
          close = true;
          break;
        }
        got.insert(got.end(), buffer, buffer + n);
      } while (Readable(s, 20));
      if (got.empty()) break;
      std::u16string request;
      for (size_t i = 0; i + 1 < got.size(); i += 2) request += static_cast<char16_t>(got[i] | got[i + 1] << 8);
      {
        std::lock_guard<std::mutex> g(lock_);
        requests_.push_back(lx::update::Narrow(request));
      }
      if (!close) Answer(s, request, &close);
    }
    closesocket(s);
  }
}

void UpdateServer::Answer(SOCKET s, const std::u16string& request, bool* close) {
  const std::u16string end = bad.stallText ? u"" : u":::DONE:::\n";
  auto arg = [&](const char16_t* kind) -> const std::u16string* {
    static thread_local std::u16string value;
    std::u16string prefix = std::u16string(u"Request:") + kind + u":";
    if (request.compare(0, prefix.size(), prefix) != 0) return nullptr;
    value = request.substr(prefix.size());
    return &value;
  };
  if (arg(u"Category")) {
    std::u16string text;
    for (const ServedProduct& p : products) {
      text += u"ID:" + p.id + u"\nFile:" + p.file + u"\nVersion:" + p.version + u"\nFolder:" + p.folder +
              u"\nReserved:\nReserved:\nReserved:\nNote:" + p.note + u"\n";
      if (bad.malformedLine) text += u"this line has no separator\n";
    }
    Put(s, Utf16Bytes(text + end));
    if (bad.closeAfterCategory) *close = true;
    return;
  }
  if (const std::u16string* id = arg(u"Version")) {
    std::u16string text;
    for (const ServedProduct& p : products) {
      if (p.id != *id) continue;
      for (const ServedFile& f : p.files)
        text += u"ID:" + f.id + u"\nProduct:" + p.id + u"\nFile:" + f.name + u"\nRun:" + f.run + u"\nFolder:" +
                f.folder + u"\n";
    }
    if (bad.partialRecord) text += u"ID:999\nProduct:1\n";
    Put(s, Utf16Bytes(text + end));
    return;
  }
  if (const std::u16string* id = arg(u"Data")) {
    const ServedFile* file = nullptr;
    for (const ServedProduct& p : products)
      for (const ServedFile& f : p.files)
        if (f.id == *id) file = &f;
    if (!file) {
      *close = true;
      return;
    }
    std::vector<uint8_t> header;
    uint32_t sum = lx::update::ChecksumOf(file->data.data(), file->data.size());
    if (checksumsSpoiled_ < bad.wrongChecksums) {
      ++checksumsSpoiled_;
      sum += 1;
    }
    Le32(&header, bad.declaredLength ? bad.declaredLength : static_cast<uint32_t>(file->data.size()));
    Le32(&header, sum);
    std::vector<uint8_t> body = file->data;
    if (bad.shortBy) body.resize(body.size() > bad.shortBy ? body.size() - bad.shortBy : 0);
    if (bad.stallData) body.resize(body.size() / 2);
    body.insert(body.end(), bad.extraBytes, 0xEE);
    if (bad.splitHeader) {
      PutRaw(s, header.data(), 3);
      Sleep(30);
      PutRaw(s, header.data() + 3, 5);
      Sleep(30);
      Put(s, body);
    } else {
      header.insert(header.end(), body.begin(), body.end());
      Put(s, header);
    }
    if (bad.shortBy) *close = true;
    return;
  }
  *close = true;  // not a request of ours
}

}  // namespace lxtest
