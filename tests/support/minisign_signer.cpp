#include "support/minisign_signer.h"

#include <gcrypt.h>

#include <cstring>
#include <stdexcept>

#include "update/signature_crypto.h"

namespace {

// The value bytes of `name` inside `sexp`.
std::string TokenBytes(gcry_sexp_t sexp, const char* name) {
  gcry_sexp_t token = gcry_sexp_find_token(sexp, name, 0);
  if (!token) throw std::runtime_error(std::string("no ") + name + " in a libgcrypt answer");
  size_t length = 0;
  const char* data = gcry_sexp_nth_data(token, 1, &length);
  std::string bytes(data ? data : "", data ? length : 0);
  gcry_sexp_release(token);
  return bytes;
}

}  // namespace

std::string EncodeBase64(const std::string& bytes) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out.push_back(k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
  }
  return out;
}

MinisignSigner::MinisignSigner() {
  if (!InitSignatureCrypto()) throw std::runtime_error("libgcrypt could not be readied");
  gcry_sexp_t params = nullptr;
  gcry_sexp_t pair = nullptr;
  if (gcry_sexp_build(&params, nullptr, "(genkey (ecc (curve Ed25519) (flags eddsa)))") != 0 ||
      gcry_pk_genkey(&pair, params) != 0) {
    throw std::runtime_error("libgcrypt made no Ed25519 key");
  }
  gcry_sexp_release(params);
  std::string q = TokenBytes(pair, "q");
  // libgcrypt may mark the compressed point with a 0x40 prefix.
  if (q.size() == 33 && static_cast<unsigned char>(q[0]) == 0x40) q.erase(0, 1);
  if (q.size() != public_.size()) throw std::runtime_error("unexpected Ed25519 public key size");
  std::memcpy(public_.data(), q.data(), public_.size());
  secret_ = gcry_sexp_find_token(pair, "private-key", 0);
  gcry_sexp_release(pair);
  gcry_create_nonce(keyId_.data(), keyId_.size());
}

MinisignSigner::~MinisignSigner() { gcry_sexp_release(static_cast<gcry_sexp_t>(secret_)); }

std::string MinisignSigner::PublicKeyLine() const {
  std::string raw = "Ed";
  raw.append(reinterpret_cast<const char*>(keyId_.data()), keyId_.size());
  raw.append(reinterpret_cast<const char*>(public_.data()), public_.size());
  return EncodeBase64(raw);
}

std::array<unsigned char, 64> MinisignSigner::RawSign(const std::string& message) const {
  gcry_sexp_t data = nullptr;
  gcry_sexp_t sig = nullptr;
  if (gcry_sexp_build(&data, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                      static_cast<int>(message.size()), message.data()) != 0 ||
      gcry_pk_sign(&sig, data, static_cast<gcry_sexp_t>(secret_)) != 0) {
    throw std::runtime_error("libgcrypt did not sign");
  }
  gcry_sexp_release(data);
  const std::string r = TokenBytes(sig, "r");
  const std::string s = TokenBytes(sig, "s");
  gcry_sexp_release(sig);
  if (r.size() != 32 || s.size() != 32) throw std::runtime_error("unexpected Ed25519 signature size");
  std::array<unsigned char, 64> out{};
  std::memcpy(out.data(), r.data(), 32);
  std::memcpy(out.data() + 32, s.data(), 32);
  return out;
}

std::string MinisignSigner::Sign(const std::string& content, const std::string& trustedComment,
                                 bool prehashed) const {
  std::string signedPart = content;
  if (prehashed) {
    Blake2b512 hash;
    hash.Update(content.data(), content.size());
    const auto digest = hash.Final();
    signedPart.assign(reinterpret_cast<const char*>(digest.data()), digest.size());
  }
  const auto signature = RawSign(signedPart);
  const std::string signatureBytes(reinterpret_cast<const char*>(signature.data()), signature.size());
  std::string body = prehashed ? "ED" : "Ed";
  body.append(reinterpret_cast<const char*>(keyId_.data()), keyId_.size());
  body += signatureBytes;
  const auto global = RawSign(signatureBytes + trustedComment);
  return "untrusted comment: signature from a test key\n" + EncodeBase64(body) +
         "\ntrusted comment: " + trustedComment + "\n" +
         EncodeBase64(std::string(reinterpret_cast<const char*>(global.data()), global.size())) + "\n";
}
