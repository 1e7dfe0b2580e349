#include "daemon/log_lines.h"

#include <cstdio>
#include <utility>

#include "daemon/utf8_text.h"
#include "platform/ansi_code_page.h"

LineAssembler::LineAssembler(Sink sink, std::size_t limit) : sink_(std::move(sink)), limit_(limit) {}

void LineAssembler::Feed(std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (char c : text) {
    if (c == '\n') {
      if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
      sink_(pending_);
      pending_.clear();
      continue;
    }
    pending_ += c;
    if (pending_.size() >= limit_) {
      sink_(pending_);
      pending_.clear();
    }
  }
}

void WriteLogLine(const std::string& cp949Line) {
  static std::mutex writeMutex;
  const std::string line = PrintableLine(AnsiToUtf8(cp949Line)) + "\n";
  std::lock_guard<std::mutex> lock(writeMutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

LineDebugOutput::LineDebugOutput(bool verbose)
    : lines_([verbose](const std::string& line) {
        if (verbose || IsWarningLine(line)) WriteLogLine(line);
      }) {}

void LineDebugOutput::Write(const char* text) { lines_.Feed(text ? text : ""); }

void LineDebugOutput::Warn(const char* text) {
  WriteLogLine(std::string("kestravon-minerd: ") + (text ? text : ""));
}
