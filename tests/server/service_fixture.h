#pragma once
// A running mining-service on 127.0.0.1 with its own database and patch folder, and small
// helpers to talk to it, read its INI answers and look into its database.
#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/mining_service_process.h"
#include "support/sandbox.h"

inline constexpr const char* kDemoSerial = "KST-DEMO-0001";

// Percent-encodes every byte outside A-Z a-z 0-9 - . _ ~, as the client does.
std::string EncodeAll(std::string_view value);

// One INI answer, split strictly: every line must end in "\r\n".
struct IniSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;  // in order
  std::optional<std::string> Get(const std::string& key) const;
};
struct IniBody {
  bool wellFormed = false;  // false when a line lacks "\r\n" or a line is neither section nor key
  std::string problem;
  std::vector<IniSection> sections;
  const IniSection* Find(const std::string& name) const;
  std::optional<std::string> Get(const std::string& section, const std::string& key) const;
};
IniBody ParseIni(const std::string& body);

// The values of one status report; cry defaults to the amount scrambled at 10:12.
struct ReportValues {
  std::string sn = kDemoSerial;
  std::string mac = "00-1A-2B-3C-4D-5E";
  std::string exp = "1300";
  std::string mps = "0.012000";
  std::string locate = "37.512345";
  std::string amount = "26.500000";
  std::optional<std::string> cry;  // empty: ScrambleAmount(amount, 10, 12)
};
std::string ReportTarget(const ReportValues& v);

struct HttpAnswer {
  bool arrived = false;
  int status = 0;
  std::string body;
  std::string contentType;
};

// Sends raw bytes over a fresh connection and returns everything that comes back.
std::string RawExchange(int port, const std::string& bytes);

// KESTRAVON_SERVICE_STORE=postgresql runs every test of the service against a database of
// its own on the process's private PostgreSQL server instead of a SQLite file.
class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest();
  // Picks the database; a fixture with a SetUp of its own calls this first.
  void SetUp() override;
  bool OnPostgres() const { return onPostgres_; }

  // Starts the service with options_ (adjust them first); fails the test when it cannot.
  void StartService();
  void RestartService();

  HttpAnswer Get(const std::string& target);
  HttpAnswer Report(const ReportValues& v) { return Get(ReportTarget(v)); }
  IniBody MachineInfo(const std::string& serial = kDemoSerial);

  // The first value of the first row of a query on the service's database (a bytea value
  // as its bytes).
  std::optional<std::int64_t> DbInt(const std::string& sql);
  std::optional<std::string> DbText(const std::string& sql);
  void DbExec(const std::string& sql);

  std::string LogText() const { return ReadFileBytes(logPath_); }

  Sandbox box_;
  bool onPostgres_ = false;
  std::string logPath_;
  MiningServiceOptions options_;
  std::unique_ptr<MiningServiceProcess> service_;
};
