// The profile reader against the plain model of the rules, through buffers of every size
// with guard bytes behind them, on files that may straddle the reader's 32 KiB window.
//
// Input: [size] [padding] [flags] section NUL key NUL file...
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "profile/profile.h"
#include "profile_model.h"

namespace {

constexpr std::size_t kGuard = 32;
constexpr char kGuardByte = '\xA5';

// The two high bits of the padding byte put a long blank line first, so the fuzzed part
// of the file starts just before the reader's first refill.
std::string Padding(std::uint8_t selector) {
  if ((selector & 0xC0) != 0xC0) return {};
  std::string line(32 * 1024 - 4 * (selector & 0x3F), ' ');
  line.back() = '\n';
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::size_t bufferSize = in.Byte();
  const std::string padding = Padding(in.Byte());
  const std::uint8_t flags = in.Byte();
  const std::string section = in.Text();
  const std::string key = in.Text();
  const std::string file = padding + std::string(in.Rest());
  const char* defaultValue = (flags & 1) ? nullptr : "<default>";

  const std::string path = fuzz::ScratchFile("read.ini");
  fuzz::WriteFile(path, file);

  std::vector<char> dest(bufferSize + kGuard, kGuardByte);
  const std::size_t n =
      ReadProfileString(section.c_str(), key.c_str(), defaultValue, dest.data(), bufferSize, path.c_str());

  const auto context = [&] {
    return std::string() + "section " + fuzz::Show(section) + " key " + fuzz::Show(key) + " size " +
           std::to_string(bufferSize) + " file " + fuzz::Show(std::string(in.Rest()));
  };
  for (std::size_t i = bufferSize; i < dest.size(); ++i) {
    FUZZ_CHECK(dest[i] == kGuardByte, "wrote past the buffer at " + std::to_string(i) + "; " + context());
  }
  if (bufferSize == 0) {
    FUZZ_CHECK(n == 0, context());
    return 0;
  }
  FUZZ_CHECK(n < bufferSize, "count " + std::to_string(n) + "; " + context());
  FUZZ_CHECK(dest[n] == '\0', "no NUL after the count; " + context());

  const std::string got(dest.data(), n);
  const std::string expected = fuzz::ModelRead(file, section, key, defaultValue, bufferSize);
  FUZZ_CHECK(got == expected,
             "read " + fuzz::Show(got) + ", the rules give " + fuzz::Show(expected) + "; " + context());
  return 0;
}
