#include "scripted_http_server.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "loopback_socket.h"

namespace {

constexpr size_t kMaxHead = 1 << 20;
constexpr size_t kPiece = 64 * 1024;

bool EqualsNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

const char* ReasonFor(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

// A proxy configured in the environment would carry loopback requests away from the
// server; loopback is always reached directly.
void BypassProxiesForLoopback() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
      const char* old = std::getenv(name);
      loopback::SetEnvironment(name, (old && *old) ? std::string(old) + ",127.0.0.1,localhost"
                                                   : std::string("127.0.0.1,localhost"));
    }
  });
}

}  // namespace

std::string RecordedRequest::Path() const { return target.substr(0, target.find('?')); }

std::optional<std::string> RecordedRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsNoCase(key, name)) return value;
  }
  return std::nullopt;
}

Reply Reply::Ok(std::string body) { return Status(200, std::move(body)); }

Reply Reply::Status(int status, std::string body) {
  Reply r;
  r.status = status;
  r.body = std::move(body);
  return r;
}

Reply Reply::InPieces(std::string body, size_t chunkBytes, std::chrono::milliseconds pause) {
  Reply r = Ok(std::move(body));
  r.chunkBytes = chunkBytes;
  r.pause = pause;
  return r;
}

Reply Reply::Drip(std::string body, std::chrono::milliseconds interval) {
  return InPieces(std::move(body), 1, interval);
}

Reply Reply::Cut(std::string body, uint64_t sentBytes) {
  Reply r = Ok(std::move(body));
  r.stopAfter = sentBytes;
  r.afterStop = AfterStop::Close;
  return r;
}

Reply Reply::StallAfterHeaders(uint64_t announcedBytes) {
  Reply r;
  r.contentLength = announcedBytes;
  r.stopAfter = 0;
  r.afterStop = AfterStop::Stall;
  return r;
}

Reply Reply::NeverAnswer() {
  Reply r;
  r.mode = Mode::NeverAnswer;
  return r;
}

Reply Reply::CloseAtOnce() {
  Reply r;
  r.mode = Mode::CloseAtOnce;
  return r;
}

Reply Reply::Generated(uint64_t size) {
  Reply r;
  r.generatedSize = size;
  return r;
}

char ScriptedHttpServer::GeneratedByte(uint64_t offset) {
  uint64_t x = (offset + 1) * 0x9E3779B97F4A7C15ULL;
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ULL;
  return static_cast<char>(x >> 56);
}

std::string ScriptedHttpServer::GeneratedBytes(uint64_t offset, size_t count) {
  std::string out(count, '\0');
  for (size_t i = 0; i < count; ++i) out[i] = GeneratedByte(offset + i);
  return out;
}

ScriptedHttpServer::ScriptedHttpServer() {
  BypassProxiesForLoopback();
  listenFd_ = loopback::BindStream(port_);
  if (!loopback::Listen(listenFd_, 64)) {
    loopback::Close(listenFd_);
    throw std::runtime_error("listen failed");
  }
  try {
    loopback::MakeWakePair(wakePipe_);
  } catch (...) {
    loopback::Close(listenFd_);
    throw;
  }
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    // Unblocks every read and write of a connection; its thread then closes the socket.
    for (int fd : openFds_) loopback::ShutdownBoth(fd);
  }
  changed_.notify_all();
  loopback::Wake(wakePipe_[1]);
  acceptThread_.join();
  // The accept loop has ended, so no connection is added any more.
  for (std::thread& t : connections_) t.join();
  loopback::Close(listenFd_);
  loopback::Close(wakePipe_[0]);
  loopback::Close(wakePipe_[1]);
}

void ScriptedHttpServer::Route(const std::string& path, Reply reply) {
  Route(path, Handler([reply = std::move(reply)](const RecordedRequest&) { return reply; }));
}

void ScriptedHttpServer::Route(const std::string& path, Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::move(handler);
}

void ScriptedHttpServer::SetDefault(Reply reply) {
  SetDefault(Handler([reply = std::move(reply)](const RecordedRequest&) { return reply; }));
}

void ScriptedHttpServer::SetDefault(Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  default_ = std::move(handler);
}

std::string ScriptedHttpServer::Root() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string ScriptedHttpServer::Url(const std::string& target) const { return Root() + target; }

std::vector<RecordedRequest> ScriptedHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

size_t ScriptedHttpServer::RequestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

bool ScriptedHttpServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

ScriptedHttpServer::Handler ScriptedHttpServer::Lookup(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = routes_.find(path);
  if (it != routes_.end()) return it->second;
  if (default_) return default_;
  return [](const RecordedRequest&) { return Reply::Status(404, "not found"); };
}

void ScriptedHttpServer::AcceptLoop() {
  for (;;) {
    const int waited[2] = {listenFd_, wakePipe_[0]};
    if (loopback::WaitReadable(waited, 2, -1) != 0) return;  // woken, or an error
    int fd = loopback::Accept(listenFd_);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      loopback::Close(fd);
      return;
    }
    ++accepted_;
    openFds_.insert(fd);
    connections_.emplace_back([this, fd] { Serve(fd); });
  }
}

void ScriptedHttpServer::Serve(int fd) {
  std::string data;
  size_t headEnd = std::string::npos;
  char buf[4096];
  while (headEnd == std::string::npos && data.size() < kMaxHead) {
    long n = loopback::Receive(fd, buf, sizeof buf);
    if (n <= 0) break;
    data.append(buf, static_cast<size_t>(n));
    headEnd = data.find("\r\n\r\n");
  }

  if (headEnd != std::string::npos) {
    RecordedRequest req;
    size_t lineEnd = data.find("\r\n");
    std::string line = data.substr(0, lineEnd);
    size_t first = line.find(' ');
    size_t last = line.rfind(' ');
    if (first != std::string::npos && last > first) {
      req.method = line.substr(0, first);
      req.target = line.substr(first + 1, last - first - 1);
      req.version = line.substr(last + 1);
    } else {
      req.method = line;
    }
    size_t pos = lineEnd + 2;
    while (pos < headEnd) {
      size_t end = data.find("\r\n", pos);
      std::string h = data.substr(pos, end - pos);
      size_t colon = h.find(':');
      if (colon != std::string::npos) {
        req.headers.emplace_back(h.substr(0, colon), Trim(h.substr(colon + 1)));
      }
      pos = end + 2;
    }
    req.body = data.substr(headEnd + 4);
    if (auto length = req.Header("Content-Length")) {
      size_t want = std::min<size_t>(std::strtoull(length->c_str(), nullptr, 10), kMaxHead);
      while (req.body.size() < want) {
        long n = loopback::Receive(fd, buf, std::min(sizeof buf, want - req.body.size()));
        if (n <= 0) break;
        req.body.append(buf, static_cast<size_t>(n));
      }
    }
    Handler handler = Lookup(req.Path());
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(req);
    }
    changed_.notify_all();
    SendReply(fd, handler(req));
  }

  // Close gracefully: end our side, then let the client finish, so that what was sent
  // is not lost to a reset.
  loopback::ShutdownSend(fd);
  for (int rounds = 0; rounds < 20; ++rounds) {
    const int ready = loopback::WaitReadable(&fd, 1, 100);
    if (ready == -2) break;
    if (ready == -1) continue;
    if (loopback::Receive(fd, buf, sizeof buf) <= 0) break;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    openFds_.erase(fd);
  }
  loopback::Close(fd);
}

void ScriptedHttpServer::SendReply(int fd, const Reply& reply) {
  if (reply.mode == Reply::Mode::NeverAnswer) return StallUntilShutdown();
  if (reply.mode == Reply::Mode::CloseAtOnce) return;

  const uint64_t total = reply.BodySize();
  std::string head = reply.rawHead;
  if (head.empty()) {
    head = "HTTP/1.1 " + std::to_string(reply.status) + " " +
           (reply.reason.empty() ? ReasonFor(reply.status) : reply.reason) + "\r\n";
    for (const auto& [key, value] : reply.headers) head.append(key).append(": ").append(value).append("\r\n");
    if (reply.sendContentLength) {
      head += "Content-Length: " + std::to_string(reply.contentLength.value_or(total)) + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
  }
  if (!SendAll(fd, head.data(), head.size())) return;

  const uint64_t limit = std::min(total, reply.stopAfter.value_or(total));
  const size_t piece = reply.chunkBytes ? reply.chunkBytes : kPiece;
  std::string scratch;
  for (uint64_t offset = 0; offset < limit;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(piece, limit - offset));
    const char* bytes;
    if (reply.generatedSize) {
      scratch = GeneratedBytes(offset, n);
      bytes = scratch.data();
    } else {
      bytes = reply.body.data() + offset;
    }
    if (!SendAll(fd, bytes, n)) return;
    offset += n;
    if (offset < limit && reply.pause.count() > 0 && !Pause(reply.pause)) return;
  }
  if (reply.stopAfter && reply.afterStop == Reply::AfterStop::Stall) StallUntilShutdown();
}

bool ScriptedHttpServer::SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    long n = loopback::Send(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ScriptedHttpServer::Pause(std::chrono::milliseconds pause) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !changed_.wait_for(lock, pause, [&] { return stopping_; });
}

void ScriptedHttpServer::StallUntilShutdown() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return stopping_; });
}

int UnusedLoopbackPort() {
  int port = 0;
  loopback::Close(loopback::BindStream(port));
  return port;
}

UnansweredPort::UnansweredPort() {
  listenFd_ = loopback::BindStream(port_);
  // A backlog of 0 queues a single connection; once it is taken, the system drops
  // further connection requests, so they are never answered.
  if (!loopback::Listen(listenFd_, 0)) {
    loopback::Close(listenFd_);
    throw std::runtime_error("listen failed");
  }
  for (int i = 0; i < 3; ++i) {
    int fd = loopback::ConnectWithoutWaiting(port_);
    if (fd < 0) break;
    fillers_.push_back(fd);
  }
}

UnansweredPort::~UnansweredPort() {
  for (int fd : fillers_) loopback::Close(fd);
  loopback::Close(listenFd_);
}
