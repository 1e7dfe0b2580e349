// mining-service: the local stand-in for the mining service the client talks to.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "http/engine.h"
#include "http/tls_credentials.h"
#include "server/handlers.h"
#include "server/options.h"
#include "server/request_log.h"
#include "server/store/open_store.h"

namespace {

std::string UrlHost(const std::string& address) {
  return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

http::EngineSettings SettingsFrom(const ServiceOptions& options) {
  http::EngineSettings settings;
  settings.methods = {"GET"};
  settings.maxHeaderLines = 64;
  // The service's requests carry no body at all; a few KiB are read and dropped.
  settings.maxBodyBytes = 4 * 1024;
  // Bounds the request line and the header lines together (about 16 KiB of head).
  settings.connectionMemory = 16 * 1024;
  settings.headTimeout = std::chrono::milliseconds(options.headTimeoutMs);
  settings.idleTimeoutSeconds = 5;
  // Two event threads read every head and write every answer; the handlers, which wait
  // for their commit, run on the request threads, so a commit takes many reports at once.
  settings.threads = 2;
  settings.handlerThreads = static_cast<unsigned>(options.threads);
  settings.refusal = ServiceRefusal;
  settings.answered = LogAnswered;
  settings.unanswered = LogUnanswered;
  settings.perAddressLimit = static_cast<unsigned>(options.perAddressLimit);
  return settings;
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

  // SIGINT and SIGTERM are taken by the main thread with sigwait, which stops the server
  // safely; every other thread, the engine's included, has them blocked.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // A certificate that cannot be used ends the program before the database is touched.
  http::EngineSettings settings = SettingsFrom(options);
  const bool secure = !options.tlsCert.empty();
  if (secure) {
    std::string tlsError;
    settings.tls = http::LoadTlsCredentials(options.tlsCert, options.tlsKey, tlsError);
    if (!settings.tls) {
      std::fprintf(stderr, "mining-service: cannot use the TLS certificate %s with the key %s: %s\n",
                   options.tlsCert.c_str(), options.tlsKey.c_str(), tlsError.c_str());
      return 1;
    }
  }

  // The port is taken before the database is opened, so a start that fails here leaves no
  // database file behind. Connections wait in the backlog until the engine starts, which
  // is once the store is open and the handler set.
  std::unique_ptr<MiningStore> store;
  http::Handler handler;
  http::Engine server(std::move(settings),
                      [&handler](const http::Request& request) { return handler(request); });
  std::string error;
  if (!server.Bind(options.bindAddress, options.port, error)) {
    std::fprintf(stderr, "mining-service: %s\n", error.c_str());
    return 1;
  }

  store = OpenStore(options.databasePath, options.seedSerial, options.threads, error);
  if (!store) {
    std::fprintf(stderr, "mining-service: %s\n", error.c_str());
    return 1;
  }
  if (store->SeededOnOpen()) {
    // A PostgreSQL URI may carry a password: the log names only the kind of database.
    WriteLogLine("mining-service: new database " +
                 (IsPostgresUri(options.databasePath) ? std::string("(PostgreSQL)") : options.databasePath) +
                 ", seeded demo machine " + options.seedSerial);
  }

  handler = ServiceHandler(*store, options);
  if (!server.Start(error)) {
    std::fprintf(stderr, "mining-service: %s\n", error.c_str());
    return 1;
  }
  const int port = server.Port();
  // Tests and scripts read the port from this line.
  std::printf("mining-service listening on %s://%s:%d\n", secure ? "https" : "http",
              UrlHost(options.bindAddress).c_str(), port);
  std::fflush(stdout);

  std::atomic<bool> stopping{false};
  // A test or a script that dies without stopping the service would leave it running;
  // with --exit-with-parent it sends itself the SIGTERM once its parent has gone.
  std::thread parentWatch;
  if (options.exitWithParent) {
    parentWatch = std::thread([starter, &stopping] {
      while (!stopping) {
        if (getppid() != starter) {
          kill(getpid(), SIGTERM);
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
  }
  int signalNumber = 0;
  sigwait(&stopSignals, &signalNumber);
  stopping = true;
  // Drops the open connections; requests being handled right now are finished first.
  server.Stop();
  if (parentWatch.joinable()) parentWatch.join();
  WriteLogLine("mining-service: stopped");
  return 0;
}
