// Sockets of our application framework: a stream socket whose events (data arrived, peer closed)
// come as window messages to the thread that created it, as the framework's other windows do.
// Connect and Send block the caller, each with its own time-out, so that nothing waits forever.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

BOOL AfxSocketInit(WSADATA* data = nullptr);

class CAsyncSocket {
 public:
  CAsyncSocket() = default;
  virtual ~CAsyncSocket();
  CAsyncSocket(const CAsyncSocket&) = delete;
  CAsyncSocket& operator=(const CAsyncSocket&) = delete;

  // A stream socket bound to the local port (0: any); its events go to this thread.
  BOOL Create(UINT port = 0);
  // Dotted IPv4 address or host name.
  BOOL Connect(const char* address, UINT port);
  // Sends every byte or fails; answers the count sent or SOCKET_ERROR.
  int Send(const void* data, int length);
  // What has arrived, up to length bytes: the count, 0 when the peer closed, SOCKET_ERROR when
  // nothing is waiting or the socket failed.
  int Receive(void* data, int length);
  void Close();

  virtual void OnReceive(int error) { (void)error; }
  virtual void OnClose(int error) { (void)error; }

  SOCKET m_hSocket = INVALID_SOCKET;
  DWORD m_connectTimeoutMs = 10000;
  DWORD m_sendTimeoutMs = 10000;

 private:
  static LRESULT CALLBACK NotifyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND notify_ = nullptr;
};

class CSocket : public CAsyncSocket {};
