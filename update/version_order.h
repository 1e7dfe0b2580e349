#pragma once
// Which of two versions is newer. Versions are dotted numbers ("0.216", "1.0", "0.216.1"):
// compared number by number from the left, a missing number counting as 0, so "0.216.0"
// equals "0.216" and "0.2160" is newer than "0.216". Leading zeros do not count
// ("0.0216" equals "0.216"). Numbers of any length compare exactly, without overflow.
#include <optional>
#include <string_view>

// Negative, zero or positive as `a` is older than, equal to or newer than `b`; nothing
// when either is not a dotted number (empty, a letter, a sign, a blank, an empty part).
std::optional<int> CompareVersions(std::string_view a, std::string_view b);

// True only when both are dotted numbers and `offered` is newer than `current`.
bool IsNewerVersion(std::string_view offered, std::string_view current);
