#include "mining/mining_step.h"

#include <cmath>
#include <cstdio>

#include "core/checked_math.h"

namespace {

constexpr double kBoostCeiling = 1.0;
constexpr double kLevelFactor = 0.000001;
constexpr double kRandomDivisor = 5000000.0;
constexpr double kHoldingFactor = 0.00000001;
constexpr double kExperienceFactor = 1000.0;
constexpr char kHashAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr int kHashAlphabetSize = sizeof kHashAlphabet - 1;

// The tick count as the log shows it: its bits read as a signed 32-bit number.
int32_t SignedTick(uint32_t tick) {
  if (tick <= static_cast<uint32_t>(INT32_MAX)) return static_cast<int32_t>(tick);
  return static_cast<int32_t>(tick - 2147483648u) + INT32_MIN;
}

// A generator that breaks its 0..32767 promise must still index inside the alphabet.
char HashCharacter(int draw) {
  int position = draw % kHashAlphabetSize;
  if (position < 0) position += kHashAlphabetSize;
  return kHashAlphabet[position];
}

}  // namespace

double AdvanceMining(MachineState& s, int second, int draw) {
  // A Code of "nan" or "-inf" in a reply gives a boost that is no number: it must not
  // spread into the amount, which the next report would send.
  if (!std::isfinite(s.boost) || s.boost > kBoostCeiling) s.boost = 0;

  // Summed left to right, with machineKest and boost as they were before this step.
  double e = static_cast<double>(s.level) * kLevelFactor;
  e = e + static_cast<double>(draw % 1000) / kRandomDivisor;
  e = e + s.machineKest * kHoldingFactor;
  e = e + s.boost;

  double running = s.currentSecondTotal;
  if (s.currentSecond != second) {
    // The experience comes from the total that is about to be replaced, i.e. the
    // second before the one that has just ended.
    s.expGain = TruncToInt32(s.lastSecondTotal * kExperienceFactor);
    s.lastSecondTotal = s.currentSecondTotal;
    s.currentSecond = second;
    running = 0;
  }
  s.currentSecondTotal = running + e;
  s.miningPerSec = s.lastSecondTotal;

  const double machines = static_cast<double>(s.activeMachines);
  s.buriedKest = s.buriedKest - machines * e;
  s.totalKestMining = s.totalKestMining + machines * e;
  s.mkps = s.lastSecondTotal * machines;
  s.mkph = s.mkph + (s.lastSecondTotal * machines) * machines;

  s.machineKest = s.machineKest + e;
  return e;
}

void FormatMiningBlock(char (&block)[kMiningBlockSize], uint32_t tick, double amount, RandomSource& random) {
  char hash[kHashLength + 1];
  for (int i = 0; i < kHashLength; ++i) hash[i] = HashCharacter(random.Draw());
  hash[kHashLength] = '\0';
  std::snprintf(block, sizeof block, "(%d) %lf KEST - Mining complete\r\n Hash : QXx%s\r\n",
                static_cast<int>(SignedTick(tick)), amount, hash);
}
