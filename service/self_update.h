#pragma once
// Moving the client to the version the service offers: download the installer to a
// temporary name in the install folder, put it in place as patch.exe only once a complete
// 2xx body has arrived, record the offered version in config.ini, then start the
// installer with "/VerySilent". A failed download writes nothing and launches nothing.
#include <atomic>
#include <string>

class ProcessLauncher;

struct SelfUpdateRequest {
  std::string installDir;
  std::string patchRoot;
  std::string offeredVersion;
  ProcessLauncher* launcher = nullptr;
  const std::atomic<bool>* abort = nullptr;  // gives up the download when set
  std::string caBundle;                      // see UrlFetcher::SetCaBundle
};

enum class SelfUpdateResult { kLaunched, kDownloadFailed, kNotInstalled, kLaunchFailed };

SelfUpdateResult RunSelfUpdate(const SelfUpdateRequest& request);

std::string PatchFilePath(const std::string& installDir);
