#include "timed_exchange.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "support/loopback_socket.h"

namespace {

using Clock = std::chrono::steady_clock;

int StatusOf(const std::string& reply) {
  if (reply.size() < 12 || reply.compare(0, 5, "HTTP/") != 0) return 0;
  return std::atoi(reply.c_str() + 9);
}

// Time limits on every read and write, and no Nagle delay (as libcurl sets by default):
// over TLS 1.3 the request would otherwise wait behind the client's Finished for the
// server's delayed acknowledgement.
void Bound(int fd, std::chrono::milliseconds limit) {
  const int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  timeval tv{static_cast<time_t>(limit.count() / 1000),
             static_cast<suseconds_t>((limit.count() % 1000) * 1000)};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

TimedAnswer Finish(Clock::time_point start, const std::string& reply) {
  TimedAnswer answer;
  answer.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  answer.status = StatusOf(reply);
  answer.answered = answer.status != 0;
  return answer;
}

}  // namespace

TimedAnswer ExchangePlain(int port, const std::string& request, std::chrono::milliseconds limit) {
  const auto start = Clock::now();
  const auto deadline = start + limit;
  const int fd = loopback::Connect(port);
  std::string reply;
  if (fd >= 0) {
    Bound(fd, limit);
    if (loopback::Send(fd, request.data(), request.size()) == static_cast<long>(request.size())) {
      char buffer[4096];
      while (Clock::now() < deadline) {
        const long n = loopback::Receive(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        reply.append(buffer, static_cast<std::size_t>(n));
      }
    }
    close(fd);
  }
  return Finish(start, reply);
}

TimedAnswer ExchangeTls(int port, const std::string& request, std::chrono::milliseconds limit) {
  static SSL_CTX* context = SSL_CTX_new(TLS_client_method());  // the certificate is not checked
  const auto start = Clock::now();
  const auto deadline = start + limit;
  const int fd = loopback::Connect(port);
  std::string reply;
  if (fd >= 0) {
    Bound(fd, limit);
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    if (SSL_connect(ssl) == 1 && SSL_write(ssl, request.data(), static_cast<int>(request.size())) > 0) {
      char buffer[4096];
      while (Clock::now() < deadline) {
        const int n = SSL_read(ssl, buffer, sizeof buffer);
        if (n <= 0) break;
        reply.append(buffer, static_cast<std::size_t>(n));
      }
    }
    SSL_free(ssl);
    close(fd);
  }
  return Finish(start, reply);
}
