#include "minerd_fixture.h"

std::string TokenNamedIn(const std::string& logPath) {
  const std::string log = ReadFileBytes(logPath);
  const std::string marker = "view token in ";
  const auto at = log.find(marker);
  if (at == std::string::npos) return {};
  const auto end = log.find('\n', at);
  std::string token = ReadFileBytes(log.substr(at + marker.size(), end - at - marker.size()));
  if (!token.empty() && token.back() == '\n') token.pop_back();
  return token;
}
