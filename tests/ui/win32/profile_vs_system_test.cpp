// Our profile reader is used on every platform; here it reads the same tricky files as
// the system's GetPrivateProfileStringA and must give the same text and count.
#include <windows.h>
// The system's win.ini writer has a macro of our writer's name.
#undef WriteProfileString

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "profile/profile.h"
#include "profile/profile_cases.h"
#include "support/sandbox.h"

namespace {

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string Visible(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

class ProfileVsSystemTest : public ::testing::Test {
 protected:
  Sandbox box;
};

// The system converts a Unicode file to the process's ANSI code page; ours always to 949.
// ctest runs this test once more with a Korean locale (code page 949), where the system
// is compared on those files too.
TEST_F(ProfileVsSystemTest, ReadsTrickyFilesAsTheSystemDoes) {
  const bool korean = GetACP() == 949;
  if (!korean) std::printf("ANSI code page %u: Unicode files are compared with the table only\n", GetACP());
  int fileNumber = 0;
  for (const profile_cases::Case& c : profile_cases::Cases()) {
    SCOPED_TRACE(c.what);
    // A fresh name per file: the system keeps a cache of profile files it has read.
    const std::string path = box.File("case" + std::to_string(fileNumber++) + ".ini");
    WriteFileBytes(path, c.file);
    for (const profile_cases::Lookup& l : c.lookups) {
      SCOPED_TRACE(std::string("[") + Visible(l.section) + "] " + Visible(l.key) + " size " +
                   std::to_string(l.size));
      std::vector<char> ours(l.size + 1, '#'), system(l.size + 1, '#');
      const size_t oursCount =
          ReadProfileString(l.section, l.key, profile_cases::kDefault, ours.data(), l.size, path.c_str());
      EXPECT_EQ(Visible(std::string(ours.data(), oursCount)), Visible(l.expected));
      if ((c.converted && !korean) || c.systemUndefined) continue;
      const DWORD systemCount = GetPrivateProfileStringA(l.section, l.key, profile_cases::kDefault,
                                                         system.data(), l.size, path.c_str());
      // Wine's reader cuts a quoted value one character short when the destination ends
      // exactly where the closing quote stood, where ours keeps the whole value: the table
      // holds ours and, beside it, what Wine gives.
      const std::string systemGives = l.wineGives != nullptr && RunningUnderWine() ? l.wineGives : l.expected;
      EXPECT_EQ(Visible(std::string(system.data(), systemCount)), Visible(systemGives));
    }
  }
}

TEST_F(ProfileVsSystemTest, MissingFileAndFolderGiveTheDefault) {
  for (const std::string& path :
       {box.File("none.ini"), box.File("no\\such\\folder\\x.ini"), box.MakeDir("dir.ini")}) {
    SCOPED_TRACE(path);
    char ours[16] = {}, system[16] = {};
    const size_t oursCount = ReadProfileString("M", "k", "dflt", ours, sizeof ours, path.c_str());
    const DWORD systemCount = GetPrivateProfileStringA("M", "k", "dflt", system, sizeof system, path.c_str());
    EXPECT_STREQ(ours, system);
    EXPECT_EQ(oursCount, systemCount);
  }
}

// The writer keeps every other byte: what the system reads back is what was written, and
// the rest of the file reads as before.
TEST_F(ProfileVsSystemTest, SystemReadsBackWhatTheWriterWrote) {
  const std::string path = box.File("config.ini");
  WriteFileBytes(path, "[SerialNo]\r\nNo=KST-1\r\n\r\n[Version]\r\nClient=0.215\r\nOther=x\r\n");
  ASSERT_TRUE(WriteProfileString("Version", "Client", "0.216", path.c_str()));
  ASSERT_TRUE(WriteProfileString("Extra", "Key", "v=1", path.c_str()));
  EXPECT_EQ(ReadFileBytes(path),
            "[SerialNo]\r\nNo=KST-1\r\n\r\n[Version]\r\nClient=0.216\r\nOther=x\r\n[Extra]\r\nKey=v=1\r\n");
  char text[64] = {};
  GetPrivateProfileStringA("Version", "Client", "", text, sizeof text, path.c_str());
  EXPECT_STREQ(text, "0.216");
  GetPrivateProfileStringA("SerialNo", "No", "", text, sizeof text, path.c_str());
  EXPECT_STREQ(text, "KST-1");
  GetPrivateProfileStringA("Extra", "Key", "", text, sizeof text, path.c_str());
  EXPECT_STREQ(text, "v=1");

  // Names asked for are trimmed, a '[' line without ']' is a key, and a Unicode file
  // stays Unicode: the system finds each write where the writer put it.
  const std::string unicode = box.File("unicode.ini");
  WriteFileBytes(unicode, profile_cases::Utf16Le(u"[A]\r\n[x=1\r\nk=v\r\n"));
  ASSERT_TRUE(WriteProfileString(" A ", "\tk", "w", unicode.c_str()));
  ASSERT_TRUE(WriteProfileString("A", "[x", "2", unicode.c_str()));
  ASSERT_TRUE(WriteProfileString("A", "j", "\xB0\xA1", unicode.c_str()));
  EXPECT_EQ(ReadFileBytes(unicode), profile_cases::Utf16Le(u"[A]\r\n[x=2\r\nk=w\r\nj=\xAC00\r\n"));
  GetPrivateProfileStringA("A", "k", "", text, sizeof text, unicode.c_str());
  EXPECT_STREQ(text, "w");
  GetPrivateProfileStringA("A", "[x", "", text, sizeof text, unicode.c_str());
  EXPECT_STREQ(text, "2");
  if (GetACP() == 949) {
    GetPrivateProfileStringA("A", "j", "", text, sizeof text, unicode.c_str());
    EXPECT_STREQ(text, "\xB0\xA1");
  }

  // A read-only file is left alone.
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(WriteProfileString("Version", "Client", "0.217", path.c_str()));
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  GetPrivateProfileStringA("Version", "Client", "", text, sizeof text, path.c_str());
  EXPECT_STREQ(text, "0.216");
}

}  // namespace
