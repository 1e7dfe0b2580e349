#pragma once
// The two primitives update signatures need, from libgcrypt: Ed25519 verification and
// BLAKE2b-512. No cryptography is done by hand anywhere in the client.
#include <array>
#include <cstddef>
#include <string>

// Readies libgcrypt once per process (version check, no secure memory: only public data
// is handled). Safe to call from any thread, any number of times.
bool InitSignatureCrypto();

// libgcrypt carries a message inside an S-expression whose values hold less than 64 KiB
// (larger ones abort the process inside the library), so longer messages are refused here.
inline constexpr std::size_t kMaxEd25519MessageBytes = 60000;

// True when `signature` is a valid Ed25519 signature of `message` by `publicKey`; false
// for a message over kMaxEd25519MessageBytes.
bool Ed25519Verify(const std::array<unsigned char, 32>& publicKey, const void* message, std::size_t size,
                   const std::array<unsigned char, 64>& signature);

// BLAKE2b with a 64-byte digest and no key, fed piece by piece.
class Blake2b512 {
 public:
  Blake2b512();
  ~Blake2b512();
  Blake2b512(const Blake2b512&) = delete;
  Blake2b512& operator=(const Blake2b512&) = delete;

  bool Ok() const { return handle_ != nullptr; }
  void Update(const void* data, std::size_t size);
  std::array<unsigned char, 64> Final();

 private:
  void* handle_ = nullptr;  // gcry_md_hd_t
};
