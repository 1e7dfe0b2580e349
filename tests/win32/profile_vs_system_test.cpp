// Our profile reader is used on every platform; here it reads the same tricky files as
// the system's GetPrivateProfileStringA and must give the same text and count.
#include <windows.h>
// The system's win.ini writer has a macro of our writer's name.
#undef WriteProfileString

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "service/profile.h"
#include "support/sandbox.h"

namespace {

struct Lookup {
  const char* section;
  const char* key;
  unsigned size;
  // Wine's reader cuts a quoted value one character short when the destination ends
  // exactly where the closing quote stood; there it gives this instead of our text.
  const char* wineGives = nullptr;
};

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

struct Case {
  const char* what;
  std::string file;  // bytes; NUL bytes included
  std::vector<Lookup> lookups;
};

constexpr char kNulInValue[] = "[M]\r\nk=4\0" "80\r\nj=2\r\n";

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

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"plain", "[Machine]\r\nFuel=480\r\nKEST=12.5\r\n",
       {{"Machine", "Fuel", 256}, {"Machine", "KEST", 256}, {"Machine", "Code", 256}, {"Site", "Fuel", 256}}},
      {"names match without regard to case", "[mAcHiNe]\r\nfUeL=1\r\n", {{"MACHINE", "fuel", 256}}},
      {"blanks around names and values", "  [ Machine ]  \r\n  Fuel  =  480  \r\n\t Code\t=\t7\t\r\n",
       {{"Machine", "Fuel", 256}, {"Machine", "Code", 256}}},
      {"vertical tab, form feed and Ctrl-Z count as blanks", "[M]\r\nA=\v1\f\r\nB=2\x1a\r\n",
       {{"M", "A", 256}, {"M", "B", 256}}},
      {"enclosing quotes", "[Q]\r\na=\"480\"\r\nb='x y'\r\nc=\"x'\r\nd=\"\r\ne=\"\"\r\nf= \" q \" \r\ng=\"a\"b\"\r\n",
       {{"Q", "a", 256}, {"Q", "b", 256}, {"Q", "c", 256}, {"Q", "d", 256}, {"Q", "e", 256}, {"Q", "f", 256},
        {"Q", "g", 256}}},
      {"quotes and a short destination", "[Q]\r\na=\"abcdef\"\r\n", {{"Q", "a", 4}, {"Q", "a", 7, "abcde"}, {"Q", "a", 8}}},
      {"'=' inside a value, and a key split at the first '='", "[E]\r\nk=a=b==c\r\nx = = y\r\n",
       {{"E", "k", 256}, {"E", "x", 256}}},
      {"';' and '#' are not comments", "[C]\r\n;k=1\r\n#j=2\r\nk=3 ; note\r\n",
       {{"C", ";k", 256}, {"C", "#j", 256}, {"C", "k", 256}}},
      {"long values are cut to size - 1", "[L]\r\nv=" + std::string(300, 'x') + "\r\nw=abcdefgh\r\n",
       {{"L", "v", 256}, {"L", "w", 5}, {"L", "w", 2}, {"L", "w", 9}}},
      {"the first of two keys wins", "[D]\r\nk=1\r\nk=2\r\n", {{"D", "k", 256}}},
      {"a key without '=' reads as the default", "[N]\r\nlonely\r\nk=1\r\n", {{"N", "lonely", 256}, {"N", "k", 256}}},
      {"an empty value", "[V]\r\nk=\r\nj=   \r\n", {{"V", "k", 256}, {"V", "j", 256}}},
      {"keys before the first section", "k=top\r\n[S]\r\nk=in\r\n", {{"", "k", 256}, {"S", "k", 256}}},
      {"LF, CR and runs of both end lines", "[A]\nk=1\r[B]\r\r\n\nk=2\n\n\n",
       {{"A", "k", 256}, {"B", "k", 256}}},
      {"a section name runs to the last ']'", "[A]B] \r\nk=1\r\n[ C ] trailing\r\nk=2\r\n",
       {{"A]B", "k", 256}, {"C", "k", 256}}},
      {"UTF-8 byte-order mark before the first section", "\xEF\xBB\xBF[Machine]\r\nFuel=9\r\n",
       {{"Machine", "Fuel", 256}}},
      {"no line end at the end of the file", "[Machine]\r\nFuel=480", {{"Machine", "Fuel", 256}}},
      {"code page 949 bytes stay as they are", "[Machine]\r\nName=\xB1\xE8\xC3\xA4\xB1\xBC\r\nLocate=1.5\xA1\xC6\r\n",
       {{"Machine", "Name", 256}, {"Machine", "Locate", 256}}},
      {"a NUL byte ends the value", std::string(kNulInValue, sizeof kNulInValue - 1), {{"M", "k", 256}, {"M", "j", 256}}},
      {"an empty file", "", {{"M", "k", 256}}},
      {"a section header alone", "[M]", {{"M", "k", 256}}},
  };
  return cases;
}

class ProfileVsSystemTest : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(ProfileVsSystemTest, ReadsTrickyFilesAsTheSystemDoes) {
  int fileNumber = 0;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    // A fresh name per file: the system keeps a cache of profile files it has read.
    const std::string path = box.File("case" + std::to_string(fileNumber++) + ".ini");
    WriteFileBytes(path, c.file);
    for (const Lookup& l : c.lookups) {
      SCOPED_TRACE(std::string("[") + l.section + "] " + l.key + " size " + std::to_string(l.size));
      std::vector<char> ours(l.size + 1, '#'), system(l.size + 1, '#');
      const size_t oursCount = ReadProfileString(l.section, l.key, "dflt", ours.data(), l.size, path.c_str());
      const DWORD systemCount =
          GetPrivateProfileStringA(l.section, l.key, "dflt", system.data(), l.size, path.c_str());
      if (l.wineGives != nullptr && RunningUnderWine()) {
        EXPECT_EQ(std::string(system.data(), systemCount), l.wineGives);
        EXPECT_EQ(std::string(ours.data(), oursCount), "abcdef");
        continue;
      }
      EXPECT_EQ(Visible(std::string(ours.data(), oursCount)), Visible(std::string(system.data(), systemCount)));
      EXPECT_EQ(oursCount, systemCount);
    }
  }
}

TEST_F(ProfileVsSystemTest, MissingFileAndFolderGiveTheDefault) {
  for (const std::string& path : {box.File("none.ini"), box.File("no\\such\\folder\\x.ini"), box.MakeDir("dir.ini")}) {
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

  // A read-only file is left alone.
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(WriteProfileString("Version", "Client", "0.217", path.c_str()));
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  GetPrivateProfileStringA("Version", "Client", "", text, sizeof text, path.c_str());
  EXPECT_STREQ(text, "0.216");
}

}  // namespace
