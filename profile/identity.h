#pragma once
// The machine's identity: serial number and client version from config.ini in the
// install folder (the MAC text is platform/adapters.h's).
#include <string>

struct MachineState;

// Reads [SerialNo] No and [Version] Client (32 bytes each) from <installDir>/config.ini
// into serialNo and clientVersion.
void ReadConfiguration(const std::string& installDir, MachineState& state);

// Path of config.ini in the install folder.
std::string ConfigPath(const std::string& installDir);

// What to tell the user when config.ini gives no serial number (the file is missing or
// has no [SerialNo] No value): the file and the lines to write. Empty when there is one.
std::string MissingSerialNumberText(const std::string& installDir, const char* serialNo);
