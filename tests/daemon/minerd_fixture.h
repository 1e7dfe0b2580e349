#pragma once
// A stand-in service on 127.0.0.1 with a database of its own, and kestravon-minerd
// launched against it with a private install and temp folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "support/minerd_process.h"
#include "support/mining_service_process.h"
#include "support/sandbox.h"
#include "support/service_database.h"

inline constexpr char kSerial[] = "KST-DEMO-0001";

struct MinerdFixture : ::testing::Test {
  Sandbox box;
  MiningServiceOptions serviceOptions;
  std::unique_ptr<MiningServiceProcess> service;
  std::string install;
  std::string temp;

  void SetUp() override {
    serviceOptions.binary = KESTRAVON_SERVICE_BIN;
    serviceOptions.databasePath = box.File("service.db");
    serviceOptions.boostEvery = 0;
    serviceOptions.stderrPath = box.File("requests.log");
    service = std::make_unique<MiningServiceProcess>(serviceOptions);
    ASSERT_TRUE(service->Start()) << service->StartError();
    install = box.MakeDir("install");
    temp = box.MakeDir("temp");
    chmod(temp.c_str(), 0700);
    WriteFileBytes(install + "/config.ini",
                   std::string("[SerialNo]\r\nNo=") + kSerial + "\r\n[Version]\r\nClient=0.216\r\n");
  }

  std::unique_ptr<MinerdProcess> Launch(std::vector<std::string> extra) {
    std::vector<std::string> args{KESTRAVON_MINERD_BIN, "--install-dir",   install, "--temp-dir", temp,
                                  "--service-root",     service->BaseUrl()};
    args.insert(args.end(), extra.begin(), extra.end());
    return std::make_unique<MinerdProcess>(args, box.File("minerd.log"));
  }

  std::vector<int> Notices() { return PowerNoticesOf(serviceOptions.databasePath, kSerial); }
  std::string Token() {
    std::string text = ReadFileBytes(temp + "/minerd.token");
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
};

// The view's token of an instance whose log names its token file ("view token in PATH").
std::string TokenNamedIn(const std::string& logPath);
