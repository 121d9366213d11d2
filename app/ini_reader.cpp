#include "app/ini_reader.h"

#include "platform/file.h"
#include "util/line_reader.h"
#include "util/text.h"

namespace {

constexpr std::size_t kMaxValueLength = 1023;

std::string trimBlanks(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return {};
  }
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

IniReader IniReader::fromFile(const std::string& path) {
  return IniReader(platform::readWholeFile(path).value_or(std::string()));
}

std::optional<std::string> IniReader::value(const std::string& section,
                                            const std::string& key) const {
  const std::string wantedSection = toUpperAnsi(section);
  const std::string wantedKey = toUpperAnsi(key);
  enum class Place { before, inside, after } place = Place::before;
  std::uint32_t position = 0;
  while (position < text.size() && place != Place::after) {
    const std::string line = trimBlanks(readLine(text, position));
    if (line.empty() || line.front() == ';') {
      continue;
    }
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string name =
          trimBlanks(line.substr(1, close == std::string::npos ? close : close - 1));
      if (place == Place::inside) {
        place = Place::after;  // only the first section of that name counts
      } else if (toUpperAnsi(name) == wantedSection) {
        place = Place::inside;
      }
      continue;
    }
    if (place != Place::inside) {
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos ||
        toUpperAnsi(trimBlanks(line.substr(0, equals))) != wantedKey) {
      continue;
    }
    std::string result = trimBlanks(line.substr(equals + 1));
    if (result.size() >= 2 && (result.front() == '"' || result.front() == '\'') &&
        result.back() == result.front()) {
      result = result.substr(1, result.size() - 2);
    }
    if (result.size() > kMaxValueLength) {
      result.resize(kMaxValueLength);
    }
    return result;
  }
  return std::nullopt;
}

std::string IniReader::getString(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
  return value(section, key).value_or(fallback);
}

std::int32_t IniReader::getInt(const std::string& section, const std::string& key,
                               std::int32_t fallback) const {
  const std::optional<std::string> raw = value(section, key);
  if (!raw || raw->empty()) {
    return fallback;
  }
  std::size_t index = 0;
  const bool negative = (*raw)[0] == '-';
  if (negative) {
    ++index;
  }
  // Digits accumulate modulo 2^32, as a 32-bit reader would keep them.
  std::uint32_t number = 0;
  for (; index < raw->size() && (*raw)[index] >= '0' && (*raw)[index] <= '9'; ++index) {
    number = number * 10U + static_cast<std::uint32_t>((*raw)[index] - '0');
  }
  if (negative) {
    number = 0U - number;
  }
  return static_cast<std::int32_t>(number);
}
