// mining-service over HTTPS: --tls-cert and --tls-key, the listening line, and the start-up
// errors of unusable certificates, checked with the library's own TLS client.
#include <httplib.h>

#include <string>
#include <vector>

#include "service_fixture.h"
#include "support/tls_fixtures.h"

namespace {

using TlsService = ServiceTest;

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
  EXPECT_EQ(RawExchange(service_->Port(), "GET /Machine/GetData.html?sn=KST-DEMO-0001&Mac=x HTTP/1.1\r\n"
                                          "Host: 127.0.0.1\r\nConnection: close\r\n\r\n")
                .find("[Return]"),
            std::string::npos);
  EXPECT_EQ(ExitCodeOf(service_->Stop()), 0);
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
      {"value taken from another option", {"--db", "--tls-cert", good.cert, "--tls-key", good.key}, 2,
       "option --db needs a value"},
      {"no such certificate file", {"--tls-cert", box_.File("missing.pem"), "--tls-key", good.key}, 1,
       "cannot use the TLS certificate"},
      {"certificate that is no PEM", {"--tls-cert", box_.File("not-pem"), "--tls-key", good.key}, 1,
       "cannot use the TLS certificate"},
      {"key of another certificate", {"--tls-cert", TlsFixture("ca.pem"), "--tls-key", good.key}, 1,
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
