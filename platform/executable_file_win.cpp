#include "platform/executable_file.h"

// A program runs by its name's extension here; there is no permission bit to set.
bool MakeExecutable(const std::string&) { return true; }
