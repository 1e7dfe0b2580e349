#include "live_client.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>

#include "client/miner_core.h"
#include "core/control_ids.h"
#include "proc_figures.h"
#include "ui/common/control_delivery.h"
#include "ui/qt/qxclient_dlg.h"

namespace {

constexpr char kDemoSerial[] = "KST-DEMO-0001";
constexpr char kVersion[] = "0.216";  // offered by the service and kept by the client: no update

}  // namespace

LiveClient::LiveClient(LiveClientOptions options) : options_(std::move(options)) {}

LiveClient::~LiveClient() { Close(); }

bool LiveClient::StartService(std::string& error) {
  MiningServiceOptions o;
  o.binary = options_.serviceBinary;
  o.databasePath = box_.File("service.db");
  o.seedSerial = kDemoSerial;
  o.clientVersion = kVersion;
  o.stderrPath = box_.File("service.log");
  service_ = std::make_unique<MiningServiceProcess>(o);
  if (!service_->Start()) {
    error = service_->StartError();
    return false;
  }
  return true;
}

bool LiveClient::ShowWindow(std::string& error) {
  if (!service_ || !service_->Running()) {
    error = "the service is not running";
    return false;
  }
  const std::string install = box_.MakeDir("install");
  const std::string temp = box_.MakeDir("temp") + "/";
  WriteFileBytes(install + "/config.ini", std::string("[SerialNo]\r\nNo=") + kDemoSerial +
                                              "\r\n[Version]\r\nClient=" + kVersion + "\r\n");
  env_ = services_.Environment();
  env_.serviceRoot = service_->BaseUrl();
  env_.patchRoot = "http://localhost:" + std::to_string(service_->Port());
  env_.installDir = install;
  env_.tempDir = temp;
  env_.closingPause = options_.closingPause;

  delivery_ = std::make_unique<ControlDelivery>();
  counter_ = std::make_unique<StepCountingLayer>(*delivery_);
  core_ = std::make_unique<MinerCore>(env_, *counter_);
  window_ = std::make_unique<CQXCLIENTDlg>(*core_, *delivery_);
  window_->show();
  if (!QTest::qWaitForWindowExposed(window_.get(), 10000)) {
    error = "the window was not exposed within 10 s";
    return false;
  }
  return true;
}

void LiveClient::Close() {
  keepMining_.reset();  // no click into the closing window
  if (window_) {
    window_->reject();  // the Cancel command: power-off notice, closing pause
    window_.reset();    // stops the worker
  }
  core_.reset();
  counter_.reset();
  delivery_.reset();
  if (service_) service_->Stop();
}

bool LiveClient::Mining() {
  bool on = false;
  core_->WithState([&on](MachineState& s) { on = s.onOff == 1; });
  return on;
}

void LiveClient::KeepMining() {
  keepMining_ = std::make_unique<QTimer>();
  keepMining_->setInterval(200);
  QObject::connect(keepMining_.get(), &QTimer::timeout, [this] {
    if (Mining()) return;
    if (auto* button = qobject_cast<QPushButton*>(window_->Item(kIdStartStop))) button->click();
    ++restarts_;
  });
  keepMining_->start();
}

long ResidentKiB() { return ResidentKiBOf("self"); }

int ThreadCount() { return ThreadCountOf("self"); }

int OpenDescriptors() { return OpenDescriptorsOf("self"); }

std::vector<int> ThreadsNamed(const std::string& name) { return ThreadsNamedIn("self", name); }

double ThreadCpuSecondsOf(int tid) { return ThreadCpuSecondsIn("self", tid); }
