#include <gtest/gtest.h>

#include "profile/profile.h"
#include "support/sandbox.h"

TEST(ProfileSectionExists, FindsSectionsByTheReadersRules) {
  Sandbox box;
  const std::string path = box.File("reply.ini");
  struct Case {
    std::string file;
    const char* section;
    bool exists;
  } cases[] = {
      {"[Machine]\r\nFuel=1\r\n", "Machine", true},
      {"[ machine ]\r\n", "MACHINE", true},
      {"[Machine]", "Machine", true},  // no line end, no keys
      {"<html>[Machine]</html>", "Machine", false},
      {"Fuel=1\r\n[Version]\r\n", "Machine", false},
      {"Fuel=1\r\n[Version]\r\n", "", true},
      {"[Version]\r\nFuel=1\r\n", "", false},
      {"", "Machine", false},
      {std::string("[Mach\0ine]\r\n", 12), "Mach", true},
  };
  for (const Case& c : cases) {
    WriteFileBytes(path, c.file);
    EXPECT_EQ(ProfileSectionExists(c.section, path.c_str()), c.exists) << c.file;
  }
  EXPECT_FALSE(ProfileSectionExists("Machine", box.File("absent").c_str()));
  EXPECT_FALSE(ProfileSectionExists("Machine", box.Path().c_str()));  // a folder
}
