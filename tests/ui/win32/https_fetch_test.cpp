// https:// roots on Windows: WinINet checks the certificate against the system's store.
// The test driver (scripts/test-windows) runs mining-service with the throwaway test
// certificate of tests/fixtures/tls, whose authority no system trusts: the fetch must be
// refused for that reason and leave the destination alone. (Trusting the test authority
// would mean changing the machine's root store, which a test does not do.)
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "exchange/url_fetcher.h"
#include "support/sandbox.h"

namespace {

std::string TlsServiceRoot() {
  const char* root = std::getenv("KESTRAVON_TEST_TLS_SERVICE_ROOT");
  return root != nullptr ? root : "";
}

TEST(HttpsFetchTest, ServiceWithAnUntrustedCertificateIsNoAnswer) {
  if (TlsServiceRoot().empty()) GTEST_SKIP() << "KESTRAVON_TEST_TLS_SERVICE_ROOT names no running service";
  const std::string url = TlsServiceRoot() + "/Machine/GetData.html?sn=KST-DEMO-0001&Mac=x";
  Sandbox box;
  const std::string destination = box.File("qx_sn.dat");
  WriteFileBytes(destination, "earlier answer");

  UrlFetcher fetcher;
  FetchLimits limits;
  limits.connectTimeout = std::chrono::milliseconds(10000);
  limits.totalTimeout = std::chrono::milliseconds(30000);
  fetcher.SetLimits(limits);
  fetcher.OpenSession();
  EXPECT_EQ(fetcher.FetchToFile(url.c_str(), destination.c_str()), 0);
  EXPECT_FALSE(fetcher.Outcome().responseBegan);
  fetcher.CloseSession();
  EXPECT_EQ(ReadFileBytes(destination), "earlier answer");

  // The same request made directly fails on the certificate, so the refusal above is the
  // certificate check and not, say, an unreachable port. Implementations name an unknown
  // root differently: Windows as an invalid authority, Wine as a failed revocation check
  // (no authority it knows can vouch for the chain).
  HINTERNET session = InternetOpenA("Mozilla/4.0 ()", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(session, nullptr);
  HINTERNET response =
      InternetOpenUrlA(session, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_UI, 0);
  const DWORD error = GetLastError();
  EXPECT_EQ(response, nullptr);
  EXPECT_TRUE(error == ERROR_INTERNET_INVALID_CA || error == ERROR_INTERNET_SEC_CERT_REV_FAILED ||
              error == ERROR_INTERNET_SEC_INVALID_CERT)
      << "error " << error;
  if (response) InternetCloseHandle(response);
  InternetCloseHandle(session);
}

}  // namespace
