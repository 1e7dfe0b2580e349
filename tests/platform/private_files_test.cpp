// The reply files' folder and the files themselves, against what another local user (or
// a careless one) could put in their place. POSIX only: links, FIFOs, owners and modes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "exchange/url_fetcher.h"
#include "platform/private_folder.h"
#include "platform/temp_path.h"
#include "platform/written_file.h"
#include "support/sandbox.h"
#include "support/scripted_http_server.h"

namespace {

using namespace std::chrono_literals;
constexpr uid_t kNobody = 65534;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

class ScopedEnv {
 public:
  explicit ScopedEnv(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) saved_ = v;
  }
  ~ScopedEnv() {
    if (saved_)
      setenv(name_, saved_->c_str(), 1);
    else
      unsetenv(name_);
  }
  void Set(const std::optional<std::string>& value) {
    if (value)
      setenv(name_, value->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(TempFolderPath, IsAPrivateFolderOfOurOwnCreatedOnDemand) {
  Sandbox box;
  ScopedEnv runtime("XDG_RUNTIME_DIR"), tmpdir("TMPDIR");
  const std::string uid = std::to_string(geteuid());
  struct Case {
    std::optional<std::string> runtime, tmpdir;
    std::string expected;
  } cases[] = {
      {box.Path() + "/run", box.Path() + "/t", box.Path() + "/run/kestravon/"},
      {box.Path() + "/run/", std::nullopt, box.Path() + "/run/kestravon/"},
      {"", box.Path() + "/t", box.Path() + "/t/kestravon-" + uid + "/"},
      {std::nullopt, box.Path() + "/t/", box.Path() + "/t/kestravon-" + uid + "/"},
  };
  box.MakeDir("run");
  box.MakeDir("t");
  ASSERT_EQ(chmod(box.File("t").c_str(), 01777), 0);  // a shared folder, like /tmp
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    runtime.Set(c.runtime);
    tmpdir.Set(c.tmpdir);
    const mode_t mask = umask(0);
    const std::string path = TempFolderPath();
    umask(mask);
    EXPECT_EQ(path, c.expected);
    EXPECT_TRUE(S_ISDIR(ModeOf(path)));
    EXPECT_EQ(ModeOf(path) & 07777, 0700u);
    EXPECT_TRUE(PrivateFolderUsable(path));
  }
  runtime.Set(std::nullopt);
  tmpdir.Set(std::nullopt);
  EXPECT_EQ(TempFolderPath().rfind("/tmp/kestravon-" + uid + "/", 0), 0u);
}

TEST(PrivateFolder, OnlyARealFolderOfOurOwnWithoutGroupOrOtherAccess) {
  Sandbox box;
  const std::string ok = box.MakeDir("ok");
  ASSERT_EQ(chmod(ok.c_str(), 0700), 0);
  struct Case {
    const char* what;
    std::string path;
    bool usable;
  } cases[] = {
      {"private", ok + "/", true},
      {"without the separator", ok, true},
      {"group may read", box.MakeDir("g"), false},
      {"others may enter", box.MakeDir("o"), false},
      {"a link to a private folder", box.File("link") + "/", false},
      {"a file", box.File("file") + "/", false},
      {"missing", box.File("missing") + "/", false},
      {"someone else's", box.MakeDir("foreign") + "/", false},
      {"empty", "", false},
  };
  chmod(box.File("g").c_str(), 0750);
  chmod(box.File("o").c_str(), 0701);
  ASSERT_EQ(symlink(ok.c_str(), box.File("link").c_str()), 0);
  WriteFileBytes(box.File("file"), "x");
  chmod(box.File("foreign").c_str(), 0700);
  const bool canChown = chown(box.File("foreign").c_str(), kNobody, kNobody) == 0;
  for (const Case& c : cases) {
    if (std::string(c.what) == "someone else's" && !canChown) continue;
    EXPECT_EQ(PrivateFolderUsable(c.path), c.usable) << c.what;
  }
  EXPECT_FALSE(FileExists(box.File("missing")));
}

// A private folder is only as private as the folders above it: one that another user can
// change lets them move ours away and put theirs in its place.
TEST(PrivateFolder, EveryFolderAboveIsOnlyTheUsersOrRoots) {
  Sandbox box;
  const uid_t me = geteuid();
  // Each case: the folders from the sandbox down (mode, owner), the last is the private one.
  struct Level {
    mode_t mode;
    uid_t owner;
  };
  struct Case {
    const char* what;
    std::vector<Level> levels;
    const char* problem;  // "" when usable, else a part of the explanation
  } cases[] = {
      {"private folder in a private parent", {{0700, me}, {0700, me}}, ""},
      {"in a sticky parent anyone may write, as /tmp", {{01777, 0}, {0700, me}}, ""},
      {"in a sticky parent of the user's own", {{01777, me}, {0700, me}}, ""},
      {"parent anyone may write, not sticky", {{0777, me}, {0700, me}}, "not sticky"},
      {"parent the group may write, not sticky", {{0775, me}, {0700, me}}, "not sticky"},
      {"grandparent anyone may write", {{0777, 0}, {0755, me}, {0700, me}}, "not sticky"},
      {"parent of another user", {{0755, kNobody}, {0700, me}}, "another user"},
      {"sticky parent of another user", {{01777, kNobody}, {0700, me}}, "another user"},
      {"planted parent of another user, open to all", {{0777, kNobody}, {0700, me}}, "another user"},
      {"private folder of another user", {{0755, me}, {0700, kNobody}}, "another user"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = box.MakeDir(std::to_string(&c - cases));
    bool owned = true;
    for (std::size_t i = 0; i < c.levels.size(); ++i) {
      if (i > 0) {
        path += "/d" + std::to_string(i);
        ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
      }
      owned = owned &&
              (c.levels[i].owner == me || chown(path.c_str(), c.levels[i].owner, c.levels[i].owner) == 0);
    }
    // Modes last: chown may clear some bits, and a folder of nobody's is entered as root.
    std::string level = path;
    for (std::size_t i = c.levels.size(); i-- > 0;) {
      ASSERT_EQ(chmod(level.c_str(), c.levels[i].mode), 0);
      level = level.substr(0, level.rfind('/'));
    }
    if (!owned) {
      std::printf("skipped (needs root to give a folder away): %s\n", c.what);
      continue;
    }
    const std::string problem = PrivateFolderProblem(path + "/");
    EXPECT_EQ(problem.empty(), std::string(c.problem).empty()) << problem;
    EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    EXPECT_EQ(PrivateFolderUsable(path), problem.empty());
  }
}

// A link on the way is as good as the folder that holds it and its owner.
TEST(PrivateFolder, ALinkAboveLeadsOnlyToWhereItsOwnerSays) {
  Sandbox box;
  const std::string real = box.MakeDir("real");
  ASSERT_EQ(mkdir((real + "/private").c_str(), 0700), 0);
  const std::string open = box.MakeDir("open");
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  ASSERT_EQ(symlink(real.c_str(), box.File("mine").c_str()), 0);
  ASSERT_EQ(symlink(real.c_str(), (open + "/link").c_str()), 0);
  EXPECT_EQ(PrivateFolderProblem(box.File("mine") + "/private/"), "");
  // In a folder anyone may change, the link could be pointed elsewhere at any moment.
  EXPECT_NE(PrivateFolderProblem(open + "/link/private/").find(open + " may be changed"), std::string::npos)
      << PrivateFolderProblem(open + "/link/private/");
  // A link that another user owns, even in a sticky folder, is theirs to replace.
  const std::string sticky = box.MakeDir("sticky");
  ASSERT_EQ(chmod(sticky.c_str(), 01777), 0);
  ASSERT_EQ(symlink(real.c_str(), (sticky + "/theirs").c_str()), 0);
  if (lchown((sticky + "/theirs").c_str(), kNobody, kNobody) == 0) {
    EXPECT_NE(
        PrivateFolderProblem(sticky + "/theirs/private/").find("is a link that belongs to another user"),
        std::string::npos);
  }
}

// Another user who made /tmp/kestravon-<uid> first (here in a shared folder named by
// TMPDIR) does not get our reply files: the folder is refused, and why is said.
TEST(TempFolderPath, AFolderPlantedByAnotherUserIsRefusedAndNamed) {
  Sandbox box;
  ScopedEnv runtime("XDG_RUNTIME_DIR"), tmpdir("TMPDIR");
  const std::string shared = box.MakeDir("shared");
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const std::string planted = shared + "/kestravon-" + std::to_string(geteuid());
  ASSERT_EQ(mkdir(planted.c_str(), 0777), 0);
  ASSERT_EQ(chmod(planted.c_str(), 0777), 0);
  if (chown(planted.c_str(), kNobody, kNobody) != 0)
    GTEST_SKIP() << "needs root to plant a folder as another user";
  runtime.Set(std::nullopt);
  tmpdir.Set(shared);
  const std::string path = TempFolderPath();
  EXPECT_EQ(path, planted + "/");
  EXPECT_NE(PrivateFolderProblem(path).find(planted + " belongs to another user (uid 65534)"),
            std::string::npos)
      << PrivateFolderProblem(path);
  // A folder of ours made inside it is no better: the one above is theirs.
  ASSERT_EQ(mkdir((planted + "/inner").c_str(), 0700), 0);
  EXPECT_NE(PrivateFolderProblem(planted + "/inner/").find(planted + " belongs to another user"),
            std::string::npos);
  EXPECT_NE(std::string(PrivateFolderAdvice()).find("XDG_RUNTIME_DIR"), std::string::npos);
}

// What stands at a reply file's name is never written through, opened for blocking I/O
// or emptied unless it is a plain file of our own; the body then has nowhere to go.
TEST(ReplyFile, LinksPipesFoldersAndForeignFilesAreNeverWritten) {
  ScriptedHttpServer server;
  server.Route("/r", Reply::Ok("[Machine]\r\nFuel=1\r\n"));
  Sandbox box;
  const std::string outside = box.File("outside.txt");
  const std::string before = "not yours to write";
  struct Case {
    const char* what;
    std::string name;
  } cases[] = {{"link to a file", "link"}, {"dangling link", "dangling"}, {"FIFO", "fifo"},
               {"folder", "folder"},       {"hard link", "hard"},         {"someone else's file", "foreign"}};
  WriteFileBytes(outside, before);
  ASSERT_EQ(symlink(outside.c_str(), box.File("link").c_str()), 0);
  ASSERT_EQ(symlink(box.File("created-through-link").c_str(), box.File("dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(box.File("fifo").c_str(), 0600), 0);
  box.MakeDir("folder");
  ASSERT_EQ(link(outside.c_str(), box.File("hard").c_str()), 0);
  WriteFileBytes(box.File("foreign"), before);
  const bool canChown = chown(box.File("foreign").c_str(), kNobody, kNobody) == 0;
  for (const Case& c : cases) {
    if (c.name == "foreign" && !canChown) continue;
    SCOPED_TRACE(c.what);
    const auto start = std::chrono::steady_clock::now();
    UrlFetcher fetcher;
    FetchLimits limits;
    limits.totalTimeout = std::chrono::milliseconds(10000);
    fetcher.SetLimits(limits);
    fetcher.OpenSession();
    EXPECT_EQ(fetcher.FetchToFile(server.Url("/r").c_str(), box.File(c.name).c_str()), 1);
    EXPECT_FALSE(fetcher.Outcome().complete);
    EXPECT_FALSE(fetcher.Outcome().file.known);
    fetcher.CloseSession();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  }
  EXPECT_EQ(ReadFileBytes(outside), before);
  EXPECT_EQ(ReadFileBytes(box.File("foreign")), before);
  EXPECT_FALSE(FileExists(box.File("created-through-link")));
  EXPECT_TRUE(S_ISFIFO(ModeOf(box.File("fifo"))));
  EXPECT_TRUE(S_ISLNK(ModeOf(box.File("link"))));
}

TEST(ReplyFile, IsTheUsersAloneAndIsReadBackOnlyAsWritten) {
  ScriptedHttpServer server;
  server.Route("/r", Reply::Ok("[Machine]\r\nFuel=1\r\n"));
  Sandbox box;
  const std::string path = box.File("qx_ui.dat");
  WriteFileBytes(path, "an older answer, readable by all");
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);

  const mode_t mask = umask(0);
  UrlFetcher fetcher;
  fetcher.OpenSession();
  fetcher.FetchToFile(server.Url("/r").c_str(), path.c_str());
  umask(mask);
  ASSERT_TRUE(fetcher.Outcome().Complete2xx());
  const FileIdentity written = fetcher.Outcome().file;
  EXPECT_EQ(ModeOf(path) & 07777, 0600u);
  EXPECT_TRUE(IsWrittenFile(path, written));
  EXPECT_TRUE(IsWrittenFile(box.Path() + "//qx_ui.dat", written));

  // Changed after the fetch, or something else in its place: not what was written.
  WriteFileBytes(path + ".new", ReadFileBytes(path));
  ASSERT_EQ(rename((path + ".new").c_str(), path.c_str()), 0);
  EXPECT_FALSE(IsWrittenFile(path, written)) << "another file of the same content";
  EXPECT_FALSE(IsWrittenFile(path, FileIdentity{})) << "nothing was written";
}

TEST(ReplyFile, GrowingAfterTheFetchIsNoLongerWhatWasWritten) {
  ScriptedHttpServer server;
  server.Route("/r", Reply::Ok("[Machine]\r\nFuel=1\r\n"));
  Sandbox box;
  const std::string path = box.File("qx_sn.dat");
  UrlFetcher fetcher;
  fetcher.OpenSession();
  fetcher.FetchToFile(server.Url("/r").c_str(), path.c_str());
  ASSERT_TRUE(IsWrittenFile(path, fetcher.Outcome().file));
  WriteFileBytes(path, "[Machine]\r\nFuel=2\r\nCode=3021\r\n");  // same file, rewritten
  EXPECT_FALSE(IsWrittenFile(path, fetcher.Outcome().file));
  const std::string other = box.File("other");
  ASSERT_EQ(rename(path.c_str(), other.c_str()), 0);
  ASSERT_EQ(symlink(other.c_str(), path.c_str()), 0);
  EXPECT_FALSE(IsWrittenFile(path, fetcher.Outcome().file)) << "a link to it";
}

}  // namespace
