#pragma once
// The reply files live in a folder only this user can reach, so that no other local user
// can redirect, block or rewrite them (fixed names in a shared folder would let them).
#include <string>

// Why `folder` may not hold reply files, or "" when it may. POSIX: the folder itself must
// be a real folder, not a link, owned by this user, with no access for group or others;
// and every folder above it must be one that no one but this user and root can change:
// owned by one of them, and writable by group or others only when sticky (as /tmp is),
// with any link on the way owned by one of them too. Otherwise another user could swap
// the folder, or one above it, for one of their own. On Windows, where the temporary
// folder is per-user already, a real folder that is no junction or link. A missing folder
// does not qualify (TempFolderPath creates it at start-up).
std::string PrivateFolderProblem(const std::string& folder);

bool PrivateFolderUsable(const std::string& folder);

// What a user can do about an unusable private folder, for the start-up warning and the
// daemon's error.
const char* PrivateFolderAdvice();
