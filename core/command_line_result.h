#pragma once
// What a program's command line asked for (mining-service, kestravon-minerd): its options
// to run with, --help, --version, or what is wrong. Free of CLI11, so that the programs'
// option headers stay light; core/command_line.h fills it.
#include <optional>
#include <string>

namespace command_line {

template <typename Options>
struct Result {
  std::optional<Options> options;  // empty when the command line is wrong, --help or --version
  bool helpRequested = false;
  bool versionRequested = false;
  std::string error;  // what is wrong, for standard error
};

}  // namespace command_line
