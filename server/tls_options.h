#pragma once
// HTTPS for mining-service: --tls-cert FILE and --tls-key FILE make it serve TLS with that
// certificate (chain) and private key instead of plain HTTP, under the same limits per
// connection as plain HTTP.
#include <string>
#include <vector>

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
