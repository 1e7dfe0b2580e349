// The status-report reply on any bytes: the four values are the readings of their keys
// through 32-byte buffers, Code alone decides the boost and the switch-off, an update is
// wanted only for a different offered version of three characters or more, the server
// version stays terminated within its field, and nothing else of the record changes.
// The fuel text is formatted from any fuel and level and reads back as both.
//
// Input: [level: 4 bytes] client version NUL reply...
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/checked_math.h"
#include "core/machine_state.h"
#include "exchange/status_reply.h"
#include "fuzz_support.h"
#include "profile_model.h"

namespace {

bool SameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const int32_t level = in.Raw<int32_t>();
  std::string clientVersion = in.Text();
  if (clientVersion.size() > 31) clientVersion.resize(31);
  const std::string reply(in.Rest());
  const std::string path = fuzz::ScratchFile("qx_ui.dat");
  fuzz::WriteFile(path, reply);
  const auto context = [&] {
    return std::string() + "client " + fuzz::Show(clientVersion) + " reply " + fuzz::Show(reply);
  };

  MachineState state;
  std::memset(static_cast<void*>(&state), 'X', sizeof state);
  std::memcpy(state.clientVersion, clientVersion.c_str(), clientVersion.size() + 1);
  state.onOff = 1;
  state.level = level;
  MachineState before;
  std::memcpy(static_cast<void*>(&before), &state, sizeof state);

  const StatusReplyEffects effects = ApplyStatusReply(state, path.c_str());

  const std::vector<fuzz::ModelLine> lines = fuzz::ModelLines(reply);
  const std::string fuel = fuzz::ModelRead(lines, "Machine", "Fuel", "", 32);
  const std::string kest = fuzz::ModelRead(lines, "Machine", "KEST", "", 32);
  const std::string code = fuzz::ModelRead(lines, "Machine", "Code", "", 32);
  const std::string offered = fuzz::ModelRead(lines, "Version", "Server", "", 32);

  FUZZ_CHECK(state.fuel == ReadInt32(fuel.c_str()), context());
  FUZZ_CHECK(SameBits(state.machineKest, ReadDouble(kest.c_str())), context());
  FUZZ_CHECK(effects.code == ReadInt32(code.c_str()), context());
  FUZZ_CHECK(effects.switchOff == (effects.code == 0), context());
  FUZZ_CHECK(state.onOff == (effects.switchOff ? 0 : 1), context());
  if (effects.code % 3021 != 0) FUZZ_CHECK(SameBits(state.boost, 0.0), context());

  const std::size_t versionLength = strnlen(state.serverVersion, sizeof state.serverVersion);
  FUZZ_CHECK(versionLength < sizeof state.serverVersion, "server version not terminated; " + context());
  FUZZ_CHECK(std::string(state.serverVersion) == offered, context());
  FUZZ_CHECK(effects.wantsUpdate == (offered.size() > 2 && offered != clientVersion), context());

  // Everything but the five fields it sets is as it was.
  MachineState expected;
  std::memcpy(static_cast<void*>(&expected), &before, sizeof before);
  expected.fuel = state.fuel;
  expected.machineKest = state.machineKest;
  expected.boost = state.boost;
  expected.onOff = state.onOff;
  std::memcpy(expected.serverVersion, state.serverVersion, sizeof expected.serverVersion);
  // Byte for byte on purpose: both copies start from the same bytes, padding included, and a
  // NaN must compare equal to itself.
  FUZZ_CHECK(
      std::memcmp(&expected, &state, sizeof state) == 0,  // NOLINT(bugprone-suspicious-memory-comparison)
      "a field outside the reply changed; " + context());

  char text[32];
  std::memset(text, 'X', sizeof text);
  FormatFuelText(text, state.fuel, level);
  FUZZ_CHECK(strnlen(text, sizeof text) < sizeof text, "fuel text not terminated");
  int32_t shownFuel = 0;
  int32_t shownMax = 0;
  char rest[8] = {};
  FUZZ_CHECK(std::sscanf(text, "%" SCNd32 " / %" SCNd32 " %7s", &shownFuel, &shownMax, rest) == 3 &&
                 shownFuel == state.fuel && shownMax == WrapMul(level, 100) && std::string(rest) == "gas",
             "fuel text " + fuzz::Show(text) + " for fuel " + std::to_string(state.fuel) + " level " +
                 std::to_string(level));
  return 0;
}
