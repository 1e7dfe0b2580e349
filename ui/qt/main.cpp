// kestravon-miner: one Mars mining machine in a window.
#include "ui/qt/qxclient_app.h"

int main(int, char** argv) {
  // The program reads no command line: the window system sees only the program's name,
  // so its own options (-style, -stylesheet, -reverse, ...) change nothing.
  int argc = 1;
  char* programOnly[] = {argv[0], nullptr};
  CQXCLIENTApp app(argc, programOnly);
  return app.InitInstance();
}
