#include "script_host_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#endif

namespace lx {

#ifdef _WIN32
namespace {

// The path once from UTF-8 to the wide file API, so no code page stands between the script
// and the file's name.
bool WidePath(const std::string& utf8, std::wstring* wide) {
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1, nullptr, 0);
  if (n <= 0) return false;
  wide->assign(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1, &(*wide)[0], n);
  wide->pop_back();
  return true;
}

std::string Failure(const char* what, const std::string& path) {
  return std::string(what) + " \"" + path + "\" (error " + std::to_string(::GetLastError()) + ")";
}

}  // namespace

bool ReadHostFile(const std::string& utf8Path, uint8_t* into, uint32_t count, uint32_t* got, std::string* error) {
  *got = 0;
  std::wstring path;
  if (!WidePath(utf8Path, &path)) {
    *error = "the path is not valid text";
    return false;
  }
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = Failure("cannot open", utf8Path);
    return false;
  }
  bool ok = true;
  while (*got < count) {
    DWORD n = 0;
    DWORD want = count - *got > (1u << 24) ? (1u << 24) : count - *got;
    if (!ReadFile(file, into + *got, want, &n, nullptr)) {
      *error = Failure("cannot read", utf8Path);
      ok = false;
      break;
    }
    if (n == 0) break;
    *got += n;
  }
  CloseHandle(file);
  return ok;
}

bool WriteHostFile(const std::string& utf8Path, const uint8_t* from, uint32_t count, std::string* error) {
  std::wstring path;
  if (!WidePath(utf8Path, &path)) {
    *error = "the path is not valid text";
    return false;
  }
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = Failure("cannot create", utf8Path);
    return false;
  }
  uint32_t done = 0;
  bool ok = true;
  while (done < count) {
    DWORD n = 0;
    DWORD want = count - done > (1u << 24) ? (1u << 24) : count - done;
    if (!WriteFile(file, from + done, want, &n, nullptr) || n == 0) {
      *error = Failure("cannot write", utf8Path);
      ok = false;
      break;
    }
    done += n;
  }
  if (!CloseHandle(file) && ok) {
    *error = Failure("cannot write", utf8Path);
    ok = false;
  }
  return ok;
}
#else
bool ReadHostFile(const std::string& utf8Path, uint8_t* into, uint32_t count, uint32_t* got, std::string* error) {
  *got = 0;
  FILE* file = std::fopen(utf8Path.c_str(), "rb");
  if (!file) {
    *error = "cannot open \"" + utf8Path + "\" (" + std::strerror(errno) + ")";
    return false;
  }
  *got = static_cast<uint32_t>(std::fread(into, 1, count, file));
  bool ok = !std::ferror(file);
  if (!ok) *error = "cannot read \"" + utf8Path + "\"";
  std::fclose(file);
  return ok;
}

bool WriteHostFile(const std::string& utf8Path, const uint8_t* from, uint32_t count, std::string* error) {
  FILE* file = std::fopen(utf8Path.c_str(), "wb");
  if (!file) {
    *error = "cannot create \"" + utf8Path + "\" (" + std::strerror(errno) + ")";
    return false;
  }
  bool ok = std::fwrite(from, 1, count, file) == count;
  if (std::fclose(file) != 0) ok = false;
  if (!ok) *error = "cannot write \"" + utf8Path + "\"";
  return ok;
}
#endif

}  // namespace lx
