#pragma once
// The few things about paths and files that differ between platforms.
#include <string>

// What the client puts between a folder and a name: "/" here, "\" on Windows.
const char* PathSeparator();

// Renames `from` to `to`, replacing a file already standing at `to`.
bool MoveFileOver(const std::string& from, const std::string& to);

// The install folder (no trailing separator): the build's KESTRAVON_INSTALL_DIR when
// set, else <$XDG_DATA_HOME or ~/.local/share>/kestravon; c:\KESTRAVON on Windows.
std::string DefaultInstallDir();
