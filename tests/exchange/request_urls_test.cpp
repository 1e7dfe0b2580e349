#include "exchange/request_urls.h"

#include <gtest/gtest.h>

#include "exchange/url_encode.h"

TEST(QueryEncoding, LeavesOrdinaryValuesAndEncodesEverythingElse) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"KST-0001", "KST-0001"},
      {"00-1A-2B-3C-4D-5E", "00-1A-2B-3C-4D-5E"},
      {"25.000000", "25.000000"},
      {"Error : 232 ", "Error%20%3A%20232%20"},
      {"a&b#c%d+e=f?g/h", "a%26b%23c%25d%2Be%3Df%3Fg%2Fh"},
      {std::string("\x01\x7F\x80\xFF", 4), "%01%7F%80%FF"},
      {"~_.", "~_."},
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeQueryValue(c.in), c.out) << c.in;
}

TEST(RequestUrls, HaveTheServiceFormats) {
  EXPECT_EQ(MachineInfoUrl("http://h:1", "SN1", "00-1A-2B-3C-4D-5E"),
            "http://h:1/Machine/GetData.html?sn=SN1&Mac=00-1A-2B-3C-4D-5E");
  EXPECT_EQ(MachineInfoUrl("http://h:1", "", "Error : 232 "),
            "http://h:1/Machine/GetData.html?sn=&Mac=Error%20%3A%20232%20");
  EXPECT_EQ(PowerStateUrl("http://h:1", "SN1", "M", 1),
            "http://h:1/Machine/UpdateOnOff.html?sn=SN1&Mac=M&OnOff=1");
  StatusReportQuery q;
  q.serialNo = "SN&1";
  q.macText = "00-1A-2B-3C-4D-5E";
  q.exp = -5;
  q.miningPerSec = 0.0123;
  q.location = -12.5;
  q.amountText = "25.000000";
  q.scrambledAmount = "38379;=?A";
  EXPECT_EQ(StatusReportUrl("http://h:1", q),
            "http://h:1/Machine/UpdateInfov2.html?sn=SN%261&Mac=00-1A-2B-3C-4D-5E&exp=-5"
            "&mps=0.012300&locate=-12.500000&mci_kest=25.000000&cry=38379%3B%3D%3FA");
  EXPECT_EQ(PatchUrl("http://localhost:8216"), "http://localhost:8216/patch/patchv2.exe");
}

TEST(ReplyPaths, DownloadAndReadPathsNameTheSameFile) {
  EXPECT_EQ(ReplyDownloadPath("/tmp/", kStatusReply), "/tmp/qx_ui.dat");
  EXPECT_EQ(ReplyReadPath("/tmp/", kStatusReply), "/tmp//qx_ui.dat");
}
