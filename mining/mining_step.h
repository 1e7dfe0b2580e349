#pragma once
// The arithmetic of one mining step and its log block. Both run about a thousand
// times a second on the worker, so neither allocates.
#include <cstddef>
#include <cstdint>

#include "core/machine_state.h"
#include "mining/random_source.h"

// Books one step into the record: drops a boost above 1.0, computes the step's
// amount e from level, the draw, machineKest and boost, keeps the per-second totals
// (expGain from the second before the one that has just ended), moves the site's
// figures as if every active machine had mined e, and adds e to machineKest.
// `second` is the local clock's second (0-59); `draw` the generator's value for this
// step. Returns e.
double AdvanceMining(MachineState& s, int second, int draw);

constexpr std::size_t kMiningBlockSize = 512;
constexpr int kHashLength = 32;

// Formats the "Mining complete" block of one step: the tick count printed as a
// signed 32-bit number, the amount with six decimals and a hash of 32 characters,
// each drawn from `random` in turn. Always NUL-terminated within the block.
void FormatMiningBlock(char (&block)[kMiningBlockSize], uint32_t tick, double amount, RandomSource& random);
