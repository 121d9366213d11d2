#include "app/ini_reader.h"

#include "platform/file.h"
#include "util/line_reader.h"
#include "util/text.h"

namespace {

constexpr std::size_t kMaxValueLength = 1023;

std::string trimBlanks(std::string_view text) {
  return trimSpaces(text, " \t");
}

// The name between the brackets of a section line.
std::string sectionName(const std::string& line) {
  const std::size_t close = line.find(']');
  return trimBlanks(line.substr(1, close == std::string::npos ? close : close - 1));
}

}  // namespace

std::vector<std::string> IniReader::keys(const std::string& section) const {
  std::vector<std::string> names;
  forEachPair(section, [&names](const std::string& key, const std::string&) {
    names.push_back(key);
    return false;
  });
  return names;
}

std::vector<std::string> IniReader::sections() const {
  std::vector<std::string> names;
  std::uint32_t position = 0;
  while (position < text.size()) {
    const std::string line = trimBlanks(readLine(text, position));
    if (!line.empty() && line.front() == '[') {
      names.push_back(sectionName(line));
    }
  }
  return names;
}

std::optional<std::string> IniReader::writtenValue(const std::string& section,
                                                   const std::string& key) const {
  const std::string wantedKey = toUpperAnsi(key);
  std::optional<std::string> found;
  forEachPair(section, [&](const std::string& name, const std::string& rawValue) {
    if (toUpperAnsi(name) != wantedKey) {
      return false;
    }
    found = trimBlanks(rawValue);
    return true;
  });
  return found;
}

bool IniReader::isQuoted(std::string_view written) {
  return written.size() >= 2 && (written.front() == '"' || written.front() == '\'') &&
         written.back() == written.front();
}

void IniReader::forEachPair(
    const std::string& section,
    const std::function<bool(const std::string&, const std::string&)>& visit) const {
  const std::string wantedSection = toUpperAnsi(section);
  enum class Place { before, inside, after } place = Place::before;
  std::uint32_t position = 0;
  while (position < text.size() && place != Place::after) {
    const std::string line = trimBlanks(readLine(text, position));
    if (line.empty() || line.front() == ';') {
      continue;
    }
    if (line.front() == '[') {
      const std::string name = sectionName(line);
      if (place == Place::inside) {
        place = Place::after;  // only the first section of that name counts
      } else if (toUpperAnsi(name) == wantedSection) {
        place = Place::inside;
      }
      continue;
    }
    const std::size_t equals = line.find('=');
    if (place != Place::inside || equals == std::string::npos) {
      continue;
    }
    if (visit(trimBlanks(line.substr(0, equals)), line.substr(equals + 1))) {
      return;
    }
  }
}

std::optional<std::string> IniReader::value(const std::string& section,
                                            const std::string& key) const {
  std::optional<std::string> result = writtenValue(section, key);
  if (!result) {
    return result;
  }
  if (isQuoted(*result)) {
    *result = result->substr(1, result->size() - 2);
  }
  if (result->size() > kMaxValueLength) {
    result->resize(kMaxValueLength);
  }
  return result;
}

std::string IniReader::getString(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
  return value(section, key).value_or(fallback);
}

std::int32_t IniReader::leadingNumber(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  std::size_t index = negative ? 1 : 0;
  std::uint32_t number = readWrappingDecimal(text, index).value_or(0U);
  if (negative) {
    number = 0U - number;
  }
  return static_cast<std::int32_t>(number);
}
