#pragma once
// Readers for what the local view serves, each strict enough that a malformed answer
// fails the test: JSON through Python's parser, the metrics through a reader of the
// Prometheus text format written here.
#include <map>
#include <optional>
#include <string>

// Every leaf of a JSON document by path ("fields[2].text", "panes.event.text"): strings
// as their exact UTF-8 bytes, other values as JSON ("true", "1"). Empty when the text
// is no JSON, or when it repeats a key or holds NaN.
std::optional<std::map<std::string, std::string>> ParseJsonLeaves(const std::string& json);

// Samples by metric name. Empty when a line is neither "# HELP name text", "# TYPE name
// counter|gauge" nor "name value", a sample comes without its TYPE line before it, a name
// repeats, or a value does not read completely as a number.
std::optional<std::map<std::string, double>> ParseMetrics(const std::string& text);
