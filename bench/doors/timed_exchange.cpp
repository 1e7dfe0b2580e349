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

// One exchange on a fresh connection to `port`, timed from before the connect: `talk`
// sends the request on the bounded socket and reads the reply until the deadline.
template <typename Talk>
TimedAnswer Timed(int port, std::chrono::milliseconds limit, Talk talk) {
  const auto start = Clock::now();
  const int fd = loopback::Connect(port);
  std::string reply;
  if (fd >= 0) {
    Bound(fd, limit);
    reply = talk(fd, start + limit);
    close(fd);
  }
  TimedAnswer answer;
  answer.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  answer.status = StatusOf(reply);
  answer.answered = answer.status != 0;
  return answer;
}

// Reads with `read` until it gives nothing more (closed, failed, timed out) or the
// deadline passes.
template <typename Read>
std::string ReadUntil(Clock::time_point deadline, Read read) {
  std::string reply;
  char buffer[4096];
  while (Clock::now() < deadline) {
    const long n = read(buffer, sizeof buffer);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  return reply;
}

}  // namespace

TimedAnswer ExchangePlain(int port, const std::string& request, std::chrono::milliseconds limit) {
  return Timed(port, limit, [&request](int fd, Clock::time_point deadline) {
    if (loopback::Send(fd, request.data(), request.size()) != static_cast<long>(request.size())) {
      return std::string();
    }
    return ReadUntil(deadline,
                     [fd](char* buffer, std::size_t size) { return loopback::Receive(fd, buffer, size); });
  });
}

TimedAnswer ExchangeTls(int port, const std::string& request, std::chrono::milliseconds limit) {
  static SSL_CTX* context = SSL_CTX_new(TLS_client_method());  // the certificate is not checked
  return Timed(port, limit, [&request](int fd, Clock::time_point deadline) {
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    std::string reply;
    if (SSL_connect(ssl) == 1 && SSL_write(ssl, request.data(), static_cast<int>(request.size())) > 0) {
      reply = ReadUntil(deadline, [ssl](char* buffer, std::size_t size) {
        return static_cast<long>(SSL_read(ssl, buffer, static_cast<int>(size)));
      });
    }
    SSL_free(ssl);
    return reply;
  });
}
