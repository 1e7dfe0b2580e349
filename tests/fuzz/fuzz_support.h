#pragma once
// Shared by the fuzz targets: a scratch folder per process, whole-file I/O, taking an
// input apart, and a check that aborts, so that libFuzzer keeps the input that broke it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

// A fresh folder, made at first use and removed with its files at exit. It lies in
// /dev/shm when that is there, since every profile write flushes to the disk.
const std::string& ScratchFolder();
std::string ScratchFile(const char* name);

void WriteFile(const std::string& path, std::string_view bytes);
// False when the file cannot be opened.
bool ReadFile(const std::string& path, std::string& bytes);
void RemoveFile(const std::string& path);
// Names in the scratch folder other than "." and "..".
std::size_t ScratchEntries();

// Takes an input apart from the front. Past the end, bytes read as 0 and texts as empty.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size)
      : data_(reinterpret_cast<const char*>(data)), size_(size) {}
  std::uint8_t Byte();
  // The fixed-size value of the next sizeof(T) bytes (fewer left: zero-filled).
  template <typename T>
  T Raw() {
    T value{};
    char* out = reinterpret_cast<char*>(&value);
    for (std::size_t i = 0; i < sizeof value; ++i) out[i] = static_cast<char>(Byte());
    return value;
  }
  // The bytes up to the next NUL, which is consumed, or up to the end.
  std::string Text();
  std::string_view Rest() const { return {data_ + pos_, size_ - pos_}; }

 private:
  const char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Bytes as a C string literal would show them, for failure messages.
std::string Show(std::string_view bytes);

[[noreturn]] void Fail(const char* file, int line, const char* condition, const std::string& detail);

}  // namespace fuzz

// The detail is only built when the check fails.
#define FUZZ_CHECK(condition, detail)                                         \
  do {                                                                        \
    if (!(condition)) ::fuzz::Fail(__FILE__, __LINE__, #condition, (detail)); \
  } while (0)
