#include "loop_file.h"

#include "lumivex/text_format.h"

namespace lx {

int64_t ScopedFile::Bytes() {
  if (!file_) return -1;
#ifdef _WIN32
  if (_fseeki64(file_, 0, SEEK_END) != 0) return -1;
  const int64_t bytes = _ftelli64(file_);
  if (_fseeki64(file_, 0, SEEK_SET) != 0) return -1;
#else
  if (fseeko(file_, 0, SEEK_END) != 0) return -1;
  const int64_t bytes = ftello(file_);
  if (fseeko(file_, 0, SEEK_SET) != 0) return -1;
#endif
  return bytes;
}

bool ScopedFile::Close() {
  if (!file_) return true;
  const bool flushed = std::fclose(file_) == 0;
  file_ = nullptr;
  return flushed;
}

std::string KeepInFileOfItsOwn(const std::string& folder, const std::string& stem, const uint8_t* data, size_t bytes) {
  for (unsigned n = 1; n <= 999; ++n) {
    const std::string path = folder + (n == 1 ? Format("__%s__.bin", stem.c_str()) : Format("__%s_%u__.bin", stem.c_str(), n));
    if (std::FILE* existing = std::fopen(path.c_str(), "rb")) {
      std::fclose(existing);
      continue;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return std::string();
    const bool whole = std::fwrite(data, 1, bytes, file) == bytes;
    if (std::fclose(file) != 0 || !whole) {
      std::remove(path.c_str());
      return std::string();
    }
    return path;
  }
  return std::string();
}

}  // namespace lx
