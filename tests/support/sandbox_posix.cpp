#include "sandbox.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

Sandbox::Sandbox() {
  std::string base = std::filesystem::temp_directory_path().string() + "/kestravon-test-XXXXXX";
  if (!mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
  path_ = base;
}

Sandbox::~Sandbox() {
  std::error_code ec;
  // Make read-only folders writable again so the sandbox can always be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec)) chmod(it->path().c_str(), 0700);
  }
  chmod(path_.c_str(), 0700);
  std::filesystem::remove_all(path_, ec);
}
