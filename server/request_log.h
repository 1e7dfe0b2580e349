#pragma once
// One line per request on standard error: time, method, path, status.
#include <string>
#include <string_view>

// Bytes outside printable ASCII are written as \xNN, so a request cannot forge log lines.
std::string FormatLogLine(std::string_view method, std::string_view path, int status);
// Writes the line and a line break in one call, so lines of parallel requests never mix.
void WriteLogLine(const std::string& line);
