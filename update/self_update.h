#pragma once
// Moving the client to the version the service offers. The installer is downloaded to a
// temporary name in the install folder, then its detached signature (the patch URL with
// ".minisig"); only when both arrived as complete 2xx answers and the signature verifies
// against the built-in key for the offered version is the installer made runnable, put in
// place as patch.exe and started with "/VerySilent": the very file that was verified, held
// open since. [Version] Client is written only once it has started. Whether a version is
// offered at all (newer than ours, not refused before) is the caller's: see UpdateGate. Any failure removes
// the temporary files, leaves patch.exe and config.ini as they were, starts nothing and writes one line
// saying why to the debug output.
#include <atomic>
#include <string>

class DebugOutput;
class ProcessLauncher;

struct SelfUpdateRequest {
  std::string installDir;
  std::string patchRoot;
  std::string offeredVersion;
  std::string publicKey;  // minisign public key line ("RW..."); empty: nothing is ever started
  ProcessLauncher* launcher = nullptr;
  std::string caBundle;                      // see UrlFetcher::SetCaBundle
  DebugOutput* debug = nullptr;              // where a refusal is explained; may be null
  const std::atomic<bool>* abort = nullptr;  // gives up a download when set
};

enum class SelfUpdateResult {
  kLaunched,
  kNoKey,
  kDownloadFailed,
  kSignatureRefused,
  kNotInstalled,
  kLaunchFailed
};

SelfUpdateResult RunSelfUpdate(const SelfUpdateRequest& request);

std::string PatchFilePath(const std::string& installDir);

// The version this program was built as (the project's version).
const char* BuiltClientVersion();

// Download limits of the installer and of its signature.
inline constexpr long kInstallerTotalTimeoutMs = 30L * 60 * 1000;
inline constexpr long kSignatureTotalTimeoutMs = 2L * 60 * 1000;
inline constexpr long long kMaxSignatureBytes = 4096;
long long MaxInstallerBytes();
