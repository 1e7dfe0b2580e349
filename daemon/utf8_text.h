#pragma once
// The client's texts are code page 949 bytes; JSON and the journal want UTF-8. The
// conversion happens here, at the headless program's edge, as the window does at its own.
#include <string>
#include <string_view>

// A byte sequence that is not valid code page 949 becomes U+FFFD; the rest still converts.
std::string Cp949ToUtf8(std::string_view bytes);

// A JSON string literal (with its quotes) of UTF-8 text: quote, backslash and every
// control character escaped, so nothing the service sends can break out of the string.
std::string JsonString(std::string_view utf8);

// One line for the journal: a control character (a terminal escape a hostile service put
// in a name, a stray CR) is shown as \xNN instead of being written.
std::string PrintableLine(std::string_view utf8);
