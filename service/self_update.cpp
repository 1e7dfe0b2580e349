#include "service/self_update.h"

#include <cstdio>

#include "service/executable_file.h"
#include "service/identity.h"
#include "service/platform_paths.h"
#include "service/process_launcher.h"
#include "service/profile.h"
#include "service/request_urls.h"
#include "service/url_fetcher.h"

std::string PatchFilePath(const std::string& installDir) { return installDir + PathSeparator() + "patch.exe"; }

SelfUpdateResult RunSelfUpdate(const SelfUpdateRequest& request) {
  const std::string patchFile = PatchFilePath(request.installDir);
  const std::string partial = patchFile + ".part";

  UrlFetcher fetcher;
  fetcher.SetAbortFlag(request.abort);
  fetcher.SetCaBundle(request.caBundle);
  fetcher.OpenSession();
  fetcher.FetchToFile(PatchUrl(request.patchRoot).c_str(), partial.c_str());
  const bool downloaded = fetcher.Outcome().Complete2xx();
  fetcher.CloseSession();

  if (!downloaded) {
    std::remove(partial.c_str());
    return SelfUpdateResult::kDownloadFailed;
  }
  // The installer must be runnable; only the file we just downloaded is touched.
  if (!MakeExecutable(partial) || !MoveFileOver(partial, patchFile)) {
    std::remove(partial.c_str());
    return SelfUpdateResult::kNotInstalled;
  }
  WriteProfileString("Version", "Client", request.offeredVersion.c_str(),
                     ConfigPath(request.installDir).c_str());
  if (!request.launcher || !request.launcher->Launch(patchFile, "/VerySilent", request.installDir)) {
    return SelfUpdateResult::kLaunchFailed;
  }
  return SelfUpdateResult::kLaunched;
}
