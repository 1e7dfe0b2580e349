#pragma once
// The headless program's log: standard error, one line per event-log entry or debug
// trace, for the journal. The client writes its texts in pieces (a machine name, then
// " Start Mining..\r\n"; a URL, then "\r\n"); a line is written once its end has come.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/debug_output.h"

// Gathers pieces of text into lines. A line ends at LF (a CR before it is dropped); a
// piece without an end waits for the next one. A line that grows past `limit` bytes
// without an end is written as it stands, so a hostile text cannot make it grow forever.
class LineAssembler {
 public:
  using Sink = std::function<void(const std::string& line)>;
  LineAssembler(Sink sink, std::size_t limit = 4096);
  void Feed(std::string_view text);

 private:
  Sink sink_;
  std::size_t limit_;
  std::mutex mutex_;
  std::string pending_;
};

// Writes one line, converted to UTF-8 and with control characters shown, to standard
// error; lines of different threads never mix.
void WriteLogLine(const std::string& cp949Line);

// The client's debug output as whole lines. Request URLs carry the serial number and the
// MAC text, so they reach the journal only when asked for (`verbose`); the lines that are
// warnings for the user, and the session's warnings, always do.
class LineDebugOutput : public DebugOutput {
 public:
  explicit LineDebugOutput(bool verbose = false);
  void Write(const char* text) override;
  void Warn(const char* text) override;

 private:
  LineAssembler lines_;
};
