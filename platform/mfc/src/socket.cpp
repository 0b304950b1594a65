#include "lxmfc_socket.h"

#include <cstring>

namespace {

constexpr UINT kSocketMessage = WM_USER + 0x5C;
const char kNotifyClass[] = "LxSocketNotify";
const char kObjectProp[] = "LxSocketObject";

bool RegisterNotifyClass(WNDPROC proc) {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kNotifyClass;
  registered = RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return registered;
}

// Waits until the socket is writable (connected, or room to send) or the time is up.
bool WaitWritable(SOCKET s, DWORD timeoutMs) {
  fd_set write, error;
  FD_ZERO(&write);
  FD_ZERO(&error);
  FD_SET(s, &write);
  FD_SET(s, &error);
  timeval tv = {static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
  return select(0, nullptr, &write, &error, &tv) == 1 && FD_ISSET(s, &write);
}

}  // namespace

BOOL AfxSocketInit(WSADATA* data) {
  WSADATA local;
  return WSAStartup(MAKEWORD(2, 2), data ? data : &local) == 0;
}

CAsyncSocket::~CAsyncSocket() { Close(); }

BOOL CAsyncSocket::Create(UINT port) {
  if (m_hSocket != INVALID_SOCKET || !RegisterNotifyClass(&CAsyncSocket::NotifyProc)) return FALSE;
  m_hSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (m_hSocket == INVALID_SOCKET) return FALSE;
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<u_short>(port));
  notify_ = CreateWindowA(kNotifyClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!notify_ || bind(m_hSocket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    Close();
    return FALSE;
  }
  SetPropA(notify_, kObjectProp, this);
  return TRUE;
}

BOOL CAsyncSocket::Connect(const char* address, UINT port) {
  if (m_hSocket == INVALID_SOCKET || !address) return FALSE;
  addrinfo hints = {}, *found = nullptr;
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  if (getaddrinfo(address, nullptr, &hints, &found) != 0 || !found) return FALSE;
  sockaddr_in peer = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
  freeaddrinfo(found);
  peer.sin_port = htons(static_cast<u_short>(port));
  // Asynchronous from here on: the events go to the notification window.
  if (WSAAsyncSelect(m_hSocket, notify_, kSocketMessage, FD_READ | FD_CLOSE | FD_CONNECT | FD_WRITE) != 0)
    return FALSE;
  if (connect(m_hSocket, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) return TRUE;
  if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitWritable(m_hSocket, m_connectTimeoutMs)) return FALSE;
  int error = 0, size = sizeof error;
  return getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 && error == 0;
}

int CAsyncSocket::Send(const void* data, int length) {
  if (m_hSocket == INVALID_SOCKET || length < 0) return SOCKET_ERROR;
  const char* p = static_cast<const char*>(data);
  int sent = 0;
  while (sent < length) {
    int n = send(m_hSocket, p + sent, length - sent, 0);
    if (n > 0) {
      sent += n;
      continue;
    }
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && WaitWritable(m_hSocket, m_sendTimeoutMs)) continue;
    return SOCKET_ERROR;
  }
  return sent;
}

int CAsyncSocket::Receive(void* data, int length) {
  if (m_hSocket == INVALID_SOCKET) return SOCKET_ERROR;
  return recv(m_hSocket, static_cast<char*>(data), length, 0);
}

void CAsyncSocket::Close() {
  if (m_hSocket != INVALID_SOCKET) {
    if (notify_) WSAAsyncSelect(m_hSocket, notify_, 0, 0);
    closesocket(m_hSocket);
    m_hSocket = INVALID_SOCKET;
  }
  if (notify_) {
    RemovePropA(notify_, kObjectProp);
    DestroyWindow(notify_);
    notify_ = nullptr;
  }
}

LRESULT CALLBACK CAsyncSocket::NotifyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != kSocketMessage) return DefWindowProcA(hwnd, msg, wp, lp);
  auto* self = static_cast<CAsyncSocket*>(GetPropA(hwnd, kObjectProp));
  // Messages still queued for a socket closed since are not its events.
  if (!self || static_cast<SOCKET>(wp) != self->m_hSocket) return 0;
  int error = WSAGETSELECTERROR(lp);
  switch (WSAGETSELECTEVENT(lp)) {
    case FD_READ: self->OnReceive(error); break;
    case FD_CLOSE: self->OnClose(error); break;
    default: break;
  }
  return 0;
}
