#pragma once
// The few socket calls the tests' loopback servers make, over POSIX sockets or Winsock.
// Sockets are plain ints: a Winsock handle has 32 significant bits, so one declaration
// serves both, and the servers above this layer are written once.

#include <cstddef>
#include <string>

namespace loopback {

// setenv, under either system's name for it.
void SetEnvironment(const char* name, const std::string& value);

// A stream socket bound to 127.0.0.1 on a port the system picks; throws when none can
// be had. `port` receives the port number.
int BindStream(int& port);

bool Listen(int fd, int backlog);
int Accept(int listenFd);  // -1 when no connection could be taken

// Both return what recv/send return, with interrupted calls retried: > 0 bytes moved,
// 0 at the peer's end of stream, < 0 on an error.
long Receive(int fd, char* buffer, size_t size);
long Send(int fd, const char* data, size_t size);  // never raises SIGPIPE

// Waits until one of `count` sockets is readable or `timeoutMs` passes (-1: no limit).
// Returns the index of the first readable one, -1 on time-out, -2 on an error.
int WaitReadable(const int* fds, int count, int timeoutMs);

void ShutdownBoth(int fd);
void ShutdownSend(int fd);
void Close(int fd);

// A connection to 127.0.0.1:`port`, made before it returns; -1 when it cannot be made.
int Connect(int port);

// A connection request to `port` that does not wait to be accepted; -1 when it fails at once.
int ConnectWithoutWaiting(int port);

// A pair the accept loop waits on beside its listening socket: writing one byte to
// `pair[1]` makes `pair[0]` readable. Throws when it cannot be made.
void MakeWakePair(int pair[2]);
void Wake(int writeEnd);

}  // namespace loopback
