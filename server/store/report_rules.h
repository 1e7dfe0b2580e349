#pragma once
// The service's rules for a status report: the scramble check, fuel and the answered Code.
#include <cstdint>
#include <string_view>

// The client grants a boost of Code / 1e6 / 1e4 per mining step when the Code is a
// multiple of 3021; ten times the base keeps it small next to a step's own amount.
inline constexpr int kBoostCode = 3021 * 10;
// Any nonzero Code that is no multiple of 3021 keeps the client mining without a boost.
inline constexpr int kPlainCode = 1000;

// True when cry is amountText scrambled with one of the offsets a client clock can give:
// every hour mod 3 and minute mod 5, before and after minute 30. The client's clock and
// time zone are its own, so the service does not insist on its own time.
bool CryMatchesAmount(std::string_view amountText, std::string_view cry);

struct ReportDecision {
  int fuelAfter = 0;
  bool acceptAmount = false;  // store the reported amount as the machine's KEST
  int code = 0;
};

// fuelBefore is the machine's fuel before this report, reportNumber counts this machine's
// reports from 1 including this one. Each report burns one unit of fuel (never below 0).
// A report is worth something only with fuel to burn and a matching scramble; the answer
// is Code 0 when the scramble does not match or the tank is empty after this report.
ReportDecision DecideReport(int fuelBefore, bool cryMatches, std::int64_t reportNumber, int boostEvery);
