// The machine-information answer, seeding and what survives a restart.
#include <regex>
#include <string>
#include <vector>

#include "service_fixture.h"

namespace {

enum class Kind { Text, Int, Real };

struct ExpectedKey {
  const char* section;
  const char* key;
  Kind kind;
};

// The 41 keys the client reads, section by section, in order.
const std::vector<ExpectedKey> kLayout = {
    {"Version", "Server", Kind::Text},
    {"Return", "Count", Kind::Int},
    {"Coin", "BTC", Kind::Real},
    {"Coin", "ETH", Kind::Real},
    {"Coin", "BNB", Kind::Real},
    {"Coin", "KEST", Kind::Real},
    {"Machine", "Name", Kind::Text},
    {"Machine", "Sector", Kind::Int},
    {"Machine", "Location", Kind::Real},
    {"Machine", "Level", Kind::Int},
    {"Machine", "EXP", Kind::Int},
    {"Machine", "Fuel", Kind::Int},
    {"Machine", "AutoCharge", Kind::Int},
    {"Machine", "TargetCoin", Kind::Int},
    {"Machine", "KEST", Kind::Real},
    {"Machine", "BTC", Kind::Real},
    {"Machine", "ETH", Kind::Real},
    {"Machine", "BNB", Kind::Real},
    {"Machine", "OnOff", Kind::Int},
    {"MARS", "Name", Kind::Text},
    {"MARS", "Active_User", Kind::Int},
    {"MARS", "Active_Machine", Kind::Int},
    {"MARS", "Total_Kest_Mining", Kind::Real},
    {"MARS", "MKPH", Kind::Real},
    {"MARS", "MKPS", Kind::Real},
    {"MARS", "B_KEST", Kind::Real},
    {"MARS", "B_BTC", Kind::Real},
    {"MARS", "B_ETH", Kind::Real},
    {"MARS", "B_BNB", Kind::Real},
    {"MARS", "KEST_ADDR", Kind::Text},
    {"MARS", "BTC_ADDR", Kind::Text},
    {"MARS", "ETH_ADDR", Kind::Text},
    {"MARS", "BNB_ADDR", Kind::Text},
    {"USER", "KEST_ADDR", Kind::Text},
    {"USER", "BTC_ADDR", Kind::Text},
    {"USER", "ETH_ADDR", Kind::Text},
    {"USER", "BNB_ADDR", Kind::Text},
    {"USER", "KEST_BALANCE", Kind::Real},
    {"USER", "BTC_BALANCE", Kind::Real},
    {"USER", "ETH_BALANCE", Kind::Real},
    {"USER", "BNB_BALANCE", Kind::Real},
};

// "케스트라본 채굴기 1호" in code page 949.
const std::string kDemoNameCp949 =
    "\xC4\xC9\xBD\xBA\xC6\xAE\xB6\xF3\xBA\xBB \xC3\xA4\xB1\xBC\xB1\xE2 1\xC8\xA3";

using MachineInfoTest = ServiceTest;

TEST_F(MachineInfoTest, TheDemoMachineHasAll41KeysInTheirSections) {
  StartService();
  const HttpAnswer a = Get("/Machine/GetData.html?sn=KST-DEMO-0001&Mac=00-1A-2B-3C-4D-5E");
  ASSERT_EQ(a.status, 200);
  const IniBody ini = ParseIni(a.body);
  ASSERT_TRUE(ini.wellFormed) << ini.problem;

  std::vector<std::pair<std::string, std::string>> got;
  for (const auto& s : ini.sections) {
    for (const auto& [k, v] : s.keys) got.emplace_back(s.name, k);
  }
  ASSERT_EQ(got.size(), 41u);
  ASSERT_EQ(ini.sections.size(), 6u);
  const std::regex integer(R"(-?[0-9]+)");
  const std::regex real(R"(-?[0-9]+\.[0-9]{6})");
  for (std::size_t i = 0; i < kLayout.size(); ++i) {
    const ExpectedKey& e = kLayout[i];
    EXPECT_EQ(got[i], std::make_pair(std::string(e.section), std::string(e.key))) << "key " << i + 1;
    const std::string value = ini.Get(e.section, e.key).value_or("");
    switch (e.kind) {
      case Kind::Int: EXPECT_TRUE(std::regex_match(value, integer)) << e.key << "=" << value; break;
      case Kind::Real: EXPECT_TRUE(std::regex_match(value, real)) << e.key << "=" << value; break;
      case Kind::Text: EXPECT_FALSE(value.empty()) << e.key; break;
    }
  }
  EXPECT_EQ(ini.Get("Return", "Count"), "1");
  EXPECT_EQ(ini.Get("Version", "Server"), "0.216");
  EXPECT_EQ(ini.Get("Machine", "Name"), kDemoNameCp949);
  EXPECT_EQ(ini.Get("MARS", "Name"), "Mare Boreum quadrangle");
  EXPECT_EQ(ini.Get("Machine", "Fuel"), "250");
  EXPECT_EQ(ini.Get("Machine", "OnOff"), "1");
}

TEST_F(MachineInfoTest, UnknownSerialNumbersGetCountZeroAndNothingElse) {
  StartService();
  const std::string expected = "[Version]\r\nServer=0.216\r\n[Return]\r\nCount=0\r\n";
  const std::vector<std::string> serials = {
      "KST-NOBODY",
      "",
      "kst-demo-0001",
      std::string("KST-DEMO-0001\0x", 15),
      "KST-DEMO-0001 ",
      "' OR 1=1 --",
      "\x80\xFF\xC4\xC9&#%+=?",
  };
  for (const std::string& sn : serials) {
    const HttpAnswer a = Get("/Machine/GetData.html?sn=" + EncodeAll(sn) + "&Mac=x");
    EXPECT_EQ(a.status, 200) << "sn '" << sn << "'";
    EXPECT_EQ(a.body, expected) << "sn '" << sn << "'";
  }
}

TEST_F(MachineInfoTest, OptionsNameTheOfferedVersionAndTheDemoSerial) {
  options_.clientVersion = "0.217";
  options_.seedSerial = "KST-OTHER-7";
  StartService();
  EXPECT_EQ(MachineInfo("KST-OTHER-7").Get("Return", "Count"), "1");
  EXPECT_EQ(MachineInfo("KST-OTHER-7").Get("Version", "Server"), "0.217");
  EXPECT_EQ(MachineInfo(kDemoSerial).Get("Return", "Count"), "0");
}

TEST_F(MachineInfoTest, TheDatabaseSurvivesARestartAndIsSeededOnce) {
  StartService();
  ASSERT_NE(Report(ReportValues{}).status, 0);
  EXPECT_EQ(MachineInfo().Get("Machine", "Fuel"), "249");

  // A different seed serial on the second start must not add a machine to an old database.
  options_.seedSerial = "KST-SECOND-SEED";
  RestartService();
  EXPECT_EQ(MachineInfo().Get("Machine", "Fuel"), "249");
  EXPECT_EQ(MachineInfo("KST-SECOND-SEED").Get("Return", "Count"), "0");
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM machines"), 1);
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM mars"), 1);
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM users"), 1);
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM reports"), 1);
}

TEST_F(MachineInfoTest, StoredTextsNeverBreakTheAnswerLayout) {
  // A hand-edited record with line breaks or characters outside code page 949.
  StartService();
  const std::string crlf = OnPostgres() ? "chr(13) || chr(10)" : "char(13, 10)";
  const std::string lf = OnPostgres() ? "chr(10)" : "char(10)";
  const std::string snowman = OnPostgres() ? "chr(9731)" : "char(9731)";  // U+2603 is not in CP949
  DbExec("UPDATE machines SET name = 'two' || " + crlf + " || '[Return]' || " + lf + " || 'x'");
  DbExec("UPDATE mars SET name = 'snow ' || " + snowman + " || ' field'");
  const IniBody ini = MachineInfo();
  ASSERT_TRUE(ini.wellFormed) << ini.problem;
  EXPECT_EQ(ini.Get("Machine", "Name"), "two  [Return] x");
  EXPECT_EQ(ini.Get("MARS", "Name"), "snow ? field");
  EXPECT_EQ(ini.sections.size(), 6u);
}

}  // namespace
