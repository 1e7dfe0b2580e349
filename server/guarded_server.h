#pragma once
// The HTTP server of the service, with limits the compiled library does not offer: its
// head (request line and header lines) is read here, within one deadline for the whole
// head and within size and line-count limits, before the library parses it. Only GET is
// let through; a request announcing a body beyond a few KiB is refused unread. Each
// connection carries one request, so the head of every request passes these checks.
#include <httplib.h>

#include <chrono>
#include <string>

#include "server/request_head.h"

struct ConnectionLimits {
  HeadLimits head;
  // The whole head must arrive within this time, however it trickles in.
  std::chrono::milliseconds headTimeout{5000};
  // Each later read or write waits at most this long for the peer.
  std::chrono::milliseconds ioTimeout{5000};
};

class GuardedServer : public httplib::Server {
 public:
  explicit GuardedServer(ConnectionLimits limits);

  // The library listens with a fixed backlog of 5, which drops connections of a burst;
  // listening again on the bound socket raises it. Call after bind.
  bool SetListenBacklog(int backlog);

 private:
  bool process_and_close_socket(socket_t sock) override;
  void Refuse(socket_t sock, HeadVerdict verdict);

  ConnectionLimits limits_;
};
