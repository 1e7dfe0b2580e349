#pragma once
// Latencies and failures per request kind, printed as one table.
#include <cstdio>
#include <string>
#include <vector>

struct KindFigures {
  std::string kind;
  std::vector<double> seconds;  // answered with 200
  long errors = 0;              // no answer, or another status
  std::string firstError;
};

void PrintLatencyTable(std::FILE* out, std::vector<KindFigures>& kinds);
