// page_bench: the daemon's own work for its page, per call (Google Benchmark): one
// snapshot as the first page of a second builds it (the whole dashboard with two full
// panes, Korean text among it, as JSON), and the hour of history a page reads when it opens.
#include <benchmark/benchmark.h>

#include <string>

#include "core/control_ids.h"
#include "daemon/dashboard_json.h"
#include "daemon/headless_window.h"
#include "daemon/history_json.h"
#include "daemon/history_ring.h"
#include "daemon/tick_snapshot.h"

namespace {

// A dashboard as a mining machine shows it: every field filled, both panes near their
// 4096-character limit, the machine's name in Korean (code page 949).
void FillLikeAMiningMachine(HeadlessWindow& window) {
  for (const DashboardFieldName& field : kDashboardFieldNames)
    window.SetControlText(field.controlId, "1234567.123456 KEST");
  window.SetControlText(kIdMachineName, "\xC4\xC9\xBD\xBA\xC6\xAE\xB6\xF3\xBA\xBB 1");
  window.SetControlText(kIdStartStop, "STOP");
  std::string mining;
  while (mining.size() < 4000)
    mining += "(1448124) 0.000151 KEST - Mining complete\r\n Hash : QXxAB12CD34EF56GH78IJ90KL12MN34OP\r\n";
  window.SetPaneText(LogPane::kMining, mining);
  std::string events = "Initialize..\r\nDownloading Machine Information..\r\n";
  while (events.size() < 4000) events += "\xC4\xC9\xBD\xBA\xC6\xAE\xB6\xF3\xBA\xBB 1 Start Mining..\r\n";
  window.SetPaneText(LogPane::kEvent, events);
}

void Snapshot(benchmark::State& state) {
  HeadlessWindow window([](const std::string&) {});
  FillLikeAMiningMachine(window);
  const std::string point = HistoryPointJson({1796958001, 998.5, 25.026985, 249, 1275}, 41);
  SnapshotCounters counters{1234567, 1200000, 12};
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string json = SnapshotJson(42, counters, DashboardJson(window.Current()), point);
    bytes = json.size();
    benchmark::DoNotOptimize(json.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(Snapshot);

void HourOfHistory(benchmark::State& state) {
  HistoryRing ring;
  for (int i = 0; i < 3600; ++i)
    ring.Add({1796958000 + i, 998.37 + i % 7, 25.0 + i * 0.0271, 250 - i / 60, 1250 + i * 25});
  std::size_t bytes = 0;
  for (auto _ : state) {
    uint64_t first = 0;
    const std::string json = HistoryJson(ring.Since(0, first), first);
    bytes = json.size();
    benchmark::DoNotOptimize(json.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(HourOfHistory);

}  // namespace

BENCHMARK_MAIN();
