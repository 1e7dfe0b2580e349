// mining-service: the local stand-in for the mining service the client talks to.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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
#include "server/store.h"
#include "server/tls_options.h"

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
  settings.threads = static_cast<unsigned>(options.threads);
  settings.refusal = ServiceRefusal;
  settings.answered = LogAnswered;
  return settings;
}

}  // namespace

int main(int argc, char** argv) {
  const pid_t starter = getppid();
  std::vector<std::string> args(argv + 1, argv + argc);
  const TlsOptionsResult tls = TakeTlsOptions(args);
  const OptionsResult parsed = ParseOptions(args);
  if (parsed.helpRequested) {
    std::fputs(UsageText(), stdout);
    std::fputs(TlsUsageText(), stdout);
    return 0;
  }
  if (!tls.error.empty() || !parsed.options) {
    const std::string& error = tls.error.empty() ? parsed.error : tls.error;
    std::fprintf(stderr, "mining-service: %s\n%s%s", error.c_str(), UsageText(), TlsUsageText());
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
  if (tls.tls.Enabled()) {
    std::string tlsError;
    settings.tls = http::LoadTlsCredentials(tls.tls.certificatePath, tls.tls.privateKeyPath, tlsError);
    if (!settings.tls) {
      std::fprintf(stderr, "mining-service: cannot use the TLS certificate %s with the key %s: %s\n",
                   tls.tls.certificatePath.c_str(), tls.tls.privateKeyPath.c_str(), tlsError.c_str());
      return 1;
    }
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

  http::Engine server(std::move(settings), ServiceHandler(*store, options));
  if (!server.Bind(options.bindAddress, options.port, error) || !server.Start(error)) {
    std::fprintf(stderr, "mining-service: %s\n", error.c_str());
    return 1;
  }
  const int port = server.Port();
  // Tests and scripts read the port from this line.
  std::printf("mining-service listening on %s://%s:%d\n", tls.tls.Enabled() ? "https" : "http",
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
