// The sandbox's and the tests' file and wait helpers that read the same on every system.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "sandbox.h"

std::string Sandbox::MakeDir(const std::string& name) const {
  std::string p = File(name);
  std::filesystem::create_directories(p);
  // Private, like the folders the client makes for itself.
  std::error_code ec;
  std::filesystem::permissions(p, std::filesystem::perms::owner_all, ec);
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

bool InCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && *ci != '\0' && std::string(ci) != "false" && std::string(ci) != "0";
}
