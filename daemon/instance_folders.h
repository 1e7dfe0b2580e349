#pragma once
// Where one instance keeps its files. Several instances run side by side on one box, each
// with its own install folder; each needs its own private folder as well, or their reply
// files (fixed names) and tokens would overwrite each other.
#include <string>

// The private folder (ending in '/') for an instance: `tempDir` when given; else, with an
// install folder given, a folder of the user's private temporary folder named after that
// install folder; else the window client's own temporary folder. The folder is created
// 0700 when missing; whether it may be used is decided where it is used.
std::string InstanceTempFolder(const std::string& installDir, const std::string& tempDir);

// A name for an install folder: a hash of its absolute path, as 16 hex digits.
std::string InstallFolderKey(const std::string& installDir);
