#pragma once
// The URLs of the requests to the service. Every query value is percent-encoded.
#include <cstdint>
#include <string>

std::string MachineInfoUrl(const std::string& serviceRoot, const char* serialNo, const char* macText);

struct StatusReportQuery {
  const char* serialNo = "";
  const char* macText = "";
  int32_t exp = 0;
  double miningPerSec = 0;
  double location = 0;
  const char* amountText = "";  // machineKest as "%lf"
  const char* scrambledAmount = "";
};
std::string StatusReportUrl(const std::string& serviceRoot, const StatusReportQuery& query);

std::string PowerStateUrl(const std::string& serviceRoot, const char* serialNo, const char* macText,
                          int state);

std::string PatchUrl(const std::string& patchRoot);

// Reply files live in the temporary folder (which ends in '/'). The download goes to
// <temp>name; the reading path is built again as <temp>/name, as the client always did.
std::string ReplyDownloadPath(const std::string& tempDir, const char* name);
std::string ReplyReadPath(const std::string& tempDir, const char* name);

inline constexpr const char* kMachineInfoReply = "qx_sn.dat";
inline constexpr const char* kStatusReply = "qx_ui.dat";
inline constexpr const char* kPowerStateReply = "qx_onoff.dat";
