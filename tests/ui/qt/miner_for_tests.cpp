// kestravon-miner as the tests run it: the same application object and window, pointed
// at the test's own service and folders by its arguments
// (--service-root URL --patch-root URL --install-dir DIR --temp-dir DIR).
#include <QStringList>

#include "ui/qt/qxclient_app.h"

int main(int argc, char** argv) {
  CQXCLIENTApp app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  const auto value = [&args](const char* name) {
    const qsizetype at = args.indexOf(QLatin1String(name));
    return at >= 0 && at + 1 < args.size() ? args[at + 1].toStdString() : std::string();
  };
  return app.InitInstance([&](ClientEnvironment& env) {
    env.serviceRoot = value("--service-root");
    env.patchRoot = value("--patch-root");
    env.installDir = value("--install-dir");
    env.tempDir = value("--temp-dir");
  });
}
