#pragma once
// The client shows texts as code page 949 bytes; the database keeps UTF-8.
#include <string>
#include <string_view>

// Converts UTF-8 to code page 949. A character the code page lacks, or a byte that is no
// valid UTF-8, becomes '?', so an answer is always sent.
std::string Utf8ToCp949(std::string_view utf8);
