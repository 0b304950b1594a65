#include <cstdio>
#include <cstring>

#include "lxmfc.h"

void CString::FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format ? format : "", copy);
  va_end(copy);
  if (n < 0) {
    s_.clear();
    return;
  }
  std::vector<char> out(static_cast<size_t>(n) + 1);
  std::vsnprintf(out.data(), out.size(), format ? format : "", args);
  s_.assign(out.data(), static_cast<size_t>(n));
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void CString::AppendFormat(const char* format, ...) {
  CString more;
  va_list args;
  va_start(args, format);
  more.FormatV(format, args);
  va_end(args);
  s_ += more.s_;
}

int CString::Find(char ch, int start) const {
  if (start < 0 || start > GetLength()) return -1;
  size_t pos = s_.find(ch, static_cast<size_t>(start));
  return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const char* sub, int start) const {
  if (!sub || start < 0 || start > GetLength()) return -1;
  size_t pos = s_.find(sub, static_cast<size_t>(start));
  return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const {
  size_t pos = s_.rfind(ch);
  return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int count) const {
  if (count < 0) count = 0;
  return CString(s_.substr(0, static_cast<size_t>(count)));
}

CString CString::Right(int count) const {
  if (count < 0) count = 0;
  if (count >= GetLength()) return *this;
  return CString(s_.substr(s_.size() - static_cast<size_t>(count)));
}

CString CString::Mid(int first, int count) const {
  if (first < 0) first = 0;
  if (first >= GetLength()) return CString();
  return CString(count < 0 ? s_.substr(static_cast<size_t>(first))
                           : s_.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

BOOL CString::LoadString(UINT id) {
  char text[4096];
  int n = ::LoadStringA(AfxGetResourceHandle(), id, text, sizeof text);
  if (n <= 0) return FALSE;
  s_.assign(text, static_cast<size_t>(n));
  return TRUE;
}

char* CString::GetBuffer(int minLength) {
  size_t size = static_cast<size_t>(minLength > GetLength() ? minLength : GetLength()) + 1;
  buffer_.assign(size, '\0');
  std::memcpy(buffer_.data(), s_.data(), s_.size());
  return buffer_.data();
}

void CString::ReleaseBuffer(int newLength) {
  if (buffer_.empty()) return;
  size_t length = newLength < 0 ? strnlen(buffer_.data(), buffer_.size())
                                : static_cast<size_t>(newLength) < buffer_.size() ? static_cast<size_t>(newLength)
                                                                                  : buffer_.size() - 1;
  s_.assign(buffer_.data(), length);
  buffer_.clear();
}
