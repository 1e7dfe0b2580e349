// The parts behind minerd's page: the hour of history, the rate it computes, the JSON the
// charts read, the snapshot shared by every open page, the files compiled into the
// program, and the view's routes for them.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "daemon/dashboard_json.h"
#include "daemon/history_json.h"
#include "daemon/history_ring.h"
#include "daemon/history_sampler.h"
#include "daemon/local_view.h"
#include "daemon/page_assets.h"
#include "daemon/page_routes.h"
#include "daemon/tick_snapshot.h"
#include "support/view_readers.h"
#include "ui/common/dialog_template.h"

namespace {

HistoryPoint PointAt(int64_t second) {
  HistoryPoint p;
  p.second = second;
  p.passesPerSecond = 1000;
  p.coinAmount = static_cast<double>(second) / 10.0;
  p.fuel = static_cast<int>(second % 300);
  p.experience = static_cast<int>(second);
  return p;
}

std::vector<int64_t> SecondsOf(const std::vector<HistoryPoint>& points) {
  std::vector<int64_t> out;
  out.reserve(points.size());
  for (const HistoryPoint& p : points) out.push_back(p.second);
  return out;
}

TEST(HistoryRing, KeepsTheNewestCapacityPointsAndAnswersFromASequenceNumber) {
  struct Case {
    int added;
    uint64_t from;
    uint64_t first;
    std::vector<int64_t> seconds;
  };
  // Capacity 4; point i stands for second 100 + i.
  const Case cases[] = {
      {0, 0, 0, {}},
      {3, 0, 0, {100, 101, 102}},
      {3, 1, 1, {101, 102}},
      {3, 3, 3, {}},                    // nothing new yet
      {3, 9, 3, {}},                    // from the future: nothing, and where the next will be
      {4, 0, 0, {100, 101, 102, 103}},  // exactly full
      {6, 0, 2, {102, 103, 104, 105}},  // overwritten: the oldest kept comes first
      {6, 1, 2, {102, 103, 104, 105}},  // asked for one already gone
      {6, 5, 5, {105}},
      {11, 8, 8, {108, 109, 110}},  // wrapped round more than once
  };
  for (const Case& c : cases) {
    HistoryRing ring(4);
    for (int i = 0; i < c.added; ++i) ring.Add(PointAt(100 + i));
    uint64_t first = 12345;
    const auto points = ring.Since(c.from, first);
    EXPECT_EQ(first, c.first) << c.added << " added, from " << c.from;
    EXPECT_EQ(SecondsOf(points), c.seconds) << c.added << " added, from " << c.from;
    EXPECT_EQ(ring.Count(), static_cast<uint64_t>(c.added));
  }
}

TEST(HistoryRing, AnHourHoldsAnHourAndNeverMore) {
  HistoryRing ring;
  EXPECT_EQ(ring.Capacity(), 3600u);
  for (int i = 0; i < 3600 * 2 + 7; ++i) ring.Add(PointAt(i));
  uint64_t first = 0;
  const auto points = ring.Since(0, first);
  ASSERT_EQ(points.size(), 3600u);
  EXPECT_EQ(first, 3600u + 7);
  EXPECT_EQ(points.front().second, 3600 + 7);
  EXPECT_EQ(points.back().second, 3600 * 2 + 6);
  EXPECT_EQ(ring.Capacity(), 3600u);
}

TEST(HistoryRing, ReadersAndTheWriterNeverSeeATornRing) {
  HistoryRing ring(64);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) ring.Add(PointAt(i));
    done = true;
  });
  bool ordered = true;
  while (!done) {
    uint64_t first = 0;
    const auto points = ring.Since(0, first);
    for (std::size_t i = 0; i < points.size(); ++i) {
      // Point n stands for second n: each answer is a run of consecutive points from `first`.
      ordered = ordered && points[i].second == static_cast<int64_t>(first + i) &&
                points[i].experience == points[i].second;
    }
  }
  writer.join();
  EXPECT_TRUE(ordered);
}

TEST(HistorySampler, RatesComeFromThePassesBetweenTwoReadings) {
  struct Step {
    double monotonic;
    uint64_t passes;
    double expectedRate;  // NaN: none
  };
  const double none = std::numeric_limits<double>::quiet_NaN();
  const Step steps[] = {
      {10.0, 5000, none},                      // the first has nothing to compare with
      {11.0, 6000, 1000}, {12.5, 7500, 1000},  // a late tick: divided by the time that really passed
      {12.5, 7600, none},                      // no time passed: no rate rather than an infinite one
      {13.5, 7600, 0},                         // mining off: the worker still counts, here it did not pass
      {14.5, 100, none},                       // a count that went back (cannot happen; never a huge rate)
      {15.5, 1100, 1000},
  };
  HistoryRing ring;
  HistorySampler sampler(ring);
  int64_t second = 1796958000;
  for (const Step& s : steps) {
    HistoryReading r;
    r.monotonicSeconds = s.monotonic;
    r.wallSecond = second++;
    r.workerPasses = s.passes;
    r.coinAmount = 25.5;
    r.fuel = 250;
    r.experience = 1250;
    sampler.Sample(r);
  }
  uint64_t first = 0;
  const auto points = ring.Since(0, first);
  ASSERT_EQ(points.size(), std::size(steps));
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (std::isnan(steps[i].expectedRate)) {
      EXPECT_TRUE(std::isnan(points[i].passesPerSecond)) << i << ": " << points[i].passesPerSecond;
    } else {
      EXPECT_DOUBLE_EQ(points[i].passesPerSecond, steps[i].expectedRate) << i;
    }
    EXPECT_EQ(points[i].second, 1796958000 + static_cast<int64_t>(i));
    EXPECT_EQ(points[i].fuel, 250);
    EXPECT_EQ(points[i].experience, 1250);
    EXPECT_EQ(points[i].coinAmount, 25.5);
  }
}

TEST(HistoryJson, SeriesLineUpAndReadBack) {
  std::vector<HistoryPoint> points(3);
  points[0] = {1796958000, std::numeric_limits<double>::quiet_NaN(), 25, 250, 1250};
  points[1] = {1796958001, 998.456, 25.0269851842949, 249, 1275};
  points[2] = {1796958003, std::numeric_limits<double>::infinity(), -3.5, -1, 2147483647};
  const auto leaves = ParseJsonLeaves(HistoryJson(points, 41));
  ASSERT_TRUE(leaves);
  const std::map<std::string, std::string> expected = {
      {"first", "41"},
      {"next", "44"},
      {"seconds[0]", "1796958000"},
      {"seconds[1]", "1796958001"},
      {"seconds[2]", "1796958003"},
      {"passesPerSecond[0]", "null"},  // no rate
      {"passesPerSecond[1]", "998.46"},
      {"passesPerSecond[2]", "null"},  // JSON has no infinity
      {"coinAmount[0]", "25"},
      {"coinAmount[1]", "25.026985"},
      {"coinAmount[2]", "-3.5"},
      {"fuel[0]", "250"},
      {"fuel[1]", "249"},
      {"fuel[2]", "-1"},
      {"experience[0]", "1250"},
      {"experience[1]", "1275"},
      {"experience[2]", "2147483647"},
  };
  EXPECT_EQ(*leaves, expected);

  const auto empty = ParseJsonLeaves(HistoryJson({}, 7));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->at("first"), "7");
  EXPECT_EQ(empty->at("next"), "7");

  const auto point = ParseJsonLeaves(HistoryPointJson(points[1], 42));
  ASSERT_TRUE(point);
  EXPECT_EQ(point->at("seq"), "42");
  EXPECT_EQ(point->at("second"), "1796958001");
  EXPECT_EQ(point->at("passesPerSecond"), "998.46");
  EXPECT_EQ(point->at("experience"), "1275");
}

TEST(HistoryJson, NumbersAreShortestAndNeverNaN) {
  struct Case {
    double value;
    const char* json;
  };
  const Case cases[] = {
      {0, "0"},
      {1000, "1000"},
      {0.1, "0.1"},
      {-2.5, "-2.5"},
      {1e300, "1e+300"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
  };
  for (const Case& c : cases) EXPECT_EQ(JsonNumber(c.value), c.json) << c.value;
}

TEST(TickSnapshot, ManyPagesInOneTickCostOneSnapshot) {
  std::atomic<int> built{0};
  TickSnapshot snapshot([&built](uint64_t tick) {
    ++built;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // long enough for the others to queue
    return "tick " + std::to_string(tick);
  });
  std::vector<std::thread> pages;
  pages.reserve(8);
  std::vector<std::string> seen(8);
  for (int i = 0; i < 8; ++i) {
    pages.emplace_back([&, i] { seen[i] = *snapshot.Get(7); });
  }
  for (auto& t : pages) t.join();
  EXPECT_EQ(built.load(), 1);
  EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()), std::set<std::string>{"tick 7"});

  EXPECT_EQ(*snapshot.Get(8), "tick 8");  // the next tick: one more
  EXPECT_EQ(*snapshot.Get(8), "tick 8");
  EXPECT_EQ(*snapshot.Get(6), "tick 8");  // never back in time
  EXPECT_EQ(built.load(), 2);
  snapshot.Invalidate();  // a Start/Stop: the same tick again, anew
  EXPECT_EQ(*snapshot.Get(8), "tick 8");
  EXPECT_EQ(built.load(), 3);
  EXPECT_EQ(snapshot.Builds(), 3u);
}

TEST(TickSnapshot, JsonHoldsTheDashboardTheCountersAndThePoint) {
  SnapshotCounters counters;
  counters.workerPasses = 123456;
  counters.miningSteps = 120000;
  counters.reportsSent = 3;
  const std::string point = HistoryPointJson({1796958001, 998, 25.5, 249, 1275}, 9);
  const auto leaves = ParseJsonLeaves(SnapshotJson(10, counters, "{\"caption\":\"Stop\"}\n", point));
  ASSERT_TRUE(leaves);
  EXPECT_EQ(leaves->at("tick"), "10");
  EXPECT_EQ(leaves->at("counters.workerPasses"), "123456");
  EXPECT_EQ(leaves->at("counters.miningSteps"), "120000");
  EXPECT_EQ(leaves->at("counters.reportsSent"), "3");
  EXPECT_EQ(leaves->at("dashboard.caption"), "Stop");
  EXPECT_EQ(leaves->at("point.seq"), "9");
  const auto noPoint = ParseJsonLeaves(SnapshotJson(0, counters, "{}", ""));
  ASSERT_TRUE(noPoint);
  EXPECT_EQ(noPoint->at("point"), "null");
}

std::string PageHtml() {
  const EmbeddedFile* html = FindPageFile("/");
  return html ? std::string(html->Text()) : std::string();
}

std::string HtmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else
      out += c;
  }
  return out;
}

TEST(PageFiles, ThePageAndEveryFileItLoadsAreCompiledIn) {
  const std::string html = PageHtml();
  ASSERT_FALSE(html.empty());
  // Each file the page refers to is served, with a type a browser will not second-guess.
  const std::map<std::string, std::string> types = {
      {"/assets/page.js", "text/javascript; charset=utf-8"},
      {"/assets/page.css", "text/css; charset=utf-8"},
      {"/assets/uPlot.iife.min.js", "text/javascript; charset=utf-8"},
      {"/assets/uPlot.min.css", "text/css; charset=utf-8"},
      {"/assets/icon.png", "image/png"},
  };
  for (const auto& [path, type] : types) {
    EXPECT_NE(html.find("\"" + path + "\""), std::string::npos) << path << " is not referred to";
    const EmbeddedFile* file = FindPageFile(path);
    ASSERT_NE(file, nullptr) << path;
    EXPECT_EQ(std::string(file->contentType), type) << path;
    EXPECT_GT(file->size, 100u) << path;
  }
  EXPECT_EQ(FindPageFile("/assets/"), nullptr);
  EXPECT_EQ(FindPageFile("/assets/page.js?x"), nullptr);
  EXPECT_EQ(FindPageFile("/index.html/.."), nullptr);
  // Nothing inline: the policy allows neither inline script nor inline style.
  for (const char* inlineMark : {"<script>", "<style", " style=", " onclick=", " onload=", "javascript:"}) {
    EXPECT_EQ(html.find(inlineMark), std::string::npos) << inlineMark;
  }
  std::size_t total = 0;
  for (std::size_t i = 0; i < kEmbeddedFileCount; ++i) total += kEmbeddedFiles[i].size;
  EXPECT_LT(total, 150u * 1024) << "the page's weight";
}

TEST(PageFiles, EveryFieldHasItsPlaceUnderTheWindowsOwnTexts) {
  const std::string html = PageHtml();
  for (const DashboardFieldName& field : kDashboardFieldNames) {
    EXPECT_NE(html.find(std::string("id=\"f-") + field.name + "\""), std::string::npos) << field.name;
  }
  // The window's group titles and labels, word for word; its buttons without a command are
  // left out, and its Start/Stop button is there.
  const DialogTemplate& window = MainDialogTemplate();
  int texts = 0;
  for (const DialogItem& item : window.items) {
    const bool label = item.itemClass == ItemClass::kStatic && item.id == kNoId && item.text[0] != '\0';
    const bool groupBox =
        item.itemClass == ItemClass::kButton && (item.style & style::kButtonTypeMask) == style::kGroupBox;
    const bool checkOrRadio = item.itemClass == ItemClass::kButton &&
                              ((item.style & style::kButtonTypeMask) == style::kAutoCheckBox ||
                               (item.style & style::kButtonTypeMask) == style::kAutoRadioButton);
    if (std::string(item.text).rfind("If you change the sector", 0) == 0)
      continue;  // about a button that does nothing
    if (!label && !groupBox && !checkOrRadio) continue;
    ++texts;
    EXPECT_NE(html.find(">" + HtmlEscaped(item.text) + "<"), std::string::npos) << item.text;
  }
  EXPECT_GT(texts, 40);
  EXPECT_NE(html.find("id=\"startStop\""), std::string::npos);
  EXPECT_NE(html.find("id=\"pane-mining\""), std::string::npos);
  EXPECT_NE(html.find("id=\"pane-event\""), std::string::npos);
}

TEST(PageRoutes, SinceIsAPlainSequenceNumberOrNothing) {
  struct Case {
    const char* query;
    bool taken;
    uint64_t since;
  };
  const Case cases[] = {
      {"", true, 0},
      {"since=0", true, 0},
      {"since=12", true, 12},
      {"x=1&since=7&y=2", true, 7},
      {"since=18446744073709551615", true, 18446744073709551615u},
      {"since=18446744073709551616", false, 0},  // does not fit
      {"since=", false, 0},
      {"since=-1", false, 0},
      {"since=+1", false, 0},
      {"since=1x", false, 0},
      {"since=%31", false, 0},        // no decoding: a number is digits
      {"since=1&since=2", false, 0},  // which one?
      {"sincere=1", true, 0},         // another parameter
  };
  for (const Case& c : cases) {
    const auto since = SinceOfQuery(c.query);
    EXPECT_EQ(since.has_value(), c.taken) << c.query;
    if (since) {
      EXPECT_EQ(*since, c.since) << c.query;
    }
  }
}

// The view with stand-ins for the session, on an ephemeral loopback port.
struct PageView : ::testing::Test {
  const std::string token = std::string(64, 'a');
  std::atomic<int> toggles{0};
  std::atomic<uint64_t> askedSince{999};
  std::unique_ptr<LocalView> view;
  std::unique_ptr<httplib::Client> client;

  void SetUp() override {
    ViewSources s;
    s.token = token;
    s.dashboardJson = [] { return std::string("{\"caption\":\"Stop\"}\n"); };
    s.metricsText = [] { return std::string("# TYPE x gauge\nx 1\n"); };
    s.toggleMining = [this] {
      ++toggles;
      return std::string("{\"onOff\":0,\"caption\":\"Start\"}\n");
    };
    s.page.token = token;
    s.page.snapshotJson = [] { return std::string("{\"tick\":3}\n"); };
    s.page.historyJson = [this](uint64_t since) {
      askedSince = since;
      return HistoryJson({}, since);
    };
    view = std::make_unique<LocalView>(std::move(s));
    std::string error;
    ASSERT_TRUE(view->Bind(ListenAddress{"127.0.0.1", 0}, error)) << error;
    ASSERT_TRUE(view->Start(error)) << error;
    client = std::make_unique<httplib::Client>("127.0.0.1", view->Port());
  }
  httplib::Headers Bearer(const std::string& t) { return {{"Authorization", "Bearer " + t}}; }
};

TEST_F(PageView, ThePageLoadsWithoutTheTokenAndItsDataOnlyWithIt) {
  struct Case {
    const char* path;
    bool withToken;
    int status;
    const char* cacheControl;
  };
  const Case cases[] = {
      {"/", false, 200, "no-cache"},
      {"/assets/page.js", false, 200, "no-cache"},
      {"/assets/uPlot.iife.min.js", false, 200, "no-cache"},
      {"/snapshot", false, 401, "no-store"},
      {"/history", false, 401, "no-store"},
      {"/snapshot", true, 200, "no-store"},
      {"/history", true, 200, "no-store"},
      {"/history?since=12", true, 200, "no-store"},
      {"/history?since=-1", true, 400, "no-store"},
      {"/history?since=1x", true, 400, "no-store"},
      {"/history?since=", true, 400, "no-store"},
      {"/history?since=99999999999999999999999", true, 400, "no-store"},
      {"/dashboard", false, 401, "no-store"},  // what the machine shows needs the token
      {"/metrics", false, 401, "no-store"},
      {"/dashboard", true, 200, "no-store"},
      {"/metrics", true, 200, "no-store"},
      {"/assets/nothing.js", false, 401, "no-store"},  // only the page's own files go without
      {"/assets/nothing.js", true, 404, "no-store"},
  };
  for (const Case& c : cases) {
    auto res = c.withToken ? client->Get(c.path, Bearer(token)) : client->Get(c.path);
    ASSERT_TRUE(res) << c.path;
    EXPECT_EQ(res->status, c.status) << c.path;
    if (c.cacheControl) {
      EXPECT_EQ(res->get_header_value("Cache-Control"), c.cacheControl) << c.path;
    }
    // Every answer, refusals too, carries the policy.
    EXPECT_EQ(res->get_header_value("Content-Security-Policy").find("default-src 'self'"), 0u) << c.path;
    EXPECT_NE(res->get_header_value("Content-Security-Policy").find("frame-ancestors 'none'"),
              std::string::npos);
    EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff") << c.path;
    if (c.status == 401) {
      EXPECT_EQ(res->get_header_value("WWW-Authenticate"), "Bearer") << c.path;
    }
  }
  auto history = client->Get("/history?since=12", Bearer(token));
  ASSERT_TRUE(history);
  EXPECT_EQ(askedSince.load(), 12u);
  auto page = client->Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->body, PageHtml());
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  // A wrong token reads nothing either, and a page of another host name is refused.
  std::string wrong = token;
  wrong[63] = 'b';
  EXPECT_EQ(client->Get("/snapshot", Bearer(wrong))->status, 401);
  EXPECT_EQ(client->Get("/", {{"Host", "attacker.example:" + std::to_string(view->Port())}})->status, 403);
  EXPECT_EQ(toggles.load(), 0);
}

}  // namespace
