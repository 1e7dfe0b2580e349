// kestravon-minerd: one Mars mining machine without a window.
#include "daemon/daemon_main.h"

int main(int argc, char** argv) { return RunDaemon(argc, argv); }
