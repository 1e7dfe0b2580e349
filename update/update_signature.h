#pragma once
// Whether a downloaded installer may run: its detached minisign signature must verify
// against the public key built into the client, and its trusted comment must name the
// version the service offers, so an older signed installer cannot pass for a newer one.
#include <cstddef>
#include <functional>
#include <string>

enum class SignatureVerdict {
  kValid,
  kNoKey,          // no usable public key is built in: nothing is ever accepted
  kMalformed,      // not a minisign signature file
  kOtherKey,       // made with another key (key id differs)
  kCommentForged,  // the global signature over the trusted comment does not verify
  kOtherVersion,   // the trusted comment does not name the offered version
  kFileMismatch,   // the signature does not verify over the installer
  kInstallerUnreadable,
  kLegacyTooLarge,     // an "Ed" signature over an installer too large to verify whole
  kCryptoUnavailable,  // the crypto library could not be readied
};

// A short English reason, for the debug output.
const char* VerdictText(SignatureVerdict verdict);

// Feeds the installer's bytes, from the first, to the sink; false when they cannot be read.
using InstallerBytes =
    std::function<bool(const std::function<void(const unsigned char*, std::size_t)>& sink)>;

// `publicKey` is the base64 key line of a minisign .pub file ("RW..."); empty means none.
SignatureVerdict VerifyInstallerSignature(const std::string& publicKey, const std::string& signatureFile,
                                          const std::string& offeredVersion, const InstallerBytes& installer);
