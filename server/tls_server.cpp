#include "server/tls_server.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace {

constexpr std::string_view kCertOption = "--tls-cert";
constexpr std::string_view kKeyOption = "--tls-key";

// One TLS connection on a non-blocking socket: every OpenSSL call that would block waits
// for the socket under the caller's deadline instead.
class TlsTransport : public ConnectionTransport {
 public:
  TlsTransport(int sock, SSL_CTX* context) : sock_(sock), ssl_(SSL_new(context)) {
    const int flags = ::fcntl(sock_, F_GETFL);
    if (flags >= 0) ::fcntl(sock_, F_SETFL, flags | O_NONBLOCK);
    if (ssl_) SSL_set_fd(ssl_, sock_);
  }
  ~TlsTransport() override {
    if (ssl_) SSL_free(ssl_);
    // Errors of this connection must not be reported against the next one on this thread.
    ERR_clear_error();
  }
  TlsTransport(const TlsTransport&) = delete;
  TlsTransport& operator=(const TlsTransport&) = delete;

  bool Handshake(GuardClock::time_point deadline) {
    if (!ssl_) return false;
    for (;;) {
      const int rc = SSL_accept(ssl_);
      if (rc == 1) return true;
      if (!AwaitRetry(rc, deadline)) return false;
    }
  }
  long Read(char* buffer, std::size_t size, GuardClock::time_point deadline) override {
    for (;;) {
      const int n = SSL_read(ssl_, buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
      if (n > 0) return n;
      const int error = SSL_get_error(ssl_, n);
      if (error == SSL_ERROR_ZERO_RETURN) return 0;
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return -1;
      if (!WaitFor(sock_, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline)) return kTimedOut;
    }
  }
  bool WaitReadable(GuardClock::time_point deadline) override {
    return SSL_pending(ssl_) > 0 || WaitFor(sock_, POLLIN, deadline);
  }
  bool WriteAll(const char* data, std::size_t size, GuardClock::time_point deadline) override {
    std::size_t sent = 0;
    while (sent < size) {
      // A write that would block is retried with the same bytes, as OpenSSL requires.
      const int chunk = static_cast<int>(std::min<std::size_t>(size - sent, 1 << 30));
      const int n = SSL_write(ssl_, data + sent, chunk);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
      } else if (!AwaitRetry(n, deadline)) {
        return false;
      }
    }
    return true;
  }
  void EndSending() override {
    if (!sentCloseNotify_) SSL_shutdown(ssl_);
    sentCloseNotify_ = true;
  }
  int Socket() const override { return sock_; }

 private:
  // After a call that did not complete: waits for what OpenSSL needs, false when it failed
  // for good or the deadline passed.
  bool AwaitRetry(int rc, GuardClock::time_point deadline) {
    const int error = SSL_get_error(ssl_, rc);
    if (error == SSL_ERROR_WANT_READ) return WaitFor(sock_, POLLIN, deadline);
    if (error == SSL_ERROR_WANT_WRITE) return WaitFor(sock_, POLLOUT, deadline);
    return false;
  }

  int sock_;
  SSL* ssl_;
  bool sentCloseNotify_ = false;
};

}  // namespace

TlsOptionsResult TakeTlsOptions(std::vector<std::string>& args) {
  TlsOptionsResult result;
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    std::string_view name = arg;
    std::string value;
    bool inline_value = false;
    if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = std::string(arg.substr(eq + 1));
      inline_value = true;
    }
    if (name != kCertOption && name != kKeyOption) {
      rest.push_back(args[i]);
      continue;
    }
    if (!inline_value) {
      if (i + 1 >= args.size()) {
        result.error = "option " + std::string(name) + " needs a value";
        return result;
      }
      value = args[++i];
    }
    if (value.empty()) {
      result.error = "option " + std::string(name) + " needs a non-empty value";
      return result;
    }
    (name == kCertOption ? result.tls.certificatePath : result.tls.privateKeyPath) = value;
  }
  if (result.tls.certificatePath.empty() != result.tls.privateKeyPath.empty()) {
    result.error = "--tls-cert and --tls-key go together";
    return result;
  }
  args = std::move(rest);
  return result;
}

const char* TlsUsageText() {
  return "  --tls-cert FILE       serve HTTPS with this PEM certificate (chain); needs --tls-key\n"
         "  --tls-key FILE        the PEM private key of --tls-cert\n";
}

GuardedTlsServer::GuardedTlsServer(const TlsOptions& tls, ConnectionLimits limits)
    : httplib::SSLServer(tls.certificatePath.c_str(), tls.privateKeyPath.c_str()), limits_(limits) {
  ApplyLibraryLimits(*this, limits_);
}

bool GuardedTlsServer::process_and_close_socket(socket_t sock) {
  // A peer that connects and never finishes its handshake holds a worker no longer than
  // one that never finishes its head.
  const auto headDeadline = GuardClock::now() + limits_.headTimeout;
  bool ok = false;
  {
    TlsTransport transport(sock, ssl_context());
    if (transport.Handshake(headDeadline)) {
      ok = ServeGuarded(transport, limits_, headDeadline, [this](httplib::Stream& stream) {
        bool closed = false;
        return process_request(stream, /*close_connection=*/true, closed, nullptr);
      });
      transport.EndSending();
    }
  }
  ::close(sock);
  return ok;
}

std::unique_ptr<GuardedTlsServer> MakeTlsServer(const TlsOptions& tls, const ConnectionLimits& limits,
                                                std::string& error) {
  // The library checks that the key belongs to the certificate; a server without a usable
  // certificate would accept connections and fail every handshake, so it does not start.
  auto server = std::make_unique<GuardedTlsServer>(tls, limits);
  if (!server->is_valid()) {
    error = "cannot use the TLS certificate " + tls.certificatePath + " with the key " +
            tls.privateKeyPath;
    return nullptr;
  }
  return server;
}
