// kestravon-miner: one Mars mining machine in a window.
#include "ui/qxclient_app.h"

int main(int argc, char** argv) {
  CQXCLIENTApp app(argc, argv);
  return app.InitInstance();
}
