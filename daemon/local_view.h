#pragma once
// The local view of a running instance: an HTTP server on a loopback address that serves
// the page (from the program itself), shows the dashboard, the last hour and the metrics,
// and switches mining on or off. Every request for what the machine shows or does must
// carry the instance's token; the page's own files need none. It runs on the HTTP engine's own threads
// (http/engine.h), so a viewer that sends slowly or never reads holds no thread and never delays the close;
// what it shows comes from `ViewSources`.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "daemon/daemon_options.h"
#include "daemon/page_routes.h"
#include "http/exchange.h"

namespace http {
class Engine;
}

struct ViewSources {
  std::function<std::string()> dashboardJson;
  std::function<std::string()> metricsText;
  // Runs the Start/Stop command and returns JSON; empty once the session is ending and
  // nothing may be started or stopped any more.
  std::function<std::optional<std::string>()> toggleMining;
  std::string token;  // the one every request must carry
  PageSources page;   // the page, its snapshot and history
};

// A request body may hold this much; the view needs none, so anything more is refused.
constexpr std::size_t kViewMaxBody = 1024;

class LocalView {
 public:
  // perAddressLimit: connections open at once from one client address (0: no limit).
  explicit LocalView(ViewSources sources, unsigned perAddressLimit = 0);
  ~LocalView();
  LocalView(const LocalView&) = delete;
  LocalView& operator=(const LocalView&) = delete;

  // Binds the address (port 0: any free port); false with `error` when it cannot.
  bool Bind(const ListenAddress& address, std::string& error);
  int Port() const { return port_; }
  // Serves on threads of its own until Stop; false with `error` when it cannot.
  bool Start(std::string& error);
  // Drops every connection at once; waits only for a request being answered right now.
  void Stop();

  // Whether a Host header names this view: a loopback literal or "localhost" with the
  // view's port. A name anything else resolves to is refused, so that a web page the
  // user opens cannot rebind its own name to 127.0.0.1 and read the view.
  static bool HostAllowed(const std::string& host, int port);

 private:
  struct Route {
    std::string method;
    std::function<http::Reply(const http::Request&)> answer;
  };
  void AddRoutes();
  http::Reply Answer(const http::Request& request) const;

  ViewSources sources_;
  std::map<std::string, Route> routes_;  // by exact path
  std::unique_ptr<http::Engine> engine_;
  int port_ = 0;
};
