#pragma once
// The client's debug output in the Qt program: each line goes to the logging category
// kestravon.debug. Request URLs and other traces at debug level; the refusals a user
// should hear of (a self-update refused, a reply folder others can reach) at warning
// level, which Qt shows by default. The session's warnings (no serial number, no service)
// are warnings of the program itself, named "kestravon-miner:".
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/debug_output.h"

class CategoryDebugOutput final : public DebugOutput {
 public:
  // The client writes a line in pieces (the URL, then "\r\n"); a line is logged once its
  // end has arrived. Pieces are kept per thread, so the worker's and the window's lines
  // never mix.
  void Write(const char* text) override;
  void Warn(const char* text) override;

  // True for the debug lines that are really warnings for the user.
  static bool IsWarningLine(const std::string& line);

 private:
  void Emit(const std::string& line);

  std::mutex mutex_;
  std::unordered_map<std::thread::id, std::string> pending_;
};
