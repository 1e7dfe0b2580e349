#include "server/store/report_rules.h"

#include "exchange/amount_scramble.h"

bool CryMatchesAmount(std::string_view amountText, std::string_view cry) {
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 5; ++b) {
      // Minute b stands for every minute below 30 with that remainder, 30 + b for the rest.
      if (ScrambleAmount(amountText, a, b) == cry) return true;
      if (ScrambleAmount(amountText, a, 30 + b) == cry) return true;
    }
  }
  return false;
}

ReportDecision DecideReport(int fuelBefore, bool cryMatches, std::int64_t reportNumber, int boostEvery) {
  ReportDecision d;
  const bool hadFuel = fuelBefore > 0;
  d.fuelAfter = hadFuel ? fuelBefore - 1 : 0;
  d.acceptAmount = hadFuel && cryMatches;
  if (!d.acceptAmount || d.fuelAfter == 0) {
    d.code = 0;
  } else if (boostEvery > 0 && reportNumber > 0 && reportNumber % boostEvery == 0) {
    d.code = kBoostCode;
  } else {
    d.code = kPlainCode;
  }
  return d;
}
