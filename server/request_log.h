#pragma once
// One line per request on standard error: time, method, path, status. A connection that
// ended without an answer of the service's gets a line of the same first fields ("-" for
// what never arrived), then "closed:" and what ended it.
#include <string>
#include <string_view>

#include "http/exchange.h"

// Bytes outside printable ASCII are written as \xNN, so a request cannot forge log lines.
std::string FormatLogLine(std::string_view method, std::string_view path, int status);
// "2026-01-02 10:12:00 - /Machine/GetData.html 431 closed: too large (127.0.0.1)",
// "... - - - closed: head timeout (127.0.0.1)", or for a count held back
// "... - - - closed: 250 more in the last second, not logged one by one". Only the path of
// the target is written: its query holds the machine's serial number and MAC.
std::string FormatUnansweredLine(const http::Unanswered& unanswered);
// Writes the line and a line break in one call, so lines of parallel requests never mix.
void WriteLogLine(const std::string& line);
