#include "fleet_machine.h"

#include <cstdio>
#include <cstdlib>

#include "exchange/amount_scramble.h"
#include "exchange/request_urls.h"

namespace {

std::string PathOf(const std::string& url) {
  // The builders want a root; the bench strips the same one off again.
  return url.substr(std::string("http://fleet").size());
}

constexpr const char* kRoot = "http://fleet";

}  // namespace

std::string FleetSerial(int index) {
  char text[32];
  std::snprintf(text, sizeof text, "FLEET-%06d", index);
  return text;
}

FleetMachine FleetMachine::Make(int index, std::uint32_t seed) {
  FleetMachine m;
  m.serial = FleetSerial(index);
  char mac[32];
  std::snprintf(mac, sizeof mac, "02-00-00-%02X-%02X-%02X", (index >> 16) & 0xFF, (index >> 8) & 0xFF,
                index & 0xFF);
  m.mac = mac;
  m.random.Seed(seed + static_cast<std::uint32_t>(index) * 7919u);
  return m;
}

std::string FleetMachine::MachineInfoTarget() const {
  return PathOf(MachineInfoUrl(kRoot, serial.c_str(), mac.c_str()));
}

std::string FleetMachine::PowerTarget(int state) const {
  return PathOf(PowerStateUrl(kRoot, serial.c_str(), mac.c_str(), state));
}

std::string FleetMachine::ReportTarget(int hour, int minute) const {
  char amount[512];
  std::snprintf(amount, sizeof amount, "%lf", kest);
  const std::string scrambled = ScrambleAmount(amount, hour, minute);
  StatusReportQuery q;
  q.serialNo = serial.c_str();
  q.macText = mac.c_str();
  q.exp = exp;
  q.miningPerSec = miningPerSec;
  q.location = location;
  q.amountText = amount;
  q.scrambledAmount = scrambled.c_str();
  return PathOf(StatusReportUrl(kRoot, q));
}

std::string IniValue(const std::string& body, const std::string& section, const std::string& key) {
  const auto at = body.find("[" + section + "]");
  if (at == std::string::npos) return "";
  const auto sectionEnd = body.find("\n[", at + 1);
  const auto k = body.find("\n" + key + "=", at);
  if (k == std::string::npos || k > sectionEnd) return "";
  const auto valueStart = k + key.size() + 2;
  const auto lineEnd = body.find_first_of("\r\n", valueStart);
  return body.substr(valueStart, lineEnd - valueStart);
}

void FleetMachine::ApplyMachineInfo(const std::string& body) {
  exp = std::atoi(IniValue(body, "Machine", "EXP").c_str());
  kest = std::atof(IniValue(body, "Machine", "KEST").c_str());
  location = std::atof(IniValue(body, "Machine", "Location").c_str());
  mining = std::atoi(IniValue(body, "Machine", "OnOff").c_str()) == 1;
}

void FleetMachine::ApplyStatusReply(const std::string& body) {
  kest = std::atof(IniValue(body, "Machine", "KEST").c_str());
  if (std::atoi(IniValue(body, "Machine", "Code").c_str()) == 0) mining = false;
  // Mining between reports moves the figures a little, so consecutive reports differ.
  exp += 3;
  kest += 0.000125;
}
