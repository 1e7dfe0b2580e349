#include "daemon/history_json.h"

#include <charconv>
#include <cmath>

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

namespace {
// The charts need no more digits than the window shows: a rate to the hundredth, an
// amount to the millionth (as "%lf" writes it). Keeps an hour's JSON small.
double Rounded(double value, double scale) {
  const double scaled = value * scale;
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 1e15) return value;
  return std::round(scaled) / scale;
}

template <typename Value>
void AddSeries(std::string& json, const char* name, const std::vector<HistoryPoint>& points, Value value) {
  json += ",\"";
  json += name;
  json += "\":[";
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i > 0) json += ',';
    json += value(points[i]);
  }
  json += ']';
}
}  // namespace

std::string HistoryJson(const std::vector<HistoryPoint>& points, uint64_t first) {
  std::string json =
      "{\"first\":" + std::to_string(first) + ",\"next\":" + std::to_string(first + points.size());
  json.reserve(points.size() * 48 + 128);
  AddSeries(json, "seconds", points, [](const HistoryPoint& p) { return std::to_string(p.second); });
  AddSeries(json, "passesPerSecond", points,
            [](const HistoryPoint& p) { return JsonNumber(Rounded(p.passesPerSecond, 100)); });
  AddSeries(json, "coinAmount", points,
            [](const HistoryPoint& p) { return JsonNumber(Rounded(p.coinAmount, 1e6)); });
  AddSeries(json, "fuel", points, [](const HistoryPoint& p) { return std::to_string(p.fuel); });
  AddSeries(json, "experience", points, [](const HistoryPoint& p) { return std::to_string(p.experience); });
  json += "}\n";
  return json;
}

std::string HistoryPointJson(const HistoryPoint& point, uint64_t seq) {
  return "{\"seq\":" + std::to_string(seq) + ",\"second\":" + std::to_string(point.second) +
         ",\"passesPerSecond\":" + JsonNumber(Rounded(point.passesPerSecond, 100)) +
         ",\"coinAmount\":" + JsonNumber(Rounded(point.coinAmount, 1e6)) +
         ",\"fuel\":" + std::to_string(point.fuel) + ",\"experience\":" + std::to_string(point.experience) +
         "}";
}
