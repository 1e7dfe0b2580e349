#include <windows.h>

#include "platform/debug_output.h"

// A window program has no console: the debugger's output is where traces go.
void StderrDebugOutput::Write(const char* text) { OutputDebugStringA(text); }
