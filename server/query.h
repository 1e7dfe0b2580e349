#pragma once
// The query of a request, read from the raw request target. Clients percent-encode every
// byte of a value that is not A-Z a-z 0-9 - . _ ~, so %XX is decoded into the exact byte
// (0x00-0xFF). A '+' stays a '+': the scrambled amount is raw bytes, not form text.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Query {
 public:
  // target is the request target as sent, e.g. "/Machine/GetData.html?sn=A&Mac=B".
  static Query FromTarget(std::string_view target);

  // The first value of a key (keys match exactly), or empty when the key is absent.
  std::optional<std::string> Get(std::string_view key) const;

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
};

std::string PercentDecode(std::string_view text);

// "%d" style: optional '-', digits, within the 32-bit range; nothing else around it.
std::optional<int> ParseInt32(std::string_view text);
// A decimal real such as "%lf" writes; finite only (no inf, nan, nor 1e400).
std::optional<double> ParseFiniteReal(std::string_view text);
