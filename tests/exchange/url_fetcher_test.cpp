#include "exchange/url_fetcher.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/sandbox.h"
#include "support/scripted_http_server.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct FetchRun {
  int result = -1;
  FetchOutcome outcome;
};

// Limits for tests: short enough that no fault can hang the binary, long enough that
// only the limit under test ever fires.
FetchLimits TestLimits() {
  FetchLimits limits;
  limits.connectTimeout = std::chrono::milliseconds(5000);
  limits.idleTimeout = std::chrono::seconds(30);
  limits.totalTimeout = std::chrono::milliseconds(20000);
  return limits;
}

FetchRun Fetch(const std::string& url, const std::string& destination, FetchLimits limits = TestLimits()) {
  UrlFetcher fetcher;
  fetcher.SetLimits(limits);
  fetcher.OpenSession();
  FetchRun run;
  run.result = fetcher.FetchToFile(url.c_str(), destination.c_str());
  run.outcome = fetcher.Outcome();
  fetcher.CloseSession();
  return run;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Compares a file with the generated body piece by piece, without loading either whole.
::testing::AssertionResult FileHoldsGenerated(const std::string& path, uint64_t size) {
  std::ifstream in(path, std::ios::binary);
  std::string piece(1 << 20, '\0');
  uint64_t offset = 0;
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    size_t got = static_cast<size_t>(in.gcount());
    if (got == 0) break;
    if (piece.compare(0, got, ScriptedHttpServer::GeneratedBytes(offset, got)) != 0) {
      return ::testing::AssertionFailure() << "differs within [" << offset << ", " << offset + got << ")";
    }
    offset += got;
  }
  if (offset != size) {
    return ::testing::AssertionFailure() << "holds " << offset << " bytes, not " << size;
  }
  return ::testing::AssertionSuccess();
}

class UrlFetcherTest : public ::testing::Test {
 protected:
  ScriptedHttpServer server;
  Sandbox sandbox;
  std::string destination = sandbox.File("qx_ui.dat");
};

TEST_F(UrlFetcherTest, EmptyBodyCreatesOrEmptiesTheDestination) {
  server.Route("/empty", Reply::Ok(""));
  for (bool existed : {false, true}) {
    SCOPED_TRACE(existed ? "existing file" : "no file");
    if (existed) WriteFileBytes(destination, "[Machine]\r\nFuel=5\r\n");
    FetchRun run = Fetch(server.Url("/empty"), destination);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.outcome.responseBegan);
    EXPECT_TRUE(run.outcome.Complete2xx());
    ASSERT_TRUE(FileExists(destination));
    EXPECT_EQ(ReadFileBytes(destination), "");
  }
}

TEST_F(UrlFetcherTest, BodyArrivingInChunksIsSavedInOrder) {
  const std::string body = ScriptedHttpServer::GeneratedBytes(0, 600000);
  server.Route("/big", Reply::InPieces(body, 70000, 15ms));
  WriteFileBytes(destination, std::string(900000, 'x'));  // longer than the answer
  FetchRun run = Fetch(server.Url("/big"), destination);
  EXPECT_EQ(run.result, 1);
  EXPECT_TRUE(run.outcome.Complete2xx());
  EXPECT_TRUE(ReadFileBytes(destination) == body) << "file differs from the body";
}

TEST_F(UrlFetcherTest, BinaryAndNulBytesAreSavedExactly) {
  std::string body;
  for (int i = 0; i < 256; ++i) body += static_cast<char>(i);
  body += std::string("\0\r\n\0\n\r\x1a", 7) + std::string(1000, '\0') + "end";
  server.Route("/bin", Reply::Ok(body));
  FetchRun run = Fetch(server.Url("/bin"), destination);
  EXPECT_EQ(run.result, 1);
  EXPECT_TRUE(run.outcome.Complete2xx());
  EXPECT_EQ(ReadFileBytes(destination), body);
}

TEST_F(UrlFetcherTest, HugeBodyStreamsToTheFile) {
  const uint64_t size = 50ull << 20;
  server.Route("/patch/patchv2.exe", Reply::Generated(size));
  FetchRun run = Fetch(server.Url("/patch/patchv2.exe"), destination);
  EXPECT_EQ(run.result, 1);
  EXPECT_TRUE(run.outcome.Complete2xx());
  EXPECT_TRUE(FileHoldsGenerated(destination, size));
}

TEST_F(UrlFetcherTest, EveryStatusIsSavedButOnlyA2xxCounts) {
  struct Case {
    int status;
    bool complete2xx;
  };
  const Case cases[] = {{200, true}, {204, true}, {299, true}, {302, false}, {404, false}, {500, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    // A redirect is an answer like the others: its body is saved, its target not asked.
    Reply reply = Reply::Status(c.status, "<html>status " + std::to_string(c.status) + "</html>");
    if (c.status == 302) reply.headers.emplace_back("Location", server.Url("/elsewhere"));
    if (c.status == 204) reply.body.clear();
    server.Route("/page", reply);
    WriteFileBytes(destination, "stale answer");
    FetchRun run = Fetch(server.Url("/page"), destination);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.outcome.responseBegan);
    EXPECT_TRUE(run.outcome.complete);
    EXPECT_EQ(run.outcome.status, c.status);
    EXPECT_EQ(run.outcome.Complete2xx(), c.complete2xx);
    EXPECT_EQ(ReadFileBytes(destination), reply.body);
  }
  for (const RecordedRequest& r : server.Requests()) EXPECT_EQ(r.Path(), "/page");
}

TEST_F(UrlFetcherTest, InterimAnswerIsNotTheResponse) {
  // A 100 Continue before the real answer must neither create the file early nor count.
  Reply reply;
  reply.rawHead = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n";
  reply.body = "a=1\n";
  reply.sendContentLength = false;
  server.Route("/c", reply);
  FetchRun run = Fetch(server.Url("/c"), destination);
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.outcome.status, 200);
  EXPECT_TRUE(run.outcome.Complete2xx());
  EXPECT_EQ(ReadFileBytes(destination), "a=1\n");
}

TEST_F(UrlFetcherTest, UrlThatCannotBeOpenedLeavesTheFileUntouched) {
  const std::string old = std::string("[Machine]\r\nFuel=7\r\n\0tail", 24);
  server.Route("/gone", Reply::CloseAtOnce());
  struct Case {
    const char* what;
    std::string url;
  };
  const Case cases[] = {
      {"refused", "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/Machine/GetData.html"},
      {"closed without answer", server.Url("/gone")},
      {"malformed", "http://127.0.0.1:99999999/x"},
      {"not a url", "no scheme at all"},
      {"not http", "file://" + sandbox.File("other")},
  };
  WriteFileBytes(sandbox.File("other"), "local file");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(destination, old);
    FetchRun run = Fetch(c.url, destination);
    EXPECT_EQ(run.result, 0);
    EXPECT_FALSE(run.outcome.responseBegan);
    EXPECT_FALSE(run.outcome.complete);
    EXPECT_EQ(ReadFileBytes(destination), old);
  }
}

TEST_F(UrlFetcherTest, FetchWithoutSessionFailsAndSessionClosesTwiceSafely) {
  server.Route("/a", Reply::Ok("a=1"));
  WriteFileBytes(destination, "old");
  UrlFetcher fetcher;
  EXPECT_EQ(fetcher.FetchToFile(server.Url("/a").c_str(), destination.c_str()), 0);
  EXPECT_EQ(ReadFileBytes(destination), "old");
  EXPECT_EQ(server.RequestCount(), 0u);

  // A failed fetch closes the session itself; the exchange still closes it once more.
  fetcher.OpenSession();
  std::string refused = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/a";
  EXPECT_EQ(fetcher.FetchToFile(refused.c_str(), destination.c_str()), 0);
  fetcher.CloseSession();
  fetcher.CloseSession();

  // OpenSession starts from a clean outcome.
  fetcher.OpenSession();
  EXPECT_EQ(fetcher.FetchToFile(server.Url("/a").c_str(), destination.c_str()), 1);
  EXPECT_TRUE(fetcher.Outcome().Complete2xx());
  fetcher.CloseSession();
  fetcher.OpenSession();
  EXPECT_FALSE(fetcher.Outcome().responseBegan);
  EXPECT_EQ(fetcher.Outcome().status, 0);
  EXPECT_EQ(fetcher.Busy(), 0);
}

TEST_F(UrlFetcherTest, DestinationThatCannotBeCreatedStillConsumesTheBody) {
  server.Route("/a", Reply::InPieces(ScriptedHttpServer::GeneratedBytes(0, 300000), 100000, 5ms));
  const std::string folder = sandbox.MakeDir("qx_sn.dat");
  const std::string missing = sandbox.File("no/such/folder/qx_sn.dat");
  for (const std::string& path : {folder, missing}) {
    SCOPED_TRACE(path);
    FetchRun run = Fetch(server.Url("/a"), path);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.outcome.responseBegan);
    EXPECT_EQ(run.outcome.status, 200);
    EXPECT_FALSE(run.outcome.complete);
    EXPECT_FALSE(run.outcome.Complete2xx());
  }
  EXPECT_TRUE(IsDirectory(folder));
  EXPECT_FALSE(FileExists(missing));
}

TEST_F(UrlFetcherTest, SendsAgentAndNoCacheHeadersWithAPlainGet) {
  server.Route("/Machine/GetData.html", Reply::Ok(""));
  Fetch(server.Url("/Machine/GetData.html?sn=1"), destination);
  ASSERT_EQ(server.RequestCount(), 1u);
  RecordedRequest r = server.Requests()[0];
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.Header("User-Agent").value_or("<none>"), "Mozilla/4.0 ()");
  EXPECT_EQ(r.Header("Cache-Control").value_or("<none>"), "no-cache");
  EXPECT_EQ(r.Header("Pragma").value_or("<none>"), "no-cache");
  // The body is saved as sent, so nothing may ask for it compressed.
  EXPECT_FALSE(r.Header("Accept-Encoding").has_value());
  EXPECT_TRUE(r.body.empty());
}

TEST_F(UrlFetcherTest, QueryArrivesExactlyAsGiven) {
  server.SetDefault(Reply::Ok(""));
  const std::vector<std::string> targets = {
      "/Machine/UpdateInfov2.html?sn=A%26B%23C&Mac=Error%20%3A%20232%20&exp=-5"
      "&mps=0.000001&locate=12.500000&mci_kest=1.000000&cry=%00%7F%FF%25%2B~-._",
      "/Machine/UpdateOnOff.html?sn=00-1A-2B-3C-4D-5E&Mac=00-1A-2B-3C-4D-5E&OnOff=0",
      "/Machine/GetData.html?sn=&Mac=&&==?%3F",
  };
  for (const std::string& target : targets) Fetch(server.Url(target), destination);
  std::vector<RecordedRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), targets.size());
  for (size_t i = 0; i < targets.size(); ++i) EXPECT_EQ(requests[i].target, targets[i]);
}

TEST_F(UrlFetcherTest, CutBodyIsKeptButNotComplete) {
  const std::string body = ScriptedHttpServer::GeneratedBytes(0, 250000);
  for (uint64_t sent : {0ull, 1ull, 150000ull}) {
    SCOPED_TRACE(sent);
    server.Route("/cut", Reply::Cut(body, sent));
    WriteFileBytes(destination, "previous answer");
    FetchRun run = Fetch(server.Url("/cut"), destination);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.outcome.responseBegan);
    EXPECT_EQ(run.outcome.status, 200);
    EXPECT_FALSE(run.outcome.complete);
    EXPECT_EQ(ReadFileBytes(destination), body.substr(0, sent));
  }
}

TEST_F(UrlFetcherTest, BodyWithoutLengthEndsAtClose) {
  Reply reply = Reply::InPieces("[Version]\r\nServer=0.217\r\n", 5, 5ms);
  reply.sendContentLength = false;
  server.Route("/v", reply);
  FetchRun run = Fetch(server.Url("/v"), destination);
  EXPECT_EQ(run.result, 1);
  EXPECT_TRUE(run.outcome.Complete2xx());
  EXPECT_EQ(ReadFileBytes(destination), reply.body);
}

// A fetch on its own thread, so the test can watch it and stop it.
class RunningFetch {
 public:
  RunningFetch(const std::string& url, const std::string& destination, FetchLimits limits,
               const std::atomic<bool>* abort) {
    fetcher_.SetLimits(limits);
    fetcher_.SetAbortFlag(abort);
    fetcher_.OpenSession();
    started_ = Clock::now();
    result_ = std::async(std::launch::async, [this, url, destination] {
      int r = fetcher_.FetchToFile(url.c_str(), destination.c_str());
      ended_ = Clock::now();
      return r;
    });
  }
  ~RunningFetch() {
    if (result_.valid()) result_.wait();
  }
  const UrlFetcher& Fetcher() const { return fetcher_; }
  bool Running() const { return result_.wait_for(0s) == std::future_status::timeout; }
  FetchRun Finish() {
    FetchRun run;
    run.result = result_.get();
    run.outcome = fetcher_.Outcome();
    fetcher_.CloseSession();
    return run;
  }
  Clock::time_point Ended() const { return ended_; }
  Clock::time_point Started() const { return started_; }

 private:
  UrlFetcher fetcher_;
  std::future<int> result_;
  Clock::time_point started_, ended_;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Every way a transfer can hang, each ended by its limit and by the abort flag: a server
// that answers the headers and part of the body then goes silent, one that answers the
// headers only, one that takes the request and never answers, and a connection attempt
// that is never answered. A transfer that began keeps what arrived; one that did not
// leaves the destination untouched.
enum class Hang { kPartOfTheBody, kHeadersOnly, kSilentServer, kUnansweredConnect };
enum class Ender { kIdleLimit, kConnectLimit, kAbortFlag };

struct HangCase {
  const char* what;
  Hang hang;
  Ender ender;
  int result;
  bool responseBegan;
  std::optional<size_t> bytesKept;  // of the body; none: the previous file stays as it was
  double boundSeconds;              // from the start when a limit ends it, from setting the flag otherwise
};

TEST_F(UrlFetcherTest, HangingTransferIsEndedByItsLimitOrTheAbortFlag) {
  Reply stall = Reply::Ok(ScriptedHttpServer::GeneratedBytes(0, 1000));
  stall.stopAfter = 100;
  stall.afterStop = Reply::AfterStop::Stall;
  server.Route("/stall", stall);
  server.Route("/headers", Reply::StallAfterHeaders(500));
  server.Route("/silent", Reply::NeverAnswer());
  UnansweredPort port;
  const HangCase cases[] = {
      {"idle limit, part of the body", Hang::kPartOfTheBody, Ender::kIdleLimit, 1, true, 100, 4.0},
      {"idle limit, headers only", Hang::kHeadersOnly, Ender::kIdleLimit, 1, true, 0, 4.0},
      {"abort flag, part of the body", Hang::kPartOfTheBody, Ender::kAbortFlag, 1, true, 100, 3.0},
      {"abort flag, headers only", Hang::kHeadersOnly, Ender::kAbortFlag, 1, true, 0, 3.0},
      {"idle limit, silent server", Hang::kSilentServer, Ender::kIdleLimit, 0, false, std::nullopt, 4.0},
      {"abort flag, silent server", Hang::kSilentServer, Ender::kAbortFlag, 0, false, std::nullopt, 3.0},
      {"connect limit, unanswered connect", Hang::kUnansweredConnect, Ender::kConnectLimit, 0, false,
       std::nullopt, 3.0},
      {"abort flag, unanswered connect", Hang::kUnansweredConnect, Ender::kAbortFlag, 0, false, std::nullopt,
       3.0},
  };
  const std::string old = "previous answer";
  for (const HangCase& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(destination, old);
    FetchLimits limits = TestLimits();
    if (c.ender == Ender::kIdleLimit) limits.idleTimeout = 1s;
    if (c.ender == Ender::kConnectLimit) limits.connectTimeout = 500ms;
    std::string url;
    switch (c.hang) {
      case Hang::kPartOfTheBody: url = server.Url("/stall"); break;
      case Hang::kHeadersOnly: url = server.Url("/headers"); break;
      case Hang::kSilentServer: url = server.Url("/silent"); break;
      case Hang::kUnansweredConnect: url = "http://127.0.0.1:" + std::to_string(port.Port()) + "/a"; break;
    }
    std::atomic<bool> abort{false};
    const size_t requestsBefore = server.RequestCount();
    RunningFetch fetch(url, destination, limits, &abort);
    if (c.responseBegan) {
      // While the body stalls the fetcher is busy and the file already holds what arrived.
      EXPECT_TRUE(WaitUntil([&] { return fetch.Fetcher().Busy() == 1; }));
      EXPECT_TRUE(WaitUntil([&] { return ReadFileBytes(destination).size() == *c.bytesKept; }));
    } else if (c.hang == Hang::kSilentServer) {
      // The request arrived, but no response: nothing streams and nothing is written.
      ASSERT_TRUE(server.WaitForRequests(requestsBefore + 1));
      std::this_thread::sleep_for(100ms);
      EXPECT_EQ(fetch.Fetcher().Busy(), 0);
      EXPECT_EQ(ReadFileBytes(destination), old);
    } else {
      // Still trying: the attempt is neither refused nor answered.
      std::this_thread::sleep_for(300ms);
      ASSERT_TRUE(fetch.Running());
    }
    const Clock::time_point stoppedAt = Clock::now();
    if (c.ender == Ender::kAbortFlag) {
      ASSERT_TRUE(fetch.Running());
      abort = true;
    }
    FetchRun run = fetch.Finish();
    EXPECT_EQ(run.result, c.result);
    EXPECT_EQ(run.outcome.responseBegan, c.responseBegan);
    EXPECT_FALSE(run.outcome.complete);
    EXPECT_EQ(fetch.Fetcher().Busy(), 0);
    if (!c.responseBegan) {
      EXPECT_EQ(run.outcome.status, 0);
    }
    EXPECT_EQ(ReadFileBytes(destination), c.bytesKept ? stall.body.substr(0, *c.bytesKept) : old);
    // Only the limit or the flag can have ended it: each server hangs until shutdown.
    const Clock::time_point from = c.ender == Ender::kAbortFlag ? stoppedAt : fetch.Started();
    EXPECT_LT(Seconds(fetch.Ended() - from), c.boundSeconds);
  }
}

TEST_F(UrlFetcherTest, AbortFlagAlreadySetStopsAtOnce) {
  server.Route("/silent", Reply::NeverAnswer());
  WriteFileBytes(destination, "old");
  std::atomic<bool> abort{true};
  RunningFetch fetch(server.Url("/silent"), destination, TestLimits(), &abort);
  FetchRun run = fetch.Finish();
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(ReadFileBytes(destination), "old");
  EXPECT_LT(Seconds(fetch.Ended() - fetch.Started()), 3.0);
}

TEST_F(UrlFetcherTest, SlowButSteadyBodyOutlastsTheIdleLimitButNotTheTotalLimit) {
  const std::string body = "[Machine]\r\nCode=3021\r\n";
  server.Route("/drip", Reply::Drip(body.substr(0, 6), 250ms));  // 1.25 s, a byte every 0.25 s
  server.Route("/long", Reply::Drip(body, 100ms));               // 2.1 s
  {
    FetchLimits limits = TestLimits();
    limits.idleTimeout = std::chrono::seconds(1);
    FetchRun run = Fetch(server.Url("/drip"), destination, limits);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.outcome.Complete2xx());
    EXPECT_EQ(ReadFileBytes(destination), body.substr(0, 6));
  }
  {
    // Under 1 byte/s on average, but never 2 s without a byte: the limit is silence,
    // not speed.
    server.Route("/trickle", Reply::Drip("abc", 1500ms));
    FetchLimits limits = TestLimits();
    limits.idleTimeout = std::chrono::seconds(2);
    FetchRun run = Fetch(server.Url("/trickle"), destination, limits);
    EXPECT_TRUE(run.outcome.Complete2xx());
    EXPECT_EQ(ReadFileBytes(destination), "abc");
  }
  {
    FetchLimits limits = TestLimits();
    limits.totalTimeout = std::chrono::milliseconds(500);
    FetchRun run = Fetch(server.Url("/long"), destination, limits);
    EXPECT_EQ(run.result, 1);
    EXPECT_FALSE(run.outcome.complete);
    std::string got = ReadFileBytes(destination);
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), body.size());
    EXPECT_EQ(got, body.substr(0, got.size()));
  }
}

// The session's end releases the HTTP layer while the worker may still be fetching.
TEST_F(UrlFetcherTest, ReleasingTheLayerWaitsForFetchesUnderWay) {
  const std::string body = ScriptedHttpServer::GeneratedBytes(0, 200000);
  server.Route("/slow", Reply::InPieces(body, 20000, 40ms));
  server.Route("/a", Reply::Ok("a=1"));
  std::atomic<bool> abort{false};
  {
    RunningFetch fetch(server.Url("/slow"), destination, TestLimits(), &abort);
    ASSERT_TRUE(WaitUntil([&] { return fetch.Fetcher().Busy() == 1; }));
    ReleaseSocketLayer();
    ReleaseSocketLayer();
    FetchRun run = fetch.Finish();
    EXPECT_TRUE(run.outcome.Complete2xx());
    EXPECT_TRUE(ReadFileBytes(destination) == body);
  }
  // A later session starts the layer again.
  const std::string second = sandbox.File("second.dat");
  FetchRun run = Fetch(server.Url("/a"), second);
  EXPECT_TRUE(run.outcome.Complete2xx());
  EXPECT_EQ(ReadFileBytes(second), "a=1");
  ReleaseSocketLayer();
  run = Fetch(server.Url("/a"), second);
  EXPECT_TRUE(run.outcome.Complete2xx());
}

TEST_F(UrlFetcherTest, SeveralThreadsFetchAtOnce) {
  server.SetDefault([](const RecordedRequest& r) {
    return Reply::InPieces(r.target + std::string(50000, '.'), 10000, 5ms);
  });
  std::vector<std::thread> threads;
  std::vector<FetchRun> runs(4);
  for (size_t i = 0; i < runs.size(); ++i) {
    threads.emplace_back([&, i] {
      runs[i] = Fetch(server.Url("/t?i=" + std::to_string(i)), sandbox.File(std::to_string(i)));
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < runs.size(); ++i) {
    EXPECT_TRUE(runs[i].outcome.Complete2xx());
    EXPECT_EQ(ReadFileBytes(sandbox.File(std::to_string(i))),
              "/t?i=" + std::to_string(i) + std::string(50000, '.'));
  }
}

// A body over the cap is no answer: nothing past the cap reaches the file and the
// transfer ends there, announced or not, at once or trickling.
TEST_F(UrlFetcherTest, BodyOverTheCapIsCutThereAndIsNoAnswer) {
  constexpr long long kCap = 1000;
  struct Case {
    const char* what;
    Reply reply;
    std::optional<bool> overCap;  // nullopt: either, as long as nothing past the cap is kept
  };
  auto unannounced = [](Reply r) {
    r.sendContentLength = false;
    return r;
  };
  const std::string atCap = ScriptedHttpServer::GeneratedBytes(0, kCap);
  const Case cases[] = {
      {"exactly the cap", Reply::Ok(atCap), false},
      {"exactly the cap, unannounced", unannounced(Reply::Ok(atCap)), false},
      {"one byte over, announced", Reply::Ok(atCap + "x"), true},
      {"one byte over, unannounced", unannounced(Reply::Ok(atCap + "x")), true},
      {"in pieces, unannounced", unannounced(Reply::InPieces(atCap + atCap, 300, 5ms)), true},
      // One HTTP layer stops at the announced length, another reads on and meets the cap.
      {"a lie: announces the cap, sends more",
       [&] {
         Reply r = Reply::Ok(atCap + atCap);
         r.contentLength = kCap;
         return r;
       }(),
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.Route("/cap", c.reply);
    WriteFileBytes(destination, "stale answer");
    FetchLimits limits = TestLimits();
    limits.maxBodyBytes = kCap;
    FetchRun run = Fetch(server.Url("/cap"), destination, limits);
    EXPECT_EQ(run.result, 1);
    if (c.overCap) {
      EXPECT_EQ(run.outcome.overCap, *c.overCap);
    }
    EXPECT_EQ(run.outcome.Complete2xx(), !run.outcome.overCap);
    const std::string got = ReadFileBytes(destination);
    EXPECT_LE(got.size(), static_cast<size_t>(kCap));
    EXPECT_EQ(got, atCap.substr(0, got.size()));
    if (!run.outcome.overCap) {
      EXPECT_EQ(got, atCap);
    }
  }
}

// A huge answer is given up as soon as the cap is passed, not after the whole body.
TEST_F(UrlFetcherTest, HugeBodyEndsAtTheCapWithoutWaitingForTheRest) {
  for (bool announced : {true, false}) {
    SCOPED_TRACE(announced ? "announced" : "unannounced");
    Reply reply = Reply::Generated(2000ull << 20);  // 2000 MiB, produced as it is sent
    reply.sendContentLength = announced;
    server.Route("/huge", reply);
    FetchLimits limits = TestLimits();
    limits.maxBodyBytes = 1 << 20;
    const Clock::time_point start = Clock::now();
    FetchRun run = Fetch(server.Url("/huge"), destination, limits);
    EXPECT_LT(Seconds(Clock::now() - start), 10.0);
    EXPECT_TRUE(run.outcome.overCap);
    EXPECT_FALSE(run.outcome.Complete2xx());
    EXPECT_LE(ReadFileBytes(destination).size(), 1u << 20);
  }
}

}  // namespace
