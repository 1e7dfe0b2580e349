#pragma once
// Where request traces go (the platform's debug output). Tests capture them.
#include <mutex>
#include <string>
#include <vector>

class DebugOutput {
 public:
  virtual ~DebugOutput() = default;
  virtual void Write(const char* text) = 0;
};

// Writes each text to standard error as it comes (OutputDebugStringA on Windows).
class StderrDebugOutput : public DebugOutput {
 public:
  void Write(const char* text) override;
};

// Keeps every text written, for tests.
class RecordingDebugOutput : public DebugOutput {
 public:
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
};
