#include "daemon/access_token.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/private_folder.h"

std::string NewAccessToken() {
  unsigned char bytes[32];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::string();
    }
    got += static_cast<std::size_t>(n);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 15];
  }
  return token;
}

bool WriteTokenFile(const std::string& privateFolder, const std::string& token) {
  if (token.empty() || !PrivateFolderUsable(privateFolder)) return false;
  std::string path = privateFolder;
  if (path.back() != '/') path += '/';
  path += kTokenFileName;
  // A file left by an earlier run (or anything put there) goes; O_EXCL then guarantees a
  // fresh file of ours, and O_NOFOLLOW that a link put in its place is not followed.
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::string line = token + "\n";
  std::size_t written = 0;
  bool ok = fchmod(fd, 0600) == 0;  // whatever the umask left
  while (ok && written < line.size()) {
    const ssize_t n = write(fd, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<std::size_t>(n);
  }
  ok = close(fd) == 0 && ok;
  if (!ok) unlink(path.c_str());
  return ok;
}

std::string_view BearerToken(std::string_view header) {
  constexpr std::string_view kScheme = "Bearer ";
  if (header.size() <= kScheme.size() || header.substr(0, kScheme.size()) != kScheme) return {};
  return header.substr(kScheme.size());
}

bool TokensMatch(std::string_view offered, std::string_view expected) {
  if (expected.empty() || offered.size() != expected.size()) return false;
  volatile unsigned char difference = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    difference = difference | static_cast<unsigned char>(offered[i] ^ expected[i]);
  }
  return difference == 0;
}
