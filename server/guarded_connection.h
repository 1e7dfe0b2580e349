#pragma once
// One connection of the service under the limits the compiled library does not offer,
// whatever carries its bytes (plain TCP or TLS): the head (request line and header lines)
// is read here, within one deadline for the whole head and within size and line-count
// limits, before the library parses it. Only GET is let through; a request announcing a
// body beyond a few KiB is refused unread. Each connection carries one request, so the
// head of every request passes these checks.
#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <functional>

#include "server/request_head.h"

using GuardClock = std::chrono::steady_clock;

struct ConnectionLimits {
  HeadLimits head;
  // The whole head must arrive within this time, however it trickles in (for TLS, the
  // handshake included).
  std::chrono::milliseconds headTimeout{5000};
  // Each later read or write waits at most this long for the peer.
  std::chrono::milliseconds ioTimeout{5000};
};

// The bytes of one connection; no call waits past its deadline.
class ConnectionTransport {
 public:
  static constexpr long kTimedOut = -2;
  virtual ~ConnectionTransport() = default;
  // Up to `size` bytes: the count read, 0 when the peer has closed, kTimedOut when the
  // deadline passed first, -1 on any other failure.
  virtual long Read(char* buffer, std::size_t size, GuardClock::time_point deadline) = 0;
  // True once bytes are there to read (or the peer closed) before the deadline.
  virtual bool WaitReadable(GuardClock::time_point deadline) = 0;
  virtual bool WriteAll(const char* data, std::size_t size, GuardClock::time_point deadline) = 0;
  // Nothing more will be sent; the peer may still send.
  virtual void EndSending() = 0;
  virtual int Socket() const = 0;
};

// Reads the head until headDeadline, refuses it with the status the limits call for, or
// hands the request to processRequest on a stream that first replays the bytes already
// read. True when a request was served and its answer sent. The caller closes.
bool ServeGuarded(ConnectionTransport& transport, const ConnectionLimits& limits,
                  GuardClock::time_point headDeadline,
                  const std::function<bool(httplib::Stream&)>& processRequest);

// The library's own settings that go with the limits: its time-outs, the body size, and
// one request per connection.
void ApplyLibraryLimits(httplib::Server& server, const ConnectionLimits& limits);

// The library listens with a fixed backlog of 5, which drops connections of a burst;
// listening again on the bound socket raises it.
bool ListenAgain(socket_t sock, int backlog);

// Waits for the socket to become readable (or writable) until the deadline.
bool WaitFor(int sock, short events, GuardClock::time_point deadline);
