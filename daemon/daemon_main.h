#pragma once
// The whole life of kestravon-minerd: the same session as the window client, without a
// window. Returns the process's exit code.
int RunDaemon(int argc, char** argv);
