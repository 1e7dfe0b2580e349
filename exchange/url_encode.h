#pragma once
// Query values go into URLs percent-encoded: every byte outside A-Z a-z 0-9 - . _ ~
// becomes %XX, so a serial number with '&' or a scrambled amount byte cannot break or
// alter the request. Ordinary values (digits, dots, a dashed MAC) stay as they are.
#include <string>
#include <string_view>

std::string EncodeQueryValue(std::string_view value);
