// Signature files from a hostile server, on any bytes: reading and verifying them against
// a real key never fails badly (the sanitizers watch), and what is read keeps minisign's
// limits and stands in the file as read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "update/base64.h"
#include "update/minisign_format.h"
#include "update/update_signature.h"

namespace {

// The seeds' key and installer (tests/update/data/minisign).
constexpr const char* kKey = "RWQvsYDT2ZQO/DbHXvNBCnXB6J6/hmr8z3Ley5KTHQ7rntK6qXp+zfQp";
constexpr const char* kInstaller = "MZ small installer for the signature fixture\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)DecodeBase64(text);
  const auto sig = ParseMinisignSignature(text);
  if (sig) {
    if (sig->trustedComment.size() > 1024) __builtin_trap();
    if (text.find("trusted comment: " + sig->trustedComment) == std::string::npos) __builtin_trap();
  }
  const std::string installer = kInstaller;
  const SignatureVerdict verdict = VerifyInstallerSignature(kKey, text, "0.217", [&](const auto& sink) {
    sink(reinterpret_cast<const unsigned char*>(installer.data()), installer.size());
    return true;
  });
  if (verdict == SignatureVerdict::kValid && !sig) __builtin_trap();
  return 0;
}
