#include "service/identity.h"

#include <cstdio>

#include "core/machine_state.h"
#include "service/information_file.h"
#include "service/platform_paths.h"
#include "service/profile.h"

std::string ConfigPath(const std::string& installDir) {
  InformationFile file;
  file.Append(installDir);
  file.Append(PathSeparator());
  file.Append("config.ini");
  return file.path;
}

std::string MissingSerialNumberText(const std::string& installDir, const char* serialNo) {
  if (serialNo != nullptr && serialNo[0] != '\0') return std::string();
  return "no serial number in " + ConfigPath(installDir) +
         ": write the machine's serial number there as the two lines \"[SerialNo]\" and "
         "\"No=<serial number>\" (the local mining-service knows the demo machine KST-DEMO-0001)";
}

void ReadConfiguration(const std::string& installDir, MachineState& state) {
  InformationFile file;
  file.Append(ConfigPath(installDir));
  ReadProfileString("SerialNo", "No", "", state.serialNo, 32, file.Path());
  ReadProfileString("Version", "Client", "", state.clientVersion, 32, file.Path());
}

std::string FormatMacAddress(const uint8_t* bytes, std::size_t length) {
  uint8_t six[6] = {};
  for (std::size_t i = 0; i < 6 && i < length; ++i) six[i] = bytes[i];
  char text[32];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", six[0], six[1], six[2], six[3],
                six[4], six[5]);
  return text;
}

std::string FormatMacError(int errorNumber) {
  char text[32];
  std::snprintf(text, sizeof text, "Error : %d ", errorNumber);
  return text;
}
