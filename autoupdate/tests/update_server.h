// A stand-in for the maker's update server, for the tests: it serves a catalogue of products and
// files on a loopback port of its own choosing and can misbehave on request. It speaks the protocol
// as the client expects it (update_protocol.h) and runs on a thread of its own.
#pragma once
#include <winsock2.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lxtest {

struct ServedFile {
  std::u16string id, name, run = u"0", folder;
  std::vector<uint8_t> data;
};

struct ServedProduct {
  std::u16string id, file, version, folder, note;
  std::vector<ServedFile> files;
};

struct Misbehaviour {
  size_t piece = 0;            // replies start in pieces of this many bytes (0: whole)
  bool splitHeader = false;    // a data header in two pieces of 3 and 5 bytes
  int wrongChecksums = 0;      // the first n data replies carry a wrong checksum
  size_t shortBy = 0;          // data replies stop this many bytes short; then the server closes
  bool stallData = false;      // data replies stop halfway and the connection stays open
  bool stallText = false;      // text replies never send their end line
  bool malformedLine = false;  // a line of the product list has no ':'
  bool partialRecord = false;  // the file list ends inside a record
  size_t extraBytes = 0;       // bytes sent beyond a data reply's declared length
  bool closeAfterCategory = false;
  uint32_t declaredLength = 0;  // data headers announce this length (0: the file's own), then stall
  std::u16string greeting;     // text sent as soon as a client connects
};

class UpdateServer {
 public:
  UpdateServer();
  ~UpdateServer();
  uint16_t Port() const { return port_; }
  std::vector<ServedProduct> products;
  Misbehaviour bad;
  std::vector<std::string> Requests();
  int Connections() const { return connections_; }

 private:
  void Serve();
  void Answer(SOCKET s, const std::u16string& request, bool* close);
  bool Put(SOCKET s, const std::vector<uint8_t>& bytes);
  bool PutRaw(SOCKET s, const uint8_t* data, size_t n);

  SOCKET listener_ = INVALID_SOCKET;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  int checksumsSpoiled_ = 0;
  std::mutex lock_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

std::vector<uint8_t> Utf16Bytes(const std::u16string& text);

}  // namespace lxtest
