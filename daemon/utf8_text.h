#pragma once
// UTF-8 text, converted from the client's code page 949 bytes by AnsiToUtf8
// (platform/ansi_code_page.h), made safe for JSON and the journal.
#include <string>
#include <string_view>

// A JSON string literal (with its quotes) of UTF-8 text: quote, backslash and every
// control character escaped, so nothing the service sends can break out of the string.
std::string JsonString(std::string_view utf8);

// One line for the journal: a control character (a terminal escape a hostile service put
// in a name, a stray CR) is shown as \xNN instead of being written.
std::string PrintableLine(std::string_view utf8);
