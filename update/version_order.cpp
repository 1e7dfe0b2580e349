#include "update/version_order.h"

#include <vector>

namespace {

// The parts of a dotted number, each without its leading zeros ("" for zero); nothing when
// the text is not one.
std::optional<std::vector<std::string_view>> Parts(std::string_view text) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = text.find('.', start);
    std::string_view part =
        text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (part.empty()) return std::nullopt;
    for (char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
    }
    while (!part.empty() && part.front() == '0') part.remove_prefix(1);
    parts.push_back(part);
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts;
}

// Two numbers without leading zeros: the longer is larger, else the first differing digit.
int CompareNumbers(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

std::optional<int> CompareVersions(std::string_view a, std::string_view b) {
  const auto left = Parts(a);
  const auto right = Parts(b);
  if (!left || !right) return std::nullopt;
  const std::size_t n = left->size() > right->size() ? left->size() : right->size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view x = i < left->size() ? (*left)[i] : std::string_view();
    const std::string_view y = i < right->size() ? (*right)[i] : std::string_view();
    if (const int c = CompareNumbers(x, y); c != 0) return c;
  }
  return 0;
}

bool IsNewerVersion(std::string_view offered, std::string_view current) {
  const auto c = CompareVersions(offered, current);
  return c.has_value() && *c > 0;
}
