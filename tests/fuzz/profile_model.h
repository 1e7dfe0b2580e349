#pragma once
// The profile rules written out plainly over a whole file held in memory: no streaming,
// no buffers, no offsets. The fuzz targets check the streaming reader and the writer
// against it.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fuzz {

// One line that plays a part: blank lines are left out.
struct ModelLine {
  enum class Kind { kSection, kKey };
  Kind kind = Kind::kKey;
  std::string name;  // section or key name, trimmed
  bool hasValue = false;
  std::string value;  // trimmed, quotes not yet dropped
};

bool IsProfileBlank(char c);
std::string_view TrimBlanks(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// The file's text in the code page: a file with a UTF-8 or UTF-16 byte-order mark is
// converted, any other is taken as it is.
std::string ModelText(std::string_view file);
bool ModelHasUnicodeMark(std::string_view file);

std::vector<ModelLine> ModelLines(std::string_view file);

// The value of the key as stored (trimmed, cut at a NUL, one pair of enclosing quotes
// dropped; the names asked for trimmed too), or
// nothing when the reader gives the default.
std::optional<std::string> ModelLookup(std::string_view file, std::string_view section, std::string_view key);
std::optional<std::string> ModelLookup(const std::vector<ModelLine>& lines, std::string_view section,
                                       std::string_view key);

// What the reader copies into a buffer of `size` bytes (without the NUL).
std::string ModelRead(std::string_view file, std::string_view section, std::string_view key,
                      const char* defaultValue, std::size_t size);
std::string ModelRead(const std::vector<ModelLine>& lines, std::string_view section, std::string_view key,
                      const char* defaultValue, std::size_t size);

// Whether the writer must accept these into `file` (its bytes before the write), and
// what a value reads back as afterwards.
bool ModelCanWrite(std::string_view section, std::string_view key, std::string_view value,
                   std::string_view file);
std::string ModelStoredValue(std::string_view value);

// Every (section, key) pair that names a key line of the file, as the file spells them.
std::vector<std::pair<std::string, std::string>> ModelKeys(std::string_view file);

}  // namespace fuzz
