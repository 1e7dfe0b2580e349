#include "server/request_head.h"

#include <cctype>
#include <charconv>
#include <cstdint>

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

HeadVerdict JudgeHead(std::string_view bytes, const HeadLimits& limits, std::size_t& headBytes) {
  headBytes = 0;
  const std::size_t end = bytes.find("\r\n\r\n");
  const std::size_t headEnd = end == std::string_view::npos ? std::string_view::npos : end + 4;
  const std::string_view head =
      headEnd == std::string_view::npos ? bytes : bytes.substr(0, headEnd);
  std::size_t crlfs = 0;
  for (std::size_t at = head.find("\r\n"); at != std::string_view::npos;
       at = head.find("\r\n", at + 2)) {
    ++crlfs;
  }
  // A request line that never ends is a URI beyond any limit.
  if (crlfs == 0) {
    if (head.size() > limits.maxHeadBytes) return HeadVerdict::kUriTooLong;
  } else {
    // Counted before the head is complete too, so a flood is cut as soon as it passes.
    const bool complete = headEnd != std::string_view::npos;
    const std::size_t headerLines = crlfs - 1 - (complete ? 1 : 0);
    if (head.size() > limits.maxHeadBytes || headerLines > limits.maxHeaderLines) {
      return HeadVerdict::kHeadTooLarge;
    }
  }
  // The first word of the request line is the method; anything but GET is refused at once.
  const std::size_t firstLineEnd = head.find("\r\n");
  const std::size_t space = head.find(' ');
  if (space != std::string_view::npos && space < firstLineEnd && head.substr(0, space) != "GET") {
    return HeadVerdict::kMethodNotAllowed;
  }
  if (headEnd == std::string_view::npos) return HeadVerdict::kIncomplete;
  if (space == std::string_view::npos || space > firstLineEnd) return HeadVerdict::kBadRequest;

  std::size_t lineStart = head.find("\r\n") + 2;
  while (lineStart < headEnd - 2) {
    const std::size_t lineEnd = head.find("\r\n", lineStart);
    const std::string_view line = head.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 2;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (EqualsNoCase(name, "Transfer-Encoding")) return HeadVerdict::kTooLarge;
    if (EqualsNoCase(name, "Content-Length")) {
      std::uint64_t length = 0;
      const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
      if (value.empty() || ec != std::errc() || ptr != value.data() + value.size()) {
        return HeadVerdict::kBadRequest;
      }
      if (length > limits.maxBodyBytes) return HeadVerdict::kTooLarge;
    }
  }
  headBytes = headEnd;
  return HeadVerdict::kAccept;
}

int StatusOf(HeadVerdict verdict) {
  switch (verdict) {
    case HeadVerdict::kAccept: return 200;
    case HeadVerdict::kIncomplete: return 408;
    case HeadVerdict::kBadRequest: return 400;
    case HeadVerdict::kMethodNotAllowed: return 405;
    case HeadVerdict::kTooLarge: return 413;
    case HeadVerdict::kHeadTooLarge: return 431;
    case HeadVerdict::kUriTooLong: return 414;
  }
  return 400;
}
