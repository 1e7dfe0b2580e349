#include "support/client_fixture.h"

#include <chrono>

ClientFixture::ClientFixture(const std::string& serviceRoot, const std::string& patchRoot,
                             const std::string& caBundle) {
  install_ = box.MakeDir("install");
  temp_ = box.MakeDir("temp") + "/";
  env.installDir = install_;
  env.tempDir = temp_;
  env.serviceRoot = serviceRoot;
  env.patchRoot = patchRoot.empty() ? serviceRoot : patchRoot;
  env.caBundle = caBundle;
  env.clock = &clock;
  env.random = &random;
  env.debug = &debug;
  env.launcher = &launcher;
  env.macText = [] { return std::string("00-1A-2B-3C-4D-5E"); };
  env.closingPause = std::chrono::milliseconds(0);
  core_ = std::make_unique<MinerCore>(env, window);
}

void ClientFixture::RebuildCore() {
  core_.reset();
  core_ = std::make_unique<MinerCore>(env, window);
}

void ClientFixture::WriteConfig(const std::string& serial, const std::string& version) {
  WriteFileBytes(install_ + "/config.ini",
                 "[SerialNo]\r\nNo=" + serial + "\r\n[Version]\r\nClient=" + version + "\r\n");
}

std::string ClientFixture::ConfigText() const { return ReadFileBytes(install_ + "/config.ini"); }

void ClientFixture::NextPassReports(int hour, int minute) {
  // A mining pass that read the clock before the change is still drawing its random
  // numbers: queued now, the gate's draw could go to that pass instead, and no report would
  // follow. Once the worker has read the clock twice more, that pass is over (the second
  // reading starts a pass of the new time, which reports). A worker that reads nothing
  // (mining off, or no worker) draws nothing either, so the wait is bounded and its end
  // unchecked.
  clock.SetLocalTime(hour, minute, 7, 2);
  const std::size_t reads = clock.LocalTimeReads();
  WaitUntil([&] { return clock.LocalTimeReads() >= reads + 2; }, std::chrono::seconds(2));
  random.Queue({0});
}
