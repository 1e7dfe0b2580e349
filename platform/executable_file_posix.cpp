#include <sys/stat.h>

#include "platform/executable_file.h"

bool MakeExecutable(const std::string& path) { return chmod(path.c_str(), 0755) == 0; }
