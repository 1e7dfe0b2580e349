#include "live_client.h"

#include <dirent.h>
#include <unistd.h>

#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>

#include "core/control_ids.h"
#include "client/miner_core.h"
#include "ui/control_delivery.h"
#include "ui/qxclient_dlg.h"

namespace {

constexpr char kDemoSerial[] = "KST-DEMO-0001";
constexpr char kVersion[] = "0.216";  // offered by the service and kept by the client: no update

// The number after `key` in /proc/self/status, or -1.
long StatusField(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, n, key) == 0) return std::strtol(line.c_str() + n, nullptr, 10);
  }
  return -1;
}

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
  env_.closingPauseMs = options_.closingPauseMs;

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

void LiveClient::ClickStartStop() {
  if (auto* button = qobject_cast<QPushButton*>(window_->Item(kIdStartStop))) button->click();
}

long ResidentKiB() { return StatusField("VmRSS:"); }

int ThreadCount() { return static_cast<int>(StatusField("Threads:")); }

int OpenDescriptors() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the descriptor of the listing itself
}

std::vector<int> ThreadsNamed(const std::string& name) {
  std::vector<int> tids;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return tids;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
    std::string line;
    if (std::getline(comm, line) && line == name) tids.push_back(std::atoi(entry->d_name));
  }
  closedir(dir);
  return tids;
}

double ThreadCpuSecondsOf(int tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return -1;
  // The fields after the name in parentheses: state is the 3rd, utime the 14th, stime the 15th.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  const char* p = stat.c_str() + close + 2;
  unsigned long long utime = 0, stime = 0;
  if (std::sscanf(p, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2) {
    return -1;
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}
