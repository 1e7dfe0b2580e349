#include "ui/qt/category_debug_output.h"

#include <QDebug>
#include <QString>
#include <cstdio>
#include <cstring>

#include "ui/qt/debug_category.h"

namespace {

// A line that grows without an end would otherwise be held for ever.
constexpr size_t kMaxPendingBytes = 64 * 1024;

// Paths are the system's UTF-8, URLs percent-encoded ASCII; a byte that is not UTF-8
// shows as U+FFFD. Control bytes are shown escaped, so a hostile reply cannot forge log
// lines.
QString Printable(const std::string& line) {
  std::string out;
  out.reserve(line.size());
  for (const unsigned char c : line) {
    if (c < 0x20 || c == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return QString::fromUtf8(out);
}

}  // namespace

bool CategoryDebugOutput::IsWarningLine(const std::string& line) { return ::IsWarningLine(line); }

void CategoryDebugOutput::Write(const char* text) {
  std::string ready;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string& pending = pending_[std::this_thread::get_id()];
    pending += text;
    // One or more complete lines: everything up to the last line end.
    const size_t end = pending.find_last_of("\r\n");
    if (end == std::string::npos && pending.size() < kMaxPendingBytes) return;
    const size_t cut = end == std::string::npos ? pending.size() : end + 1;
    ready = pending.substr(0, cut);
    pending.erase(0, cut);
    if (pending.empty()) pending_.erase(std::this_thread::get_id());
  }
  size_t start = 0;
  while (start < ready.size()) {
    size_t stop = ready.find_first_of("\r\n", start);
    if (stop == std::string::npos) stop = ready.size();
    if (stop > start) Emit(ready.substr(start, stop - start));
    start = stop + 1;
  }
}

void CategoryDebugOutput::Warn(const char* text) {
  // The session's own warnings are for whoever started the program, so they carry its
  // name rather than the debug category's (Qt prints no name for its default category).
  qWarning().noquote() << QStringLiteral("kestravon-miner:") << Printable(text);
}

void CategoryDebugOutput::Emit(const std::string& line) {
  if (IsWarningLine(line)) {
    qCWarning(kestravonDebug).noquote() << Printable(line);
  } else {
    qCDebug(kestravonDebug).noquote() << Printable(line);
  }
}
