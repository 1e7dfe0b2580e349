#pragma once
// The throwaway certificates of tests/fixtures/tls (regenerate.sh there says what each is).
#include <string>

inline std::string TlsFixture(const char* name) { return std::string(KESTRAVON_TLS_FIXTURES) + "/" + name; }

struct TlsServerFiles {
  std::string cert;
  std::string key;
};

// Signed by ca.pem for 127.0.0.1 and localhost.
inline TlsServerFiles GoodServerFiles() { return {TlsFixture("server.pem"), TlsFixture("server.key")}; }
// Signed by ca.pem, but for wrong-host.invalid only.
inline TlsServerFiles WrongHostServerFiles() {
  return {TlsFixture("wrong-host.pem"), TlsFixture("server.key")};
}
