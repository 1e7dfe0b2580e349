#include "daemon/local_view.h"

#include <utility>

#include "daemon/access_token.h"
#include "daemon/log_lines.h"
#include "daemon/page_assets.h"
#include "http/engine.h"
#include "http/log_text.h"

namespace {
const char kJson[] = "application/json; charset=utf-8";
const char kPrometheus[] = "text/plain; version=0.0.4; charset=utf-8";

http::Reply Json(int status, std::string body) {
  http::Reply reply;
  reply.status = status;
  reply.contentType = kJson;
  reply.body = std::move(body);
  return reply;
}

http::Reply Refuse(int status, const char* why) {
  http::Reply reply = Json(status, std::string(R"({"error":")") + why + "\"}\n");
  reply.headers.emplace_back("Cache-Control", "no-store");
  return reply;
}

// Every answer, refusals included, tells a browser to run nothing but the view's own
// files, to guess no type and to let no other page frame it.
http::Reply WithSecurityHeaders(http::Reply reply) {
  for (std::size_t i = 0; i < kPageSecurityHeaderCount; ++i) {
    reply.headers.emplace_back(kPageSecurityHeaders[i].name, kPageSecurityHeaders[i].value);
  }
  return reply;
}

http::Reply FromPage(PageReply page) {
  http::Reply reply;
  reply.status = page.status;
  reply.contentType = std::move(page.contentType);
  reply.body = std::move(page.body);
  reply.headers = std::move(page.headers);
  return reply;
}

// "view: - /dashboard 431 closed: too large (127.0.0.1)", "view: GET /dashboard\x00 400
// refused (127.0.0.1)"; only the path of the target.
void LogUnanswered(const http::Unanswered& unanswered) {
  if (unanswered.more > 0) {
    WriteLogLine("view: " + std::to_string(unanswered.more) +
                 " more refused or unanswered connections in the last second, not logged one by one");
    return;
  }
  const std::string_view target(unanswered.target);
  const std::string_view path = target.substr(0, target.find('?'));
  const bool refused = unanswered.why == "refused";
  WriteLogLine(
      "view: " + (unanswered.method.empty() ? std::string("-") : http::Printable(unanswered.method)) + " " +
      (path.empty() ? std::string("-") : http::Printable(path)) + " " +
      (unanswered.status != 0 ? std::to_string(unanswered.status) : std::string("-")) +
      (refused ? " refused" : " closed: " + unanswered.why) +
      (unanswered.peer.empty() ? "" : " (" + http::Printable(unanswered.peer) + ")"));
}

http::EngineSettings ViewSettings(unsigned perAddressLimit) {
  http::EngineSettings settings;
  settings.methods = {"GET", "POST"};
  settings.maxBodyBytes = kViewMaxBody;
  settings.maxHeaderLines = 64;
  settings.connectionMemory = 16 * 1024;
  settings.headTimeout = std::chrono::seconds(5);
  settings.idleTimeoutSeconds = 5;
  // One user's look-ins and a scraper: a few hundred connections at most, each of which
  // costs memory only.
  settings.connectionLimit = 512;
  settings.perAddressLimit = perAddressLimit;
  settings.unanswered = LogUnanswered;
  settings.refused = LogUnanswered;
  // Two, so a Start/Stop that waits for the service leaves the dashboard answering.
  settings.threads = 2;
  settings.refusal = [](int status) { return WithSecurityHeaders(Refuse(status, http::ReasonOf(status))); };
  return settings;
}
}  // namespace

LocalView::LocalView(ViewSources sources, unsigned perAddressLimit)
    : sources_(std::move(sources)),
      engine_(std::make_unique<http::Engine>(
          ViewSettings(perAddressLimit),
          [this](const http::Request& request) { return WithSecurityHeaders(Answer(request)); })) {
  AddRoutes();
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

void LocalView::AddRoutes() {
  routes_["/dashboard"] = {"GET", [this](const http::Request&) {
                             http::Reply reply = Json(200, sources_.dashboardJson());
                             reply.headers.emplace_back("Cache-Control", "no-store");
                             return reply;
                           }};
  routes_["/metrics"] = {"GET", [this](const http::Request&) {
                           http::Reply reply;
                           reply.contentType = kPrometheus;
                           reply.body = sources_.metricsText();
                           reply.headers.emplace_back("Cache-Control", "no-store");
                           return reply;
                         }};
  routes_["/mining"] = {"POST", [this](const http::Request& request) {
                          // A body without an announced length would be read until the
                          // connection ends.
                          if (!request.HasHeader("Content-Length")) {
                            return Refuse(411, "send a Content-Length (curl -d '')");
                          }
                          const std::optional<std::string> state = sources_.toggleMining();
                          if (!state) return Refuse(503, "the session is ending");
                          http::Reply reply = Json(200, *state);
                          reply.headers.emplace_back("Cache-Control", "no-store");
                          return reply;
                        }};
}

http::Reply LocalView::Answer(const http::Request& request) const {
  if (!HostAllowed(request.header("Host"), port_)) {
    return Refuse(403, "this view answers only to a loopback host name");
  }
  // The page and its files hold nothing of the machine, and a browser that opens the
  // printed address cannot send a token: they alone are answered without one. The page
  // then takes the token from the address's fragment and sends it with each request.
  if (request.method == "GET" && FindPageFile(request.path) != nullptr) {
    return FromPage(*AnswerPageGet(sources_.page, request.path, {}, {}));
  }
  // Every other path, the unknown ones included: what the view shows (the serial number and MAC
  // above all) is the machine's identity towards the service.
  if (!TokensMatch(BearerToken(request.header("Authorization")), sources_.token)) {
    http::Reply reply = Refuse(401, "a valid token is needed (Authorization: Bearer <token file's content>)");
    reply.headers.emplace_back("WWW-Authenticate", "Bearer");
    return reply;
  }
  if (request.method == "GET") {
    const std::size_t query = request.target.find('?');
    std::optional<PageReply> page = AnswerPageGet(
        sources_.page, request.path,
        query == std::string::npos ? std::string_view() : std::string_view(request.target).substr(query + 1),
        request.header("Authorization"));
    if (page) return FromPage(std::move(*page));
  }
  const auto route = routes_.find(request.path);
  if (route == routes_.end()) return Refuse(404, "no such page");
  if (route->second.method != request.method) {
    http::Reply reply = Refuse(405, "method not allowed");
    reply.headers.emplace_back("Allow", route->second.method);
    return reply;
  }
  return route->second.answer(request);
}

bool LocalView::Bind(const ListenAddress& address, std::string& error) {
  if (!engine_->Bind(address.host, address.port, error)) {
    port_ = 0;
    return false;
  }
  port_ = engine_->Port();
  return true;
}

bool LocalView::Start(std::string& error) { return engine_->Start(error); }

void LocalView::Stop() { engine_->Stop(); }
