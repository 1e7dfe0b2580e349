#include "http/tls_credentials.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace http {

namespace {

// A PEM file is a few KiB; anything far larger is no certificate or key.
constexpr std::streamsize kMaxPemBytes = 1 << 20;

bool ReadSmallFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string text(static_cast<std::size_t>(kMaxPemBytes) + 1, '\0');
  in.read(text.data(), kMaxPemBytes + 1);
  const std::streamsize got = in.gcount();
  if (got <= 0 || got > kMaxPemBytes) return false;
  text.resize(static_cast<std::size_t>(got));
  out = std::move(text);
  return true;
}

}  // namespace

std::optional<TlsCredentials> LoadTlsCredentials(const std::string& certificatePath,
                                                 const std::string& privateKeyPath, std::string& error) {
  TlsCredentials pair;
  if (!ReadSmallFile(certificatePath, pair.certificatePem)) {
    error = "cannot read " + certificatePath;
    return std::nullopt;
  }
  if (!ReadSmallFile(privateKeyPath, pair.privateKeyPem)) {
    error = "cannot read " + privateKeyPath;
    return std::nullopt;
  }
  gnutls_certificate_credentials_t credentials = nullptr;
  if (gnutls_certificate_allocate_credentials(&credentials) != GNUTLS_E_SUCCESS) {
    error = "the TLS library cannot start";
    return std::nullopt;
  }
  gnutls_datum_t cert{reinterpret_cast<unsigned char*>(pair.certificatePem.data()),
                      static_cast<unsigned>(pair.certificatePem.size())};
  gnutls_datum_t key{reinterpret_cast<unsigned char*>(pair.privateKeyPem.data()),
                     static_cast<unsigned>(pair.privateKeyPem.size())};
  // The library checks that the key matches the certificate.
  const int rc = gnutls_certificate_set_x509_key_mem(credentials, &cert, &key, GNUTLS_X509_FMT_PEM);
  gnutls_certificate_free_credentials(credentials);
  if (rc < 0) {
    error = gnutls_strerror(rc);
    return std::nullopt;
  }
  return pair;
}

}  // namespace http
