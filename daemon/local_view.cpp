#include "daemon/local_view.h"

#include <httplib.h>

#include <utility>

#include "daemon/access_token.h"
#include "daemon/page_assets.h"

namespace {
const char kJson[] = "application/json; charset=utf-8";
const char kPrometheus[] = "text/plain; version=0.0.4; charset=utf-8";

void Refuse(httplib::Response& res, int status, const char* why) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(std::string("{\"error\":\"") + why + "\"}\n", kJson);
}

bool HasToken(const httplib::Request& req, const std::string& token) {
  return TokensMatch(BearerToken(req.get_header_value("Authorization")), token);
}

void RefuseWithoutToken(httplib::Response& res) {
  res.set_header("WWW-Authenticate", "Bearer");
  Refuse(res, 401, "a valid token is needed (Authorization: Bearer <token file's content>)");
}

}  // namespace

LocalView::LocalView(ViewSources sources) : sources_(std::move(sources)), server_(std::make_unique<httplib::Server>()) {
  // A thread serves one connection for as long as it is kept alive, and an open page that
  // reads every second keeps its connection alive: four threads let two pages and a script
  // in at once. The toggles they run are serialised by the caller anyway.
  server_->new_task_queue = [] { return new httplib::ThreadPool(4); };
  server_->set_payload_max_length(kViewMaxBody);
  server_->set_read_timeout(5, 0);
  server_->set_write_timeout(5, 0);
  server_->set_keep_alive_max_count(20);
  // An idle connection gives its thread back soon: a browser opens several to load the
  // page's files and keeps them open, which would hold every thread for their time-out.
  server_->set_keep_alive_timeout(2);
  httplib::Headers headers;
  for (std::size_t i = 0; i < kPageSecurityHeaderCount; ++i) {
    headers.emplace(kPageSecurityHeaders[i].name, kPageSecurityHeaders[i].value);
  }
  server_->set_default_headers(std::move(headers));
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
      if (!HasToken(req, sources_.token)) {
        RefuseWithoutToken(res);
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
    res.set_header("Cache-Control", "no-store");
    res.set_content(sources_.metricsText(), kPrometheus);
  });
  // The page, its files, its snapshot and its history, answered as page_routes says.
  const auto page = [this](const httplib::Request& req, httplib::Response& res) {
    const std::size_t query = req.target.find('?');
    auto reply = AnswerPageGet(sources_.page, req.path,
                               query == std::string::npos ? std::string_view() : std::string_view(req.target).substr(query + 1),
                               req.get_header_value("Authorization"));
    if (!reply) return Refuse(res, 404, "no such page");
    res.status = reply->status;
    for (const auto& [name, value] : reply->headers) res.set_header(name, value);
    res.set_content(std::move(reply->body), reply->contentType);
  };
  for (std::size_t i = 0; i < kEmbeddedFileCount; ++i) server_->Get(kEmbeddedFiles[i].path, page);
  server_->Get("/snapshot", page);
  server_->Get("/history", page);
  server_->Post("/mining", [this](const httplib::Request& req, httplib::Response& res) {
    // Checked again where the change is made, whatever runs before it.
    if (!HasToken(req, sources_.token)) return RefuseWithoutToken(res);
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
