#pragma once
// Where the reply files go.
#include <string>

// The per-user folder of the reply files, always ending in a separator, created when
// missing: $XDG_RUNTIME_DIR/kestravon/ when that is set, else kestravon-<uid>/ in $TMPDIR
// (or /tmp); GetTempPathA on Windows, which is per-user already.
std::string TempFolderPath();
