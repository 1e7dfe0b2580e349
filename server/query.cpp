#include "server/query.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);  // a stray '%' is kept as it stands
    }
  }
  return out;
}

Query Query::FromTarget(std::string_view target) {
  Query q;
  const auto mark = target.find('?');
  if (mark == std::string_view::npos) return q;
  std::string_view rest = target.substr(mark + 1);
  // A fragment is never sent by a client; if one arrives it is not part of the query.
  if (const auto hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
  while (!rest.empty()) {
    const auto amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    if (pair.empty()) continue;
    const auto eq = pair.find('=');
    const std::string_view key = pair.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    q.pairs_.emplace_back(PercentDecode(key), PercentDecode(value));
  }
  return q;
}

std::optional<std::string> Query::Get(std::string_view key) const {
  for (const auto& [k, v] : pairs_) {
    if (k == key) return v;
  }
  return std::nullopt;
}

std::optional<int> ParseInt32(std::string_view text) {
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::optional<double> ParseFiniteReal(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}
