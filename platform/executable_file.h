#pragma once
// Marks a downloaded program as runnable by its owner (and readable by others).
#include <string>

bool MakeExecutable(const std::string& path);
