#include "update/update_signature.h"

#include "update/minisign_format.h"
#include "update/signature_crypto.h"

const char* VerdictText(SignatureVerdict verdict) {
  switch (verdict) {
    case SignatureVerdict::kValid: return "signature valid";
    case SignatureVerdict::kNoKey: return "no update key is built in";
    case SignatureVerdict::kMalformed: return "the signature file is malformed";
    case SignatureVerdict::kOtherKey: return "the signature was made with another key";
    case SignatureVerdict::kCommentForged: return "the trusted comment does not verify";
    case SignatureVerdict::kOtherVersion: return "the signature is not for the offered version";
    case SignatureVerdict::kFileMismatch: return "the signature does not match the installer";
    case SignatureVerdict::kInstallerUnreadable: return "the installer could not be read";
    case SignatureVerdict::kLegacyTooLarge:
      return "a legacy (Ed) signature covers installers of at most 60000 bytes; sign with minisign's default";
    case SignatureVerdict::kCryptoUnavailable: return "the crypto library is unavailable";
  }
  return "unknown";
}

SignatureVerdict VerifyInstallerSignature(const std::string& publicKey, const std::string& signatureFile,
                                          const std::string& offeredVersion,
                                          const InstallerBytes& installer) {
  const auto key = ParseMinisignPublicKey(publicKey);
  if (!key) return SignatureVerdict::kNoKey;
  if (!InitSignatureCrypto()) return SignatureVerdict::kCryptoUnavailable;
  const auto sig = ParseMinisignSignature(signatureFile);
  if (!sig) return SignatureVerdict::kMalformed;
  if (sig->keyId != key->keyId) return SignatureVerdict::kOtherKey;

  // The comment first: it costs nothing next to reading a large installer, and a replayed
  // signature is refused before the installer is touched.
  const std::string globallySigned = GloballySignedText(*sig);
  if (!Ed25519Verify(key->key, globallySigned.data(), globallySigned.size(), sig->globalSignature)) {
    return SignatureVerdict::kCommentForged;
  }
  if (!CommentHasToken(sig->trustedComment, "version:" + offeredVersion))
    return SignatureVerdict::kOtherVersion;

  bool verified = false;
  if (sig->content == SignedContent::kBlake2bHash) {
    Blake2b512 hash;
    if (!hash.Ok()) return SignatureVerdict::kCryptoUnavailable;
    if (!installer([&](const unsigned char* data, std::size_t n) { hash.Update(data, n); })) {
      return SignatureVerdict::kInstallerUnreadable;
    }
    const auto digest = hash.Final();
    verified = Ed25519Verify(key->key, digest.data(), digest.size(), sig->signature);
  } else {
    // The legacy form signs the file itself, which the library takes only whole and small.
    std::string whole;
    bool tooLarge = false;
    if (!installer([&](const unsigned char* data, std::size_t n) {
          if (tooLarge || whole.size() + n > kMaxEd25519MessageBytes) {
            tooLarge = true;
            return;
          }
          whole.append(reinterpret_cast<const char*>(data), n);
        })) {
      return SignatureVerdict::kInstallerUnreadable;
    }
    if (tooLarge) return SignatureVerdict::kLegacyTooLarge;
    verified = Ed25519Verify(key->key, whole.data(), whole.size(), sig->signature);
  }
  return verified ? SignatureVerdict::kValid : SignatureVerdict::kFileMismatch;
}
