#include "server/request_log.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "http/log_text.h"

namespace {

std::string Stamp() {
  char stamp[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  return stamp;
}

}  // namespace

std::string FormatLogLine(std::string_view method, std::string_view path, int status) {
  std::string line = Stamp();
  line += ' ';
  http::AppendPrintable(line, method);
  line += ' ';
  http::AppendPrintable(line, path);
  line += ' ';
  line += std::to_string(status);
  return line;
}

void WriteLogLine(const std::string& line) {
  const std::string whole = line + "\n";
  // A single write() of a short line is not interleaved with another thread's.
  std::size_t done = 0;
  while (done < whole.size()) {
    const ssize_t n = ::write(STDERR_FILENO, whole.data() + done, whole.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

std::string FormatUnansweredLine(const http::Unanswered& unanswered) {
  std::string line = Stamp();
  if (unanswered.more > 0) {
    return line + " - - - closed: " + std::to_string(unanswered.more) +
           " more in the last second, not logged one by one";
  }
  const std::string_view target(unanswered.target);
  const std::string_view path = target.substr(0, target.find('?'));
  line += ' ';
  if (unanswered.method.empty()) line += '-';
  http::AppendPrintable(line, unanswered.method);
  line += ' ';
  if (path.empty()) line += '-';
  http::AppendPrintable(line, path);
  line += ' ';
  line += unanswered.status != 0 ? std::to_string(unanswered.status) : std::string("-");
  line += " closed: ";
  http::AppendPrintable(line, unanswered.why);
  if (!unanswered.peer.empty()) {
    line += " (";
    http::AppendPrintable(line, unanswered.peer);
    line += ')';
  }
  return line;
}
