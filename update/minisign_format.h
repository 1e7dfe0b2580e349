#pragma once
// The minisign file formats, read strictly: a public key (the base64 line of a .pub file)
// and a detached signature (.minisig). Only the layout is read here; whether anything
// verifies is decided in update_signature.
#include <array>
#include <optional>
#include <string>

using KeyId = std::array<unsigned char, 8>;

struct MinisignPublicKey {
  KeyId keyId{};
  std::array<unsigned char, 32> key{};  // Ed25519
};

enum class SignedContent {
  kFile,         // "Ed": the signature covers the file itself
  kBlake2bHash,  // "ED": it covers the file's BLAKE2b-512 hash (minisign's default)
};

struct MinisignSignature {
  SignedContent content = SignedContent::kFile;
  KeyId keyId{};
  std::array<unsigned char, 64> signature{};
  std::string trustedComment;                       // the text after "trusted comment: "
  std::array<unsigned char, 64> globalSignature{};  // over signature + trusted comment
};

// The key line "RW..." (42 bytes: "Ed", key id, key). Blanks around it are allowed.
std::optional<MinisignPublicKey> ParseMinisignPublicKey(const std::string& base64Line);

// The four lines of a .minisig file: untrusted comment, signature, trusted comment,
// global signature; each ends with LF or CRLF (the last may have none). nullopt for any
// other layout, an algorithm other than "Ed" or "ED", or a comment over 1024 bytes.
std::optional<MinisignSignature> ParseMinisignSignature(const std::string& fileText);

// The text a minisign global signature covers.
std::string GloballySignedText(const MinisignSignature& signature);

// True when `comment`, split at spaces and tabs, has a token equal to `token`.
bool CommentHasToken(const std::string& comment, const std::string& token);
