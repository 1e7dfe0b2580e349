#include "server/guarded_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "server/request_log.h"

namespace {

void PeerOf(int sock, bool local, std::string& ip, int& port) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  const int rc = local ? ::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len)
                       : ::getpeername(sock, reinterpret_cast<sockaddr*>(&addr), &len);
  if (rc != 0) return;
  char text[INET6_ADDRSTRLEN] = "";
  if (addr.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
    ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
    port = ntohs(a->sin_port);
  } else if (addr.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
    ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
    port = ntohs(a->sin6_port);
  }
  ip = text;
}

// The library reads the request from here: first the bytes the guard already took off
// the connection, then the connection itself, every wait bounded by the time-out.
class BufferedStream : public httplib::Stream {
 public:
  BufferedStream(ConnectionTransport& transport, std::string buffered, std::chrono::milliseconds timeout)
      : transport_(transport), buffered_(std::move(buffered)), timeout_(timeout) {}

  bool is_readable() const override {
    return offset_ < buffered_.size() || transport_.WaitReadable(GuardClock::now() + timeout_);
  }
  // Writes are collected and sent in large pieces: the library writes an answer's head
  // and body separately, and each send on its own costs a trip through the network stack.
  bool is_writable() const override { return true; }

  ssize_t read(char* ptr, size_t size) override {
    if (offset_ < buffered_.size()) {
      const size_t n = std::min(size, buffered_.size() - offset_);
      std::memcpy(ptr, buffered_.data() + offset_, n);
      offset_ += n;
      return static_cast<ssize_t>(n);
    }
    const long n = transport_.Read(ptr, size, GuardClock::now() + timeout_);
    return n >= 0 ? static_cast<ssize_t>(n) : -1;
  }
  ssize_t write(const char* ptr, size_t size) override {
    if (failed_) return -1;
    pending_.append(ptr, size);
    if (pending_.size() >= kFlushBytes && !Flush()) return -1;
    return static_cast<ssize_t>(size);
  }
  // Sends what is collected, bounded by the time-out.
  bool Flush() {
    if (!failed_ && !pending_.empty()) {
      failed_ = !transport_.WriteAll(pending_.data(), pending_.size(), GuardClock::now() + timeout_);
    }
    pending_.clear();
    return !failed_;
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    PeerOf(transport_.Socket(), false, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    PeerOf(transport_.Socket(), true, ip, port);
  }
  socket_t socket() const override { return transport_.Socket(); }

 private:
  static constexpr size_t kFlushBytes = 64 * 1024;
  ConnectionTransport& transport_;
  std::string buffered_;
  size_t offset_ = 0;
  std::chrono::milliseconds timeout_;
  std::string pending_;
  bool failed_ = false;
};

const char* ReasonOf(HeadVerdict verdict) {
  switch (verdict) {
    case HeadVerdict::kIncomplete: return "Request Timeout";
    case HeadVerdict::kMethodNotAllowed: return "Method Not Allowed";
    case HeadVerdict::kTooLarge: return "Payload Too Large";
    case HeadVerdict::kHeadTooLarge: return "Request Header Fields Too Large";
    case HeadVerdict::kUriTooLong: return "URI Too Long";
    default: return "Bad Request";
  }
}

// The method and path of a refused request for the log, as far as they arrived.
void LogRefusal(std::string_view head, int status) {
  const std::string_view line = head.substr(0, head.find("\r\n"));
  const size_t space = line.find(' ');
  const std::string_view method = line.substr(0, space);
  std::string_view path;
  if (space != std::string_view::npos) {
    path = line.substr(space + 1);
    path = path.substr(0, std::min(path.find(' '), path.find('?')));
  }
  // A head cut at its limit can be long; the log line need not be.
  WriteLogLine(FormatLogLine(method.substr(0, 16), path.substr(0, 256), status));
}

void Refuse(ConnectionTransport& transport, HeadVerdict verdict, const ConnectionLimits& limits) {
  const int status = StatusOf(verdict);
  const std::string body = std::string(ReasonOf(verdict)) + "\n";
  std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + ReasonOf(verdict) + "\r\n";
  if (verdict == HeadVerdict::kMethodNotAllowed) answer += "Allow: GET\r\n";
  answer += "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  transport.WriteAll(answer.data(), answer.size(), GuardClock::now() + limits.ioTimeout);
  // Closing with unread bytes would reset the connection and could destroy the answer
  // before the peer reads it; so stop sending, then read and drop a bounded amount.
  transport.EndSending();
  const auto drainUntil = GuardClock::now() + std::chrono::milliseconds(500);
  size_t drained = 0;
  char chunk[4096];
  while (drained < 256 * 1024) {
    const long n = transport.Read(chunk, sizeof chunk, drainUntil);
    if (n <= 0) break;
    drained += static_cast<size_t>(n);
  }
}

}  // namespace

bool WaitFor(int sock, short events, GuardClock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - GuardClock::now());
    if (left.count() <= 0) return false;
    pollfd p{sock, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

bool ServeGuarded(ConnectionTransport& transport, const ConnectionLimits& limits,
                  GuardClock::time_point headDeadline,
                  const std::function<bool(httplib::Stream&)>& processRequest) {
  // One byte past the limit is enough to know the limit is passed.
  const size_t cap = limits.head.maxHeadBytes + 1;
  std::string bytes;
  bytes.reserve(1024);
  HeadVerdict verdict = HeadVerdict::kIncomplete;
  size_t headBytes = 0;
  char chunk[4096];
  while (verdict == HeadVerdict::kIncomplete && bytes.size() < cap) {
    const long n = transport.Read(chunk, std::min(sizeof chunk, cap - bytes.size()), headDeadline);
    if (n == ConnectionTransport::kTimedOut) break;
    // The peer closed or failed before finishing its head: nothing to answer.
    if (n <= 0) return false;
    bytes.append(chunk, static_cast<size_t>(n));
    verdict = JudgeHead(bytes, limits.head, headBytes);
  }
  if (verdict != HeadVerdict::kAccept) {
    LogRefusal(bytes, StatusOf(verdict));
    Refuse(transport, verdict, limits);
    return false;
  }
  BufferedStream stream(transport, std::move(bytes), limits.ioTimeout);
  const bool ok = processRequest(stream);
  const bool flushed = stream.Flush();
  return ok && flushed;
}

void ApplyLibraryLimits(httplib::Server& server, const ConnectionLimits& limits) {
  server.set_read_timeout(std::chrono::duration_cast<std::chrono::microseconds>(limits.ioTimeout));
  server.set_write_timeout(std::chrono::duration_cast<std::chrono::microseconds>(limits.ioTimeout));
  server.set_payload_max_length(limits.head.maxBodyBytes);
  server.set_keep_alive_max_count(1);
}

bool ListenAgain(socket_t sock, int backlog) {
  return sock != INVALID_SOCKET && ::listen(sock, backlog) == 0;
}
