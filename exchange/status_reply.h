#pragma once
// The status-report reply ("qx_ui.dat"): fuel, the KEST amount, the Code that sets the
// boost or switches mining off, and the version the service offers.
#include <cstdint>

struct MachineState;

struct StatusReplyEffects {
  int32_t code = 0;          // [Machine] Code as an integer
  bool switchOff = false;    // Code 0: mining is switched off
  bool wantsUpdate = false;  // the offered version differs and is longer than 2 characters
};

// The four keys, each read through a 32-byte buffer. Read without the record's lock, so
// nothing that waits for the lock waits for the parsing.
struct StatusReply {
  int32_t fuel = 0;
  double machineKest = 0;
  int32_t code = 0;     // [Machine] Code as an integer
  double codeReal = 0;  // the same text as a real
  char serverVersion[32] = {};
};
StatusReply ReadStatusReply(const char* replyPath);

// Applies a reply to the record: fuel, machineKest, boost (Code / 1e6 / 1e4 when Code
// is a multiple of 3021, else 0), onOff = 0 for Code 0, and serverVersion.
StatusReplyEffects ApplyStatusReply(MachineState& state, const StatusReply& reply);
// Both at once, for a record nobody else holds.
StatusReplyEffects ApplyStatusReply(MachineState& state, const char* replyPath);

// "%d / %d gas" with fuel and level x 100 (32-bit, wrapping).
void FormatFuelText(char (&text)[32], int32_t fuel, int32_t level);

// A report whose answer did not arrive complete: nothing of it is applied, the boost
// ends and mining is switched off.
void ApplyMissingStatusReply(MachineState& state);
