#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/private_folder.h"

namespace {

std::string Octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

bool TrustedOwner(uid_t owner) { return owner == geteuid() || owner == 0; }

std::string OwnerText(uid_t owner) { return "belongs to another user (uid " + std::to_string(owner) + ")"; }

// A folder above ours: only this user and root may change what it holds.
std::string AncestorProblem(const std::string& path, const struct stat& st) {
  if (!S_ISDIR(st.st_mode)) return path + " is not a folder";
  if (!TrustedOwner(st.st_uid)) return path + " " + OwnerText(st.st_uid);
  // In a sticky folder (as /tmp) others may add names but not remove or rename ours.
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0) {
    return path + " may be changed by other users (mode " + Octal(st.st_mode) + ", not sticky)";
  }
  return "";
}

// Each folder named on the way, as written: where it leads must be safe, and a link on
// the way must be owned by this user or root (its folder keeps others from replacing it).
std::string LexicalChainProblem(const std::string& parent) {
  std::string prefix;
  std::size_t start = 0;
  struct stat st;
  if (stat("/", &st) != 0) return "/ cannot be examined";
  if (std::string p = AncestorProblem("/", st); !p.empty()) return p;
  while (start < parent.size()) {
    const std::size_t slash = parent.find('/', start);
    const std::size_t end = slash == std::string::npos ? parent.size() : slash;
    if (end > start) {
      prefix += "/" + parent.substr(start, end - start);
      if (lstat(prefix.c_str(), &st) != 0) return prefix + " is missing";
      if (S_ISLNK(st.st_mode) && !TrustedOwner(st.st_uid))
        return prefix + " is a link that " + OwnerText(st.st_uid);
      if (stat(prefix.c_str(), &st) != 0) return prefix + " leads nowhere";
      if (std::string p = AncestorProblem(prefix, st); !p.empty()) return p;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return "";
}

// The folders above ours as they really are, links resolved.
std::string ResolvedChainProblem(const std::string& parent) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(parent.c_str(), nullptr), &std::free);
  if (!resolved) return parent + " cannot be resolved";
  const std::string real = resolved.get();
  std::string prefix;
  std::size_t start = 1;
  while (start <= real.size()) {
    const std::size_t slash = real.find('/', start);
    const std::size_t end = slash == std::string::npos ? real.size() : slash;
    if (end > start) {
      prefix += "/" + real.substr(start, end - start);
      struct stat st;
      if (lstat(prefix.c_str(), &st) != 0) return prefix + " is missing";
      if (std::string p = AncestorProblem(prefix, st); !p.empty()) return p;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return "";
}

}  // namespace

std::string PrivateFolderProblem(const std::string& folder) {
  if (folder.empty()) return "no folder is named";
  std::string name = folder;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  if (name.front() != '/') {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return name + " cannot be placed (no working folder)";
    name = std::string(cwd) + "/" + name;
  }
  struct stat st;
  if (lstat(name.c_str(), &st) != 0) return name + " is missing";
  if (S_ISLNK(st.st_mode)) return name + " is a link";
  if (!S_ISDIR(st.st_mode)) return name + " is not a folder";
  if (st.st_uid != geteuid()) return name + " " + OwnerText(st.st_uid);
  if ((st.st_mode & 077) != 0) return name + " is open to group or others (mode " + Octal(st.st_mode) + ")";
  const std::string parent = name.substr(0, name.rfind('/'));
  if (std::string p = LexicalChainProblem(parent); !p.empty()) return p;
  return ResolvedChainProblem(parent.empty() ? "/" : parent);
}

bool PrivateFolderUsable(const std::string& folder) { return PrivateFolderProblem(folder).empty(); }

const char* PrivateFolderAdvice() {
  return "set XDG_RUNTIME_DIR to a folder of your own with mode 0700 (as /run/user/<uid>), "
         "or remove what stands in the way";
}
