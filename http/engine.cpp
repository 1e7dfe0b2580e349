#include "http/engine.h"

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <linux/tcp.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

#include "http/handler_pool.h"
#include "http/head_deadlines.h"
#include "http/line_budget.h"
#include "http/listen_socket.h"

namespace http {

struct Engine::State {
  EngineSettings settings;
  Handler handler;
  std::string allow;  // the Allow header of a 405
  std::unique_ptr<HeadDeadlines> deadlines;
  std::unique_ptr<HandlerPool> handlers;  // null: handlers run on the event threads
  std::unique_ptr<LineBudget> budget;     // of the lines about unanswered connections
  std::atomic<bool> stopping{false};
};

namespace {

// Open files kept back from the connection limit for the program's own files, database
// connections and the like.
constexpr long kFilesKeptBack = 256;

using Clock = std::chrono::steady_clock;

// One connection, from accept to close: what is known of it when it ends unanswered.
struct Link {
  Clock::time_point accepted = Clock::now();
  std::string peer;
  bool headSeen = false;
  bool answered = false;  // an answer of the program's, or a refusal the engine judged
  std::string method;
  std::string target;
  int status = 0;        // the library's own answer, when it gave one
  int termination = -1;  // how the library ended the request; -1: it never began
  int fd = -1;
  bool handshakeDone = true;      // false while a TLS handshake is under way
  const void* session = nullptr;  // the TLS session, only as a key
};

// One request on a connection, from its request line to its answer.
struct Exchange {
  Request request;
  // Where the target began on the request line, only to tell where it ended (never read).
  const char* lineTarget = nullptr;
  bool headSeen = false;
  bool handedOver = false;     // to a handler thread, the connection suspended meanwhile
  std::optional<Reply> reply;  // that thread's answer, taken once the connection resumes
  int status = 0;              // set once an answer is queued
};

Reply DefaultRefusal(int status) {
  Reply reply;
  reply.status = status;
  reply.body = std::string(ReasonOf(status)) + "\n";
  return reply;
}

// Called as soon as the request line is in, before the headers: keeps the target as sent,
// which the access handler gets only decoded and without its query.
void* KeepTarget(void*, const char* uri, MHD_Connection*) {
  auto* exchange = new Exchange;
  exchange->request.target = uri != nullptr ? uri : "";
  exchange->lineTarget = uri;
  return exchange;
}

Link* LinkOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info != nullptr ? static_cast<Link*>(info->socket_context) : nullptr;
}

// The status of the answer queued on the connection; 0 when none is.
int QueuedStatus(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_HTTP_STATUS);
  return info != nullptr ? static_cast<int>(info->http_status) : 0;
}

std::string PeerOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (info == nullptr || info->client_addr == nullptr) return "";
  char text[INET6_ADDRSTRLEN] = "";
  const sockaddr* address = info->client_addr;
  if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
  }
  return text;
}

// TLS connections whose handshake is under way, by their session. The library tells
// nothing of a handshake, and a connection's session is gone by the time it is closed: a
// hook of the session marks the connection's Link once the client's Finished message has
// been taken, on the connection's own thread.
std::mutex& HandshakeMutex() {
  static std::mutex mutex;
  return mutex;
}
std::unordered_map<const void*, Link*>& Handshakes() {
  static std::unordered_map<const void*, Link*> links;
  return links;
}

int HandshakeStep(gnutls_session_t session, unsigned int type, unsigned when, unsigned int incoming,
                  const gnutls_datum_t*) {
  if (type != GNUTLS_HANDSHAKE_FINISHED || when != GNUTLS_HOOK_POST || incoming == 0) return 0;
  std::lock_guard<std::mutex> lock(HandshakeMutex());
  const auto it = Handshakes().find(session);
  if (it != Handshakes().end()) {
    it->second->handshakeDone = true;
    Handshakes().erase(it);
  }
  return 0;
}

// Called as the connection starts, while its session is alive.
void WatchHandshake(MHD_Connection* connection, Link& link) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
  if (info == nullptr || info->tls_session == nullptr) return;
  const auto session = static_cast<gnutls_session_t>(info->tls_session);
  link.handshakeDone = false;
  link.session = session;
  {
    std::lock_guard<std::mutex> lock(HandshakeMutex());
    Handshakes()[session] = &link;
  }
  gnutls_handshake_set_hook_function(session, GNUTLS_HANDSHAKE_FINISHED, GNUTLS_HOOK_POST, &HandshakeStep);
}

// Called as the connection closes (its session may be gone: its address is only a key).
void ForgetHandshake(const Link& link) {
  if (link.session == nullptr) return;
  std::lock_guard<std::mutex> lock(HandshakeMutex());
  const auto it = Handshakes().find(link.session);
  if (it != Handshakes().end() && it->second == &link) Handshakes().erase(it);
}

// Whether the target held a NUL byte. The library hands the target over as a C string, so
// cut at its first NUL; the version that follows it on the same request line, after one
// space, shows where the target really ended. Judged only when the two lie as described
// (the version after the target, both within the connection's memory); nothing is read.
bool TargetCutShort(const Exchange& exchange, const char* version, std::size_t connectionMemory) {
  if (exchange.lineTarget == nullptr || version == nullptr) return false;
  const auto from = reinterpret_cast<std::uintptr_t>(exchange.lineTarget);
  const auto to = reinterpret_cast<std::uintptr_t>(version);
  if (to <= from || to - from > connectionMemory) return false;
  return to - from > exchange.request.target.size() + 1;
}

// Whether the path, once decoded, would hold a NUL byte (the query is the handlers' to judge).
bool PathHoldsEncodedNul(std::string_view target) {
  const std::string_view path = target.substr(0, target.find('?'));
  return path.find("%00") != std::string_view::npos;
}

Unanswered Summary(unsigned more) {
  Unanswered summary;
  summary.why = "not logged one by one";
  summary.more = more;
  return summary;
}

// Tells `line` to `to` within the budget of lines a second, which the engine's own
// refusals share with the connections that ended unanswered; counts go to `unanswered`.
void Report(Engine::State& state, const std::function<void(const Unanswered&)>& to, const Unanswered& line) {
  if (!to || !state.budget) return;
  const LineBudget::Take take = state.budget->One(Clock::now());
  if (take.held > 0 && state.settings.unanswered) state.settings.unanswered(Summary(take.held));
  if (take.write) to(line);
}

void Report(Engine::State& state, const Unanswered& unanswered) {
  Report(state, state.settings.unanswered, unanswered);
}

// Tells the count held back in a second that is over, so a flood that stops is still
// accounted for without waiting for the next event.
void ReportHeld(Engine::State& state, bool all) {
  if (!state.settings.unanswered || !state.budget) return;
  const unsigned held = all ? state.budget->Rest() : state.budget->Over(Clock::now());
  if (held > 0) state.settings.unanswered(Summary(held));
}

// Bytes the connection took in and sent out, from the kernel; false when unknown.
bool TrafficOf(int fd, std::uint64_t& received, std::uint64_t& sent) {
  tcp_info info{};
  socklen_t size = sizeof info;
  if (fd < 0 || getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
      size < offsetof(tcp_info, tcpi_bytes_sent) + sizeof info.tcpi_bytes_sent) {
    return false;
  }
  received = info.tcpi_bytes_received;
  sent = info.tcpi_bytes_sent;
  return true;
}

// What ended a connection that got no answer of the program's; sets the status of the
// library's own answer where it can be told.
std::string WhyUnanswered(const Engine::State& state, Link& link, HeadDeadlines::Cut cut) {
  const bool handshakeDone = link.handshakeDone || link.termination >= 0;
  const auto age = Clock::now() - link.accepted;
  if (cut == HeadDeadlines::Cut::kPeerGone) return "closed by peer";
  if (cut == HeadDeadlines::Cut::kDeadline ||
      (!link.headSeen && link.status == 0 && age >= state.settings.headTimeout)) {
    return handshakeDone ? "head timeout" : "TLS handshake timeout";
  }
  if (link.status == 0 && link.termination < 0 && handshakeDone && !state.stopping) {
    // The request line never came whole, and the library tells nothing of what it
    // answered then (a 414, a 400 or 505 for a line it could not read): the kernel's
    // counts tell whether it answered, and a line that filled the connection's memory.
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
    const bool tls = link.session != nullptr;
    if (TrafficOf(link.fd, received, sent)) {
      if (received >= state.settings.connectionMemory / 2 && (tls || sent > 0)) {
        link.status = MHD_HTTP_URI_TOO_LONG;
      } else if (!tls && sent > 0) {
        return "bad request";
      }
    }
  }
  if (link.status == MHD_HTTP_URI_TOO_LONG || link.status == MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE ||
      link.status == MHD_HTTP_CONTENT_TOO_LARGE) {
    return "too large";
  }
  if (link.status != 0) return "bad request";
  if (!handshakeDone) return state.stopping ? "server stopping" : "TLS handshake failed";
  switch (link.termination) {
    case MHD_REQUEST_TERMINATED_TIMEOUT_REACHED: return "idle timeout";
    case MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN: return "server stopping";
    case MHD_REQUEST_TERMINATED_READ_ERROR: return "read error";
    case MHD_REQUEST_TERMINATED_CLIENT_ABORT: return "closed by peer";
    case MHD_REQUEST_TERMINATED_WITH_ERROR: return "error";
    default: break;
  }
  if (state.stopping) return "server stopping";
  // Before its request line was complete: the library tells nothing of why it closed.
  if (age >= std::chrono::seconds(state.settings.idleTimeoutSeconds)) return "idle timeout";
  return "closed by peer";
}

MHD_Result Queue(MHD_Connection* connection, Exchange& exchange, Reply reply) {
  MHD_Response* response = nullptr;
  if (reply.fileFd >= 0) {
    // Takes the descriptor; closed with the response.
    response = MHD_create_response_from_fd64(reply.fileSize, reply.fileFd);
    if (response == nullptr) close(reply.fileFd);
  } else {
    response = MHD_create_response_from_buffer(reply.body.size(), reply.body.data(), MHD_RESPMEM_MUST_COPY);
  }
  if (response == nullptr) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
  for (const auto& [name, value] : reply.headers) {
    MHD_add_response_header(response, name.c_str(), value.c_str());
  }
  // One request per connection: the next head starts a new connection and a new deadline.
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  exchange.status = reply.status;
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
  MHD_destroy_response(response);
  return queued;
}

std::optional<std::uint64_t> NumberOf(const char* text) {
  if (text == nullptr) return std::nullopt;
  std::string_view value(text);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  std::uint64_t number = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (value.empty() || ec != std::errc() || end != value.data() + value.size()) return std::nullopt;
  return number;
}

// The status a head is refused with, or 0 when it may be handled.
int JudgeHead(const EngineSettings& settings, MHD_Connection* connection, const char* method,
              bool nulInTarget) {
  if (nulInTarget) return MHD_HTTP_BAD_REQUEST;
  bool known = false;
  for (const std::string& m : settings.methods) known = known || m == method;
  if (!known) return MHD_HTTP_METHOD_NOT_ALLOWED;
  const int headerLines = MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr);
  if (headerLines < 0 || static_cast<std::size_t>(headerLines) > settings.maxHeaderLines) {
    return MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE;
  }
  // A body of unknown length could go on for ever.
  if (MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING) !=
      nullptr) {
    return MHD_HTTP_CONTENT_TOO_LARGE;
  }
  const char* length =
      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
  if (length != nullptr) {
    const auto bytes = NumberOf(length);
    if (!bytes) return MHD_HTTP_BAD_REQUEST;
    if (*bytes > settings.maxBodyBytes) return MHD_HTTP_CONTENT_TOO_LARGE;
  }
  return 0;
}

Reply Handle(Engine::State& state, const Request& request) {
  try {
    return state.handler(request);
  } catch (const std::exception&) {
    return DefaultRefusal(MHD_HTTP_INTERNAL_SERVER_ERROR);
  }
}

MHD_Result Access(void* cls, MHD_Connection* connection, const char* url, const char* method,
                  const char* version, const char*, size_t* uploadSize, void** requestContext) {
  auto* state = static_cast<Engine::State*>(cls);
  auto* exchange = static_cast<Exchange*>(*requestContext);
  if (exchange == nullptr) {  // not expected: the request line always comes first
    exchange = new Exchange;
    exchange->request.target = url;
    *requestContext = exchange;
  }
  if (!exchange->headSeen) {
    // The whole head is here: from now on the connection is the handler's.
    exchange->headSeen = true;
    state->deadlines->Forget(connection);
    if (Link* link = LinkOf(connection)) link->headSeen = true;
    exchange->request.method = method;
    exchange->request.path = url;
    exchange->request.header = [connection](std::string_view name) {
      const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, std::string(name).c_str());
      return value != nullptr ? std::string(value) : std::string();
    };
    const bool cutShort = TargetCutShort(*exchange, version, state->settings.connectionMemory);
    const bool nulInTarget = cutShort || PathHoldsEncodedNul(exchange->request.target);
    if (nulInTarget) {
      // The log shows the path as sent (its decoding would stop at the NUL), and a raw
      // NUL where it cut the path short.
      const std::string& target = exchange->request.target;
      const std::size_t query = target.find('?');
      exchange->request.path = target.substr(0, query);
      if (cutShort && query == std::string::npos) exchange->request.path += '\0';
    }
    const int refused = JudgeHead(state->settings, connection, method, nulInTarget);
    if (refused != 0) {
      Reply reply = state->settings.refusal ? state->settings.refusal(refused) : DefaultRefusal(refused);
      reply.status = refused;
      if (refused == MHD_HTTP_METHOD_NOT_ALLOWED) reply.headers.emplace_back("Allow", state->allow);
      if (state->settings.refused) {
        Unanswered line;
        line.method = exchange->request.method;
        line.target = exchange->request.path;
        line.status = refused;
        line.why = "refused";
        if (const Link* link = LinkOf(connection)) line.peer = link->peer;
        Report(*state, state->settings.refused, line);
      }
      // Queued before any body is read: the engine sends it and closes, the body unread.
      return Queue(connection, *exchange, std::move(reply));
    }
    return MHD_YES;
  }
  if (*uploadSize > 0) {
    // A small body (its length checked above) is read and dropped: no handler takes one.
    *uploadSize = 0;
    return MHD_YES;
  }
  if (exchange->reply) return Queue(connection, *exchange, std::move(*exchange->reply));
  if (state->handlers) {
    if (exchange->handedOver) return MHD_YES;
    exchange->handedOver = true;
    MHD_suspend_connection(connection);
    state->handlers->Enqueue([state, connection, exchange] {
      exchange->reply = Handle(*state, exchange->request);
      // Resuming takes the engine's lock, which orders the reply before its reading.
      MHD_resume_connection(connection);
    });
    return MHD_YES;
  }
  return Queue(connection, *exchange, Handle(*state, exchange->request));
}

void Completed(void* cls, MHD_Connection* connection, void** requestContext,
               MHD_RequestTerminationCode code) {
  auto* state = static_cast<Engine::State*>(cls);
  auto* exchange = static_cast<Exchange*>(*requestContext);
  *requestContext = nullptr;
  Link* link = LinkOf(connection);
  if (link != nullptr) {
    link->termination = static_cast<int>(code);
    if (link->status == 0) link->status = QueuedStatus(connection);
  }
  if (exchange == nullptr) return;
  exchange->request.header = nullptr;  // the connection's headers are going
  if (link != nullptr) {
    link->answered = exchange->status != 0;
    link->method = exchange->request.method;
    link->target = exchange->request.target;
  }
  if (exchange->status != 0 && state->settings.answered) {
    state->settings.answered(exchange->request, exchange->status);
  }
  delete exchange;
}

void ConnectionEvent(void* cls, MHD_Connection* connection, void** socketContext,
                     MHD_ConnectionNotificationCode code) {
  auto* state = static_cast<Engine::State*>(cls);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    auto* link = new Link;
    link->peer = PeerOf(connection);
    WatchHandshake(connection, *link);
    *socketContext = link;
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info != nullptr) {
      // Still open when the connection's close is told, so its counts can be read then.
      link->fd = info->connect_fd;
      state->deadlines->Watch(connection, info->connect_fd);
    }
    return;
  }
  const HeadDeadlines::Cut cut = state->deadlines->Forget(connection);
  auto* link = static_cast<Link*>(*socketContext);
  *socketContext = nullptr;
  if (link == nullptr) return;
  ForgetHandshake(*link);
  if (!link->answered) {
    if (link->status == 0) link->status = QueuedStatus(connection);
    Unanswered unanswered;
    unanswered.why = WhyUnanswered(*state, *link, cut);
    unanswered.status = link->status;
    unanswered.peer = std::move(link->peer);
    unanswered.method = std::move(link->method);
    unanswered.target = std::move(link->target);
    Report(*state, unanswered);
  }
  delete link;
}

// The library's own log: it is the only place where it tells of a connection it closed
// at accept for a connection limit. Its other messages are not needed.
void LibraryLog(void* cls, const char* format, va_list) {
  static const char kLimit[] = "Server reached connection limit";
  if (format == nullptr || std::strncmp(format, kLimit, sizeof kLimit - 1) != 0) return;
  Unanswered unanswered;
  unanswered.why = "connection limit";
  Report(*static_cast<Engine::State*>(cls), unanswered);
}

MHD_OptionItem Item(MHD_OPTION option, intptr_t value, void* pointer = nullptr) {
  return MHD_OptionItem{option, value, pointer};
}

}  // namespace

Engine::Engine(EngineSettings settings, Handler handler) : state_(std::make_unique<State>()) {
  state_->settings = std::move(settings);
  state_->handler = std::move(handler);
  for (const std::string& m : state_->settings.methods) {
    state_->allow += (state_->allow.empty() ? "" : ", ") + m;
  }
}

Engine::~Engine() {
  Stop();
  if (listenFd_ >= 0) close(listenFd_);
}

bool Engine::Bind(const std::string& host, int port, std::string& error) {
  listenFd_ = ListenOn(host, port, kListenBacklog, error);
  if (listenFd_ < 0) return false;
  port_ = BoundPort(listenFd_);
  return true;
}

bool Engine::Start(std::string& error) {
  if (listenFd_ < 0) {
    error = "the engine has no listening socket";
    return false;
  }
  EngineSettings& s = state_->settings;
  state_->stopping = false;
  state_->budget = std::make_unique<LineBudget>(s.unansweredPerSecond);
  State* state = state_.get();
  state_->deadlines = std::make_unique<HeadDeadlines>(s.headTimeout, [state] { ReportHeld(*state, false); });
  unsigned limit = s.connectionLimit;
  if (limit == 0) {
    const long files = RaiseOpenFileLimit() - kFilesKeptBack;
    limit = static_cast<unsigned>(files > 64 ? files : 64);
  }
  std::vector<MHD_OptionItem> options = {
      Item(MHD_OPTION_LISTEN_SOCKET, listenFd_),
      Item(MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(s.connectionMemory)),
      Item(MHD_OPTION_CONNECTION_LIMIT, limit),
      Item(MHD_OPTION_CONNECTION_TIMEOUT, s.idleTimeoutSeconds),
      Item(MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&KeepTarget), nullptr),
      Item(MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Completed), state_.get()),
      Item(MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&ConnectionEvent), state_.get()),
      Item(MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&LibraryLog), state_.get()),
  };
  if (s.perAddressLimit > 0) options.push_back(Item(MHD_OPTION_PER_IP_CONNECTION_LIMIT, s.perAddressLimit));
  if (s.threads > 1) options.push_back(Item(MHD_OPTION_THREAD_POOL_SIZE, s.threads));
  // Turbo: reads, writes and accepts are tried before readiness is asked, which saves a
  // system call or two on every short exchange.
  // The error log only reaches LibraryLog, which keeps the limit refusals of it.
  unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_TURBO | MHD_USE_ERROR_LOG;
  if (s.handlerThreads > 0) {
    flags |= MHD_ALLOW_SUSPEND_RESUME;
    state_->handlers = std::make_unique<HandlerPool>(s.handlerThreads);
  }
  if (s.tls) {
    flags |= MHD_USE_TLS;
    options.push_back(Item(MHD_OPTION_HTTPS_MEM_CERT, 0, s.tls->certificatePem.data()));
    options.push_back(Item(MHD_OPTION_HTTPS_MEM_KEY, 0, s.tls->privateKeyPem.data()));
  }
  options.push_back(Item(MHD_OPTION_END, 0));
  daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &Access, state_.get(), MHD_OPTION_ARRAY,
                             options.data(), MHD_OPTION_END);
  if (daemon_ == nullptr) {
    error = "the HTTP engine did not start";
    return false;
  }
  listenFd_ = -1;  // the engine's now; it closes it when it stops
  return true;
}

void Engine::Stop() {
  if (daemon_ == nullptr) return;
  state_->stopping = true;
  // No new connections; the handlers run what they took and resume those connections,
  // so that none is left suspended when the engine closes them all.
  const MHD_socket listening = MHD_quiesce_daemon(daemon_);
  // Drained, not destroyed: an event thread may still be handing a request over to it.
  if (state_->handlers) state_->handlers->Drain();
  MHD_stop_daemon(daemon_);
  if (listening != MHD_INVALID_SOCKET) close(listening);
  daemon_ = nullptr;
  state_->deadlines.reset();  // its sweeper no longer tells what is held back
  ReportHeld(*state_, true);
}

}  // namespace http
