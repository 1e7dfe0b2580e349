#include "service/status_reply.h"

#include <cstdio>
#include <cstring>

#include "core/checked_math.h"
#include "core/machine_state.h"
#include "service/profile.h"

StatusReplyEffects ApplyStatusReply(MachineState& s, const char* replyPath) {
  char value[32] = {};
  StatusReplyEffects effects;

  ReadProfileString("Machine", "Fuel", "", value, sizeof value, replyPath);
  s.fuel = ReadInt32(value);
  ReadProfileString("Machine", "KEST", "", value, sizeof value, replyPath);
  s.machineKest = ReadDouble(value);
  ReadProfileString("Machine", "Code", "", value, sizeof value, replyPath);
  effects.code = ReadInt32(value);
  // The remainder truncates toward zero, so 0 and negative multiples pass too.
  s.boost = (effects.code % 3021 == 0) ? (ReadDouble(value) / 1000000.0) / 10000.0 : 0.0;
  if (effects.code == 0) {
    s.onOff = 0;
    effects.switchOff = true;
  }
  ReadProfileString("Version", "Server", "", s.serverVersion, sizeof s.serverVersion, replyPath);
  effects.wantsUpdate = std::strlen(s.serverVersion) > 2 && std::strcmp(s.serverVersion, s.clientVersion) != 0;
  return effects;
}

void FormatFuelText(char (&text)[32], int32_t fuel, int32_t level) {
  std::snprintf(text, sizeof text, "%d / %d gas", fuel, WrapMul(level, 100));
}

void ApplyMissingStatusReply(MachineState& s) {
  s.boost = 0;
  s.onOff = 0;
}
