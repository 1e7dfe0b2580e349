#pragma once
// The HTTP engine of every listener of the project: an event-driven server (epoll) in
// which waiting for a request's head costs no thread. A handler runs only once the whole
// head has arrived, and only within these limits, which start at accept:
// - the head must be complete within headTimeout of accept, however it trickles in
//   (for TLS, the handshake included);
// - each connection's memory is capped (connectionMemory), which bounds the request line
//   and the header lines: a longer request line gets 414, a larger head 431;
// - at most maxHeaderLines header lines (431), only the listed methods (405 with Allow),
//   a body of at most maxBodyBytes with an announced length (413), read and dropped;
// - a request line whose target holds a NUL byte, raw or percent-encoded in its path, gets
//   400: the handlers would see the target cut short at it;
// - every connection carries one request, so each head passes these checks.
// A connection that ends without an answer of the program's (cut at its head deadline,
// refused by the engine, closed by the peer, over a connection limit, a failed TLS
// handshake) is told to `unanswered`, at most `unansweredPerSecond` of them a second and
// then as a count.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/exchange.h"
#include "http/tls_credentials.h"

struct MHD_Daemon;

namespace http {

struct EngineSettings {
  std::vector<std::string> methods = {"GET"};
  std::size_t maxHeaderLines = 64;
  std::size_t maxBodyBytes = 4 * 1024;
  std::size_t connectionMemory = 16 * 1024;
  std::chrono::milliseconds headTimeout{5000};
  // After the head: each later read or write waits at most this long for the peer.
  unsigned idleTimeoutSeconds = 5;
  // Open connections at once, beyond which new ones are closed on accept; 0: as many as
  // the open-file limit leaves room for.
  unsigned connectionLimit = 0;
  // Open connections at once from one client address, beyond which new ones from it are
  // closed on accept; 0: no limit per address.
  unsigned perAddressLimit = 0;
  // Threads that run the event loops. Every one is woken for each new connection, so
  // more than the machine's cores only cost.
  unsigned threads = 1;
  // Threads that run the handlers, once a request's head is complete; 0: the handlers run
  // on the event threads, which suits handlers that never wait.
  unsigned handlerThreads = 0;
  std::optional<TlsCredentials> tls;
  // The answer for a request the engine refuses itself (status 405, 413 or 431).
  std::function<Reply(int status)> refusal;
  // Called once the answer to a request has been sent (or the connection broke while it
  // was), with the status it was given.
  std::function<void(const Request&, int status)> answered;
  // Called for connections that ended without an answer of the program's (see above).
  std::function<void(const Unanswered&)> unanswered;
  // Called as the engine queues a refusal of its own (400, 405, 413, 431) for a program
  // that logs no answers itself; `why` is "refused", `target` the path. Shares the budget
  // below with `unanswered`, which gets the counts.
  std::function<void(const Unanswered&)> refused;
  unsigned unansweredPerSecond = 20;
};

class Engine {
 public:
  Engine(EngineSettings settings, Handler handler);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Binds and listens (port 0: any free port); false with `error` when it cannot.
  // Connections wait in the backlog until Start.
  bool Bind(const std::string& host, int port, std::string& error);
  int Port() const { return port_; }
  // Starts serving on the engine's own threads.
  bool Start(std::string& error);
  // Stops accepting and drops every open connection at once; waits only for handlers
  // that are running right now.
  void Stop();

  struct State;  // what the engine's callbacks reach

 private:
  std::unique_ptr<State> state_;
  MHD_Daemon* daemon_ = nullptr;
  int listenFd_ = -1;
  int port_ = 0;
};

}  // namespace http
