#pragma once
// What a peer sent, made safe for a log line: bytes outside printable ASCII, and the
// backslash itself, become \xNN, so a request can neither forge a line nor hide a byte.
#include <string>
#include <string_view>

namespace http {

void AppendPrintable(std::string& out, std::string_view text);
std::string Printable(std::string_view text);

}  // namespace http
