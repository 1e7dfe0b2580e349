#include "support/client_fixture.h"

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
