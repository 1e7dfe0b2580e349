#pragma once
// The application object: prepares the window system, builds the client and its main
// window, runs the window until it is closed, then lets the client end.
#include <QApplication>
#include <functional>

#include "client/client_environment.h"

class CQXCLIENTDlg;
class QSocketNotifier;

class CQXCLIENTApp final : public QApplication {
  Q_OBJECT

 public:
  CQXCLIENTApp(int& argc, char** argv);
  ~CQXCLIENTApp() override;

  // The whole run: the session starts while the window is initialised, ends when it is
  // closed, and the worker is stopped before this returns. `adjust` may change the
  // environment before the client is built (a test points it at its own service).
  // Returns the exit code of the process.
  int InitInstance(const std::function<void(ClientEnvironment&)>& adjust = {});

  CQXCLIENTDlg* MainWindow() const { return mainWindow_; }

 private:
  void OnStopSignal();

  CQXCLIENTDlg* mainWindow_ = nullptr;
  QSocketNotifier* stopNotifier_ = nullptr;
};
