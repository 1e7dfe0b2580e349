#pragma once
// The MAC text of the host's first network adapter, as the dashboard shows it.
#include <cstddef>
#include <cstdint>
#include <string>

// "%02X-%02X-%02X-%02X-%02X-%02X" of the first six bytes (missing bytes read as 0).
std::string FormatMacAddress(const uint8_t* bytes, std::size_t length);
// "Error : %d " for a failed adapter lookup.
std::string FormatMacError(int errorNumber);

// The host's MAC text: the first interface in kernel index order that is not loopback
// and has a link-layer address; none gives "Error : 232 ". On Windows, the first adapter
// GetAdaptersInfo lists, or "Error : <its error number> ".
std::string GetMacText();
