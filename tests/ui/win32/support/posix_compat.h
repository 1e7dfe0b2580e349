#pragma once
// The few POSIX calls the shared test sources use that the Windows C runtime names
// differently. Put in front of those sources by the Windows test build only.
#ifdef __cplusplus
#include <cstdlib>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name) != nullptr) return 0;
  return _putenv_s(name, value);
}
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
#endif
