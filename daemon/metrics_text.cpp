#include "daemon/metrics_text.h"

#include <cmath>
#include <cstdio>

std::string MetricValue(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

namespace {
void Add(std::string& out, const char* name, const char* type, const char* help, const std::string& value) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
  out += name;
  out += ' ';
  out += value;
  out += '\n';
}
}  // namespace

std::string MetricsText(const MetricsInput& in) {
  std::string out;
  Add(out, "kestravon_worker_passes_total", "counter", "Passes of the mining worker's loop.",
      std::to_string(in.workerPasses));
  Add(out, "kestravon_mining_steps_total", "counter", "Mining steps run.",
      std::to_string(in.counts.miningSteps));
  Add(out, "kestravon_reports_sent_total", "counter", "Status reports sent to the service.",
      std::to_string(in.counts.reportsSent));
  Add(out, "kestravon_reports_failed_total", "counter", "Status reports without a usable answer.",
      std::to_string(in.counts.reportsFailed));
  Add(out, "kestravon_update_attempts_total", "counter", "Self-updates started for an offered version.",
      std::to_string(in.counts.updateAttempts));
  Add(out, "kestravon_machine_kest", "gauge", "KEST mined by the machine.", MetricValue(in.machineKest));
  Add(out, "kestravon_fuel", "gauge", "Remaining fuel.", std::to_string(in.fuel));
  Add(out, "kestravon_experience", "gauge", "Experience points of the machine.", std::to_string(in.exp));
  Add(out, "kestravon_mining", "gauge", "1 while mining is switched on.", in.onOff == 1 ? "1" : "0");
  Add(out, "kestravon_uptime_seconds", "gauge", "Seconds since the program started.",
      MetricValue(in.uptimeSeconds));
  return out;
}
