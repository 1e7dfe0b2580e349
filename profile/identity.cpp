#include "profile/identity.h"

#include "core/machine_state.h"
#include "platform/platform_paths.h"
#include "profile/information_file.h"
#include "profile/profile.h"

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
