#pragma once
// A fresh folder under the system temp folder for one test, removed afterwards,
// and small file helpers around it.
#include <chrono>
#include <functional>
#include <string>

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& Path() const { return path_; }  // no trailing '/'
  std::string Dir() const { return path_ + "/"; }    // with trailing '/'
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::string MakeDir(const std::string& name) const;  // creates <path>/<name>, returns it

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Polls `condition` on the steady clock until it holds or `timeout` passes. The default
// is generous: a sanitizer build on a busy machine runs several times slower, and a wait
// that holds returns as soon as it does.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// True when CI is set (and not to "false" or "0"), as the scripts read it: there a part the
// set-up installs must be present, and its absence fails a test instead of skipping it.
bool InCi();
