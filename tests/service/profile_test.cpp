#include "service/profile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "support/sandbox.h"

using namespace std::string_literals;

namespace {

constexpr const char* kDefault = "<default>";
constexpr std::size_t kCanary = 16;

// Reads through a buffer of `size` bytes followed by canary bytes, and checks that the
// reader neither wrote past dest[size - 1] nor miscounted what it copied.
std::string ReadFrom(const std::string& path, const std::string& section, const std::string& key,
                     std::size_t size = 256, const char* defaultValue = kDefault) {
  std::vector<char> buffer(size + kCanary, '#');
  const std::size_t n =
      ReadProfileString(section.c_str(), key.c_str(), defaultValue, buffer.data(), size, path.c_str());
  for (std::size_t i = size; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], '#') << "wrote past the end at " << i;
  }
  if (size == 0) return "<nothing>";
  EXPECT_LT(n, size);
  EXPECT_EQ(buffer[n], '\0');
  return std::string(buffer.data(), n);
}

// Writes `bytes` of `chunk` repeated, in pieces, so the test itself stays small too.
void AppendRepeated(std::ofstream& out, char fill, std::size_t bytes) {
  const std::string chunk(64 * 1024, fill);
  while (bytes > 0) {
    const std::size_t n = bytes < chunk.size() ? bytes : chunk.size();
    out.write(chunk.data(), static_cast<std::streamsize>(n));
    bytes -= n;
  }
}

// Deterministic bytes of every value, NUL, CR, LF, brackets and quotes included.
void AppendGarbage(std::ofstream& out, std::size_t bytes, std::uint32_t seed) {
  std::string chunk(64 * 1024, '\0');
  while (bytes > 0) {
    for (char& c : chunk) {
      seed = seed * 1664525u + 1013904223u;
      c = static_cast<char>(seed >> 24);
    }
    const std::size_t n = bytes < chunk.size() ? bytes : chunk.size();
    out.write(chunk.data(), static_cast<std::streamsize>(n));
    bytes -= n;
  }
}

class ProfileRead : public ::testing::Test {
 protected:
  std::string Read(const std::string& content, const std::string& section, const std::string& key,
                   std::size_t size = 256) {
    WriteFileBytes(path_, content);
    return ReadFrom(path_, section, key, size);
  }

  Sandbox box_;
  std::string path_ = box_.File("qx_ui.dat");
};

struct ReadCase {
  const char* what;
  std::string content;
  std::string section;
  std::string key;
  std::string expected;
};

// Runs in a child process: caps the address space at what the process uses now plus
// 16 MB, then reads the key at the end of the file. Exit code 0 when it was found.
int ReadUnderAddressSpaceCap(const std::string& path) {
  long pages = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  if (pages <= 0) return 3;
  const rlim_t cap =
      static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + 16u * 1024 * 1024;
  struct rlimit limit = {cap, cap};
  if (setrlimit(RLIMIT_AS, &limit) != 0) return 4;
  char value[256];
  ReadProfileString("zzTarget", "k", "", value, sizeof value, path.c_str());
  return std::strcmp(value, "found") == 0 ? 0 : 1;
}

}  // namespace

// Runs a table of files and reads, each read checked for its bounds.
class ProfileReadCases : public ProfileRead {
 protected:
  void Check(const std::vector<ReadCase>& cases) {
    for (const ReadCase& c : cases) {
      EXPECT_EQ(Read(c.content, c.section, c.key), c.expected) << c.what;
    }
  }
};

TEST_F(ProfileReadCases, NamesMatchWithoutRegardToAsciiCaseAndBlanks) {
  Check({
      {"plain", "[Machine]\r\nFuel=25\r\n", "Machine", "Fuel", "25"},
      {"section case", "[mAcHiNe]\r\nFuel=25\r\n", "MACHINE", "Fuel", "25"},
      {"key case", "[Machine]\r\nfUeL=25\r\n", "Machine", "FUEL", "25"},
      {"only ASCII folds", "[\xC0]\nk=1\n", "\xE0", "k", kDefault},
      {"blanks and tabs around everything",
       " \t[ \tMachine\t ] \t\r\n \t Fuel \t=\t 25 \t\r\n", "Machine", "Fuel", "25"},
      {"VT, FF and Ctrl-Z are blanks", "\x1A[Machine]\x1A\r\n\v\fFuel\x1A=\x1A 25\v\f\x1A\r\n",
       "Machine", "Fuel", "25"},
      {"names asked for are trimmed like the file's", "[ s ]\nk1=a\n", " s\t", "\vk1 ", "a"},
      {"blanks inside a name count", "[A]\nfu el=1\nfuel=2\n", "A", "fuel", "2"},
      {"inner blanks, '=', ';' and '#' stay in the value", "[A]\nk= a = b ;c #d \n", "A", "k",
       "a = b ;c #d"},
      {"';' line is a key", "[A]\n;k=1\n#k=2\nk=3\n", "A", ";k", "1"},
      {"'#' line is a key", "[A]\n;k=1\n#k=2\nk=3\n", "A", "#k", "2"},
      {"a commented header is a key of section \"\"", ";[A]\nk=1\n[A]\nk=2\n", "A", "k", "2"},
      {"missing section", "[A]\nk=1\n", "B", "k", kDefault},
      {"missing key", "[A]\nk=1\n", "A", "j", kDefault},
      {"key of a later section does not leak back", "[A]\nx=1\n[B]\nk=2\n", "A", "k", kDefault},
      {"empty file", "", "A", "k", kDefault},
  });
}

TEST_F(ProfileReadCases, OnePairOfEnclosingQuotesIsDropped) {
  Check({
      {"double quotes", "[A]\nk=\"abc\"\n", "A", "k", "abc"},
      {"single quotes", "[A]\nk='abc'\n", "A", "k", "abc"},
      {"quotes after trimming, blanks inside kept", "[A]\nk=  \" a b \"  \n", "A", "k", " a b "},
      {"mismatched pair kept", "[A]\nk=\"abc'\n", "A", "k", "\"abc'"},
      {"mismatched pair kept, other way", "[A]\nk='abc\"\n", "A", "k", "'abc\""},
      {"lone double quote", "[A]\nk=\"\n", "A", "k", "\""},
      {"lone single quote", "[A]\nk='\n", "A", "k", "'"},
      {"empty quotes", "[A]\nk=\"\"\n", "A", "k", ""},
      {"only one pair", "[A]\nk=\"\"x\"\"\n", "A", "k", "\"x\""},
      {"quote not at the end", "[A]\nk=\"a\" b\n", "A", "k", "\"a\" b"},
      {"quote only at the end", "[A]\nk=x\"\n", "A", "k", "x\""},
  });
}

TEST_F(ProfileReadCases, FirstSectionAndFirstKeyOfANameWin) {
  const std::string dup = "[A]\nk=1\n[B]\nk=2\n[a]\nk=3\nj=4\n";
  Check({
      {"first section", dup, "A", "k", "1"},
      {"later section of the name is not searched", dup, "A", "j", kDefault},
      {"other section", dup, "B", "k", "2"},
      {"first key", "[A]\nk=1\nK=2\n", "A", "k", "1"},
      {"section order does not matter", "[B]\nk=2\n[A]\nk=1", "A", "k", "1"},
  });
}

TEST_F(ProfileReadCases, LineWithoutEqualsIsAKeyWithoutValue) {
  Check({
      {"shadows a later key=value", "[A]\nk\nk=2\n", "A", "k", kDefault},
      {"with blanks", "[A]\n  k \t\nk=2\n", "A", "k", kDefault},
      {"other name does not shadow", "[A]\nkey\nk=2\n", "A", "k", "2"},
      {"empty value is a value, not the default", "[A]\nk=\nk=2\n", "A", "k", ""},
      {"blank value", "[A]\nk = \t\n", "A", "k", ""},
      {"'=' first names the key \"\"", "[A]\n=v\n", "A", "", "v"},
      {"'=' after blanks", "[A]\n  = v \n", "A", "", "v"},
      {"lines of blanks are no keys", "[A]\n   \n\t\nk=1\n", "A", "k", "1"},
      {"nor keys named \"\"", "[A]\n   \n\t\nk=1\n", "A", "", kDefault},
  });
}

TEST_F(ProfileReadCases, AnyRunOfCrLfEndsALine) {
  Check({
      {"CRLF", "[A]\r\nk=1\r\nj=2\r\n", "A", "j", "2"},
      {"LF", "[A]\nk=1\nj=2", "A", "j", "2"},
      {"CR alone", "[A]\rk=1\rj=2\r", "A", "j", "2"},
      {"CR alone, value before it", "[A]\rk=1\rj=2\r", "A", "k", "1"},
      {"mixed runs", "[A]\r\n\r\n\n\rk=1\n\r\r\nj=2", "A", "j", "2"},
      {"no line end at the end", "[A]\r\nk=1", "A", "k", "1"},
  });
}

TEST_F(ProfileReadCases, ByteOrderMarkOnlyAtTheVeryStart) {
  const std::string bom = "\xEF\xBB\xBF";
  Check({
      {"skipped", bom + "[A]\r\nk=1\r\n", "A", "k", "1"},
      {"skipped before a key of section \"\"", bom + "k=1\r\n", "", "k", "1"},
      {"elsewhere it is part of the name", "[A]\n" + bom + "k=1\n", "A", "k", kDefault},
      {"a second one is not skipped", bom + bom + "[A]\nk=1\n", "A", "k", kDefault},
      {"a partial one is not skipped", "\xEF\xBB[A]\nk=1\n", "A", "k", kDefault},
  });
}

TEST_F(ProfileReadCases, KeysBeforeTheFirstSectionFormSectionWithEmptyName) {
  Check({
      {"leading key", "k=1\n[A]\nk=2\n", "", "k", "1"},
      {"named section unaffected", "k=1\n[A]\nk=2\n", "A", "k", "2"},
      {"section \"\" ends at the first header", "x=1\n[A]\nk=2\n", "", "k", kDefault},
      {"the lines before the first header come first, even with no key", "[A]\nk=2\n[]\nk=3\n", "", "k",
       kDefault},
      {"[ ] too", "[A]\nk=2\n[ \t]\nk=3\n", "", "k", kDefault},
      {"a query of blanks is \"\"", "k=1\n[A]\n", " \t", "k", "1"},
      {"[] still ends the section before it", "[A]\nx=1\n[]\nk=3\n", "A", "k", kDefault},
      {"with leading keys, a later [] is a second one", "k=1\n[]\nj=3\n", "", "j", kDefault},
      {"a second [] is not searched", "[]\nk=1\n[]\nj=2\n", "", "j", kDefault},
  });
}

TEST_F(ProfileReadCases, NulCutsANameOrValueButNotTheLine) {
  Check({
      {"in a value", "[A]\nk=ab\0cd\n"s, "A", "k", "ab"},
      {"the value's blanks before it stay", "[A]\nk=ab \0cd\n"s, "A", "k", "ab "},
      {"quotes pair within what is left", "[A]\nk=\"ab\"\0cd\"\n"s, "A", "k", "ab"},
      {"closing quote after it no longer pairs", "[A]\nk=\"ab\0\"\n"s, "A", "k", "\"ab"},
      {"right after '='", "[A]\nk=\0cd\n"s, "A", "k", ""},
      {"in a key before '='", "[A]\nk\0=1\nk=2\n"s, "A", "k", "1"},
      {"in a key, the '=' behind it still splits", "[A]\nk\0x=1\nk=2\n"s, "A", "k", "1"},
      {"... so the whole name is not there", "[A]\nk\0x=1\n"s, "A", "kx", kDefault},
      {"in a key, blanks before it stay in the name", "[A]\nk \0x=1\nk=2\n"s, "A", "k", "2"},
      {"in a section name, blanks before it stay", "[A \0B]\nk=1\n"s, "A", "k", kDefault},
      {"a ']' behind it still closes the header", "[A]\0]\nk=1\n"s, "A]", "k", "1"},
      {"a header without ']' before it is a key", "[A\0\nk=1\n"s, "A", "k", kDefault},
      {"in a section name", "[A\0B]\nk=1\n"s, "A", "k", "1"},
      {"first on a line: a key named \"\"", "[A]\n\0k=1\nk=2\n"s, "A", "k", "2"},
      {"... found as such", "[A]\n \0k=1\nk=2\n"s, "A", "", "1"},
      {"a NUL-first header is no header", "\0[A]\nk=1\n"s, "A", "k", kDefault},
      {"... so its keys are in section \"\"", "\0[A]\nk=1\n"s, "", "k", "1"},
      {"the next line reads normally", "[A]\nk=1\0\n[B]\nj=2\n"s, "B", "j", "2"},
  });
}

TEST_F(ProfileReadCases, BracketsInEveryPlace) {
  Check({
      {"'[' without ']' is a key line", "[A=1\n", "", "[A", "1"},
      {"... in the section before it", "[S]\n[A=1\nk=2\n", "S", "[A", "1"},
      {"... whose keys go on after it", "[S]\n[A=1\nk=2\n", "S", "k", "2"},
      {"... and names no section", "[S]\n[A=1\nk=2\n", "A=1", "k", kDefault},
      {"... nor without '='", "[S]\n[A\nk=2\n", "A", "k", kDefault},
      {"... which reads as the default", "[S]\n[A\nk=2\n", "S", "[A", kDefault},
      {"... blanks inside kept", "[S]\n [ x = 1 \n", "S", "[ x", "1"},
      {"a ']' after '=' still makes a header", "[S]\n[x]=1\nk=2\n", "x", "k", "2"},
      {"name runs to the last ']'", "[A]]\nk=1\n", "A]", "k", "1"},
      {"... so the shorter name is not it", "[A]]\nk=1\n", "A", "k", kDefault},
      {"inner ']' and blanks", "[A] x ]y\nk=1\n", "A] x", "k", "1"},
      {"text after ']' ignored", "[A]junk\nk=1\n", "A", "k", "1"},
      {"nested brackets", "[[A]]\nk=1\n", "[A]", "k", "1"},
      {"']' before '[' is a key line", "]A[\nk=1\n", "", "k", "1"},
      {"... without value", "]A[\nk=1\n", "", "]A[", kDefault},
      {"... or with one", "]x=1\n", "", "]x", "1"},
      {"a lone '[' is a key of section \"\"", "[\nk=1\n", "", "k", "1"},
      {"... without value", "[\nk=1\n", "", "[", kDefault},
      {"'[' not first is no header", "x[A]\nk=1\n", "A", "k", kDefault},
      {"']' right after '['", "[]A]\nk=1\n", "]A", "k", "1"},
  });
}

TEST_F(ProfileReadCases, NamesLongerThanAnythingKeptStillCompareWhole) {
  const std::string longKey(1000, 'n');
  const std::string longSection(5000, 's');
  const std::string file = "[" + longSection + "]\n" + longKey + "=v\n";
  Check({
      {"exact", file, longSection, longKey, "v"},
      {"key one shorter", file, longSection, longKey.substr(1), kDefault},
      {"key one longer", file, longSection, longKey + "n", kDefault},
      {"section one shorter", file, longSection.substr(1), longKey, kDefault},
      {"section one longer", file, longSection + "s", longKey, kDefault},
      {"differs at the last byte", file, longSection.substr(1) + "t", longKey, kDefault},
  });
}

TEST_F(ProfileRead, ValueIsCutToSizeLessOneAfterTrimmingAndQuotes) {
  const std::string value(300, 'v');
  std::string numbered;
  for (int i = 0; i < 300; ++i) numbered += static_cast<char>('a' + i % 26);
  struct Case {
    const char* what;
    std::string value;
    std::size_t size;
    std::string expected;
  } cases[] = {
      {"300 at 256", numbered, 256, numbered.substr(0, 255)},
      {"300 at 32", numbered, 32, numbered.substr(0, 31)},
      {"quoted 300 at 256", "\"" + numbered + "\"", 256, numbered.substr(0, 255)},
      {"quoted 300 at 32", "'" + numbered + "'", 32, numbered.substr(0, 31)},
      {"quoted, exactly fits", "\"" + value.substr(0, 255) + "\"", 256, value.substr(0, 255)},
      {"quoted, one short", "\"" + value.substr(0, 254) + "\"", 256, value.substr(0, 254)},
      {"unquoted exactly fits", value.substr(0, 255), 256, value.substr(0, 255)},
      {"trailing blanks past the cut", value.substr(0, 254) + "   \t", 256, value.substr(0, 254)},
      {"blanks kept when the cut falls inside", "abc" + std::string(300, ' ') + "d", 5, "abc "},
      {"blanks after the closing quote", "\"abc\"   ", 8, "abc"},
      {"quoted at size 2", "\"xy\"", 2, "x"},
      {"quoted at size 1", "\"xy\"", 1, ""},
      {"unquoted at size 1", "xy", 1, ""},
  };
  for (const Case& c : cases) {
    WriteFileBytes(path_, "[Machine]\r\nName=  " + c.value + "  \r\n[Next]\r\nName=x\r\n");
    EXPECT_EQ(ReadFrom(path_, "Machine", "Name", c.size), c.expected) << c.what;
  }
}

TEST_F(ProfileRead, DefaultIsCopiedTheSameWay) {
  const std::string missing = box_.File("missing.ini");
  EXPECT_EQ(ReadFrom(missing, "A", "k", 256, "fallback"), "fallback");
  EXPECT_EQ(ReadFrom(missing, "A", "k", 4, "abcdef"), "abc");
  EXPECT_EQ(ReadFrom(missing, "A", "k", 256, nullptr), "");
  EXPECT_EQ(ReadFrom(box_.Path(), "A", "k", 256, "a folder"), "a folder");
  // Neither a pipe without writer nor an endless device may hold the reader up.
  const std::string pipe = box_.File("pipe.dat");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(ReadFrom(pipe, "A", "k", 256, "a pipe"), "a pipe");
  EXPECT_EQ(ReadFrom("/dev/zero", "A", "k", 256, "a device"), "a device");

  // size 0 copies nothing, not even the terminator.
  char untouched[4] = {'#', '#', '#', '#'};
  WriteFileBytes(path_, "[A]\nk=1\n");
  EXPECT_EQ(ReadProfileString("A", "k", "d", untouched, 0, path_.c_str()), 0u);
  EXPECT_EQ(std::string(untouched, 4), "####");
}

TEST_F(ProfileRead, TenMegabyteSingleLines) {
  const std::size_t tenMb = 10u * 1024 * 1024;
  {
    std::ofstream out(path_, std::ios::binary);
    out << "[A]\r\nk=";
    AppendRepeated(out, 'x', tenMb);  // no line end at all
  }
  EXPECT_EQ(ReadFrom(path_, "A", "k"), std::string(255, 'x'));
  EXPECT_EQ(ReadFrom(path_, "A", "j"), kDefault);

  {
    std::ofstream out(path_, std::ios::binary);
    out << "[";
    AppendRepeated(out, 'A', tenMb);
    out << "]\r\nk=long section\r\n[A]\r\nbig=";
    AppendRepeated(out, 'y', tenMb);
    out << "\r\n[B]\r\nk=after\r\n";
  }
  EXPECT_EQ(ReadFrom(path_, "A", "k"), kDefault);
  EXPECT_EQ(ReadFrom(path_, "A", "big", 32), std::string(31, 'y'));
  EXPECT_EQ(ReadFrom(path_, "B", "k"), "after");
}

TEST_F(ProfileRead, BinaryGarbageNeitherCrashesNorHidesLaterSections) {
  {
    std::ofstream out(path_, std::ios::binary);
    AppendGarbage(out, 1024 * 1024, 216);
    out << "\n[zzTarget]\nk=found\n";
  }
  const char* names[] = {"", "A", "Machine", "\x01", "["};
  for (const char* section : names) {
    for (const char* key : names) {
      for (std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{256}}) {
        ReadFrom(path_, section, key, size);  // bounds are checked inside
      }
    }
  }
  EXPECT_EQ(ReadFrom(path_, "zzTarget", "k"), "found");
}

// The reader must stream: with the address space capped well below the file's size,
// a reader that loads or maps the file fails, one that streams reads the last key.
TEST(ProfileReadMemory, FiftyMegabytesReadUnderATightAddressSpaceCap) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers reserve address space of their own";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  GTEST_SKIP() << "sanitizers reserve address space of their own";
#endif
#endif
  Sandbox box;
  const std::string path = box.File("qx_sn.dat");
  {
    std::ofstream out(path, std::ios::binary);
    AppendGarbage(out, 50u * 1024 * 1024, 949);
    out << "\r\n[zzTarget]\r\nk=found\r\n";
  }
  EXPECT_EXIT(std::_Exit(ReadUnderAddressSpaceCap(path)), ::testing::ExitedWithCode(0), "");
}
