#pragma once
// Which offered versions a running client still fetches. An update is taken only towards a
// version newer than the client's own, so a reply cannot steer it back to an older
// installer that was genuinely signed for its own version. A version refused once (not
// newer, no key, or its download, signature or start failed) is not fetched again in this
// run: a service that keeps offering it costs one download, not one per report. Only the
// last few refused versions are remembered; once an installer has started, nothing more is
// fetched in this run.
#include <array>
#include <cstddef>
#include <string>

enum class SelfUpdateResult;

class UpdateGate {
 public:
  enum class Verdict {
    kFetch,          // newer than ours, not refused before: run the update
    kNotNewer,       // older than, equal to, or not comparable with ours
    kRefusedBefore,  // refused earlier in this run
    kDone,           // an installer has already started in this run
  };

  // `builtVersion`: the program's own version, compared with when [Version] Client is
  // empty or not a dotted number.
  explicit UpdateGate(std::string builtVersion);

  // `clientVersion` is [Version] Client as read at start-up. A kNotNewer verdict is
  // remembered as a refusal, so it is given (and explained) once per version.
  Verdict Check(const std::string& offered, const std::string& clientVersion);
  // The version an offer is compared with.
  std::string CurrentVersion(const std::string& clientVersion) const;
  // The outcome of an update that Check let through.
  void Record(const std::string& offered, SelfUpdateResult result);

  static constexpr std::size_t kRememberedRefusals = 4;

 private:
  void Refuse(const std::string& version);
  bool WasRefused(const std::string& version) const;

  std::string builtVersion_;
  std::array<std::string, kRememberedRefusals> refused_;
  std::size_t next_ = 0;  // the slot the next refusal takes (the oldest one)
  bool launched_ = false;
};
