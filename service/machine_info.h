#pragma once
// The machine-information reply ("qx_sn.dat"): [Version] Server always, then, unless
// [Return] Count reads as 0, the whole record of machine, site and user.
struct MachineState;

void ParseMachineInfo(MachineState& state, const char* replyPath);
