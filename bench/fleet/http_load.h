#pragma once
// Many HTTP/1.1 GETs in flight at once from one thread: non-blocking sockets to
// 127.0.0.1 on one epoll set, one request per connection (as the client opens a fresh
// connection for every exchange), the answer read until the service closes.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using LoadClock = std::chrono::steady_clock;

struct HttpResult {
  bool answered = false;  // a complete status line and body arrived
  int status = 0;
  std::string body;
  std::string error;  // why there is no answer
  int port = 0;       // of the service it went to
  LoadClock::time_point started;
  LoadClock::time_point finished;
  double Seconds() const { return std::chrono::duration<double>(finished - started).count(); }
};

class HttpLoad {
 public:
  // timeout bounds every exchange from its connect.
  explicit HttpLoad(std::chrono::milliseconds timeout);
  ~HttpLoad();
  HttpLoad(const HttpLoad&) = delete;
  HttpLoad& operator=(const HttpLoad&) = delete;

  // To port on 127.0.0.1; target is the path and query ("/Machine/...?..."); done runs on
  // this thread.
  void Send(int port, const std::string& target, std::function<void(const HttpResult&)> done);

  // Handles answers until nothing is in flight or the deadline passes; true when idle.
  bool RunUntilIdle(LoadClock::time_point deadline);
  // Handles whatever is ready now, waiting at most until `until`.
  void RunOnce(LoadClock::time_point until);
  std::size_t InFlight() const { return inFlight_; }

 private:
  struct Exchange;
  void Finish(Exchange* e, const std::string& error);
  void OnReady(Exchange* e, std::uint32_t events);
  void ExpireOld(LoadClock::time_point now);

  std::chrono::milliseconds timeout_;
  int epoll_ = -1;
  std::size_t inFlight_ = 0;
  std::vector<Exchange*> live_;  // for time-outs; swept now and then
  LoadClock::time_point lastSweep_;
};
