#pragma once
// HTTPS for mining-service: --tls-cert FILE and --tls-key FILE make it serve TLS with that
// certificate (chain) and private key instead of plain HTTP, under the same limits per
// connection as plain HTTP.
#include <httplib.h>

#include <memory>
#include <string>
#include <vector>

#include "server/guarded_connection.h"

struct TlsOptions {
  std::string certificatePath;  // PEM: the server's certificate, then any intermediates
  std::string privateKeyPath;   // PEM, unencrypted
  bool Enabled() const { return !certificatePath.empty(); }
};

struct TlsOptionsResult {
  TlsOptions tls;
  std::string error;  // non-empty when the TLS options are wrong
};

// Takes --tls-cert and --tls-key (as "--tls-cert FILE" or "--tls-cert=FILE") out of `args`
// and leaves the rest for the other options. Either both or neither must be given. A value
// of another option that reads "--tls-cert" is taken as this option; the option before it
// then lacks its value and the command line is refused, which is the right outcome.
TlsOptionsResult TakeTlsOptions(std::vector<std::string>& args);

const char* TlsUsageText();

// The library's TLS server, each connection's handshake and head read by the service
// itself: the handshake counts against the head's deadline.
class GuardedTlsServer : public httplib::SSLServer {
 public:
  GuardedTlsServer(const TlsOptions& tls, ConnectionLimits limits);

  // Raises the listen backlog; call after bind.
  bool SetListenBacklog(int backlog) { return ListenAgain(svr_sock_, backlog); }

 private:
  bool process_and_close_socket(socket_t sock) override;

  ConnectionLimits limits_;
};

// A TLS server with the given certificate and key. Null with `error` set when the
// certificate or key cannot be loaded or do not belong together.
std::unique_ptr<GuardedTlsServer> MakeTlsServer(const TlsOptions& tls, const ConnectionLimits& limits,
                                                std::string& error);
