#include "platform/debug_output.h"

#include <cstdio>

void StderrDebugOutput::Write(const char* text) {
  std::fputs(text, stderr);
  std::fflush(stderr);
}
