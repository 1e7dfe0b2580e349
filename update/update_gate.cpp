#include "update/update_gate.h"

#include <utility>

#include "update/self_update.h"
#include "update/version_order.h"

UpdateGate::UpdateGate(std::string builtVersion) : builtVersion_(std::move(builtVersion)) {}

std::string UpdateGate::CurrentVersion(const std::string& clientVersion) const {
  return CompareVersions(clientVersion, clientVersion).has_value() ? clientVersion : builtVersion_;
}

UpdateGate::Verdict UpdateGate::Check(const std::string& offered, const std::string& clientVersion) {
  if (launched_) return Verdict::kDone;
  if (WasRefused(offered)) return Verdict::kRefusedBefore;
  if (!IsNewerVersion(offered, CurrentVersion(clientVersion))) {
    Refuse(offered);
    return Verdict::kNotNewer;
  }
  return Verdict::kFetch;
}

void UpdateGate::Record(const std::string& offered, SelfUpdateResult result) {
  if (result == SelfUpdateResult::kLaunched) {
    launched_ = true;
  } else {
    Refuse(offered);
  }
}

void UpdateGate::Refuse(const std::string& version) {
  if (WasRefused(version)) return;
  refused_[next_] = version;
  next_ = (next_ + 1) % refused_.size();
}

bool UpdateGate::WasRefused(const std::string& version) const {
  for (const std::string& r : refused_) {
    if (!r.empty() && r == version) return true;
  }
  return false;
}
