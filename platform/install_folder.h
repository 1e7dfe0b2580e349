#pragma once
// The install folder holds config.ini (the machine's identity) and the installer.
#include <string>

// Makes sure the install folder exists before the self-update writes into it. On Windows a
// missing folder is created with an access list of the user, SYSTEM and Administrators
// only, none inherited from the drive's root (which lets every user add files). On POSIX
// nothing is created: the folder is the user's own data folder, made by whoever installs.
void PrepareInstallFolder(const std::string& installDir);
