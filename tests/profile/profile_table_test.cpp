// The table of tricky files that the Windows tests also read with the system's reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profile/profile.h"
#include "profile/profile_cases.h"
#include "support/sandbox.h"

TEST(ProfileTable, ReadsEachFileAsThePlatformDoes) {
  Sandbox box;
  int fileNumber = 0;
  for (const profile_cases::Case& c : profile_cases::Cases()) {
    SCOPED_TRACE(c.what);
    const std::string path = box.File("case" + std::to_string(fileNumber++) + ".ini");
    WriteFileBytes(path, c.file);
    for (const profile_cases::Lookup& l : c.lookups) {
      SCOPED_TRACE(std::string("[") + l.section + "] " + l.key + " size " + std::to_string(l.size));
      std::vector<char> dest(l.size + 8, '#');
      const std::size_t n =
          ReadProfileString(l.section, l.key, profile_cases::kDefault, dest.data(), l.size, path.c_str());
      EXPECT_EQ(std::string(dest.data(), n), l.expected);
      EXPECT_EQ(dest[n], '\0');
      EXPECT_EQ(dest[l.size], '#');
    }
  }
}
