#pragma once
// Where request traces go (the platform's debug output). Tests capture them.
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// True for the debug-output lines that are really warnings for the user (a self-update
// refused, a reply folder others can reach): shown even when the traces are not.
inline bool IsWarningLine(std::string_view line) {
  return line.rfind("Self-update:", 0) == 0 || line.rfind("reply folder is not private", 0) == 0;
}

class DebugOutput {
 public:
  virtual ~DebugOutput() = default;
  virtual void Write(const char* text) = 0;
  // Something the user should see that is not part of the debug output itself (the
  // service gave no answer at start-up). Only a sink with a channel for warnings shows
  // it; the platform's debug output does not.
  virtual void Warn(const char* text) { (void)text; }
};

// Writes each text to standard error as it comes (OutputDebugStringA on Windows).
class StderrDebugOutput : public DebugOutput {
 public:
  void Write(const char* text) override;
};

// Keeps every text written (and every warning apart), for tests.
class RecordingDebugOutput : public DebugOutput {
 public:
  void Warn(const char* text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    warnings_.emplace_back(text);
  }
  std::vector<std::string> Warnings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return warnings_;
  }
  void Write(const char* text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.emplace_back(text);
  }
  std::vector<std::string> Texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
  std::vector<std::string> warnings_;
};
