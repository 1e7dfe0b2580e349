#pragma once
// A certificate (chain) and private key in PEM, read and tried before a program starts
// serving, so that an unusable pair ends it early with a clear message.
#include <optional>
#include <string>

namespace http {

struct TlsCredentials {
  std::string certificatePem;
  std::string privateKeyPem;
};

// Reads both files and checks that the TLS library accepts them as a pair (the key
// belongs to the first certificate). Empty with `error` set otherwise.
std::optional<TlsCredentials> LoadTlsCredentials(const std::string& certificatePath,
                                                 const std::string& privateKeyPath, std::string& error);

}  // namespace http
