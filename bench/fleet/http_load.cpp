#include "http_load.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

struct HttpLoad::Exchange {
  int fd = -1;
  std::string request;
  std::size_t sent = 0;
  std::string received;
  HttpResult result;
  std::function<void(const HttpResult&)> done;
  bool finished = false;
};

namespace {

// The header lines the client's fetch sends with every request.
std::string RequestBytes(const std::string& target, int port) {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nUser-Agent: Mozilla/4.0 ()\r\nAccept: */*\r\nCache-Control: no-cache\r\n"
         "Pragma: no-cache\r\n\r\n";
}

// Status and body of a complete answer (Content-Length framed, as the service answers).
bool ParseAnswer(const std::string& bytes, int& status, std::string& body) {
  const auto headEnd = bytes.find("\r\n\r\n");
  if (headEnd == std::string::npos || bytes.compare(0, 9, "HTTP/1.1 ") != 0) return false;
  status = std::atoi(bytes.c_str() + 9);
  std::size_t length = bytes.size() - headEnd - 4;
  // Header names are matched in the letter case the service writes them.
  const auto cl = bytes.find("Content-Length: ");
  if (cl != std::string::npos && cl < headEnd) {
    length = static_cast<std::size_t>(std::strtoull(bytes.c_str() + cl + 16, nullptr, 10));
  }
  if (bytes.size() - headEnd - 4 < length) return false;
  body = bytes.substr(headEnd + 4, length);
  return true;
}

}  // namespace

HttpLoad::HttpLoad(std::chrono::milliseconds timeout)
    : timeout_(timeout), epoll_(epoll_create1(EPOLL_CLOEXEC)) {}

HttpLoad::~HttpLoad() {
  for (Exchange* e : live_) {
    if (e->fd >= 0) ::close(e->fd);
    delete e;
  }
  if (epoll_ >= 0) ::close(epoll_);
}

void HttpLoad::Send(int port, const std::string& target, std::function<void(const HttpResult&)> done) {
  auto* e = new Exchange;
  e->request = RequestBytes(target, port);
  e->done = std::move(done);
  e->result.started = LoadClock::now();
  e->result.port = port;
  live_.push_back(e);
  ++inFlight_;
  e->fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (e->fd < 0) return Finish(e, std::string("socket: ") + std::strerror(errno));
  const int one = 1;
  setsockopt(e->fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only, whatever the caller wants
  if (::connect(e->fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno != EINPROGRESS) {
    return Finish(e, std::string("connect: ") + std::strerror(errno));
  }
  epoll_event ev{};
  ev.events = EPOLLOUT | EPOLLIN | EPOLLRDHUP;
  ev.data.ptr = e;
  if (epoll_ctl(epoll_, EPOLL_CTL_ADD, e->fd, &ev) != 0) {
    Finish(e, std::string("epoll: ") + std::strerror(errno));
  }
}

void HttpLoad::Finish(Exchange* e, const std::string& error) {
  if (e->finished) return;
  e->finished = true;
  e->result.finished = LoadClock::now();
  if (error.empty()) {
    e->result.answered = ParseAnswer(e->received, e->result.status, e->result.body);
    if (!e->result.answered) e->result.error = "incomplete answer";
  } else {
    e->result.error = error;
  }
  if (e->fd >= 0) {
    ::close(e->fd);  // also takes it off the epoll set
    e->fd = -1;
  }
  --inFlight_;
  e->done(e->result);
}

void HttpLoad::OnReady(Exchange* e, std::uint32_t events) {
  if (e->finished) return;
  if ((events & EPOLLOUT) && e->sent < e->request.size()) {
    const ssize_t n = ::send(e->fd, e->request.data() + e->sent, e->request.size() - e->sent, MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN) return Finish(e, std::string("send: ") + std::strerror(errno));
    if (n > 0) e->sent += static_cast<std::size_t>(n);
    if (e->sent == e->request.size()) {
      epoll_event ev{};
      ev.events = EPOLLIN | EPOLLRDHUP;
      ev.data.ptr = e;
      epoll_ctl(epoll_, EPOLL_CTL_MOD, e->fd, &ev);
    }
  }
  if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
    char buf[8192];
    for (;;) {
      const ssize_t n = ::recv(e->fd, buf, sizeof buf, 0);
      if (n > 0) {
        e->received.append(buf, static_cast<std::size_t>(n));
        continue;
      }
      if (n == 0) return Finish(e, "");
      if (errno == EAGAIN) break;
      return Finish(e, e->received.empty() ? std::string("recv: ") + std::strerror(errno) : "");
    }
    // The service closes after its answer; an answer complete before the close also counts.
    int status = 0;
    std::string body;
    if (ParseAnswer(e->received, status, body)) Finish(e, "");
  }
}

void HttpLoad::ExpireOld(LoadClock::time_point now) {
  // A finishing exchange's callback may send the next one, which joins live_ meanwhile.
  std::vector<Exchange*> old;
  old.swap(live_);
  for (Exchange* e : old) {
    if (!e->finished && now - e->result.started > timeout_) Finish(e, "time-out");
    if (e->finished) {
      delete e;
    } else {
      live_.push_back(e);
    }
  }
}

void HttpLoad::RunOnce(LoadClock::time_point until) {
  epoll_event events[256];
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - LoadClock::now());
  const int wait = static_cast<int>(std::clamp<long long>(left.count(), 0, 100));
  const int n = epoll_wait(epoll_, events, 256, wait);
  for (int i = 0; i < n; ++i) OnReady(static_cast<Exchange*>(events[i].data.ptr), events[i].events);
  // Sweeping is linear in what is alive; do it only once enough has finished or aged.
  const auto now = LoadClock::now();
  if (now - lastSweep_ > std::chrono::milliseconds(200) || live_.size() > 4 * inFlight_ + 1024) {
    ExpireOld(now);
    lastSweep_ = now;
  }
}

bool HttpLoad::RunUntilIdle(LoadClock::time_point deadline) {
  while (inFlight_ > 0 && LoadClock::now() < deadline) RunOnce(deadline);
  ExpireOld(LoadClock::now());
  return inFlight_ == 0;
}
