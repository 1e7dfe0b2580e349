#include "ui/qt/qxclient_app.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <clocale>
#include <csignal>

#include "client/miner_core.h"
#include "platform/private_folder.h"
#include "ui/common/control_delivery.h"
#include "ui/qt/category_debug_output.h"
#include "ui/qt/qxclient_dlg.h"
#include "ui/qt/resource_images.h"
#include "ui/qt/screen_fit.h"

namespace {

// SIGINT and SIGTERM only write a byte here; the window's thread reads it and closes the
// window as the Cancel command would, so the power-off notice still goes out.
int stopSignalPipe[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(stopSignalPipe[0], &byte, 1);
  errno = saved;
}

}  // namespace

CQXCLIENTApp::CQXCLIENTApp(int& argc, char** argv) : QApplication(argc, argv) {
  // Qt took the process's locale from the environment; the client formats its numbers
  // with printf and needs the "C" decimal point.
  std::setlocale(LC_NUMERIC, "C");
  setApplicationName(QStringLiteral("kestravon-miner"));
  setDesktopFileName(
      QStringLiteral("io.kestravon.Miner"));  // the desktop entry, named after the AppStream id
  setWindowIcon(MainIcon());

  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stopSignalPipe) == 0) {
    stopNotifier_ = new QSocketNotifier(stopSignalPipe[1], QSocketNotifier::Read, this);
    connect(stopNotifier_, &QSocketNotifier::activated, this, &CQXCLIENTApp::OnStopSignal);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
  }
}

CQXCLIENTApp::~CQXCLIENTApp() {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  delete stopNotifier_;
  for (int& fd : stopSignalPipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void CQXCLIENTApp::OnStopSignal() {
  char bytes[16];
  [[maybe_unused]] const ssize_t n = read(stopSignalPipe[1], bytes, sizeof bytes);
  if (mainWindow_ != nullptr && mainWindow_->isVisible()) mainWindow_->reject();
}

int CQXCLIENTApp::InitInstance(const std::function<void(ClientEnvironment&)>& adjust) {
  SystemServices services;
  ClientEnvironment env = services.Environment();
  // The program's debug output is its logging category: quiet unless a rule turns it on.
  CategoryDebugOutput debug;
  env.debug = &debug;
  if (adjust) adjust(env);
  // Every answer of the service would be dropped unread: say so once, with the way out,
  // before the window shows an empty dashboard.
  if (const std::string problem = PrivateFolderProblem(env.tempDir); !problem.empty()) {
    debug.Warn(("reply folder is not private: " + problem + "; " + PrivateFolderAdvice()).c_str());
  }
  // The window layer outlives the client's worker; the window attaches to it while it is
  // shown. Destroyed in reverse: the window (which stops the worker), the client, the layer.
  ControlDelivery delivery;
  MinerCore client(env, delivery);
  CQXCLIENTDlg window(client, delivery);
  ScrollWhenLargerThan(window, RoomOnScreen(window));
  mainWindow_ = &window;
  window.exec();  // the session runs inside; its result is not looked at
  mainWindow_ = nullptr;
  return 0;
}
