#include "exchange/request_urls.h"

#include <cstdio>

#include "exchange/url_encode.h"
#include "platform/platform_paths.h"
#include "profile/information_file.h"

namespace {
std::string FormatLf(double value) {
  char text[512];  // "%lf" of any double is at most 317 characters
  std::snprintf(text, sizeof text, "%lf", value);
  return text;
}
}  // namespace

std::string MachineInfoUrl(const std::string& serviceRoot, const char* serialNo, const char* macText) {
  return serviceRoot + "/Machine/GetData.html?sn=" + EncodeQueryValue(serialNo) +
         "&Mac=" + EncodeQueryValue(macText);
}

std::string StatusReportUrl(const std::string& serviceRoot, const StatusReportQuery& q) {
  return serviceRoot + "/Machine/UpdateInfov2.html?sn=" + EncodeQueryValue(q.serialNo) +
         "&Mac=" + EncodeQueryValue(q.macText) + "&exp=" + std::to_string(q.exp) +
         "&mps=" + EncodeQueryValue(FormatLf(q.miningPerSec)) +
         "&locate=" + EncodeQueryValue(FormatLf(q.location)) + "&mci_kest=" + EncodeQueryValue(q.amountText) +
         "&cry=" + EncodeQueryValue(q.scrambledAmount);
}

std::string PowerStateUrl(const std::string& serviceRoot, const char* serialNo, const char* macText,
                          int state) {
  return serviceRoot + "/Machine/UpdateOnOff.html?sn=" + EncodeQueryValue(serialNo) +
         "&Mac=" + EncodeQueryValue(macText) + "&OnOff=" + std::to_string(state);
}

std::string PatchUrl(const std::string& patchRoot) { return patchRoot + "/patch/patchv2.exe"; }

std::string ReplyDownloadPath(const std::string& tempDir, const char* name) { return tempDir + name; }

std::string ReplyReadPath(const std::string& tempDir, const char* name) {
  InformationFile file;
  file.Append(tempDir);
  file.Append(PathSeparator());
  file.Append(name);
  return file.path;
}
