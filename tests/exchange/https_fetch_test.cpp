// https:// roots: the fetch accepts a server only when its certificate chains to a trusted
// authority and names the host of the URL. Runs against the real mining-service serving
// TLS on 127.0.0.1 with the throwaway certificates of tests/fixtures/tls.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exchange/url_fetcher.h"
#include "support/mining_service_process.h"
#include "support/sandbox.h"
#include "support/tls_fixtures.h"

namespace {

enum class ServerCert { kGood, kWrongHost };

struct HttpsCase {
  const char* what;
  ServerCert serverCert;
  std::string caBundle;  // empty: the system's store
  const char* host;
  bool accepted;
};

class HttpsFetchTest : public ::testing::Test {
 protected:
  Sandbox box;

  // One service per server certificate, started when first needed.
  MiningServiceProcess& Service(ServerCert cert) {
    auto& slot = services_[cert];
    if (!slot) {
      const TlsServerFiles files = cert == ServerCert::kGood ? GoodServerFiles() : WrongHostServerFiles();
      MiningServiceOptions o;
      o.binary = KESTRAVON_SERVICE_BIN;
      o.databasePath = box.File(cert == ServerCert::kGood ? "good.db" : "wrong-host.db");
      o.stderrPath = box.File("service.log");
      o.tlsCert = files.cert;
      o.tlsKey = files.key;
      slot = std::make_unique<MiningServiceProcess>(o);
      EXPECT_TRUE(slot->Start()) << slot->StartError();
    }
    return *slot;
  }

 private:
  std::map<ServerCert, std::unique_ptr<MiningServiceProcess>> services_;
};

TEST_F(HttpsFetchTest, OnlyATrustedCertificateForTheUrlsHostIsAccepted) {
  const std::string ca = TlsFixture("ca.pem");
  const ServerCert good = ServerCert::kGood;
  const ServerCert wrongHost = ServerCert::kWrongHost;
  const std::vector<HttpsCase> cases = {
      {"trusted authority, IP address in the certificate", good, ca, "127.0.0.1", true},
      {"trusted authority, host name in the certificate", good, ca, "localhost", true},
      {"an authority that signed something else", good, TlsFixture("other-ca.pem"), "127.0.0.1", false},
      {"the system's store, which knows no test authority", good, "", "127.0.0.1", false},
      {"a bundle that does not exist means no trust, not no checks", good, box.File("none.pem"), "127.0.0.1",
       false},
      {"a trusted certificate for another host", wrongHost, ca, "127.0.0.1", false},
      {"a trusted certificate for another host, by name", wrongHost, ca, "localhost", false},
  };
  for (const HttpsCase& c : cases) {
    SCOPED_TRACE(c.what);
    MiningServiceProcess& service = Service(c.serverCert);
    ASSERT_TRUE(service.Running());
    const std::string destination = box.File("qx_sn.dat");
    WriteFileBytes(destination, "earlier answer");
    const std::string url = "https://" + std::string(c.host) + ":" + std::to_string(service.Port()) +
                            "/Machine/GetData.html?sn=KST-DEMO-0001&Mac=00-1A-2B-3C-4D-5E";

    UrlFetcher fetcher;
    FetchLimits limits;
    limits.connectTimeout = std::chrono::milliseconds(5000);
    limits.totalTimeout = std::chrono::milliseconds(20000);
    fetcher.SetLimits(limits);
    fetcher.SetCaBundle(c.caBundle);
    fetcher.OpenSession();
    const int result = fetcher.FetchToFile(url.c_str(), destination.c_str());
    const FetchOutcome outcome = fetcher.Outcome();
    fetcher.CloseSession();

    if (c.accepted) {
      EXPECT_EQ(result, 1);
      EXPECT_TRUE(outcome.Complete2xx());
      EXPECT_NE(ReadFileBytes(destination).find("[Return]\r\nCount=1\r\n"), std::string::npos)
          << ReadFileBytes(destination);
    } else {
      // A refused server is no answer at all: nothing is written.
      EXPECT_EQ(result, 0);
      EXPECT_FALSE(outcome.responseBegan);
      EXPECT_EQ(ReadFileBytes(destination), "earlier answer");
    }
  }
}

TEST_F(HttpsFetchTest, PlainHttpToATlsServiceIsNoAnswer) {
  MiningServiceProcess& service = Service(ServerCert::kGood);
  ASSERT_TRUE(service.Running());
  const std::string destination = box.File("qx_sn.dat");
  UrlFetcher fetcher;
  FetchLimits limits;
  limits.connectTimeout = std::chrono::milliseconds(5000);
  limits.idleTimeout = std::chrono::seconds(5);
  limits.totalTimeout = std::chrono::milliseconds(10000);
  fetcher.SetLimits(limits);
  fetcher.OpenSession();
  const std::string url =
      "http://127.0.0.1:" + std::to_string(service.Port()) + "/Machine/GetData.html?sn=x&Mac=y";
  fetcher.FetchToFile(url.c_str(), destination.c_str());
  EXPECT_FALSE(fetcher.Outcome().Complete2xx());
  EXPECT_EQ(ReadFileBytes(destination).find("[Return]"), std::string::npos);
  fetcher.CloseSession();
}

}  // namespace
