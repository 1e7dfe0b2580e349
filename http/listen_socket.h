#pragma once
// The listening socket the engine is handed: bound by the program itself, so it knows its
// port (0 = any free one) before it serves, and with a backlog that holds a burst.
#include <string>

namespace http {

// A fleet's reports arrive together in the first milliseconds of a second; the queue of
// connections not yet accepted must hold such a burst (the system caps it at somaxconn).
constexpr int kListenBacklog = 4096;

// A listening TCP socket on host:port (host: an address literal or a name that resolves
// to one); -1 with `error` set when it cannot be had. SO_REUSEADDR only, never
// SO_REUSEPORT, so a second program on the same port fails instead of sharing it.
int ListenOn(const std::string& host, int port, int backlog, std::string& error);

// The port the socket is bound to; 0 when unknown.
int BoundPort(int fd);

// Raises the soft limit of open files to the hard one, so thousands of connections fit;
// returns the limit now in force.
long RaiseOpenFileLimit();

}  // namespace http
