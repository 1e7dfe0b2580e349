// The profile writer: it accepts exactly what reads back as written, the key then reads
// back as the value, every other key of the file reads as before, the change stays
// within one line, a refused write leaves the file alone, and no temporary file is left.
//
// Input: [flags] section NUL key NUL value NUL file...   (flags bit 0: no file at all)
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "profile/profile.h"
#include "profile_model.h"

namespace {

// The bytes the write took out of the old file: what lies between the longest common
// prefix and the longest common suffix that do not overlap.
std::string RemovedBytes(const std::string& before, const std::string& after) {
  std::size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  return before.substr(prefix, before.size() - prefix - suffix);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const bool noFile = (in.Byte() & 1) != 0;
  const std::string section = in.Text();
  const std::string key = in.Text();
  const std::string value = in.Text();
  const std::string before = noFile ? std::string() : std::string(in.Rest());

  const std::string path = fuzz::ScratchFile("write.ini");
  fuzz::RemoveFile(path);
  if (!noFile) fuzz::WriteFile(path, before);

  const bool written = WriteProfileString(section.c_str(), key.c_str(), value.c_str(), path.c_str());

  const auto context = [&] {
    return std::string() + "section " + fuzz::Show(section) + " key " + fuzz::Show(key) + " value " +
           fuzz::Show(value) + (noFile ? " no file" : " file " + fuzz::Show(before));
  };
  const bool acceptable = fuzz::ModelCanWrite(section, key, value, before);
  FUZZ_CHECK(written == acceptable, std::string(written ? "accepted" : "refused") + "; " + context());
  FUZZ_CHECK(fuzz::ScratchEntries() == (written || !noFile ? 1u : 0u),
             "a file was left behind; " + context());

  std::string after;
  const bool exists = fuzz::ReadFile(path, after);
  if (!written) {
    FUZZ_CHECK(exists == !noFile && after == before, "a refused write changed the file; " + context());
    return 0;
  }
  FUZZ_CHECK(exists, "no file after the write; " + context());

  // Read back through the reader itself and through the model of the rules.
  const std::string stored = fuzz::ModelStoredValue(value);
  std::vector<char> buffer(value.size() + 2);
  const std::size_t n = ReadProfileString(section.c_str(), key.c_str(), "<default>", buffer.data(),
                                          buffer.size(), path.c_str());
  FUZZ_CHECK(std::string(buffer.data(), n) == stored, "read back " +
                                                          fuzz::Show(std::string(buffer.data(), n)) +
                                                          " from " + fuzz::Show(after) + "; " + context());
  const std::optional<std::string> modelled = fuzz::ModelLookup(after, section, key);
  FUZZ_CHECK(modelled && *modelled == stored,
             "the rules read back otherwise from " + fuzz::Show(after) + "; " + context());

  for (const auto& [otherSection, otherKey] : fuzz::ModelKeys(before)) {
    // Names are asked for trimmed: a name that keeps a blank before a NUL is asked for
    // without it.
    if (fuzz::EqualsIgnoringAsciiCase(fuzz::TrimBlanks(otherSection), fuzz::TrimBlanks(section)) &&
        fuzz::EqualsIgnoringAsciiCase(fuzz::TrimBlanks(otherKey), fuzz::TrimBlanks(key))) {
      continue;
    }
    FUZZ_CHECK(
        fuzz::ModelLookup(before, otherSection, otherKey) == fuzz::ModelLookup(after, otherSection, otherKey),
        "[" + fuzz::Show(otherSection) + "] " + fuzz::Show(otherKey) + " changed: " + fuzz::Show(after) +
            "; " + context());
  }

  // In a UTF-16 file a CR or LF byte may be half of any character.
  if (fuzz::ModelHasUnicodeMark(before)) return 0;
  const std::string removed = RemovedBytes(before, after);
  FUZZ_CHECK(removed.find_first_of("\r\n") == std::string::npos,
             "the write took out a line end: " + fuzz::Show(after) + "; " + context());
  return 0;
}
