// The tests' sandbox folder (support/sandbox.h) on Windows.
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>

#include "sandbox.h"

namespace {
std::atomic<unsigned> g_counter{0};
}  // namespace

Sandbox::Sandbox() {
  const std::string base = std::filesystem::temp_directory_path().string();
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate = base + "kestravon-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                                  std::to_string(GetTickCount()) + "-" + std::to_string(g_counter++);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  throw std::runtime_error("cannot create a sandbox folder");
}

Sandbox::~Sandbox() {
  std::error_code ec;
  // Read-only files would stop the removal.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  std::filesystem::remove_all(path_, ec);
}
