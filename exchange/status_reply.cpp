#include "exchange/status_reply.h"

#include <cstdio>
#include <cstring>

#include "core/checked_math.h"
#include "core/machine_state.h"
#include "profile/profile.h"

StatusReply ReadStatusReply(const char* replyPath) {
  char value[32] = {};
  StatusReply r;
  ReadProfileString("Machine", "Fuel", "", value, sizeof value, replyPath);
  r.fuel = ReadInt32(value);
  ReadProfileString("Machine", "KEST", "", value, sizeof value, replyPath);
  r.machineKest = ReadDouble(value);
  ReadProfileString("Machine", "Code", "", value, sizeof value, replyPath);
  r.code = ReadInt32(value);
  r.codeReal = ReadDouble(value);
  ReadProfileString("Version", "Server", "", r.serverVersion, sizeof r.serverVersion, replyPath);
  return r;
}

StatusReplyEffects ApplyStatusReply(MachineState& s, const StatusReply& r) {
  StatusReplyEffects effects;
  s.fuel = r.fuel;
  s.machineKest = r.machineKest;
  effects.code = r.code;
  // The remainder truncates toward zero, so 0 and negative multiples pass too.
  s.boost = (r.code % 3021 == 0) ? (r.codeReal / 1000000.0) / 10000.0 : 0.0;
  if (r.code == 0) {
    s.onOff = 0;
    effects.switchOff = true;
  }
  std::memcpy(s.serverVersion, r.serverVersion, sizeof s.serverVersion);
  effects.wantsUpdate =
      std::strlen(s.serverVersion) > 2 && std::strcmp(s.serverVersion, s.clientVersion) != 0;
  return effects;
}

StatusReplyEffects ApplyStatusReply(MachineState& state, const char* replyPath) {
  return ApplyStatusReply(state, ReadStatusReply(replyPath));
}

void FormatFuelText(char (&text)[32], int32_t fuel, int32_t level) {
  std::snprintf(text, sizeof text, "%d / %d gas", fuel, WrapMul(level, 100));
}

void ApplyMissingStatusReply(MachineState& s) {
  s.boost = 0;
  s.onOff = 0;
}
