#include "latency_table.h"

#include <algorithm>
#include <cmath>

namespace {

double Quantile(const std::vector<double>& sorted, double q) {
  if (sorted.empty()) return 0;
  const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(sorted.size())));
  return sorted[std::min(sorted.size() - 1, rank == 0 ? 0 : rank - 1)];
}

}  // namespace

void PrintLatencyTable(std::FILE* out, std::vector<KindFigures>& kinds) {
  std::fprintf(out, "%-14s %9s %7s %10s %10s %10s\n", "request", "answered", "errors", "p50 ms", "p99 ms",
               "max ms");
  for (KindFigures& k : kinds) {
    std::sort(k.seconds.begin(), k.seconds.end());
    std::fprintf(out, "%-14s %9zu %7ld %10.1f %10.1f %10.1f\n", k.kind.c_str(), k.seconds.size(), k.errors,
                 1000 * Quantile(k.seconds, 0.50), 1000 * Quantile(k.seconds, 0.99),
                 1000 * (k.seconds.empty() ? 0 : k.seconds.back()));
    if (k.errors > 0) std::fprintf(out, "  first error of %s: %s\n", k.kind.c_str(), k.firstError.c_str());
  }
}
