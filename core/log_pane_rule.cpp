#include "core/log_pane_rule.h"

void AppendUnderPaneRule(std::string& pane, std::string_view text) {
  if (PaneResetsBeforeAppend(pane.size())) pane.clear();
  pane.append(text);
}
