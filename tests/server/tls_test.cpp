// mining-service over HTTPS: --tls-cert and --tls-key, the listening line, and the start-up
// errors of unusable certificates, checked with the library's own TLS client.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "service_fixture.h"
#include "support/loopback_socket.h"
#include "support/tls_fixtures.h"

namespace {

using TlsService = ServiceTest;
using Clock = std::chrono::steady_clock;

// A TLS client that sends raw bytes, as a hostile peer would. The certificate is not
// checked: what matters is what the service does once the handshake is done.
class TlsPeer {
 public:
  explicit TlsPeer(int port) : fd_(loopback::Connect(port)), ctx_(SSL_CTX_new(TLS_client_method())) {
    // The service may close while a refused request is still being sent; OpenSSL writes
    // with plain send(), so the broken pipe must not end the test program.
    signal(SIGPIPE, SIG_IGN);
    timeval tv{10, 0};  // no read or write of the test waits for ever
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    ssl_ = SSL_new(ctx_);
    SSL_set_fd(ssl_, fd_);
    connected_ = fd_ >= 0 && SSL_connect(ssl_) == 1;
  }
  ~TlsPeer() {
    SSL_free(ssl_);
    SSL_CTX_free(ctx_);
    if (fd_ >= 0) close(fd_);
  }
  bool Connected() const { return connected_; }
  bool Send(const std::string& bytes) {
    return SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
  }
  // Everything the service sends until it closes (or 10 s pass).
  std::string ReadToEnd() {
    std::string reply;
    char buffer[4096];
    for (;;) {
      const int n = SSL_read(ssl_, buffer, sizeof buffer);
      if (n <= 0) break;
      reply.append(buffer, static_cast<std::size_t>(n));
    }
    return reply;
  }

 private:
  int fd_;
  SSL_CTX* ctx_;
  SSL* ssl_ = nullptr;
  bool connected_ = false;
};

std::string TlsExchange(int port, const std::string& bytes) {
  TlsPeer peer(port);
  if (!peer.Connected() || !peer.Send(bytes)) return "no TLS connection";
  return peer.ReadToEnd();
}

TEST_F(TlsService, ServesHttpsWithTheGivenCertificate) {
  const TlsServerFiles files = GoodServerFiles();
  options_.tlsCert = files.cert;
  options_.tlsKey = files.key;
  StartService();
  EXPECT_EQ(service_->FirstLine(),
            "mining-service listening on https://127.0.0.1:" + std::to_string(service_->Port()));

  httplib::SSLClient client("127.0.0.1", service_->Port());
  client.set_ca_cert_path(TlsFixture("ca.pem").c_str());
  client.enable_server_certificate_verification(true);
  client.set_connection_timeout(5);
  const auto answer = client.Get("/Machine/GetData.html?sn=KST-DEMO-0001&Mac=00-1A-2B-3C-4D-5E");
  ASSERT_TRUE(answer) << httplib::to_string(answer.error());
  EXPECT_EQ(answer->status, 200);
  const IniBody body = ParseIni(answer->body);
  EXPECT_TRUE(body.wellFormed) << body.problem;
  EXPECT_EQ(body.Get("Return", "Count"), "1");

  // The same port speaks nothing but TLS.
  EXPECT_EQ(RawExchange(service_->Port(),
                        "GET /Machine/GetData.html?sn=KST-DEMO-0001&Mac=x HTTP/1.1\r\n"
                        "Host: 127.0.0.1\r\nConnection: close\r\n\r\n")
                .find("[Return]"),
            std::string::npos);
  EXPECT_EQ(ExitCodeOf(service_->Stop()), 0);
}

// The limits of plain HTTP hold over TLS as well: the same refusals, and one deadline for
// the handshake and the head together however slowly they trickle in.
TEST_F(TlsService, TheConnectionLimitsOfPlainHttpHoldOverTls) {
  const TlsServerFiles files = GoodServerFiles();
  options_.tlsCert = files.cert;
  options_.tlsKey = files.key;
  options_.extraArgs = {"--threads", "4", "--head-timeout-ms", "1000"};
  StartService();
  const int port = service_->Port();
  const std::string info = "/Machine/GetData.html?sn=KST-DEMO-0001&Mac=x";
  struct Case {
    const char* what;
    std::string bytes;
    const char* status;
  };
  std::string manyHeaders;
  for (int i = 0; i < 100; ++i) manyHeaders += "X-H" + std::to_string(i) + ": v\r\n";
  const std::vector<Case> cases = {
      {"GET", "GET " + info + " HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 200"},
      {"POST", "POST " + info + " HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi", "HTTP/1.1 405"},
      {"large body", "GET " + info + " HTTP/1.1\r\nContent-Length: 5000\r\n\r\n", "HTTP/1.1 413"},
      {"chunked body", "GET " + info + " HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "HTTP/1.1 413"},
      {"long request line", "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\n\r\n", "HTTP/1.1 414"},
      {"too many header lines", "GET " + info + " HTTP/1.1\r\n" + manyHeaders + "\r\n", "HTTP/1.1 431"},
      // Cut off at the deadline without an answer.
      {"head that never ends", "GET " + info + " HTTP/1.1\r\nHost: a\r\n", ""},
  };
  for (const Case& c : cases) {
    const std::string reply = TlsExchange(port, c.bytes);
    EXPECT_EQ(reply.substr(0, 12), c.status) << c.what << ": " << reply.substr(0, 200);
    EXPECT_NE(reply, "no TLS connection") << c.what;
    if (std::string(c.status) == "HTTP/1.1 405") {
      EXPECT_NE(reply.find("\r\nAllow: GET\r\n"), std::string::npos) << reply;
    }
  }

  // A head trickled a byte at a time, each byte well within any per-read time-out, is cut
  // off at the deadline of the whole head.
  {
    TlsPeer slow(port);
    ASSERT_TRUE(slow.Connected());
    const auto start = Clock::now();
    const std::string head = "GET " + info + " HTTP/1.1\r\nX-Slow: " + std::string(100, 'x');
    std::size_t sent = 0;
    while (sent < head.size() && Clock::now() - start < std::chrono::seconds(4)) {
      if (!slow.Send(head.substr(sent++, 1))) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const std::string reply = slow.ReadToEnd();
    EXPECT_EQ(reply, "") << "the trickled head was answered: " << reply.substr(0, 200);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 3.0);
  }

  // A peer that connects and never starts its handshake is let go at the same deadline.
  {
    const int fd = loopback::Connect(port);
    ASSERT_GE(fd, 0);
    const auto start = Clock::now();
    pollfd p{fd, POLLIN, 0};
    char byte = 0;
    const bool closed = poll(&p, 1, 8000) == 1 && recv(fd, &byte, 1, 0) <= 0;
    close(fd);
    EXPECT_TRUE(closed) << "the silent connection was kept open";
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 3.0);
  }

  // Nothing refused reached the database, and the refusals are logged as over plain HTTP.
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM reports"), 0);
  EXPECT_NE(LogText().find(" POST /Machine/GetData.html 405\n"), std::string::npos) << LogText();
  EXPECT_EQ(ExitCodeOf(service_->Stop()), 0);
}

// A handshake that fails or never finishes leaves its line in the request log, as any
// connection that ends without an answer does.
TEST_F(TlsService, FailedAndUnfinishedHandshakesAreLogged) {
  const TlsServerFiles files = GoodServerFiles();
  options_.tlsCert = files.cert;
  options_.tlsKey = files.key;
  options_.extraArgs = {"--head-timeout-ms", "1000"};
  StartService();
  const int port = service_->Port();
  struct Case {
    const char* what;
    std::string bytes;  // sent instead of a handshake
    const char* line;
  };
  const std::vector<Case> cases = {
      {"plain HTTP", "GET / HTTP/1.1\r\nHost: a\r\n\r\n",
       " - - - closed: TLS handshake failed (127.0.0.1)\n"},
      {"nothing at all", "", " - - - closed: TLS handshake timeout (127.0.0.1)\n"},
  };
  for (const Case& c : cases) {
    const int fd = loopback::Connect(port);
    ASSERT_GE(fd, 0);
    if (!c.bytes.empty()) loopback::Send(fd, c.bytes.data(), c.bytes.size());
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 5000);
    close(fd);
    EXPECT_TRUE(
        WaitUntil([&] { return LogText().find(c.line) != std::string::npos; }, std::chrono::seconds(5)))
        << c.what << "\n"
        << LogText();
  }
}

struct TlsStartFailure {
  const char* what;
  std::vector<std::string> extraArgs;
  int exitCode;
  const char* message;
};

TEST_F(TlsService, UnusableTlsOptionsEndTheProgramBeforeItTouchesTheDatabase) {
  const TlsServerFiles good = GoodServerFiles();
  WriteFileBytes(box_.File("not-pem"), "this is no certificate\n");
  const std::vector<TlsStartFailure> cases = {
      {"certificate without key", {"--tls-cert", good.cert}, 2, "--tls-cert and --tls-key go together"},
      {"key without certificate", {"--tls-key=" + good.key}, 2, "--tls-cert and --tls-key go together"},
      {"missing value", {"--tls-key", good.key, "--tls-cert"}, 2, "option --tls-cert needs a value"},
      {"empty value", {"--tls-cert=", "--tls-key", good.key}, 2, "needs a non-empty value"},
      {"value taken from another option",
       {"--db", "--tls-cert", good.cert, "--tls-key", good.key},
       2,
       "option --db needs a value"},
      {"no such certificate file",
       {"--tls-cert", box_.File("missing.pem"), "--tls-key", good.key},
       1,
       "cannot use the TLS certificate"},
      {"certificate that is no PEM",
       {"--tls-cert", box_.File("not-pem"), "--tls-key", good.key},
       1,
       "cannot use the TLS certificate"},
      {"key of another certificate",
       {"--tls-cert", TlsFixture("ca.pem"), "--tls-key", good.key},
       1,
       "cannot use the TLS certificate"},
  };
  int round = 0;
  for (const TlsStartFailure& c : cases) {
    SCOPED_TRACE(c.what);
    MiningServiceOptions o = options_;
    o.databasePath = box_.File("db-" + std::to_string(round++));
    o.extraArgs = c.extraArgs;
    MiningServiceProcess p(o);
    EXPECT_FALSE(p.Start());
    EXPECT_NE(p.StartError().find("exit code " + std::to_string(c.exitCode)), std::string::npos)
        << p.StartError();
    EXPECT_NE(LogText().find(c.message), std::string::npos) << LogText();
    EXPECT_FALSE(FileExists(o.databasePath));
  }
}

}  // namespace
