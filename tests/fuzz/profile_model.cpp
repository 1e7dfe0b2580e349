#include "profile_model.h"

namespace fuzz {

bool IsProfileBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

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

std::vector<ModelLine> ModelLines(std::string_view file) {
  if (file.substr(0, 3) == "\xEF\xBB\xBF") file.remove_prefix(3);
  std::vector<ModelLine> lines;
  while (!file.empty()) {
    // Any of CR LF, CR or LF ends a line; the empty lines between a run's pieces are
    // ignored like every other blank line.
    const std::size_t end = file.find_first_of("\r\n");
    std::string_view text = file.substr(0, end);
    file = end == std::string_view::npos ? std::string_view() : file.substr(end);
    if (file.substr(0, 2) == "\r\n") {
      file.remove_prefix(2);
    } else if (!file.empty()) {
      file.remove_prefix(1);
    }

    text = TrimBlanks(text.substr(0, text.find('\0')));
    ModelLine line;
    if (text.empty()) {
      continue;  // a blank line plays no part in any rule
    } else if (text.front() == '[') {
      line.kind = ModelLine::Kind::kSection;
      std::string_view name = text.substr(1);
      const std::size_t bracket = name.rfind(']');
      if (bracket != std::string_view::npos) name = name.substr(0, bracket);
      line.name = TrimBlanks(name);
    } else {
      line.kind = ModelLine::Kind::kKey;
      const std::size_t equals = text.find('=');
      line.name = TrimBlanks(text.substr(0, equals));
      if (equals != std::string_view::npos) {
        line.hasValue = true;
        line.value = TrimBlanks(text.substr(equals + 1));
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

namespace {

std::string DropQuotes(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
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
  std::size_t firstHeader = 0;
  while (firstHeader < lines.size() && lines[firstHeader].kind != ModelLine::Kind::kSection) {
    ++firstHeader;
  }
  bool keysBeforeFirstHeader = false;
  for (std::size_t i = 0; i < firstHeader; ++i) {
    keysBeforeFirstHeader = keysBeforeFirstHeader || lines[i].kind == ModelLine::Kind::kKey;
  }

  // The block of lines searched: the keys before the first header form the section "",
  // when there are any; otherwise the first header of the name opens it.
  std::size_t from = lines.size();
  if (section.empty() && keysBeforeFirstHeader) {
    from = 0;
  } else {
    for (std::size_t i = firstHeader; i < lines.size(); ++i) {
      if (lines[i].kind == ModelLine::Kind::kSection && EqualsIgnoringAsciiCase(lines[i].name, section)) {
        from = i + 1;
        break;
      }
    }
  }
  for (std::size_t i = from; i < lines.size() && lines[i].kind != ModelLine::Kind::kSection; ++i) {
    if (lines[i].kind == ModelLine::Kind::kKey && EqualsIgnoringAsciiCase(lines[i].name, key)) {
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

bool ModelCanWrite(std::string_view section, std::string_view key, std::string_view value) {
  const auto hasLineEnd = [](std::string_view t) { return t.find_first_of("\r\n") != std::string_view::npos; };
  const auto trimmed = [](std::string_view t) { return TrimBlanks(t).size() == t.size(); };
  if (hasLineEnd(section) || hasLineEnd(key) || hasLineEnd(value)) return false;
  if (!trimmed(section) || !trimmed(key)) return false;
  return key.find('=') == std::string_view::npos && (key.empty() || key.front() != '[');
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
