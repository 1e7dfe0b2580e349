// The tests' sandbox folder (support/sandbox.h) on Windows.
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/sandbox.h"

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

std::string Sandbox::MakeDir(const std::string& name) const {
  std::string p = File(name);
  std::filesystem::create_directories(p);
  return p;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}
