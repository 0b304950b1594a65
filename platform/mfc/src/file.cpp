#include <cstring>
#include <deque>
#include <mutex>

#include "lxmfc.h"

BOOL CFileException::GetErrorMessage(char* text, UINT maxLength, UINT* helpContext) const {
  if (helpContext) *helpContext = 0;
  if (!text || maxLength == 0) return FALSE;
  text[0] = '\0';
  char system[1024] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(m_lOsError), 0, system, sizeof system, nullptr);
  while (n > 0 && (system[n - 1] == '\r' || system[n - 1] == '\n' || system[n - 1] == ' ')) system[--n] = '\0';
  CString message;
  if (n) message.Format("%s\n%s", m_strFileName.GetString(), system);
  else message.Format("An error occurred while accessing %s (error %ld).", m_strFileName.GetString(), m_lOsError);
  lstrcpynA(text, message, static_cast<int>(maxLength));
  return TRUE;
}

CFile::~CFile() { Close(); }

BOOL CFile::Open(const char* fileName, UINT flags, CFileException* error) {
  Close();
  DWORD access = (flags & 3) == modeWrite ? GENERIC_WRITE
                 : (flags & 3) == modeReadWrite ? GENERIC_READ | GENERIC_WRITE
                                                : GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  if (flags & modeCreate) disposition = (flags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
  m_hFile = CreateFileA(fileName, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (m_hFile == INVALID_HANDLE_VALUE) {
    if (error) {
      error->m_lOsError = static_cast<LONG>(GetLastError());
      error->m_cause = error->m_lOsError == ERROR_FILE_NOT_FOUND   ? CFileException::fileNotFound
                       : error->m_lOsError == ERROR_PATH_NOT_FOUND ? CFileException::badPath
                       : error->m_lOsError == ERROR_ACCESS_DENIED  ? CFileException::accessDenied
                                                                   : CFileException::genericException;
      error->m_strFileName = fileName ? fileName : "";
    }
    return FALSE;
  }
  char full[MAX_PATH * 2];
  DWORD n = GetFullPathNameA(fileName, sizeof full, full, nullptr);
  path_ = n && n < sizeof full ? full : fileName;
  return TRUE;
}

UINT CFile::Read(void* buffer, UINT count) {
  UINT total = 0;
  while (total < count) {
    DWORD got = 0;
    if (!ReadFile(m_hFile, static_cast<char*>(buffer) + total, count - total, &got, nullptr) || got == 0) break;
    total += got;
  }
  return total;
}

BOOL CFile::Write(const void* buffer, UINT count) {
  UINT total = 0;
  while (total < count) {
    DWORD put = 0;
    if (!WriteFile(m_hFile, static_cast<const char*>(buffer) + total, count - total, &put, nullptr) || put == 0)
      return FALSE;
    total += put;
  }
  return TRUE;
}

void CFile::Close() {
  if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
  m_hFile = INVALID_HANDLE_VALUE;
}

ULONGLONG CFile::GetLength() const {
  LARGE_INTEGER size;
  if (m_hFile == INVALID_HANDLE_VALUE || !GetFileSizeEx(m_hFile, &size)) return 0;
  return static_cast<ULONGLONG>(size.QuadPart);
}

namespace {
std::mutex g_answersLock;
std::deque<std::pair<bool, std::string>> g_answers;
}  // namespace

void CFileDialog::QueueTestAnswer(const char* path) {
  std::lock_guard<std::mutex> lock(g_answersLock);
  g_answers.emplace_back(path != nullptr, path ? path : "");
}

void CFileDialog::ClearTestAnswers() {
  std::lock_guard<std::mutex> lock(g_answersLock);
  g_answers.clear();
}

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExt, const char* fileName, DWORD flags,
                         const char* filter, CWnd* parent)
    : open_(openFileDialog), file_(MAX_PATH * 4, '\0') {
  std::memset(&m_ofn, 0, sizeof m_ofn);
  m_ofn.lStructSize = sizeof m_ofn;
  m_ofn.hwndOwner = parent ? parent->m_hWnd : nullptr;
  m_ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING;
  if (fileName) lstrcpynA(file_.data(), fileName, static_cast<int>(file_.size()));
  if (defaultExt) defaultExt_ = defaultExt;
  if (filter) {
    // "Text (*.txt)|*.txt||" is the framework's form; Win32 wants NUL separators.
    filter_ = filter;
    for (char& ch : filter_)
      if (ch == '|') ch = '\0';
    filter_.push_back('\0');
  }
}

INT_PTR CFileDialog::DoModal() {
  {
    std::lock_guard<std::mutex> lock(g_answersLock);
    if (!g_answers.empty()) {
      auto answer = g_answers.front();
      g_answers.pop_front();
      if (!answer.first) return IDCANCEL;
      lstrcpynA(file_.data(), answer.second.c_str(), static_cast<int>(file_.size()));
      return IDOK;
    }
  }
  m_ofn.lpstrFile = file_.data();
  m_ofn.nMaxFile = static_cast<DWORD>(file_.size());
  m_ofn.lpstrFilter = filter_.empty() ? nullptr : filter_.c_str();
  m_ofn.lpstrDefExt = defaultExt_.empty() ? nullptr : defaultExt_.c_str();
  BOOL ok = open_ ? GetOpenFileNameA(&m_ofn) : GetSaveFileNameA(&m_ofn);
  return ok ? IDOK : IDCANCEL;
}

CString CFileDialog::GetFileName() const {
  CString path = GetPathName();
  int slash = path.ReverseFind('\\');
  return slash < 0 ? path : path.Mid(slash + 1);
}

CString CFileDialog::GetFileTitle() const {
  CString name = GetFileName();
  int dot = name.ReverseFind('.');
  return dot < 0 ? name : name.Left(dot);
}
