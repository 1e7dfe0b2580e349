// mining-service: the local stand-in for the mining service the client talks to.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server/guarded_server.h"
#include "server/handlers.h"
#include "server/options.h"
#include "server/request_log.h"
#include "server/store.h"
#include "server/tls_server.h"
#include "server/worker_pool.h"

namespace {

std::string UrlHost(const std::string& address) {
  return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

// A fleet's reports arrive together in the first milliseconds of a second; the queue of
// connections not yet accepted must hold such a burst (the system caps it at somaxconn).
constexpr int kListenBacklog = 4096;

ConnectionLimits LimitsFrom(const ServiceOptions& options) {
  ConnectionLimits limits;
  limits.headTimeout = std::chrono::milliseconds(options.headTimeoutMs);
  return limits;
}

}  // namespace

int main(int argc, char** argv) {
  const pid_t starter = getppid();
  const OptionsResult parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.helpRequested) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (parsed.versionRequested) {
    std::fputs(VersionText().c_str(), stdout);
    return 0;
  }
  if (!parsed.options) {
    std::fprintf(stderr, "mining-service: %s\nRun 'mining-service --help' for the options.\n",
                 parsed.error.c_str());
    return 2;
  }
  const ServiceOptions options = *parsed.options;
  TlsOptions tls;
  tls.certificatePath = options.tlsCert;
  tls.privateKeyPath = options.tlsKey;

  // SIGINT and SIGTERM are taken by one thread with sigwait, which can stop the server
  // safely; every other thread, the library's workers included, has them blocked.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // A certificate that cannot be used ends the program before the database is touched.
  // Either server reads each request's head itself under the service's limits, the TLS
  // one after its handshake.
  std::unique_ptr<httplib::Server> serverHolder;
  std::function<bool(int)> raiseBacklog;
  if (tls.Enabled()) {
    std::string tlsError;
    auto secure = MakeTlsServer(tls, LimitsFrom(options), tlsError);
    if (!secure) {
      std::fprintf(stderr, "mining-service: %s\n", tlsError.c_str());
      return 1;
    }
    raiseBacklog = [s = secure.get()](int backlog) { return s->SetListenBacklog(backlog); };
    serverHolder = std::move(secure);
  } else {
    auto plain = std::make_unique<GuardedServer>(LimitsFrom(options));
    raiseBacklog = [s = plain.get()](int backlog) { return s->SetListenBacklog(backlog); };
    serverHolder = std::move(plain);
  }
  httplib::Server& server = *serverHolder;

  const int threads = options.threads;
  server.new_task_queue = [threads] { return new WorkerPool(threads); };
  // The library's default adds SO_REUSEPORT, with which a second service on the same port
  // starts without complaint and takes half the requests. SO_REUSEADDR alone still allows
  // a quick restart on a port left in TIME_WAIT.
  server.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // The port is taken before the database is opened, so a start that fails here leaves no
  // database file behind.
  int port = options.port;
  errno = 0;
  if (port == 0) {
    port = server.bind_to_any_port(options.bindAddress);
    if (port <= 0) port = -1;
  } else if (!server.bind_to_port(options.bindAddress, port)) {
    port = -1;
  }
  if (port > 0 && !raiseBacklog(kListenBacklog)) port = -1;
  if (port < 0) {
    const int reason = errno;
    // Without an errno the address itself did not resolve to one of this machine's.
    std::fprintf(stderr, "mining-service: cannot listen on %s port %d: %s\n", options.bindAddress.c_str(),
                 options.port, reason != 0 ? std::strerror(reason) : "not an address to listen on");
    return 1;
  }
  std::string error;
  const std::unique_ptr<MiningStore> store = OpenStore(options, error);
  if (!store) {
    std::fprintf(stderr, "mining-service: %s\n", error.c_str());
    return 1;
  }
  if (store->SeededOnOpen()) {
    // A PostgreSQL URI may carry a password: the log names only the kind of database.
    WriteLogLine("mining-service: new database " +
                 (IsPostgresUri(options.databasePath) ? std::string("(PostgreSQL)")
                                                      : options.databasePath) +
                 ", seeded demo machine " + options.seedSerial);
  }

  InstallRoutes(server, *store, options);
  // Tests and scripts read the port from this line.
  std::printf("mining-service listening on %s://%s:%d\n", tls.Enabled() ? "https" : "http",
              UrlHost(options.bindAddress).c_str(), port);
  std::fflush(stdout);

  std::atomic<bool> listenEnded{false};
  // A test or a script that dies without stopping the service would leave it running;
  // with --exit-with-parent it sends itself the SIGTERM once its parent has gone.
  std::thread parentWatch;
  if (options.exitWithParent) {
    parentWatch = std::thread([starter, &listenEnded] {
      while (!listenEnded) {
        if (getppid() != starter) {
          kill(getpid(), SIGTERM);
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
  }
  std::thread stopper([&server, &stopSignals, &listenEnded] {
    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
    // A signal may come before the accept loop runs, and stop() does nothing until it
    // does; so stop once the server runs, and only once (stop() expects a live socket).
    while (!listenEnded) {
      if (server.is_running()) {
        server.stop();
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  const bool listened = server.listen_after_bind();
  listenEnded = true;
  // Without a signal the server ended because it could not listen: wake the stopper.
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  if (parentWatch.joinable()) parentWatch.join();
  WriteLogLine(listened ? "mining-service: stopped" : "mining-service: the server failed");
  return listened ? 0 : 1;
}
