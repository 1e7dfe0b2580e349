#include "support/view_readers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>

#include "support/sandbox.h"

std::optional<std::map<std::string, std::string>> ParseJsonLeaves(const std::string& json) {
  Sandbox box;
  WriteFileBytes(box.File("doc.json"), json);
  const std::string command =
      std::string("python3 '") + KESTRAVON_JSON_PATHS_SCRIPT + "' < '" + box.File("doc.json") + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string output;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  if (pclose(pipe) != 0) return std::nullopt;

  std::map<std::string, std::string> leaves;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) return std::nullopt;
    std::string value = line.substr(tab + 1);
    if (value.rfind("s:", 0) == 0) {
      std::string bytes;
      for (std::size_t i = 2; i + 1 < value.size(); i += 2) {
        bytes += static_cast<char>(std::strtol(value.substr(i, 2).c_str(), nullptr, 16));
      }
      value = bytes;
    }
    leaves[line.substr(0, tab)] = value;
  }
  return leaves;
}

std::optional<std::map<std::string, double>> ParseMetrics(const std::string& text) {
  static const std::regex help(R"(# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) \S.*)");
  static const std::regex type(R"(# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge))");
  static const std::regex sample(R"(([a-zA-Z_:][a-zA-Z0-9_:]*) (\S+))");
  std::map<std::string, double> samples;
  std::set<std::string> typed;
  std::istringstream lines(text);
  std::string line;
  std::smatch m;
  while (std::getline(lines, line)) {
    if (std::regex_match(line, m, help)) continue;
    if (std::regex_match(line, m, type)) {
      if (!typed.insert(m[1]).second) return std::nullopt;
      continue;
    }
    if (!std::regex_match(line, m, sample)) return std::nullopt;
    const std::string name = m[1];
    const std::string value = m[2];
    if (!typed.count(name) || samples.count(name)) return std::nullopt;
    double number;
    if (value == "NaN") {
      number = std::nan("");
    } else if (value == "+Inf" || value == "-Inf") {
      number = value[0] == '+' ? HUGE_VAL : -HUGE_VAL;
    } else {
      char* end = nullptr;
      number = std::strtod(value.c_str(), &end);
      if (end == value.c_str() || *end != '\0') return std::nullopt;
    }
    samples[name] = number;
  }
  return samples;
}
