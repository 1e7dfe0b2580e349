#pragma once
// The history ring as JSON for the page's charts: one array per series (the shape the
// chart library takes), the seconds as Unix time, a missing rate as null.
//
//   {"first":120,"next":123,"seconds":[...],"passesPerSecond":[null,998.5,...],
//    "coinAmount":[...],"fuel":[...],"experience":[...]}
#include <cstdint>
#include <string>
#include <vector>

#include "daemon/history_ring.h"

// `first` is the sequence number of points[0]; "next" is the one after the last point.
std::string HistoryJson(const std::vector<HistoryPoint>& points, uint64_t first);

// One point as an object: {"seq":N,"second":...,"passesPerSecond":...,...}.
std::string HistoryPointJson(const HistoryPoint& point, uint64_t seq);

// A double as the shortest JSON number that reads back the same; NaN and infinities,
// which JSON cannot write, as null.
std::string JsonNumber(double value);
