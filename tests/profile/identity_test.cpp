#include "profile/identity.h"

#include <gtest/gtest.h>

#include "core/machine_state.h"
#include "support/sandbox.h"

TEST(Configuration, ReadsSerialAndVersionCutTo31Bytes) {
  Sandbox box;
  WriteFileBytes(box.File("config.ini"), "[SerialNo]\r\nNo = KST-0001\r\n[Version]\r\nClient=0.216\r\n");
  MachineState s;
  ReadConfiguration(box.Path(), s);
  EXPECT_STREQ(s.serialNo, "KST-0001");
  EXPECT_STREQ(s.clientVersion, "0.216");

  const std::string longSerial(40, 'S');
  WriteFileBytes(box.File("config.ini"),
                 "[serialno]\nNO=" + longSerial + "\n[VERSION]\nclient=" + std::string(35, 'v') + "\n");
  ReadConfiguration(box.Path(), s);
  EXPECT_EQ(std::string(s.serialNo), std::string(31, 'S'));
  EXPECT_EQ(std::string(s.clientVersion), std::string(31, 'v'));
}

TEST(Configuration, MissingFileOrFolderGivesEmptyTexts) {
  Sandbox box;
  MachineState s;
  ReadConfiguration(box.File("absent"), s);
  EXPECT_STREQ(s.serialNo, "");
  EXPECT_STREQ(s.clientVersion, "");
  box.MakeDir("config.ini");  // a folder where the file should be
  ReadConfiguration(box.Path(), s);
  EXPECT_STREQ(s.serialNo, "");
}
