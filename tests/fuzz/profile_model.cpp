#include "profile_model.h"

#include <cstdint>

#include "platform/ansi_code_page.h"

namespace fuzz {

bool IsProfileBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsProfileBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsProfileBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

namespace {

std::string_view CutAtNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// One '?' per UTF-16 unit without a form in the code page (the platform's default
// character), so a character beyond U+FFFF gives two.
void AppendUnit(AnsiCodePage& codePage, char16_t unit, std::string& out) {
  char bytes[2];
  out.append(bytes, codePage.FromUtf16Unit(unit, bytes));
}

std::string FromUtf16(std::string_view bytes, bool little) {
  AnsiCodePage codePage;
  std::string out;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const auto lo = static_cast<unsigned char>(bytes[little ? i : i + 1]);
    const auto hi = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
    AppendUnit(codePage, static_cast<char16_t>(lo | (hi << 8)), out);
  }
  if (i < bytes.size()) out += '?';
  return out;
}

// Decodes UTF-8 whole, by the table of well-formed sequences; the longest beginning of a
// well-formed sequence that breaks off counts as one character without a form.
std::string FromUtf8(std::string_view bytes) {
  AnsiCodePage codePage;
  std::string out;
  std::size_t i = 0;
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  while (i < bytes.size()) {
    const unsigned char b = at(i);
    int need = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      if (b == 0xE0) low = 0xA0;
      if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      if (b == 0xF0) low = 0x90;
      if (b == 0xF4) high = 0x8F;
    }
    std::size_t k = 1;
    std::uint32_t cp = need == 1 ? b & 0x1F : need == 2 ? b & 0x0F : b & 0x07;
    bool ok = need > 0;
    for (int c = 0; ok && c < need; ++c, ++k) {
      if (i + k >= bytes.size() || at(i + k) < (c == 0 ? low : 0x80) || at(i + k) > (c == 0 ? high : 0xBF)) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    if (!ok) {
      out += '?';
    } else if (cp > 0xFFFF) {
      out += "??";
    } else {
      AppendUnit(codePage, static_cast<char16_t>(cp), out);
    }
    i += k;
  }
  return out;
}

}  // namespace

std::string ModelText(std::string_view file) {
  if (file.substr(0, 3) == "\xEF\xBB\xBF") return FromUtf8(file.substr(3));
  if (file.substr(0, 2) == "\xFF\xFE") return FromUtf16(file.substr(2), true);
  if (file.substr(0, 2) == "\xFE\xFF") return FromUtf16(file.substr(2), false);
  return std::string(file);
}

bool ModelHasUnicodeMark(std::string_view file) {
  return file.substr(0, 3) == "\xEF\xBB\xBF" || file.substr(0, 2) == "\xFF\xFE" ||
         file.substr(0, 2) == "\xFE\xFF";
}

std::vector<ModelLine> ModelLines(std::string_view stored) {
  const std::string text = ModelText(stored);
  std::string_view file = text;
  std::vector<ModelLine> lines;
  while (!file.empty()) {
    // Any of CR LF, CR or LF ends a line; the empty lines between a run's pieces are
    // ignored like every other blank line.
    const std::size_t end = file.find_first_of("\r\n");
    std::string_view line = file.substr(0, end);
    file = end == std::string_view::npos ? std::string_view() : file.substr(end);
    if (file.substr(0, 2) == "\r\n") {
      file.remove_prefix(2);
    } else if (!file.empty()) {
      file.remove_prefix(1);
    }

    // Names and values are cut at a NUL only once the line has been taken apart.
    line = TrimBlanks(line);
    if (line.empty()) continue;  // a blank line plays no part in any rule
    ModelLine parsed;
    const std::size_t bracket = line.rfind(']');
    if (line.front() == '[' && bracket != std::string_view::npos && bracket > 0) {
      parsed.kind = ModelLine::Kind::kSection;
      parsed.name = CutAtNul(TrimBlanks(line.substr(1, bracket - 1)));
    } else {
      parsed.kind = ModelLine::Kind::kKey;
      const std::size_t equals = line.find('=');
      parsed.name = CutAtNul(TrimBlanks(line.substr(0, equals)));
      if (equals != std::string_view::npos) {
        parsed.hasValue = true;
        parsed.value = CutAtNul(TrimBlanks(line.substr(equals + 1)));
      }
    }
    lines.push_back(std::move(parsed));
  }
  return lines;
}

namespace {

std::string DropQuotes(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

std::optional<std::string> ModelLookup(std::string_view file, std::string_view section,
                                       std::string_view key) {
  return ModelLookup(ModelLines(file), section, key);
}

std::optional<std::string> ModelLookup(const std::vector<ModelLine>& lines, std::string_view section,
                                       std::string_view key) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  // The block of lines searched: for "", the lines before the first header, which are
  // always the first section of that name; otherwise the first header of the name opens it.
  std::size_t from = lines.size();
  if (section.empty()) {
    from = 0;
  } else {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].kind == ModelLine::Kind::kSection && EqualsIgnoringAsciiCase(lines[i].name, section)) {
        from = i + 1;
        break;
      }
    }
  }
  for (std::size_t i = from; i < lines.size() && lines[i].kind != ModelLine::Kind::kSection; ++i) {
    if (EqualsIgnoringAsciiCase(lines[i].name, key)) {
      if (!lines[i].hasValue) return std::nullopt;
      return DropQuotes(lines[i].value);
    }
  }
  return std::nullopt;
}

std::string ModelRead(std::string_view file, std::string_view section, std::string_view key,
                      const char* defaultValue, std::size_t size) {
  return ModelRead(ModelLines(file), section, key, defaultValue, size);
}

std::string ModelRead(const std::vector<ModelLine>& lines, std::string_view section, std::string_view key,
                      const char* defaultValue, std::size_t size) {
  if (size == 0) return {};
  const std::optional<std::string> found = ModelLookup(lines, section, key);
  std::string result = found ? *found : std::string(defaultValue ? defaultValue : "");
  if (result.size() > size - 1) result.resize(size - 1);
  return result;
}

bool ModelCanWrite(std::string_view section, std::string_view key, std::string_view value,
                   std::string_view file) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  const auto hasLineEnd = [](std::string_view t) {
    return t.find_first_of("\r\n") != std::string_view::npos;
  };
  if (hasLineEnd(section) || hasLineEnd(key) || hasLineEnd(value)) return false;
  if (key.find('=') != std::string_view::npos) return false;
  // "[x=1" is a key line, "[x]=1" or "[x=1]" a header.
  if (!key.empty() && key.front() == '[' &&
      (key.find(']') != std::string_view::npos || value.find(']') != std::string_view::npos)) {
    return false;
  }
  if (ModelHasUnicodeMark(key)) return false;
  const bool utf16 = file.substr(0, 2) == "\xFF\xFE" || file.substr(0, 2) == "\xFE\xFF";
  if (!utf16 && file.substr(0, 3) != "\xEF\xBB\xBF") return true;
  if (utf16 && file.size() % 2 != 0) return false;
  AnsiCodePage codePage;
  std::u16string units;
  for (std::string_view text : {section, key, value}) {
    if (!codePage.ToUtf16(std::string(text), units)) return false;
  }
  return true;
}

std::string ModelStoredValue(std::string_view value) { return DropQuotes(std::string(TrimBlanks(value))); }

std::vector<std::pair<std::string, std::string>> ModelKeys(std::string_view file) {
  std::vector<std::pair<std::string, std::string>> keys;
  std::string section;
  for (const ModelLine& line : ModelLines(file)) {
    if (line.kind == ModelLine::Kind::kSection) section = line.name;
    if (line.kind == ModelLine::Kind::kKey) keys.emplace_back(section, line.name);
  }
  return keys;
}

}  // namespace fuzz
