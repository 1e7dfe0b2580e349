#pragma once
// Reading a command line with CLI11 for the programs that take options (mining-service,
// kestravon-minerd): one wording of errors for both, --help and --version without any
// display or service, and a value that is the next option never taken as a value.
// Header-only: the window clients take no options and do not link CLI11.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "core/command_line_result.h"

namespace command_line {

enum class Outcome { kRun, kHelp, kVersion, kError };

// "--x" as the value of an option means the value was left out ("--db --tls-cert FILE").
inline CLI::Validator NotAnOption() {
  return CLI::Validator(
      [](std::string& value) {
        return value.rfind("--", 0) == 0 ? std::string("needs a value") : std::string();
      },
      "", "");
}

inline CLI::Validator NonEmpty() {
  return CLI::Validator(
      [](std::string& value) {
        return value.empty() ? std::string("needs a non-empty value") : std::string();
      },
      "", "");
}

// Turns CLI11's "NAME: what" into "option NAME what"; leaves other texts as they are.
inline std::string OptionError(const std::string& text) {
  const std::size_t colon = text.find(": ");
  if (text.rfind("--", 0) != 0 || colon == std::string::npos) return text;
  const std::string name = text.substr(0, colon);
  std::string what = text.substr(colon + 2);
  if (what.find("required") != std::string::npos && what.find("missing") != std::string::npos) {
    what = "needs a value";
  }
  return "option " + name + " " + what;
}

// Parses `args` (without the program's name) into the options bound to `app`. The app
// must have allow_extras() set, so that an unknown word is named in the error.
inline Outcome Parse(CLI::App& app, const CLI::Option* version, const std::vector<std::string>& args,
                     std::string& error) {
  // CLI11 reads "--name=" as a value left out; it is an empty one.
  for (const std::string& arg : args) {
    if (arg.size() > 3 && arg.rfind("--", 0) == 0 && arg.find('=') == arg.size() - 1) {
      error = "option " + arg.substr(0, arg.size() - 1) + " needs a non-empty value";
      return Outcome::kError;
    }
  }
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 reads from the back
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return Outcome::kHelp;
  } catch (const CLI::ParseError& e) {
    error = OptionError(e.what());
    return Outcome::kError;
  }
  if (!app.remaining().empty()) {
    const std::string word = app.remaining().front();
    error = word.rfind('-', 0) == 0 ? "unknown option '" + word + "'" : "unexpected argument '" + word + "'";
    return Outcome::kError;
  }
  if (version != nullptr && version->count() > 0) return Outcome::kVersion;
  return Outcome::kRun;
}

// Parses `args` as Parse does into `result`'s --help, --version and error. True when the
// program is to run: the caller then checks what the parse cannot and sets the options.
template <typename Options>
bool ParseInto(CLI::App& app, const CLI::Option* version, const std::vector<std::string>& args,
               Result<Options>& result) {
  switch (Parse(app, version, args, result.error)) {
    case Outcome::kHelp: result.helpRequested = true; return false;
    case Outcome::kVersion: result.versionRequested = true; return false;
    case Outcome::kError: return false;
    case Outcome::kRun: return true;
  }
  return false;
}

}  // namespace command_line
