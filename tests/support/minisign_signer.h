#pragma once
// Test keys and signatures in minisign's formats, made through libgcrypt (key generation
// and Ed25519 signing by the library; only the file layout is written here).
//
//   MinisignSigner key;
//   env.updatePublicKey = key.PublicKeyLine();
//   server.Route("/patch/patchv2.exe.minisig", Reply::Ok(key.Sign(installer, "version:0.217")));
#include <array>
#include <string>
#include <vector>

class MinisignSigner {
 public:
  MinisignSigner();  // a fresh key pair and a random key id
  ~MinisignSigner();
  MinisignSigner(const MinisignSigner&) = delete;
  MinisignSigner& operator=(const MinisignSigner&) = delete;

  std::string PublicKeyLine() const;  // "RW...", as the second line of a .pub file

  // A whole .minisig file for `content`: "ED" (BLAKE2b-512 of the content, minisign's
  // default) or, with prehashed false, "Ed" over the content itself.
  std::string Sign(const std::string& content, const std::string& trustedComment,
                   bool prehashed = true) const;

  // Makes later signatures carry `keyId` instead of this key's own (to forge a key id).
  void ClaimKeyId(const std::array<unsigned char, 8>& keyId) { keyId_ = keyId; }
  const std::array<unsigned char, 8>& KeyId() const { return keyId_; }

 private:
  std::array<unsigned char, 64> RawSign(const std::string& message) const;

  void* secret_ = nullptr;  // gcry_sexp_t of the private key
  std::array<unsigned char, 8> keyId_{};
  std::array<unsigned char, 32> public_{};
};

std::string EncodeBase64(const std::string& bytes);
