#include "daemon/local_view.h"

#include <httplib.h>

#include <utility>

#include "daemon/access_token.h"

namespace {
const char kJson[] = "application/json; charset=utf-8";
const char kPrometheus[] = "text/plain; version=0.0.4; charset=utf-8";

void Refuse(httplib::Response& res, int status, const char* why) {
  res.status = status;
  res.set_content(std::string("{\"error\":\"") + why + "\"}\n", kJson);
}
}  // namespace

LocalView::LocalView(ViewSources sources) : sources_(std::move(sources)), server_(std::make_unique<httplib::Server>()) {
  // Two threads are plenty for one user's look-ins, and the toggles they run are
  // serialised by the caller anyway.
  server_->new_task_queue = [] { return new httplib::ThreadPool(2); };
  server_->set_payload_max_length(kViewMaxBody);
  server_->set_read_timeout(5, 0);
  server_->set_write_timeout(5, 0);
  server_->set_keep_alive_max_count(20);
  server_->set_keep_alive_timeout(5);
  Route();
}

LocalView::~LocalView() { Stop(); }

bool LocalView::HostAllowed(const std::string& host, int port) {
  const std::string suffix = ":" + std::to_string(port);
  if (host.size() <= suffix.size() || host.compare(host.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  const std::string name = host.substr(0, host.size() - suffix.size());
  if (name == "localhost" || name == "[::1]") return true;
  std::string error;
  return ParseListenAddress(name + ":0", error).has_value() && name.front() != '[';
}

void LocalView::Route() {
  server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    if (!HostAllowed(req.get_header_value("Host"), port_)) {
      Refuse(res, 403, "this view answers only to a loopback host name");
      return httplib::Server::HandlerResponse::Handled;
    }
    // Decided before any body is read: a request without the token, or one whose body has
    // no announced length (which would be read until the connection ends), goes no further.
    if (req.method == "POST") {
      if (!TokensMatch(BearerToken(req.get_header_value("Authorization")), sources_.token)) {
        res.set_header("WWW-Authenticate", "Bearer");
        Refuse(res, 401, "a valid token is needed (Authorization: Bearer <token file's content>)");
        return httplib::Server::HandlerResponse::Handled;
      }
      if (!req.has_header("Content-Length")) {
        Refuse(res, 411, "send a Content-Length (curl -d '')");
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server_->Get("/dashboard", [this](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_content(sources_.dashboardJson(), kJson);
  });
  server_->Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(sources_.metricsText(), kPrometheus);
  });
  server_->Post("/mining", [this](const httplib::Request& req, httplib::Response& res) {
    // Checked again where the change is made, whatever runs before it.
    if (!TokensMatch(BearerToken(req.get_header_value("Authorization")), sources_.token)) {
      Refuse(res, 401, "a valid token is needed");
      return;
    }
    res.set_header("Cache-Control", "no-store");
    res.set_content(sources_.toggleMining(), kJson);
  });
  server_->set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) Refuse(res, res.status, "refused");
  });
}

bool LocalView::Bind(const ListenAddress& address, std::string& error) {
  if (address.port == 0) {
    port_ = server_->bind_to_any_port(address.host.c_str());
  } else {
    port_ = server_->bind_to_port(address.host.c_str(), address.port) ? address.port : -1;
  }
  if (port_ <= 0) {
    error = "cannot listen on " + address.host + ":" + std::to_string(address.port);
    port_ = 0;
    return false;
  }
  return true;
}

void LocalView::Start() {
  thread_ = std::thread([this] { server_->listen_after_bind(); });
}

void LocalView::Stop() {
  if (!thread_.joinable()) return;
  server_->stop();
  thread_.join();
}
