#pragma once
// Answer bodies in the INI layout the client reads: sections, key=value lines ending in
// "\r\n", reals with six decimals ("%lf"), texts as code page 949 bytes.
#include <string>

#include "server/store/records.h"

// [Version] Server, [Return] Count=1, then [Coin], [Machine], [MARS] and [USER].
std::string FormatMachineInfo(const MachineInfo& info, const std::string& offeredVersion);
// [Version] Server and [Return] Count=0 only: the client then reads nothing else.
std::string FormatUnknownMachine(const std::string& offeredVersion);
// [Machine] Fuel, KEST, Code and [Version] Server.
std::string FormatStatusReply(const ReportOutcome& outcome, const std::string& offeredVersion);
// [Return] Result: 1 for a machine of ours, 0 otherwise. The client never reads it.
std::string FormatPowerReply(bool knownMachine);
