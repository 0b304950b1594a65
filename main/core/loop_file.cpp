#include "loop_file.h"

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

}  // namespace lx
