#pragma once
// Strict decoding of standard base64 (RFC 4648 alphabet, '=' padding), as signature and
// key files carry it. Anything else in the text is refused, not skipped.
#include <optional>
#include <string>
#include <vector>

// The decoded bytes, or nullopt when the text is not canonical base64: a character outside
// the alphabet, a length not a multiple of four, padding anywhere but at the end, or
// non-zero bits in the unused part of the last character.
std::optional<std::vector<unsigned char>> DecodeBase64(const std::string& text);
