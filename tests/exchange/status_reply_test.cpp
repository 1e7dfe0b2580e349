#include "exchange/status_reply.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/machine_state.h"
#include "support/sandbox.h"

namespace {
struct Applied {
  MachineState state;
  StatusReplyEffects effects;
};

Applied Apply(const std::string& body, const char* clientVersion = "0.216") {
  Sandbox box;
  WriteFileBytes(box.File("qx_ui.dat"), body);
  Applied a;
  a.state.onOff = 1;
  a.state.boost = 0.5;
  std::strcpy(a.state.clientVersion, clientVersion);
  a.effects = ApplyStatusReply(a.state, box.File("qx_ui.dat").c_str());
  return a;
}
}  // namespace

TEST(StatusReply, CodeDecidesBoostAndSwitchOff) {
  struct Case {
    const char* codeLine;  // nullptr: no Code key at all
    double boost;
    bool switchedOff;
  } cases[] = {
      {nullptr, 0, true},
      {"Code=", 0, true},
      {"Code=0", 0, true},
      {"Code=0.5", 0.00000000005, true},
      {"Code=1000", 0, false},
      {"Code=3021", 0.0000003021, false},
      {"Code=30210000", 0.003021, false},
      {"Code=-3021", -0.0000003021, false},
      {"Code=6042abc", 0.0000006042, false},
  };
  for (const Case& c : cases) {
    std::string body = "[Machine]\r\nFuel=250\r\nKEST=25.5\r\n";
    if (c.codeLine) body += std::string(c.codeLine) + "\r\n";
    body += "[Version]\r\nServer=0.216\r\n";
    const Applied a = Apply(body);
    const char* label = c.codeLine ? c.codeLine : "(none)";
    EXPECT_DOUBLE_EQ(a.state.boost, c.boost) << label;
    EXPECT_EQ(a.effects.switchOff, c.switchedOff) << label;
    EXPECT_EQ(a.state.onOff, c.switchedOff ? 0 : 1) << label;
    EXPECT_EQ(a.state.fuel, 250) << label;
    EXPECT_DOUBLE_EQ(a.state.machineKest, 25.5) << label;
  }
}

TEST(StatusReply, VersionCheckNeedsThreeCharactersAndAnyDifference) {
  struct Case {
    const char* server;
    bool update;
  } cases[] = {{"0.216", false}, {"", false},     {"1", false},     {"12", false},
               {"0.217", true},  {"0.100", true}, {"0.216a", true}, {"O.216", true}};
  for (const Case& c : cases) {
    const Applied a =
        Apply(std::string("[Machine]\r\nCode=1000\r\n[Version]\r\nServer=") + c.server + "\r\n");
    EXPECT_EQ(a.effects.wantsUpdate, c.update) << c.server;
    EXPECT_STREQ(a.state.serverVersion, c.server);
  }
  // Letter case matters.
  EXPECT_TRUE(Apply("[Version]\r\nServer=V1.0\r\n", "v1.0").effects.wantsUpdate);
}

TEST(StatusReply, ValuesAreReadThrough32ByteBuffers) {
  const Applied a = Apply("[Machine]\r\nFuel=99999999999\r\nKEST=" + std::string(40, '1') +
                          "\r\nCode=1000\r\n[Version]\r\nServer=" + std::string(40, 'v') + "\r\n");
  EXPECT_EQ(a.state.fuel, 2147483647);                                       // saturated, not undefined
  EXPECT_DOUBLE_EQ(a.state.machineKest, 1111111111111111111111111111111.0);  // 31 digits
  EXPECT_EQ(std::string(a.state.serverVersion), std::string(31, 'v'));
}

TEST(StatusReply, FuelTextAndMissingReply) {
  char text[32];
  FormatFuelText(text, 250, 3);
  EXPECT_STREQ(text, "250 / 300 gas");
  FormatFuelText(text, 480, 5);
  EXPECT_STREQ(text, "480 / 500 gas");
  FormatFuelText(text, -1, 30000000);  // level x 100 wraps instead of overflowing
  EXPECT_STREQ(text, "-1 / -1294967296 gas");

  MachineState s;
  s.onOff = 1;
  s.boost = 0.25;
  s.fuel = 40;
  s.machineKest = 12.5;
  ApplyMissingStatusReply(s);
  EXPECT_EQ(s.onOff, 0);
  EXPECT_EQ(s.boost, 0);
  EXPECT_EQ(s.fuel, 40);
  EXPECT_EQ(s.machineKest, 12.5);
}
