// Power-state notices and the patch download.
#include <random>
#include <string>

#include "service_fixture.h"

namespace {

using PowerNotice = ServiceTest;

TEST_F(PowerNotice, EachNoticeIsRecordedAndAnsweredShortly) {
  StartService();
  const HttpAnswer on = Get("/Machine/UpdateOnOff.html?sn=KST-DEMO-0001&Mac=00-1A-2B-3C-4D-5E&OnOff=1");
  EXPECT_EQ(on.status, 200);
  EXPECT_EQ(on.body, "[Return]\r\nResult=1\r\n");
  const HttpAnswer off =
      Get("/Machine/UpdateOnOff.html?sn=KST-DEMO-0001&Mac=" + EncodeAll("Error : 232 ") + "&OnOff=0");
  EXPECT_EQ(off.status, 200);
  const HttpAnswer stranger = Get("/Machine/UpdateOnOff.html?sn=KST-NOBODY&Mac=x&OnOff=1");
  EXPECT_EQ(stranger.status, 200);
  EXPECT_EQ(stranger.body, "[Return]\r\nResult=0\r\n");

  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM power_notices"), 3);
  EXPECT_EQ(DbInt("SELECT on_off FROM power_notices WHERE id = 1"), 1);
  EXPECT_EQ(DbInt("SELECT on_off FROM power_notices WHERE id = 2"), 0);
  EXPECT_EQ(DbInt("SELECT on_off FROM power_notices WHERE id = 3"), 1);
  EXPECT_EQ(DbText("SELECT mac FROM power_notices WHERE id = 2"), "Error : 232 ");
  EXPECT_EQ(DbInt("SELECT known_machine FROM power_notices WHERE serial = 'KST-NOBODY'"), 0);
  if (OnPostgres()) {
    EXPECT_EQ(DbText("SELECT pg_typeof(received_at)::text FROM power_notices WHERE id = 1"),
              "timestamp with time zone");
  } else {
    EXPECT_EQ(DbText("SELECT typeof(received_at) FROM power_notices WHERE id = 1"), "text");
  }
  // Power state is not the mining switch: the next start still begins with mining on.
  EXPECT_EQ(MachineInfo().Get("Machine", "OnOff"), "1");
}

class Patch : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    patchDir_ = box_.MakeDir("patch");
  }
  std::string patchDir_;
};

TEST_F(Patch, TheInstallerIsServedByteForByte) {
  // Every byte value, and more than one chunk of the stream.
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  std::mt19937 gen(7);
  for (int i = 0; i < 300000; ++i) bytes.push_back(static_cast<char>(gen() & 0xFF));
  WriteFileBytes(patchDir_ + "/patchv2.exe", bytes);
  options_.patchDir = patchDir_;
  StartService();

  const HttpAnswer a = Get("/patch/patchv2.exe");
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.contentType, "application/octet-stream");
  EXPECT_TRUE(a.body == bytes) << "got " << a.body.size() << " bytes of " << bytes.size();

  // A new installer dropped into the folder is what the next download gets.
  WriteFileBytes(patchDir_ + "/patchv2.exe", "MZ-new");
  EXPECT_EQ(Get("/patch/patchv2.exe").body, "MZ-new");

  // Its signature is served from beside it, once it is there.
  EXPECT_EQ(Get("/patch/patchv2.exe.minisig").status, 404);
  const std::string signature = "untrusted comment: x\nRUQ...\ntrusted comment: version:0.217\nAAAA\n";
  WriteFileBytes(patchDir_ + "/patchv2.exe.minisig", signature);
  const HttpAnswer s = Get("/patch/patchv2.exe.minisig");
  EXPECT_EQ(s.status, 200);
  EXPECT_EQ(s.body, signature);
  EXPECT_EQ(Get("/patch/patchv2.exe").body, "MZ-new");
}

TEST_F(Patch, NoInstallerMeans404) {
  // Without --patch-dir at all.
  StartService();
  EXPECT_EQ(Get("/patch/patchv2.exe").status, 404);

  options_.patchDir = patchDir_;
  RestartService();
  EXPECT_EQ(Get("/patch/patchv2.exe").status, 404) << "empty folder";

  box_.MakeDir("patch/patchv2.exe");
  EXPECT_EQ(Get("/patch/patchv2.exe").status, 404) << "a folder by that name";

  options_.patchDir = box_.File("no-such-folder");
  RestartService();
  EXPECT_EQ(Get("/patch/patchv2.exe").status, 404) << "missing folder";

  // Only the one name is served from the folder.
  WriteFileBytes(patchDir_ + "/other.exe", "x");
  options_.patchDir = patchDir_;
  RestartService();
  EXPECT_EQ(Get("/patch/other.exe").status, 404);
  EXPECT_EQ(Get("/patch/..%2Fservice.db").status, 404);
}

}  // namespace
