#include "update/minisign_format.h"

#include <cstring>
#include <vector>

#include "update/base64.h"

namespace {

constexpr const char* kUntrustedPrefix = "untrusted comment: ";
constexpr const char* kTrustedPrefix = "trusted comment: ";
constexpr std::size_t kMaxCommentBytes = 1024;  // minisign's own limit

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Splits at LF, dropping one CR before each LF. A text ending in LF has no empty last line.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    std::size_t stop = end;
    if (stop > start && text[stop - 1] == '\r' && end < text.size()) --stop;
    lines.push_back(text.substr(start, stop - start));
    start = next;
  }
  return lines;
}

std::string TrimBlanks(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool HasControlBytes(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 && c != '\t') return true;
  }
  return false;
}

}  // namespace

std::optional<MinisignPublicKey> ParseMinisignPublicKey(const std::string& base64Line) {
  const auto bytes = DecodeBase64(TrimBlanks(base64Line));
  if (!bytes || bytes->size() != 42 || (*bytes)[0] != 'E' || (*bytes)[1] != 'd') return std::nullopt;
  MinisignPublicKey key;
  std::memcpy(key.keyId.data(), bytes->data() + 2, key.keyId.size());
  std::memcpy(key.key.data(), bytes->data() + 10, key.key.size());
  return key;
}

std::optional<MinisignSignature> ParseMinisignSignature(const std::string& fileText) {
  const std::vector<std::string> lines = Lines(fileText);
  if (lines.size() != 4) return std::nullopt;
  if (!StartsWith(lines[0], kUntrustedPrefix) ||
      lines[0].size() > std::strlen(kUntrustedPrefix) + kMaxCommentBytes) {
    return std::nullopt;
  }
  if (!StartsWith(lines[2], kTrustedPrefix)) return std::nullopt;
  MinisignSignature sig;
  sig.trustedComment = lines[2].substr(std::strlen(kTrustedPrefix));
  if (sig.trustedComment.size() > kMaxCommentBytes || HasControlBytes(sig.trustedComment))
    return std::nullopt;

  const auto body = DecodeBase64(lines[1]);
  if (!body || body->size() != 74 || (*body)[0] != 'E') return std::nullopt;
  if ((*body)[1] == 'd') {
    sig.content = SignedContent::kFile;
  } else if ((*body)[1] == 'D') {
    sig.content = SignedContent::kBlake2bHash;
  } else {
    return std::nullopt;
  }
  std::memcpy(sig.keyId.data(), body->data() + 2, sig.keyId.size());
  std::memcpy(sig.signature.data(), body->data() + 10, sig.signature.size());

  const auto global = DecodeBase64(lines[3]);
  if (!global || global->size() != sig.globalSignature.size()) return std::nullopt;
  std::memcpy(sig.globalSignature.data(), global->data(), sig.globalSignature.size());
  return sig;
}

std::string GloballySignedText(const MinisignSignature& signature) {
  std::string text(reinterpret_cast<const char*>(signature.signature.data()), signature.signature.size());
  return text + signature.trustedComment;
}

bool CommentHasToken(const std::string& comment, const std::string& token) {
  if (token.empty()) return false;
  std::size_t start = 0;
  while (start <= comment.size()) {
    std::size_t end = comment.find_first_of(" \t", start);
    if (end == std::string::npos) end = comment.size();
    if (comment.compare(start, end - start, token) == 0 && end - start == token.size()) return true;
    start = end + 1;
  }
  return false;
}
