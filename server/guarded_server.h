#pragma once
// The plain HTTP server of the service, each connection served under the service's
// limits (server/guarded_connection.h).
#include <httplib.h>

#include "server/guarded_connection.h"

class GuardedServer : public httplib::Server {
 public:
  explicit GuardedServer(ConnectionLimits limits);

  // Raises the listen backlog; call after bind.
  bool SetListenBacklog(int backlog) { return ListenAgain(svr_sock_, backlog); }

 private:
  bool process_and_close_socket(socket_t sock) override;

  ConnectionLimits limits_;
};
