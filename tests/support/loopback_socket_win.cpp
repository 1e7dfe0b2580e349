#include "loopback_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>

namespace loopback {
namespace {

SOCKET S(int fd) { return static_cast<SOCKET>(static_cast<unsigned>(fd)); }
int Fd(SOCKET s) { return static_cast<int>(static_cast<unsigned>(s)); }

void StartWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
  });
}

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<u_short>(port));
  return addr;
}

int Bind(int type, int& port) {
  StartWinsock();
  SOCKET s = socket(AF_INET, type, 0);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
  sockaddr_in addr = LoopbackAddress(0);
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    closesocket(s);
    throw std::runtime_error("bind failed");
  }
  int len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return Fd(s);
}

}  // namespace

void SetEnvironment(const char* name, const std::string& value) { _putenv_s(name, value.c_str()); }

int BindStream(int& port) { return Bind(SOCK_STREAM, port); }

bool Listen(int fd, int backlog) { return listen(S(fd), backlog) == 0; }

int Accept(int listenFd) {
  SOCKET accepted = accept(S(listenFd), nullptr, nullptr);
  return accepted == INVALID_SOCKET ? -1 : Fd(accepted);
}

long Receive(int fd, char* buffer, size_t size) {
  const int piece = size > (1u << 30) ? (1 << 30) : static_cast<int>(size);
  return recv(S(fd), buffer, piece, 0);
}

long Send(int fd, const char* data, size_t size) {
  const int piece = size > (1u << 30) ? (1 << 30) : static_cast<int>(size);
  return send(S(fd), data, piece, 0);
}

int WaitReadable(const int* fds, int count, int timeoutMs) {
  WSAPOLLFD polled[4];
  if (count > 4) count = 4;
  for (int i = 0; i < count; ++i) polled[i] = {S(fds[i]), POLLRDNORM, 0};
  int n = WSAPoll(polled, static_cast<ULONG>(count), timeoutMs);
  if (n < 0) return -2;
  for (int i = 0; i < count; ++i) {
    if (polled[i].revents != 0) return i;
  }
  return -1;
}

void ShutdownBoth(int fd) { shutdown(S(fd), SD_BOTH); }
void ShutdownSend(int fd) { shutdown(S(fd), SD_SEND); }
void Close(int fd) { closesocket(S(fd)); }

int Connect(int port) {
  StartWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return -1;
  sockaddr_in addr = LoopbackAddress(port);
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    closesocket(s);
    return -1;
  }
  return Fd(s);
}

int ConnectWithoutWaiting(int port) {
  StartWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return -1;
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  sockaddr_in addr = LoopbackAddress(port);
  connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  return Fd(s);
}

// Winsock has no pipe to wait on beside a socket: a datagram socket on loopback, and a
// second one connected to it, serve instead.
void MakeWakePair(int pair[2]) {
  int port = 0;
  pair[0] = Bind(SOCK_DGRAM, port);
  SOCKET sender = socket(AF_INET, SOCK_DGRAM, 0);
  if (sender == INVALID_SOCKET) {
    closesocket(S(pair[0]));
    throw std::runtime_error("socket failed");
  }
  sockaddr_in addr = LoopbackAddress(port);
  connect(sender, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  pair[1] = Fd(sender);
}

void Wake(int writeEnd) {
  char wake = 1;
  send(S(writeEnd), &wake, 1, 0);
}

}  // namespace loopback
