#pragma once
// The machine's identity: serial number and client version from config.ini in the
// install folder, and the MAC text of the host's first network adapter.
#include <cstddef>
#include <cstdint>
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

// "%02X-%02X-%02X-%02X-%02X-%02X" of the first six bytes (missing bytes read as 0).
std::string FormatMacAddress(const uint8_t* bytes, std::size_t length);
// "Error : %d " for a failed adapter lookup.
std::string FormatMacError(int errorNumber);

// The host's MAC text: the first interface in kernel index order that is not loopback
// and has a link-layer address; none gives "Error : 232 ". On Windows, the first adapter
// GetAdaptersInfo lists, or "Error : <its error number> ".
std::string GetMacText();

// The install folder (no trailing separator): the build's KESTRAVON_INSTALL_DIR when
// set, else <$XDG_DATA_HOME or ~/.local/share>/kestravon; c:\KESTRAVON on Windows.
std::string DefaultInstallDir();
