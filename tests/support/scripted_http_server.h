#pragma once
// A small HTTP/1.1 server on 127.0.0.1 (ephemeral port) for tests. Every request is
// recorded as received and answered from a script: a reply per path, or a default one.
// Replies can misbehave on purpose (pauses, stalls, cut bodies, silence) so that clients
// can be tested against a server that fails them. Each connection gets one reply and is
// then closed. The destructor ends every connection at once, also a stalled one.
//
//   ScriptedHttpServer server;
//   server.Route("/a.html", Reply::Ok("x=1\r\n"));
//   server.SetDefault(Reply::Status(404, "missing"));
//   fetch(server.Url("/a.html?sn=1"));
//   server.Requests()[0].target == "/a.html?sn=1"
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct RecordedRequest {
  std::string method;
  std::string target;   // path and query exactly as they stood in the request line
  std::string version;  // "HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed
  std::string body;

  std::string Path() const;  // target up to '?'
  // The first header of that name (case-insensitive), or nullopt.
  std::optional<std::string> Header(const std::string& name) const;
};

struct Reply {
  enum class Mode {
    Answer,       // status line, headers, body, as scripted below
    NeverAnswer,  // read the request, then send nothing until shutdown
    CloseAtOnce,  // read the request, then close without a byte
  };
  enum class AfterStop { Close, Stall };

  Mode mode = Mode::Answer;
  int status = 200;
  std::string reason;                                        // "" gives the usual phrase for the status
  std::vector<std::pair<std::string, std::string>> headers;  // extra headers
  std::string rawHead;  // when set, sent instead of the status line and every header

  std::string body;
  uint64_t generatedSize = 0;  // when nonzero, the body is that many GeneratedByte()s

  bool sendContentLength = true;
  std::optional<uint64_t> contentLength;  // announced length; default: the real one

  size_t chunkBytes = 0;                   // body sent in pieces of this size; 0: at once
  std::chrono::milliseconds pause{0};      // between pieces
  std::optional<uint64_t> stopAfter;       // send only this many body bytes, then...
  AfterStop afterStop = AfterStop::Close;  // ...close, or stall until shutdown

  uint64_t BodySize() const { return generatedSize ? generatedSize : body.size(); }

  static Reply Ok(std::string body);
  static Reply Status(int status, std::string body);
  // The body in pieces of `chunkBytes` with `pause` between them (separate writes on
  // the wire under one Content-Length, not chunked transfer coding).
  static Reply InPieces(std::string body, size_t chunkBytes, std::chrono::milliseconds pause);
  // One byte per `interval`.
  static Reply Drip(std::string body, std::chrono::milliseconds interval);
  // Announces the whole body but closes after `sentBytes` of it.
  static Reply Cut(std::string body, uint64_t sentBytes);
  // Headers announcing `announcedBytes`, then silence until shutdown.
  static Reply StallAfterHeaders(uint64_t announcedBytes = 100);
  static Reply NeverAnswer();
  static Reply CloseAtOnce();
  // A body of `size` GeneratedByte()s, produced piece by piece, never held whole.
  static Reply Generated(uint64_t size);
};

class ScriptedHttpServer {
 public:
  using Handler = std::function<Reply(const RecordedRequest&)>;

  ScriptedHttpServer();  // listening on return
  ~ScriptedHttpServer();
  ScriptedHttpServer(const ScriptedHttpServer&) = delete;
  ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

  // Scripts are matched on the path (the target up to '?'). Unmatched paths get the
  // default, which is a 404 until set.
  void Route(const std::string& path, Reply reply);
  void Route(const std::string& path, Handler handler);
  void SetDefault(Reply reply);
  void SetDefault(Handler handler);

  int Port() const { return port_; }
  std::string Root() const;                          // "http://127.0.0.1:<port>"
  std::string Url(const std::string& target) const;  // Root() + target

  std::vector<RecordedRequest> Requests() const;
  size_t RequestCount() const;
  size_t AcceptedConnections() const { return accepted_.load(); }
  // Waits on the steady clock until `count` requests have been recorded.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

  // The byte at `offset` of a generated body: a fixed pattern without a short period.
  static char GeneratedByte(uint64_t offset);
  static std::string GeneratedBytes(uint64_t offset, size_t count);

 private:
  void AcceptLoop();
  void Serve(int fd);
  void SendReply(int fd, const Reply& reply);
  bool SendAll(int fd, const char* data, size_t size);
  bool Pause(std::chrono::milliseconds pause);  // false when shutting down
  void StallUntilShutdown();
  Handler Lookup(const std::string& path) const;

  int listenFd_ = -1;
  int wakePipe_[2] = {-1, -1};
  int port_ = 0;
  std::atomic<size_t> accepted_{0};

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;  // requests recorded, or shutdown
  bool stopping_ = false;
  std::map<std::string, Handler> routes_;
  Handler default_;
  std::vector<RecordedRequest> requests_;
  std::set<int> openFds_;
  std::vector<std::thread> connections_;
  std::thread acceptThread_;
};

// A loopback port on which nothing listens (bound once, then released): connecting to
// it is refused.
int UnusedLoopbackPort();

// A loopback port that listens but never accepts, its queue already full, so a new
// connection attempt is never answered. Lives as long as the object.
class UnansweredPort {
 public:
  UnansweredPort();
  ~UnansweredPort();
  UnansweredPort(const UnansweredPort&) = delete;
  UnansweredPort& operator=(const UnansweredPort&) = delete;
  int Port() const { return port_; }

 private:
  int listenFd_ = -1;
  std::vector<int> fillers_;
  int port_ = 0;
};
