#include "update/signature_crypto.h"

#include <gcrypt.h>

#include <cstring>
#include <mutex>

bool InitSignatureCrypto() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    // Another part of the process may have set the library up already; then leave it be.
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) {
      ready = true;
      return;
    }
    if (!gcry_check_version(GCRYPT_VERSION)) return;
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    ready = true;
  });
  return ready;
}

bool Ed25519Verify(const std::array<unsigned char, 32>& publicKey, const void* message, std::size_t size,
                   const std::array<unsigned char, 64>& signature) {
  if (size > kMaxEd25519MessageBytes || !InitSignatureCrypto()) return false;
  gcry_sexp_t key = nullptr;
  gcry_sexp_t data = nullptr;
  gcry_sexp_t sig = nullptr;
  bool valid = false;
  const int keyLength = static_cast<int>(publicKey.size());
  const int messageLength = static_cast<int>(size);
  if (static_cast<std::size_t>(messageLength) == size &&
      gcry_sexp_build(&key, nullptr, "(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))", keyLength,
                      publicKey.data()) == 0 &&
      gcry_sexp_build(&data, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))", messageLength,
                      message) == 0 &&
      gcry_sexp_build(&sig, nullptr, "(sig-val (eddsa (r %b) (s %b)))", 32, signature.data(), 32,
                      signature.data() + 32) == 0) {
    valid = gcry_pk_verify(sig, data, key) == 0;
  }
  gcry_sexp_release(sig);
  gcry_sexp_release(data);
  gcry_sexp_release(key);
  return valid;
}

Blake2b512::Blake2b512() {
  if (!InitSignatureCrypto()) return;
  gcry_md_hd_t md = nullptr;
  if (gcry_md_open(&md, GCRY_MD_BLAKE2B_512, 0) == 0) handle_ = md;
}

Blake2b512::~Blake2b512() {
  if (handle_) gcry_md_close(static_cast<gcry_md_hd_t>(handle_));
}

void Blake2b512::Update(const void* data, std::size_t size) {
  if (handle_) gcry_md_write(static_cast<gcry_md_hd_t>(handle_), data, size);
}

std::array<unsigned char, 64> Blake2b512::Final() {
  std::array<unsigned char, 64> digest{};
  if (!handle_) return digest;
  const unsigned char* result = gcry_md_read(static_cast<gcry_md_hd_t>(handle_), GCRY_MD_BLAKE2B_512);
  if (result) std::memcpy(digest.data(), result, digest.size());
  return digest;
}
