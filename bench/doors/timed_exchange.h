#pragma once
// One request on a fresh loopback connection, plain or over TLS, timed from connect to
// the server's close, within a deadline.
#include <chrono>
#include <string>

struct TimedAnswer {
  bool answered = false;  // a status line arrived before the deadline
  int status = 0;
  double seconds = 0;
};

// `request` is the whole request, head and blank line included.
TimedAnswer ExchangePlain(int port, const std::string& request, std::chrono::milliseconds limit);
TimedAnswer ExchangeTls(int port, const std::string& request, std::chrono::milliseconds limit);
