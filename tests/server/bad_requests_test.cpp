// Requests the service refuses: each gets a clear status and text, and the service lives on.
#include <sys/wait.h>

#include <string>
#include <vector>

#include "service_fixture.h"

namespace {

struct BadCase {
  std::string target;
  int status;
  std::string mentions;  // a text the answer body must hold
};

std::string Replace(std::string target, const std::string& from, const std::string& to) {
  const auto at = target.find(from);
  if (at != std::string::npos) target.replace(at, from.size(), to);
  return target;
}

class BadRequests : public ServiceTest {};

TEST_F(BadRequests, MissingOrMalformedValuesGet400SayingWhich) {
  StartService();
  const std::string report = ReportTarget(ReportValues{});
  const std::string power = "/Machine/UpdateOnOff.html?sn=KST-DEMO-0001&Mac=x&OnOff=1";
  const std::vector<BadCase> cases = {
      {"/Machine/GetData.html", 400, "'sn'"},
      {"/Machine/GetData.html?Mac=x", 400, "'sn'"},
      {"/Machine/GetData.html?sn=KST-DEMO-0001", 400, "'Mac'"},
      {Replace(report, "&cry=", "&cryX="), 400, "'cry'"},
      {Replace(report, "sn=", "SN="), 400, "'sn'"},
      {Replace(report, "exp=1300", "exp=abc"), 400, "'exp'"},
      {Replace(report, "exp=1300", "exp="), 400, "'exp'"},
      {Replace(report, "exp=1300", "exp=1e3"), 400, "'exp'"},
      {Replace(report, "exp=1300", "exp=2147483648"), 400, "'exp'"},
      {Replace(report, "exp=1300", "exp=99999999999999999999999"), 400, "'exp'"},
      {Replace(report, "exp=1300", "exp=%2012"), 400, "'exp'"},
      {Replace(report, "mps=0.012000", "mps=nan"), 400, "'mps'"},
      {Replace(report, "mps=0.012000", "mps=-nan"), 400, "'mps'"},
      {Replace(report, "locate=37.512345", "locate=inf"), 400, "'locate'"},
      {Replace(report, "locate=37.512345", "locate=37.5x"), 400, "'locate'"},
      {Replace(report, "mci_kest=26.500000", "mci_kest=1e400"), 400, "'mci_kest'"},
      {Replace(report, "mci_kest=26.500000", "mci_kest=" + std::string(400, '9') + "0000"), 400,
       "'mci_kest'"},
      {Replace(report, "mci_kest=26.500000", "mci_kest=%00"), 400, "'mci_kest'"},
      {Replace(power, "OnOff=1", "OnOff=2"), 400, "'OnOff'"},
      {Replace(power, "OnOff=1", "OnOff=on"), 400, "'OnOff'"},
      {Replace(power, "&Mac=x", ""), 400, "'Mac'"},
      {"/Machine/Nothing.html?sn=KST-DEMO-0001", 404, "Not Found"},
      {"/Machine/GetDataXhtml?sn=KST-DEMO-0001&Mac=x", 404, "Not Found"},
      {"/", 404, "Not Found"},
  };
  for (const BadCase& c : cases) {
    const HttpAnswer a = Get(c.target);
    ASSERT_TRUE(a.arrived) << c.target;
    EXPECT_EQ(a.status, c.status) << c.target;
    EXPECT_NE(a.body.find(c.mentions), std::string::npos) << c.target << " answered " << a.body;
  }
  // Nothing refused left a trace in the record.
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM reports"), 0);
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM power_notices"), 0);
  EXPECT_EQ(MachineInfo().Get("Machine", "Fuel"), "250");
}

TEST_F(BadRequests, HostileBytesNeverBringTheServiceDown) {
  StartService();
  std::string everyByte;
  for (int i = 0; i < 256; ++i) everyByte.push_back(static_cast<char>(i));

  // Every byte value, encoded, in every value of every request.
  ReportValues v;
  v.sn = everyByte;
  v.mac = everyByte;
  v.cry = everyByte;
  EXPECT_EQ(Report(v).status, 200);
  v = ReportValues{};
  v.exp = everyByte;
  EXPECT_EQ(Report(v).status, 400);
  EXPECT_EQ(Get("/Machine/GetData.html?sn=" + EncodeAll(everyByte) + "&Mac=" + EncodeAll(everyByte)).status,
            200);
  EXPECT_EQ(Get("/Machine/UpdateOnOff.html?sn=" + EncodeAll(everyByte) + "&Mac=%ZZ%&OnOff=0").status, 200);
  // Broken escapes and odd query shapes.
  for (const char* target :
       {"/Machine/GetData.html?sn=%&Mac=%4", "/Machine/GetData.html?&&=&sn&Mac",
        "/Machine/GetData.html?sn=%u0041&Mac=%%%", "/Machine/GetData.html??sn=a&Mac=b"}) {
    const HttpAnswer a = Get(target);
    EXPECT_TRUE(a.status == 200 || a.status == 400) << target << " gave " << a.status;
  }

  // Raw bytes straight onto the socket: request lines no well-behaved client sends.
  struct RawCase {
    std::string bytes;
    const char* expectedStart;  // the answer's first bytes; "" when any answer (or none) will do
  };
  static const char kNulInRequestLine[] =
      "GET /Machine/GetData.html?sn=\0abc&Mac=x HTTP/1.1\r\nConnection: close\r\n\r\n";
  const int port = service_->Port();
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 37) & 0xFF));
  const std::vector<RawCase> raw = {
      // Unencoded high bytes are still just bytes of an unknown serial number.
      {"GET /Machine/GetData.html?sn=\x80\xFF\x01&Mac=a+b HTTP/1.1\r\nConnection: close\r\n\r\n",
       "HTTP/1.1 200 OK"},
      {std::string(kNulInRequestLine, sizeof kNulInRequestLine - 1), "HTTP/1.1 400"},
      {"GET /Machine/GetData.html?sn=" + std::string(200000, 'A') + "&Mac=x HTTP/1.1\r\n\r\n",
       "HTTP/1.1 414"},
      {"POST /Machine/GetData.html?sn=KST-DEMO-0001&Mac=x HTTP/1.1\r\nContent-Length: 5\r\n"
       "Connection: close\r\n\r\nhello",
       "HTTP/1.1 405"},
      // A length past 2^64 is past any limit.
      {"GET /Machine/GetData.html HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n"
       "Connection: close\r\n\r\n",
       "HTTP/1.1 413"},
      {"GET /Machine/GetData.html HTTP/1.1\r\nContent-Length: 12x\r\n\r\n", "HTTP/1.1 400"},
      {"GET /Machine/GetData.html HTTP/1.1\r\nContent-Length: -1\r\n\r\n", "HTTP/1.1 400"},
      {garbage, ""},
      {"\r\n\r\n", ""},
  };
  for (const RawCase& c : raw) {
    const std::string reply = RawExchange(port, c.bytes);
    EXPECT_EQ(reply.substr(0, std::string(c.expectedStart).size()), c.expectedStart)
        << c.bytes.substr(0, 60) << " -> " << reply.substr(0, 200);
    EXPECT_EQ(reply.find("Count=1"), std::string::npos) << reply.substr(0, 200);
    ASSERT_EQ(waitpid(service_->Pid(), nullptr, WNOHANG), 0) << "the service died";
  }

  // Still alive and still right.
  const IniBody info = MachineInfo();
  EXPECT_EQ(info.Get("Return", "Count"), "1");
  EXPECT_EQ(info.Get("Machine", "Fuel"), "250") << "no refused or unknown report burns fuel";
}

TEST_F(BadRequests, EveryRequestIsLoggedOnOneLine) {
  StartService();
  Get("/Machine/GetData.html?sn=KST-DEMO-0001&Mac=x");
  Get("/Machine/Nothing.html");
  Get("/Machine/UpdateOnOff.html?sn=KST-DEMO-0001&Mac=x&OnOff=7");
  Get("/evil%0Aforged%20200%20line");
  // Each line is written once its answer is out, so wait for all of them.
  const std::vector<std::string> expected = {" GET /Machine/GetData.html 200\n",
                                             " GET /Machine/Nothing.html 404\n",
                                             " GET /Machine/UpdateOnOff.html 400\n",
                                             // A line break sent in the path stays inside its own log line.
                                             " GET /evil\\x0Aforged 200 line 404\n"};
  WaitUntil([&] {
    const std::string log = LogText();
    for (const auto& line : expected) {
      if (log.find(line) == std::string::npos) return false;
    }
    return true;
  });
  const std::string log = LogText();
  for (const auto& line : expected) EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_EQ(log.find("\nforged"), std::string::npos) << log;
}

// A target the handlers would see cut short (the engine hands it on as a C string) is
// refused by the engine, never handled: a NUL byte sent raw anywhere in the target, or
// percent-encoded in its path.
TEST_F(BadRequests, ANulInTheTargetIsRefusedNotCutShort) {
  StartService();
  const int port = service_->Port();
  auto WithNul = [](const std::string& before, const std::string& after) { return before + '\0' + after; };
  struct NulCase {
    const char* what;
    std::string target;
    const char* logged;  // the request log's line for it
  };
  const std::vector<NulCase> cases = {
      {"raw NUL in the path", WithNul("/Machine/GetData.html", ".txt?sn=KST-DEMO-0001&Mac=x"),
       " GET /Machine/GetData.html\\x00 400\n"},
      {"raw NUL in the query", WithNul("/Machine/GetData.html?sn=KST-DEMO-0001&Mac=x", "y"),
       " GET /Machine/GetData.html 400\n"},
      {"encoded NUL in the path", "/Machine/GetData.html%00.txt?sn=KST-DEMO-0001&Mac=x",
       " GET /Machine/GetData.html%00.txt 400\n"},
      {"raw NUL in a power notice's path",
       WithNul("/Machine/UpdateOnOff.html", "?sn=KST-DEMO-0001&Mac=x&OnOff=0"),
       " GET /Machine/UpdateOnOff.html\\x00 400\n"},
  };
  for (const NulCase& c : cases) {
    const std::string reply = RawExchange(port, "GET " + c.target + " HTTP/1.1\r\nHost: a\r\n\r\n");
    EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 400") << c.what << ": " << reply.substr(0, 200);
    // The engine's own refusal, not a handler's complaint about a value.
    EXPECT_NE(reply.find("\r\n\r\nBad Request\n"), std::string::npos) << c.what << ": " << reply;
  }
  WaitUntil([&] { return LogText().find(cases.back().logged) != std::string::npos; });
  const std::string log = LogText();
  for (const NulCase& c : cases) EXPECT_NE(log.find(c.logged), std::string::npos) << c.what << "\n" << log;
  // Nothing of them was handled: the power notice's path would have been its handler's.
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM power_notices"), 0);
}

}  // namespace
