#pragma once
// The rule of the two log panes: a pane holding more than 4096 characters is emptied
// before the next append; the appended text itself is never cut.
#include <cstddef>
#include <string>
#include <string_view>

constexpr std::size_t kPaneLimit = 4096;

inline bool PaneResetsBeforeAppend(std::size_t currentLength) { return currentLength > kPaneLimit; }

// Applies one append to a pane held as bytes (one byte counts as one character).
void AppendUnderPaneRule(std::string& pane, std::string_view text);
