#include "sandbox.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

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
