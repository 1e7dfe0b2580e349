#pragma once
// The local view of a running instance: an HTTP server on a loopback address that serves
// the page (from the program itself), shows the dashboard, the last hour and the metrics,
// and switches mining on or off for whoever holds the instance's token. It runs on its own
// threads; what it shows comes from `ViewSources`.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "daemon/daemon_options.h"
#include "daemon/page_routes.h"

namespace httplib {
class Server;
}

struct ViewSources {
  std::function<std::string()> dashboardJson;
  std::function<std::string()> metricsText;
  std::function<std::string()> toggleMining;  // runs the Start/Stop command; returns JSON
  std::string token;                          // the one a POST must carry
  PageSources page;                           // the page, its snapshot and history
};

// A request body may hold this much; the view needs none, so anything more is refused.
constexpr std::size_t kViewMaxBody = 1024;

class LocalView {
 public:
  explicit LocalView(ViewSources sources);
  ~LocalView();
  LocalView(const LocalView&) = delete;
  LocalView& operator=(const LocalView&) = delete;

  // Binds the address (port 0: any free port); false with `error` when it cannot.
  bool Bind(const ListenAddress& address, std::string& error);
  int Port() const { return port_; }
  // Serves on a thread of its own until Stop, which returns once no request is handled.
  void Start();
  void Stop();

  // Whether a Host header names this view: a loopback literal or "localhost" with the
  // view's port. A name anything else resolves to is refused, so that a web page the
  // user opens cannot rebind its own name to 127.0.0.1 and read the view.
  static bool HostAllowed(const std::string& host, int port);

 private:
  void Route();

  ViewSources sources_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
};
