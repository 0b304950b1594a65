// A file the portable loops read or write in pieces (the explorers' imports, exports and scratch
// copies, the sector tools' copies), closed when it goes. Close tells whether what the library
// still held reached the disk: a loop that wrote counts its file whole only then.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace lx {

class ScopedFile {
 public:
  ScopedFile(const std::string& path, const char* mode) : file_(std::fopen(path.c_str(), mode)) {}
  ~ScopedFile() { Close(); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  explicit operator bool() const { return file_ != nullptr; }
  size_t Read(void* buffer, size_t bytes) { return std::fread(buffer, 1, bytes, file_); }
  bool Write(const void* data, size_t bytes) { return std::fwrite(data, 1, bytes, file_) == bytes; }
  // The file's length with 64-bit positions (the position goes back to the start); -1 when unknown.
  int64_t Bytes();
  bool Close();

 private:
  std::FILE* file_;
};

// Data that a failed rewrite could not put back on the device go into a file of their own that no
// later rewrite writes over (the scratch file is emptied by the very next one): folder +
// "__<stem>__.bin", or while that name is taken "__<stem>_2__.bin", "__<stem>_3__.bin" and on.
// The folder ends with its separator. The path, or "" when no file could be written whole.
std::string KeepInFileOfItsOwn(const std::string& folder, const std::string& stem, const uint8_t* data, size_t bytes);

}  // namespace lx
