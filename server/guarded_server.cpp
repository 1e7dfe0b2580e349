#include "server/guarded_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

class PlainTransport : public ConnectionTransport {
 public:
  explicit PlainTransport(int sock) : sock_(sock) {}

  long Read(char* buffer, std::size_t size, GuardClock::time_point deadline) override {
    for (;;) {
      // An honest head is usually there by the time the connection is taken: try first,
      // wait only when nothing has come yet.
      const ssize_t n = ::recv(sock_, buffer, size, MSG_DONTWAIT);
      if (n >= 0) return static_cast<long>(n);
      if (errno != EAGAIN && errno != EINTR) return -1;
      if (!WaitFor(sock_, POLLIN, deadline)) return kTimedOut;
    }
  }
  bool WaitReadable(GuardClock::time_point deadline) override {
    return WaitFor(sock_, POLLIN, deadline);
  }
  bool WriteAll(const char* data, std::size_t size, GuardClock::time_point deadline) override {
    std::size_t sent = 0;
    while (sent < size) {
      const ssize_t n = ::send(sock_, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        if (!WaitFor(sock_, POLLOUT, deadline)) return false;
      } else {
        return false;
      }
    }
    return true;
  }
  void EndSending() override { ::shutdown(sock_, SHUT_WR); }
  int Socket() const override { return sock_; }

 private:
  int sock_;
};

}  // namespace

GuardedServer::GuardedServer(ConnectionLimits limits) : limits_(limits) {
  ApplyLibraryLimits(*this, limits_);
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
  const auto headDeadline = GuardClock::now() + limits_.headTimeout;
  PlainTransport transport(sock);
  const bool ok = ServeGuarded(transport, limits_, headDeadline, [this](httplib::Stream& stream) {
    bool closed = false;
    return process_request(stream, /*close_connection=*/true, closed, nullptr);
  });
  ::close(sock);
  return ok;
}
