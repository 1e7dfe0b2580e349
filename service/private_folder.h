#pragma once
// The reply files live in a folder only this user can reach, so that no other local user
// can redirect, block or rewrite them (fixed names in a shared folder would let them).
#include <string>

// Whether `folder` may hold reply files: a real folder, not a link, owned by this user,
// with no access for group or others. On Windows, where the temporary folder is per-user
// already, a real folder that is no junction or link. A missing folder does not qualify
// (TempFolderPath creates it at start-up).
bool PrivateFolderUsable(const std::string& folder);
