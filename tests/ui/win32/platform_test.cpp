// The Windows sides of the platform files: temporary folder, adapter lookup, paths and
// file replacement, the launch of a downloaded program, and the clock.
// Windows' headers in the order they need each other, which is not sorted.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "core/machine_state.h"
#include "exchange/request_urls.h"
#include "exchange/url_fetcher.h"
#include "mining/clock.h"
#include "platform/adapters.h"
#include "platform/downloaded_file.h"
#include "platform/platform_paths.h"
#include "platform/process_launcher.h"
#include "platform/temp_path.h"
#include "profile/identity.h"
#include "profile/profile.h"
#include "support/minisign_signer.h"
#include "support/sandbox.h"
#include "support/scripted_http_server.h"
#include "update/self_update.h"

namespace {

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = path;
  return p.substr(0, p.find_last_of("\\/") + 1);
}

std::string ChildProgram() { return ProgramFolder() + "test_child.exe"; }

class EnvironmentVariable {
 public:
  explicit EnvironmentVariable(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) saved_ = v;
  }
  ~EnvironmentVariable() { _putenv_s(name_, saved_ ? saved_->c_str() : ""); }
  void Set(const std::string& value) { _putenv_s(name_, value.c_str()); }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(TempFolderPathTest, IsTheSystemsTemporaryFolderEndingInASeparator) {
  char expected[MAX_PATH + 1] = {};
  ASSERT_GT(GetTempPathA(MAX_PATH, expected), 0u);
  const std::string path = TempFolderPath();
  EXPECT_EQ(path, expected);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.back(), '\\');

  // It follows TMP, as the system's lookup does, and always ends in a separator.
  Sandbox box;
  EnvironmentVariable tmp("TMP");
  for (const std::string& folder : {box.Path(), box.Path() + "\\"}) {
    SCOPED_TRACE(folder);
    tmp.Set(folder);
    const std::string followed = TempFolderPath();
    EXPECT_EQ(followed.back(), '\\');
    // The reply file written through the download path is the one the reading path reads.
    WriteFileBytes(ReplyDownloadPath(followed, kStatusReply), "[Machine]\r\nFuel=480\r\n");
    char fuel[32] = {};
    ReadProfileString("Machine", "Fuel", "", fuel, sizeof fuel,
                      ReplyReadPath(followed, kStatusReply).c_str());
    EXPECT_STREQ(fuel, "480");
  }
}

// The adapters as the system lists them, asked with room enough for all.
struct Adapters {
  DWORD firstCallResult = 0;  // with the client's 3520 bytes
  std::vector<std::vector<unsigned char>> addresses;
};

Adapters ListAdapters() {
  Adapters result;
  std::vector<unsigned char> small(3520);
  ULONG size = 3520;
  result.firstCallResult = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(small.data()), &size);
  std::vector<unsigned char> buffer(size > 3520 ? size + 4096 : 65536);
  size = static_cast<ULONG>(buffer.size());
  if (GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size) != ERROR_SUCCESS)
    return result;
  for (auto* a = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()); a != nullptr; a = a->Next) {
    result.addresses.emplace_back(a->Address, a->Address + 6);
  }
  return result;
}

std::string Dashed(const std::vector<unsigned char>& b) {
  char text[32];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
  return text;
}

TEST(MacTextTest, IsTheFirstAdapterTheSystemLists) {
  const Adapters adapters = ListAdapters();
  const std::string text = GetMacText();
  if (adapters.addresses.empty()) {
    EXPECT_EQ(text, "Error : 232 ");
  } else {
    EXPECT_EQ(text, Dashed(adapters.addresses.front()));
  }
  EXPECT_TRUE(std::regex_match(text, std::regex("([0-9A-F]{2}-){5}[0-9A-F]{2}|Error : [0-9]+ ")));
}

// Run by the test driver inside a network namespace holding more adapters than the
// client's first buffer has room for.
TEST(MacTextTest, HostWithMoreThanFiveAdaptersStillGetsTheFirstAddress) {
  const char* expected = std::getenv("KESTRAVON_TEST_MANY_ADAPTERS");
  if (expected == nullptr || *expected == '\0') GTEST_SKIP() << "needs a host with many adapters";
  const Adapters adapters = ListAdapters();
  // The situation under test: the first ask does not fit.
  ASSERT_EQ(adapters.firstCallResult, static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
  ASSERT_GE(adapters.addresses.size(), static_cast<size_t>(std::atoi(expected)));
  EXPECT_EQ(GetMacText(), Dashed(adapters.addresses.front()));
}

TEST(PlatformPathsTest, BuildsPathsWithBackslashesUnderTheInstallFolder) {
  EXPECT_STREQ(PathSeparator(), "\\");
  EXPECT_EQ(DefaultInstallDir(), "c:\\KESTRAVON");
  EXPECT_EQ(ConfigPath("c:\\KESTRAVON"), "c:\\KESTRAVON\\config.ini");
  EXPECT_EQ(PatchFilePath("c:\\KESTRAVON"), "c:\\KESTRAVON\\patch.exe");
  // The temporary folder already ends in a separator: the reading path has two in a row,
  // which the system reads as one.
  EXPECT_EQ(ReplyReadPath("C:\\Temp\\", kMachineInfoReply), "C:\\Temp\\\\qx_sn.dat");
  EXPECT_EQ(ReplyDownloadPath("C:\\Temp\\", kMachineInfoReply), "C:\\Temp\\qx_sn.dat");
}

TEST(PlatformPathsTest, MoveFileOverReplacesAnExistingFile) {
  Sandbox box;
  WriteFileBytes(box.File("new"), "new bytes");
  WriteFileBytes(box.File("old"), "old bytes, longer");
  EXPECT_TRUE(MoveFileOver(box.File("new"), box.File("old")));
  EXPECT_EQ(ReadFileBytes(box.File("old")), "new bytes");
  EXPECT_FALSE(FileExists(box.File("new")));
  // A missing source moves nothing and leaves the destination.
  EXPECT_FALSE(MoveFileOver(box.File("missing"), box.File("old")));
  EXPECT_EQ(ReadFileBytes(box.File("old")), "new bytes");
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

std::string WaitForChildReport(const std::string& folder, size_t lines) {
  std::string report;
  WaitUntil(
      [&] {
        report = ReadFileBytes(folder + "\\child_ran.txt");
        return static_cast<size_t>(std::count(report.begin(), report.end(), '\n')) >= lines;
      },
      std::chrono::seconds(20));
  return report;
}

TEST(LaunchTest, StartsTheProgramWithItsArgumentInTheGivenFolder) {
  Sandbox box;
  const std::string folder = box.MakeDir("install");
  // A copy of the child program, held as the self-update holds a verified installer.
  const std::string program = folder + "\\patch.exe";
  WriteFileBytes(program, ReadFileBytes(ChildProgram()));
  DownloadedFile held;
  ASSERT_TRUE(held.Open(program));
  ASSERT_TRUE(held.HoldAt(program));
  SpawnLauncher launcher;
  ASSERT_TRUE(launcher.Launch(held, program, "/VerySilent", folder));
  held.Close();
  const std::string report = WaitForChildReport(folder, 2);
  EXPECT_NE(report.find("arg=/VerySilent\n"), std::string::npos) << report;
  // The folder as the child sees it (a drive path), compared without regard to case.
  char expected[MAX_PATH] = {};
  GetFullPathNameA(folder.c_str(), MAX_PATH, expected, nullptr);
  std::string seen = report.substr(0, report.find('\n'));
  std::string want = std::string("folder=") + expected;
  for (std::string* s : {&seen, &want}) {
    for (char& c : *s) c = static_cast<char>(c == '/' ? '\\' : std::tolower(static_cast<unsigned char>(c)));
  }
  EXPECT_EQ(seen, want);

  // A file not held at the name it is to be started by is not started.
  DownloadedFile none;
  EXPECT_FALSE(launcher.Launch(none, box.File("no-such-program.exe"), "/VerySilent", folder));
}

// While the verified installer is held at its name, no one can write to it, delete it,
// rename it or put another file in its place; once let go, they can again.
TEST(LaunchTest, AHeldProgramCannotBeChangedOrReplaced) {
  Sandbox box;
  const std::string folder = box.MakeDir("install");
  const std::string program = folder + "\\patch.exe";
  const std::string other = folder + "\\other.exe";
  WriteFileBytes(program, "verified");
  WriteFileBytes(other, "swapped in");
  const auto writable = [&] {
    HANDLE h =
        CreateFileA(program.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
  };
  DownloadedFile held;
  ASSERT_TRUE(held.Open(program));
  ASSERT_TRUE(held.HoldAt(program));
  EXPECT_FALSE(writable());
  EXPECT_FALSE(MoveFileExA(other.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(MoveFileA(program.c_str(), (folder + "\\moved.exe").c_str()));
  EXPECT_FALSE(DeleteFileA(program.c_str()));
  EXPECT_EQ(ReadFileBytes(program), "verified");
  // Another file is not this one, whatever its name.
  DownloadedFile second;
  ASSERT_TRUE(second.Open(other));
  EXPECT_FALSE(second.HoldAt(program));
  second.Close();
  held.Close();
  EXPECT_TRUE(writable());
  EXPECT_TRUE(MoveFileExA(other.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadFileBytes(program), "swapped in");
}

// Puts another program at patch.exe after the installer was verified, just before it is
// started: what a process of the same user could try at that moment.
class SwappingLauncher : public ProcessLauncher {
 public:
  bool Launch(const DownloadedFile& program, const std::string& file, const std::string& parameters,
              const std::string& workingDir) override {
    // Moved aside first, then another file in: Wine refuses to replace an open file in one
    // step even where Windows would allow it.
    swapped = MoveFileA(file.c_str(), (file + ".aside").c_str()) != 0 &&
              MoveFileA(replacement.c_str(), file.c_str()) != 0;
    return real.Launch(program, file, parameters, workingDir);
  }
  SpawnLauncher real;
  std::string replacement;
  bool swapped = false;
};

TEST(SelfUpdateTest, AFileSwappedInAfterTheCheckCannotTakeThePlaceOfTheInstaller) {
  const std::string program = ReadFileBytes(ChildProgram());
  ASSERT_FALSE(program.empty());
  MinisignSigner key;
  ScriptedHttpServer server;
  server.Route("/patch/patchv2.exe", Reply::Ok(program));
  server.Route("/patch/patchv2.exe.minisig", Reply::Ok(key.Sign(program, "version:0.217")));
  Sandbox box;
  const std::string install = box.MakeDir("install");
  WriteFileBytes(install + "\\config.ini", "[SerialNo]\r\nNo=KST-1\r\n[Version]\r\nClient=0.216\r\n");
  SwappingLauncher launcher;
  launcher.replacement = install + "\\other.exe";
  WriteFileBytes(launcher.replacement, "not the verified installer");
  SelfUpdateRequest request;
  request.installDir = install;
  request.patchRoot = server.Root();
  request.offeredVersion = "0.217";
  request.publicKey = key.PublicKeyLine();
  request.launcher = &launcher;
  ASSERT_EQ(RunSelfUpdate(request), SelfUpdateResult::kLaunched);
  EXPECT_FALSE(launcher.swapped);
  const std::string report = WaitForChildReport(install, 2);
  EXPECT_NE(report.find("arg=/VerySilent\n"), std::string::npos) << report;
  EXPECT_EQ(ReadFileBytes(install + "\\other.exe"), "not the verified installer");
}

// A whole self-update: the installer and its signature come from a loopback server, the
// installer is verified through the handle it is held by, put in place as patch.exe and
// started. A second update replaces the installer the first one left.
TEST(SelfUpdateTest, InstallsAndStartsTheDownloadedProgramTwice) {
  const std::string program = ReadFileBytes(ChildProgram());
  ASSERT_FALSE(program.empty());
  ScriptedHttpServer server;
  server.Route("/patch/patchv2.exe", Reply::Ok(program));
  Sandbox box;
  const std::string install = box.MakeDir("install");
  WriteFileBytes(install + "\\config.ini", "[SerialNo]\r\nNo=KST-1\r\n[Version]\r\nClient=0.215\r\n");
  WriteFileBytes(install + "\\patch.exe", "an older installer");
  SpawnLauncher launcher;
  MinisignSigner key;
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    SelfUpdateRequest request;
    request.installDir = install;
    request.patchRoot = server.Root();
    request.offeredVersion = round == 1 ? "0.216" : "0.217";
    request.publicKey = key.PublicKeyLine();
    request.launcher = &launcher;
    server.Route("/patch/patchv2.exe.minisig",
                 Reply::Ok(key.Sign(program, "version:" + request.offeredVersion)));
    ASSERT_EQ(RunSelfUpdate(request), SelfUpdateResult::kLaunched);
    const std::string report = WaitForChildReport(install, 2 * static_cast<size_t>(round));
    EXPECT_EQ(Count(report, "arg=/VerySilent\n"), static_cast<size_t>(round)) << report;
    char version[32] = {};
    ReadProfileString("Version", "Client", "", version, sizeof version, ConfigPath(install).c_str());
    EXPECT_EQ(std::string(version), request.offeredVersion);
    // Wait until the child has let go of patch.exe before the next round replaces it.
    WaitUntil([&] {
      HANDLE h = CreateFileA((install + "\\patch.exe").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                             nullptr);
      if (h == INVALID_HANDLE_VALUE) return false;
      CloseHandle(h);
      return true;
    });
  }
  EXPECT_EQ(ReadFileBytes(install + "\\patch.exe"), program);
  EXPECT_FALSE(FileExists(install + "\\patch.exe.part"));
}

TEST(SystemClockTest, ReadsTheSystemsLocalTimeAndTickCount) {
  SystemClock clock;
  SYSTEMTIME before;
  GetLocalTime(&before);
  const DWORD tickBefore = GetTickCount();
  const WallTime now = clock.LocalTime();
  const uint32_t tick = clock.TickCount();
  const DWORD tickAfter = GetTickCount();
  // Within the same minute unless the test straddles one; the fields are in range.
  EXPECT_GE(now.hour, 0);
  EXPECT_LE(now.hour, 23);
  EXPECT_LE(now.minute, 59);
  EXPECT_LE(now.second, 59);
  EXPECT_LE(now.millisecond, 999);
  const int secondsBefore = before.wHour * 3600 + before.wMinute * 60 + before.wSecond;
  const int secondsNow = now.hour * 3600 + now.minute * 60 + now.second;
  EXPECT_TRUE(secondsNow == secondsBefore || secondsNow == secondsBefore + 1 || secondsNow == 0);
  EXPECT_GE(tick, tickBefore);
  EXPECT_LE(tick, tickAfter);
  EXPECT_NEAR(static_cast<double>(clock.CalendarSeconds()), static_cast<double>(std::time(nullptr)), 1.0);
}

}  // namespace
