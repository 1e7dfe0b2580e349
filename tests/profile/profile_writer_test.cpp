#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "profile/profile.h"
#include "support/sandbox.h"

using namespace std::string_literals;

namespace {

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

std::string ReadBack(const std::string& path, const char* section, const char* key) {
  char value[256];
  ReadProfileString(section, key, "<default>", value, sizeof value, path.c_str());
  return value;
}

// Checks done in a child process end in its exit code, one bit per failed check.
int Failures(std::initializer_list<bool> checks) {
  int code = 0;
  int bit = 1;
  for (bool ok : checks) {
    if (!ok) code |= bit;
    bit <<= 1;
  }
  return code;
}

// Root ignores permission bits, so permission cases run as an ordinary user: the
// files handed to that user beforehand, the switch made in the child process only.
constexpr uid_t kNobody = 65534;

void HandOver(const std::string& path) {
  if (geteuid() == 0) {
    ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0) << path;
  }
}

bool BecomeOrdinaryUser() {
  if (geteuid() != 0) return true;
  return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
}

// Child process: as an ordinary user, neither a file in a read-only folder nor a
// read-only file is replaced, while a new file in a writable folder is written.
int WriteAsOrdinaryUser(const std::string& before, const std::string& inReadOnlyFolder,
                        const std::string& readOnlyFile, const std::string& writableFolder) {
  if (!BecomeOrdinaryUser()) return 255;
  return Failures({
      !WriteProfileString("Version", "Client", "2", inReadOnlyFolder.c_str()),
      ReadFileBytes(inReadOnlyFolder) == before,
      !WriteProfileString("Version", "Client", "2", readOnlyFile.c_str()),
      ReadFileBytes(readOnlyFile) == before,
      Entries(writableFolder) == std::vector<std::string>{"config.ini"},
      WriteProfileString("Version", "Client", "2", (writableFolder + "/other.ini").c_str()),
  });
}

// Child process: under a 4096-byte file size limit, a write that would make the
// file larger fails halfway.
int WriteOverSizeLimit(const std::string& before, const std::string& path, const std::string& folder) {
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = {4096, 4096};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 255;
  const std::string big(2000, 'v');
  return Failures({
      !WriteProfileString("Version", "Client", big.c_str(), path.c_str()),
      ReadFileBytes(path) == before,
      Entries(folder) == std::vector<std::string>{"config.ini"},
  });
}

}  // namespace

class ProfileWrite : public ::testing::Test {
 protected:
  Sandbox box_;
  std::string path_ = box_.File("config.ini");
};

TEST_F(ProfileWrite, ChangesOnlyWhatItMustByteForByte) {
  struct Case {
    const char* what;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  } cases[] = {
      {"replace keeps comments, other keys, blanks and line ends",
       "; settings\r\n[SerialNo]\r\nNo=KX-1\r\n\r\n[Version]\r\n# note\r\n  Client = 0.215 ; old "
       "\r\nOther=1\r\n",
       "Version", "Client", "0.216",
       "; settings\r\n[SerialNo]\r\nNo=KX-1\r\n\r\n[Version]\r\n# note\r\n  Client = 0.216 \r\nOther=1\r\n"},
      {"names match without regard to case", "[version]\r\nCLIENT=1\r\n", "Version", "Client", "2",
       "[version]\r\nCLIENT=2\r\n"},
      {"only the first key of the first section", "[V]\nc=1\nC=2\n[v]\nc=3\n", "V", "c", "9",
       "[V]\nc=9\nC=2\n[v]\nc=3\n"},
      {"quotes are part of the replaced value", "[V]\nc=\"0.1\"\n", "V", "c", "0.2", "[V]\nc=0.2\n"},
      {"empty value", "[V]\nc=\n", "V", "c", "0.2", "[V]\nc=0.2\n"},
      {"blank value: new value right after '='", "[V]\nc =  \n", "V", "c", "0.2", "[V]\nc =0.2  \n"},
      {"key without '=' gets one", "[V]\nc\nc=1\n", "V", "c", "0.2", "[V]\nc=0.2\nc=1\n"},
      {"... keeping its blanks", "[V]\n c \n", "V", "c", "0.2", "[V]\n c=0.2 \n"},
      {"bytes after a NUL stay", "[V]\nc=1\0junk\n"s, "V", "c", "0.2", "[V]\nc=0.2\0junk\n"s},
      {"... and blanks would not end the value there", "[V]\nc= \0junk\n"s, "V", "c", "\"q\" ",
       "[V]\nc= \"q\"\0junk\n"s},
      {"new key after the section's last line, before blank lines", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "A",
       "k", "v", "[A]\r\nx=1\r\nk=v\r\n\r\n[B]\r\ny=2\r\n"},
      {"... LF file gets LF", "[A]\nx=1\n\n[B]\n", "A", "k", "v", "[A]\nx=1\nk=v\n\n[B]\n"},
      {"... lines of blanks count as blank", "[A]\r\n  \r\n\r\n[B]\r\n", "A", "k", "v",
       "[A]\r\nk=v\r\n  \r\n\r\n[B]\r\n"},
      {"... section at the end without a line end", "[A]\nx=1", "A", "k", "v", "[A]\nx=1\nk=v\n"},
      {"... header alone, no line ends yet: CRLF", "[A]", "A", "k", "v", "[A]\r\nk=v\r\n"},
      {"... first of duplicate sections", "[A]\nx=1\n[B]\n[A]\ny=2\n", "A", "k", "v",
       "[A]\nx=1\nk=v\n[B]\n[A]\ny=2\n"},
      {"... before a trailing Ctrl-Z", "[A]\r\nx=1\r\n\x1A", "A", "k", "v", "[A]\r\nx=1\r\nk=v\r\n\x1A"},
      {"new section at the end", "[A]\nx=1\n", "B", "k", "v", "[A]\nx=1\n[B]\nk=v\n"},
      {"... after a last line without line end", "[A]\r\nx=1", "B", "k", "v", "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
      {"... CR-only file gets CRLF", "[A]\rx=1\r", "B", "k", "v", "[A]\rx=1\r[B]\r\nk=v\r\n"},
      {"... mixed file gets CRLF", "[A]\nx=1\r\n", "B", "k", "v", "[A]\nx=1\r\n[B]\r\nk=v\r\n"},
      {"... empty file", "", "A", "k", "v", "[A]\r\nk=v\r\n"},
      {"byte-order mark kept", "\xEF\xBB\xBF[A]\nx=1\n", "A", "x", "2", "\xEF\xBB\xBF[A]\nx=2\n"},
      {"... also when it is all there is", "\xEF\xBB\xBF", "A", "k", "v", "\xEF\xBB\xBF[A]\r\nk=v\r\n"},
      {"key before the first section", "k=1\n[A]\n", "", "k", "2", "k=2\n[A]\n"},
      {"... new one joins them", "k=1\n[A]\n", "", "j", "3", "k=1\nj=3\n[A]\n"},
      {"section \"\" without leading keys: its first line opens the file", "[A]\nx=1\n", "", "k", "v",
       "k=v\n[A]\nx=1\n"},
      {"... after a byte-order mark", "\xEF\xBB\xBF[A]\nx=1\n", "", "k", "v", "\xEF\xBB\xBFk=v\n[A]\nx=1\n"},
      {"... a later [] is not that section", "[]\nk=1\n", "", "k", "v", "k=v\n[]\nk=1\n"},
      {"names asked for are trimmed like the file's", "[A]\nk=1\n", " A\t", "\tk ", "2", "[A]\nk=2\n"},
      {"... and written trimmed", "[A]\nk=1\n", " B ", " j ", "2", "[A]\nk=1\n[B]\nj=2\n"},
      {"'[' without ']' is a key of the section before it", "[A]\nx=1\n[x=1\nk=2\n", "A", "k", "3",
       "[A]\nx=1\n[x=1\nk=3\n"},
      {"... found as that key", "[A]\nx=1\n[x=1\nk=2\n", "A", "[x", "4", "[A]\nx=1\n[x=4\nk=2\n"},
      {"... and a new key goes after it", "[A]\n[x=1\n[B]\n", "A", "k", "5", "[A]\n[x=1\nk=5\n[B]\n"},
      {"... and such a key may be written", "[A]\n", "A", "[y", "6", "[A]\n[y=6\n"},
      {"a NUL in a key name cuts it", "[A]\nk\0x=1\n"s, "A", "k", "7", "[A]\nk\0x=7\n"s},
      {"a file saved as UTF-16 gets its text as UTF-16", "\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s, "A",
       "k", "\xB0\xA1x", "\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0\0\xACx\0\r\0\n\0"s},
      {"... a new section too", "\xFF\xFE[\0A\0]\0\n\0"s, "B", "j", "w",
       "\xFF\xFE[\0A\0]\0\n\0[\0B\0]\0\n\0j\0=\0w\0\n\0"s},
      {"... big-endian kept so", "\xFE\xFF\0[\0A\0]\0\n\0k\0=\0v"s, "A", "k", "\xA1\xC6",
       "\xFE\xFF\0[\0A\0]\0\n\0k\0=\0\xB0"s},
      {"a file marked UTF-8 gets UTF-8", "\xEF\xBB\xBF[A]\r\nk=v\r\n", "A", "k", "\xB0\xA1x",
       "\xEF\xBB\xBF[A]\r\nk=\xEA\xB0\x80x\r\n"},
      {"value written as given", "[A]\nk=1\n", "A", "k", " 'q' = ; ", "[A]\nk= 'q' = ; \n"},
  };
  for (const Case& c : cases) {
    WriteFileBytes(path_, c.before);
    EXPECT_TRUE(WriteProfileString(c.section, c.key, c.value, path_.c_str())) << c.what;
    EXPECT_EQ(ReadFileBytes(path_), c.after) << c.what;
  }
  EXPECT_EQ(Entries(box_.Path()), std::vector<std::string>{"config.ini"}) << "temporary files left";
}

TEST_F(ProfileWrite, CreatesAMissingFileForTheUserAlone) {
  // Whatever the umask lets through, config.ini (the machine's identity) is the user's.
  const mode_t mask = umask(0);
  const bool written = WriteProfileString("Version", "Client", "0.216", path_.c_str());
  umask(mask);
  ASSERT_TRUE(written);
  EXPECT_EQ(ReadFileBytes(path_), "[Version]\r\nClient=0.216\r\n");
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// Root may write any file; a file without write bits is still not replaced, as the
// client would otherwise do when run as root.
TEST_F(ProfileWrite, FileWithoutWriteBitsIsNotReplacedEvenByRoot) {
  const std::string before = "[Version]\r\nClient=1\r\n";
  for (mode_t mode : {0444, 0400, 0000}) {
    SCOPED_TRACE(mode);
    WriteFileBytes(path_, before);
    ASSERT_EQ(chmod(path_.c_str(), mode), 0);
    EXPECT_FALSE(WriteProfileString("Version", "Client", "2", path_.c_str()));
    ASSERT_EQ(chmod(path_.c_str(), 0600), 0);
    EXPECT_EQ(ReadFileBytes(path_), before);
  }
  EXPECT_EQ(Entries(box_.Path()), std::vector<std::string>{"config.ini"}) << "temporary files left";
}

TEST_F(ProfileWrite, KeepsPermissionBitsAndWritesThroughSymbolicLinks) {
  WriteFileBytes(path_, "[Version]\nClient=1\n");
  ASSERT_EQ(chmod(path_.c_str(), 0604), 0);
  ASSERT_TRUE(WriteProfileString("Version", "Client", "2", path_.c_str()));
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);

  const std::string link = box_.File("link.ini");
  ASSERT_EQ(symlink("config.ini", link.c_str()), 0);
  ASSERT_TRUE(WriteProfileString("Version", "Client", "3", link.c_str()));
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFileBytes(path_), "[Version]\nClient=3\n");
}

TEST_F(ProfileWrite, RefusesWhatWouldNotReadBackAndTouchesNothing) {
  const std::string before = "[A]\r\nk=1\r\n";
  struct Case {
    const char* what;
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"value with CRLF", "A", "k", "2\r\n[B]"},
      {"value with LF", "A", "k", "2\nx=y"},
      {"value with CR", "A", "k", "2\rx=y"},
      {"section with LF", "A\nB", "k", "2"},
      {"key with CR", "k\r", "k", "2"},
      {"key with '='", "A", "k=j", "2"},
      {"a key line that would read as a section", "A", "[k]", "2"},
      {"... through its value", "A", "[k", "2]"},
      {"a key that would open the file as a byte-order mark", "", "\xEF\xBB\xBFk", "2"},
      {"... of UTF-16", "", "\xFF\xFEk", "2"},
      {"null section", nullptr, "k", "2"},
      {"null key", "A", nullptr, "2"},
      {"null value", "A", "k", nullptr},
  };
  for (const Case& c : cases) {
    WriteFileBytes(path_, before);
    EXPECT_FALSE(WriteProfileString(c.section, c.key, c.value, path_.c_str())) << c.what;
    EXPECT_EQ(ReadFileBytes(path_), before) << c.what;
  }
  EXPECT_FALSE(WriteProfileString("A", "k", "2", nullptr));

  // A file saved as Unicode takes only text that has a Unicode form.
  const std::string unicode = "\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0\x31\0\r\0\n\0"s;
  WriteFileBytes(path_, unicode);
  EXPECT_FALSE(WriteProfileString("A", "k", "\xFF", path_.c_str()));
  EXPECT_FALSE(WriteProfileString("A", "\xB0", "2", path_.c_str()));  // half a character
  EXPECT_EQ(ReadFileBytes(path_), unicode);
  EXPECT_EQ(Entries(box_.Path()), std::vector<std::string>{"config.ini"});
}

TEST_F(ProfileWrite, FolderPipeOrMissingFolderAtThePathFails) {
  const std::string folder = box_.MakeDir("config.ini.d");
  EXPECT_FALSE(WriteProfileString("A", "k", "v", folder.c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_TRUE(Entries(folder).empty());

  const std::string pipe = box_.File("config.pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(WriteProfileString("A", "k", "v", pipe.c_str()));
  struct stat st;
  ASSERT_EQ(lstat(pipe.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  const std::string inMissing = box_.File("no/such/folder/config.ini");
  EXPECT_FALSE(WriteProfileString("A", "k", "v", inMissing.c_str()));
  EXPECT_FALSE(FileExists(box_.File("no")));
}

TEST_F(ProfileWrite, ReadOnlyFolderOrFileLeavesEverythingIntact) {
  const std::string before = "[Version]\r\nClient=1\r\n";
  ASSERT_EQ(chmod(box_.Path().c_str(), 0755), 0);
  const std::string readOnlyFolder = box_.MakeDir("ro");
  const std::string inReadOnlyFolder = readOnlyFolder + "/config.ini";
  WriteFileBytes(inReadOnlyFolder, before);
  HandOver(readOnlyFolder);
  HandOver(inReadOnlyFolder);
  ASSERT_EQ(chmod(readOnlyFolder.c_str(), 0555), 0);

  const std::string writableFolder = box_.MakeDir("rw");
  const std::string readOnlyFile = writableFolder + "/config.ini";
  WriteFileBytes(readOnlyFile, before);
  HandOver(writableFolder);
  HandOver(readOnlyFile);
  ASSERT_EQ(chmod(readOnlyFile.c_str(), 0444), 0);

  EXPECT_EXIT(std::_Exit(WriteAsOrdinaryUser(before, inReadOnlyFolder, readOnlyFile, writableFolder)),
              ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(Entries(readOnlyFolder), std::vector<std::string>{"config.ini"});
}

// A write that fails halfway (here: the file size limit, standing in for a full disk)
// must leave the original whole and no temporary file behind.
TEST_F(ProfileWrite, FailedWriteLeavesTheOriginal) {
  const std::string before = "[Version]\r\nClient=1\r\n" + std::string(3000, ';') + "\r\n";
  WriteFileBytes(path_, before);
  EXPECT_EXIT(std::_Exit(WriteOverSizeLimit(before, path_, box_.Path())), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadFileBytes(path_), before);
}

TEST_F(ProfileWrite, RoundTripsThroughTheReader) {
  struct Entry {
    const char* section;
    const char* key;
    const char* value;
    const char* readsAs;
  } entries[] = {
      {"SerialNo", "No", "KX-0042", "KX-0042"},
      {"Version", "Client", "0.216", "0.216"},
      {"Machine", "Key With Blanks", "a = b ; c # d", "a = b ; c # d"},
      {"Machine", "Spaced", "  padded  ", "padded"},
      {"Machine", "Quoted", "'q'", "q"},
      {"Machine", "Empty", "", ""},
      {"", "Leading", "before any section", "before any section"},
      {"Odd]Name", "k", "v", "v"},
  };
  for (const Entry& e : entries) ASSERT_TRUE(WriteProfileString(e.section, e.key, e.value, path_.c_str()));
  for (const Entry& e : entries) EXPECT_EQ(ReadBack(path_, e.section, e.key), e.readsAs) << e.key;

  // Overwriting one entry leaves every other as it was.
  ASSERT_TRUE(WriteProfileString("version", "CLIENT", "0.217", path_.c_str()));
  EXPECT_EQ(ReadBack(path_, "Version", "Client"), "0.217");
  for (const Entry& e : entries) {
    if (std::string(e.key) != "Client") {
      EXPECT_EQ(ReadBack(path_, e.section, e.key), e.readsAs) << e.key;
    }
  }
  EXPECT_EQ(Entries(box_.Path()), std::vector<std::string>{"config.ini"});
}

// On many small files of awkward lines, a write changes what the written key reads as
// and nothing else that any section and key of a set of names reads as.
TEST_F(ProfileWrite, OnRandomFilesChangesOnlyTheWrittenKey) {
  const char* sections[] = {"", "a", "B", "a]b", "="};
  const char* keys[] = {"", "a", "B", "]", "a b"};
  struct Value {
    const char* written;
    const char* readsAs;
  } values[] = {{"x", "x"}, {"", ""}, {"\"q\"", "q"}, {" sp ", "sp"}, {"a=b", "a=b"}, {"'", "'"}};

  std::uint32_t seed = 216;
  auto next = [&seed](std::size_t bound) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<std::size_t>((seed >> 8) % bound);
  };
  // Names in the file differ from the wanted ones in case and blanks only.
  const char* names[] = {"", "a", "A", "b", "B", "a]b", "=", "]", "a b"};
  const char* blanks[] = {"", "", " ", "\t", "\x1A"};
  const char* fileValues[] = {"1", "\"q\"", "'", "", "x=y", "2\0tail"};
  const char* ends[] = {"\r\n", "\r\n", "\n", "\n", "\r", "\r\n\r\n", "\n \n"};
  auto randomLine = [&]() -> std::string {
    std::string pad = blanks[next(std::size(blanks))];  // not const: returned by value below
    const std::string name = names[next(std::size(names))];
    switch (next(10)) {
      case 0:
      case 1:
      case 2: return pad + "[" + pad + name + pad + (next(5) == 0 ? "" : "]") + (next(5) == 0 ? " ]z" : "");
      case 3: return pad + name + pad;  // a key without '='
      case 4: return pad;
      case 5: return "\0"s + name + "=1";
      default: return pad + name + pad + "=" + pad + fileValues[next(std::size(fileValues))] + pad;
    }
  };

  auto readAll = [&] {
    std::vector<std::string> reads;
    for (const char* s : sections) {
      for (const char* k : keys) reads.push_back(ReadBack(path_, s, k));
    }
    return reads;
  };

  for (int round = 0; round < 300; ++round) {
    std::string file = next(8) == 0 ? "\xEF\xBB\xBF" : "";
    const std::size_t lines = next(9);
    for (std::size_t i = 0; i < lines; ++i) {
      file += randomLine();
      if (i + 1 < lines || next(3) != 0) file += ends[next(std::size(ends))];
    }
    WriteFileBytes(path_, file);
    std::vector<std::string> before = readAll();

    const std::size_t s = next(std::size(sections));
    const std::size_t k = next(std::size(keys));
    const Value& v = values[next(std::size(values))];
    ASSERT_TRUE(WriteProfileString(sections[s], keys[k], v.written, path_.c_str()));
    before[s * std::size(keys) + k] = v.readsAs;
    ASSERT_EQ(readAll(), before) << "file \"" << file << "\" [" << sections[s] << "] " << keys[k] << "="
                                 << v.written << " became \"" << ReadFileBytes(path_) << "\"";
  }
}
