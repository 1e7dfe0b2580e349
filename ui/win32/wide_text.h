#pragma once
// The client's texts are code page 949 bytes; the window's are UTF-16. This converts at
// the window's edge, whatever the system's own ANSI code page is.
#include <cstddef>
#include <string>
#include <string_view>

constexpr unsigned kClientCodePage = 949;

// A byte sequence that is not valid code page 949 converts as the system converts it
// (a default character); the rest still converts.
std::wstring ToWide(std::string_view bytes);
// A character code page 949 cannot hold becomes '?'.
std::string FromWide(std::wstring_view text);
// A pane's length as the client counts it: the bytes of its code page 949 text.
std::size_t ClientLength(std::wstring_view paneText);
