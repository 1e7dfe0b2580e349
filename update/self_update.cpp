#include "update/self_update.h"

#include <cstdio>

#include "exchange/request_urls.h"
#include "exchange/url_fetcher.h"
#include "platform/debug_output.h"
#include "platform/downloaded_file.h"
#include "platform/platform_paths.h"
#include "platform/process_launcher.h"
#include "profile/identity.h"
#include "profile/profile.h"
#include "update/minisign_format.h"
#include "update/update_signature.h"

#ifndef KESTRAVON_MAX_INSTALLER_BYTES
#define KESTRAVON_MAX_INSTALLER_BYTES 268435456LL
#endif

#ifndef KESTRAVON_CLIENT_VERSION
#define KESTRAVON_CLIENT_VERSION "0.216"
#endif

const char* BuiltClientVersion() { return KESTRAVON_CLIENT_VERSION; }

std::string PatchFilePath(const std::string& installDir) {
  return installDir + PathSeparator() + "patch.exe";
}

long long MaxInstallerBytes() { return KESTRAVON_MAX_INSTALLER_BYTES; }

namespace {

void Explain(const SelfUpdateRequest& request, const std::string& why) {
  if (request.debug) request.debug->Write(("Self-update: " + why + "\r\n").c_str());
}

// One GET into `destination`; true only for a complete 2xx answer.
bool Download(const SelfUpdateRequest& request, const std::string& url, const std::string& destination,
              long totalTimeoutMs, long long maxBytes) {
  FetchLimits limits;
  limits.totalTimeout = std::chrono::milliseconds(totalTimeoutMs);
  limits.maxBodyBytes = maxBytes;
  UrlFetcher fetcher;
  fetcher.SetLimits(limits);
  fetcher.SetAbortFlag(request.abort);
  fetcher.SetCaBundle(request.caBundle);
  fetcher.OpenSession();
  fetcher.FetchToFile(url.c_str(), destination.c_str());
  const bool complete = fetcher.Outcome().Complete2xx();
  fetcher.CloseSession();
  return complete;
}

// The signature's text, read through a descriptor that follows no link; the file is gone
// afterwards whatever happened.
bool FetchSignature(const SelfUpdateRequest& request, const std::string& url, const std::string& path,
                    std::string& text, std::string& why) {
  bool ok = Download(request, url, path, kSignatureTotalTimeoutMs, kMaxSignatureBytes);
  if (!ok) {
    why = "the signature download did not complete";
  } else {
    DownloadedFile file;
    ok = file.Open(path) && file.ReadText(text, kMaxSignatureBytes);
    if (!ok)
      why =
          "the signature file is unreadable or larger than " + std::to_string(kMaxSignatureBytes) + " bytes";
  }
  std::remove(path.c_str());
  return ok;
}

}  // namespace

SelfUpdateResult RunSelfUpdate(const SelfUpdateRequest& request) {
  // Without a key nothing could ever be started, so nothing is fetched either.
  if (!ParseMinisignPublicKey(request.publicKey)) {
    Explain(request, "no usable update key is built in; the offered version is not installed");
    return SelfUpdateResult::kNoKey;
  }
  const std::string patchFile = PatchFilePath(request.installDir);
  const std::string partial = patchFile + ".part";
  const std::string signaturePartial = patchFile + ".minisig.part";
  const std::string patchUrl = PatchUrl(request.patchRoot);
  // Whatever stands at the temporary names (a leftover, or a link planted there) goes
  // first, so the downloads create fresh files of their own.
  std::remove(partial.c_str());
  std::remove(signaturePartial.c_str());

  if (!Download(request, patchUrl, partial, kInstallerTotalTimeoutMs, MaxInstallerBytes())) {
    std::remove(partial.c_str());
    Explain(request, "the installer download did not complete");
    return SelfUpdateResult::kDownloadFailed;
  }
  std::string signature;
  std::string why;
  if (!FetchSignature(request, patchUrl + ".minisig", signaturePartial, signature, why)) {
    std::remove(partial.c_str());
    Explain(request, why);
    return SelfUpdateResult::kDownloadFailed;
  }

  // From here on the installer is handled only through this descriptor.
  DownloadedFile installer;
  if (!installer.Open(partial) || installer.Size() > MaxInstallerBytes()) {
    installer.Close();
    std::remove(partial.c_str());
    Explain(request, "the downloaded installer is not a plain file of ours within the size limit");
    return SelfUpdateResult::kNotInstalled;
  }
  const SignatureVerdict verdict =
      VerifyInstallerSignature(request.publicKey, signature, request.offeredVersion,
                               [&](const auto& sink) { return installer.Read(sink); });
  if (verdict != SignatureVerdict::kValid) {
    installer.Close();
    std::remove(partial.c_str());
    Explain(request, std::string("installer refused: ") + VerdictText(verdict));
    return SelfUpdateResult::kSignatureRefused;
  }
  // The installer must be runnable; only the file just verified is touched, and it is
  // started only if the rename put that very file at the patch path. What starts is the
  // file held open since it was verified, never whatever the name leads to by then.
  if (!installer.MakeExecutable() || !MoveFileOver(partial, patchFile) || !installer.HoldAt(patchFile)) {
    installer.Close();
    std::remove(partial.c_str());
    Explain(request, "the verified installer could not be put in place");
    return SelfUpdateResult::kNotInstalled;
  }
  const bool started =
      request.launcher && request.launcher->Launch(installer, patchFile, "/VerySilent", request.installDir);
  installer.Close();
  if (!started) {
    Explain(request, "the installer could not be started");
    return SelfUpdateResult::kLaunchFailed;
  }
  WriteProfileString("Version", "Client", request.offeredVersion.c_str(),
                     ConfigPath(request.installDir).c_str());
  return SelfUpdateResult::kLaunched;
}
