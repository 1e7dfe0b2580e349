#include "profile/profile.h"

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

// The behaviours the system's reader shares are in the table of profile_cases.h, which
// profile_table_test.cpp and the Windows comparison read. Here: what is ours alone.

// Only ASCII letters fold in our reader; bytes above 0x7F are compared as they are (not in
// the shared table: the system's reader is not held to this).
TEST_F(ProfileReadCases, OnlyAsciiLettersFold) {
  Check({
      {"only ASCII folds", "[\xC0]\nk=1\n", "\xE0", "k", kDefault},
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
