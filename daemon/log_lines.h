#pragma once
// The headless program's log: standard error, one line per event-log entry or debug
// trace, for the journal. The client writes its texts in pieces (a machine name, then
// " Start Mining..\r\n"; a URL, then "\r\n"); a line is written once its end has come.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "service/debug_output.h"

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

// The client's debug output (request URLs, self-update notes) as whole lines.
class LineDebugOutput : public DebugOutput {
 public:
  LineDebugOutput();
  void Write(const char* text) override;

 private:
  LineAssembler lines_;
};
