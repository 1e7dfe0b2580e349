// Signed self-updates: an installer is started only when its detached minisign signature
// verifies against the built-in key and names the offered version. Every refusal leaves
// patch.exe and config.ini as they were, removes the downloads, starts nothing and says
// why in one debug line. Runs against a loopback server, on Linux and under Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "client/miner_core.h"
#include "client/recording_window.h"
#include "platform/debug_output.h"
#include "platform/downloaded_file.h"
#include "platform/process_launcher.h"
#include "support/client_fixture.h"
#include "support/minisign_signer.h"
#include "support/sandbox.h"
#include "support/scripted_http_server.h"
#include "update/base64.h"
#include "update/minisign_format.h"
#include "update/self_update.h"

namespace {

constexpr const char* kPatch = "/patch/patchv2.exe";
constexpr const char* kSignature = "/patch/patchv2.exe.minisig";
constexpr const char* kOldConfig = "[SerialNo]\r\nNo=KST-0001\r\n[Version]\r\nClient=0.216\r\n";
constexpr const char* kOldInstaller = "older installer";

class RecordingLauncher : public ProcessLauncher {
 public:
  bool Launch(const DownloadedFile& program, const std::string& file, const std::string& parameters,
              const std::string& workingDir) override {
    calls.push_back(file + "|" + parameters + "|" + workingDir);
    // What would run: the held file's bytes, not whatever the name leads to.
    launchedBytes.clear();
    program.Read([&](const unsigned char* data, std::size_t n) {
      launchedBytes.append(reinterpret_cast<const char*>(data), n);
    });
    return succeeds;
  }
  std::vector<std::string> calls;
  std::string launchedBytes;
  bool succeeds = true;
};

std::string Fixture(const std::string& name) {
  return ReadFileBytes(std::string(KESTRAVON_TEST_DATA_DIR) + "/minisign/" + name);
}

// The second line of a .pub file.
std::string KeyLineOf(const std::string& pubFile) {
  const std::size_t start = pubFile.find('\n') + 1;
  return pubFile.substr(start, pubFile.find_first_of("\r\n", start) - start);
}

std::size_t LineStart(const std::string& file, int line) {
  std::size_t at = 0;
  for (int i = 0; i < line; ++i) at = file.find('\n', at) + 1;
  return at;
}

// Flips one bit of a byte of the given line (0-based) of a signature file.
std::string ChangeLineByte(std::string file, int line, std::size_t offsetInLine) {
  file[LineStart(file, line) + offsetInLine] ^= 0x01;
  return file;
}

std::string SetLineByte(std::string file, int line, std::size_t offsetInLine, char c) {
  file[LineStart(file, line) + offsetInLine] = c;
  return file;
}

// The signature line decoded, changed by `change` and encoded again.
std::string RewriteSignatureLine(const std::string& file, const std::function<void(std::string&)>& change) {
  const std::size_t start = LineStart(file, 1);
  const std::size_t end = file.find('\n', start);
  const auto decoded = DecodeBase64(file.substr(start, end - start));
  std::string bytes(decoded->begin(), decoded->end());
  change(bytes);
  return file.substr(0, start) + EncodeBase64(bytes) + file.substr(end);
}

struct UpdateCase {
  std::string name;
  std::string key;        // the built-in key line
  std::string installer;  // what the server sends as the installer
  std::function<Reply()> signatureReply;
  SelfUpdateResult expected;
};

class SignedUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    install_ = box_.MakeDir("install");
    WriteFileBytes(install_ + "/config.ini", kOldConfig);
    WriteFileBytes(PatchFilePath(install_), kOldInstaller);
  }

  SelfUpdateResult Run(const std::string& key) {
    SelfUpdateRequest request;
    request.installDir = install_;
    request.patchRoot = server_.Root();
    request.offeredVersion = "0.217";
    request.publicKey = key;
    request.launcher = &launcher_;
    request.debug = &debug_;
    return RunSelfUpdate(request);
  }

  Sandbox box_;
  std::string install_;
  ScriptedHttpServer server_;
  RecordingLauncher launcher_;
  RecordingDebugOutput debug_;
};

TEST_F(SignedUpdate, OnlyAnInstallerSignedWithTheBuiltInKeyForTheOfferedVersionIsStarted) {
  const std::string installer =
      std::string("MZ\x90\x00", 4) + " the new installer" + std::string(200000, 'x');
  MinisignSigner key;
  MinisignSigner other;
  MinisignSigner impostor;  // another key that claims our key id
  impostor.ClaimKeyId(key.KeyId());
  const std::string good = key.Sign(installer, "version:0.217");
  const std::string realKey = KeyLineOf(Fixture("minisign.pub"));
  const std::string realInstaller = Fixture("patchv2.exe");
  const std::string small = installer.substr(0, 5000);
  std::string changedInstaller = installer;
  changedInstaller[123456] ^= 0x20;
  const auto ok = [](const std::string& body) { return [body] { return Reply::Ok(body); }; };
  const std::string k = key.PublicKeyLine();
  using R = SelfUpdateResult;

  const std::vector<UpdateCase> cases = {
      {"ED (prehashed), minisign's default", k, installer, ok(good), R::kLaunched},
      {"Ed (legacy, over the file)", k, small, ok(key.Sign(small, "version:0.217", false)), R::kLaunched},
      {"version among other tokens", k, installer,
       ok(key.Sign(installer, "timestamp:1700000000\tfile:patchv2.exe\tversion:0.217 hashed")), R::kLaunched},
      {"CRLF line ends", k, installer, ok([&] {
         std::string crlf;
         for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return crlf;
       }()),
       R::kLaunched},
      {"made by the minisign program, ED", realKey, realInstaller, ok(Fixture("patchv2.exe.minisig")),
       R::kLaunched},
      {"made by the minisign program, Ed", realKey, realInstaller, ok(Fixture("patchv2.exe.legacy.minisig")),
       R::kLaunched},

      // libgcrypt takes a legacy-signed file only whole and under 64 KiB; a larger one is
      // refused before it reaches the library, which would abort the process.
      {"Ed over an installer too large for it", k, installer + small,
       ok(key.Sign(small, "version:0.217", false)), R::kSignatureRefused},
      {"signed by another key", k, installer, ok(other.Sign(installer, "version:0.217")),
       R::kSignatureRefused},
      {"our signature under another key id", k, installer,
       ok(RewriteSignatureLine(good, [](std::string& b) { b[2] ^= 0x01; })), R::kSignatureRefused},
      {"another key claiming our key id", k, installer, ok(impostor.Sign(installer, "version:0.217")),
       R::kSignatureRefused},
      {"one byte of the installer changed", k, changedInstaller, ok(good), R::kSignatureRefused},
      {"one byte of an Ed-signed installer changed", k,
       [&] {
         std::string s = small;
         s[4321] ^= 0x01;
         return s;
       }(),
       ok(key.Sign(small, "version:0.217", false)), R::kSignatureRefused},
      {"one byte of the file signature changed", k, installer, ok(ChangeLineByte(good, 1, 40)),
       R::kSignatureRefused},
      // The version token stays intact: only the global signature can catch this.
      {"one byte of the trusted comment changed", k, installer,
       ok(ChangeLineByte(key.Sign(installer, "version:0.217 build:1"), 2, 35)), R::kSignatureRefused},
      {"trusted comment for another version", k, installer, ok(key.Sign(installer, "version:0.216")),
       R::kSignatureRefused},
      {"version only as a prefix of a token", k, installer, ok(key.Sign(installer, "version:0.2170")),
       R::kSignatureRefused},
      {"no version in the trusted comment", k, installer,
       ok(key.Sign(installer, "timestamp:1 file:patchv2.exe")), R::kSignatureRefused},
      {"signature for the fixture's installer", realKey, installer, ok(Fixture("patchv2.exe.minisig")),
       R::kSignatureRefused},

      {"no signature (404)", k, installer, [] { return Reply::Status(404, "Not Found\n"); },
       R::kDownloadFailed},
      {"signature download cut short", k, installer, [&] { return Reply::Cut(good, 30); },
       R::kDownloadFailed},
      {"empty signature file", k, installer, ok(""), R::kSignatureRefused},
      {"three lines", k, installer, ok(good.substr(0, good.rfind('\n', good.size() - 2) + 1)),
       R::kSignatureRefused},
      {"a fifth line", k, installer, ok(good + "extra\n"), R::kSignatureRefused},
      {"untrusted comment without its prefix", k, installer, ok("x" + good), R::kSignatureRefused},
      {"signature not base64", k, installer, ok(SetLineByte(good, 1, 5, '*')), R::kSignatureRefused},
      {"signature line one byte short", k, installer,
       ok(RewriteSignatureLine(good, [](std::string& b) { b.pop_back(); })), R::kSignatureRefused},
      {"unknown algorithm", k, installer, ok(RewriteSignatureLine(good, [](std::string& b) { b[1] = 'X'; })),
       R::kSignatureRefused},
      {"ED signature relabelled Ed", k, installer,
       ok(RewriteSignatureLine(good, [](std::string& b) { b[1] = 'd'; })), R::kSignatureRefused},
      // Over the signature's size cap: no answer, whether or not the fetch enforced the cap.
      {"oversized signature file", k, installer,
       ok("untrusted comment: " + std::string(5000, 'p') + good.substr(good.find('\n'))), R::kDownloadFailed},
      {"HTML error page with 200", k, installer, ok("<html>captive portal</html>"), R::kSignatureRefused},

      {"no key built in", "", installer, ok(good), R::kNoKey},
      {"built-in key malformed", "RWQnot-a-key", installer, ok(good), R::kNoKey},
  };

  for (const UpdateCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    launcher_.calls.clear();
    const std::size_t debugBefore = debug_.Texts().size();
    const std::size_t requestsBefore = server_.RequestCount();
    server_.Route(kPatch, Reply::Ok(c.installer));
    server_.Route(kSignature, c.signatureReply());

    EXPECT_EQ(static_cast<int>(Run(c.key)), static_cast<int>(c.expected))
        << (debug_.Texts().size() > debugBefore ? debug_.Texts().back() : "");

    EXPECT_FALSE(FileExists(PatchFilePath(install_) + ".part"));
    EXPECT_FALSE(FileExists(PatchFilePath(install_) + ".minisig.part"));
    const std::vector<std::string> debug = debug_.Texts();
    if (c.expected == R::kLaunched) {
      EXPECT_EQ(launcher_.calls.size(), 1u);
      EXPECT_EQ(launcher_.calls.empty() ? "" : launcher_.calls[0],
                PatchFilePath(install_) + "|/VerySilent|" + install_);
      EXPECT_TRUE(launcher_.launchedBytes == c.installer);
      EXPECT_EQ(ReadFileBytes(install_ + "/config.ini"),
                "[SerialNo]\r\nNo=KST-0001\r\n[Version]\r\nClient=0.217\r\n");
      EXPECT_EQ(debug.size(), debugBefore);
      continue;
    }
    EXPECT_TRUE(launcher_.calls.empty());
    EXPECT_EQ(ReadFileBytes(PatchFilePath(install_)), kOldInstaller);
    EXPECT_EQ(ReadFileBytes(install_ + "/config.ini"), kOldConfig);
    EXPECT_EQ(debug.size(), debugBefore + 1);
    if (debug.size() == debugBefore + 1) {
      EXPECT_EQ(debug.back().rfind("Self-update: ", 0), 0u) << debug.back();
      EXPECT_EQ(debug.back().substr(debug.back().size() - 2), "\r\n");
    }
    // Without a key nothing is fetched at all; otherwise installer, then signature.
    const std::vector<RecordedRequest> requests = server_.Requests();
    if (c.expected == R::kNoKey) {
      EXPECT_EQ(requests.size(), requestsBefore);
    } else if (requests.size() == requestsBefore + 2) {
      EXPECT_EQ(requests[requestsBefore].target, kPatch);
      EXPECT_EQ(requests[requestsBefore + 1].target, kSignature);
    } else {
      ADD_FAILURE() << requests.size() - requestsBefore << " requests instead of installer and signature";
    }
  }
}

TEST_F(SignedUpdate, AFailedLaunchRecordsNoVersion) {
  MinisignSigner key;
  server_.Route(kPatch, Reply::Ok("MZ installer"));
  server_.Route(kSignature, Reply::Ok(key.Sign("MZ installer", "version:0.217")));
  launcher_.succeeds = false;
  EXPECT_EQ(Run(key.PublicKeyLine()), SelfUpdateResult::kLaunchFailed);
  EXPECT_EQ(launcher_.calls.size(), 1u);
  EXPECT_EQ(ReadFileBytes(install_ + "/config.ini"), kOldConfig);
  ASSERT_EQ(debug_.Texts().size(), 1u);
}

// Through the status report: a refused version is not fetched again in the run, a newer
// offer still is, and once an installer has started no further one is fetched in this run.
TEST(SignedUpdateReports, ARefusedVersionIsNotRetriedAndAtMostOneIsStartedPerRun) {
  ScriptedHttpServer server;
  ClientFixture client(server.Root());
  RecordingLauncher launcher;
  MinisignSigner key;
  client.env.launcher = &launcher;
  client.env.updatePublicKey = key.PublicKeyLine();
  MinerCore core(client.env, client.window);
  client.WriteConfig("KST-0001", "0.216");
  core.WithState([](MachineState& s) {
    std::strcpy(s.clientVersion, "0.216");
    s.onOff = 1;
  });
  const auto offer = [&](const std::string& version) {
    server.Route(
        "/Machine/UpdateInfov2.html",
        Reply::Ok("[Machine]\r\nFuel=9\r\nKEST=1\r\nCode=1000\r\n[Version]\r\nServer=" + version + "\r\n"));
  };
  server.Route(kPatch, Reply::Ok("MZ installer"));
  const auto report = [&] {
    client.random.Queue({0});
    client.clock.SetLocalTime(12, 3, 7, 2);
    core.ReportStatus();
  };
  const auto patchRequests = [&] {
    std::size_t n = 0;
    for (const auto& r : server.Requests()) n += r.Path() == kPatch;
    return n;
  };

  offer("0.217");
  server.Route(kSignature, Reply::Ok(key.Sign("MZ installer", "version:0.216")));  // a replay
  report();
  EXPECT_TRUE(launcher.calls.empty());
  EXPECT_EQ(client.ConfigText(), "[SerialNo]\r\nNo=KST-0001\r\n[Version]\r\nClient=0.216\r\n");
  EXPECT_EQ(patchRequests(), 1u);

  // Even with a good signature by now, 0.217 stays refused in this run.
  server.Route(kSignature, Reply::Ok(key.Sign("MZ installer", "version:0.217")));
  report();
  EXPECT_TRUE(launcher.calls.empty());
  EXPECT_EQ(patchRequests(), 1u);

  offer("0.218");
  server.Route(kSignature, Reply::Ok(key.Sign("MZ installer", "version:0.218")));
  report();
  EXPECT_EQ(launcher.calls.size(), 1u);
  EXPECT_EQ(client.ConfigText(), "[SerialNo]\r\nNo=KST-0001\r\n[Version]\r\nClient=0.218\r\n");
  EXPECT_EQ(patchRequests(), 2u);

  offer("0.219");
  report();
  EXPECT_EQ(launcher.calls.size(), 1u);
  EXPECT_EQ(patchRequests(), 2u);
  EXPECT_STREQ(core.Snapshot().clientVersion, "0.216");  // the running client keeps its own
}

TEST(MinisignFormat, TheRealToolsFilesReadAsExpected) {
  const auto key = ParseMinisignPublicKey(KeyLineOf(Fixture("minisign.pub")));
  ASSERT_TRUE(key.has_value());
  const auto hashed = ParseMinisignSignature(Fixture("patchv2.exe.minisig"));
  const auto legacy = ParseMinisignSignature(Fixture("patchv2.exe.legacy.minisig"));
  ASSERT_TRUE(hashed.has_value());
  ASSERT_TRUE(legacy.has_value());
  EXPECT_EQ(hashed->content, SignedContent::kBlake2bHash);
  EXPECT_EQ(legacy->content, SignedContent::kFile);
  EXPECT_EQ(hashed->keyId, key->keyId);
  EXPECT_EQ(hashed->trustedComment, "version:0.217");
  // The .pub file's comment names the key id as minisign prints it: the bytes reversed, in hex.
  char printed[17] = {};
  for (int i = 0; i < 8; ++i) std::snprintf(printed + 2 * i, 3, "%02X", key->keyId[7 - i]);
  EXPECT_NE(Fixture("minisign.pub").find(printed), std::string::npos) << printed;
}

TEST(Base64, OnlyCanonicalTextDecodes) {
  struct Case {
    const char* text;
    bool decodes;
    std::string bytes;
  } cases[] = {
      {"", true, ""},
      {"TQ==", true, "M"},
      {"TWE=", true, "Ma"},
      {"TWFu", true, "Man"},
      {"/+8A", true, std::string("\xff\xef\x00", 3)},
      {"TR==", false, ""},  // unused bits set
      {"TWF=", false, ""},
      {"TQ=", false, ""},   // length
      {"TQ=A", false, ""},  // padding inside
      {"T===", false, ""},
      {"TW-u", false, ""},  // the URL alphabet is not minisign's
      {"TWFu\n", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto decoded = DecodeBase64(c.text);
    ASSERT_EQ(decoded.has_value(), c.decodes);
    if (decoded) {
      EXPECT_EQ(std::string(decoded->begin(), decoded->end()), c.bytes);
    }
  }
}

}  // namespace
